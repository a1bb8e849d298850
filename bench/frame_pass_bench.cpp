// Times the frame pass on 1080p frames of different content against a memcpy of the
// same frame, and prints each pass as a multiple of that memcpy: levelFrame as it runs
// (the pass chosen for this processor, or forced by RANGEWICK_PASS), and every pixel
// pass this processor runs on its own, side by side; then the extended levelling's
// frames (cuts on, a cut frame, following in seconds, the channels levelled apart) as
// multiples of levelFrame.
//
// What each pass must hold: a vector pass at most 7 times a memcpy on natural content,
// flat grey, colour bars and dark grain no dearer than natural, noise within 1.1 times
// what counting alone costs; the portable pass within 1.1 times its natural time on
// every content; cuts on, where no cut is found, at most 1.05 times levelFrame, and a
// cut frame, mapped a second time, at most twice; the channels levelled apart
// (independence 1), alone and with a strength of 0.5 and margins, and margins alone
// above and below or at the sides, at most 1.1 times.
// The ratios come from this run's own measurements (fastest repetition of each), so they
// hold on whatever machine and build runs them. The extended levelling and the frei0r
// module run the pass levelFrame runs: the figures of another pass come from a run with
// RANGEWICK_PASS naming it.
#include "extras/extras.h"
#include "fastest_runs.h"
#include "frame_levelling.h"
#include "levels_filter.h"
#include "levels_instance.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int32_t kWidth  = 1920; // pixels
constexpr int32_t kHeight = 1080; // pixels
constexpr size_t  kPixels = static_cast<size_t>(kWidth) * kHeight;

uint32_t rgb(int r, int g, int b)
{
    const auto clamp = [](int v) { return static_cast<uint32_t>(std::min(255, std::max(0, v))); };
    return (clamp(r) << 16) | (clamp(g) << 8) | clamp(b);
}

// The contents, from the cheapest to keep apart in counters to the most repetitive.
enum Content { kNoise, kNatural, kFlatGrey, kColourBars, kDarkGrain, kContentCount };
const char* const kContentNames[kContentCount] = {"noise", "natural", "flat_grey", "colour_bars", "dark_grain"};

std::vector<uint32_t> makeFrame(Content content, unsigned variant = 0)
{
    std::vector<uint32_t> frame(kPixels);
    std::mt19937 rng(20261208u + static_cast<unsigned>(content) + 16u * variant);
    switch (content) {
    case kNoise:
        // Every sample independent and uniform; the top byte is junk the pass must ignore.
        for (uint32_t& p : frame)
            p = static_cast<uint32_t>(rng());
        break;
    case kNatural: {
        // Smooth gradients and a slow ripple, each sample disturbed by a few levels of
        // noise: neighbouring pixels often share a level in some channel.
        std::uniform_int_distribution<int> grain(-3, 3);
        for (int32_t y = 0; y < kHeight; ++y)
            for (int32_t x = 0; x < kWidth; ++x) {
                const double fx = static_cast<double>(x) / kWidth, fy = static_cast<double>(y) / kHeight;
                const int r = static_cast<int>(40 + 170 * fx + 20 * std::sin(fy * 9.0));
                const int g = static_cast<int>(30 + 140 * fy + 40 * std::sin(fx * 12.0));
                const int b = static_cast<int>(60 + 110 * (fx + fy) / 2 + 30 * std::cos((fx - fy) * 7.0));
                frame[static_cast<size_t>(y) * kWidth + x] = rgb(r + grain(rng), g + grain(rng), b + grain(rng));
            }
        break;
    }
    case kFlatGrey:
        // Black frames, fades and letterbox bars: one level in all three channels.
        std::fill(frame.begin(), frame.end(), rgb(128, 128, 128));
        break;
    case kColourBars: {
        // Eight vertical bars at 75 %: long runs of one pixel, channels often equal.
        const uint32_t bars[8] = {rgb(191, 191, 191), rgb(191, 191, 0), rgb(0, 191, 191), rgb(0, 191, 0),
                                  rgb(191, 0, 191),   rgb(191, 0, 0),   rgb(0, 0, 191),   rgb(0, 0, 0)};
        for (int32_t y = 0; y < kHeight; ++y)
            for (int32_t x = 0; x < kWidth; ++x)
                frame[static_cast<size_t>(y) * kWidth + x] = bars[x * 8 / kWidth];
        break;
    }
    case kDarkGrain: {
        // A dark scene with sensor grain: every sample within a level or two of 20, so
        // that nearly every increment of a shared histogram hits a counter just written.
        std::uniform_int_distribution<int> grain(-2, 2);
        for (uint32_t& p : frame)
            p = rgb(20 + grain(rng), 20 + grain(rng), 20 + grain(rng));
        break;
    }
    default:
        break;
    }
    return frame;
}

