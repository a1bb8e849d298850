// The built frei0r module as a host loads it: dlopen for rangewick.so, LoadLibrary
// under Wine for the Windows rangewick.dll, every entry point found by its name. Frames
// are checked against the engine run here, primed and followed as the command-line
// tool levels a stream, with the input's alpha.
#include "extras/extras.h"
#include "frame_levelling.h"
#include "levels_filter.h"
#include "levels_instance.h"
#include "parameters.h"
#include "settings.h"

#include "build_path.h"

extern "C" {
#include <frei0r.h>
}

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#ifndef RANGEWICK_FREI0R_MODULE
#error "RANGEWICK_FREI0R_MODULE names the module under test"
#endif

namespace {

// ---- the module, loaded once as a host loads it --------------------------------------

struct Frei0rModule {
    int (*init)();
    void (*deinit)();
    void (*pluginInfo)(f0r_plugin_info_t*);
    void (*paramInfo)(f0r_param_info_t*, int);
    f0r_instance_t (*construct)(unsigned, unsigned);
    void (*destruct)(f0r_instance_t);
    void (*setParam)(f0r_instance_t, f0r_param_t, int);
    void (*getParam)(f0r_instance_t, f0r_param_t, int);
    void (*update)(f0r_instance_t, double, const uint32_t*, uint32_t*);
    void (*update2)(f0r_instance_t, double, const uint32_t*, const uint32_t*, const uint32_t*, uint32_t*);
    bool loaded = false;
    int initResult = 0;

    Frei0rModule()
    {
        const std::string path = buildPath(RANGEWICK_FREI0R_MODULE);
#ifdef _WIN32
        HMODULE dll = LoadLibraryA(path.c_str());
        const auto find = [dll](const char* name) {
            return dll ? reinterpret_cast<void*>(GetProcAddress(dll, name)) : nullptr;
        };
#else
        void* so = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        const auto find = [so](const char* name) { return so ? dlsym(so, name) : nullptr; };
#endif
        loaded = true;
        const auto bind = [&](auto& fn, const char* name) {
            void* p = find(name);
            loaded = loaded && p != nullptr;
            fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(p);
        };
        bind(init, "f0r_init");
        bind(deinit, "f0r_deinit");
        bind(pluginInfo, "f0r_get_plugin_info");
        bind(paramInfo, "f0r_get_param_info");
        bind(construct, "f0r_construct");
        bind(destruct, "f0r_destruct");
        bind(setParam, "f0r_set_param_value");
        bind(getParam, "f0r_get_param_value");
        bind(update, "f0r_update");
        bind(update2, "f0r_update2");
        if (loaded)
            initResult = init();   // once, as frei0r asks
    }
};

const Frei0rModule& module()
{
    static const Frei0rModule m;
    return m;
}

#define ASSERT_MODULE() ASSERT_TRUE(module().loaded) << "cannot load " << buildPath(RANGEWICK_FREI0R_MODULE)

// An instance, destroyed with the test.
class Instance {
public:
    Instance(unsigned w, unsigned h) : handle_(module().construct(w, h)) {}
    ~Instance()
    {
        if (handle_)
            module().destruct(handle_);
    }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    f0r_instance_t handle() const { return handle_; }
    void set(int index, double v) { module().setParam(handle_, &v, index); }
    double get(int index) const
    {
        double v = -7;
        module().getParam(handle_, &v, index);
        return v;
    }
    std::vector<uint32_t> level(double time, const std::vector<uint32_t>& frame)
    {
        std::vector<uint32_t> out(frame.size(), 0xDEADBEEFu);
        module().update(handle_, time, frame.data(), out.data());
        return out;
    }

private:
    f0r_instance_t handle_;
};

// ---- what the module must give ---------------------------------------------------------

// A stream levelled as the command-line tool levels it (the first frame primed by a
// snapping pass), each output pixel with its input pixel's alpha.
class ReferenceStream {
public:
    ReferenceStream(int32_t w, int32_t h, const int32_t stored[settings::kStoredCount], bool previewClipped)
        : w_(w), h_(h)
    {
        resetToDefaults(inst_);
        settings::applyStored(inst_, stored);
        inst_.previewClipped = previewClipped ? 1 : 0;
    }

