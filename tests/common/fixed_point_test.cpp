// The fixed-point text both programs share: exact integer digits on both sides of the
// 64-bit conversion, and decimals cut for any count the writers use.
#include <gtest/gtest.h>
#include <math.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include "common/fixed_point.h"

namespace {

std::string integer_digits(double v) {
    char digits[kFixedTextCapacity];
    return std::string(digits, digits + exact_integer_digits(v, digits));
}

std::string fixed(double value, int decimals) {
    char text[kFixedTextCapacity];
    const int length = format_fixed(value, decimals, text);
    EXPECT_EQ((size_t)length, strlen(text));
    return text;
}

}  // namespace

TEST(FixedPoint, IntegerDigitsAreExactAroundTwoToThe64) {
    EXPECT_EQ(integer_digits(0.0), "0");
    EXPECT_EQ(integer_digits(ldexp(1.0, 64) - 2048), "18446744073709549568");
    EXPECT_EQ(integer_digits(ldexp(1.0, 64)), "18446744073709551616");
    EXPECT_EQ(integer_digits(ldexp(1.0, 64) + 4096), "18446744073709555712");
    // A whole limb of zeros inside the number: 10^18 x 2^10 = 1024 x 10^18.
    EXPECT_EQ(integer_digits(1e18 * 1024), "1024000000000000000000");
    char expected[400];
    snprintf(expected, sizeof expected, "%.0f", 1.7976931348623157e308);  // exact in glibc
    EXPECT_EQ(integer_digits(1.7976931348623157e308), expected);
}

TEST(FixedPoint, DecimalsAreCutForEveryCount) {
    EXPECT_EQ(fixed(2.0 / 3, 0), "0.");
    EXPECT_EQ(fixed(2.0 / 3, 2), "0.66");
    EXPECT_EQ(fixed(2.0 / 3, 8), "0.66666666");
    EXPECT_EQ(fixed(-12.999999, 5), "-12.99999");
    EXPECT_EQ(fixed(0.99999999999999994, 8), "0.99999999");  // x 10 rounds up: still 9s
    EXPECT_EQ(fixed(-0.0, 3), "0.000");
    EXPECT_EQ(fixed(-INFINITY, 5), "-inf");
    EXPECT_EQ(fixed(NAN, 2), "nan");
}
