#include "frame_helpers.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

// Levels one frame of `pixel` everywhere with tracking off, as the dialog's refresh does.
LevelsInstance snappedTo(TestFrame& frame, LevelsInstance inst)
{
    TestFrame out(frame.w, frame.h);
    inst.tracking = 0;
    levelFrame(frame.view(), out.view(), inst);
    return inst;
}

TEST(InstanceRecord, DefaultsAndTheLimitsButton)
{
    LevelsInstance inst;
    std::memset(&inst, 0x5A, sizeof inst);
    void* const preview = inst.preview;
    resetToDefaults(inst);
    EXPECT_EQ(inst.preview, preview);
    EXPECT_EQ(inst.tracking, 1);
    EXPECT_EQ(inst.highlightClip, 1);
    EXPECT_EQ(inst.shadowClip, 100);
    EXPECT_EQ(inst.highlightsMin, 64);
    EXPECT_EQ(inst.shadowsMax, 192);
    EXPECT_EQ(inst.blackPoint, 0);
    EXPECT_EQ(inst.whitePoint, 255);
    EXPECT_EQ(inst.previewClipped, 0);
    for (int32_t e : inst.levelTable)
        ASSERT_EQ(e, 0);

    inst.highlightClip = 250;
    inst.shadowClip = 0;
    inst.highlightsMin = 3;
    inst.shadowsMax = 4;
    resetAdvancedLimits(inst);
    EXPECT_EQ(inst.highlightClip, 250);
    EXPECT_EQ(inst.shadowClip, 0);
    EXPECT_EQ(inst.highlightsMin, 64);
    EXPECT_EQ(inst.shadowsMax, 192);
}

TEST(FrameLevelling, FreshInstanceGivesBlackFirstFrameThenTheWorkedExample)
{
    TestFrame in(10, 10), out(10, 10);
    in.fill(rgb(20, 40, 200) | 0xFF000000u);   // the top byte is ignored
    LevelsInstance inst = freshInstance();
    inst.tracking = 0;

    const Detection d = levelFrame(in.view(), out.view(), inst);
    EXPECT_EQ(out.at(0, 0), 0u);
    EXPECT_EQ(out.at(9, 9), 0u);
    EXPECT_EQ(d.black, 20);
    EXPECT_EQ(d.white, 200);
    EXPECT_EQ(inst.blackPoint, 20);
    EXPECT_EQ(inst.whitePoint, 200);
    EXPECT_EQ(inst.tracking, 1);
    EXPECT_EQ(inst.levelTable[0], 0);
    EXPECT_EQ(inst.levelTable[20], 0);
    EXPECT_EQ(inst.levelTable[40], 28);
    EXPECT_EQ(inst.levelTable[120], 142);
    EXPECT_EQ(inst.levelTable[200], 255);
    EXPECT_EQ(inst.levelTable[255], 255);

    levelFrame(in.view(), out.view(), inst);
    for (int32_t y = 0; y < 10; ++y)
        for (int32_t x = 0; x < 10; ++x)
            ASSERT_EQ(out.at(x, y), rgb(0, 28, 255)) << x << "," << y;
}

TEST(FrameLevelling, BlackFrameFallsBackToHighlightsMin)
{
    TestFrame in(8, 4);
    in.fill(0);
    LevelsInstance inst = snappedTo(in, freshInstance());
    EXPECT_EQ(inst.blackPoint, 0);
    EXPECT_EQ(inst.whitePoint, 64);
    for (int i = 64; i < 256; ++i)
        ASSERT_EQ(inst.levelTable[i], 255) << i;
}

TEST(FrameLevelling, SingleGreyLevelCollapsesTheRange)
{
    for (uint32_t g : {64u, 100u, 192u}) {
        TestFrame in(5, 5);
        in.fill(rgb(g, g, g));
        LevelsInstance inst = snappedTo(in, freshInstance());
        EXPECT_EQ(inst.blackPoint, static_cast<int32_t>(g));
        EXPECT_EQ(inst.whitePoint, static_cast<int32_t>(g));
        for (int32_t e : inst.levelTable)
            ASSERT_EQ(e, 0) << "grey " << g;
    }
    TestFrame in(5, 5);
    in.fill(rgb(250, 250, 250));
    LevelsInstance inst = snappedTo(in, freshInstance());
    EXPECT_EQ(inst.blackPoint, 192);
    EXPECT_EQ(inst.whitePoint, 250);
}

TEST(FrameLevelling, ZeroClipSharesTakeTheOuterBins)
{
    TestFrame in(4, 4);
    in.fillWith([](int32_t x, int32_t) { return rgb(100 + static_cast<uint32_t>(x), 120, 130); });
    LevelsInstance inst = freshInstance();
    inst.highlightClip = 0;
    inst.shadowClip = 0;
    inst = snappedTo(in, inst);
    EXPECT_EQ(inst.blackPoint, 0);
    EXPECT_EQ(inst.whitePoint, 255);

    inst = freshInstance();
    inst.highlightClip = 0;
    inst.highlightsMin = 255;
    inst = snappedTo(in, inst);
    EXPECT_EQ(inst.whitePoint, 255);
}

TEST(FrameLevelling, CrossedPointsMeetInTheMiddle)
{
    LevelsInstance settings = freshInstance();
    settings.shadowClip = settings.highlightClip = 6000;
    settings.highlightsMin = 0;
    settings.shadowsMax = 255;

    TestFrame half(10, 10);
    half.fillWith([](int32_t, int32_t y) { return y < 5 ? rgb(100, 100, 100) : rgb(200, 200, 200); });
    LevelsInstance inst = snappedTo(half, settings);
    EXPECT_EQ(inst.blackPoint, 149);
    EXPECT_EQ(inst.whitePoint, 150);

    TestFrame two(2, 1);
    two.at(0, 0) = rgb(100, 100, 100);
    two.at(1, 0) = rgb(200, 200, 200);
    inst = snappedTo(two, settings);
    EXPECT_EQ(inst.blackPoint, 100);
    EXPECT_EQ(inst.whitePoint, 200);

    settings = freshInstance();
    settings.shadowClip = settings.highlightClip = 10000;
    settings.highlightsMin = 0;
    TestFrame green(3, 3);
    green.fill(rgb(0, 1, 0));
    inst = snappedTo(green, settings);
    EXPECT_EQ(inst.blackPoint, 0);
    EXPECT_EQ(inst.whitePoint, 1);
}

