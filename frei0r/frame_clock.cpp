#include "frame_clock.h"

#include <cmath>

namespace frei0r {

namespace {

bool usable(double time)
{
    return std::isfinite(time) && time >= kBogusTimeBelow;
}

// Within a rate range's frame times, with room for a host's rounding.
bool withinRates(double seconds)
{
    return seconds >= 0.99 / kFastestRate && seconds <= 1.01 / kSlowestRate;
}

} // namespace

double FrameClock::secondsOf(double step)
{
    if (unit_ == TimeUnit::Unknown) {
        if (withinRates(step))
            unit_ = TimeUnit::Seconds;
        else if (withinRates(step / 1000))
            unit_ = TimeUnit::Milliseconds;
    }
    switch (unit_) {
    case TimeUnit::Seconds: return step;
    case TimeUnit::Milliseconds: return step / 1000;
    case TimeUnit::Unknown: break;
    }
    // Longer than the longest frame in either unit is a jump in both.
    return step > 1000 * kLongestFrameSeconds ? step / 1000 : -1;
}

Tick FrameClock::advance(double time, bool jumpsSeek)
{
    if (!started_) {
        started_ = true;
        haveTime_ = usable(time);
        last_ = time;
        return {Move::Start, frame_};
    }
    // A time that means nothing says nothing about the frame: it is a new one.
    if (!usable(time))
        return {Move::Next, frame_};
    if (!haveTime_) {
        haveTime_ = true;
        last_ = time;
        return {Move::Next, frame_};
    }
    const double step = time - last_;
    if (step == 0)
        return {Move::SameTime, frame_};
    last_ = time;
    if (step < 0)
        return {jumpsSeek ? Move::Seek : Move::Next, frame_};
    const double seconds = secondsOf(step);
    if (seconds > kLongestFrameSeconds)
        return {jumpsSeek ? Move::Seek : Move::Next, frame_};
    if (seconds >= kShortestFrameSeconds)
        frame_ = seconds;
    return {Move::Next, frame_};
}

} // namespace frei0r
