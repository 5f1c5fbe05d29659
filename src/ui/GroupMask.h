#pragma once
// The mask of an option group box: the sum, in 16-bit arithmetic, of the absolute
// tag values of its ticked check boxes (the tags are distinct powers of two, so
// the sum is their bitwise OR).
#include <cstdint>
#include <vector>

namespace vexa {

struct TTaggedBox {
    int Tag;
    bool Ticked;
};

std::uint16_t GroupBoxMask(const std::vector<TTaggedBox>& boxes);

}  // namespace vexa
