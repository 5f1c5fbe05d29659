#pragma once
// Every kind of finding in one table: its error code, the element group letter
// of the "Prvok" column, the check group and option bit that produce it, the
// caption of the error browser's filter, and the texts it writes. The check
// passes, the option masks, the browser's filter and the help texts all read
// it from here.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace vexa {

// The five check groups in the order of a block's check run.
enum class TCheckGroup { Databases, Lines, Points, Texts, Areas };

// Option bits of the five check groups (a group's mask is their sum).
namespace option {
// Lines
constexpr std::uint16_t LinPripustnost = 1;  // admissibility in the layer
constexpr std::uint16_t LinKrivky = 2;       // curves
constexpr std::uint16_t LinMimoMBR = 4;      // stored rectangle differs from the vertices
constexpr std::uint16_t LinDuplikatne = 8;   // duplicate lines
constexpr std::uint16_t LinDlzka = 16;       // length at or below the limit
constexpr std::uint16_t LinPloZhoda = 32;    // alike adjacent areas
// Points
constexpr std::uint16_t BodPripustnost = 1;
constexpr std::uint16_t BodUhol = 2;
// Texts
constexpr std::uint16_t TxbPripustnost = 1;
constexpr std::uint16_t TxbUhol = 2;
// Areas
constexpr std::uint16_t PloPripustnost = 1;
constexpr std::uint16_t PloTopologia = 2;
constexpr std::uint16_t PloPlocha = 4;  // area at or below the limit
// Attribute database
constexpr std::uint16_t DBKontAtr = 1;     // test the contents
constexpr std::uint16_t DBUprStrukt = 2;   // repair the structure
constexpr std::uint16_t DBUsporiadat = 4;  // the standard's fields first
constexpr std::uint16_t DBNepZmaz = 8;     // delete the other fields
constexpr std::uint16_t DBRepairs = DBUprStrukt | DBUsporiadat | DBNepZmaz;
// The checks that read a block's lines, areas and vertices whole (from memory).
constexpr std::uint16_t LinReadWhole = LinMimoMBR | LinDuplikatne | LinPloZhoda;
constexpr std::uint16_t PloReadWhole = PloTopologia;

}  // namespace option

// The texts of the findings.
namespace findingtext {
constexpr const char* InadmissibleKind = "neprípustný druh vo vrstve";
constexpr const char* SurplusLineInArea = "nadbytočná línia v ploche";
constexpr const char* LineInAreasOnlyLayer = "neprípustná línia vo vrstve plôch";
constexpr const char* Curve = "krivka";
constexpr const char* OutsideRectangle = "línia mimo rozsah opísaného obdĺžnika";
constexpr const char* DuplicateLines = "duplikátne línie: ";  // followed by the numbers
constexpr const char* ShortLength = "podlimitná dĺžka";
constexpr const char* AlikeAreas = "zhoda prilahlých plôch";
constexpr const char* Rotation = "uhol otočenia";
constexpr const char* AreaTopology = "chybná topológia plochy";
constexpr const char* SmallArea = "podlimitná plocha";
constexpr const char* TableMissing = "DB %s neexistuje";  // the table's file name
constexpr const char* BadStructure = "chybná DB štruktúra";
constexpr const char* BadFill = "zle vyplnený DB záznam";
}  // namespace findingtext

// The kinds of finding, one for each row of FindingCodes and in its order. A pass
// hands the kind of its finding, never a code number, so that a finding without a
// row cannot be written.
enum class TFindingKind : std::uint8_t {
    LineAdmissibility,
    LineCurve,
    LineOutsideRectangle,
    LineDuplicates,
    LineAlikeAreas,
    LineLength,
    LineTables,
    PointAdmissibility,
    PointRotation,
    PointTables,
    TextAdmissibility,
    TextRotation,
    AreaAdmissibility,
    AreaTopology,
    AreaSize,
    AreaTables,
    Count  // not a kind: the number of rows
};

// The rows by name: kind::LineCurve.
namespace kind {
using enum TFindingKind;
}  // namespace kind

struct TFindingCode {
    TFindingKind Kind;   // the row's own name
    std::int32_t Code;
    char Letter;         // "Prvok": L, B, T, P
    TCheckGroup Group;   // the check group whose pass writes it
    std::uint16_t Bit;   // the option bit that asks for it
    const char* Text;    // the finding's text; line admissibility writes two others beside it,
                         // and the tables' findings (nullptr here) write one of three
    const char* Filter;  // the error browser's type caption
    const char* What;    // what the check finds (help texts)
};

