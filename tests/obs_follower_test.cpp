// The OBS filter's decisions between frames, away from the graphics card: what starts
// afresh (a stop, time going back, a new size, a changed setting) and what does not (a
// lagging frame, the strength, which only fades the tables).
#include "frame_follower.h"
#include "frame_helpers.h"

#include <gtest/gtest.h>

namespace {

using obs_levels::FrameFollower;

constexpr uint64_t kFrameNs = 16666667;   // 60 fps

// One frame as the filter's graphics side hands it over: last frame's copy counted
// first where asked, this one now where asked, else kept for the next frame.
struct Feeder {
    FrameFollower follower;
    TestFrame last{1, 1};
    FrameFollower::Plan feed(TestFrame& frame, uint64_t ns, double frameSeconds = 1.0 / 60)
    {
        const FrameFollower::Plan plan = follower.newFrame(ns, frame.w, frame.h, frameSeconds);
        if (plan.countLastFirst) {
            const BitmapView v = last.view();
            follower.countLast(&v);
        }
        const BitmapView v = frame.view();
        follower.countThis(plan.countNow ? &v : nullptr);
        last = frame;
        return plan;
    }
};

TEST(ObsFollower, StartsAfreshOnlyWhereTheRunReallyBreaks)
{
    Feeder f;
    TestFrame dull(40, 30), other(30, 40);
    dull.fillWith([](int32_t x, int32_t y) { return rgb(70 + (x * 3 + y) % 90, 80 + x % 60, 60 + y % 70); });
    other.fill(rgb(10, 200, 90));
    uint64_t t = 1000 * kFrameNs;
    EXPECT_TRUE(f.feed(dull, t).countNow);               // a first frame
    EXPECT_LT(f.follower.texels().bgra[70][2], 40) << "a first frame is levelled from itself";
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(f.feed(dull, t += kFrameNs).countNow);
    EXPECT_FALSE(f.feed(dull, t += 3 * kFrameNs).countNow) << "frames OBS dropped while lagging";
    EXPECT_FALSE(f.feed(dull, t += 1000000000, 1).countNow) << "a frame a second";
    EXPECT_TRUE(f.feed(dull, t += obs_levels::kStoppedAfterNs + 1).countNow) << "the source stopped";
    EXPECT_TRUE(f.feed(dull, t -= kFrameNs).countNow) << "time went back";
    EXPECT_TRUE(f.feed(other, t += kFrameNs).countNow) << "a new size";
    EXPECT_FALSE(f.feed(other, t += kFrameNs).countNow);

    // Strength 0: the next frame is drawn unchanged while the points stay; any other
    // setting starts afresh.
    obs_levels::Settings s = obs_levels::defaultSettings();
    const extras::Running before = f.follower.instance().running;
    s.options.strength = 0;
    f.follower.use(s);
    EXPECT_FALSE(f.feed(other, t += kFrameNs).countNow);
    for (int level = 0; level < 256; ++level)
        ASSERT_EQ(f.follower.texels().bgra[level][1], level);
    EXPECT_EQ(f.follower.instance().running.black, before.black);
    EXPECT_EQ(f.follower.instance().running.white, before.white);
    s.shadowClip = 250;
    f.follower.use(s);
    EXPECT_TRUE(f.feed(other, t += kFrameNs).countNow);
    s.options.cuts = 1;   // with cuts on, every frame is counted at once
    f.follower.use(s);
    f.feed(other, t += kFrameNs);
    EXPECT_TRUE(f.feed(other, t += kFrameNs).countNow);
}

} // namespace