TEST(FrameLevelling, TableRoundsInDoublePrecision)
{
    TestFrame in(6, 6);
    in.fill(rgb(0, 50, 0));
    LevelsInstance inst = freshInstance();
    inst.highlightsMin = 0;
    inst = snappedTo(in, inst);
    ASSERT_EQ(inst.blackPoint, 0);
    ASSERT_EQ(inst.whitePoint, 50);
    EXPECT_EQ(inst.levelTable[1], 5);
    EXPECT_EQ(inst.levelTable[24], 122);
    EXPECT_EQ(inst.levelTable[25], 127);   // 25 * 5.1 is 127.5 in exact arithmetic
    EXPECT_EQ(inst.levelTable[26], 133);
    EXPECT_EQ(inst.levelTable[45], 229);
    EXPECT_EQ(inst.levelTable[49], 250);
    EXPECT_EQ(inst.levelTable[50], 255);
    EXPECT_EQ(inst.levelTable[255], 255);
}

TEST(FrameLevelling, ClippedPreviewShowsOnlyClippedLevels)
{
    LevelsInstance inst = freshInstance();
    inst.blackPoint = 20;
    inst.whitePoint = 200;
    inst.previewClipped = 1;
    levels::buildLevelTable(inst);
    for (int i = 0; i < 256; ++i) {
        const int32_t want = i <= 20 ? 0 : i >= 200 ? 255 : 127;
        ASSERT_EQ(inst.levelTable[i], want) << i;
    }
}

TEST(FollowingPoints, OneLevelPerFrameExceptWhiteUpward)
{
    // Detections L = 30, U = 250 and L = 5, U = 120 from points 10 and 200.
    Histogram hist = {};
    hist[30] = 100;
    hist[250] = 100;
    LevelsInstance inst = freshInstance();
    inst.blackPoint = 10;
    inst.whitePoint = 200;
    Detection d = levels::updatePoints(inst, hist, 200);
    EXPECT_EQ(d.black, 30);
    EXPECT_EQ(d.white, 250);
    EXPECT_EQ(inst.blackPoint, 11);
    EXPECT_EQ(inst.whitePoint, 250);

    Histogram hist2 = {};
    hist2[5] = 100;
    hist2[120] = 100;
    inst.blackPoint = 10;
    inst.whitePoint = 200;
    d = levels::updatePoints(inst, hist2, 200);
    EXPECT_EQ(d.black, 5);
    EXPECT_EQ(d.white, 120);
    EXPECT_EQ(inst.blackPoint, 9);
    EXPECT_EQ(inst.whitePoint, 199);
}

TEST(FollowingPoints, ConvergeOverManyFramesKeepingBlackBelowWhite)
{
    // A fresh instance walks from 0 and 255 to the frame's points one level a frame;
    // then the content changes and the points walk again. The order holds throughout.
    TestFrame a(16, 8), b(16, 8), out(16, 8);
    a.fillWith([](int32_t x, int32_t) { return rgb(40 + static_cast<uint32_t>(x), 60, 180); });
    b.fillWith([](int32_t x, int32_t) { return rgb(90, 100 + static_cast<uint32_t>(x), 110); });
    LevelsInstance inst = freshInstance();
    LevelsInstance snapped = snappedTo(a, freshInstance());
    const int32_t aBlack = snapped.blackPoint, aWhite = snapped.whitePoint;

    int frames = 0;
    while ((inst.blackPoint != aBlack || inst.whitePoint != aWhite) && frames < 400) {
        levelFrame(a.view(), out.view(), inst);
        ASSERT_LE(inst.blackPoint, inst.whitePoint);
        ++frames;
    }
    EXPECT_EQ(frames, std::max(aBlack, 255 - aWhite));

    snapped = snappedTo(b, freshInstance());
    for (int i = 0; i < 300; ++i) {
        levelFrame(b.view(), out.view(), inst);
        ASSERT_LE(inst.blackPoint, inst.whitePoint);
    }
    EXPECT_EQ(inst.blackPoint, snapped.blackPoint);
    EXPECT_EQ(inst.whitePoint, snapped.whitePoint);
    EXPECT_EQ(inst.tracking, 1);
}

TEST(PixelPass, EachBitmapAdvancesByItsOwnModulo)
{
    std::mt19937 rng(7);
    TestFrame in(13, 7, 3), out(13, 7, 5);
    in.fillWith([&](int32_t, int32_t) { return static_cast<uint32_t>(rng()); });
    LevelsInstance inst = freshInstance();
    for (int i = 0; i < 256; ++i)
        inst.levelTable[i] = 255 - i;
    const LevelsInstance before = inst;
    levelFrame(in.view(), out.view(), inst);
    for (int32_t y = 0; y < in.h; ++y)
        for (int32_t x = 0; x < in.w; ++x) {
            const uint32_t p = in.at(x, y);
            ASSERT_EQ(out.at(x, y), rgb(255 - ((p >> 16) & 0xFF), 255 - ((p >> 8) & 0xFF), 255 - (p & 0xFF)));
        }
    EXPECT_TRUE(in.paddingUntouched());
    EXPECT_TRUE(out.paddingUntouched());
    EXPECT_NE(std::memcmp(&before, &inst, sizeof inst), 0);
}

TEST(PixelPass, EmptyFramesTouchNothing)
{
    for (auto [w, h] : {std::pair{0, 5}, std::pair{5, 0}, std::pair{0, 0}}) {
        uint32_t guard[4] = {kPadSentinel, kPadSentinel, kPadSentinel, kPadSentinel};
        uint32_t guardOut[4] = {kPadSentinel, kPadSentinel, kPadSentinel, kPadSentinel};
        LevelsInstance inst = freshInstance();
        inst.tracking = 0;
        const LevelsInstance before = inst;
        levelFrame({guard, w, h, 4}, {guardOut, w, h, 8}, inst);
        for (int i = 0; i < 4; ++i)
            ASSERT_EQ(guardOut[i], kPadSentinel);
        EXPECT_EQ(std::memcmp(&before, &inst, sizeof inst), 0) << w << "x" << h;
    }
}

