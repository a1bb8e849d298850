// The per-instance record: the user's settings, the points being followed and the
// level table the next frame is mapped through. The host allocates and copies it
// byte for byte, so it holds plain data only.
#pragma once

#include <cstdint>

struct LevelsInstance {
    void*   preview;            // the host's preview interface during configuration; opaque here
    int32_t tracking;           // 1: points follow detections gradually; 0: next frame snaps them
    int32_t highlightClip;      // share allowed to clip to white, 1/100 % (0..10000)
    int32_t shadowClip;         // share allowed to clip to black, 1/100 % (0..10000)
    int32_t highlightsMin;      // lowest level the detected white point may take (0..255)
    int32_t shadowsMax;         // highest level the detected black point may take (0..255)
    int32_t blackPoint;         // level in use that maps to 0
    int32_t whitePoint;         // level in use that maps to 255
    int32_t previewClipped;     // 1: every unclipped level shows as middle grey
    int32_t levelTable[256];    // output level per input level, for R, G and B alike
};

// Settings, points and flags back to their initial values; the table to all zero.
// Leaves `preview` alone.
void resetToDefaults(LevelsInstance& inst);

// Only the two limits back to their initial values (the dialog's "Defaults").
void resetAdvancedLimits(LevelsInstance& inst);

// The next frame's detection becomes the points in use at once instead of being
// followed gradually: a fresh start after a change of scene or of settings.
void snapPointsOnNextFrame(LevelsInstance& inst);
