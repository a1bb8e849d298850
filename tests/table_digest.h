// A digest of every level table one black point can have: FNV-1a over the tables for
// white points black..255, plain and with the clipped preview.
#pragma once

#include "frame_levelling.h"

#include <cstdint>

inline uint32_t levelTableDigest(int32_t black)
{
    uint32_t h = 2166136261u;
    LevelsInstance inst{};
    inst.blackPoint = black;
    for (int32_t clipped = 0; clipped <= 1; ++clipped) {
        inst.previewClipped = clipped;
        for (int32_t white = black; white <= 255; ++white) {
            inst.whitePoint = white;
            levels::buildLevelTable(inst);
            for (int32_t e : inst.levelTable) {
                h ^= static_cast<uint32_t>(e);
                h *= 16777619u;
            }
        }
    }
    return h;
}
