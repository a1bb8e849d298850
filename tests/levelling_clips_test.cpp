// Clips made from real photographs, levelled as the command-line tool levels them (the
// first frame primed): every hard cut is found on its first frame and the frames from
// it on come out as the same frames levelled alone; continuous footage (a camera
// moving, fades, a light, an object moving in, noise, flicker) finds no cut and comes
// out as without cuts; following in seconds takes the same course at 25 and 50 fps.
#include "extras/extras.h"
#include "photo_clips.h"

#include "build_path.h"
#include "process_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#ifndef RANGEWICK_EXE
#error "RANGEWICK_EXE names the rangewick program"
#endif

namespace {

using clips::Clip;
using clips::Picture;

// The photographs, decoded once.
const Picture& flowers()
{
    static const Picture p = clips::loadPhoto(clips::kFlowers, 1134, 756);
    return p;
}
const Picture& room()
{
    static const Picture p = clips::loadPhoto(clips::kRoom, 676, 449);
    return p;
}

#define REQUIRE_PHOTOS()                                                                                      \
    ASSERT_FALSE(flowers().px.empty() || room().px.empty())                                                   \
        << "cannot decode " << clips::kFlowers << " and " << clips::kRoom                                     \
        << " with ffmpeg (scripts/deps test installs libjxl-testdata and ffmpeg)"

struct Levelled {
    Clip                     out;
    std::vector<std::size_t> fresh;    // frames that started afresh, the primed first one too
    std::vector<double>      black;    // points in use after each frame
    std::vector<double>      white;
    std::vector<Detection>   detected;
};

// The clip through the tool's loop: the first frame primed, then each frame levelled.
Levelled level(const Clip& clip, bool cuts, double followTime = 0, double frameSeconds = 0.04)
{
    auto x = std::make_unique<extras::Instance>();
    extras::setDefaults(*x);
    x->options.cuts = cuts ? 1 : 0;
    x->options.followTime = followTime;
    Levelled l;
    l.out = clip;
    for (std::size_t f = 0; f < clip.frames(); ++f) {
        const BitmapView src{const_cast<uint32_t*>(clip.frame(f)), clip.w, clip.h, 0};
        const BitmapView dst{l.out.frame(f), clip.w, clip.h, 0};
        if (f == 0)
            extras::prime(src, *x);
        const extras::FrameResult r = extras::levelWithExtras(src, dst, *x, frameSeconds);
        if (r.fresh || f == 0)
            l.fresh.push_back(f);
        l.detected.push_back(r.detected);
        l.black.push_back(extras::blackInUse(*x));
        l.white.push_back(extras::whiteInUse(*x));
    }
    return l;
}

Clip graded(Clip c, double lo, double hi)
{
    clips::grade(c, lo, hi);
    return c;
}

// A slow pan over a picture, the window `scale` picture pixels per frame pixel.
Clip pan(const Picture& pic, int32_t w, int32_t h, int frames, double x0, double y0, double scale)
{
    return clips::camera(pic, w, h, frames, [&](double t, double& x, double& y, double& s) {
        x = x0 + 40 * t;
        y = y0 + 20 * t;
        s = scale;
    });
}

// The two shots of a cut: different scenes, one scene graded differently, bright to
// dark and dark to bright.
struct Cut {
    const char* name;
    Clip        before, after;
};

std::vector<Cut> cutsAt(int32_t w, int32_t h)
{
    const double fs = 1000.0 / w, rs = 560.0 / w;   // how much of each picture a frame shows
    const Clip fl = pan(flowers(), w, h, 10, 40, 60, fs), rm = pan(room(), w, h, 8, 20, 30, rs);
    return {
        {"flowers to the room", fl, rm},
        {"dim flowers to a washed-out room", graded(fl, 20, 140), graded(rm, 100, 245)},
        {"the flowers, then the same flowers graded darker", fl, graded(pan(flowers(), w, h, 8, 80, 80, fs), 0, 150)},
        {"a bright room to dark flowers", graded(rm, 120, 255), graded(fl, 0, 90)},
        {"dark flowers to a bright room", graded(fl, 0, 90), graded(rm, 120, 255)},
    };
}

TEST(CutsInPhotoClips, FramesFromACutAreLevelledAsTheSameFramesAlone)
{
    REQUIRE_PHOTOS();
    for (auto [w, h] : {std::pair{33, 19}, std::pair{320, 180}, std::pair{1280, 720}})
        for (const Cut& c : cutsAt(w, h)) {
            const std::string where = std::string(c.name) + ", " + std::to_string(w) + "x" + std::to_string(h);
            Clip clip = c.before;
            clip.append(c.after);
            for (double followTime : {0.0, 1.0}) {
                const Levelled all = level(clip, true, followTime), alone = level(c.after, true, followTime);
                EXPECT_EQ(all.fresh, (std::vector<std::size_t>{0, c.before.frames()})) << where;
                EXPECT_TRUE(all.out.part(c.before.frames(), c.after.frames()).px == alone.out.px)
                    << where << ", follow time " << followTime;
            }
            if (w > 320)
                break;   // one cut at the large size is enough to show the size does not matter
        }
}

// Each clip: levelled with cuts on, no frame starts afresh but the first, and every
// frame comes out as without cuts.
TEST(CutsInPhotoClips, ContinuousFootageFindsNoCut)
{
    REQUIRE_PHOTOS();
    const int32_t w = 320, h = 180;
    std::vector<std::pair<const char*, Clip>> footage;
    footage.push_back({"a pan across the flowers", clips::camera(flowers(), w, h, 50, [](double t, double& x, double& y, double& s) {
                           x = 50 + 700 * t, y = 200, s = 1;
                       })});
    footage.push_back({"a fast pan over the whole picture in 2 s", clips::camera(flowers(), w, h, 50, [](double t, double& x, double& y, double& s) {
                           x = 800 * t, y = 100 + 400 * t, s = 1;
                       })});
    footage.push_back({"a zoom into the flowers", clips::camera(flowers(), w, h, 50, [&](double t, double& x, double& y, double& s) {
                           s = 3.4 - 2.8 * t, x = 567 - w * s / 2, y = 378 - h * s / 2;
                       })});
    // Out to black and back in, half a second each way at 24 fps, from a washed-out
    // room and from a picture held near white.
    for (auto [lo, hi] : {std::pair{100.0, 245.0}, std::pair{200.0, 255.0}}) {
        Clip fade = graded(clips::still(room(), w, h, 25), lo, hi);
        clips::eachSample(fade, [](double v, std::size_t i) { return v * (i <= 12 ? 1 - i / 12.0 : (i - 12) / 12.0); });
        footage.push_back({lo == 100 ? "a washed-out room fading out and in" : "a bright picture fading out and in", fade});
    }
    Clip light = clips::still(flowers(), w, h, 13);   // a light brightening over half a second
    clips::eachSample(light, [](double v, std::size_t i) { return v * (1 + 0.6 * i / 12.0); });
    footage.push_back({"a light brightening", light});
    Clip object = clips::still(flowers(), w, h, 11);  // a dark third of the frame moving in over 0.4 s
    const Clip dark = graded(clips::still(room(), w, h, 1), 0, 40);
    for (std::size_t i = 0; i < object.frames(); ++i) {
        const int32_t edge = static_cast<int32_t>(w / 3 * i / 10);
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < edge; ++x)
                object.frame(i)[y * w + x] = dark.px[static_cast<std::size_t>(y * w + x + w / 3 - edge)];
    }
    footage.push_back({"a dark object moving in", object});
    Clip noisy = clips::still(flowers(), w, h, 25);
    clips::addNoise(noisy, 6, 1);
    footage.push_back({"sensor noise", noisy});
    Clip flicker = graded(clips::still(room(), w, h, 25), 30, 200);
    clips::addBlockFlicker(flicker, 3, 2);
    footage.push_back({"compression flicker", flicker});

