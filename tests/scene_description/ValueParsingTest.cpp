#include "scene_description/ValueParsing.h"

#include <gtest/gtest.h>

using namespace Orvana;

TEST(ValueParsing, BooleanRules)
{
    EXPECT_TRUE(parseBoolTrue("true"));
    for (const char* text : {"TRUE", "True", "1", "yes", "", " true", "true "})
        EXPECT_FALSE(parseBoolTrue(text)) << text;

    EXPECT_FALSE(parseBoolNotFalse("false"));
    for (const char* text : {"FALSE", "0", "no", "", "false "})
        EXPECT_TRUE(parseBoolNotFalse(text)) << text;
}

TEST(ValueParsing, NumbersReadTheirLeadingPrefix)
{
    EXPECT_EQ(parseInteger("42abc"), 42);
    EXPECT_EQ(parseInteger("  -7 "), -7);
    EXPECT_EQ(parseInteger("abc"), 0);
    EXPECT_EQ(parseInteger(""), 0);
    EXPECT_EQ(parseInteger("3.9"), 3);
    EXPECT_EQ(parseInteger("99999999999999999999"), INT32_MAX);
    EXPECT_EQ(parseInteger("-99999999999999999999"), INT32_MIN);

    EXPECT_DOUBLE_EQ(parseReal("1.5m"), 1.5);
    EXPECT_DOUBLE_EQ(parseReal("-2e2x"), -200.0);
    EXPECT_DOUBLE_EQ(parseReal("x1.5"), 0.0);
    EXPECT_DOUBLE_EQ(parseReal(""), 0.0);
}

TEST(ValueParsing, NonFiniteNumbersReadAsZero)
{
    EXPECT_DOUBLE_EQ(parseReal("nan"), 0.0);
    EXPECT_DOUBLE_EQ(parseReal("inf"), 0.0);
    EXPECT_DOUBLE_EQ(parseReal("-infinity"), 0.0);
    EXPECT_DOUBLE_EQ(parseReal("1e999"), 0.0);
    EXPECT_FLOAT_EQ(parseFloat("1e300"), 3.4028235e38f);
}

TEST(ValueParsing, KeywordsAreExactAndCaseSensitive)
{
    EXPECT_EQ(parseKeyword<int>("b", {{"a", 1}, {"b", 2}}), 2);
    EXPECT_EQ(parseKeyword<int>("B", {{"a", 1}, {"b", 2}}), 0);
    EXPECT_EQ(parseKeyword<int>("", {{"a", 1}}, 7), 7);
}
