// Times the OBS filter as OBS runs it: a 1080p source rendered in a headless libobs at
// 60 fps (tests/obs_session.h), once an OBS frame, so that every render reads back and
// counts a frame. The time is the CPU time of the thread that renders (the one OBS's
// graphics thread would pay), the same render without the filter taken off: what is left
// is the filter's read-back, count and table. Printed against a 60 fps frame (16.7 ms) and
// against a memcpy of the same frame timed in the same run.
#include "fastest_runs.h"
#include "obs_session.h"

#include <benchmark/benchmark.h>
#include <obs.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int32_t  kWidth = 1920, kHeight = 1080;
constexpr uint32_t kFps = 60;
constexpr int      kFramesPerRepetition = 120;   // 2 s of OBS frames
constexpr std::size_t kPixels = static_cast<std::size_t>(kWidth) * kHeight;

// Gradients, a ripple and a few levels of grain, as the other benchmarks' natural frame.
std::vector<uint32_t> naturalFrame()
{
    std::vector<uint32_t> made(kPixels);
    std::mt19937 rng(19);
    std::uniform_int_distribution<int> grain(-3, 3);
    const auto level = [](int v) { return static_cast<uint32_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x) {
            const double fx = static_cast<double>(x) / kWidth, fy = static_cast<double>(y) / kHeight;
            const int r = static_cast<int>(40 + 170 * fx + 20 * std::sin(fy * 9.0));
            const int g = static_cast<int>(30 + 140 * fy + 40 * std::sin(fx * 12.0));
            const int b = static_cast<int>(60 + 110 * (fx + fy) / 2);
            made[static_cast<std::size_t>(y) * kWidth + static_cast<std::size_t>(x)] =
                level(r + grain(rng)) << 16 | level(g + grain(rng)) << 8 | level(b + grain(rng));
        }
    return made;
}

struct Bench {
    std::unique_ptr<obs_test::Session> session;
    std::vector<uint32_t>              frame = naturalFrame();
};
Bench* bench = nullptr;

// The source's render, one OBS frame after another, with the filter (settings as JSON)
// or without (nullptr); the thread's CPU time per render as the iteration's time.
void timeRender(benchmark::State& state, const char* settings)
{
    obs_test::Session& s = *bench->session;
    obs_test::SourceRef input = s.createFrameSource();
    obs_test::SourceRef filter;
    if (settings) {
        obs_data_t* data = obs_data_create_from_json(settings);
        filter = obs_test::SourceRef(obs_source_create_private("rangewick_filter", "levels", data));
        obs_data_release(data);
        obs_source_filter_add(input.get(), filter.get());
    }
    s.nextFrame(input.get(), bench->frame.data(), kWidth, kHeight);
    s.render(input.get());   // the first frame: uploads and compiles, not timed
    for (auto _ : state) {
        s.waitFrame();
        state.SetIterationTime(s.renderTimed(input.get()));
    }
}

void BM_Memcpy(benchmark::State& state)
{
    std::vector<uint32_t> out(kPixels);
    for (auto _ : state) {
        std::memcpy(out.data(), bench->frame.data(), kPixels * 4);
        benchmark::ClobberMemory();
    }
}

// The fastest repetitions as ratios.
class RatioReporter : public FastestRuns {
public:
    bool PrintSummary() const
    {
        const double copy = fastest("BM_Memcpy"), plain = fastest("render/no_filter");
        if (copy <= 0 || plain <= 0) {
            std::printf("\nno memcpy or plain render measured in this run: no ratios\n");
            return false;
        }
        std::printf("\nOBS filter, 1920x1080 at 60 fps in headless libobs (Mesa): the render thread's CPU time per "
                    "frame, fastest repetition of each; memcpy of the frame %.0f us, render without the filter %.0f us\n",
                    copy, plain);
        for (const char* name : {"render/defaults", "render/cuts_on"}) {
            const double own = fastest(name) - plain;
            std::printf("%-16s filter %6.0f us  %5.1f %% of a 16.7 ms frame  %5.2f x memcpy\n", name + 7, own,
                        100 * own / (1e6 / kFps), own / copy);
        }
        return true;
    }
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Bench b;
    b.session = std::make_unique<obs_test::Session>(RANGEWICK_BENCH_FILES "/obs_home", kFps, kWidth, kHeight);
    std::string why = b.session->unavailable().empty() ? "" : "cannot start a headless OBS: " + b.session->unavailable();
    if (why.empty() && b.session->openModule(RANGEWICK_OBS_MODULE, RANGEWICK_OBS_DATA, why))
        b.session->finishLoading();
    if (!why.empty()) {
        std::printf("%s\n", why.c_str());
        return 1;
    }
    bench = &b;
    benchmark::RegisterBenchmark("BM_Memcpy", BM_Memcpy)->Unit(benchmark::kMicrosecond);
    const std::pair<const char*, const char*> variants[] = {
        {"render/no_filter", nullptr}, {"render/defaults", "{}"}, {"render/cuts_on", R"({"cuts": true})"}};
    for (const auto& v : variants)
        benchmark::RegisterBenchmark(v.first, [settings = v.second](benchmark::State& st) { timeRender(st, settings); })
            ->UseManualTime()
            ->Iterations(kFramesPerRepetition)
            ->Unit(benchmark::kMicrosecond);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const bool ok = reporter.PrintSummary();
    benchmark::Shutdown();
    b.session.reset();
    return ok ? 0 : 1;
}
