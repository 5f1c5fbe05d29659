#include "block/Real48.h"

#include <bit>
#include <charconv>
#include <cmath>

namespace vexa {

namespace {
constexpr int kBias = 129;
constexpr int kFractionBits = 39;
}  // namespace

double TReal48::ToDouble() const {
    if (Bytes[0] == 0) return 0.0;
    std::uint64_t fraction = 0;
    for (int i = 5; i >= 1; --i) fraction = (fraction << 8) | Bytes[i];
    const std::uint64_t sign = (fraction >> 39) & 1;
    fraction &= (std::uint64_t{1} << kFractionBits) - 1;
    // 1.fraction * 2^(Bytes[0] - kBias) as a double: the biased exponent moves
    // from 129 to 1023, the fraction to the top of the 52 fraction bits.
    const std::uint64_t exponent = static_cast<std::uint64_t>(Bytes[0]) - kBias + 1023;
    const std::uint64_t bits = (sign << 63) | (exponent << 52) | (fraction << (52 - kFractionBits));
    return std::bit_cast<double>(bits);
}

TReal48 TReal48::FromValue(long double value) {
    TReal48 r;
    if (value == 0.0L || std::isnan(value)) return r;
    const bool negative = std::signbit(value);
    long double magnitude = std::fabs(value);
    std::uint64_t mantissa = 0;
    int exponent = 0;  // biased
    if (std::isinf(magnitude)) {
        exponent = 256;  // saturates below
    } else {
        int e = 0;
        long double m = std::frexp(magnitude, &e);  // magnitude = m * 2^e, m in [0.5, 1)
        // 40-bit significand with the leading bit; nearbyint rounds half to even.
        long double scaled = std::nearbyint(std::ldexp(m, kFractionBits + 1));
        mantissa = static_cast<std::uint64_t>(scaled);
        exponent = e - 1 + kBias;
        if (mantissa == (std::uint64_t{1} << (kFractionBits + 1))) {
            mantissa >>= 1;
            ++exponent;
        }
    }
    if (exponent < 1) return r;  // below the smallest magnitude: zero (the format has no subnormals)
    if (exponent > 255) {
        // Too large: the largest magnitude the format holds.
        exponent = 255;
        mantissa = (std::uint64_t{1} << (kFractionBits + 1)) - 1;
    }
    std::uint64_t fraction = mantissa & ((std::uint64_t{1} << kFractionBits) - 1);
    if (negative) fraction |= std::uint64_t{1} << kFractionBits;
    r.Bytes[0] = static_cast<std::uint8_t>(exponent);
    for (int i = 1; i <= 5; ++i) {
        r.Bytes[i] = static_cast<std::uint8_t>(fraction & 0xFF);
        fraction >>= 8;
    }
    return r;
}

std::string Real48Text(double value) {
    char buf[64];
    auto shortest = [&](double v) { return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr); };
    const double magnitude = std::fabs(value);
    if (!std::isfinite(value) || magnitude < 3e-39 || magnitude > 1.7e38) return shortest(value);
    const TReal48 stored = TReal48::FromValue(value);
    // 40 significant bits need at most 14 digits; the first precision that reads back wins.
    for (int digits = 1; digits <= 17; ++digits) {
        const char* end = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, digits).ptr;
        double read = 0;
        std::from_chars(buf, end, read);
        if (TReal48::FromValue(read) == stored) return shortest(read);
    }
    return shortest(value);
}

}  // namespace vexa