    for (const auto& [name, clip] : footage) {
        const Levelled with = level(clip, true), without = level(clip, false);
        EXPECT_EQ(with.fresh, std::vector<std::size_t>{0}) << name;
        EXPECT_TRUE(with.out.px == without.out.px) << name;
    }
}

// A washed-out room held for a second, then dim flowers for three: the points follow
// the same course in seconds at 25 and at 50 fps. Compared once both have levelled the
// same stretch of time: frame k at 25 fps against frame 2k + 1 at 50 fps.
TEST(FollowTime, TheSameCourseInSecondsAt25And50Fps)
{
    REQUIRE_PHOTOS();
    const int32_t w = 160, h = 90;
    const Clip a = graded(clips::still(room(), w, h, 1), 100, 245), b = graded(clips::still(flowers(), w, h, 1), 20, 140);
    const auto clipAt = [&](int fps) {
        Clip c{w, h, {}};
        for (int f = 0; f < 4 * fps; ++f)
            c.append(f < fps ? a : b);
        return c;
    };
    for (double followTime : {0.5, 2.0, 7.0}) {
        const Levelled at25 = level(clipAt(25), false, followTime, 1.0 / 25);
        const Levelled at50 = level(clipAt(50), false, followTime, 1.0 / 50);
        bool moved = false;
        for (std::size_t k = 0; k < 100; ++k) {
            ASSERT_NEAR(at25.black[k], at50.black[2 * k + 1], 1.0) << "follow time " << followTime << ", " << k / 25.0 << " s";
            ASSERT_NEAR(at25.white[k], at50.white[2 * k + 1], 1.0) << "follow time " << followTime << ", " << k / 25.0 << " s";
            moved = moved || (k > 25 && at25.black[k] != at25.black[k - 1]);
        }
        EXPECT_TRUE(moved) << followTime;
    }
}

