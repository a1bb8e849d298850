#include "dialog_core.h"
#include "dialog_stand_in.h"
#include "levels_instance.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using namespace dialog;

int gPreviewObject;     // stands for the host's preview interface

struct DialogTest : ::testing::Test {
    LevelsInstance inst{};
    StandInDialog ui{inst};

    void SetUp() override
    {
        resetToDefaults(inst);
        inst.preview = &gPreviewObject;
    }
    // Opens the dialog and forgets what opening it did.
    void open()
    {
        ASSERT_TRUE(onInitDialog(inst, ui));
        ui.events.clear();
    }
};

TEST_F(DialogTest, OpeningShowsTheRecordAndRefreshesOncePerClipBox)
{
    inst.highlightClip = 150;
    inst.shadowClip = 10000;
    inst.highlightsMin = 30;
    inst.shadowsMax = 200;
    inst.previewClipped = 1;
    EXPECT_TRUE(onInitDialog(inst, ui));

    EXPECT_EQ(ui.check[kIdPreviewClipped], 1);
    EXPECT_EQ(ui.text[kIdHighlightClipBox], "1.50");
    EXPECT_EQ(ui.text[kIdShadowClipBox], "100.00");
    EXPECT_EQ(ui.text[kIdHighlightsMinBox], "30");
    EXPECT_EQ(ui.text[kIdShadowsMaxBox], "200");
    for (int id : {kIdHighlightClipSlider, kIdShadowClipSlider}) {
        EXPECT_EQ(ui.slider[id].low, 0);
        EXPECT_EQ(ui.slider[id].high, 100);
        EXPECT_EQ(ui.slider[id].ticks, 5);
    }
    for (int id : {kIdHighlightsMinSlider, kIdShadowsMaxSlider}) {
        EXPECT_EQ(ui.slider[id].low, 0);
        EXPECT_EQ(ui.slider[id].high, 255);
        EXPECT_EQ(ui.slider[id].ticks, 15);
    }
    EXPECT_EQ(ui.slider[kIdHighlightClipSlider].pos, 1);
    EXPECT_EQ(ui.slider[kIdShadowClipSlider].pos, 100);
    EXPECT_EQ(ui.slider[kIdHighlightsMinSlider].pos, 30);
    EXPECT_EQ(ui.slider[kIdShadowsMaxSlider].pos, 200);

    // Each box's text comes back as typing that parses to the same share: two refreshes
    // of two frame runs each, then the host gets its preview button.
    const std::vector<std::string> expected = {"redo", "redo", "redo", "redo", "init:10"};
    EXPECT_EQ(ui.events, expected);
    EXPECT_EQ(ui.redoWithTrackingSet, 0);
    EXPECT_EQ(inst.tracking, 0);
    EXPECT_EQ(inst.highlightClip, 150);
    EXPECT_EQ(inst.shadowClip, 10000);
    EXPECT_EQ(ui.ended, -99);
}

TEST_F(DialogTest, TypedShareIsStoredAndTheBoxKeepsTheText)
{
    open();
    ui.type(kIdHighlightClipBox, "1.234");
    EXPECT_EQ(inst.highlightClip, 123);
    EXPECT_EQ(ui.slider[kIdHighlightClipSlider].pos, 1);
    EXPECT_EQ(ui.text[kIdHighlightClipBox], "1.234");
    EXPECT_EQ(ui.redos(), 2);
    EXPECT_EQ(ui.count("sound:SystemAsterisk"), 0);

    ui.type(kIdShadowClipBox, "5abc");
    EXPECT_EQ(inst.shadowClip, 500);
    EXPECT_EQ(ui.slider[kIdShadowClipSlider].pos, 5);
    EXPECT_EQ(ui.text[kIdShadowClipBox], "5abc");
    EXPECT_EQ(inst.highlightClip, 123);
    EXPECT_EQ(ui.redos(), 4);

    ui.type(kIdShadowClipBox, "100");
    EXPECT_EQ(inst.shadowClip, 10000);
    EXPECT_EQ(ui.slider[kIdShadowClipSlider].pos, 100);

    ui.type(kIdShadowClipBox, "0.005");
    EXPECT_EQ(inst.shadowClip, 0);
    ui.type(kIdHighlightClipBox, "1d1");
    EXPECT_EQ(inst.highlightClip, 1000);
    EXPECT_EQ(ui.slider[kIdHighlightClipSlider].pos, 10);
    EXPECT_EQ(ui.redoWithTrackingSet, 0);
}