// The fast passes this processor runs, each to be held to the plain one.
struct FastPass {
    std::string name;
    void (*pass)(const BitmapView&, const BitmapView&, const int32_t*, Histogram&);
    bool keepsAlpha = false;
};

// What the plain pass gives, with the input's alpha where `fast` keeps it.
void referenceFor(const FastPass& fast, TestFrame& in, TestFrame& out, const int32_t* table, Histogram& hist)
{
    levels::mapAndCountReference(in.view(), out.view(), table, hist);
    if (fast.keepsAlpha)
        for (int32_t y = 0; y < in.h; ++y)
            for (int32_t x = 0; x < in.w; ++x)
                out.at(x, y) |= in.at(x, y) & 0xFF000000u;
}

std::vector<FastPass> fastPasses()
{
    std::vector<FastPass> passes = {{"dispatched", levels::mapAndCount}};
    for (int i = 0; i < levels::kPassCount; ++i) {
        const levels::Pass pass = static_cast<levels::Pass>(i);
        if (pass != levels::Pass::Plain && levels::passUsable(pass))
            passes.push_back({levels::passName(pass), levels::kernelsOf(pass).mapAndCount});
        if (levels::kernelsOf(pass).keepingAlpha != nullptr)
            passes.push_back({std::string(levels::passName(pass)) + " keeping alpha", levels::kernelsOf(pass).keepingAlpha, true});
    }
    return passes;
}

// Unset, the fastest pass this processor runs; set, the pass named, unless this
// processor cannot run it or no pass has that name: then the fastest, saying why.
// The pass levelFrame runs is the one asked for: the fastest when none is forced. Where
// the environment forces a pass this processor cannot run, the run repeats the unforced
// one: it says so, and CTest counts it as not run.
TEST(PixelPass, TheChosenPassIsTheOneAskedFor)
{
    using Reason = levels::PassChoice::Reason;
    const char* const forced = std::getenv(levels::kPassVariable);
    const levels::PassChoice choice = levels::chosenPass();
    if (forced == nullptr || *forced == '\0') {
        EXPECT_EQ(choice.reason, Reason::Fastest);
        return;
    }
    if (choice.reason == Reason::NotUsable)
        GTEST_SKIP() << "this processor cannot run the forced pass " << forced;
    EXPECT_EQ(choice.reason, Reason::Forced) << forced;
    EXPECT_STREQ(levels::passName(choice.pass), forced);
}

TEST(PixelPass, TheEnvironmentForcesAnyUsablePass)
{
    using levels::Pass;
    using Reason = levels::PassChoice::Reason;
    const levels::PassChoice fastest = levels::choosePass(nullptr);
    EXPECT_EQ(fastest.reason, Reason::Fastest);
    ASSERT_TRUE(levels::passUsable(fastest.pass));
    EXPECT_NE(fastest.pass, Pass::Plain);
    for (int i = static_cast<int>(fastest.pass) + 1; i < levels::kPassCount; ++i)
        EXPECT_FALSE(levels::passUsable(static_cast<Pass>(i))) << levels::passName(static_cast<Pass>(i));
    EXPECT_EQ(levels::choosePass("").reason, Reason::Fastest);

    for (int i = 0; i < levels::kPassCount; ++i) {
        const Pass pass = static_cast<Pass>(i);
        const char* const name = levels::passName(pass);
        const levels::PassChoice forced = levels::choosePass(name);
        EXPECT_EQ(levels::passUsable(pass), levels::kernelsOf(pass).mapAndCount != nullptr) << name;
        if (levels::passUsable(pass)) {
            EXPECT_EQ(forced.pass, pass) << name;
            EXPECT_EQ(forced.reason, Reason::Forced) << name;
        } else {
            EXPECT_EQ(forced.pass, fastest.pass) << name;
            EXPECT_EQ(forced.reason, Reason::NotUsable) << name;
            EXPECT_NE(levels::describePass(forced, name).find("cannot run"), std::string::npos);
        }
    }
    for (const char* unknown : {"AVX2", "sse2", "avx2 "}) {
        const levels::PassChoice choice = levels::choosePass(unknown);
        EXPECT_EQ(choice.pass, fastest.pass) << unknown;
        EXPECT_EQ(choice.reason, Reason::UnknownName) << unknown;
    }
    // This process's own choice, from the variable it was started with.
    const char* const variable = std::getenv(levels::kPassVariable);
    EXPECT_EQ(levels::chosenPass().pass, levels::choosePass(variable).pass);
    std::printf("this process levels with the pass %s\n",
                levels::describePass(levels::chosenPass(), variable).c_str());
}

// Content that exercises the fast passes' shortcuts, `content` of kContents.
// Runs and pairs: noise, flat areas, runs of every length starting on either pixel of a
// pair, runs going on across row ends, pixels equal but for the ignored top byte, grain
// where neighbours match now and then, neighbours differing in one channel only.
// Windows of levels: gradients with grain that keep moving them, levels near 0 and 255
// where they stop, one channel too noisy for a window beside two that fit, blocks of 16
// and of 8 pixels that just fit or just miss, long flat rows that fill the counters.
constexpr int kContents = 14;

