#include "run.h"

#include "extras/extras.h"
#include "frame_levelling.h"
#include "levels_instance.h"
#include "progress_line.h"
#include "raw_io.h"
#include "stats_file.h"

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

} // namespace

void applySettings(const Options& options, extras::Instance& x)
{
    extras::setDefaults(x);
    settings::applyStored(x.record, options.stored);
    x.record.previewClipped = options.previewClipped ? 1 : 0;
    x.options.cuts = options.cuts ? 1 : 0;
    x.options.followTime = options.followTime;
    x.options.strength = options.strength;
    x.options.independence = options.independence;
    for (int side = 0; side < 4; ++side)
        x.options.margins[side] = options.margins[side];
}

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
    applySettings(options, x);

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
