// How long each frame of a film lasted, from its timestamps, for following in seconds.
// Timestamps can be missing (raw elementary streams), repeated or jittery, and a film
// can hold a pause or a splice: such gaps say nothing about the frame rate, so the last
// good frame time stands, as the frei0r module's clock keeps it (frei0r/frame_clock.h).
#pragma once

namespace cli {

class FrameTimes {
public:
    // Gaps outside these bounds (seconds) are not frame times.
    static constexpr double kShortest = 1e-3;
    static constexpr double kLongest  = 5;
    // Before any gap: the stream's nominal frame time where it gives a plausible one,
    // else PAL's 1/25 s.
    static constexpr double kFallback = 1.0 / 25;

    explicit FrameTimes(double nominal)
        : frame_(nominal >= kShortest && nominal <= kLongest ? nominal : kFallback)
    {
    }

    // The time of the frame that begins at `seconds` (`known` false: it has no
    // timestamp), measured from the frame before.
    double next(bool known, double seconds)
    {
        if (!known)
            return frame_;
        if (haveLast_) {
            const double gap = seconds - last_;
            if (gap >= kShortest && gap <= kLongest)
                frame_ = gap;
        }
        haveLast_ = true;
        last_ = seconds;
        return frame_;
    }

private:
    double frame_;
    double last_     = 0;
    bool   haveLast_ = false;
};

} // namespace cli