void fillContent(TestFrame& in, int content, std::mt19937& rng)
{
    const auto junk = [&] { return static_cast<uint32_t>(rng()) & 0xFF000000u; };
    const auto noise = [&](int32_t, int32_t) { return static_cast<uint32_t>(rng()); };
    const auto bars = [](int32_t x, int32_t) { return rgb(x / 3 % 2 ? 255u : 0u, static_cast<uint32_t>(x / 3) * 40u & 0xFF, 16) | 0x7F000000u; };
    const auto flat = [](int32_t, int32_t) { return rgb(77, 77, 77); };
    const auto blocks = [&](int32_t x, int32_t y) { return (x / 4 + y) % 3 == 0 ? static_cast<uint32_t>(rng()) : rgb(10, 20, 30); };
    uint32_t grey = 128;
    const auto greyGrain = [&](int32_t, int32_t) {
        grey = (grey + 255 + rng() % 3) % 256; // drifts by -1, 0 or +1
        return rgb(grey, grey, grey) | junk();
    };
    uint32_t runLeft = 0, runRgb = 0;
    const auto randomRuns = [&](int32_t, int32_t) {
        if (runLeft == 0) {
            runLeft = 1 + rng() % 5;
            runRgb = static_cast<uint32_t>(rng()) & 0xFFFFFFu;
        }
        --runLeft;
        return runRgb | junk();
    };
    const auto rowsInPairs = [&](int32_t, int32_t y) { return rgb(static_cast<uint32_t>(y / 2), 5, 200) | junk(); };
    // Runs that differ from their neighbours in one channel only: red, green or blue by row.
    const auto oneChannelSteps = [](int32_t x, int32_t y) {
        const uint32_t step = static_cast<uint32_t>(x / 4 % 2);
        switch (y % 3) {
        case 0: return rgb(50 + step, 60, 70);
        case 1: return rgb(50, 60 + step, 70);
        default: return rgb(50, 60, 70 + step);
        }
    };
    const auto grain = [&](int base, int spread) {
        return static_cast<uint32_t>(std::clamp(base + static_cast<int>(rng() % (2 * spread + 1)) - spread, 0, 255));
    };
    // Steep and shallow ramps, each channel its own, with a few levels of grain.
    const auto rampsWithGrain = [&](int32_t x, int32_t y) {
        return rgb(grain(x * 3 % 256, 3), grain((40 + x / 2 + y) % 256, 2), grain(200 - x % 180, 4)) | junk();
    };
    // Bright and dark: grain around 250 (windows stop at 224) and around 2.
    const auto atTheEnds = [&](int32_t x, int32_t y) {
        return rgb(grain(250, 5), grain(2, 2), grain((x + y) % 2 ? 253 : 1, 2)) | junk();
    };
    // Green too noisy for a window; red and blue fit.
    const auto oneWideChannel = [&](int32_t, int32_t) { return rgb(grain(90, 2), static_cast<uint32_t>(rng()) & 0xFF, grain(30, 1)); };
    // Each 16 pixels span exactly 31 or 32 levels above a random start.
    uint32_t spanLow = 0, spanWidth = 31;
    const auto spans = [&](int32_t x, int32_t) {
        if (x % 16 == 0) {
            spanLow = rng() % 224;
            spanWidth = 31 + rng() % 2;
        }
        const uint32_t v = x % 16 == 0 ? spanLow : x % 16 == 1 ? spanLow + spanWidth : spanLow + rng() % spanWidth;
        return rgb(v, 255 - v, v / 2) | junk();
    };
    // Each 8 pixels span exactly 15 or 16 levels in green and red: a window of 16 just
    // holds them or just misses.
    const auto narrowSpans = [&](int32_t x, int32_t) {
        if (x % 8 == 0) {
            spanLow = rng() % 240;
            spanWidth = 15 + rng() % 2;
        }
        const uint32_t v = x % 8 == 0 ? spanLow : x % 8 == 1 ? spanLow + spanWidth : spanLow + rng() % spanWidth;
        return rgb(255 - v, v, v / 3 + 40) | junk();
    };
    switch (content) {
    case 0: in.fillWith(noise); break;
    case 1: in.fillWith(bars); break;
    case 2: in.fillWith(flat); break;
    case 3: in.fillWith(blocks); break;
    case 4: in.fillWith(greyGrain); break;
    case 5: in.fillWith(randomRuns); break;
    case 6: in.fillWith(rowsInPairs); break;
    case 7: in.fillWith(oneChannelSteps); break;
    case 8: in.fillWith(rampsWithGrain); break;
    case 9: in.fillWith(atTheEnds); break;
    case 10: in.fillWith(oneWideChannel); break;
    case 11: in.fillWith(spans); break;
    case 12: in.fillWith(narrowSpans); break;
    default: in.fill(rgb(3, 250, 128) | 0x80000000u); break;
    }
}

// Odd widths, rows of fewer pixels than a vector, single-pixel rows and columns.
const std::pair<int32_t, int32_t> kPassSizes[] = {{1, 1}, {1, 9}, {9, 1}, {2, 1}, {2, 3}, {3, 2},
                                                  {17, 5}, {64, 3}, {31, 31}, {16, 70}, {100, 40}};

// The fast passes against the plain one on every content and size, with paddings.
TEST(PixelPass, FastPassesMatchReferenceBitForBit)
{
    std::mt19937 rng(12345);
    std::string checked;
    for (const FastPass& fast : fastPasses())
        checked += " " + fast.name;
    std::printf("fast passes checked:%s\n", checked.c_str());
    for (const FastPass& fast : fastPasses())
        for (auto [w, h] : kPassSizes)
            for (int content = 0; content < kContents; ++content) {
                TestFrame in(w, h, w % 3), outRef(w, h, 2), outFast(w, h, 2);
                fillContent(in, content, rng);
                int32_t table[256];
                for (int32_t& e : table)
                    e = static_cast<int32_t>(rng() % 256);
                Histogram hRef = {}, hFast = {};
                referenceFor(fast, in, outRef, table, hRef);
                fast.pass(in.view(), outFast.view(), table, hFast);
                const std::string where = fast.name + " " + std::to_string(w) + "x" + std::to_string(h)
                                        + " content " + std::to_string(content);
                ASSERT_EQ(outRef.words, outFast.words) << where;
                ASSERT_EQ(0, std::memcmp(hRef, hFast, sizeof hRef)) << where;
                ASSERT_TRUE(outFast.paddingUntouched()) << where;
            }
}

