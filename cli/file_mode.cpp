#include "file_mode.h"

#include "frame_times.h"
#include "media_convert.h"
#include "media_input.h"
#include "media_output.h"
#include "progress_line.h"
#include "raw_io.h"
#include "run.h"
#include "stats_file.h"

#include "extras/extras.h"
#include "frame_levelling.h"

extern "C" {
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <sys/stat.h>

namespace cli {

namespace {

// The first signal that asked the run to stop; 0 while none has.
volatile std::sig_atomic_t stopSignal = 0;

extern "C" void onStopSignal(int signal)
{
    if (stopSignal == 0)
        stopSignal = signal;
    // A second Ctrl-C ends the process at once.
    std::signal(signal, SIG_DFL);
}

extern "C" int stopRequested(void*)
{
    return stopSignal != 0 ? 1 : 0;
}

void catchStopSignals()
{
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a blocked read returns, and FFmpeg asks stopRequested.
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
    // A file size limit makes a write fail, as a full disk does, instead of ending the
    // process with the temporary file left behind.
    std::signal(SIGXFSZ, SIG_IGN);
}

void report(const std::string& message)
{
    std::fprintf(stderr, "rangewick: %s\n", message.c_str());
}

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// FFmpeg's own messages would come as several lines in a form of their own; each
// failure is reported here, once, as one line.
void quietenFfmpeg()
{
    av_log_set_level(AV_LOG_QUIET);
}

class FilmRun {
public:
    FilmRun(const Options& options, media::Input& in, media::Output& out, extras::Instance& x)
        : options_(options), in_(in), out_(out), x_(x), clock_(0)
    {
    }

    int run();

private:
    bool level(const AVFrame& decoded);
    bool drainDecoder();
    int  stopped();

    const Options&    options_;
    media::Input&     in_;
    media::Output&    out_;
    extras::Instance& x_;
    FrameTimes        clock_;
    media::ToRgb      toRgb_;
    media::FromRgb    fromRgb_;
    StatsFile         stats_;
    std::unique_ptr<ProgressLine> progress_;
    AVFrame*          decoded_ = nullptr;
    AVPixelFormat     convertedFormat_ = AV_PIX_FMT_NONE;
    bool              keepAlpha_ = false;
    uint64_t          frames_ = 0;
    uint64_t          damaged_ = 0;
    int64_t           lastPts_ = 0;
    double            levellingSeconds_ = 0;
    std::string       error_;
};

int FilmRun::stopped()
{
    report("interrupted: '" + options_.outFile + "' is not written");
    return kExitSignalBase + stopSignal;
}

bool FilmRun::level(const AVFrame& decoded)
{
    const AVCodecContext* dec = in_.decoder();
    if (decoded.width != dec->width || decoded.height != dec->height) {
        error_ = "the video changes size at frame " + std::to_string(frames_) + " (" + std::to_string(dec->width) + "x"
               + std::to_string(dec->height) + " to " + std::to_string(decoded.width) + "x"
               + std::to_string(decoded.height) + "): not supported";
        return false;
    }
    const AVPixelFormat format = static_cast<AVPixelFormat>(decoded.format);
    if (format != convertedFormat_) {
        const media::ColourModel model = media::modelOf(format, decoded.colorspace != AVCOL_SPC_UNSPECIFIED
                                                                    ? decoded.colorspace
                                                                    : in_.video()->codecpar->color_space,
                                                        decoded.color_range != AVCOL_RANGE_UNSPECIFIED
                                                            ? decoded.color_range
                                                            : in_.video()->codecpar->color_range,
                                                        decoded.height);
        if (!toRgb_.setup(decoded.width, decoded.height, format, model, keepAlpha_)) {
            error_ = std::string("cannot convert the video's pixels (") + av_get_pix_fmt_name(format) + ") to RGB";
            return false;
        }
        convertedFormat_ = format;
    }

    // Times in the input's clock, which the frames keep on the way out.
    const AVRational base = in_.video()->time_base;
    const int64_t stamp = decoded.best_effort_timestamp;
    const bool known = stamp != AV_NOPTS_VALUE;
    const double frameSeconds = clock_.next(known, known ? static_cast<double>(stamp) * av_q2d(base) : 0);
    int64_t pts = known ? stamp : lastPts_ + std::max<int64_t>(1, std::llround(frameSeconds / av_q2d(base)));
    // An encoder takes only rising times; a repeated one moves on by the least step.
    if (frames_ > 0 && pts <= lastPts_)
        pts = lastPts_ + 1;
    lastPts_ = pts;

    AVFrame* frame = out_.frame();
    if (av_frame_make_writable(frame) < 0) {
        error_ = "not enough memory";
        return false;
    }
    const BitmapView src = toRgb_.convert(decoded);
    const BitmapView dst = fromRgb_.target(*frame);
    if (src.data == nullptr) {
        error_ = "cannot convert the video's pixels to RGB";
        return false;
    }
    const auto start = std::chrono::steady_clock::now();
    const bool primed = frames_ == 0 && options_.prime;
    if (primed)
        extras::prime(src, x_);
    const extras::FrameResult levelled = keepAlpha_ ? extras::levelWithExtrasKeepingAlpha(src, dst, x_, frameSeconds)
                                                    : extras::levelWithExtras(src, dst, x_, frameSeconds);
    levellingSeconds_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!fromRgb_.convert(*frame)) {
        error_ = "cannot convert RGB to the encoder's pixels";
        return false;
    }
    frame->pts = pts;
    frame->pkt_duration = decoded.pkt_duration > 0 ? decoded.pkt_duration
                                                   : std::max<int64_t>(1, std::llround(frameSeconds / av_q2d(base)));
    frame->pict_type = AV_PICTURE_TYPE_NONE;
    if (!out_.encode(frame, error_))
        return false;
    if (!stats_.line(frames_, levelled.detected, x_, primed || levelled.fresh, error_))
        return false;
    ++frames_;
    int permille = -1;
    const double length = in_.seconds();
    if (length > 0 && known) {
        const double done = (static_cast<double>(stamp) * av_q2d(base) - in_.startSeconds()) / length;
        permille = static_cast<int>(std::lround(std::min(1.0, std::max(0.0, done)) * 1000));
    }
    progress_->frameDone(frames_, permille);
    return true;
}

// Levels every frame the decoder has ready.
bool FilmRun::drainDecoder()
{
    for (;;) {
        const int got = avcodec_receive_frame(in_.decoder(), decoded_);
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
            return true;
        if (got == AVERROR_INVALIDDATA) {
            ++damaged_;
            continue;
        }
        if (got < 0) {
            error_ = "cannot decode the video of '" + options_.inFile + "': " + media::describe(got);
            return false;
        }
        const bool ok = level(*decoded_);
        av_frame_unref(decoded_);
        if (!ok)
            return false;
    }
}

int FilmRun::run()
{
    keepAlpha_ = media::hasAlpha(in_.decoder()->pix_fmt) && media::hasAlpha(out_.pixelFormat());
    const AVRational nominal = av_guess_frame_rate(in_.format(), in_.video(), nullptr);
    clock_ = FrameTimes(nominal.num > 0 && nominal.den > 0 ? av_q2d(av_inv_q(nominal)) : 0);
    if (!fromRgb_.setup(in_.decoder()->width, in_.decoder()->height, out_.pixelFormat(), out_.model(), keepAlpha_)) {
        report(std::string("cannot convert RGB to the encoder's pixels (") + av_get_pix_fmt_name(out_.pixelFormat())
               + ")");
        return kExitFailure;
    }
    if (!stats_.open(options_.stats, options_.independence > 0, error_)) {
        report(error_);
        return kExitFailure;
    }
    const bool showProgress = options_.progress == Progress::On
                           || (options_.progress == Progress::Auto && rawio::isTerminal(2));
    progress_.reset(new ProgressLine(showProgress));
    const auto start = std::chrono::steady_clock::now();

    AVIOInterruptCB interrupt{stopRequested, nullptr};
    if (!out_.begin(interrupt, error_)) {
        if (stopSignal != 0)
            return stopped();
        report(error_);
        return kExitFailure;
    }

    decoded_ = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    if (decoded_ == nullptr || packet == nullptr) {
        av_frame_free(&decoded_);
        av_packet_free(&packet);
        report("not enough memory");
        return kExitFailure;
    }
    bool ok = true;
    AVCodecContext* dec = in_.decoder();
    while (ok && stopSignal == 0) {
        const int read = av_read_frame(in_.format(), packet);
        if (read == AVERROR_EOF)
            break;
        if (read < 0) {
            error_ = "cannot read '" + options_.inFile + "': " + media::describe(read);
            ok = false;
            break;
        }
        if (packet->stream_index == in_.videoIndex()) {
            int sent = avcodec_send_packet(dec, packet);
            // A decoder that holds frames back takes the packet once they are out.
            while (sent == AVERROR(EAGAIN) && (ok = drainDecoder()))
                sent = avcodec_send_packet(dec, packet);
            av_packet_unref(packet);
            if (sent == AVERROR_INVALIDDATA)
                ++damaged_;
            else if (sent < 0 && ok) {
                error_ = "cannot decode the video of '" + options_.inFile + "': " + media::describe(sent);
                ok = false;
            }
            ok = ok && drainDecoder();
        } else {
            ok = out_.copy(*packet, error_);
        }
    }
    if (ok && stopSignal == 0) {
        avcodec_send_packet(dec, nullptr);
        ok = drainDecoder() && out_.encode(nullptr, error_);
    }
    av_packet_free(&packet);
    av_frame_free(&decoded_);
    progress_->finish(frames_);
    if (stopSignal != 0)
        return stopped();
    if (ok && frames_ == 0) {
        error_ = "no frame of the video of '" + options_.inFile + "' could be decoded";
        ok = false;
    }
    ok = ok && stats_.close(error_) && out_.finish(options_.overwrite, error_);
    if (!ok) {
        report(stopSignal != 0 ? "interrupted: '" + options_.outFile + "' is not written" : error_);
        return stopSignal != 0 ? kExitSignalBase + stopSignal : kExitFailure;
    }
    if (damaged_ > 0)
        report("warning: " + std::to_string(damaged_) + " damaged video packets of '" + options_.inFile
               + "' were skipped");
    if (progress_->on()) {
        const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::fprintf(stderr, "rangewick: %llu frames in %.2f s; the levelling took %.2f s of it (%.1f %%)\n",
                     static_cast<unsigned long long>(frames_), total, levellingSeconds_,
                     total > 0 ? 100 * levellingSeconds_ / total : 0.0);
    }
    return kExitOk;
}

} // namespace

bool videoSize(const std::string& path, int32_t& w, int32_t& h, std::string& error)
{
    quietenFfmpeg();
    media::Input in;
    if (!in.open(path, AVIOInterruptCB{nullptr, nullptr}, error))
        return false;
    w = in.decoder()->width;
    h = in.decoder()->height;
    return true;
}

int runFileLevelling(const Options& options)
{
    quietenFfmpeg();
    catchStopSignals();
    const levels::PassChoice pass = levels::chosenPass();
    if (pass.reason == levels::PassChoice::Reason::NotUsable || pass.reason == levels::PassChoice::Reason::UnknownName)
        report("frame pass " + levels::describePass(pass, std::getenv(levels::kPassVariable)));

    struct stat inStat {}, outStat {};
    if (::stat(options.inFile.c_str(), &inStat) != 0) {
        report("cannot read '" + options.inFile + "': " + std::strerror(errno));
        return kExitFailure;
    }
    if (S_ISDIR(inStat.st_mode)) {
        report("'" + options.inFile + "' is a folder, not a film");
        return kExitFailure;
    }
    if (::stat(options.outFile.c_str(), &outStat) == 0) {
        if (sameFile(inStat, outStat)) {
            report("OUT is IN ('" + options.outFile + "'): write the levelled film to another file");
            return kExitUsage;
        }
        if (S_ISDIR(outStat.st_mode)) {
            report("'" + options.outFile + "' is a folder: name the file to write");
            return kExitFailure;
        }
        if (!options.overwrite) {
            report("'" + options.outFile + "' exists: --overwrite replaces it");
            return kExitFailure;
        }
    }

    std::string error;
    media::Input in;
    const AVIOInterruptCB interrupt{stopRequested, nullptr};
    if (!in.open(options.inFile, interrupt, error)) {
        if (stopSignal != 0) {
            report("interrupted: '" + options.outFile + "' is not written");
            return kExitSignalBase + stopSignal;
        }
        report(error);
        return kExitFailure;
    }
    const int32_t w = in.decoder()->width, h = in.decoder()->height;
    if (!extras::marginsLeaveAPicture(options.margins, w, h)) {
        report("--margins " + std::to_string(options.margins[0]) + "," + std::to_string(options.margins[1]) + ","
               + std::to_string(options.margins[2]) + "," + std::to_string(options.margins[3]) + " leave nothing of a "
               + std::to_string(w) + "x" + std::to_string(h) + " frame to count");
        return kExitUsage;
    }
    if (static_cast<uint64_t>(w) * static_cast<uint64_t>(h) > levels::maxFramePixels()) {
        report("a " + std::to_string(w) + "x" + std::to_string(h) + " frame is too large to level");
        return kExitFailure;
    }

    media::Output out;
    bool usage = false;
    if (!out.prepare(options.outFile, in, media::EncoderRequest{options.encoder, options.encoderOptions, options.pixFmt},
                     error, usage)) {
        report(error);
        return usage ? kExitUsage : kExitFailure;
    }
    for (const std::string& stream : out.leftOut())
        report("warning: " + stream + " is left out: the container of '" + options.outFile + "' cannot hold it");

    // Plain data of a few KiB: kept off the stack.
    std::unique_ptr<extras::Instance> instance(new (std::nothrow) extras::Instance);
    if (!instance) {
        report("not enough memory");
        return kExitFailure;
    }
    applySettings(options, *instance);
    return FilmRun(options, in, out, *instance).run();
}

} // namespace cli