const std::vector<uint32_t>& frameOf(Content content)
{
    static std::vector<uint32_t> frames[kContentCount];
    if (frames[content].empty())
        frames[content] = makeFrame(content);
    return frames[content];
}

std::vector<uint32_t>& outputFrame()
{
    static std::vector<uint32_t> out(kPixels);
    return out;
}

// A clip's frames do not sit in the cache: each one arrives from memory. A ring of
// distinct natural frames and outputs, larger together than a last-level cache, times
// the pass and the memcpy the way a clip streams through them.
constexpr int kRingFrames = 8;   // 8 x 2 x 8 MB = 128 MB

struct FrameRing {
    std::vector<uint32_t> in[kRingFrames];
    std::vector<uint32_t> out[kRingFrames];
};

FrameRing& ring()
{
    static FrameRing r = [] {
        FrameRing made;
        for (int i = 0; i < kRingFrames; ++i) {
            made.in[i] = makeFrame(kNatural, static_cast<unsigned>(i) + 1);
            made.out[i].assign(kPixels, 0);
        }
        return made;
    }();
    return r;
}

BitmapView viewOf(const std::vector<uint32_t>& frame)
{
    return {const_cast<uint32_t*>(frame.data()), kWidth, kHeight, 0};
}

// A record whose table is a real stretch (16..235 onto 0..255), as after a few frames.
LevelsInstance levelledInstance()
{
    LevelsInstance inst;
    std::memset(&inst, 0, sizeof inst);
    resetToDefaults(inst);
    inst.blackPoint = 16;
    inst.whitePoint = 235;
    inst.tracking   = 1;
    levels::buildLevelTable(inst);
    return inst;
}

// The extended record over the same stretch, with the natural frame as the one before:
// with cuts on, each frame is compared with it.
extras::Instance extendedInstance(const extras::Options& options)
{
    extras::Instance x;
    std::memset(&x, 0, sizeof x);
    extras::setDefaults(x);
    x.record = levelledInstance();
    x.options = options;
    x.running.black = x.record.blackPoint * extras::kPointScale;
    x.running.white = x.record.whitePoint * extras::kPointScale;
    const BitmapView natural = viewOf(frameOf(kNatural));
    levels::countFrame(natural, x.record.levelTable, x.running.previous);
    x.running.previousSamples = levels::sampleCount(natural);
    x.running.havePrevious = 1;
    return x;
}

// The natural frame 50 levels darker, 48 levels from it on average: always a cut. Its
// grain is kept, so that the pass costs as much on it as on the natural frame (halving
// the levels would halve the grain and make it a fifth cheaper).
const std::vector<uint32_t>& darkenedNatural()
{
    static const std::vector<uint32_t> frame = [] {
        std::vector<uint32_t> made = frameOf(kNatural);
        for (uint32_t& p : made)
            p = rgb(static_cast<int>((p >> 16) & 0xFF) - 50, static_cast<int>((p >> 8) & 0xFF) - 50,
                    static_cast<int>(p & 0xFF) - 50);
        return made;
    }();
    return frame;
}

void setFrameCounters(benchmark::State& state)
{
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kPixels * 4));
    state.counters["Mpixel/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * kPixels / 1e6,
                                                    benchmark::Counter::kIsRate);
}

