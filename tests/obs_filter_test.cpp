// The OBS filter in a headless libobs, as OBS runs it: the module loaded from the build
// with its locale, frames made from photographs shown one OBS frame after another, and
// every frame the filter draws held to what the command-line tool gives for the same
// frames with the same settings, byte for byte.
#include "build_path.h"
#include "obs_session.h"
#include "photo_clips.h"
#include "process_run.h"

#include <gtest/gtest.h>
#include <obs.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using clips::Clip;
using obs_test::Frame;
using obs_test::Session;
using obs_test::SourceRef;

constexpr uint32_t    kFps = 30;
constexpr const char* kFilterId = "rangewick_filter";
constexpr const char* kBusy = "every run missed an OBS frame: the machine is too busy";

// libobs starts once a process: one session for every test, with the module loaded.
struct ObsEnvironment : ::testing::Environment {
    std::unique_ptr<Session> session;
    std::string              loadError;

    void SetUp() override
    {
        session = std::make_unique<Session>(testFile("obs_home"), kFps);
        if (session->unavailable().empty() && session->openModule(RANGEWICK_OBS_MODULE, RANGEWICK_OBS_DATA, loadError))
            session->finishLoading();
    }
    void TearDown() override
    {
        const bool ran = session->unavailable().empty();
        session.reset();
        if (ran) {
            EXPECT_EQ(Session::allocationsLeftAtShutdown(), 0) << "libobs allocations left after shutdown";
        }
    }
};
auto* const env = static_cast<ObsEnvironment*>(::testing::AddGlobalTestEnvironment(new ObsEnvironment));

#define REQUIRE_OBS()                                                                                         \
    if (!env->session->unavailable().empty())                                                                 \
        GTEST_SKIP() << "cannot start a headless OBS: " << env->session->unavailable();                     \
    ASSERT_EQ(env->loadError, "")

Session& obs()
{
    return *env->session;
}

// Frames of a camera drifting over a photograph whose black and white points drift too.
Clip drifting(const char* photo, int32_t w, int32_t h, int frames, double lo0, double lo1, double hi0, double hi1)
{
    const clips::Picture pic = clips::loadPhoto(photo, 2 * w, 2 * h);
    if (pic.px.empty())
        return Clip{w, h, {}};
    Clip c = clips::camera(pic, w, h, frames, [](double t, double& x, double& y, double& s) { x = 60 * t, y = 30 * t, s = 1.5; });
    clips::eachSample(c, [&](double v, std::size_t i) {
        const double t = static_cast<double>(i) / (frames - 1), lo = lo0 + (lo1 - lo0) * t, hi = hi0 + (hi1 - hi0) * t;
        return lo + v * (hi - lo) / 255;
    });
    return c;
}

#define REQUIRE_FRAMES(clip)                                                                                  \
    ASSERT_FALSE((clip).px.empty()) << "cannot decode the photographs with ffmpeg (scripts/deps obs installs them)"

