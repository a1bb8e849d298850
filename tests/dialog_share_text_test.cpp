#include "filter_extras.h"
#include "share_text.h"

#include "comma_locale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace {

using dialog::parseNumber;
using dialog::textToShare;

// The share a text gives, or -1 when the text is refused.
int32_t shareOf(const char* text)
{
    int32_t share = -7;
    if (!textToShare(text, share))
        return -1;
    return share;
}

TEST(TypedShare, AcceptedTextsGiveHundredthsOfAPercent)
{
    EXPECT_EQ(shareOf("1.234"), 123);
    EXPECT_EQ(shareOf("1.00"), 100);
    EXPECT_EQ(shareOf("0.01"), 1);
    EXPECT_EQ(shareOf("100"), 10000);
    EXPECT_EQ(shareOf("100.00"), 10000);
    EXPECT_EQ(shareOf("7"), 700);
    EXPECT_EQ(shareOf("+3"), 300);
    EXPECT_EQ(shareOf(".5"), 50);
    EXPECT_EQ(shareOf("5."), 500);
    EXPECT_EQ(shareOf(" \t\r\n\v\f2.5"), 250);
    EXPECT_EQ(shareOf("-0"), 0);
    EXPECT_EQ(shareOf("0.0049999"), 0);
}

TEST(TypedShare, SinglePrecisionRoundingComesBeforeTheScaling)
{
    // 0.005 and 0.015 in single precision lie just below; exact decimals would round up.
    EXPECT_EQ(shareOf("0.005"), 0);
    EXPECT_EQ(shareOf("0.015"), 1);
    EXPECT_EQ(shareOf("0.025"), 3);    // single precision lies just above here
    // Just above 100 but rounding to 100 in single precision is accepted; the next
    // single-precision number above 100 is not.
    EXPECT_EQ(shareOf("100.000003"), 10000);
    EXPECT_EQ(shareOf("100.00001"), -1);
}

TEST(TypedShare, ExponentsWithEOrD)
{
    EXPECT_EQ(shareOf("1e1"), 1000);
    EXPECT_EQ(shareOf("1E1"), 1000);
    EXPECT_EQ(shareOf("1d1"), 1000);
    EXPECT_EQ(shareOf("1D1"), 1000);
    EXPECT_EQ(shareOf("250d-1"), 2500);
    EXPECT_EQ(shareOf("1e+2"), 10000);
    EXPECT_EQ(shareOf("1e3"), -1);
    // An exponent marker with no digits after it is not part of the number.
    EXPECT_EQ(shareOf("4e"), 400);
    EXPECT_EQ(shareOf("4e+"), 400);
    EXPECT_EQ(shareOf("4d-x"), 400);
}

TEST(TypedShare, ReadingStopsAtTheFirstCharacterThatDoesNotFit)
{
    EXPECT_EQ(shareOf("5abc"), 500);
    EXPECT_EQ(shareOf("0x10"), 0);
    EXPECT_EQ(shareOf("1,5"), 100);
    EXPECT_EQ(shareOf("1.2.3"), 120);
    EXPECT_EQ(shareOf("2 3"), 200);
}

TEST(TypedShare, TextWithoutANumberGivesZero)
{
    for (const char* t : {"", " ", "abc", ".", "-", "+.", "e5", "inf", "INFINITY", "nan", "NaN(1)", "x1"})
        EXPECT_EQ(shareOf(t), 0) << '"' << t << '"';
}

TEST(TypedShare, NegativeAndTooLargeAreRefused)
{
    for (const char* t : {"-1", "-0.001", "100.5", "101", "1e400", "-1e400", "99999999999999999999999"})
        EXPECT_EQ(shareOf(t), -1) << '"' << t << '"';
    int32_t share = 4321;
    EXPECT_FALSE(textToShare("-1", share));
    EXPECT_EQ(share, 4321);
}

TEST(TypedNumber, ReportsHowMuchOfTheTextItRead)
{
    EXPECT_EQ(parseNumber("12abc").length, 2u);
    EXPECT_EQ(parseNumber("  -1.5d-2z").length, 9u);
    EXPECT_DOUBLE_EQ(parseNumber("  -1.5d-2z").value, -0.015);
    EXPECT_EQ(parseNumber("1e").length, 1u);
    EXPECT_EQ(parseNumber("0x1p3").length, 1u);
    EXPECT_EQ(parseNumber("  ").length, 0u);
    EXPECT_EQ(parseNumber("-.").length, 0u);
    EXPECT_TRUE(std::signbit(parseNumber("-0.0").value));
    EXPECT_FALSE(std::signbit(parseNumber("-").value));
}

