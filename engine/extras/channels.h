// Red, green and blue levelled apart (independence): each channel detects its own
// points from its own histogram, with the same clip shares (of its own samples) and
// limits as the shared detection, and takes them `independence` of the way from the
// shared points. That takes out a colour cast.
#pragma once

#include "frame_levelling.h"
#include "kernels/kernels.h"

#include <cstdint>

namespace extras {

// Each channel's detection in point units (channel order: blue, green, red), from its
// histogram of `pixels` samples, blended with the shared detection.
void detectChannels(const LevelsInstance& record, const levels::ChannelHistograms& hists, uint32_t pixels,
                    Detection shared, double independence, int32_t black[3], int32_t white[3]);

// A point the share `independence` of the way from the shared point to the channel's
// own, in point units, to the nearest unit (halves up).
int32_t blendPoint(int32_t shared, int32_t own, double independence);

} // namespace extras