// The tool's output for the frames, with these options and the session's frame rate.
Clip tool(const Clip& in, std::vector<std::string> options)
{
    options.insert(options.begin(), {"--size", std::to_string(in.w) + "x" + std::to_string(in.h), "--rate", std::to_string(kFps)});
    // A file of this test's own: the tests run side by side.
    const std::string scratch = testFile(std::string("obs_tool_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    const process::Result r = process::run(buildPath(RANGEWICK_EXE), options,
                                           std::string(reinterpret_cast<const char*>(in.px.data()), in.px.size() * 4), scratch);
    Clip out{in.w, in.h, {}};
    EXPECT_EQ(r.status, 0) << r.err;
    if (r.status == 0 && r.out.size() == in.px.size() * 4) {
        out.px.resize(in.px.size());
        std::memcpy(out.px.data(), r.out.data(), r.out.size());
    }
    return out;
}

// Where the filter's frames first differ from the tool's (frames `from` on), or "".
std::string firstDifference(const std::vector<Frame>& got, const Clip& want, std::size_t from = 0)
{
    for (std::size_t f = from; f < want.frames(); ++f) {
        const Frame& g = got.at(f);
        if (g.w != want.w || g.h != want.h)
            return "frame " + std::to_string(f) + " drawn at " + std::to_string(g.w) + "x" + std::to_string(g.h);
        for (std::size_t i = 0; i < want.framePixels(); ++i)
            if (g.px[i] != want.frame(f)[i]) {
                char text[128];
                const auto w = static_cast<std::size_t>(want.w);
                std::snprintf(text, sizeof text, "frame %zu, pixel (%zu, %zu): filter 0x%06x, tool 0x%06x", f, i % w,
                              i / w, g.px[i], want.frame(f)[i]);
                return text;
            }
    }
    return "";
}

// A source of ours with the filter on it, made with these settings (JSON).
struct Filtered {
    SourceRef input, filter;
    explicit Filtered(const char* settings, SourceRef loaded = SourceRef()) : input(obs().createFrameSource()), filter(std::move(loaded))
    {
        if (!filter.get()) {
            obs_data_t* data = obs_data_create_from_json(settings);
            filter = SourceRef(obs_source_create_private(kFilterId, "levels", data));
            obs_data_release(data);
        }
        obs_source_filter_add(input.get(), filter.get());
    }
};

// How a frame is shown: after a pause of some OBS frames, with something done at the
// start of its OBS frame.
struct Step {
    int                   after = 0;
    std::function<void()> atStart;
};

// Shows the frames one OBS frame after another and reads back what the filter draws;
// `before(i)` runs before frame i is handed over and says how it is shown.
template <class Before>
std::vector<Frame> play(obs_source_t* input, const Clip& clip, Before before)
{
    std::vector<Frame> out;
    for (std::size_t i = 0; i < clip.frames(); ++i) {
        Step step = before(i);
        obs().nextFrame(input, clip.frame(i), clip.w, clip.h, step.after, std::move(step.atStart));
        out.push_back(obs().render(input));
    }
    return out;
}

std::vector<Frame> play(obs_source_t* input, const Clip& clip)
{
    return play(input, clip, [](std::size_t) { return Step(); });
}

TEST(ObsFilterModule, IsListedAsAVideoFilterNamedFromItsLocale)
{
    REQUIRE_OBS();
    const char* id = nullptr;
    bool listed = false;
    for (std::size_t i = 0; obs_enum_filter_types(i, &id); ++i)
        listed = listed || std::strcmp(id, kFilterId) == 0;
    ASSERT_TRUE(listed) << kFilterId << " is not among the filter types";
    EXPECT_STREQ(obs_source_get_display_name(kFilterId), "Automatic Levels (rangewick)");
    EXPECT_TRUE(obs_get_source_output_flags(kFilterId) & OBS_SOURCE_VIDEO);
}

TEST(ObsFilterLevels, EveryFrameAsTheToolWithDefaultSettings)
{
    REQUIRE_OBS();
    // The points move further than the follow time lets them in a frame: followed over
    // OBS's frame times, they take the tool's course at --rate.
    Clip clip = drifting(clips::kFlowers, 480, 270, 6, 10, 20, 250, 240);
    clip.append(drifting(clips::kFlowers, 480, 270, 14, 80, 70, 190, 180));
    REQUIRE_FRAMES(clip);
    std::vector<Frame> got;
    ASSERT_TRUE(obs_test::wholeRun(obs(), [&] { got = play(Filtered("{}").input.get(), clip); })) << kBusy;
    EXPECT_EQ(firstDifference(got, tool(clip, {"--follow-time", "2"})), "");
}

// Every extra on, with a cut in the frames, at an odd size; and the same once more with
// the filter saved as OBS saves a scene collection and loaded back.
TEST(ObsFilterLevels, EveryFrameAsTheToolWithEveryExtraAlsoOnceSavedAndLoaded)
{
    REQUIRE_OBS();
    const char* settings = R"({"highlight_clip": 0.29, "shadow_clip": 2.5, "highlights_min": 100, "shadows_max": 150,
        "follow_time": 1.0, "cuts": true, "independence": 60, "strength": 70,
        "margin_top": 10, "margin_right": 20, "margin_bottom": 6, "margin_left": 4})";
    Clip clip = drifting(clips::kFlowers, 333, 187, 10, 60, 30, 150, 220);
    clip.append(drifting(clips::kRoom, 333, 187, 10, 20, 50, 240, 200));
    REQUIRE_FRAMES(clip);
    const Clip want = tool(clip, {"--highlight-clip", "0.29", "--shadow-clip", "2.5", "--highlights-min", "100",
                                  "--shadows-max", "150", "--follow-time", "1", "--cuts", "--independence", "0.6",
                                  "--strength", "0.7", "--margins", "10,20,6,4"});
    std::vector<Frame> got;
    std::string saved;
    ASSERT_TRUE(obs_test::wholeRun(obs(), [&] {
        Filtered f(settings);
        got = play(f.input.get(), clip);
        obs_data_t* data = obs_save_source(f.filter.get());
        saved = obs_data_get_json(data);
        obs_data_release(data);
    })) << kBusy;
    EXPECT_EQ(firstDifference(got, want), "");

    ASSERT_TRUE(obs_test::wholeRun(obs(), [&] {
        obs_data_t* data = obs_data_create_from_json(saved.c_str());
        Filtered f("", SourceRef(obs_load_source(data)));
        obs_data_release(data);
        obs_data_t* expected = obs_data_create_from_json(settings);
        obs_data_t* loaded = obs_source_get_settings(f.filter.get());
        for (obs_data_item_t* item = obs_data_first(expected); item; obs_data_item_next(&item)) {
            const char* key = obs_data_item_get_name(item);
            EXPECT_EQ(obs_data_get_double(loaded, key), obs_data_get_double(expected, key)) << key;
            EXPECT_EQ(obs_data_get_bool(loaded, key), obs_data_get_bool(expected, key)) << key;
        }
        obs_data_release(loaded);
        obs_data_release(expected);
        got = play(f.input.get(), clip);
    })) << kBusy;
    EXPECT_EQ(firstDifference(got, want), "") << "loaded from " << saved;
}

