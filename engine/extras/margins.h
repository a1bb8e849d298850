// Margins: strips at the sides of a frame that are levelled but left out of the count,
// so that letterbox bars or a tape's head-switching noise do not decide the points.
#pragma once

#include "kernels/kernels.h"

#include <cstdint>

namespace extras {

// Sides of the margins, in the order they are given in.
enum Side { kTop, kRight, kBottom, kLeft };

// Whether margins (pixels at each Side) leave anything of a w x h frame to count.
bool marginsLeaveAPicture(const int32_t margins[4], int32_t w, int32_t h);

inline bool hasMargins(const int32_t margins[4])
{
    return (margins[kTop] | margins[kRight] | margins[kBottom] | margins[kLeft]) != 0;
}

// The w x h region of a frame from pixel (x, y).
BitmapView regionOf(const BitmapView& frame, int32_t x, int32_t y, int32_t w, int32_t h);

// The region inside the margins; empty (0 wide) where they leave nothing.
BitmapView insideMargins(const BitmapView& frame, const int32_t margins[4]);

} // namespace extras