TEST_F(DialogTest, BoxReadsUpTo27CharactersAndEmptyOrUnreadableIsZero)
{
    open();
    // A digit after 27 characters is never seen.
    ui.type(kIdHighlightClipBox, std::string(26, '0') + "5");
    EXPECT_EQ(inst.highlightClip, 500);
    ui.type(kIdHighlightClipBox, std::string(27, '0') + "5");
    EXPECT_EQ(inst.highlightClip, 0);
    ui.type(kIdShadowClipBox, "");
    EXPECT_EQ(inst.shadowClip, 0);

    inst.shadowClip = 300;
    ui.failTextRead = true;
    EXPECT_FALSE(onCommand(inst, ui, kIdShadowClipBox, kEditChanged));
    EXPECT_EQ(inst.shadowClip, 0);
    EXPECT_EQ(ui.count("sound:SystemAsterisk"), 0);
}

TEST_F(DialogTest, RefusedTextPutsTheStoredShareBackThenSounds)
{
    inst.highlightClip = 250;
    open();
    for (const char* bad : {"100.5", "-1", "1e3"}) {
        ui.events.clear();
        ui.type(kIdHighlightClipBox, bad);
        EXPECT_EQ(inst.highlightClip, 250) << bad;
        EXPECT_EQ(ui.text[kIdHighlightClipBox], "2.50") << bad;
        EXPECT_EQ(ui.slider[kIdHighlightClipSlider].pos, 2) << bad;
        // The text written back runs the typing path once: one refresh, before the sound.
        const std::vector<std::string> expected = {"redo", "redo", "sound:SystemAsterisk"};
        EXPECT_EQ(ui.events, expected) << bad;
    }
    EXPECT_EQ(inst.shadowClip, 100);
}

TEST_F(DialogTest, ShareSlidersMoveInWholePercent)
{
    open();
    EXPECT_FALSE(ui.drag(kIdHighlightClipSlider, 7));
    EXPECT_EQ(inst.highlightClip, 700);
    EXPECT_EQ(ui.text[kIdHighlightClipBox], "7.00");
    EXPECT_EQ(ui.redos(), 2);

    // A share typed between whole percents keeps its value while its slider stays put.
    ui.type(kIdShadowClipBox, "1.5");
    EXPECT_EQ(inst.shadowClip, 150);
    EXPECT_EQ(ui.slider[kIdShadowClipSlider].pos, 1);
    ui.events.clear();
    EXPECT_FALSE(ui.drag(kIdShadowClipSlider, 1));
    EXPECT_EQ(inst.shadowClip, 150);
    EXPECT_EQ(ui.text[kIdShadowClipBox], "1.5");
    EXPECT_EQ(ui.redos(), 0);

    EXPECT_FALSE(ui.drag(kIdShadowClipSlider, 0));
    EXPECT_EQ(inst.shadowClip, 0);
    EXPECT_EQ(ui.text[kIdShadowClipBox], "0.00");
    EXPECT_EQ(ui.redos(), 2);
    EXPECT_EQ(inst.highlightClip, 700);
}

TEST_F(DialogTest, LimitSlidersSetTheLevelAndItsBox)
{
    open();
    EXPECT_FALSE(ui.drag(kIdHighlightsMinSlider, 30));
    EXPECT_EQ(inst.highlightsMin, 30);
    EXPECT_EQ(ui.text[kIdHighlightsMinBox], "30");
    EXPECT_EQ(ui.redos(), 2);
    EXPECT_FALSE(ui.drag(kIdShadowsMaxSlider, 255));
    EXPECT_EQ(inst.shadowsMax, 255);
    EXPECT_EQ(ui.text[kIdShadowsMaxBox], "255");
    EXPECT_EQ(ui.redos(), 4);
    // A scroll message with every slider where the record has it changes nothing.
    EXPECT_FALSE(onSliderMoved(inst, ui));
    EXPECT_EQ(ui.redos(), 4);
    EXPECT_EQ(ui.redoWithTrackingSet, 0);
}

