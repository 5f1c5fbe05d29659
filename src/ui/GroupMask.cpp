#include "ui/GroupMask.h"

#include <cstdlib>

namespace vexa {

std::uint16_t GroupBoxMask(const std::vector<TTaggedBox>& boxes) {
    std::uint16_t mask = 0;
    for (const auto& box : boxes)
        if (box.Ticked) mask = static_cast<std::uint16_t>(mask + static_cast<unsigned>(std::abs(box.Tag)));
    return mask;
}

}  // namespace vexa
