// What the host's times mean: the unit learned from the steps or known from the host,
// the frame time each new frame brings, and what the clock says where times lie.
#include "frame_clock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using frei0r::FrameClock;
using frei0r::Move;
using frei0r::TimeUnit;

const char* nameOf(Move m)
{
    switch (m) {
    case Move::Start: return "start";
    case Move::Next: return "next";
    case Move::SameTime: return "same time";
    case Move::Seek: return "seek";
    }
    return "?";
}

struct Timed {
    double time;
    Move   move;
    double frameSeconds;   // what a new frame brings
};

void expectTicks(const char* what, const std::vector<Timed>& frames, bool jumpsSeek = true,
                 TimeUnit unit = TimeUnit::Unknown)
{
    FrameClock clock(unit);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const frei0r::Tick tick = clock.advance(frames[i].time, jumpsSeek);
        EXPECT_STREQ(nameOf(tick.move), nameOf(frames[i].move)) << what << ", frame " << i << " at " << frames[i].time;
        EXPECT_NEAR(tick.frameSeconds, frames[i].frameSeconds, 1e-9) << what << ", frame " << i;
    }
}

constexpr double kPal = 1.0 / 25;

// Every rate from 1 to 240 frames a second, in seconds (MLT, GStreamer) and in
// milliseconds (ffmpeg), starting anywhere: the first step tells the unit.
TEST(FrameClock, TellsMillisecondsFromSecondsAtEveryRateFromOneTo240)
{
    for (double rate = 1; rate <= 240; rate += rate < 30 ? 0.5 : 7) {
        for (double scale : {1.0, 1000.0}) {
            FrameClock clock;
            const double start = 12.5 * scale;
            clock.advance(start, true);
            for (int f = 1; f < 5; ++f) {
                // GStreamer's nanoseconds: steps that differ by one.
                const double t = start + std::round(f * 1e9 / rate) / 1e9 * scale;
                const frei0r::Tick tick = clock.advance(t, true);
                ASSERT_EQ(tick.move, Move::Next) << rate << " fps, unit " << scale;
                ASSERT_NEAR(tick.frameSeconds, 1 / rate, 1e-8) << rate << " fps, unit " << scale;
            }
            EXPECT_EQ(clock.unit(), scale == 1 ? TimeUnit::Seconds : TimeUnit::Milliseconds) << rate << " fps";
        }
    }
}

// Footage as it comes: a rate that drops and rises, a pre-roll frame far from the rest,
// one bogus time for every frame, times that are not numbers, and the same time again.
TEST(FrameClock, GivesEachNewFrameItsGapAndKeepsTheLastGoodOneWhereTimesLie)
{
    expectTicks("30 fps, a drop to 15 and back (ms)",
                {{0, Move::Start, kPal}, {33, Move::Next, 0.033}, {67, Move::Next, 0.034}, {133, Move::Next, 0.066},
                 {200, Move::Next, 0.067}, {233, Move::Next, 0.033}});
    // The stream proper at an hour: a jump, which is a seek only where following in seconds.
    expectTicks("pre-roll at 0 (ms)", {{0, Move::Start, kPal}, {3600000, Move::Seek, kPal}, {3600040, Move::Next, 0.04},
                                       {3600080, Move::Next, 0.04}});
    expectTicks("pre-roll at 0 (s), one level a frame",
                {{0, Move::Start, kPal}, {3600, Move::Next, kPal}, {3600.02, Move::Next, 0.02}}, false);
    // ffmpeg 5.1 with a frame it had to copy: INT64_MIN x time base x 1000, every frame.
    const double bogus = -9223372036854775808.0 / 25 * 1000;
    expectTicks("one bogus time", {{bogus, Move::Start, kPal}, {bogus, Move::Next, kPal}, {bogus, Move::Next, kPal}});
    expectTicks("bogus after good ones",
                {{0, Move::Start, kPal}, {0.02, Move::Next, 0.02}, {bogus, Move::Next, 0.02}, {std::nan(""), Move::Next, 0.02},
                 {HUGE_VAL, Move::Next, 0.02}, {0.06, Move::Next, 0.04}});
    expectTicks("same time, back, far ahead (s)",
                {{1.0, Move::Start, kPal}, {1.04, Move::Next, 0.04}, {1.04, Move::SameTime, 0.04}, {1.08, Move::Next, 0.04},
                 {1.0, Move::Seek, 0.04}, {1.04, Move::Next, 0.04}, {6.04, Move::Next, 5}, {11.05, Move::Seek, 5},
                 {11.0500001, Move::Next, 5}, {11.0900001, Move::Next, 0.04}});
    expectTicks("back and far ahead, one level a frame",
                {{1.0, Move::Start, kPal}, {1.04, Move::Next, 0.04}, {0.5, Move::Next, 0.04}, {20, Move::Next, 0.04}},
                false);
}

// Outside 1 to 240 frames a second a step fits neither unit, or fits the wrong one where
// the host is not known: the host's unit, where the module knows it, reads them right.
TEST(FrameClock, ReadsRatesBeyondTheRangeInTheHostsUnit)
{
    const double ms300 = 1000.0 / 300;
    expectTicks("300 fps in ffmpeg", {{0, Move::Start, kPal}, {ms300, Move::Next, 1 / 300.0}, {2 * ms300, Move::Next, 1 / 300.0}},
                true, TimeUnit::Milliseconds);
    expectTicks("0.2 fps in MLT", {{0, Move::Start, kPal}, {5, Move::Next, 5}, {10, Move::Next, 5}}, true,
                TimeUnit::Seconds);
    // Hosts not known: 3.3 fits no unit and the first frame time stands; 5 is 200 fps in
    // milliseconds as well as 0.2 fps in seconds, and the range wins.
    expectTicks("300 fps, host unknown", {{0, Move::Start, kPal}, {ms300, Move::Next, kPal}, {2 * ms300, Move::Next, kPal}});
    expectTicks("0.2 fps, host unknown", {{0, Move::Start, kPal}, {5, Move::Next, 0.005}, {10, Move::Next, 0.005}});
}

} // namespace