void BM_Memcpy(benchmark::State& state)
{
    const std::vector<uint32_t>& in = frameOf(kNatural);
    std::vector<uint32_t>& out = outputFrame();
    for (auto _ : state) {
        std::memcpy(out.data(), in.data(), kPixels * 4);
        benchmark::ClobberMemory();
    }
    setFrameCounters(state);
}

void BM_LevelFrame(benchmark::State& state)
{
    const Content content = static_cast<Content>(state.range(0));
    const BitmapView src = viewOf(frameOf(content));
    const BitmapView dst = viewOf(outputFrame());
    const LevelsInstance start = levelledInstance();
    LevelsInstance inst = start;
    for (auto _ : state) {
        // The points follow the frame; every frame starts from the same real stretch.
        inst = start;
        levelFrame(src, dst, inst);
        benchmark::ClobberMemory();
    }
    state.SetLabel(kContentNames[content]);
    setFrameCounters(state);
}

// The natural frame through extras::levelFrame, 25 frames a second, from the same
// start each time. Cuts on: the same frame again is never a cut.
void timeExtendedFrame(benchmark::State& state, const extras::Instance& start)
{
    const BitmapView src = viewOf(frameOf(kNatural));
    const BitmapView dst = viewOf(outputFrame());
    extras::Instance x = start;
    for (auto _ : state) {
        x = start;
        benchmark::DoNotOptimize(extras::levelWithExtras(src, dst, x, 0.04));
        benchmark::ClobberMemory();
    }
    state.SetLabel("natural");
    setFrameCounters(state);
}

// The options at their defaults but for cuts and a follow time.
extras::Options optionsWith(int32_t cuts, double followTime)
{
    extras::Instance x;
    extras::setDefaults(x);
    x.options.cuts = cuts;
    x.options.followTime = followTime;
    return x.options;
}

// From the same start as BM_LevelFrame.
void BM_CutsOn(benchmark::State& state)
{
    timeExtendedFrame(state, extendedInstance(optionsWith(1, 0)));
}

void BM_FollowTime(benchmark::State& state)
{
    timeExtendedFrame(state, extendedInstance(optionsWith(0, 2)));
}

// The channels levelled apart, each from the points and the table a fresh start on the
// natural frame gives it (with strength 0.5 its tables are no stretch, and the AVX2 pass
// looks them up). Margins of 60 pixels at the top and the bottom are mapped apart.
void timeChannelsApart(benchmark::State& state, double strength, int32_t margin)
{
    extras::Options options = optionsWith(0, 0);
    options.independence = 1;
    options.strength = strength;
    options.margins[extras::kTop] = margin;
    options.margins[extras::kBottom] = margin;
    extras::Instance start = extendedInstance(options);
    extras::prime(viewOf(frameOf(kNatural)), start);
    timeExtendedFrame(state, start);
}

void BM_ChannelsApart(benchmark::State& state)
{
    timeChannelsApart(state, 1, 0);
}

void BM_ChannelsApartWithAll(benchmark::State& state)
{
    timeChannelsApart(state, 0.5, 60);
}

// Margins left out of the count, with the options otherwise at their defaults: a
// letterboxed 2.39:1 picture (140 rows above and below) and a pillarboxed 4:3 one (240
// columns each side), each counting about three quarters of the frame.
void timeMargins(benchmark::State& state, int32_t top, int32_t side)
{
    extras::Options options = optionsWith(0, 0);
    options.margins[extras::kTop] = options.margins[extras::kBottom] = top;
    options.margins[extras::kLeft] = options.margins[extras::kRight] = side;
    timeExtendedFrame(state, extendedInstance(options));
}

void BM_MarginsTopBottom(benchmark::State& state)
{
    timeMargins(state, 140, 0);
}

void BM_MarginsSides(benchmark::State& state)
{
    timeMargins(state, 0, 240);
}

// Every frame a cut: the natural frame and its darkened copy in turn, each counted and
// mapped, then mapped again with the table it snaps to.
void BM_CutFrame(benchmark::State& state)
{
    const BitmapView frames[2] = {viewOf(frameOf(kNatural)), viewOf(darkenedNatural())};
    const BitmapView dst = viewOf(outputFrame());
    extras::Instance x = extendedInstance(optionsWith(1, 0));
    int i = 1;
    int64_t cuts = 0;
    for (auto _ : state) {
        cuts += extras::levelWithExtras(frames[i], dst, x, 0.04).fresh ? 1 : 0;
        benchmark::ClobberMemory();
        i ^= 1;
    }
    if (cuts != static_cast<int64_t>(state.iterations()))
        state.SkipWithError("a frame was not a cut");
    state.SetLabel("natural");
    setFrameCounters(state);
}

