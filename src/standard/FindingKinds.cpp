#include "standard/FindingKinds.h"

namespace vexa {

const TFindingCode* FindingCodeOf(std::int32_t code) {
    for (const TFindingCode& c : FindingCodes)
        if (c.Code == code) return &c;
    return nullptr;
}

std::int32_t DatabaseFindingCode(char letter) {
    for (const TFindingCode& c : FindingCodes)
        if (c.Group == TCheckGroup::Databases && c.Letter == letter) return c.Code;
    return 0;
}

}  // namespace vexa
