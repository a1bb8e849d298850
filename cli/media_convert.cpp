#include "media_convert.h"

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace media {

namespace {

// Accurate rounding and chroma at full resolution both ways: the fast paths round
// each way by up to a level more, and the levelling sees the colours as they are.
constexpr int kScaleFlags = SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP;

AVPixelFormat engineFormat(bool alpha)
{
    return alpha ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR0;
}

// swscale's coefficients take FFmpeg's matrix numbers (SWS_CS_ITU709 is AVCOL_SPC_BT709
// and so on); what it has no table for it reads as BT.601.
const int* coefficientsOf(AVColorSpace matrix)
{
    return sws_getCoefficients(static_cast<int>(matrix));
}

// A w x h buffer of 32-bit pixels, rows aligned for the vector passes.
uint8_t* allocatePixels(int w, int h, int& stride)
{
    stride = (w * 4 + 63) & ~63;
    return static_cast<uint8_t*>(av_malloc(static_cast<size_t>(stride) * static_cast<size_t>(h)));
}

BitmapView viewOf(uint8_t* data, int stride, int w, int h)
{
    return BitmapView{data, w, h, static_cast<std::ptrdiff_t>(stride) - static_cast<std::ptrdiff_t>(w) * 4};
}

} // namespace

bool isRgb(AVPixelFormat format)
{
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    return d != nullptr && (d->flags & AV_PIX_FMT_FLAG_RGB) != 0;
}

bool hasAlpha(AVPixelFormat format)
{
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    return d != nullptr && (d->flags & AV_PIX_FMT_FLAG_ALPHA) != 0;
}

bool isEnginePixels(AVPixelFormat format)
{
    return format == AV_PIX_FMT_BGR0 || format == AV_PIX_FMT_BGRA;
}

ColourModel modelOf(AVPixelFormat format, AVColorSpace matrix, AVColorRange range, int height)
{
    ColourModel m{matrix, range == AVCOL_RANGE_JPEG};
    if (isRgb(format)) {
        m.matrix = AVCOL_SPC_RGB;
        m.fullRange = true;
        return m;
    }
    // The JPEG formats are full range whatever the tag says.
    if (format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P || format == AV_PIX_FMT_YUVJ444P
        || format == AV_PIX_FMT_YUVJ440P || format == AV_PIX_FMT_YUVJ411P)
        m.fullRange = true;
    if (matrix == AVCOL_SPC_UNSPECIFIED || matrix == AVCOL_SPC_RESERVED || matrix == AVCOL_SPC_RGB)
        m.matrix = height >= 720 ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
    return m;
}

ToRgb::~ToRgb()
{
    sws_freeContext(sws_);
    av_free(pixels_);
}

bool ToRgb::setup(int w, int h, AVPixelFormat format, const ColourModel& model, bool alpha)
{
    sws_freeContext(sws_);
    sws_ = nullptr;
    av_freep(&pixels_);
    w_ = w, h_ = h;
    if (isEnginePixels(format))
        return true;
    sws_ = sws_getContext(w, h, format, w, h, engineFormat(alpha), kScaleFlags, nullptr, nullptr, nullptr);
    pixels_ = allocatePixels(w, h, stride_);
    if (sws_ == nullptr || pixels_ == nullptr)
        return false;
    // Fails for RGB sources, which have no matrix: nothing to set then.
    const int* table = coefficientsOf(model.matrix);
    sws_setColorspaceDetails(sws_, table, model.fullRange ? 1 : 0, table, 1, 0, 1 << 16, 1 << 16);
    return true;
}

BitmapView ToRgb::convert(const AVFrame& frame)
{
    if (sws_ == nullptr)
        return viewOf(frame.data[0], frame.linesize[0], w_, h_);
    uint8_t* const planes[4] = {pixels_, nullptr, nullptr, nullptr};
    const int strides[4] = {stride_, 0, 0, 0};
    sws_scale(sws_, frame.data, frame.linesize, 0, h_, planes, strides);
    return viewOf(pixels_, stride_, w_, h_);
}

FromRgb::~FromRgb()
{
    sws_freeContext(sws_);
    av_free(pixels_);
}

bool FromRgb::setup(int w, int h, AVPixelFormat format, const ColourModel& model, bool alpha)
{
    sws_freeContext(sws_);
    sws_ = nullptr;
    av_freep(&pixels_);
    w_ = w, h_ = h;
    if (isEnginePixels(format))
        return true;
    sws_ = sws_getContext(w, h, engineFormat(alpha), w, h, format, kScaleFlags, nullptr, nullptr, nullptr);
    pixels_ = allocatePixels(w, h, stride_);
    if (sws_ == nullptr || pixels_ == nullptr)
        return false;
    const int* table = coefficientsOf(model.matrix);
    sws_setColorspaceDetails(sws_, table, 1, table, model.fullRange ? 1 : 0, 0, 1 << 16, 1 << 16);
    return true;
}

BitmapView FromRgb::target(AVFrame& frame)
{
    if (sws_ == nullptr)
        return viewOf(frame.data[0], frame.linesize[0], w_, h_);
    return viewOf(pixels_, stride_, w_, h_);
}

void FromRgb::convert(AVFrame& frame)
{
    if (sws_ == nullptr)
        return;
    const uint8_t* const planes[4] = {pixels_, nullptr, nullptr, nullptr};
    const int strides[4] = {stride_, 0, 0, 0};
    sws_scale(sws_, planes, strides, 0, h_, frame.data, frame.linesize);
}

} // namespace media
