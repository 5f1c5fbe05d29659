#include "block/BlkRecords.h"

#include "common/Text.h"

namespace vexa {

char GroupLetter(TBlkElementGroup group) {
    switch (group) {
    case egLine: return 'L';
    case egPoint: return 'B';
    case egArea: return 'P';
    case egText: return 'T';
    }
    return '?';
}

std::optional<TBlkElementGroup> GroupOfLetter(char letter) {
    for (TBlkElementGroup g : {egLine, egPoint, egArea, egText})
        if (GroupLetter(g) == (letter >= 'a' && letter <= 'z' ? letter - 'a' + 'A' : letter)) return g;
    return std::nullopt;
}

const std::array<const char*, 28> BlkReservedFields = {
    "CISLO",     "NUMBER", "CAS",      "TIME",     "DRUH",   "GROUP", "VYBER", "SELECT",    "DISP_BARVA", "COLOR",
    "DISP_ZNAC", "SYMBOL", "PRESNOST", "ACCURACY", "MAXX",   "MAXY",  "MINX",  "MINY",      "DELKA",      "LENGTH",
    "X",         "Y",      "UHEL",     "ANGLE",    "PLOCHA", "AREA",  "OBVOD", "PERIMETER",
};

bool IsBlkReservedField(const std::string& name) {
    for (const char* reserved : BlkReservedFields)
        if (SameTextAscii(name, reserved)) return true;
    return false;
}

}  // namespace vexa
