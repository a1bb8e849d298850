// The levelling beyond the record: with its options off it is the record's levelling
// bit for bit; a cut starts afresh exactly as a first frame does, in place or not; the
// points follow in seconds at the speed asked for. Clips from real photographs are in
// levelling_clips_test.cpp.
#include "extended_levelling.h"
#include "frame_helpers.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

namespace {

using extended::Instance;

std::unique_ptr<Instance> freshExtended()
{
    auto x = std::make_unique<Instance>();
    std::memset(x.get(), 0xCD, sizeof *x);
    extended::resetToDefaults(*x);
    return x;
}

// Noise between lo and lo + span in every channel, with alpha of its own.
void fillNoise(TestFrame& f, std::mt19937& rng, uint32_t lo, uint32_t span)
{
    f.fillWith([&](int32_t, int32_t) {
        return (static_cast<uint32_t>(rng()) & 0xFF000000u) | rgb(lo + rng() % span, lo + rng() % span, lo + rng() % span);
    });
}

// Pixels equal, colour only or with alpha; the padding untouched.
::testing::AssertionResult samePixels(const TestFrame& a, const TestFrame& b, uint32_t mask)
{
    for (int32_t y = 0; y < a.h; ++y)
        for (int32_t x = 0; x < a.w; ++x)
            if ((a.at(x, y) & mask) != (b.at(x, y) & mask))
                return ::testing::AssertionFailure() << "at " << x << "," << y << ": " << std::hex << a.at(x, y)
                                                     << " against " << b.at(x, y);
    if (!a.paddingUntouched() || !b.paddingUntouched())
        return ::testing::AssertionFailure() << "padding written";
    return ::testing::AssertionSuccess();
}

// Frames whose levels drift, with and without alpha kept, in place and not, on small
// frames and a 1080p one: every output and the record after every frame as levelFrame
// leaves them.
TEST(ExtendedLevelling, WithItsOptionsOffIsTheRecordsLevelling)
{
    std::mt19937 rng(99);
    for (auto [w, h] : {std::pair{1, 1}, std::pair{37, 5}, std::pair{1920, 1080}})
        for (bool keepAlpha : {false, true})
            for (bool inPlace : {false, true}) {
                const std::string where = std::to_string(w) + "x" + std::to_string(h) + (keepAlpha ? " alpha" : "")
                                        + (inPlace ? " in place" : "");
                LevelsInstance ref = freshInstance();
                auto x = freshExtended();
                TestFrame in(w, h, 3), refOut(w, h, 1), out(w, h, 1);
                const int frames = w * h > 100000 ? 3 : 6;
                for (int f = 0; f < frames; ++f) {
                    fillNoise(in, rng, 10 + 12 * static_cast<uint32_t>(f), 120);
                    if (f == 0) {
                        primeFromFrame(in.view(), ref);
                        extended::prime(in.view(), *x);
                    }
                    const Detection want = keepAlpha ? levelFrameKeepingAlpha(in.view(), refOut.view(), ref)
                                                     : levelFrame(in.view(), refOut.view(), ref);
                    TestFrame copy = in;
                    TestFrame& target = inPlace ? copy : out;
                    const extended::FrameResult got =
                        keepAlpha ? extended::levelFrameKeepingAlpha(copy.view(), target.view(), *x, 0.04)
                                  : extended::levelFrame(copy.view(), target.view(), *x, 0.04);
                    ASSERT_EQ(got.detected.black, want.black) << where;
                    ASSERT_EQ(got.detected.white, want.white) << where;
                    ASSERT_FALSE(got.fresh) << where;
                    ASSERT_EQ(std::memcmp(&x->base, &ref, sizeof ref), 0) << where << ", frame " << f;
                    ASSERT_TRUE(samePixels(target, refOut, 0xFFFFFFFFu)) << where << ", frame " << f;
                }
            }
}

// A bright shot after a dark one, with cuts on: the cut frame comes out, and leaves
// the state, as the same frame levelled first after a fresh start, whether the host
// levels in place (counted first) or not (mapped again), with or without alpha.
TEST(ExtendedLevelling, ACutStartsAfreshAsAFirstFrame)
{
    std::mt19937 rng(5);
    for (double followTime : {0.0, 1.5})
        for (bool keepAlpha : {false, true})
            for (bool inPlace : {false, true}) {
                const std::string where = std::string("follow ") + std::to_string(followTime)
                                        + (keepAlpha ? ", alpha" : "") + (inPlace ? ", in place" : "");
                auto x = freshExtended(), alone = freshExtended();
                for (Instance* i : {x.get(), alone.get()}) {
                    i->options.cuts = 1;
                    i->options.followTime = followTime;
                }
                const auto level = [&](Instance& i, TestFrame& src, TestFrame& dst) {
                    return keepAlpha ? extended::levelFrameKeepingAlpha(src.view(), dst.view(), i, 0.04)
                                     : extended::levelFrame(src.view(), dst.view(), i, 0.04);
                };
                TestFrame dark(41, 23, 2), bright(41, 23, 2), out(41, 23, 1), aloneOut(41, 23, 1);
                fillNoise(dark, rng, 5, 60);
                extended::prime(dark.view(), *x);
                for (int f = 0; f < 3; ++f)
                    ASSERT_FALSE(level(*x, dark, out).fresh) << where;

                fillNoise(bright, rng, 150, 100);
                extended::prime(bright.view(), *alone);
                level(*alone, bright, aloneOut);
                TestFrame copy = bright;
                const extended::FrameResult cut = level(*x, copy, inPlace ? copy : out);
                EXPECT_TRUE(cut.fresh) << where;
                EXPECT_TRUE(samePixels(inPlace ? copy : out, aloneOut, 0xFFFFFFFFu)) << where;
                EXPECT_EQ(std::memcmp(&x->base, &alone->base, sizeof x->base), 0) << where;
                EXPECT_EQ(std::memcmp(&x->running, &alone->running, sizeof x->running), 0) << where;
                // The frame after it is no cut.
                EXPECT_FALSE(level(*x, bright, out).fresh) << where;
            }
}

// The points cross the whole range in the follow time: the black point both ways, the
// white point down; up, the white point jumps. Between levels the table is built from
// the points as they are.
TEST(ExtendedLevelling, FollowsInSecondsAtTheSpeedAskedFor)
{
    auto x = freshExtended();
    x->options.followTime = 2;   // 255 levels in 2 s: 5.1 levels a frame at 25 fps
    TestFrame out(10, 10);
    TestFrame grey(10, 10);
    const auto frameOf = [&](uint32_t lo, uint32_t hi) {
        grey.fillWith([&](int32_t px, int32_t) { return px % 2 ? rgb(hi, hi, hi) : rgb(lo, lo, lo); });
    };
    frameOf(40, 200);
    extended::prime(grey.view(), *x);
    EXPECT_EQ(extended::blackInUse(*x), 40);
    EXPECT_EQ(extended::whiteInUse(*x), 200);

    frameOf(100, 150);
    const double step = 20890.0 / extended::kPointScale;   // 255 x 4096 x 0.04 / 2, rounded
    for (int f = 1; f <= 3; ++f) {
        extended::levelFrame(grey.view(), out.view(), *x, 0.04);
        EXPECT_EQ(extended::blackInUse(*x), 40 + f * step) << f;
        EXPECT_EQ(extended::whiteInUse(*x), 200 - f * step) << f;
        EXPECT_EQ(x->base.blackPoint, static_cast<int32_t>(40 + f * step + 0.5)) << f;
    }
    int32_t want[256];
    levels::buildLevelTable(40 + 3 * step, 200 - 3 * step, false, want);
    EXPECT_EQ(std::memcmp(x->base.levelTable, want, sizeof want), 0);
    EXPECT_EQ(x->base.levelTable[55], 0);   // below the black point of 55.3
    EXPECT_EQ(x->base.levelTable[56], 1);   // 0.7 of a level above it: 255 x 0.7 / 129.4 = 1.38
    EXPECT_EQ(x->base.levelTable[57], 3);   // 3.35

    for (int f = 0; f < 20; ++f)   // the rest of the way, never past the detection
        extended::levelFrame(grey.view(), out.view(), *x, 0.04);
    EXPECT_EQ(extended::blackInUse(*x), 100);
    EXPECT_EQ(extended::whiteInUse(*x), 150);

    frameOf(100, 250);
    extended::levelFrame(grey.view(), out.view(), *x, 0.04);
    EXPECT_EQ(extended::whiteInUse(*x), 250);
    // No time passed (the same frame again): nothing moves.
    frameOf(10, 250);
    extended::levelFrame(grey.view(), out.view(), *x, 0);
    EXPECT_EQ(extended::blackInUse(*x), 100);
}

// Mapping alone is the reference mapping, with and without alpha, in place and not,
// with padded rows, on random tables and a 1080p frame.
TEST(MapOnlyPass, MatchesTheReferenceBitForBit)
{
    std::mt19937 rng(3);
    for (auto [w, h] : {std::pair{1, 1}, std::pair{13, 7}, std::pair{1920, 1080}})
        for (bool keepAlpha : {false, true})
            for (bool inPlace : {false, true}) {
                int32_t table[256];
                for (int32_t& e : table)
                    e = static_cast<int32_t>(rng() % 256);
                TestFrame in(w, h, 2), want(w, h, 1), got(w, h, 1);
                in.fillWith([&](int32_t, int32_t) { return static_cast<uint32_t>(rng()); });
                levels::mapReference(in.view(), want.view(), table, keepAlpha);
                TestFrame copy = in;
                TestFrame& target = inPlace ? copy : got;
                levels::mapFrame(copy.view(), target.view(), table, keepAlpha);
                ASSERT_TRUE(samePixels(target, want, 0xFFFFFFFFu)) << w << "x" << h << (keepAlpha ? " alpha" : "");
                ASSERT_EQ(want.at(0, 0) >> 24, keepAlpha ? in.at(0, 0) >> 24 : 0u);
            }
}

} // namespace