// One pixel pass on its own, without the per-frame work around it.
void timePixelPass(benchmark::State& state,
                   void (*pass)(const BitmapView&, const BitmapView&, const int32_t*, Histogram&))
{
    const Content content = static_cast<Content>(state.range(0));
    const BitmapView src = viewOf(frameOf(content));
    const BitmapView dst = viewOf(outputFrame());
    const LevelsInstance inst = levelledInstance();
    for (auto _ : state) {
        Histogram hist = {};
        pass(src, dst, inst.levelTable, hist);
        benchmark::DoNotOptimize(hist);
        benchmark::ClobberMemory();
    }
    state.SetLabel(kContentNames[content]);
    setFrameCounters(state);
}

// Only the counting, plain, one read-modify-write of the shared histogram per sample:
// what counting costs where no window of levels holds a block's samples (noise).
void BM_CountOnly(benchmark::State& state)
{
    const Content content = static_cast<Content>(state.range(0));
    const uint32_t* const src = frameOf(content).data();
    for (auto _ : state) {
        Histogram hist = {};
        for (size_t i = 0; i < kPixels; ++i) {
            const uint32_t p = src[i];
            ++hist[(p >> 16) & 0xFF];
            ++hist[(p >> 8) & 0xFF];
            ++hist[p & 0xFF];
        }
        benchmark::DoNotOptimize(hist);
        benchmark::ClobberMemory();
    }
    state.SetLabel(kContentNames[content]);
    setFrameCounters(state);
}

// Mapping alone, nothing counted: the second pass over a cut frame.
void BM_MapOnly(benchmark::State& state)
{
    const Content content = static_cast<Content>(state.range(0));
    const BitmapView src = viewOf(frameOf(content));
    const BitmapView dst = viewOf(outputFrame());
    const LevelsInstance inst = levelledInstance();
    for (auto _ : state) {
        levels::mapFrame(src, dst, inst.levelTable, false);
        benchmark::ClobberMemory();
    }
    state.SetLabel(kContentNames[content]);
    setFrameCounters(state);
}

void BM_MemcpyStreamed(benchmark::State& state)
{
    FrameRing& r = ring();
    int i = 0;
    for (auto _ : state) {
        std::memcpy(r.out[i].data(), r.in[i].data(), kPixels * 4);
        benchmark::ClobberMemory();
        i = (i + 1) % kRingFrames;
    }
    setFrameCounters(state);
}

void BM_LevelFrameStreamed(benchmark::State& state)
{
    FrameRing& r = ring();
    const LevelsInstance start = levelledInstance();
    LevelsInstance inst = start;
    int i = 0;
    for (auto _ : state) {
        inst = start;
        levelFrame(viewOf(r.in[i]), viewOf(r.out[i]), inst);
        benchmark::ClobberMemory();
        i = (i + 1) % kRingFrames;
    }
    state.SetLabel("natural");
    setFrameCounters(state);
}

