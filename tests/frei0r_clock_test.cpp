// What the host's times mean: the step between frames is learned, whatever the unit.
#include "frame_clock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using frei0r::FrameClock;
using frei0r::Move;

const char* nameOf(Move m)
{
    switch (m) {
    case Move::Start: return "start";
    case Move::Next: return "next";
    case Move::Again: return "again";
    case Move::Seek: return "seek";
    }
    return "?";
}

struct Timed {
    double time;
    Move   move;
};

void expectMoves(const char* what, const std::vector<Timed>& frames)
{
    FrameClock clock;
    for (std::size_t i = 0; i < frames.size(); ++i)
        EXPECT_STREQ(nameOf(clock.advance(frames[i].time)), nameOf(frames[i].move))
            << what << ", frame " << i << " at " << frames[i].time;
}

TEST(FrameClock, LearnsTheStepInAnyUnit)
{
    // GStreamer at 30000/1001: nanoseconds rounded, in seconds.
    std::vector<Timed> gst;
    for (int f = 0; f < 40; ++f)
        gst.push_back({std::round(f * 1001e9 / 30000) / 1e9, f == 0 ? Move::Start : Move::Next});
    expectMoves("GStreamer", gst);
    expectMoves("ffmpeg, milliseconds", {{0, Move::Start}, {40, Move::Next}, {80, Move::Next}, {120, Move::Next}});
    expectMoves("MLT, seconds from a clip's middle",
                {{12.0, Move::Start}, {12.04, Move::Next}, {12.08, Move::Next}, {12.12, Move::Next}});
    // A first step that was a jump gives way to the real one.
    expectMoves("jump first", {{0, Move::Start}, {5, Move::Next}, {5.04, Move::Next}, {5.12, Move::Seek}});
}

TEST(FrameClock, BackwardsOrClearlyAheadIsASeekAndTheSameTimeIsAgain)
{
    expectMoves("seconds", {{1.0, Move::Start},  {1.04, Move::Next}, {1.04, Move::Again}, {1.04, Move::Again},
                            {1.08, Move::Next},  {1.0, Move::Seek},  {1.04, Move::Next},  {1.0999, Move::Next},
                            {1.2, Move::Seek},   {1.24, Move::Next}, {1.2400000001, Move::Again}, {1.28, Move::Next},
                            {0.0, Move::Seek},   {0.04, Move::Next}});
    // One and a half steps is still the next frame (a frame rate that wavers); more is a jump.
    expectMoves("limit", {{0, Move::Start}, {40, Move::Next}, {100, Move::Next}, {190, Move::Next}, {326, Move::Seek}});
    // A time that is not a number gives no order: that frame and the one after start afresh.
    expectMoves("not a number", {{0, Move::Start}, {40, Move::Next}, {std::nan(""), Move::Start},
                                 {80, Move::Start}, {120, Move::Next}, {HUGE_VAL, Move::Start}});
}

} // namespace
