#pragma once
// Every kind of finding in one table: its error code, the element group letter
// of the "Prvok" column, the check group and option bit that produce it, the
// caption of the error browser's filter, and the texts it writes. The check
// passes, the option masks, the browser's filter and the help texts all read
// it from here.
#include <array>
#include <cstdint>
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

// Every bit of a group together.
constexpr std::uint16_t LinAll = 63;
constexpr std::uint16_t BodAll = 3;
constexpr std::uint16_t TxbAll = 3;
constexpr std::uint16_t PloAll = 7;
constexpr std::uint16_t DBAll = 15;
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

struct TFindingCode {
    std::int32_t Code;
    char Letter;         // "Prvok": L, B, T, P
    TCheckGroup Group;   // the check group whose pass writes it
    std::uint16_t Bit;   // the option bit that asks for it
    const char* Filter;  // the error browser's type caption
    const char* What;    // what the check finds (help texts)
};

// In the order of the error browser's type lists.
constexpr std::array<TFindingCode, 16> FindingCodes{{
    {-11, 'L', TCheckGroup::Lines, option::LinPripustnost, "prípustnosť",
     "druh línie neprípustný vo vrstve, nadbytočná línia v ploche, línia vo vrstve plôch"},
    {-12, 'L', TCheckGroup::Lines, option::LinKrivky, "krivky", "línie s krivkou"},
    {-13, 'L', TCheckGroup::Lines, option::LinMimoMBR, "mimo MBR", "línie mimo uloženého opísaného obdĺžnika"},
    {-14, 'L', TCheckGroup::Lines, option::LinDuplikatne, "duplikátne", "línie s rovnakými vrcholmi"},
    {-73, 'L', TCheckGroup::Lines, option::LinPloZhoda, "zhoda plôch", "línie medzi plochami s rovnakými atribútmi"},
    {-15, 'L', TCheckGroup::Lines, option::LinDlzka, "dľžka", "línie s dĺžkou do limitu"},
    {-91, 'L', TCheckGroup::Databases, option::DBKontAtr, "databáza", "tabuľky línií: chýbajúca, štruktúra, obsah"},
    {-31, 'B', TCheckGroup::Points, option::BodPripustnost, "prípustnosť", "druh bodu neprípustný vo vrstve"},
    {-32, 'B', TCheckGroup::Points, option::BodUhol, "uhol", "otočený bod druhu, ktorý sa neotáča"},
    {-92, 'B', TCheckGroup::Databases, option::DBKontAtr, "databáza", "tabuľky bodov: chýbajúca, štruktúra, obsah"},
    {-51, 'T', TCheckGroup::Texts, option::TxbPripustnost, "prípustnosť", "druh textu neprípustný vo vrstve"},
    {-52, 'T', TCheckGroup::Texts, option::TxbUhol, "uhol", "otočený text druhu, ktorý sa neotáča"},
    {-71, 'P', TCheckGroup::Areas, option::PloPripustnost, "prípustnosť", "druh plochy neprípustný vo vrstve"},
    {-72, 'P', TCheckGroup::Areas, option::PloTopologia, "topológia", "plochy, ktorých hranica sa neuzatvára"},
    {-74, 'P', TCheckGroup::Areas, option::PloPlocha, "plocha", "plochy s výmerou do limitu"},
    {-93, 'P', TCheckGroup::Databases, option::DBKontAtr, "databáza", "tabuľky plôch: chýbajúca, štruktúra, obsah"},
}};

// The entry of a code; nullptr for a code no pass writes.
const TFindingCode* FindingCodeOf(std::int32_t code);

// The code an attribute-table finding of an element group letter has; 0 for
// texts, whose tables are not checked.
std::int32_t DatabaseFindingCode(char letter);

}  // namespace vexa