// The tables levelling makes are often worked out rather than looked up; any table that
// is not exactly such a stretch must still be looked up. Every pair of points, with the
// clipped preview, and with one entry off by one, on a frame whose channels each hold
// every level once in a noisy order.
TEST(PixelPass, FastPassesMatchReferenceOnEveryLevelTable)
{
    std::mt19937 rng(2026);
    uint32_t order[3][256];
    for (auto& channel : order) {
        for (uint32_t i = 0; i < 256; ++i)
            channel[i] = i;
        std::shuffle(std::begin(channel), std::end(channel), rng);
    }
    TestFrame in(256, 1);
    in.fillWith([&](int32_t x, int32_t) { return rgb(order[2][x], order[1][x], order[0][x]) | (static_cast<uint32_t>(rng()) << 24); });
    for (const FastPass& fast : fastPasses())
        for (int32_t black = 0; black < 255; ++black)
            for (int32_t white = black + 1; white < 256; ++white)
                for (int variant = 0; variant < 2; ++variant) {
                    LevelsInstance inst = freshInstance();
                    inst.blackPoint = black;
                    inst.whitePoint = white;
                    inst.previewClipped = variant == 1 && (black + white) % 2 == 0;
                    levels::buildLevelTable(inst);
                    if (variant == 1 && inst.previewClipped == 0) {
                        int32_t& entry = inst.levelTable[rng() % 256];
                        entry = entry == 255 ? 254 : entry + 1;
                    }
                    TestFrame outRef(256, 1), outFast(256, 1);
                    Histogram hRef = {}, hFast = {};
                    referenceFor(fast, in, outRef, inst.levelTable, hRef);
                    fast.pass(in.view(), outFast.view(), inst.levelTable, hFast);
                    ASSERT_EQ(outRef.words, outFast.words) << fast.name << " black " << black << " white " << white << " variant " << variant;
                }
}

// The passes with a table and a histogram per channel this processor runs,
// mapAndCountChannels (the chosen pass's) first; the same for mapping alone.
std::vector<std::pair<std::string, levels::ChannelPass>> channelPasses()
{
    std::vector<std::pair<std::string, levels::ChannelPass>> passes = {{"dispatched", levels::mapAndCountChannels}};
    for (int i = 1; i < levels::kPassCount; ++i) // from the first after the reference
        if (const levels::ChannelPass pass = levels::kernelsOf(static_cast<levels::Pass>(i)).channels)
            passes.emplace_back(levels::passName(static_cast<levels::Pass>(i)), pass);
    return passes;
}

std::vector<std::pair<std::string, levels::ChannelMapPass>> channelMaps()
{
    std::vector<std::pair<std::string, levels::ChannelMapPass>> maps = {{"mapChannels", levels::mapChannels}};
    for (int i = 1; i < levels::kPassCount; ++i)
        if (const levels::ChannelMapPass map = levels::kernelsOf(static_cast<levels::Pass>(i)).mapChannels)
            maps.emplace_back(std::string("map ") + levels::passName(static_cast<levels::Pass>(i)), map);
    return maps;
}

struct Tables {
    levels::ChannelTables of;
};

// `in` through `tables` as mapAndCountChannelsReference gives it, by every channel pass
// and every map function, with and without alpha, in place and not, and counted by
// countChannels: the pixels, the padding and the three histograms, which the passes add
// to.
::testing::AssertionResult channelsAsTheReference(const TestFrame& in, const Tables& tables)
{
    const auto same = [](const TestFrame& a, const TestFrame& b) {
        for (int32_t y = 0; y < a.h; ++y)
            for (int32_t x = 0; x < a.w; ++x)
                if (a.at(x, y) != b.at(x, y))
                    return false;
        return a.paddingUntouched() && b.paddingUntouched();
    };
    levels::ChannelHistograms before;
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 256; ++i)
            before[c][i] = static_cast<uint32_t>(7 * i + c);
    for (bool keepAlpha : {false, true}) {
        TestFrame source = in, want(in.w, in.h, 1);
        levels::ChannelHistograms wantHist;
        std::memcpy(wantHist, before, sizeof wantHist);
        levels::mapAndCountChannelsReference(source.view(), want.view(), tables.of, wantHist, keepAlpha);
        for (bool inPlace : {false, true}) {
            const std::string how = std::string(keepAlpha ? ", alpha" : "") + (inPlace ? ", in place" : "");
            for (const auto& [name, pass] : channelPasses()) {
                TestFrame copy = in, out(in.w, in.h, 1);
                TestFrame& target = inPlace ? copy : out;
                levels::ChannelHistograms hist;
                std::memcpy(hist, before, sizeof hist);
                pass(copy.view(), target.view(), tables.of, hist, keepAlpha);
                if (!same(target, want))
                    return ::testing::AssertionFailure() << name << how << ": pixels";
                if (std::memcmp(hist, wantHist, sizeof hist) != 0)
                    return ::testing::AssertionFailure() << name << how << ": counts";
            }
            for (const auto& [name, map] : channelMaps()) {
                TestFrame copy = in, out(in.w, in.h, 1);
                TestFrame& target = inPlace ? copy : out;
                map(copy.view(), target.view(), tables.of, keepAlpha);
                if (!same(target, want))
                    return ::testing::AssertionFailure() << name << how;
            }
        }
    }
    TestFrame copy = in;
    levels::ChannelHistograms hist, wantHist;
    std::memcpy(hist, before, sizeof hist);
    std::memcpy(wantHist, before, sizeof hist);
    levels::countChannels(copy.view(), hist);
    TestFrame scratch(in.w, in.h);
    levels::mapAndCountChannelsReference(copy.view(), scratch.view(), tables.of, wantHist, false);
    if (std::memcmp(hist, wantHist, sizeof hist) != 0 || copy.words != in.words)
        return ::testing::AssertionFailure() << "countChannels";
    return ::testing::AssertionSuccess();
}

