#include "block/Real48.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using vexa::TReal48;

namespace {

TReal48 FromBytes(std::array<std::uint8_t, 6> bytes) {
    TReal48 r;
    r.Bytes = bytes;
    return r;
}

using Bytes = std::array<std::uint8_t, 6>;

TEST(Real48Test, DecodesKnownPatterns) {
    EXPECT_EQ(FromBytes({0, 0, 0, 0, 0, 0}).Value(), 0.0L);
    EXPECT_EQ(FromBytes({0, 1, 2, 3, 4, 0x85}).Value(), 0.0L);  // exponent 0 means zero
    EXPECT_EQ(FromBytes({129, 0, 0, 0, 0, 0}).Value(), 1.0L);
    EXPECT_EQ(FromBytes({129, 0, 0, 0, 0, 0x80}).Value(), -1.0L);
    EXPECT_EQ(FromBytes({128, 0, 0, 0, 0, 0}).Value(), 0.5L);
    EXPECT_EQ(FromBytes({128, 0, 0, 0, 0, 0x40}).Value(), 0.75L);
    EXPECT_EQ(FromBytes({130, 0, 0, 0, 0, 0x40}).Value(), 3.0L);
    EXPECT_EQ(FromBytes({129, 1, 0, 0, 0, 0}).Value(), 1.0L + std::ldexp(1.0L, -39));
    EXPECT_EQ(FromBytes({1, 0, 0, 0, 0, 0}).Value(), std::ldexp(1.0L, -128));
    EXPECT_EQ(FromBytes({255, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}).Value(),
              std::ldexp(2.0L - std::ldexp(1.0L, -39), 126));
}

TEST(Real48Test, EncodesExactValues) {
    EXPECT_EQ(TReal48::FromValue(0).Bytes, (Bytes{0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(TReal48::FromValue(-0.0L).Bytes, (Bytes{0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(TReal48::FromValue(1).Bytes, (Bytes{129, 0, 0, 0, 0, 0}));
    EXPECT_EQ(TReal48::FromValue(-1).Bytes, (Bytes{129, 0, 0, 0, 0, 0x80}));
    EXPECT_EQ(TReal48::FromValue(0.75L).Bytes, (Bytes{128, 0, 0, 0, 0, 0x40}));
    EXPECT_EQ(TReal48::FromValue(-3).Bytes, (Bytes{130, 0, 0, 0, 0, 0xC0}));
    EXPECT_EQ(TReal48::FromValue(0.1L).Value(), std::ldexp(std::nearbyint(std::ldexp(0.1L, 43)), -43));
}

TEST(Real48Test, NationalGridCoordinatesRoundTrip) {
    for (long double v : {-1234567.875L, -543210.5L, -1234567.25L, 1199999.0625L, -0.015625L}) {
        TReal48 r = TReal48::FromValue(v);
        EXPECT_EQ(r.Value(), v);
        EXPECT_EQ(TReal48::FromValue(r.Value()).Bytes, r.Bytes);
    }
    // Not representable: the nearest value within half a unit in the last place.
    long double v = -1234567.89L;
    long double back = TReal48::FromValue(v).Value();
    long double ulp = std::ldexp(1.0L, 20 - 39);  // 2^20 <= |v| < 2^21
    EXPECT_LE(std::fabs(back - v), ulp / 2);
    EXPECT_NE(back, v);
}

TEST(Real48Test, EveryRepresentableValueRoundTrips) {
    std::mt19937_64 gen(12345);
    for (int i = 0; i < 20000; ++i) {
        Bytes b;
        for (auto& x : b) x = static_cast<std::uint8_t>(gen());
        if (b[0] == 0) b[0] = 1;
        TReal48 r = FromBytes(b);
        TReal48 again = TReal48::FromValue(r.Value());
        ASSERT_EQ(again.Bytes, b) << i;
        ASSERT_EQ(static_cast<long double>(static_cast<double>(r.Value())), r.Value());  // fits a double
    }
}

TEST(Real48Test, RoundsToNearestEven) {
    const long double half = std::ldexp(1.0L, -40);  // half a unit at 1.0
    EXPECT_EQ(TReal48::FromValue(1 + half).Value(), 1.0L);
    EXPECT_EQ(TReal48::FromValue(1 + 3 * half).Value(), 1 + 4 * half);
    EXPECT_EQ(TReal48::FromValue(1 + half + std::ldexp(1.0L, -60)).Value(), 1 + 2 * half);
    // Rounding up into the next power of two carries into the exponent.
    EXPECT_EQ(TReal48::FromValue(2.0L - std::ldexp(1.0L, -41)).Bytes, (Bytes{130, 0, 0, 0, 0, 0}));
}

TEST(Real48Test, LargestMagnitudesOf17E38) {
    EXPECT_EQ(TReal48::FromValue(1.7E38L).Bytes, (Bytes{0xFF, 0x67, 0x3C, 0x9E, 0xC9, 0x7F}));
    EXPECT_EQ(TReal48::FromValue(-1.7E38L).Bytes, (Bytes{0xFF, 0x67, 0x3C, 0x9E, 0xC9, 0xFF}));
    EXPECT_EQ(TReal48::FromValue(1.7E38).Bytes, (Bytes{0xFF, 0x67, 0x3C, 0x9E, 0xC9, 0x7F}));
    long double v = FromBytes({0xFF, 0x67, 0x3C, 0x9E, 0xC9, 0x7F}).Value();
    EXPECT_LE(std::fabs(v - 1.7E38L), std::ldexp(1.0L, 126 - 40));
    EXPECT_EQ(FromBytes({0xFF, 0x67, 0x3C, 0x9E, 0xC9, 0xFF}).Value(), -v);
}

TEST(Real48Test, SaturatesAndUnderflows) {
    EXPECT_EQ(TReal48::FromValue(1e39L).Bytes, (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}));
    EXPECT_EQ(TReal48::FromValue(-INFINITY).Bytes, (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(TReal48::FromValue(1e-50L).Bytes, (Bytes{0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(TReal48::FromValue(NAN).Bytes, (Bytes{0, 0, 0, 0, 0, 0}));
}

TEST(Real48Test, ComparesByValue) {
    EXPECT_TRUE(FromBytes({0, 0, 0, 0, 0, 0x80}) == FromBytes({0, 0, 0, 0, 0, 0}));
    EXPECT_FALSE(FromBytes({129, 1, 0, 0, 0, 0}) == FromBytes({129, 0, 0, 0, 0, 0}));
    EXPECT_FALSE(FromBytes({129, 0, 0, 0, 0, 0x80}) == FromBytes({129, 0, 0, 0, 0, 0}));
}

} // namespace