    std::vector<uint32_t> level(const std::vector<uint32_t>& frame)
    {
        std::vector<uint32_t> out(frame.size());
        const BitmapView src{const_cast<uint32_t*>(frame.data()), w_, h_, 0}, dst{out.data(), w_, h_, 0};
        if (first_) {
            inst_.tracking = 0;
            levelFrame(src, dst, inst_);
            first_ = false;
        }
        levelFrame(src, dst, inst_);
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = (out[i] & 0x00FFFFFFu) | (frame[i] & 0xFF000000u);
        return out;
    }

private:
    int32_t w_, h_;
    LevelsInstance inst_{};
    bool first_ = true;
};

const int32_t kDefaults[settings::kStoredCount] = {settings::kStored[0].initial, settings::kStored[1].initial,
                                                   settings::kStored[2].initial, settings::kStored[3].initial};

ReferenceStream defaultStream(int32_t w, int32_t h)
{
    return ReferenceStream(w, h, kDefaults, false);
}

// Frames whose levels drift from frame to frame, so that the points keep moving; alpha
// differs from pixel to pixel.
std::vector<std::vector<uint32_t>> driftingFrames(int32_t w, int32_t h, int count, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<std::vector<uint32_t>> frames;
    for (int f = 0; f < count; ++f) {
        const uint32_t lo = 20 + (7 * static_cast<uint32_t>(f) + seed) % 60, span = 50 + 9 * static_cast<uint32_t>(f) % 120;
        std::vector<uint32_t> frame(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
        for (uint32_t& p : frame)
            p = (static_cast<uint32_t>(rng()) & 0xFF000000u) | (lo + rng() % span) << 16 | (lo + rng() % span) << 8
              | (lo + rng() % span);
        frames.push_back(frame);
    }
    return frames;
}

// ---- the plug-in as a host lists it ----------------------------------------------------

TEST(Frei0rModule, DescribesTheFilterAndItsParameters)
{
    ASSERT_MODULE();
    EXPECT_EQ(module().initResult, 1);
    f0r_plugin_info_t info{};
    module().pluginInfo(&info);
    EXPECT_STREQ(info.name, "rangewick");
    EXPECT_STREQ(info.author, "Corvalent");
    EXPECT_EQ(info.plugin_type, F0R_PLUGIN_TYPE_FILTER);
    EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_BGRA8888);
    EXPECT_EQ(info.frei0r_version, 1);
    EXPECT_EQ(info.major_version, RANGEWICK_VERSION_MAJOR);
    EXPECT_EQ(info.minor_version, RANGEWICK_VERSION_MINOR);
    EXPECT_EQ(info.num_params, 13);
    ASSERT_NE(info.explanation, nullptr);
    EXPECT_EQ(std::string(info.explanation).find('\n'), std::string::npos);

    // Places are fixed: hosts' saved lists of values depend on them.
    const char* const names[] = {"highlight clip", "shadow clip", "highlights min", "shadows max",
                                 "preview clipped", "cuts", "follow time", "strength", "independence",
                                 "margin top", "margin right", "margin bottom", "margin left"};
    for (int i = 0; i < 13; ++i) {
        f0r_param_info_t p{};
        module().paramInfo(&p, i);
        EXPECT_STREQ(p.name, names[i]);
        EXPECT_EQ(p.type, i == 4 || i == 5 ? F0R_PARAM_BOOL : F0R_PARAM_DOUBLE) << names[i];
        EXPECT_NE(p.explanation, nullptr) << names[i];
    }
    for (int i : {-1, 13}) {
        f0r_param_info_t p{"untouched", 99, nullptr};
        module().paramInfo(&p, i);
        EXPECT_STREQ(p.name, "untouched");
    }
}

// ---- parameters ---------------------------------------------------------------------

// Every stored value of every setting: its fraction sets it and reads back unchanged, a
// half above it rounds up, and the readings are those of the setting in use. Values
// out of range are clamped, NaN is ignored, and bools split at 0.5.
TEST(Frei0rParameters, MapOntoTheStoredSettingsBothWays)
{
    ASSERT_MODULE();
    Instance a(16, 8), b(16, 8);
    EXPECT_EQ(a.get(0), 0.0001);
    EXPECT_EQ(a.get(1), 0.01);
    EXPECT_EQ(a.get(2), 64 / 255.0);
    EXPECT_EQ(a.get(3), 192 / 255.0);
    EXPECT_EQ(a.get(4), 0.0);

    for (int i = 0; i < settings::kStoredCount; ++i) {
        const int32_t max = settings::kStored[i].max;
        for (int32_t k = 0; k <= max; ++k) {
            a.set(i, k / static_cast<double>(max));
            ASSERT_EQ(a.get(i), k / static_cast<double>(max)) << "parameter " << i << ", " << k;
            if (k == max)
                break;
            a.set(i, (k + 0.5) / max);
            ASSERT_EQ(a.get(i), (k + 1) / static_cast<double>(max)) << "parameter " << i << ", half above " << k;
        }
        a.set(i, 0.3);
        const double inUse = a.get(i);
        a.set(i, std::nan(""));
        EXPECT_EQ(a.get(i), inUse) << "parameter " << i;
        a.set(i, -0.5);
        EXPECT_EQ(a.get(i), 0.0) << "parameter " << i;
        a.set(i, 1.5);
        EXPECT_EQ(a.get(i), 1.0) << "parameter " << i;
        a.set(i, -std::numeric_limits<double>::infinity());
        EXPECT_EQ(a.get(i), 0.0) << "parameter " << i;
        a.set(i, 1e300);
        EXPECT_EQ(a.get(i), 1.0) << "parameter " << i;
    }
    // Typed decimals: halves of a hundredth of a percent round up, the README's levels map.
    a.set(0, std::strtod("0.00015", nullptr));
    EXPECT_EQ(a.get(0), 0.0002);
    a.set(1, std::strtod("0.01005", nullptr));
    EXPECT_EQ(a.get(1), 0.0101);
    a.set(2, std::strtod("0.25098", nullptr));
    EXPECT_EQ(a.get(2), 64 / 255.0);
    a.set(3, std::strtod("0.75294", nullptr));
    EXPECT_EQ(a.get(3), 192 / 255.0);

    for (int flag : {4, 5})
        for (auto [v, on] : {std::pair{0.49, 0.0}, std::pair{0.5, 1.0}, std::pair{7.0, 1.0}, std::pair{-1.0, 0.0},
                             std::pair{1.0, 1.0}, std::pair{std::nan(""), 1.0}}) {
            a.set(flag, v);
            EXPECT_EQ(a.get(flag), on) << "parameter " << flag << ", " << v;
        }
    // Follow time: value x 100 s to the millisecond, clamped; NaN ignored.
    EXPECT_EQ(a.get(6), 0.0);
    for (auto [v, back] : {std::pair{0.02, 0.02}, std::pair{0.035, 0.035}, std::pair{0.0000049, 0.0},
                           std::pair{0.0000051, 0.00001}, std::pair{-3.0, 0.0}, std::pair{1.5, 1.0},
                           std::pair{std::nan(""), 1.0}}) {
        a.set(6, v);
        EXPECT_EQ(a.get(6), back) << v;
    }
    // Strength and independence as they are, clamped; margins in whole pixels of this
    // 16 x 8 instance's height (top, bottom) and width (right, left), halves up.
    EXPECT_EQ(a.get(7), 1.0);
    EXPECT_EQ(a.get(8), 0.0);
    for (int i : {7, 8})
        for (auto [v, back] : {std::pair{0.25, 0.25}, std::pair{-1.0, 0.0}, std::pair{2.0, 1.0}, std::pair{std::nan(""), 1.0}}) {
            a.set(i, v);
            EXPECT_EQ(a.get(i), back) << "parameter " << i << ", " << v;
        }
    for (auto [i, v, back] : {std::tuple{9, 0.1875, 0.25}, std::tuple{11, 0.0624, 0.0}, std::tuple{10, 0.1875, 0.1875},
                              std::tuple{12, 0.03125, 0.0625}, std::tuple{9, 7.0, 1.0}}) {
        a.set(i, v);
        EXPECT_EQ(a.get(i), back) << "parameter " << i << ", " << v;
    }
    a.set(13, 0.5);   // no such parameter: nothing happens
    EXPECT_EQ(a.get(13), -7.0);
    EXPECT_EQ(b.get(0), 0.0001);   // the other instance kept its own
    EXPECT_EQ(b.get(4), 0.0);
}

// ---- frames ---------------------------------------------------------------------------

// Streams as the three hosts time them, interleaved over instances of odd and even
// sizes (one levelling in place), each equal to the command-line tool's levelling with
// the input's alpha. GStreamer's times are nanoseconds in seconds: steps differ by one.
TEST(Frei0rStream, LevelsLikeTheCommandLineToolKeepingAlpha)
{
    ASSERT_MODULE();
    struct Clock {
        const char* host;
        double (*at)(int frame);
    };
    const Clock clocks[] = {
        {"ffmpeg", [](int f) { return 40.0 * f; }},
        {"MLT", [](int f) { return f / 25.0; }},
        {"GStreamer", [](int f) { return std::round(f * 1001e9 / 30000) / 1e9; }},
    };
    const std::pair<int32_t, int32_t> sizes[] = {{1, 1}, {3, 7}, {13, 5}, {64, 36}};
    for (const Clock& clock : clocks) {
        std::vector<Instance*> instances;
        std::vector<ReferenceStream> references;
        std::vector<std::vector<std::vector<uint32_t>>> frames;
        for (auto [w, h] : sizes) {
            instances.push_back(new Instance(static_cast<unsigned>(w), static_cast<unsigned>(h)));
            ASSERT_NE(instances.back()->handle(), nullptr);
            references.push_back(defaultStream(w, h));
            frames.push_back(driftingFrames(w, h, 12, static_cast<uint32_t>(w * h)));
        }
        for (int f = 0; f < 12; ++f)
            for (std::size_t s = 0; s < instances.size(); ++s) {
                const std::vector<uint32_t> want = references[s].level(frames[s][f]);
                std::vector<uint32_t> got;
                if (s == 3) {   // in place: the output buffer is the input
                    got = frames[s][f];
                    module().update(instances[s]->handle(), clock.at(f), got.data(), got.data());
                } else {
                    got = instances[s]->level(clock.at(f), frames[s][f]);
                }
                ASSERT_EQ(got, want) << clock.host << ", " << sizes[s].first << "x" << sizes[s].second << ", frame " << f;
            }
        for (Instance* i : instances)
            delete i;
    }

    // Settings given before the first frame reach the engine; the second entry point
    // levels as the first.
    Instance inst(16, 16);
    const int32_t stored[] = {500, 1000, 200, 50};
    ReferenceStream reference(16, 16, stored, true);
    const double values[] = {0.05, 0.1, 200 / 255.0, 50 / 255.0, 1.0};
    for (int i = 0; i < 5; ++i)
        inst.set(i, values[i]);
    const auto frames = driftingFrames(16, 16, 4, 3);
    for (int f = 0; f < 4; ++f) {
        std::vector<uint32_t> got(frames[f].size());
        module().update2(inst.handle(), f / 25.0, frames[f].data(), nullptr, nullptr, got.data());
        ASSERT_EQ(got, reference.level(frames[f])) << "frame " << f;
    }
}

// The points following in seconds as the module must move them: primed where the
// stream starts afresh, then moved over each frame's time.
class FollowingReference {
public:
    FollowingReference(int32_t w, int32_t h, double followTime) : w_(w), h_(h), x_(new extras::Instance)
    {
        extras::setDefaults(*x_);
        x_->options.followTime = followTime;
    }

