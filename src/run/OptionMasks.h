#pragma once
// The check boxes of the five check groups. The main window gives each check
// box its bit as a tag; a group's mask is the sum (bitwise OR) of the ticked
// ones. The check passes and vexa-check use the same values.
#include "standard/FindingKinds.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace vexa {

// The bits and groups themselves live with the finding kinds.
using option::LinPripustnost, option::LinKrivky, option::LinMimoMBR, option::LinDuplikatne, option::LinDlzka,
    option::LinPloZhoda, option::BodPripustnost, option::BodUhol, option::TxbPripustnost, option::TxbUhol,
    option::PloPripustnost, option::PloTopologia, option::PloPlocha, option::DBKontAtr, option::DBUprStrukt,
    option::DBUsporiadat, option::DBNepZmaz, option::LinAll, option::BodAll, option::TxbAll, option::PloAll,
    option::DBAll;

// One check box of a group box, in the order of the screen rows.
struct TOptionBox {
    const char* Name;     // component name, e.g. "LinCBPripustnost"
    const char* Caption;  // caption as shown
    std::uint16_t Bit;
};

struct TOptionGroup {
    TCheckGroup Group;
    const char* Name;     // group box name, e.g. "LinGroupBox"
    const char* Caption;  // group box caption, blanks included
};

constexpr std::array<TOptionGroup, 5> OptionGroups{{
    {TCheckGroup::Lines, "LinGroupBox", " Línie "},
    {TCheckGroup::Points, "BodGroupBox", " Body "},
    {TCheckGroup::Texts, "TxbGroupBox", " Texty "},
    {TCheckGroup::Areas, "PloGroupBox", " Plochy "},
    {TCheckGroup::Databases, "DBGroupBox", " Interná DB "},
}};

// Lines: the fifth screen row is bit 32, the sixth bit 16.
constexpr std::array<TOptionBox, 6> LinOptionBoxes{{
    {"LinCBPripustnost", "prípustnosť vo vrstve", LinPripustnost},
    {"LinCBKrivky", "výskyt kriviek", LinKrivky},
    {"LinCBMimoMBR", "mimo rozsah MBR", LinMimoMBR},
    {"LinCBDuplikatne", "duplikátne línie", LinDuplikatne},
    {"LinCBPloZhoda", "zhoda susedných plôch", LinPloZhoda},
    {"LinCBDlzka", "dlžka <=", LinDlzka},
}};
constexpr std::array<TOptionBox, 2> BodOptionBoxes{{
    {"BodCBPripustnost", "prípustnosť vo vrstve", BodPripustnost},
    {"BodCBUhol", "uhol otočenia", BodUhol},
}};
constexpr std::array<TOptionBox, 2> TxbOptionBoxes{{
    {"TxbCBPripustnost", "prípustnosť vo vrstve", TxbPripustnost},
    {"TxbCBUhol", "uhol otočenia", TxbUhol},
}};
constexpr std::array<TOptionBox, 3> PloOptionBoxes{{
    {"PloCBPripustnost", "prípustnosť vo vrstve", PloPripustnost},
    {"PloCBTopologia", "topológia plôch", PloTopologia},
    {"PloCBPlocha", "plocha <=", PloPlocha},
}};
constexpr std::array<TOptionBox, 4> DBOptionBoxes{{
    {"DBCBKontAtr", "kontrola naplnenia", DBKontAtr},
    {"DBCBUprStrukt", "uprava štruktúry", DBUprStrukt},
    {"DBCBUsporiadat", "povinné položky dopredu", DBUsporiadat},
    {"DBCBNepZmaz", "nepovinné položky zmazať", DBNepZmaz},
}};

// The screen row of the box with a bit (its place in the list); -1 when none has it.
template <std::size_t N>
constexpr int BoxRow(const std::array<TOptionBox, N>& boxes, std::uint16_t bit) {
    for (std::size_t i = 0; i < N; ++i)
        if (boxes[i].Bit == bit) return static_cast<int>(i);
    return -1;
}

namespace optionmasks_detail {
// Each box has one bit of the group's findings (or a repair of the attribute tables),
// no two boxes share a bit, and every bit has its box.
template <std::size_t N>
constexpr bool BoxesMatchBits(const std::array<TOptionBox, N>& boxes, std::uint16_t bits) {
    std::uint16_t seen = 0;
    for (const TOptionBox& box : boxes) {
        if ((box.Bit & bits) != box.Bit || (box.Bit & (box.Bit - 1)) != 0 || (seen & box.Bit) != 0) return false;
        seen |= box.Bit;
    }
    return seen == bits;
}
}  // namespace optionmasks_detail

static_assert(optionmasks_detail::BoxesMatchBits(LinOptionBoxes, option::LinAll), "line boxes and line findings differ");
static_assert(optionmasks_detail::BoxesMatchBits(BodOptionBoxes, option::BodAll), "point boxes and findings differ");
static_assert(optionmasks_detail::BoxesMatchBits(TxbOptionBoxes, option::TxbAll), "text boxes and findings differ");
static_assert(optionmasks_detail::BoxesMatchBits(PloOptionBoxes, option::PloAll), "area boxes and findings differ");
static_assert(optionmasks_detail::BoxesMatchBits(DBOptionBoxes, option::DBAll), "database boxes and bits differ");

// The limit boxes share their screen row with an edit and its unit.
inline constexpr int kLinLimitRow = BoxRow(LinOptionBoxes, LinDlzka);
inline constexpr int kPloLimitRow = BoxRow(PloOptionBoxes, PloPlocha);
static_assert(kLinLimitRow >= 0 && kPloLimitRow >= 0, "a limit needs its box");

}  // namespace vexa
