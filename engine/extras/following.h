// Points that follow the detections in seconds rather than one level a frame.
#pragma once

#include <cstdint>

namespace extras {

// Points that follow in seconds are kept in 1/kPointScale of a level: whole numbers,
// so every build and every host moves them alike, and frame times that differ by a
// host's rounding (GStreamer's nanoseconds, ffmpeg's milliseconds) move them alike too.
constexpr int32_t kPointScale = 4096;
constexpr int32_t kTopUnits   = 255 * kPointScale;   // level 255 in point units

// How far a point may move in one frame of `frameSeconds`, in point units, to cross
// the whole range in `followTime`: rounded to a whole unit; none where no time passed.
int32_t followStep(double frameSeconds, double followTime);

// The level nearest a point in point units.
inline int32_t nearestLevel(int32_t units)
{
    return (units + kPointScale / 2) / kPointScale;
}

// A point in use moved towards `target` for one frame: the black point both ways, the
// white point down, by at most `step`; the white point up at once.
inline int32_t followBlack(int32_t point, int32_t target, int32_t step)
{
    if (target < point)
        return point - target > step ? point - step : target;
    return target - point > step ? point + step : target;
}

inline int32_t followWhite(int32_t point, int32_t target, int32_t step)
{
    if (target < point)
        return point - target > step ? point - step : target;
    return target;
}

} // namespace extras