#if RANGEWICK_BENCH_FREI0R
// A frame of the frei0r module as a host hands it over, the natural one at 25 frames a
// second: the pass, alpha put back, and the module's own work. Held to BM_LevelFrame.
void BM_Frei0rUpdate(benchmark::State& state)
{
    const std::unique_ptr<frei0r::LevelsFilter> filter(frei0r::LevelsFilter::create(kWidth, kHeight, frei0r::TimeUnit::Milliseconds));
    const std::vector<uint32_t>& in = frameOf(kNatural);
    std::vector<uint32_t>& out = outputFrame();
    double ms = 0;
    filter->update(ms, in.data(), out.data());   // the first frame primes
    for (auto _ : state) {
        ms += 40;
        filter->update(ms, in.data(), out.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel("natural");
    setFrameCounters(state);
}
#endif

void contents(benchmark::internal::Benchmark* b)
{
    b->ArgName("content");
    for (int c = 0; c < kContentCount; ++c)
        b->Arg(c);
}

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LevelFrame)->Apply(contents)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CountOnly)->Arg(kNoise)->Arg(kNatural)->ArgName("content")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MapOnly)->Arg(kNoise)->Arg(kNatural)->ArgName("content")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CutsOn)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CutFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FollowTime)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ChannelsApart)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ChannelsApartWithAll)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MarginsTopBottom)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MarginsSides)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MemcpyStreamed)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LevelFrameStreamed)->Unit(benchmark::kMicrosecond);
#if RANGEWICK_BENCH_FREI0R
BENCHMARK(BM_Frei0rUpdate)->Unit(benchmark::kMicrosecond);
#endif

// The fastest repetitions as ratios and against their limits.
class RatioReporter : public FastestRuns {
public:
    RatioReporter() : FastestRuns(true) {}

    // The summary: per content, levelFrame and every pixel pass as a multiple of the
    // memcpy, then each pass against its limits. Returns false when the figures
    // needed are missing.
    bool PrintSummary(const std::string& levelFramePass, const std::vector<std::string>& passes) const
    {
        const double memcpyTime = fastest("BM_Memcpy/");
        if (memcpyTime <= 0) {
            std::printf("\nno memcpy measurement in this run: no ratios\n");
            return false;
        }
        std::printf("\nmultiples of a memcpy of the same frame (%.0f us), fastest repetition of each\n", memcpyTime);
        std::printf("%-12s %14s", "content", ("levelFrame:" + levelFramePass).c_str());
        for (const std::string& pass : passes)
            std::printf(" %10s", pass.c_str());
        std::printf(" %10s %10s\n", "count-only", "map-only");
        for (const char* content : kContentNames) {
            std::printf("%-12s %14s", content, ratio(fastest(std::string("BM_LevelFrame/") + content), memcpyTime).c_str());
            for (const std::string& pass : passes)
                std::printf(" %10s", ratio(fastest("BM_Pass_" + pass + "/" + content), memcpyTime).c_str());
            std::printf(" %10s", ratio(fastest(std::string("BM_CountOnly/") + content), memcpyTime).c_str());
            std::printf(" %10s\n", ratio(fastest(std::string("BM_MapOnly/") + content), memcpyTime).c_str());
        }
        const double frei0rTime = fastest("BM_Frei0rUpdate/natural");
        const double levelTime = fastest("BM_LevelFrame/natural");
        std::printf("\n");
        if (frei0rTime > 0 && levelTime > 0)
            std::printf("frei0r update, natural content: %.2f x levelFrame (limit 1.1)  %s\n", frei0rTime / levelTime,
                        frei0rTime / levelTime <= 1.1 ? "ok" : "OVER");
        printAgainstLevelFrame("cuts on, natural content, no cut found", fastest("BM_CutsOn/natural"), levelTime, 1.05);
        printAgainstLevelFrame("a cut frame (natural and darkened in turn), mapped again", fastest("BM_CutFrame/natural"),
                               levelTime, 2);
        printAgainstLevelFrame("follow time 2 s at 25 fps, natural content", fastest("BM_FollowTime/natural"), levelTime,
                               0);
        printAgainstLevelFrame("independence 1, natural content", fastest("BM_ChannelsApart/natural"), levelTime, 1.1);
        printAgainstLevelFrame("independence 1, strength 0.5, margins 60,0,60,0, natural content",
                               fastest("BM_ChannelsApartWithAll/natural"), levelTime, 1.1);
        printAgainstLevelFrame("margins 140,0,140,0 (letterbox), natural content", fastest("BM_MarginsTopBottom/natural"),
                               levelTime, 1.1);
        printAgainstLevelFrame("margins 0,240,0,240 (pillarbox), natural content", fastest("BM_MarginsSides/natural"),
                               levelTime, 1.1);

        std::printf("\n");
        for (const std::string& pass : passes)
            printLimits(pass, "BM_Pass_" + pass + "/", memcpyTime);
        printLimits("levelFrame (" + levelFramePass + ")", "BM_LevelFrame/", memcpyTime);

        const double streamedCopy = fastest("BM_MemcpyStreamed/");
        const double streamedPass = fastest("BM_LevelFrameStreamed/natural");
        if (streamedCopy > 0 && streamedPass > 0)
            std::printf("levelFrame, natural frames streamed from memory: %.2f x memcpy of them\n",
                        streamedPass / streamedCopy);
        return true;
    }

private:
    static std::string ratio(double time, double memcpyTime)
    {
        if (time <= 0)
            return "-";
        char text[32];
        std::snprintf(text, sizeof text, "%.2f", time / memcpyTime);
        return text;
    }