TEST_F(DialogTest, DefaultsRestoresOnlyTheLimits)
{
    inst.highlightClip = 321;
    inst.shadowClip = 4321;
    inst.highlightsMin = 5;
    inst.shadowsMax = 6;
    open();
    EXPECT_FALSE(ui.click(kIdDefaults));
    EXPECT_EQ(inst.highlightsMin, 64);
    EXPECT_EQ(inst.shadowsMax, 192);
    EXPECT_EQ(inst.highlightClip, 321);
    EXPECT_EQ(inst.shadowClip, 4321);
    EXPECT_EQ(ui.slider[kIdHighlightsMinSlider].pos, 64);
    EXPECT_EQ(ui.slider[kIdShadowsMaxSlider].pos, 192);
    EXPECT_EQ(ui.text[kIdHighlightsMinBox], "64");
    EXPECT_EQ(ui.text[kIdShadowsMaxBox], "192");
    EXPECT_EQ(ui.redos(), 2);
    EXPECT_EQ(ui.ended, -99);
}

TEST_F(DialogTest, ClippedPreviewFollowsTheCheckBox)
{
    open();
    EXPECT_FALSE(ui.toggleCheck(kIdPreviewClipped));
    EXPECT_EQ(inst.previewClipped, 1);
    EXPECT_EQ(ui.redos(), 2);
    EXPECT_FALSE(ui.toggleCheck(kIdPreviewClipped));
    EXPECT_EQ(inst.previewClipped, 0);
    EXPECT_EQ(ui.redos(), 4);
}

TEST_F(DialogTest, OkTakesTheCheckBoxCancelDoesNotPreviewToggles)
{
    open();
    EXPECT_FALSE(ui.click(kIdPreview));
    EXPECT_EQ(ui.events, std::vector<std::string>{"toggle"});

    ui.check[kIdPreviewClipped] = 1;
    EXPECT_FALSE(ui.click(kIdCancel));
    EXPECT_EQ(ui.ended, 1);
    EXPECT_EQ(inst.previewClipped, 0);
    EXPECT_TRUE(ui.click(kIdOk));
    EXPECT_EQ(ui.ended, 0);
    EXPECT_EQ(inst.previewClipped, 1);
    EXPECT_EQ(ui.redos(), 0);
}

TEST_F(DialogTest, OtherControlsAndNotificationsDoNothing)
{
    open();
    const LevelsInstance before = inst;
    EXPECT_FALSE(onCommand(inst, ui, kIdHighlightsMinBox, kEditChanged));
    EXPECT_FALSE(onCommand(inst, ui, kIdHighlightClipBox, 0x0100));   // focus
    EXPECT_FALSE(onCommand(inst, ui, 4711, 0));
    EXPECT_TRUE(ui.events.empty());
    EXPECT_EQ(std::memcmp(&before, &inst, sizeof inst), 0);
}

TEST_F(DialogTest, WithoutAPreviewEverythingWorksButThePreviewCalls)
{
    inst.preview = nullptr;
    EXPECT_TRUE(onInitDialog(inst, ui));
    EXPECT_FALSE(ui.enabled.at(kIdPreview));
    ui.type(kIdHighlightClipBox, "2");
    EXPECT_EQ(inst.highlightClip, 200);
    ui.type(kIdHighlightClipBox, "-2");
    EXPECT_EQ(inst.highlightClip, 200);
    EXPECT_FALSE(ui.drag(kIdHighlightsMinSlider, 10));
    EXPECT_EQ(inst.highlightsMin, 10);
    EXPECT_FALSE(ui.click(kIdPreview));
    EXPECT_FALSE(ui.click(kIdDefaults));
    EXPECT_TRUE(ui.click(kIdOk));
    EXPECT_EQ(ui.ended, 0);
    EXPECT_EQ(ui.events, std::vector<std::string>{"sound:SystemAsterisk"});
}

