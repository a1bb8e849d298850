// Frames between a film's pixel format and the 32-bit BGR pixels the engine levels,
// through swscale, with the film's own matrix (BT.601, BT.709 ...) and range (limited
// or full) both ways, so that a frame levelled with strength 0 comes back as the round
// trip through RGB leaves it. Only the file mode includes this.
#pragma once

#include "kernels/kernels.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include <cstdint>

struct SwsContext;

namespace media {

// How a film's samples stand for colours: its matrix and whether its range is full.
struct ColourModel {
    AVColorSpace matrix;
    bool         fullRange;
};

// The model of frames in `format` tagged with `matrix` and `range`, where the tags
// leave it open: BT.709 for HD frames (720 rows and more) and BT.601 below, as players
// take untagged video; limited range for YUV unless a full-range format says otherwise.
ColourModel modelOf(AVPixelFormat format, AVColorSpace matrix, AVColorRange range, int height);

bool isRgb(AVPixelFormat format);
bool hasAlpha(AVPixelFormat format);

// The engine's own layouts, levelled where they lie with no conversion: bgr0 and bgra
// (blue in the lowest byte).
bool isEnginePixels(AVPixelFormat format);

// What both directions share: a scaler between a film's format and the engine's layout,
// and a buffer of the engine's layout where the film's is another.
class RgbScaler {
public:
    RgbScaler() = default;
    RgbScaler(const RgbScaler&) = delete;
    RgbScaler& operator=(const RgbScaler&) = delete;
    ~RgbScaler();

protected:
    // For w x h frames of `format`, into the engine's layout (toEngine) or out of it;
    // with `alpha`, bgra keeping it. False when swscale cannot do it or memory runs out.
    bool setup(int w, int h, AVPixelFormat format, const ColourModel& model, bool alpha, bool toEngine);
    // The engine's pixels: `data` and `stride` of the film's frame where no scaler is
    // needed, the buffer of its own otherwise.
    BitmapView engineView(uint8_t* data, int stride) const;

    SwsContext* sws_    = nullptr;
    AVFrame*    pixels_ = nullptr;
    int         w_ = 0, h_ = 0;
};

// Frames to levelled pixels: converted into a buffer of its own, or, for the engine's
// own layouts, the frame itself.
class ToRgb : private RgbScaler {
public:
    bool setup(int w, int h, AVPixelFormat format, const ColourModel& model, bool alpha)
    {
        return RgbScaler::setup(w, h, format, model, alpha, true);
    }
    // A view with no data when swscale fails.
    BitmapView convert(const AVFrame& frame);
};

// Levelled pixels into a frame of the encoder's format.
class FromRgb : private RgbScaler {
public:
    bool setup(int w, int h, AVPixelFormat format, const ColourModel& model, bool alpha)
    {
        return RgbScaler::setup(w, h, format, model, alpha, false);
    }
    // Where the engine writes the levelled frame: a buffer of its own, or `frame`
    // itself when it is in the engine's layout.
    BitmapView target(AVFrame& frame);
    // Moves what the engine wrote into `frame` (nothing when it wrote there itself).
    // False when swscale fails.
    bool convert(AVFrame& frame);
};

} // namespace media