// Frames whose points drift faster than one level a frame (the follow time 0), so that a
// fresh start and one that goes on differ; the interruption comes before frame kAt.
constexpr std::size_t kAt = 10;

Clip laggingFrames()
{
    return drifting(clips::kFlowers, 320, 180, 15, 20, 70, 180, 250);
}

// What the frames from kAt on must come out as: the tool's output of them alone (a fresh
// start) or as part of the whole run.
Clip afterInterruption(const Clip& clip, bool fresh, std::vector<std::string> options)
{
    const Clip whole = tool(clip, options), alone = tool(clip.part(kAt, clip.frames() - kAt), options);
    EXPECT_NE(whole.part(kAt, 1).px, alone.part(0, 1).px) << "these frames cannot tell a fresh start";
    Clip want = whole;
    if (fresh)
        std::copy(alone.px.begin(), alone.px.end(), want.frame(kAt));
    return want;
}

TEST(ObsFilterStartsAfresh, WhenItsSceneComesBackOnTheProgramWithCutsOnly)
{
    REQUIRE_OBS();
    const Clip clip = laggingFrames();
    REQUIRE_FRAMES(clip);
    for (const bool cuts : {true, false}) {
        SCOPED_TRACE(cuts ? "cuts on: starts afresh" : "cuts off: goes on");
        std::vector<Frame> got;
        ASSERT_TRUE(obs_test::wholeRun(obs(), [&] {
            Filtered f(cuts ? R"({"follow_time": 0, "cuts": true})" : R"({"follow_time": 0})");
            obs_scene_t* shown = obs_scene_create_private("shown");
            obs_scene_t* other = obs_scene_create_private("other");
            obs_scene_add(shown, f.input.get());
            obs_set_output_source(0, obs_scene_get_source(shown));
            const auto show = [](obs_scene_t* scene) { return [scene] { obs_set_output_source(0, obs_scene_get_source(scene)); }; };
            got = play(f.input.get(), clip, [&](std::size_t i) {
                if (i != kAt)
                    return Step();
                // Away for a few frames (well under the half second after which the filter
                // starts afresh anyway), frame kAt shown meanwhile; back for it.
                obs().nextFrame(f.input.get(), clip.frame(i), clip.w, clip.h, 0, show(other));
                return Step{3, show(shown)};
            });
            obs_set_output_source(0, nullptr);
            obs_scene_release(shown);
            obs_scene_release(other);
        })) << kBusy;
        const Clip want = afterInterruption(clip, cuts, cuts ? std::vector<std::string>{"--cuts"} : std::vector<std::string>{});
        EXPECT_EQ(firstDifference(got, want), "");
    }
}

TEST(ObsFilterStartsAfresh, AfterHalfASecondUnrenderedOnly)
{
    REQUIRE_OBS();
    const Clip clip = laggingFrames();
    REQUIRE_FRAMES(clip);
    for (const int pause : {20, 9}) {   // OBS frames at 30 fps: 0.7 s and 0.33 s
        SCOPED_TRACE("a pause of " + std::to_string(pause) + " frames");
        std::vector<Frame> got;
        ASSERT_TRUE(obs_test::wholeRun(obs(), [&] {
            got = play(Filtered(R"({"follow_time": 0})").input.get(), clip,
                       [&](std::size_t i) { return Step{i == kAt ? pause : 0, {}}; });
        })) << kBusy;
        EXPECT_EQ(firstDifference(got, afterInterruption(clip, pause > 15, {})), "");
    }
}

// A media source resumed from a pause goes on; one that plays again from its start or
// from an earlier point (a loop, a seek back) starts afresh, with cuts off.
TEST(ObsFilterStartsAfresh, WhenMediaPlaysAgainFromAnEarlierPoint)
{
    REQUIRE_OBS();
    const Clip clip = laggingFrames();
    REQUIRE_FRAMES(clip);
    for (const bool back : {true, false}) {
        SCOPED_TRACE(back ? "played back from the start" : "paused and resumed");
        std::vector<Frame> got;
        ASSERT_TRUE(obs_test::wholeRun(obs(), [&] {
            Filtered f(R"({"follow_time": 0})");
            obs_source_t* input = f.input.get();
            got = play(input, clip, [&](std::size_t i) {
                const int64_t ms = 1000 + 33 * static_cast<int64_t>(i);
                if (i == kAt && !back)   // a frame paused, then playing on
                    obs().nextFrame(input, clip.frame(i - 1), clip.w, clip.h, 0,
                                    [=] { Session::setMedia(input, OBS_MEDIA_STATE_PAUSED, ms - 33); });
                const bool again = i >= kAt && back;
                return Step{0, [=] { Session::setMedia(input, OBS_MEDIA_STATE_PLAYING, again ? ms - 1000 : ms); }};
            });
        })) << kBusy;
        EXPECT_EQ(firstDifference(got, afterInterruption(clip, back, {})), "");
    }
}

} // namespace