    // An extended frame as a multiple of levelFrame's on natural content (limit 0: none).
    static void printAgainstLevelFrame(const char* what, double time, double levelTime, double limit)
    {
        if (time <= 0 || levelTime <= 0)
            return;
        std::printf("extended levelFrame, %s: %.2f x levelFrame", what, time / levelTime);
        if (limit > 0)
            std::printf(" (limit %g)  %s", limit, time <= limit * levelTime ? "ok" : "OVER");
        std::printf("\n");
    }

    // One line per pass: its figures against the limits for its kind.
    void printLimits(const std::string& title, const std::string& prefix, double memcpyTime) const
    {
        const double natural = fastest(prefix + "natural");
        if (natural <= 0)
            return;
        double worstOther = 0, worstAll = 0;
        std::string worstOtherName, worstAllName;
        for (int c = 0; c < kContentCount; ++c) {
            const double t = fastest(prefix + kContentNames[c]);
            if (c != kNoise && c != kNatural && t > worstOther) {
                worstOther = t;
                worstOtherName = kContentNames[c];
            }
            if (t > worstAll) {
                worstAll = t;
                worstAllName = kContentNames[c];
            }
        }
        const auto verdict = [](bool ok) { return ok ? "ok" : "OVER"; };
        std::printf("%s: natural %.2f x memcpy", title.c_str(), natural / memcpyTime);
        if (title == "plain") {
            std::printf("\n");
            return;
        }
        if (title == "portable") {
            std::printf("; worst (%s) %.2f x natural (limit 1.1: %s)\n", worstAllName.c_str(), worstAll / natural,
                        verdict(worstAll <= 1.1 * natural));
            return;
        }
        std::printf(" (limit 7: %s); worst of flat, bars, grain (%s) %.2f x natural (limit 1: %s)",
                    verdict(natural <= 7 * memcpyTime), worstOtherName.c_str(), worstOther / natural,
                    verdict(worstOther <= natural));
        const double noise = fastest(prefix + "noise"), countOnly = fastest("BM_CountOnly/noise");
        if (noise > 0 && countOnly > 0)
            std::printf("; noise %.2f x its counting alone (limit 1.1: %s)", noise / countOnly,
                        verdict(noise <= 1.1 * countOnly));
        std::printf("\n");
    }
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    for (int c = 0; c < kContentCount; ++c)
        frameOf(static_cast<Content>(c)); // made before any timing starts
    darkenedNatural();
    ring();
    // Every pass this processor runs, each on its own.
    std::vector<std::string> passes;
    for (int i = 0; i < levels::kPassCount; ++i) {
        const levels::Pass pass = static_cast<levels::Pass>(i);
        const levels::PixelPass function = levels::kernelsOf(pass).mapAndCount;
        if (function == nullptr)
            continue;
        passes.push_back(levels::passName(pass));
        benchmark::RegisterBenchmark(("BM_Pass_" + passes.back()).c_str(),
                                     [function](benchmark::State& state) { timePixelPass(state, function); })
            ->Apply(contents)
            ->Unit(benchmark::kMicrosecond);
    }
    const char* const forced = std::getenv(levels::kPassVariable);
    std::printf("levelFrame uses the pass %s\n", levels::describePass(levels::chosenPass(), forced).c_str());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintSummary(levels::passName(levels::chosenPass().pass), passes);
    benchmark::Shutdown();
    return 0;
}
