// Whether a frame is a cut: pure functions on the histograms of two frames.
#pragma once

#include "kernels/kernels.h"

#include <cstdint>

namespace extras {

// A frame is a cut when its samples lie, on average, at least kCutLevels from where the
// frame before had them (the area between the two cumulative histograms), or at least
// kReshapedCutLevels when the histogram also changed its shape by kReshapeLevels or
// more (the change left once the frame before is given this frame's mean and contrast).
// A fade to or from black over half a second moves a picture by at most about 21 levels
// a frame at 24 fps, but keeps its shape (0.5 levels unexplained, measured); a pan or a
// light moves it by 10 or less. Two photographs of about the same brightness measured 24
// to 27 levels apart, 8 unexplained. Shots whose histograms lie closer than this pass as one.
constexpr double kCutLevels         = 25;
constexpr double kReshapedCutLevels = 22;
constexpr double kReshapeLevels     = 4;

// Whether `now` (of nowSamples samples) starts a new shot after `before`. Frames with no
// samples are never cuts.
bool isCut(const Histogram& before, uint32_t beforeSamples, const Histogram& now, uint32_t nowSamples);

} // namespace extras
