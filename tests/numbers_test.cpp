#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/numbers.h"

using namespace dwellor;

TEST(NumberParse, ReadsTheLeadingNumber) {
    struct Case {
        const char* text;
        double value;
    };
    const Case cases[] = {
        {"1000", 1000},  {"1 000", 1000}, {"12abc", 12},  {"abc", 0},    {"", 0},
        {"-5", -5},      {"+3", 3},       {" 7", 7},      {"1.2.3", 1.2}, {".5", 0.5},
        {"007", 7},      {"1\t0 0", 100}, {"- 4", -4},    {"--4", 0},    {"+", 0},
        {".", 0},        {"3-4", 3},      {"12.5", 12.5}, {"1e3", 1},    {"0.4", 0.4},
        {"34999", 34999}, {" ", 0},       {"-0", 0},
    };
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(parseNumber(c.text), c.value) << '"' << c.text << '"';
    EXPECT_FALSE(std::signbit(parseNumber("-0")));
    const std::string huge(400, '9');
    EXPECT_EQ(parseNumber(huge), std::numeric_limits<double>::max());
    EXPECT_EQ(parseNumber("-" + huge), -std::numeric_limits<double>::max());
    EXPECT_EQ(decimalText(parseNumber(huge)).size(), 309u);
}

TEST(DecimalText, PlainWithFifteenSignificantDigits) {
    EXPECT_EQ(decimalText(500), "500");
    EXPECT_EQ(decimalText(34999.0 / 2), "17499.5");
    EXPECT_EQ(decimalText(1.0 / 2), "0.5");
    EXPECT_EQ(decimalText(25.0 / 2), "12.5");
    EXPECT_EQ(decimalText(0.4 / 2), "0.2");
    EXPECT_EQ(decimalText(0.1 + 0.2), "0.3");
    EXPECT_EQ(decimalText(1.0 / 3), "0.333333333333333");
    EXPECT_EQ(decimalText(-2.5), "-2.5");
    EXPECT_EQ(decimalText(0), "0");
    EXPECT_EQ(decimalText(-0.0), "0");
    EXPECT_EQ(decimalText(1e20), "100000000000000000000");
    EXPECT_EQ(decimalText(123456789012345678.0), "123456789012346000");
    EXPECT_EQ(decimalText(0.000001), "0.000001");
    EXPECT_EQ(decimalText(1000000), "1000000");
}

TEST(DecimalText, ParsesBackToItself) {
    // A normalised text must survive another normalisation unchanged.
    for (double v : {1e20, 1.5e-7, 123456789.123456789, 0.1 + 0.2, 17499.5, -3.25}) {
        const std::string once = decimalText(v);
        EXPECT_EQ(decimalText(parseNumber(once)), once) << v;
    }
}

TEST(RoundPeriod, TiesGoToEven) {
    EXPECT_EQ(roundPeriod(12.5), 12);
    EXPECT_EQ(roundPeriod(13.5), 14);
    EXPECT_EQ(roundPeriod(2.5), 2);
    EXPECT_EQ(roundPeriod(3.5), 4);
    EXPECT_EQ(roundPeriod(0.4), 0);
    EXPECT_EQ(roundPeriod(0.5), 0);
    EXPECT_EQ(roundPeriod(1.5), 2);
    EXPECT_EQ(roundPeriod(-2.5), -2);
    EXPECT_EQ(roundPeriod(-3.5), -4);
    EXPECT_EQ(roundPeriod(2.6), 3);
    EXPECT_EQ(roundPeriod(34999), 34999);
}

TEST(RoundPeriod, SaturatesBeyond32Bits) {
    EXPECT_EQ(roundPeriod(1e12), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(roundPeriod(-1e12), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(periodOf("99999999999999999999"), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(periodOf("1 000"), 1000);
}
