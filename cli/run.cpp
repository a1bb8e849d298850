#include "run.h"

#include "extras/extras.h"
#include "frame_levelling.h"
#include "levels_instance.h"
#include "raw_io.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>

namespace cli {

namespace {

void report(const std::string& message)
{
    std::fprintf(stderr, "rangewick: %s\n", message.c_str());
}

// Frames done and frames per second, redrawn in place a few times a second.
class ProgressLine {
public:
    explicit ProgressLine(bool on) : on_(on), start_(Clock::now()), last_(start_) {}

    void frameDone(uint64_t frames)
    {
        if (!on_)
            return;
        const auto now = Clock::now();
        if (now - last_ < std::chrono::milliseconds(250))
            return;
        last_ = now;
        print(frames, now);
    }

    void finish(uint64_t frames)
    {
        if (!on_)
            return;
        print(frames, Clock::now());
        std::fputc('\n', stderr);
    }

private:
    using Clock = std::chrono::steady_clock;

    void print(uint64_t frames, Clock::time_point now)
    {
        // In whole numbers: i686 compilers turn 64-bit integers into doubles on the x87
        // unit, and the project's i686 code is held to SSE2 alone.
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - start_).count();
        const uint64_t tenths = ms > 0 ? frames * 10000 / static_cast<uint64_t>(ms) : 0;
        std::fprintf(stderr, "\rrangewick: %llu frames, %llu.%u fps ", static_cast<unsigned long long>(frames),
                     static_cast<unsigned long long>(tenths / 10), static_cast<unsigned>(tenths % 10));
        std::fflush(stderr);
    }

    bool              on_;
    Clock::time_point start_;
    Clock::time_point last_;
};

// The CSV statistics file, fully buffered; any failure is caught when it is closed.
class StatsFile {
public:
    ~StatsFile()
    {
        if (file_)
            std::fclose(file_);
    }

    bool open(const std::string& path, bool channels, std::string& error)
    {
        if (path.empty())
            return true;
        path_ = path;
        file_ = std::fopen(path.c_str(), "wb");
        if (!file_) {
            error = "cannot open statistics file '" + path + "'";
            return false;
        }
        std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
        std::fputs(channels ? "frame,detected_black,detected_white,black,white,fresh,"
                              "red_black,red_white,green_black,green_white,blue_black,blue_white\n"
                            : "frame,detected_black,detected_white,black,white,fresh\n",
                   file_);
        return true;
    }

    // Points that may lie between levels (following in seconds, channels levelled
    // apart) are written with three decimals, whole levels as whole numbers.
    bool line(uint64_t frame, const Detection& detected, const extras::Instance& x, bool fresh, std::string& error)
    {
        if (!file_)
            return true;
        const bool fractions = x.options.followTime > 0 || extras::levelsChannelsApart(x);
        char points[160];
        if (fractions)
            std::snprintf(points, sizeof points, "%.3f,%.3f", extras::blackInUse(x), extras::whiteInUse(x));
        else
            std::snprintf(points, sizeof points, "%d,%d", static_cast<int>(x.record.blackPoint),
                          static_cast<int>(x.record.whitePoint));
        char channels[160] = "";
        if (extras::levelsChannelsApart(x)) {
            const extras::Running& r = x.running;
            constexpr double unit = extras::kPointScale;
            std::snprintf(channels, sizeof channels, ",%.3f,%.3f,%.3f,%.3f,%.3f,%.3f", r.channelBlack[2] / unit,
                          r.channelWhite[2] / unit, r.channelBlack[1] / unit, r.channelWhite[1] / unit,
                          r.channelBlack[0] / unit, r.channelWhite[0] / unit);
        }
        if (std::fprintf(file_, "%llu,%d,%d,%s,%d%s\n", static_cast<unsigned long long>(frame),
                         static_cast<int>(detected.black), static_cast<int>(detected.white), points,
                         fresh ? 1 : 0, channels) < 0) {
            error = "cannot write statistics file '" + path_ + "'";
            return false;
        }
        return true;
    }

    bool close(std::string& error)
    {
        if (!file_)
            return true;
        const bool ok = std::ferror(file_) == 0;
        const bool closed = std::fclose(file_) == 0;
        file_ = nullptr;
        if (!ok || !closed) {
            error = "cannot write statistics file '" + path_ + "'";
            return false;
        }
        return true;
    }

private:
    std::FILE*  file_ = nullptr;
    std::string path_;
};

} // namespace

