#include "margins.h"

namespace extras {

bool marginsLeaveAPicture(const int32_t margins[4], int32_t w, int32_t h)
{
    for (int side = 0; side < 4; ++side)
        if (margins[side] < 0)
            return false;
    // In 64 bits: two margins of nearly 2^31 each must not wrap into a picture.
    return static_cast<int64_t>(margins[kLeft]) + margins[kRight] < w
        && static_cast<int64_t>(margins[kTop]) + margins[kBottom] < h;
}

BitmapView regionOf(const BitmapView& frame, int32_t x, int32_t y, int32_t w, int32_t h)
{
    const std::ptrdiff_t pitch = static_cast<std::ptrdiff_t>(frame.w) * 4 + frame.modulo;
    unsigned char* at = static_cast<unsigned char*>(frame.data) + pitch * y + static_cast<std::ptrdiff_t>(x) * 4;
    return {at, w, h, pitch - static_cast<std::ptrdiff_t>(w) * 4};
}

BitmapView insideMargins(const BitmapView& frame, const int32_t margins[4])
{
    if (!marginsLeaveAPicture(margins, frame.w, frame.h))
        return {frame.data, 0, 0, 0};
    return regionOf(frame, margins[kLeft], margins[kTop], frame.w - margins[kLeft] - margins[kRight],
                    frame.h - margins[kTop] - margins[kBottom]);
}

} // namespace extras