// Tables that differ from channel to channel: random ones (looked up whole); stretches
// of three different ranges, whole or between levels, which the AVX2 passes work out
// where all three are such and look up otherwise (a range of 2 levels, a clipped
// preview); a stretch beside a random table.
Tables channelTables(int kind, std::mt19937& rng)
{
    Tables t;
    const auto randomTable = [&](int32_t* table) {
        for (int i = 0; i < 256; ++i)
            table[i] = static_cast<int32_t>(rng() % 256);
    };
    const auto stretch = [&](int32_t* table) {
        const double black = rng() % 200 + (rng() % 2 ? 0.0 : 0.25), white = black + 2 + rng() % (254 - static_cast<int>(black));
        levels::buildLevelTable(black, white, rng() % 8 == 0, table);
    };
    for (int c = 0; c < 3; ++c) {
        switch (kind) {
        case 0: randomTable(t.of[c]); break;
        case 1: stretch(t.of[c]); break;
        default: c == 1 ? randomTable(t.of[c]) : stretch(t.of[c]); break;
        }
    }
    if (kind == 1 && rng() % 4 == 0)
        levels::buildLevelTable(40, 42, false, t.of[rng() % 3]);
    return t;
}

// The channel passes and mapping alone against the reference on every content and size,
// with paddings.
TEST(ChannelPass, FastPassesMatchReferenceBitForBit)
{
    std::mt19937 rng(808);
    std::string checked;
    for (const auto& pass : channelPasses())
        checked += " " + pass.first;
    for (const auto& map : channelMaps())
        checked += ", " + map.first;
    std::printf("channel passes checked:%s\n", checked.c_str());
    for (auto [w, h] : kPassSizes)
        for (int content = 0; content < kContents; ++content)
            for (int kind = 0; kind < 3; ++kind) {
                TestFrame in(w, h, w % 3);
                fillContent(in, content, rng);
                ASSERT_TRUE(channelsAsTheReference(in, channelTables(kind, rng)))
                    << w << "x" << h << " content " << content << " tables " << kind;
            }
}

// Every pair of whole points, in one channel or another beside two other pairs, with the
// clipped preview and with an entry off by one, on a frame whose channels each hold
// every level; and a 1080p frame of gradients, grain, noise and flat areas.
TEST(ChannelPass, FastPassesMatchReferenceOnEveryLevelTableAndOnFullFrames)
{
    std::mt19937 rng(4711);
    uint32_t order[3][256];
    for (auto& channel : order) {
        for (uint32_t i = 0; i < 256; ++i)
            channel[i] = i;
        std::shuffle(std::begin(channel), std::end(channel), rng);
    }
    TestFrame every(256, 1);
    every.fillWith([&](int32_t x, int32_t) { return rgb(order[2][x], order[1][x], order[0][x]) | (static_cast<uint32_t>(rng()) << 24); });
    std::vector<std::pair<int32_t, int32_t>> pairs;
    for (int32_t black = 0; black < 255; ++black)
        for (int32_t white = black + 1; white < 256; ++white)
            pairs.emplace_back(black, white);
    std::shuffle(pairs.begin(), pairs.end(), rng);
    const size_t n = pairs.size(); // a multiple of 3
    for (size_t i = 0; i < n / 3; ++i) {
        Tables t;
        for (size_t c = 0; c < 3; ++c) {
            const auto [black, white] = pairs[i + c * n / 3];
            const bool clipped = i % 7 == 3 && c == i % 3;
            levels::buildLevelTable(black, white, clipped, t.of[c]);
        }
        if (i % 7 == 5) {
            int32_t& entry = t.of[i % 3][rng() % 256];
            entry = entry == 255 ? 254 : entry + 1;
        }
        ASSERT_TRUE(channelsAsTheReference(every, t)) << "pairs from " << i;
    }

    TestFrame full(1920, 1080);
    full.fillWith([&](int32_t x, int32_t y) {
        if (y % 270 < 30)
            return static_cast<uint32_t>(rng());   // noise
        if (x < 200)
            return rgb(16, 16, 16);                // flat
        const int grain = static_cast<int>(rng() % 7) - 3;
        return (static_cast<uint32_t>(rng()) & 0xFF000000u)
             | rgb(static_cast<uint32_t>(std::clamp(40 + x / 10 + grain, 0, 255)),
                   static_cast<uint32_t>(std::clamp(30 + y / 6 - grain, 0, 255)),
                   static_cast<uint32_t>(std::clamp(90 + (x + y) / 30 + grain, 0, 255)));
    });
    for (int kind : {1, 2}) // stretches worked out, and looked up
        ASSERT_TRUE(channelsAsTheReference(full, channelTables(kind, rng))) << "1080p, tables " << kind;
}

// ---- the picture between strips at the sides ----------------------------------------

// Every pass between strips this processor runs, the dispatched one first (with one
// table, and with a table per channel).
std::vector<std::pair<std::string, levels::PassKernels>> betweenPasses()
{
    std::vector<std::pair<std::string, levels::PassKernels>> passes;
    passes.push_back({"dispatched", {}});
    passes.back().second.between = levels::mapAndCountBetween;
    passes.back().second.channelsBetween = levels::mapAndCountChannelsBetween;
    for (int i = 1; i < levels::kPassCount; ++i)
        if (levels::passUsable(static_cast<levels::Pass>(i)))
            passes.emplace_back(levels::passName(static_cast<levels::Pass>(i)), levels::kernelsOf(static_cast<levels::Pass>(i)));
    return passes;
}