int runLevelling(const Options& options)
{
    rawio::prepareStandardStreams();
    std::string error;
    // A pass forced for a benchmark or a test that this processor cannot run: the run
    // goes on with the fastest one, and says so.
    const levels::PassChoice pass = levels::chosenPass();
    if (pass.reason == levels::PassChoice::Reason::NotUsable || pass.reason == levels::PassChoice::Reason::UnknownName)
        report("frame pass " + levels::describePass(pass, std::getenv(levels::kPassVariable)));

    const std::size_t pixels     = static_cast<std::size_t>(options.width) * static_cast<std::size_t>(options.height);
    const std::size_t frameBytes = pixels * 4;
    std::unique_ptr<uint32_t[]> in(new (std::nothrow) uint32_t[pixels]);
    std::unique_ptr<uint32_t[]> out(new (std::nothrow) uint32_t[pixels]);
    if (!in || !out) {
        report("not enough memory for " + std::to_string(options.width) + "x" + std::to_string(options.height)
               + " frames");
        return kExitFailure;
    }

    const int inFd = rawio::openInput(options.input, error);
    if (inFd < 0) {
        report(error);
        return kExitFailure;
    }
    const int outFd = rawio::openOutput(options.output, error);
    if (outFd < 0) {
        report(error);
        return kExitFailure;
    }
    StatsFile stats;
    if (!stats.open(options.stats, options.independence > 0, error)) {
        report(error);
        return kExitFailure;
    }

    // Plain data of a few KiB: kept off the stack.
    std::unique_ptr<extras::Instance> instance(new (std::nothrow) extras::Instance);
    if (!instance) {
        report("not enough memory");
        return kExitFailure;
    }
    extras::Instance& x = *instance;
    extras::setDefaults(x);
    settings::applyStored(x.record, options.stored);
    x.record.previewClipped = options.previewClipped ? 1 : 0;
    x.options.cuts = options.cuts ? 1 : 0;
    x.options.followTime = options.followTime;
    x.options.strength = options.strength;
    x.options.independence = options.independence;
    for (int side = 0; side < 4; ++side)
        x.options.margins[side] = options.margins[side];

    const BitmapView src{in.get(), options.width, options.height, 0};
    const BitmapView dst{out.get(), options.width, options.height, 0};
    const bool showProgress = options.progress == Progress::On
                           || (options.progress == Progress::Auto && rawio::isTerminal(2));
    ProgressLine progress(showProgress);

    uint64_t frames = 0;
    int status = kExitOk;
    for (;;) {
        const std::size_t got = rawio::readFull(inFd, in.get(), frameBytes, error);
        if (!error.empty()) {
            report(error);
            status = kExitFailure;
            break;
        }
        if (got == 0)
            break;
        if (got < frameBytes) {
            report("input ended inside frame " + std::to_string(frames) + ": " + std::to_string(got) + " of "
                   + std::to_string(frameBytes) + " bytes (is --size right?); " + std::to_string(frames)
                   + (frames == 1 ? " complete frame" : " complete frames") + " written");
            status = kExitFailure;
            break;
        }
        const bool primed = frames == 0 && options.prime;
        if (primed) {
            // A fresh table is all zero: derive it from this frame first, as the
            // dialog's refresh does, so that the output starts levelled.
            extras::prime(src, x);
        }
        const extras::FrameResult levelled = extras::levelWithExtras(src, dst, x, options.frameSeconds);
        if (!rawio::writeFull(outFd, out.get(), frameBytes, error)) {
            report(error);
            status = kExitFailure;
            break;
        }
        if (!stats.line(frames, levelled.detected, x, primed || levelled.fresh, error)) {
            report(error);
            status = kExitFailure;
            break;
        }
        ++frames;
        progress.frameDone(frames);
    }
    progress.finish(frames);

    if (!stats.close(error) && status == kExitOk) {
        report(error);
        status = kExitFailure;
    }
    if (!rawio::closeOutput(outFd, error) && status == kExitOk) {
        report(error);
        status = kExitFailure;
    }
    return status;
}

} // namespace cli
