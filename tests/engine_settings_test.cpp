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

} // namespace