// The reference between strips is the frame mapped as mapReference and
// mapChannelsReference map it and the picture between the strips counted as the
// reference passes count it; every pass gives the reference's pixels and counts, in
// place and not, with and without alpha. Strips of every width up to the row's and
// beyond, below 0, and of nearly 2^31 each.
TEST(BetweenPass, IsThePictureCountedAndTheWholeMapped)
{
    std::mt19937 rng(3131);
    std::string checked;
    for (const auto& pass : betweenPasses())
        checked += " " + pass.first;
    std::printf("passes between strips checked:%s\n", checked.c_str());
    const auto same = [](const TestFrame& a, const TestFrame& b) {
        for (int32_t y = 0; y < a.h; ++y)
            for (int32_t x = 0; x < a.w; ++x)
                if (a.at(x, y) != b.at(x, y))
                    return false;
        return a.paddingUntouched() && b.paddingUntouched();
    };
    for (auto [w, h] : kPassSizes)
        for (int content = 0; content < kContents; ++content) {
            TestFrame in(w, h, w % 3);
            fillContent(in, content, rng);
            const Tables tables = channelTables(content % 3, rng);
            const int32_t* table = tables.of[content % 2];
            levels::SideStrips strips = {static_cast<int32_t>(rng() % (w + 1)), static_cast<int32_t>(rng() % (w + 1))};
            switch (content % 7) {
            case 0: strips = {0, 0}; break;
            case 1: // a picture between them
                strips.left %= w;
                strips.right = static_cast<int32_t>(rng() % static_cast<uint32_t>(w - strips.left));
                break;
            case 2: strips.left = -1; break;
            case 3: strips = {INT32_MAX, INT32_MAX}; break;
            default: break;
            }
            const std::string where = std::to_string(w) + "x" + std::to_string(h) + " content "
                                    + std::to_string(content) + " strips " + std::to_string(strips.left) + ","
                                    + std::to_string(strips.right);
            // The picture between the strips as they count: none below 0, nothing where they meet.
            const int32_t left = std::max(strips.left, 0), right = std::max(strips.right, 0);
            const bool picture = static_cast<int64_t>(left) + right < w;
            for (bool keepAlpha : {false, true}) {
                TestFrame want(w, h, 1), source = in;
                Histogram wantHist = {};
                levels::ChannelHistograms wantChannels = {};
                levels::mapAndCountBetweenReference(source.view(), want.view(), table, wantHist, strips, keepAlpha);
                TestFrame wantByChannel(w, h, 1);
                levels::mapAndCountChannelsBetweenReference(source.view(), wantByChannel.view(), tables.of, wantChannels,
                                                            strips, keepAlpha);
                // Against the definitions of mapping and counting.
                TestFrame mapped(w, h, 1), mappedByChannel(w, h, 1), scratch(w, h);
                levels::mapReference(source.view(), mapped.view(), table, keepAlpha);
                levels::mapChannelsReference(source.view(), mappedByChannel.view(), tables.of, keepAlpha);
                ASSERT_TRUE(same(want, mapped)) << where;
                ASSERT_TRUE(same(wantByChannel, mappedByChannel)) << where;
                Histogram counted = {};
                levels::ChannelHistograms countedByChannel = {};
                if (picture) {
                    const BitmapView inside = {&source.at(left, 0), w - left - right, h, source.view().modulo + 4 * (left + right)};
                    const BitmapView rest = {scratch.words.data(), inside.w, h, 0};
                    levels::mapAndCountReference(inside, rest, table, counted);
                    levels::mapAndCountChannelsReference(inside, rest, tables.of, countedByChannel, false);
                }
                ASSERT_EQ(0, std::memcmp(wantHist, counted, sizeof counted)) << where;
                ASSERT_EQ(0, std::memcmp(wantChannels, countedByChannel, sizeof wantChannels)) << where;
                ASSERT_EQ(picture, std::any_of(std::begin(counted), std::end(counted), [](uint32_t n) { return n != 0; }))
                    << where;

                for (bool inPlace : {false, true})
                    for (const auto& [name, pass] : betweenPasses()) {
                        const std::string how = where + " " + name + (keepAlpha ? ", alpha" : "") + (inPlace ? ", in place" : "");
                        TestFrame copy = in, out(w, h, 1);
                        TestFrame& target = inPlace ? copy : out;
                        Histogram hist;
                        for (int i = 0; i < 256; ++i)
                            hist[i] = static_cast<uint32_t>(5 * i);   // added to
                        pass.between(copy.view(), target.view(), table, hist, strips, keepAlpha);
                        ASSERT_TRUE(same(target, want)) << how;
                        for (int i = 0; i < 256; ++i)
                            ASSERT_EQ(hist[i], wantHist[i] + static_cast<uint32_t>(5 * i)) << how << " level " << i;
                        copy = in;
                        levels::ChannelHistograms channels = {};
                        pass.channelsBetween(copy.view(), target.view(), tables.of, channels, strips, keepAlpha);
                        ASSERT_TRUE(same(target, wantByChannel)) << how << ", per channel";
                        ASSERT_EQ(0, std::memcmp(channels, wantChannels, sizeof channels)) << how << ", per channel";
                    }
            }
        }
}

// A histogram that ends where a page ends, the next page inaccessible: a pass that
// reads or writes one counter past level 255 faults.
class HistogramAtPageEnd {
public:
    HistogramAtPageEnd()
    {
#ifdef _WIN32
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        page_ = info.dwPageSize;
        base_ = VirtualAlloc(nullptr, 2 * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        DWORD old;
        guarded_ = base_ != nullptr && VirtualProtect(static_cast<char*>(base_) + page_, page_, PAGE_NOACCESS, &old);
#else
        page_ = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        void* p = mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        base_ = p == MAP_FAILED ? nullptr : p;
        guarded_ = base_ != nullptr && mprotect(static_cast<char*>(base_) + page_, page_, PROT_NONE) == 0;
#endif
    }
    ~HistogramAtPageEnd()
    {
#ifdef _WIN32
        if (base_ != nullptr)
            VirtualFree(base_, 0, MEM_RELEASE);
#else
        if (base_ != nullptr)
            munmap(base_, 2 * page_);
#endif
    }
    bool guarded() const { return guarded_; }
    // Counts of type T (a histogram, or one per channel) ending at the page's end.
    template <class T>
    T& at() const
    {
        return *reinterpret_cast<T*>(static_cast<char*>(base_) + page_ - sizeof(T));
    }

private:
    size_t page_ = 0;
    void* base_ = nullptr;
    bool guarded_ = false;
};

TEST(PixelPass, FastPassesStayInsideTheHistogram)
{
    HistogramAtPageEnd guarded;
    ASSERT_TRUE(guarded.guarded());
    std::mt19937 rng(99);
    TestFrame in(64, 8);
    // The brightest levels in every channel: blocks at 255 alone and blocks spread
    // over the top 24 levels.
    in.fillWith([&](int32_t x, int32_t) {
        const uint32_t v = x < 16 ? 255u : 232u + rng() % 24u;
        return rgb(v, v, x < 16 ? 255u : 255u - rng() % 2u);
    });
    int32_t table[256] = {};
    TestFrame out(64, 8);
    Histogram expected = {};
    levels::mapAndCountReference(in.view(), out.view(), table, expected);
    for (const FastPass& fast : fastPasses()) {
        Histogram& hist = guarded.at<Histogram>();
        std::memset(hist, 0, sizeof hist);
        fast.pass(in.view(), out.view(), table, hist);
        EXPECT_EQ(0, std::memcmp(hist, expected, sizeof hist)) << fast.name;
    }

    const levels::ChannelTables tables = {};
    levels::ChannelHistograms channelsExpected = {};
    levels::mapAndCountChannelsReference(in.view(), out.view(), tables, channelsExpected, false);
    for (const auto& [name, pass] : channelPasses()) {
        levels::ChannelHistograms& hist = guarded.at<levels::ChannelHistograms>();
        std::memset(hist, 0, sizeof hist);
        pass(in.view(), out.view(), tables, hist, false);
        EXPECT_EQ(0, std::memcmp(hist, channelsExpected, sizeof hist)) << name;
    }
}

} // namespace