// In the order of the error browser's type lists.
inline constexpr std::array<TFindingCode, static_cast<std::size_t>(TFindingKind::Count)> FindingCodes{{
    {kind::LineAdmissibility, -11, 'L', TCheckGroup::Lines, option::LinPripustnost, findingtext::InadmissibleKind,
     "prípustnosť", "druh línie neprípustný vo vrstve, nadbytočná línia v ploche, línia vo vrstve plôch"},
    {kind::LineCurve, -12, 'L', TCheckGroup::Lines, option::LinKrivky, findingtext::Curve, "krivky",
     "línie s krivkou"},
    {kind::LineOutsideRectangle, -13, 'L', TCheckGroup::Lines, option::LinMimoMBR, findingtext::OutsideRectangle,
     "mimo MBR", "línie mimo uloženého opísaného obdĺžnika"},
    {kind::LineDuplicates, -14, 'L', TCheckGroup::Lines, option::LinDuplikatne, findingtext::DuplicateLines,
     "duplikátne", "línie s rovnakými vrcholmi"},
    {kind::LineAlikeAreas, -73, 'L', TCheckGroup::Lines, option::LinPloZhoda, findingtext::AlikeAreas, "zhoda plôch",
     "línie medzi plochami s rovnakými atribútmi"},
    {kind::LineLength, -15, 'L', TCheckGroup::Lines, option::LinDlzka, findingtext::ShortLength, "dľžka",
     "línie s dĺžkou do limitu"},
    {kind::LineTables, -91, 'L', TCheckGroup::Databases, option::DBKontAtr, nullptr, "databáza",
     "tabuľky línií: chýbajúca, štruktúra, obsah"},
    {kind::PointAdmissibility, -31, 'B', TCheckGroup::Points, option::BodPripustnost, findingtext::InadmissibleKind,
     "prípustnosť", "druh bodu neprípustný vo vrstve"},
    {kind::PointRotation, -32, 'B', TCheckGroup::Points, option::BodUhol, findingtext::Rotation, "uhol",
     "otočený bod druhu, ktorý sa neotáča"},
    {kind::PointTables, -92, 'B', TCheckGroup::Databases, option::DBKontAtr, nullptr, "databáza",
     "tabuľky bodov: chýbajúca, štruktúra, obsah"},
    {kind::TextAdmissibility, -51, 'T', TCheckGroup::Texts, option::TxbPripustnost, findingtext::InadmissibleKind,
     "prípustnosť", "druh textu neprípustný vo vrstve"},
    {kind::TextRotation, -52, 'T', TCheckGroup::Texts, option::TxbUhol, findingtext::Rotation, "uhol",
     "otočený text druhu, ktorý sa neotáča"},
    {kind::AreaAdmissibility, -71, 'P', TCheckGroup::Areas, option::PloPripustnost, findingtext::InadmissibleKind,
     "prípustnosť", "druh plochy neprípustný vo vrstve"},
    {kind::AreaTopology, -72, 'P', TCheckGroup::Areas, option::PloTopologia, findingtext::AreaTopology, "topológia",
     "plochy, ktorých hranica sa neuzatvára"},
    {kind::AreaSize, -74, 'P', TCheckGroup::Areas, option::PloPlocha, findingtext::SmallArea, "plocha",
     "plochy s výmerou do limitu"},
    {kind::AreaTables, -93, 'P', TCheckGroup::Databases, option::DBKontAtr, nullptr, "databáza",
     "tabuľky plôch: chýbajúca, štruktúra, obsah"},
}};

// The row of a kind.
constexpr const TFindingCode& FindingRow(TFindingKind k) { return FindingCodes[static_cast<std::size_t>(k)]; }

namespace findingkinds_detail {
constexpr bool RowsInKindOrder() {
    for (std::size_t i = 0; i < FindingCodes.size(); ++i) {
        const TFindingCode& c = FindingCodes[i];
        if (static_cast<std::size_t>(c.Kind) != i || c.Code >= 0 || c.Bit == 0 || (c.Bit & (c.Bit - 1)) != 0)
            return false;
        for (std::size_t j = 0; j < i; ++j)
            if (FindingCodes[j].Code == c.Code) return false;
    }
    return true;
}
}  // namespace findingkinds_detail
// Every kind has its row at its own place (a missing row leaves a zero one), with a
// negative code of its own and one option bit.
static_assert(findingkinds_detail::RowsInKindOrder(), "each finding kind needs one row of its own, in kind order");

// The option bits of a check group that ask for findings (the sum of its rows' bits).
constexpr std::uint16_t FindingBits(TCheckGroup group) {
    std::uint16_t bits = 0;
    for (const TFindingCode& c : FindingCodes)
        if (c.Group == group) bits |= c.Bit;
    return bits;
}

namespace option {
// Every bit of a group together: the bits its findings have; the database group
// adds its repairs, which write no finding of their own.
constexpr std::uint16_t LinAll = FindingBits(TCheckGroup::Lines);
constexpr std::uint16_t BodAll = FindingBits(TCheckGroup::Points);
constexpr std::uint16_t TxbAll = FindingBits(TCheckGroup::Texts);
constexpr std::uint16_t PloAll = FindingBits(TCheckGroup::Areas);
constexpr std::uint16_t DBAll = FindingBits(TCheckGroup::Databases) | DBRepairs;
}  // namespace option

// The precedence of the line rules, which the line pass follows and vexa-check's help
// tells: the rule of Alone (admissibility) decides a line by itself, none of FirstFound
// is examined with it; without it only the first of FirstFound that finds a fault, in
// this order, is said of the line. Apart (alike areas) is examined with every line, before
// the others, whatever they find.
struct TLinePrecedence {
    std::uint16_t Alone;
    std::array<std::uint16_t, 4> FirstFound;
    std::uint16_t Apart;
};
inline constexpr TLinePrecedence LinePrecedence{
    option::LinPripustnost,
    {option::LinKrivky, option::LinMimoMBR, option::LinDuplikatne, option::LinDlzka},
    option::LinPloZhoda,
};

namespace findingkinds_detail {
// Each line bit has one place in the precedence.
constexpr bool PrecedenceCoversLines() {
    std::uint16_t seen = LinePrecedence.Alone;
    if (seen & LinePrecedence.Apart) return false;
    seen |= LinePrecedence.Apart;
    for (std::uint16_t bit : LinePrecedence.FirstFound) {
        if (bit == 0 || (seen & bit)) return false;
        seen |= bit;
    }
    return seen == option::LinAll;
}
}  // namespace findingkinds_detail
static_assert(findingkinds_detail::PrecedenceCoversLines(), "every line bit needs one place in LinePrecedence");

// The kind of an attribute-table finding of an element group letter; none for texts,
// whose tables are not checked.
std::optional<TFindingKind> DatabaseFindingKind(char letter);

}  // namespace vexa
