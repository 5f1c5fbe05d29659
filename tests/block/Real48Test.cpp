#include "block/Real48.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using vexa::TReal48;

namespace {

using Bytes = std::array<std::uint8_t, 6>;

TReal48 FromBytes(Bytes bytes) {
    TReal48 r;
    r.Bytes = bytes;
    return r;
}

const Bytes kMax17E38{0xFF, 0x67, 0x3C, 0x9E, 0xC9, 0x7F};

TEST(Real48Test, DecodesKnownPatterns) {
    const struct {
        Bytes bytes;
        long double value;
    } cases[] = {
        {{0, 0, 0, 0, 0, 0}, 0.0L},
        {{0, 1, 2, 3, 4, 0x85}, 0.0L},  // exponent 0 means zero
        {{129, 0, 0, 0, 0, 0}, 1.0L},
        {{129, 0, 0, 0, 0, 0x80}, -1.0L},
        {{128, 0, 0, 0, 0, 0}, 0.5L},
        {{128, 0, 0, 0, 0, 0x40}, 0.75L},
        {{130, 0, 0, 0, 0, 0x40}, 3.0L},
        {{129, 1, 0, 0, 0, 0}, 1.0L + std::ldexp(1.0L, -39)},
        {{1, 0, 0, 0, 0, 0}, std::ldexp(1.0L, -128)},
        {{255, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}, std::ldexp(2.0L - std::ldexp(1.0L, -39), 126)},
    };
    for (const auto& c : cases) EXPECT_EQ(FromBytes(c.bytes).Value(), c.value) << double(c.value);
}

TEST(Real48Test, EncodesRoundingAndSaturating) {
    const long double half = std::ldexp(1.0L, -40);  // half a unit at 1.0
    const struct {
        long double value;
        Bytes bytes;
    } cases[] = {
        {0, {0, 0, 0, 0, 0, 0}},
        {-0.0L, {0, 0, 0, 0, 0, 0}},
        {1, {129, 0, 0, 0, 0, 0}},
        {-1, {129, 0, 0, 0, 0, 0x80}},
        {0.75L, {128, 0, 0, 0, 0, 0x40}},
        {-3, {130, 0, 0, 0, 0, 0xC0}},
        // Rounding to nearest, ties to even; the carry reaches the exponent.
        {1 + half, {129, 0, 0, 0, 0, 0}},
        {1 + 3 * half, {129, 2, 0, 0, 0, 0}},
        {1 + half + std::ldexp(1.0L, -60), {129, 1, 0, 0, 0, 0}},
        {2.0L - std::ldexp(1.0L, -41), {130, 0, 0, 0, 0, 0}},
        // The largest magnitudes, saturation and underflow.
        {1.7E38L, kMax17E38},
        {1.7E38, kMax17E38},
        {-1.7E38L, {0xFF, 0x67, 0x3C, 0x9E, 0xC9, 0xFF}},
        {1e39L, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}},
        {-INFINITY, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {1e-50L, {0, 0, 0, 0, 0, 0}},
        {NAN, {0, 0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) EXPECT_EQ(TReal48::FromValue(c.value).Bytes, c.bytes) << double(c.value);
    EXPECT_EQ(TReal48::FromValue(0.1L).Value(), std::ldexp(std::nearbyint(std::ldexp(0.1L, 43)), -43));
    EXPECT_LE(std::fabs(FromBytes(kMax17E38).Value() - 1.7E38L), std::ldexp(1.0L, 126 - 40));
}

TEST(Real48Test, CoordinatesRoundTrip) {
    for (long double v : {-1234567.875L, -543210.5L, -1234567.25L, 1199999.0625L, -0.015625L}) {
        TReal48 r = TReal48::FromValue(v);
        EXPECT_EQ(r.Value(), v);
        EXPECT_EQ(TReal48::FromValue(r.Value()).Bytes, r.Bytes);
    }
    // Not representable: the nearest value within half a unit in the last place.
    long double v = -1234567.89L;
    long double back = TReal48::FromValue(v).Value();
    EXPECT_LE(std::fabs(back - v), std::ldexp(1.0L, 20 - 39) / 2);  // 2^20 <= |v| < 2^21
    EXPECT_NE(back, v);
    // Every representable value encodes back to its bytes and fits a double.
    std::mt19937_64 gen(12345);
    for (int i = 0; i < 20000; ++i) {
        Bytes b;
        for (auto& x : b) x = static_cast<std::uint8_t>(gen());
        if (b[0] == 0) b[0] = 1;
        TReal48 r = FromBytes(b);
        ASSERT_EQ(TReal48::FromValue(r.Value()).Bytes, b) << i;
        ASSERT_EQ(static_cast<long double>(static_cast<double>(r.Value())), r.Value());
    }
}

TEST(Real48Test, ComparesByValue) {
    EXPECT_TRUE(FromBytes({0, 0, 0, 0, 0, 0x80}) == FromBytes({0, 0, 0, 0, 0, 0}));
    EXPECT_FALSE(FromBytes({129, 1, 0, 0, 0, 0}) == FromBytes({129, 0, 0, 0, 0, 0}));
    EXPECT_FALSE(FromBytes({129, 0, 0, 0, 0, 0x80}) == FromBytes({129, 0, 0, 0, 0, 0}));
    EXPECT_EQ(FromBytes({0xFF, 0x67, 0x3C, 0x9E, 0xC9, 0xFF}).Value(), -FromBytes(kMax17E38).Value());
}

// The format's definition, evaluated slowly in long double.
long double Reference(const Bytes& b) {
    if (b[0] == 0) return 0.0L;
    long double fraction = 0.0L;
    for (int i = 5; i >= 1; --i) fraction = fraction * 256.0L + (i == 5 ? (b[i] & 0x7F) : b[i]);
    const long double v = std::ldexp(1.0L + std::ldexp(fraction, -39), int(b[0]) - 129);
    return (b[5] & 0x80) ? -v : v;
}

TEST(Real48Test, DecodingByBitsEqualsTheDefinitionOnRandomPatterns) {
    std::mt19937_64 random(48);
    for (int n = 0; n < 200000; ++n) {
        Bytes b{};
        const std::uint64_t r = random();
        for (int i = 0; i < 6; ++i) b[i] = static_cast<std::uint8_t>(r >> (8 * i));
        if (n % 7 == 0) b[0] = static_cast<std::uint8_t>(n % 3 == 0 ? 0 : (n % 5 == 0 ? 1 : 255));  // the ends
        const TReal48 x = FromBytes(b);
        ASSERT_EQ(static_cast<long double>(x.ToDouble()), Reference(b)) << n;
        // Equality of the bytes' values, without decoding, agrees with the values.
        Bytes c = b;
        c[1 + n % 5] ^= static_cast<std::uint8_t>(1u << (n % 8));
        ASSERT_EQ(x == FromBytes(c), Reference(b) == Reference(c)) << n;
        ASSERT_TRUE(x == FromBytes(b));
    }
}

TEST(Real48Test, OrderKeysOrderAsTheValuesOnRandomPairs) {
    std::mt19937_64 random(4848);
    auto randomBytes = [&](int n) {
        Bytes b{};
        const std::uint64_t r = random();
        for (int i = 0; i < 6; ++i) b[i] = static_cast<std::uint8_t>(r >> (8 * i));
        if (n % 5 == 0) b[0] = static_cast<std::uint8_t>(n % 3 == 0 ? 0 : 129 + n % 3);  // zeros and near values
        return b;
    };
    for (int n = 0; n < 200000; ++n) {
        Bytes a = randomBytes(n), b = randomBytes(n + 1);
        if (n % 4 == 0) b = a, b[1 + n % 5] ^= static_cast<std::uint8_t>(1u << (n % 8));  // one bit apart
        if (n % 9 == 0) b = a, b[5] ^= 0x80;                                                  // the sign apart
        const long double x = Reference(a), y = Reference(b);
        const std::int64_t kx = FromBytes(a).OrderKey(), ky = FromBytes(b).OrderKey();
        ASSERT_EQ(kx < ky, x < y) << n;
        ASSERT_EQ(kx == ky, x == y) << n;
    }
}

}  // namespace