    std::vector<uint32_t> level(const std::vector<uint32_t>& frame, double frameSeconds, bool fresh)
    {
        std::vector<uint32_t> out(frame.size());
        const BitmapView src{const_cast<uint32_t*>(frame.data()), w_, h_, 0}, dst{out.data(), w_, h_, 0};
        if (fresh)
            extras::prime(src, *x_);
        extras::levelWithExtrasKeepingAlpha(src, dst, *x_, frameSeconds);
        return out;
    }

private:
    int32_t w_, h_;
    std::unique_ptr<extras::Instance> x_;
};

// One level a frame moves the points one step at every new frame, whatever its time:
// times of a rate that drops and rises, a pre-roll frame an hour early, one bogus time
// for every frame (ffmpeg 5.1's copied frames), a clock stuck at 0, times that are not
// numbers, and time going back all level as the command-line tool levels the same
// frames. The same time with other pixels is a new frame.
TEST(Frei0rStream, OneLevelAFrameFollowsEveryNewFrameWhateverItsTime)
{
    ASSERT_MODULE();
    const int32_t w = 8, h = 6;
    const double bogus = -9223372036854775808.0 / 25 * 1000;
    const std::vector<std::pair<const char*, std::vector<double>>> clocks = {
        {"30 fps dropping to 15 (ms)", {0, 33, 67, 100, 167, 233, 300, 367, 400, 433, 467, 500}},
        {"pre-roll (s)", {0, 3600, 3600.04, 3600.08, 3600.12, 3600.16, 3600.2, 3600.24, 3600.28, 3600.32, 3600.36, 3600.4}},
        {"one bogus time", std::vector<double>(12, bogus)},
        {"stuck at zero", std::vector<double>(12, 0.0)},
        {"lost and going back (ms)", {0, 40, 80, std::nan(""), 120, 40, 80, HUGE_VAL, 500, 540, 20000, 20040}},
    };
    for (const auto& [what, times] : clocks) {
        const auto frames = driftingFrames(w, h, 12, 5);
        Instance inst(w, h);
        ReferenceStream reference = defaultStream(w, h);
        for (std::size_t f = 0; f < times.size(); ++f)
            ASSERT_EQ(inst.level(times[f], frames[f]), reference.level(frames[f])) << what << ", frame " << f;
    }
}

// Following in seconds, each new frame moves the points over the gap since the last one
// (a dropped frame twice as far); where the times say nothing the last good gap stands,
// or 1/25 s before any. Time going back, or jumping ahead by more than five seconds,
// starts afresh.
TEST(Frei0rStream, FollowingInSecondsTakesTheRealGapsAndSeeksStartAfresh)
{
    ASSERT_MODULE();
    const int32_t w = 8, h = 6;
    const double bogus = -9223372036854775808.0 / 90000 * 1000;
    struct Step {
        double time;            // in milliseconds, as ffmpeg counts
        double frameSeconds;
        bool fresh;
    };
    const Step steps[] = {{0, 0, true},          {33, 0.033, false},    {66, 0.033, false},     {133, 0.067, false},
                          {200, 0.067, false},   {bogus, 0.067, false}, {bogus, 0.067, false},  {233, 0.033, false},
                          {100, 0, true},        {140, 0.04, false},    {9000, 0, true},        {9040, 0.04, false},
                          {9040.5, 0.04, false}, {9080, 0.0395, false}};
    const auto frames = driftingFrames(w, h, 14, 7);
    Instance inst(w, h);
    inst.set(6, 0.01);   // 1 s
    FollowingReference reference(w, h, 1);
    for (std::size_t f = 0; f < std::size(steps); ++f)
        ASSERT_EQ(inst.level(steps[f].time, frames[f]), reference.level(frames[f], steps[f].frameSeconds, steps[f].fresh))
            << "frame " << f << " at " << steps[f].time;

    // Before any good gap: 1/25 s.
    Instance lost(w, h);
    lost.set(6, 0.01);
    FollowingReference fromLost(w, h, 1);
    for (int f = 0; f < 3; ++f)
        ASSERT_EQ(lost.level(bogus, frames[f]), fromLost.level(frames[f], 1.0 / 25, f == 0)) << "frame " << f;
}

// Rates beyond 1 to 240 frames a second in hosts the module knows: 300 fps in ffmpeg's
// milliseconds, a slideshow at 0.2 fps in MLT's seconds.
TEST(Frei0rStream, TheHostsUnitReadsRatesBeyondTheRange)
{
    const int32_t w = 8, h = 6;
    const auto frames = driftingFrames(w, h, 6, 17);
    const struct {
        frei0r::TimeUnit unit;
        double step;
        double seconds;
    } hosts[] = {{frei0r::TimeUnit::Milliseconds, 1000.0 / 300, 1.0 / 300}, {frei0r::TimeUnit::Seconds, 5, 5}};
    for (const auto& host : hosts) {
        const std::unique_ptr<frei0r::LevelsFilter> filter(frei0r::LevelsFilter::create(w, h, host.unit));
        ASSERT_NE(filter, nullptr);
        filter->setParameter(frei0r::kFollowTime, 0.2);   // 20 s: 5 s frames move the points by a quarter
        FollowingReference reference(w, h, 20);
        for (int f = 0; f < 6; ++f) {
            std::vector<uint32_t> got(frames[f].size());
            filter->update(f * host.step, frames[f].data(), got.data());
            ASSERT_EQ(got, reference.level(frames[f], host.seconds, f == 0)) << host.step << " per frame, frame " << f;
        }
    }
}

// The same time again is the same frame rendered again: the same output, and the
// points where they were, so that the frame after comes out as if nothing had been
// repeated. Also for the first frame, whose rendering primes.
TEST(Frei0rStream, TheSameTimeAgainRepeatsTheFrameWithoutMovingThePoints)
{
    ASSERT_MODULE();
    const int32_t w = 12, h = 4;
    const auto frames = driftingFrames(w, h, 5, 9);
    Instance inst(w, h);
    ReferenceStream reference = defaultStream(w, h);
    for (int f = 0; f < 5; ++f) {
        const std::vector<uint32_t> want = reference.level(frames[f]);
        for (int again = 0; again < 3; ++again)
            ASSERT_EQ(inst.level(f / 25.0, frames[f]), want) << "frame " << f << ", rendering " << again;
    }
    // The points are still where the last frame left them: a pause does not creep. At
    // the same time again, other pixels are a new frame.
    const auto more = driftingFrames(w, h, 2, 10);
    EXPECT_EQ(inst.level(5 / 25.0, more[0]), reference.level(more[0]));
    EXPECT_EQ(inst.level(5 / 25.0, more[1]), reference.level(more[1]));
}

// Hosts set every parameter before every frame (MLT does): sets that leave the
// settings as they were change nothing. A real change, the clipped preview included,
// makes the next frame start afresh with it, as the dialog's preview does, also when
// the host renders the same frame again (a paused editor).
TEST(Frei0rParameters, UnchangedSetsChangeNothingAndAChangeStartsAfresh)
{
    ASSERT_MODULE();
    const int32_t w = 16, h = 8;
    const auto frames = driftingFrames(w, h, 8, 21);
    Instance inst(w, h);
    ReferenceStream reference = defaultStream(w, h);
    const double asTyped[] = {0.0001, 0.01, 0.25098, 0.75294, 0.0};
    for (int f = 0; f < 4; ++f) {
        for (int i = 0; i < 5; ++i)
            inst.set(i, asTyped[i] + (f % 2 ? 1e-9 : 0));   // values that round to the same settings
        ASSERT_EQ(inst.level(40.0 * f, frames[f]), reference.level(frames[f])) << "frame " << f;
    }

    const int32_t strongerShadows[] = {1, 500, 64, 192};
    inst.set(1, 0.05);
    reference = ReferenceStream(w, h, strongerShadows, false);
    for (int f = 4; f < 6; ++f)
        ASSERT_EQ(inst.level(40.0 * f, frames[f]), reference.level(frames[f])) << "frame " << f;

    // Paused on frame 5: the preview switched on shows at once, and stays.
    inst.set(4, 1.0);
    ReferenceStream preview(w, h, strongerShadows, true);
    const std::vector<uint32_t> shown = preview.level(frames[5]);
    for (int again = 0; again < 2; ++again)
        ASSERT_EQ(inst.level(40.0 * 5, frames[5]), shown) << "rendering " << again;
    ASSERT_EQ(inst.level(40.0 * 6, frames[6]), preview.level(frames[6]));
}

// A strength changes only the tables, as a keyframed fade in an editor sets it frame
// by frame: at 0 the frames come back as they came, also a frame rendered again, and
// back at 1 the stream is where it would have been, its points having gone on following.
TEST(Frei0rParameters, AChangedStrengthKeepsThePointsFollowing)
{
    ASSERT_MODULE();
    const int32_t w = 16, h = 8;
    const auto frames = driftingFrames(w, h, 8, 23);
    Instance inst(w, h);
    ReferenceStream reference = defaultStream(w, h);
    const auto colour = [](std::vector<uint32_t> v) {
        for (uint32_t& p : v)
            p &= 0x00FFFFFFu;
        return v;
    };
    for (int f = 0; f < 8; ++f) {
        const std::vector<uint32_t> want = reference.level(frames[f]);
        inst.set(7, f >= 3 && f < 6 ? 0.0 : 1.0);
        const std::vector<uint32_t> got = inst.level(40.0 * f, frames[f]);
        if (f >= 3 && f < 6) {
            ASSERT_EQ(colour(got), colour(frames[f])) << "frame " << f;
            ASSERT_EQ(colour(inst.level(40.0 * f, frames[f])), colour(frames[f])) << "frame " << f << " again";
        } else {
            ASSERT_EQ(got, want) << "frame " << f;
        }
    }
}

// Any size from one pixel up; none where there is nothing to level or more samples than
// the engine counts. An instance the host did not get is ignored by every call.
TEST(Frei0rInstances, RefuseSizesThatCannotBeLevelled)
{
    ASSERT_MODULE();
    const unsigned most = static_cast<unsigned>(levels::maxFramePixels());
    const std::pair<unsigned, unsigned> refused[] = {
        {0, 8}, {8, 0}, {0, 0}, {65536, 65536}, {most + 1, 1}, {1, most + 1}, {UINT32_MAX, UINT32_MAX}, {3, most / 2}};
    for (auto [w, h] : refused) {
        const f0r_instance_t inst = module().construct(w, h);
        EXPECT_EQ(inst, nullptr) << w << "x" << h;
        if (inst)
            module().destruct(inst);
    }
    for (auto [w, h] : {std::pair{1u, 1u}, std::pair{most, 1u}, std::pair{1u, most}, std::pair{7u, 9u}}) {
        const f0r_instance_t inst = module().construct(w, h);
        EXPECT_NE(inst, nullptr) << w << "x" << h;
        if (inst)
            module().destruct(inst);
    }

    uint32_t pixel = 0x80402010u, out = 0;
    double value = 0.5;
    module().setParam(nullptr, &value, 0);
    module().getParam(nullptr, &value, 0);
    EXPECT_EQ(value, 0.5);
    module().update(nullptr, 0, &pixel, &out);
    module().update2(nullptr, 0, &pixel, nullptr, nullptr, &out);
    module().destruct(nullptr);
    EXPECT_EQ(out, 0u);
}

} // namespace