// A washed-out film inside letterbox bars, with a few rows of head-switching noise at
// the bottom: the bars and the noise fill the shadow clip, so without margins the black
// point stays 0. With the margins left out, the picture inside comes out, frame after
// frame, as the same picture cropped to them, also across a cut.
TEST(MarginsInPhotoClips, ALetterboxedFilmIsLevelledAsTheFilmAlone)
{
    REQUIRE_PHOTOS();
    for (auto [w, h, bar, noise] : {std::tuple{320, 240, 30, 6}, std::tuple{161, 121, 15, 3}}) {
        const int32_t filmH = h - 2 * bar;
        Clip film = graded(pan(flowers(), w, filmH, 8, 40, 60, 1000.0 / w), 100, 240);
        film.append(graded(pan(room(), w, filmH, 6, 20, 30, 560.0 / w), 60, 200));
        Clip boxed{w, h, std::vector<uint32_t>(static_cast<std::size_t>(w) * h * film.frames(), 0)};
        std::mt19937 rng(7);
        for (std::size_t f = 0; f < film.frames(); ++f)
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x) {
                    uint32_t& p = boxed.frame(f)[static_cast<std::size_t>(y) * w + x];
                    if (y >= bar && y < h - bar)
                        p = film.frame(f)[static_cast<std::size_t>(y - bar) * w + x];
                    else if (y >= h - noise)
                        p = static_cast<uint32_t>(rng()) & 0x00FFFFFFu;
                }
        const std::string where = std::to_string(w) + "x" + std::to_string(h);
        const Levelled alone = level(film, true);
        const Levelled without = level(boxed, true);
        auto x = std::make_unique<extras::Instance>();
        extras::setDefaults(*x);
        x->options.cuts = 1;
        const int32_t margins[4] = {bar, 0, bar, 0};
        std::copy(margins, margins + 4, x->options.margins);
        Clip out = boxed;
        std::vector<std::size_t> fresh;
        for (std::size_t f = 0; f < boxed.frames(); ++f) {
            const BitmapView src{boxed.frame(f), w, h, 0}, dst{out.frame(f), w, h, 0};
            if (f == 0)
                extras::prime(src, *x);
            if (extras::levelWithExtras(src, dst, *x, 0.04).fresh)
                fresh.push_back(f);
            for (int32_t y = 0; y < filmH; ++y)
                ASSERT_TRUE(std::equal(out.frame(f) + static_cast<std::size_t>(y + bar) * w,
                                       out.frame(f) + static_cast<std::size_t>(y + bar + 1) * w,
                                       alone.out.frame(f) + static_cast<std::size_t>(y) * w))
                    << where << ", frame " << f << ", row " << y;
            EXPECT_EQ(x->record.blackPoint, static_cast<int32_t>(alone.black[f])) << where << ", frame " << f;
            EXPECT_EQ(without.black[f], 0) << where << ", frame " << f;
        }
        EXPECT_EQ(fresh, std::vector<std::size_t>{8}) << where;
        EXPECT_GT(alone.black[0], 90) << where;
    }
}

