#include "extended_settings.h"
#include "levels_instance.h"
#include "settings.h"

#include "comma_locale.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

TEST(StoredSettings, ClampedEachToItsOwnRange)
{
    LevelsInstance inst{};
    inst.previewClipped = 1;
    const int32_t values[] = {-5, 20000, 300, -1};
    settings::applyStored(inst, values);
    EXPECT_EQ(inst.highlightClip, 0);
    EXPECT_EQ(inst.shadowClip, 10000);
    EXPECT_EQ(inst.highlightsMin, 255);
    EXPECT_EQ(inst.shadowsMax, 0);
    EXPECT_EQ(inst.previewClipped, 0);

    const int32_t extremes[] = {INT32_MIN, INT32_MAX, INT32_MAX, INT32_MIN};
    settings::applyStored(inst, extremes);
    EXPECT_EQ(inst.highlightClip, 0);
    EXPECT_EQ(inst.shadowClip, 10000);
    EXPECT_EQ(inst.highlightsMin, 255);
    EXPECT_EQ(inst.shadowsMax, 0);
}

// The written line's length, and room for the longest line any record can give. (The
// lines themselves and their round trip are checked through the filter's procedure.)
TEST(ScriptLine, GivesItsLengthAndTheLongestFits)
{
    LevelsInstance inst{};
    inst.highlightClip = inst.shadowClip = 10000;
    inst.highlightsMin = inst.shadowsMax = 255;
    char line[64];
    EXPECT_EQ(settings::formatScriptLine(inst, line, sizeof line), 30u);
    EXPECT_STREQ(line, "Config(10000, 10000, 255, 255)");

    inst.highlightClip = inst.shadowClip = inst.highlightsMin = inst.shadowsMax = INT32_MIN;
    EXPECT_EQ(settings::formatScriptLine(inst, line, sizeof line), settings::kScriptLineMax);
}

TEST(ScriptLine, AcceptsWhatSavedScriptsHoldAndRefusesTheRest)
{
    int32_t v[4] = {};
    EXPECT_TRUE(settings::parseScriptLine("Config(250,0,0,255)", v));
    EXPECT_EQ(v[0], 250);
    EXPECT_TRUE(settings::parseScriptLine("  VirtualDub.video.filters.instance[0].Config(-5, 20000, 300, -1);  ", v));
    EXPECT_EQ(v[0], -5);
    EXPECT_EQ(v[1], 20000);
    EXPECT_EQ(v[3], -1);
    EXPECT_TRUE(settings::parseScriptLine("Config(-2147483648, 2147483647, +1, 0)", v));
    EXPECT_EQ(v[0], INT32_MIN);

    for (const char* bad : {"", "Config", "Config(1, 2, 3)", "Config(1, 2, 3, 4, 5)", "config(1, 2, 3, 4)",
                            "Config(1, 2, 3, x)", "Config(1, 2, 3, 4) junk", "Config(2147483648, 0, 0, 0)",
                            "Config(1.5, 0, 0, 0)", "Config(1, 2, 3, 4"})
        EXPECT_FALSE(settings::parseScriptLine(bad, v)) << '"' << bad << '"';
}

TEST(ShareText, TwoDecimalsWithAPointInAnyLocale)
{
    // Whatever the process locale, the text is what "%.2f" prints in the C locale.
    CommaLocale locale;
    ASSERT_NE(locale.name(), nullptr) << CommaLocale::kMissing;
    char got[16];
    for (int32_t share = -200; share <= 10000; ++share) {
        settings::formatShare(share, got, sizeof got);
        char want[32];
        std::snprintf(want, sizeof want, "%.2f", share * 0.01);
        if (std::strchr(want, ','))
            *std::strchr(want, ',') = '.';
        ASSERT_STREQ(got, want) << share;
    }
    locale.restore();
    settings::formatShare(INT32_MIN, got, sizeof got);
    EXPECT_STREQ(got, "-21474836.48");
}

// ---- the extras as whole numbers -------------------------------------------------------

// What the extended filter's boxes take: the tool's forms, a point with nothing after it
// (on the way to "2.5"), empty as 0; nothing rounded or clamped.
TEST(ExtraText, TakesTheToolsFormsAndRefusesTheRest)
{
    const extras::ExtraInfo& follow = extras::kExtras[extras::kFollowTime];
    const extras::ExtraInfo& strength = extras::kExtras[extras::kStrength];
    const extras::ExtraInfo& margin = extras::kExtras[extras::kMarginTop];
    using T = extras::TextValue;
    const struct {
        const extras::ExtraInfo* info;
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
        EXPECT_EQ(extras::parseText(*c.info, c.text, value), c.result) << c.info->name << " \"" << c.text << '"';
        EXPECT_EQ(value, c.result == T::Ok ? c.value : -7) << c.info->name << " \"" << c.text << '"';
    }
}

// Every follow time in its shortest text, read back to itself: "1.5", "0.001", "100".
TEST(ExtraText, EveryFollowTimeReadsBackFromItsText)
{
    const extras::ExtraInfo& follow = extras::kExtras[extras::kFollowTime];
    char text[16];
    for (int32_t ms = 0; ms <= follow.max; ++ms) {
        extras::formatText(follow, ms, text, sizeof text);
        int32_t back = -1;
        ASSERT_EQ(extras::parseText(follow, text, back), extras::TextValue::Ok) << text;
        ASSERT_EQ(back, ms) << text;
        ASSERT_TRUE(std::strlen(text) < 2 || text[std::strlen(text) - 1] != '0' || !std::strchr(text, '.')) << text;
    }
    extras::formatText(follow, 1500, text, sizeof text);
    EXPECT_STREQ(text, "1.5");
}

} // namespace