// ---- levelling for hosts that composite, and priming --------------------------------

// levelFrame, then each output pixel given its input pixel's top byte: what
// levelFrameKeepingAlpha must give, bit for bit, banded or not, in place or not.
// Sizes: single pixels, odd widths with padding, bands ending inside the frame, rows
// wider than a band (pieces of rows), many short rows.
TEST(AlphaKeepingPass, IsLevelFrameWithTheInputsAlpha)
{
    std::mt19937 rng(2026);
    const std::pair<int32_t, int32_t> sizes[] = {{1, 1}, {7, 3}, {33, 300}, {8193, 2}, {20000, 3}, {3, 5000}};
    for (auto [w, h] : sizes)
        for (bool inPlace : {false, true}) {
            const std::string where = std::to_string(w) + "x" + std::to_string(h) + (inPlace ? " in place" : "");
            TestFrame in(w, h, w % 3), outRef(w, h, 2), out(w, h, 2);
            uint32_t lo = 40;
            in.fillWith([&](int32_t x, int32_t) {
                lo = x == 0 ? 30 + rng() % 20 : lo;
                return (static_cast<uint32_t>(rng()) & 0xFF000000u) | rgb(lo + rng() % 90, lo + rng() % 60, lo + rng() % 120);
            });
            LevelsInstance ref = freshInstance(), inst = ref;
            for (int frame = 0; frame < 2; ++frame) {   // a fresh table, then a real stretch
                const Detection dRef = levelFrame(in.view(), outRef.view(), ref);
                for (int32_t y = 0; y < h; ++y)
                    for (int32_t x = 0; x < w; ++x)
                        outRef.at(x, y) = (outRef.at(x, y) & 0x00FFFFFFu) | (in.at(x, y) & 0xFF000000u);
                TestFrame inCopy = in;
                TestFrame& target = inPlace ? inCopy : out;
                const Detection d = levelFrameKeepingAlpha(inCopy.view(), target.view(), inst);
                ASSERT_EQ(d.black, dRef.black) << where;
                ASSERT_EQ(d.white, dRef.white) << where;
                ASSERT_EQ(std::memcmp(&inst, &ref, sizeof inst), 0) << where;
                for (int32_t y = 0; y < h; ++y)
                    for (int32_t x = 0; x < w; ++x)
                        ASSERT_EQ(target.at(x, y), outRef.at(x, y)) << where << " at " << x << "," << y;
                ASSERT_TRUE(target.paddingUntouched()) << where;
            }
            EXPECT_GT(ref.blackPoint, 0) << where;   // the second frame was really stretched
        }
}

TEST(AlphaKeepingPass, AlphaLoopsKeepColourAndTakeAlpha)
{
    std::vector<std::pair<const char*, levels::AlphaRun>> loops;
    for (levels::Pass pass : {levels::Pass::Plain, levels::Pass::Avx2})
        if (levels::passUsable(pass))
            loops.push_back({levels::passName(pass), levels::kernelsOf(pass).copyAlpha});
    std::mt19937 rng(8);
    for (const auto& [name, loop] : loops)
        for (std::size_t n : {0, 1, 7, 8, 9, 31, 64, 1000}) {
            std::vector<uint32_t> src(n + 1), dst(n + 1), want(n + 1);
            for (std::size_t i = 0; i <= n; ++i) {
                src[i] = static_cast<uint32_t>(rng());
                dst[i] = static_cast<uint32_t>(rng());
                want[i] = i < n ? (dst[i] & 0x00FFFFFFu) | (src[i] & 0xFF000000u) : dst[i];
            }
            loop(src.data(), dst.data(), n);
            ASSERT_EQ(dst, want) << name << ", " << n << " pixels";
        }
}

// The first frame of a stream: the points snap to its detection as levelling it with
// the points snapping would (the dialog's refresh, the command line's priming), and no
// pixel is written, so the frame may be the output buffer.
TEST(Priming, SnapsLikeASnappingPassAndWritesNoPixel)
{
    std::mt19937 rng(17);
    for (auto [w, h] : {std::pair{5, 4}, std::pair{64, 100}, std::pair{5000, 2}}) {
        TestFrame in(w, h, 1), scratch(w, h);
        in.fillWith([&](int32_t, int32_t) { return static_cast<uint32_t>(rng()) & 0xFF3F7F9Fu; });
        LevelsInstance ref = freshInstance();
        ref.blackPoint = 100;   // far from this frame's detection: following would take frames
        ref.whitePoint = 110;
        LevelsInstance inst = ref;
        ref.tracking = 0;
        levelFrame(in.view(), scratch.view(), ref);
        const TestFrame before = in;
        primeFromFrame(in.view(), inst);
        EXPECT_EQ(std::memcmp(&inst, &ref, sizeof inst), 0) << w << "x" << h;
        EXPECT_EQ(inst.tracking, 1);
        EXPECT_EQ(in.words, before.words);
    }
}