TEST_F(DialogTest, HelpOpensThePageBesideTheHost)
{
    open();
    EXPECT_TRUE(ui.click(kIdHelp));
    EXPECT_EQ(ui.events, std::vector<std::string>{"open:C:\\Program Files\\VirtualDub\\plugins\\rangewick.html"});

    // The program's name as the system resolves it, relative or with forward slashes.
    ui.events.clear();
    ui.program = "vdub.exe";
    ui.resolved = "D:\\video\\tools/vdub.exe";
    EXPECT_TRUE(ui.click(kIdHelp));
    EXPECT_EQ(ui.events, std::vector<std::string>{"open:D:\\video\\tools/plugins\\rangewick.html"});
}

struct HelpPathTest : DialogTest {
    // A program path of the given total length in a directory of dirLength characters
    // (trailing separator included).
    void programIn(std::size_t dirLength, std::size_t nameLength = 8)
    {
        ui.program = "C:\\" + std::string(dirLength - 4, 'd') + "\\" + std::string(nameLength, 'v');
        ASSERT_EQ(ui.program.size(), dirLength + nameLength);
    }
};

TEST_F(HelpPathTest, PageIsNotOpenedWhenThePathWouldNotFit)
{
    open();
    char path[kPathBufferSize];
    std::memset(path, 'x', sizeof path);

    // 256-character buffer: directory + 22 characters of page name + terminator.
    const std::size_t longest = kPathBufferSize - sizeof kHelpPage;
    programIn(longest + 1);      // one character too many
    EXPECT_FALSE(helpPagePath(ui, path));
    EXPECT_EQ(path[0], 'x');
    programIn(longest);
    ASSERT_TRUE(helpPagePath(ui, path));
    EXPECT_EQ(std::strlen(path), static_cast<std::size_t>(kPathBufferSize - 1));
    EXPECT_EQ(std::string(path).substr(longest), "plugins\\rangewick.html");

    programIn(200, 54);     // 254 characters and the terminator: fits
    EXPECT_TRUE(helpPagePath(ui, path));
    programIn(200, 55);     // no room for the terminator: cut short by the system
    EXPECT_FALSE(helpPagePath(ui, path));

    // The resolved name is what counts.
    programIn(20);
    ui.resolved = "C:\\" + std::string(260, 'r') + "\\vdub.exe";
    EXPECT_FALSE(helpPagePath(ui, path));
    ui.resolved = "vdub.exe";
    EXPECT_FALSE(helpPagePath(ui, path));

    // In the dialog the help button then gives the asterisk instead of a shell call.
    ui.resolved.clear();
    programIn(240);
    EXPECT_TRUE(ui.click(kIdHelp));
    EXPECT_EQ(ui.events, std::vector<std::string>{"sound:SystemAsterisk"});
}

int acceptAfterEdits(LevelsInstance& inst, void* result)
{
    inst.highlightClip = 999;
    inst.shadowsMax = 3;
    inst.tracking = 0;
    inst.levelTable[7] = 77;
    return *static_cast<int*>(result);
}

TEST(Configure, OkKeepsEditsAnythingElsePutsTheRecordBack)
{
    int previous = 0, current = 0;
    LevelsInstance original{};
    resetToDefaults(original);
    original.preview = &previous;
    original.levelTable[7] = 5;

    LevelsInstance inst = original;
    int ok = 0;
    EXPECT_EQ(configure(inst, &current, acceptAfterEdits, &ok), 0);
    EXPECT_EQ(inst.highlightClip, 999);
    EXPECT_EQ(inst.shadowsMax, 3);
    EXPECT_EQ(inst.levelTable[7], 77);
    EXPECT_EQ(inst.preview, &current);

    for (int ending : {1, -1}) {
        inst = original;
        EXPECT_EQ(configure(inst, &current, acceptAfterEdits, &ending), ending);
        EXPECT_EQ(inst.preview, &current) << ending;
        inst.preview = original.preview;
        EXPECT_EQ(std::memcmp(&inst, &original, sizeof inst), 0) << ending;
    }
}

} // namespace
