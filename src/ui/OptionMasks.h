#pragma once
// Option bits of the five check groups. The main window gives each check box
// its bit as a tag; a group's mask is the sum (bitwise OR) of the ticked ones.
// The check passes and vexa-check use the same values.
#include <array>
#include <cstdint>

namespace vexa {

// Lines (LinGroupBox)
constexpr std::uint16_t LinPripustnost = 1;   // admissibility in the layer (-11)
constexpr std::uint16_t LinKrivky = 2;        // curves (-12)
constexpr std::uint16_t LinMimoMBR = 4;       // stored rectangle differs from the vertices (-13)
constexpr std::uint16_t LinDuplikatne = 8;    // duplicate lines (-14)
constexpr std::uint16_t LinDlzka = 16;        // length at or below the limit (-15)
constexpr std::uint16_t LinPloZhoda = 32;     // alike adjacent areas (-73)
// Points (BodGroupBox)
constexpr std::uint16_t BodPripustnost = 1;   // -31
constexpr std::uint16_t BodUhol = 2;          // -32
// Texts (TxbGroupBox)
constexpr std::uint16_t TxbPripustnost = 1;   // -51
constexpr std::uint16_t TxbUhol = 2;          // -52
// Areas (PloGroupBox)
constexpr std::uint16_t PloPripustnost = 1;   // -71
constexpr std::uint16_t PloTopologia = 2;     // -72
constexpr std::uint16_t PloPlocha = 4;        // area at or below the limit (-74)
// Attribute database (DBGroupBox)
constexpr std::uint16_t DBKontAtr = 1;        // "kontrola naplnenia"
constexpr std::uint16_t DBUprStrukt = 2;      // "uprava štruktúry"
constexpr std::uint16_t DBUsporiadat = 4;     // "povinné položky dopredu"
constexpr std::uint16_t DBNepZmaz = 8;        // "nepovinné položky zmazať"

// Every bit of a group together.
constexpr std::uint16_t LinAll = 63;
constexpr std::uint16_t BodAll = 3;
constexpr std::uint16_t TxbAll = 3;
constexpr std::uint16_t PloAll = 7;
constexpr std::uint16_t DBAll = 15;

// The five check groups in the order of a block's check run.
enum class TCheckGroup { Databases, Lines, Points, Texts, Areas };

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

} // namespace vexa
