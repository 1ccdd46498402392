#include "format/uint128.h"

#include <gtest/gtest.h>

#include <string>

namespace jet {
namespace {

// Decimal digits of a magnitude, by repeated division.
std::string digitsOf(UInt128 v) {
    std::string out;
    do out.insert(out.begin(), static_cast<char>('0' + v.divide(10)));
    while (!v.isZero());
    return out;
}

UInt128 fromDigits(const std::string& digits, bool* overflow = nullptr) {
    UInt128 v;
    for (char c : digits)
        if (!v.multiplyAdd(10, static_cast<std::uint32_t>(c - '0'))) {
            if (overflow) *overflow = true;
            return v;
        }
    if (overflow) *overflow = false;
    return v;
}

TEST(UInt128, DecimalDigitsRoundTripAcrossWordBoundaries) {
    // 2^32, 2^64, 2^96 - 1 (the largest Access Decimal magnitude) and 2^128 - 1.
    for (const std::string d :
         {"0", "7", "4294967296", "18446744073709551616", "79228162514264337593543950335",
          "340282366920938463463374607431768211455"})
        EXPECT_EQ(digitsOf(fromDigits(d)), d);

    const UInt128 twoTo64 = fromDigits("18446744073709551616");
    EXPECT_EQ(twoTo64.word(0), 0u);
    EXPECT_EQ(twoTo64.word(1), 0u);
    EXPECT_EQ(twoTo64.word(2), 1u);
    EXPECT_EQ(twoTo64.byte(8), 1u);
    EXPECT_EQ(UInt128(0x0102030405060708u).byte(0), 0x08u);
    EXPECT_EQ(UInt128(0x0102030405060708u).byte(7), 0x01u);
}

TEST(UInt128, OverflowIsReportedAndLeavesTheValue) {
    bool overflow = false;
    const UInt128 max = fromDigits("340282366920938463463374607431768211455", &overflow);
    EXPECT_FALSE(overflow);
    UInt128 v = max;
    EXPECT_FALSE(v.multiplyAdd(1, 1));
    EXPECT_EQ(v, max);
    fromDigits("340282366920938463463374607431768211456", &overflow);
    EXPECT_TRUE(overflow);

    EXPECT_FALSE(fromDigits("79228162514264337593543950335").exceedsBits(96));
    EXPECT_TRUE(fromDigits("79228162514264337593543950336").exceedsBits(96));
    EXPECT_FALSE(UInt128().exceedsBits(0));
    EXPECT_TRUE(UInt128(1).exceedsBits(0));
}

}  // namespace
}  // namespace jet