// A room with a black, a white and a neutral grey patch, given a cast that puts each
// channel in a range of its own, as a faded film has it: levelled with independence 1
// the grey comes out neutral again; with the channels shared it keeps the cast.
TEST(IndependenceInPhotoClips, AColourCastIsTakenOut)
{
    REQUIRE_PHOTOS();
    const int32_t w = 240, h = 160;
    Clip shot = clips::still(room(), w, h, 3);
    const auto patch = [&](int32_t x0, uint32_t level) {
        for (std::size_t f = 0; f < shot.frames(); ++f)
            for (int32_t y = 60; y < 100; ++y)
                for (int32_t x = x0; x < x0 + 40; ++x)
                    shot.frame(f)[static_cast<std::size_t>(y) * w + x] = level * 0x010101u;
    };
    patch(20, 0);
    patch(100, 128);
    patch(180, 255);
    // Red squeezed into 40..200, green into 10..230, blue lifted into 70..250.
    const double lo[3] = {70, 10, 40}, hi[3] = {250, 230, 200};   // blue, green, red
    for (uint32_t& p : shot.px) {
        uint32_t q = 0;
        for (int c = 0; c < 3; ++c)
            q |= static_cast<uint32_t>(std::lround(lo[c] + ((p >> (8 * c)) & 0xFF) * (hi[c] - lo[c]) / 255)) << (8 * c);
        p = q;
    }
    const auto greySpread = [&](double independence) {
        auto x = std::make_unique<extras::Instance>();
        extras::setDefaults(*x);
        x->options.independence = independence;
        Clip out = shot;
        for (std::size_t f = 0; f < shot.frames(); ++f) {
            const BitmapView src{shot.frame(f), w, h, 0}, dst{out.frame(f), w, h, 0};
            if (f == 0)
                extras::prime(src, *x);
            extras::levelWithExtras(src, dst, *x, 0.04);
        }
        const uint32_t grey = out.frame(2)[static_cast<std::size_t>(80) * w + 120];
        const int r = (grey >> 16) & 0xFF, g = (grey >> 8) & 0xFF, b = grey & 0xFF;
        return std::max({r, g, b}) - std::min({r, g, b});
    };
    EXPECT_LE(greySpread(1), 3);
    EXPECT_GE(greySpread(0), 30);
}

// The real tool levels as the engine does here, and its statistics say which frames
// started afresh and where the points in use stand between levels.
TEST(CutsInPhotoClips, TheToolsStatisticsMarkTheCut)
{
    REQUIRE_PHOTOS();
    const int32_t w = 96, h = 54;
    const std::vector<Cut> cuts = cutsAt(w, h);
    Clip clip = cuts[1].before;
    clip.append(cuts[1].after);
    const Levelled want = level(clip, true, 1.0, 1.0 / 25);
    std::string stats = "frame,detected_black,detected_white,black,white,fresh\n";
    for (std::size_t f = 0; f < clip.frames(); ++f) {
        char line[128];
        std::snprintf(line, sizeof line, "%zu,%d,%d,%.3f,%.3f,%d\n", f, want.detected[f].black, want.detected[f].white,
                      want.black[f], want.white[f], f == 0 || f == cuts[1].before.frames() ? 1 : 0);
        stats += line;
    }
    const std::string in(reinterpret_cast<const char*>(clip.px.data()), clip.px.size() * 4);
    const std::string statsFile = testFile("clips_stats.csv");
    const process::Result r = process::run(
        RANGEWICK_EXE, {"--size", "96x54", "--cuts", "--follow-time", "1", "--rate", "25", "--stats", statsFile},
        in, testFile("clips_tool"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out == std::string(reinterpret_cast<const char*>(want.out.px.data()), want.out.px.size() * 4));
    EXPECT_EQ(process::readFile(statsFile), stats);

    // Channels levelled apart: the same frames as the engine's, and each channel's points.
    auto x = std::make_unique<extras::Instance>();
    extras::setDefaults(*x);
    x->options.independence = 0.5;
    Clip out = clip;
    std::string channels;
    for (std::size_t f = 0; f < clip.frames(); ++f) {
        const BitmapView src{clip.frame(f), w, h, 0}, dst{out.frame(f), w, h, 0};
        if (f == 0)
            extras::prime(src, *x);
        extras::levelWithExtras(src, dst, *x, 0.04);
        char line[96];
        std::snprintf(line, sizeof line, ",%.3f,%.3f\n", x->running.channelBlack[0] / 4096.0,
                      x->running.channelWhite[0] / 4096.0);
        channels += line;
    }
    const process::Result apart = process::run(
        RANGEWICK_EXE, {"--size", "96x54", "--independence", "0.5", "--stats", statsFile}, in, testFile("clips_tool"));
    ASSERT_EQ(apart.status, 0) << apart.err;
    EXPECT_TRUE(apart.out == std::string(reinterpret_cast<const char*>(out.px.data()), out.px.size() * 4));
    const std::string written = process::readFile(statsFile);
    EXPECT_EQ(written.compare(0, written.find('\n'), "frame,detected_black,detected_white,black,white,fresh,"
                                                     "red_black,red_white,green_black,green_white,blue_black,blue_white"),
              0)
        << written;
    std::string blue;   // the last two columns of each line
    for (std::size_t end = written.find('\n'); end + 1 < written.size(); end = written.find('\n', end + 1)) {
        const std::size_t next = written.find('\n', end + 1);
        const std::size_t cut = written.rfind(',', written.rfind(',', next - 1) - 1);
        blue += written.substr(cut, next - cut + 1);
    }
    EXPECT_EQ(blue, channels);
    std::remove(statsFile.c_str());
}

} // namespace
