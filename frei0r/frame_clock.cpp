#include "frame_clock.h"

#include <cmath>

namespace frei0r {

Move FrameClock::advance(double time)
{
    if (!std::isfinite(time)) {
        started_ = false;
        return Move::Start;
    }
    if (!started_) {
        started_ = true;
        last_ = time;
        return Move::Start;
    }
    const double step = time - last_;
    if (step == 0 || std::fabs(step) < kSameTimeSteps * step_)
        return Move::Again;
    last_ = time;
    if (step < 0 || (step_ > 0 && step > kJumpSteps * step_))
        return Move::Seek;
    // Followed: the step learned is the latest one, so a stream whose steps vary a
    // little is followed, and a first step that was a jump gives way to the steps after.
    step_ = step;
    return Move::Next;
}

double FrameClock::stepSeconds() const
{
    return step_ >= kMillisecondSteps ? step_ / 1000 : step_;
}

} // namespace frei0r
