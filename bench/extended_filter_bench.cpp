// Times a frame of "rangewick extended" as VirtualDub runs it (its run procedure on the
// host's activation: the frame time read from the host's frame state, the margins turned
// for the host's bottom-up frames) against the command-line tool's frame with the same
// options (extras::levelFrame, as the tool calls it), on the same 1080p frame, and
// prints the filter's time as a multiple of the tool's: at most 1.1. Three option sets:
// every extra off, cuts with a follow time, and every extra on.
#include "extended_filter_procs.h"
#include "extras/extras.h"
#include "extended_script_line.h"
#include "fastest_runs.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int32_t kWidth = 1920, kHeight = 1080;
constexpr std::size_t kPixels = static_cast<std::size_t>(kWidth) * kHeight;
constexpr int32_t kMicrosecondsPerFrame = 40000;   // 25 frames a second

// Gradients, a ripple and a few levels of grain, 60 rows of black above and below.
const std::vector<uint32_t>& letterboxedFrame()
{
    static const std::vector<uint32_t> frame = [] {
        std::vector<uint32_t> made(kPixels, 0);
        std::mt19937 rng(19);
        std::uniform_int_distribution<int> grain(-3, 3);
        const auto level = [](int v) { return static_cast<uint32_t>(std::min(255, std::max(0, v))); };
        for (int32_t y = 60; y < kHeight - 60; ++y)
            for (int32_t x = 0; x < kWidth; ++x) {
                const double fx = static_cast<double>(x) / kWidth, fy = static_cast<double>(y) / kHeight;
                const int r = static_cast<int>(40 + 170 * fx + 20 * std::sin(fy * 9.0));
                const int g = static_cast<int>(30 + 140 * fy + 40 * std::sin(fx * 12.0));
                const int b = static_cast<int>(60 + 110 * (fx + fy) / 2);
                made[static_cast<std::size_t>(y) * kWidth + static_cast<std::size_t>(x)] =
                    level(r + grain(rng)) << 16 | level(g + grain(rng)) << 8 | level(b + grain(rng));
            }
        return made;
    }();
    return frame;
}

std::vector<uint32_t>& outputFrame()
{
    static std::vector<uint32_t> out(kPixels);
    return out;
}

struct OptionSet {
    const char* name;
    int32_t line[filter_extras::kLineCount];   // the filter's script line
};

const OptionSet kSets[] = {
    {"extras_off", {1, 100, 64, 192, 0, 0, 100, 0, 0, 0, 0, 0}},
    {"cuts_follow_2s", {1, 100, 64, 192, 1, 2000, 100, 0, 0, 0, 0, 0}},
    {"all_on", {1, 100, 64, 192, 1, 2000, 80, 50, 60, 0, 60, 0}},
};

// An instance with the set's options that has seen the frame: its tables are real and
// the frame is the one before (cuts compare with it; the same frame is no cut).
std::unique_ptr<extras::Instance> startingInstance(const OptionSet& set)
{
    std::unique_ptr<extras::Instance> x(new extras::Instance);
    std::memset(x.get(), 0, sizeof *x);
    extras::setDefaults(*x);
    filter_extras::applyLine(*x, set.line);
    const BitmapView frame{const_cast<uint32_t*>(letterboxedFrame().data()), kWidth, kHeight, 0};
    extras::prime(frame, *x);
    extras::levelWithExtras(frame, {outputFrame().data(), kWidth, kHeight, 0}, *x, 0.04);
    return x;
}

// The tool's frame: levelFrame on the instance, the frame time as --rate 25 gives it.
void timeTool(benchmark::State& state, const OptionSet& set)
{
    const std::unique_ptr<extras::Instance> start = startingInstance(set);
    extras::Instance x = *start;
    const BitmapView src{const_cast<uint32_t*>(letterboxedFrame().data()), kWidth, kHeight, 0};
    const BitmapView dst{outputFrame().data(), kWidth, kHeight, 0};
    for (auto _ : state) {
        x = *start;
        benchmark::DoNotOptimize(extras::levelWithExtras(src, dst, x, 0.04));
        benchmark::ClobberMemory();
    }
}

// The filter's frame: its run procedure on an activation as the host hands it over.
void timeFilter(benchmark::State& state, const OptionSet& set)
{
    const std::unique_ptr<extras::Instance> start = startingInstance(set);
    extras::Instance x = *start;
    VFBitmap src{}, dst{};
    for (VFBitmap* bm : {&src, &dst}) {
        bm->w = kWidth;
        bm->h = kHeight;
        bm->depth = 32;
        bm->pitch = kWidth * 4;
        bm->modulo = 0;
    }
    src.data = const_cast<uint32_t*>(letterboxedFrame().data());
    dst.data = outputFrame().data();
    FilterStateInfo fsi{};
    fsi.lMicrosecsPerFrame = kMicrosecondsPerFrame;
    FilterActivation fa{};
    fa.filter_data = &x;
    fa.src = &src;
    fa.dst = &dst;
    fa.pfsi = &fsi;
    FilterFunctions ff{};
    for (auto _ : state) {
        x = *start;
        benchmark::DoNotOptimize(rangewick::extended_filter::runProc(&fa, &ff));
        benchmark::ClobberMemory();
    }
}

// The fastest repetitions as ratios.
class RatioReporter : public FastestRuns {
public:
    // False when a ratio is over its limit or missing.
    bool PrintSummary() const
    {
        bool ok = true;
        std::printf("\nrangewick extended's run procedure against the tool's frame, same options, 1080p, fastest "
                    "repetition of each\n");
        for (const OptionSet& set : kSets) {
            const double tool = fastest(std::string("tool/") + set.name);
            const double filter = fastest(std::string("filter/") + set.name);
            if (tool <= 0 || filter <= 0) {
                std::printf("%-16s not measured\n", set.name);
                continue;
            }
            const double ratio = filter / tool;
            ok = ok && ratio <= 1.1;
            std::printf("%-16s tool %8.0f us  filter %8.0f us  %.3f x (limit 1.1)  %s\n", set.name, tool,
                        filter, ratio, ratio <= 1.1 ? "ok" : "OVER");
        }
        return ok;
    }
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    letterboxedFrame();
    for (const OptionSet& set : kSets) {
        benchmark::RegisterBenchmark((std::string("tool/") + set.name).c_str(),
                                     [&set](benchmark::State& state) { timeTool(state, set); })
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark((std::string("filter/") + set.name).c_str(),
                                     [&set](benchmark::State& state) { timeFilter(state, set); })
            ->Unit(benchmark::kMicrosecond);
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const bool ok = reporter.PrintSummary();
    benchmark::Shutdown();
    return ok ? 0 : 1;
}
