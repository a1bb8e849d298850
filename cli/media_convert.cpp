#include "media_convert.h"

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace media {

namespace {

// ffmpeg's own conversion, as a film levelled with the frei0r module inside ffmpeg gets
// it. swscale's accurate rounding with chroma interpolated at full resolution would
// keep a photograph's 8-bit luma within a level instead of about one level off on
// average, but costs a 1080p frame some 10 ms more than the levelling itself, and
// makes the run slower than ffmpeg's with the module.
constexpr int kScaleFlags = SWS_BICUBIC;

AVPixelFormat engineFormat(bool alpha)
{
    return alpha ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR0;
}

// A scaler for w x h frames from one format to another, its slices in threads of their
// own: converting costs more than the levelling, and the run waits for it.
SwsContext* makeScaler(int w, int h, AVPixelFormat from, AVPixelFormat to)
{
    SwsContext* sws = sws_alloc_context();
    if (sws == nullptr)
        return nullptr;
    const bool set = av_opt_set_int(sws, "srcw", w, 0) >= 0 && av_opt_set_int(sws, "srch", h, 0) >= 0
                  && av_opt_set_int(sws, "dstw", w, 0) >= 0 && av_opt_set_int(sws, "dsth", h, 0) >= 0
                  && av_opt_set_pixel_fmt(sws, "src_format", from, 0) >= 0
                  && av_opt_set_pixel_fmt(sws, "dst_format", to, 0) >= 0
                  && av_opt_set_int(sws, "sws_flags", kScaleFlags, 0) >= 0 && av_opt_set_int(sws, "threads", 0, 0) >= 0;
    if (!set || sws_init_context(sws, nullptr, nullptr) < 0) {
        sws_freeContext(sws);
        return nullptr;
    }
    return sws;
}

// swscale's coefficients take FFmpeg's matrix numbers (SWS_CS_ITU709 is AVCOL_SPC_BT709
// and so on); what it has no table for it reads as BT.601.
const int* coefficientsOf(AVColorSpace matrix)
{
    return sws_getCoefficients(static_cast<int>(matrix));
}

// A w x h frame of 32-bit pixels, rows aligned for the vector passes.
AVFrame* allocatePixels(int w, int h, bool alpha)
{
    AVFrame* f = av_frame_alloc();
    if (f == nullptr)
        return nullptr;
    f->format = engineFormat(alpha);
    f->width = w;
    f->height = h;
    if (av_frame_get_buffer(f, 64) < 0)
        av_frame_free(&f);
    return f;
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

RgbScaler::~RgbScaler()
{
    sws_freeContext(sws_);
    av_frame_free(&pixels_);
}

bool RgbScaler::setup(int w, int h, AVPixelFormat format, const ColourModel& model, bool alpha, bool toEngine)
{
    sws_freeContext(sws_);
    sws_ = nullptr;
    av_frame_free(&pixels_);
    w_ = w, h_ = h;
    if (isEnginePixels(format))
        return true;
    sws_ = toEngine ? makeScaler(w, h, format, engineFormat(alpha)) : makeScaler(w, h, engineFormat(alpha), format);
    pixels_ = allocatePixels(w, h, alpha);
    if (sws_ == nullptr || pixels_ == nullptr)
        return false;
    // Fails for RGB films, which have no matrix: nothing to set then. The engine's side
    // is full range.
    const int* table = coefficientsOf(model.matrix);
    const int filmRange = model.fullRange ? 1 : 0;
    sws_setColorspaceDetails(sws_, table, toEngine ? filmRange : 1, table, toEngine ? 1 : filmRange, 0, 1 << 16,
                             1 << 16);
    return true;
}

BitmapView RgbScaler::engineView(uint8_t* data, int stride) const
{
    if (sws_ == nullptr)
        return viewOf(data, stride, w_, h_);
    return viewOf(pixels_->data[0], pixels_->linesize[0], w_, h_);
}

BitmapView ToRgb::convert(const AVFrame& frame)
{
    if (sws_ != nullptr && sws_scale_frame(sws_, pixels_, &frame) < 0)
        return BitmapView{nullptr, 0, 0, 0};
    return engineView(frame.data[0], frame.linesize[0]);
}

BitmapView FromRgb::target(AVFrame& frame)
{
    return engineView(frame.data[0], frame.linesize[0]);
}

bool FromRgb::convert(AVFrame& frame)
{
    return sws_ == nullptr || sws_scale_frame(sws_, &frame, pixels_) >= 0;
}

} // namespace media
