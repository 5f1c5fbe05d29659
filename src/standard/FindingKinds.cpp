#include "standard/FindingKinds.h"

namespace vexa {

std::optional<TFindingKind> DatabaseFindingKind(char letter) {
    for (const TFindingCode& c : FindingCodes)
        if (c.Group == TCheckGroup::Databases && c.Letter == letter) return c.Kind;
    return std::nullopt;
}

}  // namespace vexa
