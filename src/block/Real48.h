#pragma once
// The 6-byte real of the block files: byte 0 the exponent biased by 129 (0 means zero),
// bytes 1..5 a 39-bit fraction little-endian with an implicit leading 1, the top bit of
// byte 5 the sign. Values widen exactly to long double; comparisons are exact.
#include <array>
#include <cstdint>
#include <string>

namespace vexa {

#pragma pack(push, 1)
struct TReal48 {
    std::array<std::uint8_t, 6> Bytes{};

    // The value; assembled as the bits of a double (exact: 40 significant bits
    // and exponents of -128..126 fit a double).
    double ToDouble() const;
    long double Value() const { return ToDouble(); }
    // Exact when the value is representable; otherwise rounded to nearest (ties to even).
    // Values too large for the format saturate to the largest magnitude; tiny ones become 0.
    static TReal48 FromValue(long double value);

    // A number in the order of the values, for comparing them without decoding:
    // every zero gives 0; a larger exponent, then a larger fraction, a larger magnitude.
    std::int64_t OrderKey() const {
        if (Bytes[0] == 0) return 0;
        const std::int64_t magnitude =
            (std::int64_t(Bytes[0]) << 39) | (std::int64_t(Bytes[5] & 0x7F) << 32) | (std::int64_t(Bytes[4]) << 24) |
            (std::int64_t(Bytes[3]) << 16) | (std::int64_t(Bytes[2]) << 8) | std::int64_t(Bytes[1]);
        return (Bytes[5] & 0x80) ? -magnitude : magnitude;
    }

    // Exact comparison of the values without decoding them: every encoding with
    // exponent byte 0 is zero; any other value has exactly one encoding.
    friend bool operator==(const TReal48& a, const TReal48& b) {
        return (a.Bytes[0] == 0 && b.Bytes[0] == 0) || a.Bytes == b.Bytes;
    }
};
#pragma pack(pop)
static_assert(sizeof(TReal48) == 6);

// The shortest decimal text that reads back to the same 6-byte real as value (a stored
// coordinate -511681.06 rather than its double's -511681.0599999428); a value outside
// the format's range as the shortest text of the double.
std::string Real48Text(double value);

}  // namespace vexa
