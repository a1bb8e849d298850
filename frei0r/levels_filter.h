// One frei0r instance: a frame size, the record the engine levels with, and what the
// host's times and parameter sets mean for it.
#pragma once

#include "frame_clock.h"
#include "extras/extras.h"

#include <cstdint>

namespace frei0r {

class LevelsFilter {
public:
    // A new instance with the default settings, reading the host's times in `unit`;
    // null for a frame size that cannot be levelled (0 wide or high, or more pixels than
    // the engine counts).
    static LevelsFilter* create(unsigned width, unsigned height, TimeUnit unit);

    // A host's parameter set; one that changes a setting makes the next frame start
    // afresh with it, as the dialog's preview does, but for the strength, which only
    // builds the tables again.
    void setParameter(int index, double value);
    double parameter(int index) const;

    // Levels one frame of the instance's size (rows of exactly 4 x width bytes; `in`
    // may be `out`) at the host's time. A frame at the last frame's time that counts as
    // the last frame did is that frame again (a paused editor, MLT at the end of a clip):
    // it comes out as it did, and the points stay where it left them.
    void update(double time, const uint32_t* in, uint32_t* out);

private:
    LevelsFilter(int32_t width, int32_t height, TimeUnit unit);

    // What a frame changes in the record, kept so that the same frame can be levelled
    // again from where it started.
    struct Points {
        int32_t           tracking;
        int32_t           blackPoint;
        int32_t           whitePoint;
        int32_t           levelTable[256];
        extras::Running running;
        double            frameSeconds;   // the time the frame was followed over
        bool              prime;
    };
    Points saved() const;
    void restore(const Points& points);

    int32_t        width_;
    int32_t        height_;
    extras::Instance x_;
    FrameClock         clock_;
    bool               primeNext_ = true;   // the next frame starts afresh from itself
    bool               tablesStale_ = false; // the strength changed since the tables were built
    Points             beforeLast_;         // the running state as the last frame found it
};

} // namespace frei0r
