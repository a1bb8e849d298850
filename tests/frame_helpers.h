// Frames for tests: pixel buffers with chosen row padding, filled with a sentinel so
// that bytes between rows can be checked untouched.
#pragma once

#include "frame_levelling.h"

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

constexpr uint32_t kPadSentinel = 0xA5C3E1F7u;

inline uint32_t rgb(uint32_t r, uint32_t g, uint32_t b)
{
    return (r << 16) | (g << 8) | b;
}

struct TestFrame {
    int32_t w = 0, h = 0;
    int32_t padPixels = 0;           // row padding in pixels: modulo = 4 * padPixels
    std::vector<uint32_t> words;

    TestFrame(int32_t width, int32_t height, int32_t pad = 0)
        : w(width), h(height), padPixels(pad),
          words(static_cast<size_t>(width + pad) * static_cast<size_t>(height > 0 ? height : 0) + 1, kPadSentinel) {}

    uint32_t& at(int32_t x, int32_t y) { return words[static_cast<size_t>(y) * static_cast<size_t>(w + padPixels) + static_cast<size_t>(x)]; }
    uint32_t at(int32_t x, int32_t y) const { return words[static_cast<size_t>(y) * static_cast<size_t>(w + padPixels) + static_cast<size_t>(x)]; }

    BitmapView view() { return {words.data(), w, h, static_cast<std::ptrdiff_t>(padPixels) * 4}; }

    void fill(uint32_t pixel)
    {
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x)
                at(x, y) = pixel;
    }

    template <class Gen> void fillWith(Gen gen)
    {
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x)
                at(x, y) = gen(x, y);
    }

    bool paddingUntouched() const
    {
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = w; x < w + padPixels; ++x)
                if (at(x, y) != kPadSentinel)
                    return false;
        return words.back() == kPadSentinel;
    }
};

inline LevelsInstance freshInstance()
{
    LevelsInstance inst;
    std::memset(&inst, 0xCD, sizeof inst);
    resetToDefaults(inst);
    return inst;
}
