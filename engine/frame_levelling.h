// The per-frame work: map every pixel through the table already in the record while
// counting R, G and B into one histogram, then detect and follow the black and white
// points and leave the table for the next frame in the record. How the pixels are
// mapped and counted is the kernels' business (kernels/kernels.h).
#pragma once

#include "kernels/kernels.h"
#include "levels_instance.h"

#include <cstdint>

// What one frame detected, before following: the points it would snap to.
struct Detection {
    int32_t black;
    int32_t white;
};

// Levels one frame: dst gets src through inst.levelTable; the points and the table are
// then updated from src. The source's width and height govern both bitmaps. A frame
// with no pixels touches no pixel and leaves the record as it is.
Detection levelFrame(const BitmapView& src, const BitmapView& dst, LevelsInstance& inst);

// levelFrame for hosts that composite: each pixel of dst keeps the top byte (alpha) of
// its pixel in src. src and dst may be the same frame.
Detection levelFrameKeepingAlpha(const BitmapView& src, const BitmapView& dst, LevelsInstance& inst);

// A fresh start on this frame: the points snap to its detection and the table is
// derived from it, so that levelling the same frame next gives levelled output (the
// first frame of a stream, a seek, a changed setting). Writes no pixel.
void primeFromFrame(const BitmapView& src, LevelsInstance& inst);

namespace levels {

// The points a finished histogram of `sampleCount` samples detects with the record's
// settings: clipped at both ends, limited and uncrossed, before any following.
Detection detectPoints(const LevelsInstance& inst, const Histogram& hist, uint32_t sampleCount);

// From a finished histogram of `sampleCount` samples: detect the points, follow them
// and write the new table into the record.
Detection updatePoints(LevelsInstance& inst, const Histogram& hist, uint32_t sampleCount);

// The level table for the record's points and clipped-preview flag.
void buildLevelTable(LevelsInstance& inst);
// The same for points that may lie between levels (black <= white, both in 0..255);
// whole-level points give the record's table bit for bit.
void buildLevelTable(double black, double white, bool previewClipped, int32_t table[256]);

} // namespace levels