TEST(TypedNumber, RoundsCorrectlyToDouble)
{
    EXPECT_EQ(parseNumber("0.1").value, 0.1);
    EXPECT_EQ(parseNumber("2.2250738585072011e-308").value, 2.2250738585072011e-308);
    EXPECT_EQ(parseNumber("4.9e-324").value, std::numeric_limits<double>::denorm_min());
    EXPECT_EQ(parseNumber("2.4703282292062328e-324").value, std::numeric_limits<double>::denorm_min());
    EXPECT_EQ(parseNumber("2.4703282292062327e-324").value, 0.0);
    EXPECT_EQ(parseNumber("1.7976931348623157e308").value, std::numeric_limits<double>::max());
    EXPECT_EQ(parseNumber("1.7976931348623159e308").value, std::numeric_limits<double>::infinity());
    EXPECT_EQ(parseNumber("-1e99999999999999999999").value, -std::numeric_limits<double>::infinity());
    EXPECT_EQ(parseNumber("1e-99999999999999999999").value, 0.0);
    EXPECT_EQ(parseNumber("0.000000000000000000000000000000000000001e40").value, 10.0);
    EXPECT_EQ(parseNumber("00000000000000000000000000000000000000012.5").value, 12.5);
    // 2^53 + 1 lies halfway between two doubles: ties go to the even one, and any
    // digit above zero far down the text tips it up, however many digits that takes.
    EXPECT_EQ(parseNumber("9007199254740993").value, 9007199254740992.0);
    const std::string zeros(900, '0');
    EXPECT_EQ(parseNumber(("9007199254740993." + zeros).c_str()).value, 9007199254740992.0);
    EXPECT_EQ(parseNumber(("9007199254740993." + zeros + "1").c_str()).value, 9007199254740994.0);
    EXPECT_EQ(parseNumber(("9007199254740993" + zeros + "1e-901").c_str()).value, 9007199254740994.0);
    EXPECT_EQ(parseNumber(("0." + zeros + "9007199254740993e916").c_str()).value, 9007199254740992.0);
}

TEST(TypedNumber, PointIsTheDecimalSeparatorInEveryLocale)
{
    CommaLocale locale;
    ASSERT_NE(locale.name(), nullptr) << CommaLocale::kMissing;
    const double half = parseNumber("1.5").value;
    const int32_t comma = shareOf("1,5");
    locale.restore();
    EXPECT_EQ(half, 1.5) << locale.name();
    EXPECT_EQ(comma, 100) << locale.name();
}

// ---- the extras as whole numbers -------------------------------------------------------

// What the extended filter's boxes take: the tool's forms, a point with nothing after it
// (on the way to "2.5"), empty as 0; nothing rounded or clamped.
TEST(ExtraText, TakesTheToolsFormsAndRefusesTheRest)
{
    const filter_extras::ExtraInfo& follow = filter_extras::kExtras[filter_extras::kFollowTime];
    const filter_extras::ExtraInfo& strength = filter_extras::kExtras[filter_extras::kStrength];
    const filter_extras::ExtraInfo& margin = filter_extras::kExtras[filter_extras::kMarginTop];
    using T = filter_extras::TextValue;
    const struct {
        const filter_extras::ExtraInfo* info;
        const char* text;
        T result;
        int32_t value;
    } cases[] = {
        {&follow, "1.5", T::Ok, 1500},      {&follow, "2.", T::Ok, 2000},          {&follow, ".25", T::Ok, 250},
        {&follow, "", T::Ok, 0},            {&follow, "0.001", T::Ok, 1},          {&follow, "1.2340", T::Ok, 1234},
        {&follow, "100", T::Ok, 100000},    {&follow, "100.001", T::OutOfRange, 0}, {&follow, "1.2345", T::TooFine, 0},
        {&follow, "1e1", T::Malformed, 0},  {&follow, "1,5", T::Malformed, 0},     {&follow, "-1", T::Malformed, 0},
        {&follow, " 1", T::Malformed, 0},   {&follow, "1..2", T::Malformed, 0},    {&strength, "50", T::Ok, 50},
        {&strength, "100", T::Ok, 100},     {&strength, "101", T::OutOfRange, 0},  {&strength, "0.5", T::Malformed, 0},
        {&margin, "2147483647", T::Ok, INT32_MAX}, {&margin, "2147483648", T::OutOfRange, 0},
        {&margin, "99999999999999999999", T::OutOfRange, 0},
    };
    for (const auto& c : cases) {
        int32_t value = -7;
        EXPECT_EQ(filter_extras::parseText(*c.info, c.text, value), c.result) << c.info->name << " \"" << c.text << '"';
        EXPECT_EQ(value, c.result == T::Ok ? c.value : -7) << c.info->name << " \"" << c.text << '"';
    }
}

// Every follow time in its shortest text, read back to itself: "1.5", "0.001", "100".
TEST(ExtraText, EveryFollowTimeReadsBackFromItsText)
{
    const filter_extras::ExtraInfo& follow = filter_extras::kExtras[filter_extras::kFollowTime];
    char text[16];
    for (int32_t ms = 0; ms <= follow.max; ++ms) {
        filter_extras::formatText(follow, ms, text, sizeof text);
        int32_t back = -1;
        ASSERT_EQ(filter_extras::parseText(follow, text, back), filter_extras::TextValue::Ok) << text;
        ASSERT_EQ(back, ms) << text;
        ASSERT_TRUE(std::strlen(text) < 2 || text[std::strlen(text) - 1] != '0' || !std::strchr(text, '.')) << text;
    }
    filter_extras::formatText(follow, 1500, text, sizeof text);
    EXPECT_STREQ(text, "1.5");
}

} // namespace
