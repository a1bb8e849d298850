// The levelling beyond the record: with its options off it is the record's levelling
// bit for bit; a cut starts afresh exactly as a first frame does, in place or not; the
// points follow in seconds at the speed asked for. Clips from real photographs are in
// levelling_clips_test.cpp.
#include "extras/extras.h"
#include "frame_helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using extras::Instance;

std::unique_ptr<Instance> freshExtended()
{
    auto x = std::make_unique<Instance>();
    std::memset(x.get(), 0xCD, sizeof *x);
    extras::setDefaults(*x);
    return x;
}

// Noise between lo and lo + span in every channel, with alpha of its own.
void fillNoise(TestFrame& f, std::mt19937& rng, uint32_t lo, uint32_t span)
{
    f.fillWith([&](int32_t, int32_t) {
        return (static_cast<uint32_t>(rng()) & 0xFF000000u) | rgb(lo + rng() % span, lo + rng() % span, lo + rng() % span);
    });
}

// Pixels equal, colour only or with alpha; the padding untouched.
::testing::AssertionResult samePixels(const TestFrame& a, const TestFrame& b, uint32_t mask)
{
    for (int32_t y = 0; y < a.h; ++y)
        for (int32_t x = 0; x < a.w; ++x)
            if ((a.at(x, y) & mask) != (b.at(x, y) & mask))
                return ::testing::AssertionFailure() << "at " << x << "," << y << ": " << std::hex << a.at(x, y)
                                                     << " against " << b.at(x, y);
    if (!a.paddingUntouched() || !b.paddingUntouched())
        return ::testing::AssertionFailure() << "padding written";
    return ::testing::AssertionSuccess();
}

// Frames whose levels drift, with and without alpha kept, in place and not, on small
// frames and a 1080p one: every output and the record after every frame as levelFrame
// leaves them.
TEST(ExtendedLevelling, WithItsOptionsOffIsTheRecordsLevelling)
{
    std::mt19937 rng(99);
    for (auto [w, h] : {std::pair{1, 1}, std::pair{37, 5}, std::pair{1920, 1080}})
        for (bool keepAlpha : {false, true})
            for (bool inPlace : {false, true}) {
                const std::string where = std::to_string(w) + "x" + std::to_string(h) + (keepAlpha ? " alpha" : "")
                                        + (inPlace ? " in place" : "");
                LevelsInstance ref = freshInstance();
                auto x = freshExtended();
                TestFrame in(w, h, 3), refOut(w, h, 1), out(w, h, 1);
                const int frames = w * h > 100000 ? 3 : 6;
                for (int f = 0; f < frames; ++f) {
                    fillNoise(in, rng, 10 + 12 * static_cast<uint32_t>(f), 120);
                    if (f == 0) {
                        primeFromFrame(in.view(), ref);
                        extras::prime(in.view(), *x);
                    }
                    const Detection want = keepAlpha ? levelFrameKeepingAlpha(in.view(), refOut.view(), ref)
                                                     : levelFrame(in.view(), refOut.view(), ref);
                    TestFrame copy = in;
                    TestFrame& target = inPlace ? copy : out;
                    const extras::FrameResult got =
                        keepAlpha ? extras::levelWithExtrasKeepingAlpha(copy.view(), target.view(), *x, 0.04)
                                  : extras::levelWithExtras(copy.view(), target.view(), *x, 0.04);
                    ASSERT_EQ(got.detected.black, want.black) << where;
                    ASSERT_EQ(got.detected.white, want.white) << where;
                    ASSERT_FALSE(got.fresh) << where;
                    ASSERT_EQ(std::memcmp(&x->record, &ref, sizeof ref), 0) << where << ", frame " << f;
                    ASSERT_TRUE(samePixels(target, refOut, 0xFFFFFFFFu)) << where << ", frame " << f;
                }
            }
}

// A bright shot after a dark one, with cuts on (or a fresh start asked for with cuts
// off): the cut frame comes out, and leaves the state, as the same frame levelled first
// after a fresh start, whether the host levels in place (counted first) or not (mapped
// again), with or without alpha.
TEST(ExtendedLevelling, ACutStartsAfreshAsAFirstFrame)
{
    std::mt19937 rng(5);
    for (bool asked : {false, true})
        for (double followTime : {0.0, 1.5})
            for (bool keepAlpha : {false, true})
                for (bool inPlace : {false, true}) {
                    const std::string where = std::string(asked ? "asked, " : "cut, ") + "follow " + std::to_string(followTime)
                                            + (keepAlpha ? ", alpha" : "") + (inPlace ? ", in place" : "");
                    auto x = freshExtended(), alone = freshExtended();
                    for (Instance* i : {x.get(), alone.get()}) {
                        i->options.cuts = asked ? 0 : 1;
                        i->options.followTime = followTime;
                    }
                    const auto level = [&](Instance& i, TestFrame& src, TestFrame& dst) {
                        return keepAlpha ? extras::levelWithExtrasKeepingAlpha(src.view(), dst.view(), i, 0.04)
                                         : extras::levelWithExtras(src.view(), dst.view(), i, 0.04);
                    };
                    TestFrame dark(41, 23, 2), bright(41, 23, 2), out(41, 23, 1), aloneOut(41, 23, 1);
                    fillNoise(dark, rng, 5, 60);
                    extras::prime(dark.view(), *x);
                    for (int f = 0; f < 3; ++f)
                        ASSERT_FALSE(level(*x, dark, out).fresh) << where;

                    fillNoise(bright, rng, 150, 100);
                    extras::prime(bright.view(), *alone);
                    level(*alone, bright, aloneOut);
                    if (asked)
                        extras::startAfreshOnNextFrame(*x);
                    TestFrame copy = bright;
                    const extras::FrameResult cut = level(*x, copy, inPlace ? copy : out);
                    EXPECT_TRUE(cut.fresh) << where;
                    EXPECT_TRUE(samePixels(inPlace ? copy : out, aloneOut, 0xFFFFFFFFu)) << where;
                    EXPECT_EQ(std::memcmp(&x->record, &alone->record, sizeof x->record), 0) << where;
                    EXPECT_EQ(std::memcmp(&x->running, &alone->running, sizeof x->running), 0) << where;
                    // The frame after it is no cut.
                    EXPECT_FALSE(level(*x, bright, out).fresh) << where;
                }
}

// The points cross the whole range in the follow time: the black point both ways, the
// white point down; up, the white point jumps. Between levels the table is built from
// the points as they are.
TEST(ExtendedLevelling, FollowsInSecondsAtTheSpeedAskedFor)
{
    auto x = freshExtended();
    x->options.followTime = 2;   // 255 levels in 2 s: 5.1 levels a frame at 25 fps
    TestFrame out(10, 10);
    TestFrame grey(10, 10);
    const auto frameOf = [&](uint32_t lo, uint32_t hi) {
        grey.fillWith([&](int32_t px, int32_t) { return px % 2 ? rgb(hi, hi, hi) : rgb(lo, lo, lo); });
    };
    frameOf(40, 200);
    extras::prime(grey.view(), *x);
    EXPECT_EQ(extras::blackInUse(*x), 40);
    EXPECT_EQ(extras::whiteInUse(*x), 200);

    frameOf(100, 150);
    const double step = 20890.0 / extras::kPointScale;   // 255 x 4096 x 0.04 / 2, rounded
    for (int f = 1; f <= 3; ++f) {
        extras::levelWithExtras(grey.view(), out.view(), *x, 0.04);
        EXPECT_EQ(extras::blackInUse(*x), 40 + f * step) << f;
        EXPECT_EQ(extras::whiteInUse(*x), 200 - f * step) << f;
        EXPECT_EQ(x->record.blackPoint, static_cast<int32_t>(40 + f * step + 0.5)) << f;
    }
    int32_t want[256];
    levels::buildLevelTable(40 + 3 * step, 200 - 3 * step, false, want);
    EXPECT_EQ(std::memcmp(x->record.levelTable, want, sizeof want), 0);
    EXPECT_EQ(x->record.levelTable[55], 0);   // below the black point of 55.3
    EXPECT_EQ(x->record.levelTable[56], 1);   // 0.7 of a level above it: 255 x 0.7 / 129.4 = 1.38
    EXPECT_EQ(x->record.levelTable[57], 3);   // 3.35

    for (int f = 0; f < 20; ++f)   // the rest of the way, never past the detection
        extras::levelWithExtras(grey.view(), out.view(), *x, 0.04);
    EXPECT_EQ(extras::blackInUse(*x), 100);
    EXPECT_EQ(extras::whiteInUse(*x), 150);

    frameOf(100, 250);
    extras::levelWithExtras(grey.view(), out.view(), *x, 0.04);
    EXPECT_EQ(extras::whiteInUse(*x), 250);
    // No time passed (the same frame again): nothing moves.
    frameOf(10, 250);
    extras::levelWithExtras(grey.view(), out.view(), *x, 0);
    EXPECT_EQ(extras::blackInUse(*x), 100);
}

// The picture inside the margins comes out, frame after frame, exactly as the same
// picture cropped to them: margins on each side, odd widths, margins at the sides wider
// than a vector, in place or not, with cuts on or off, alpha kept or not, the channels
// levelled together or apart; the margins themselves are mapped with the same tables.
TEST(ExtendedLevelling, MarginsLevelThePictureInsideAsIfCropped)
{
    std::mt19937 rng(11);
    const int32_t sides[][4] = {{3, 0, 5, 0}, {0, 7, 0, 1}, {2, 3, 4, 5}, {0, 0, 9, 0}, {0, 240, 0, 240}};
    for (size_t i = 0; i < std::size(sides); ++i)
        for (auto [w, h] : {std::pair{13, 11}, std::pair{64, 20}, std::pair{1000, 90}})
            for (bool inPlace : {false, true})
                for (bool cuts : {false, true}) {
                    const int32_t* m = sides[i];
                    if (w <= m[1] + m[3])
                        continue;
                    const bool keepAlpha = i % 2 == 1, apart = i >= 2;
                    const std::string where = std::to_string(m[0]) + "," + std::to_string(m[1]) + ","
                                            + std::to_string(m[2]) + "," + std::to_string(m[3]) + " of "
                                            + std::to_string(w) + "x" + std::to_string(h) + (inPlace ? " in place" : "")
                                            + (cuts ? " cuts" : "") + (keepAlpha ? " alpha" : "")
                                            + (apart ? " apart" : "");
                    const int32_t cw = w - m[1] - m[3], ch = h - m[0] - m[2];
                    auto x = freshExtended(), cropped = freshExtended();
                    for (Instance* c : {x.get(), cropped.get()}) {
                        c->options.cuts = cuts ? 1 : 0;
                        c->options.independence = apart ? 1 : 0;
                    }
                    std::copy(m, m + 4, x->options.margins);
                    const auto level = [&](TestFrame& in, TestFrame& out, Instance& c) {
                        return keepAlpha ? extras::levelWithExtrasKeepingAlpha(in.view(), out.view(), c, 0.04)
                                         : extras::levelWithExtras(in.view(), out.view(), c, 0.04);
                    };
                    TestFrame in(w, h, 1), out(w, h, 2), crop(cw, ch), cropOut(cw, ch, 3);
                    for (int f = 0; f < 6; ++f) {
                        // Bars of noise that would pull both points, a picture that drifts
                        // and then cuts to a bright one; alpha of its own everywhere.
                        const uint32_t lo = f < 4 ? 40 + 10 * static_cast<uint32_t>(f) : 170;
                        in.fillWith([&](int32_t px, int32_t py) {
                            const bool inside = px >= m[3] && px < w - m[1] && py >= m[0] && py < h - m[2];
                            return inside ? (static_cast<uint32_t>(rng()) & 0xFF000000u)
                                                | rgb(lo + rng() % 60, lo + rng() % 50, lo + rng() % 40)
                                          : static_cast<uint32_t>(rng());
                        });
                        crop.fillWith([&](int32_t px, int32_t py) { return in.at(px + m[3], py + m[0]); });
                        if (f == 0) {
                            extras::prime(in.view(), *x);
                            extras::prime(crop.view(), *cropped);
                        }
                        // What the frame is mapped with, per channel: the tables the frame
                        // before left, or at a cut its own.
                        const auto tablesOf = [&](const Instance& c, levels::ChannelTables& t) {
                            for (int k = 0; k < 3; ++k)
                                std::memcpy(t[k], apart ? c.running.channelTables[k] : c.record.levelTable, sizeof t[k]);
                        };
                        levels::ChannelTables tables;
                        tablesOf(*cropped, tables);
                        TestFrame copy = in;
                        TestFrame& target = inPlace ? copy : out;
                        const extras::FrameResult got = level(copy, target, *x);
                        const extras::FrameResult want = level(crop, cropOut, *cropped);
                        if (want.fresh)
                            tablesOf(*cropped, tables);
                        ASSERT_EQ(got.fresh, want.fresh) << where << ", frame " << f;
                        ASSERT_EQ(want.fresh, cuts && f == 4) << where << ", frame " << f;
                        ASSERT_EQ(std::memcmp(&x->running, &cropped->running, sizeof x->running), 0) << where;
                        for (int32_t py = 0; py < h; ++py)
                            for (int32_t px = 0; px < w; ++px) {
                                const bool inside = px >= m[3] && px < w - m[1] && py >= m[0] && py < h - m[2];
                                const uint32_t p = in.at(px, py);
                                const uint32_t mapped = rgb(static_cast<uint32_t>(tables[2][(p >> 16) & 0xFF]),
                                                            static_cast<uint32_t>(tables[1][(p >> 8) & 0xFF]),
                                                            static_cast<uint32_t>(tables[0][p & 0xFF]))
                                                      | (keepAlpha ? p & 0xFF000000u : 0);
                                ASSERT_EQ(target.at(px, py), inside ? cropOut.at(px - m[3], py - m[0]) : mapped)
                                    << where << ", frame " << f << " at " << px << "," << py;
                            }
                        ASSERT_TRUE(target.paddingUntouched()) << where;
                    }
                    EXPECT_EQ(x->running.previousSamples, static_cast<uint32_t>(cw * ch * 3)) << where;
                }
}

// Strength changes only the tables: 0 gives the input back, 1 the full levelling, 0.5
// each level halfway between the two, rounded up at a half.
TEST(ExtendedLevelling, StrengthBlendsTheLevellingWithTheInput)
{
    std::mt19937 rng(21);
    auto none = freshExtended(), half = freshExtended(), full = freshExtended();
    none->options.strength = 0;
    half->options.strength = 0.5;
    TestFrame in(45, 17, 1), outNone(45, 17), outHalf(45, 17), outFull(45, 17);
    for (int f = 0; f < 5; ++f) {
        fillNoise(in, rng, 30 + 15 * static_cast<uint32_t>(f), 90);
        for (Instance* i : {none.get(), half.get(), full.get()}) {
            if (f == 0)
                extras::prime(in.view(), *i);
        }
        extras::levelWithExtras(in.view(), outNone.view(), *none, 0.04);
        extras::levelWithExtras(in.view(), outHalf.view(), *half, 0.04);
        extras::levelWithExtras(in.view(), outFull.view(), *full, 0.04);
        ASSERT_TRUE(samePixels(outNone, in, 0x00FFFFFFu)) << "frame " << f;
        bool changed = false;
        for (int32_t y = 0; y < in.h; ++y)
            for (int32_t x = 0; x < in.w; ++x)
                for (int shift = 0; shift < 24; shift += 8) {
                    const uint32_t a = (in.at(x, y) >> shift) & 0xFF, b = (outFull.at(x, y) >> shift) & 0xFF;
                    ASSERT_EQ((outHalf.at(x, y) >> shift) & 0xFF, (a + b + 1) / 2) << "frame " << f;
                    changed = changed || a != b;
                }
        ASSERT_TRUE(changed) << "frame " << f;
        EXPECT_EQ(half->record.blackPoint, full->record.blackPoint);   // the points do not depend on it
    }
}

// Every map function this processor runs, mapFrame (the pass choice's) first.
std::vector<std::pair<std::string, levels::MapPass>> mapFunctions()
{
    std::vector<std::pair<std::string, levels::MapPass>> maps = {{"mapFrame", levels::mapFrame}};
    for (int i = 1; i < levels::kPassCount; ++i) // from the first after the reference
        if (levels::MapPass map = levels::kernelsOf(static_cast<levels::Pass>(i)).map)
            maps.emplace_back(levels::passName(static_cast<levels::Pass>(i)), map);
    return maps;
}

using Table = std::array<int32_t, 256>;

// `in` through `table` by every map function, with and without alpha, in place and not,
// as mapReference maps it.
::testing::AssertionResult mapsAsTheReference(const TestFrame& in, const Table& table)
{
    for (bool keepAlpha : {false, true}) {
        TestFrame want(in.w, in.h, 1), copy = in;
        levels::mapReference(copy.view(), want.view(), table.data(), keepAlpha);
        if (want.at(0, 0) >> 24 != (keepAlpha ? in.at(0, 0) >> 24 : 0u))
            return ::testing::AssertionFailure() << "the reference's alpha";
        for (const auto& [name, map] : mapFunctions())
            for (bool inPlace : {false, true}) {
                TestFrame got(in.w, in.h, 1);
                copy = in;
                TestFrame& target = inPlace ? copy : got;
                map(copy.view(), target.view(), table.data(), keepAlpha);
                if (::testing::AssertionResult same = samePixels(target, want, 0xFFFFFFFFu); !same)
                    return same << ": " << name << (keepAlpha ? ", alpha" : "") << (inPlace ? ", in place" : "");
            }
    }
    return ::testing::AssertionSuccess();
}

// Independence 1 levels each channel as that channel alone, as a grey picture, would be
// levelled: 10000 pixels, so that a channel's clip counts are exactly a third of the
// grey picture's. Points follow one level a frame, and then in seconds, the same way.
TEST(ExtendedLevelling, FullIndependenceLevelsEachChannelAsItsOwnGreyPicture)
{
    std::mt19937 rng(31);
    for (double followTime : {0.0, 1.0}) {
        auto x = freshExtended();
        x->options.independence = 1;
        x->options.followTime = followTime;
        std::unique_ptr<Instance> grey[3] = {freshExtended(), freshExtended(), freshExtended()};
        for (auto& g : grey)
            g->options.followTime = followTime;
        TestFrame in(100, 100), out(100, 100), greyIn(100, 100), greyOut(100, 100);
        bool apart = false;
        for (int f = 0; f < 8; ++f) {
            // Each channel its own range, drifting apart.
            const uint32_t lo[3] = {20 + 9 * static_cast<uint32_t>(f), 60, 5 + 3 * static_cast<uint32_t>(f)};
            const uint32_t span[3] = {100, 120 - 10 * static_cast<uint32_t>(f), 200};
            in.fillWith([&](int32_t, int32_t) {
                return rgb(lo[2] + rng() % span[2], lo[1] + rng() % span[1], lo[0] + rng() % span[0]);
            });
            if (f == 0)
                extras::prime(in.view(), *x);
            extras::levelWithExtras(in.view(), out.view(), *x, 0.04);
            for (int c = 0; c < 3; ++c) {
                greyIn.fillWith([&](int32_t px, int32_t py) {
                    const uint32_t v = (in.at(px, py) >> (8 * c)) & 0xFF;
                    return rgb(v, v, v);
                });
                if (f == 0)
                    extras::prime(greyIn.view(), *grey[c]);
                extras::levelWithExtras(greyIn.view(), greyOut.view(), *grey[c], 0.04);
                for (int32_t py = 0; py < 100; ++py)
                    for (int32_t px = 0; px < 100; ++px)
                        ASSERT_EQ((out.at(px, py) >> (8 * c)) & 0xFF, greyOut.at(px, py) & 0xFF)
                            << "channel " << c << ", frame " << f << ", follow time " << followTime;
                ASSERT_EQ(x->running.channelBlack[c], grey[c]->running.black) << c << ", frame " << f;
            }
            apart = apart || x->running.channelBlack[0] != x->running.channelBlack[2];
        }
        EXPECT_TRUE(apart);
    }
}

// Between 0 and 1 each channel's detected points lie that share of the way from the
// shared ones to its own, to the nearest 1/4096 of a level.
TEST(ExtendedLevelling, PartIndependenceBlendsTheSharedAndTheChannelsOwnPoints)
{
    std::mt19937 rng(41);
    TestFrame in(100, 100);
    in.fillWith([&](int32_t, int32_t) { return rgb(40 + rng() % 150, 10 + rng() % 240, 90 + rng() % 60); });
    auto shared = freshExtended(), own = freshExtended();
    own->options.independence = 1;
    for (Instance* i : {shared.get(), own.get()})
        extras::prime(in.view(), *i);
    // Shares whose products fall on either side of a half unit.
    for (double independence : {0.3, 0.37, 0.618, 0.99}) {
        auto part = freshExtended();
        part->options.independence = independence;
        extras::prime(in.view(), *part);
        const auto blended = [&](int32_t s, int32_t o) {
            return s + static_cast<int32_t>(std::floor(independence * (o - s) + 0.5));
        };
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(part->running.channelBlack[c], blended(shared->running.black, own->running.channelBlack[c]))
                << independence << ", channel " << c;
            EXPECT_EQ(part->running.channelWhite[c], blended(shared->running.white, own->running.channelWhite[c]))
                << independence << ", channel " << c;
        }
    }
    EXPECT_NE(own->running.channelBlack[0], own->running.channelBlack[1]);
    EXPECT_NE(own->running.channelWhite[1], own->running.channelWhite[2]);
}

// Mapping alone is the reference mapping for every map function this processor runs.
// Tables: random ones, and the stretches levelling makes, which the AVX2 map works out
// where it can: every range of levels, from whole and from fractional points, and
// clipped previews; on a frame whose channels each hold every level. Frames: widths
// below, between and at multiples of a vector, padded rows, 1080p.
// A host that maps on its own (a graphics card) follows with followFrame and maps with
// the tables the frame found, or, where it started afresh, those it left: the pictures
// and the state stay levelWithExtras' through drifting frames, a cut and a fresh start,
// with every extra on.
TEST(ExtendedLevelling, FollowingAloneThenMappingIsLevelling)
{
    std::mt19937 rng(17);
    for (double independence : {0.0, 0.6}) {
        auto x = freshExtended(), mapped = freshExtended();
        for (Instance* i : {x.get(), mapped.get()}) {
            i->options.cuts = 1;
            i->options.followTime = 0.8;
            i->options.strength = 0.7;
            i->options.independence = independence;
            i->options.margins[extras::kTop] = 3;
            i->options.margins[extras::kLeft] = 5;
        }
        TestFrame in(67, 31, 2), want(67, 31, 1), got(67, 31, 1);
        for (int f = 0; f < 9; ++f) {
            fillNoise(in, rng, f >= 5 ? 170 : 20 + 6 * static_cast<uint32_t>(f), 80);
            if (f == 7)
                for (Instance* i : {x.get(), mapped.get()})
                    extras::startAfreshOnNextFrame(*i);
            const extras::FrameResult a = extras::levelWithExtrasKeepingAlpha(in.view(), want.view(), *x, 0.02);
            const Instance before = *mapped;
            const extras::FrameResult b = extras::followFrame(in.view(), *mapped, 0.02);
            const Instance& tables = b.fresh ? *mapped : before;
            if (extras::levelsChannelsApart(tables))
                levels::mapChannels(in.view(), got.view(), tables.running.channelTables, true);
            else
                levels::mapFrame(in.view(), got.view(), tables.record.levelTable, true);
            const std::string where = "independence " + std::to_string(independence) + ", frame " + std::to_string(f);
            ASSERT_EQ(a.fresh, b.fresh) << where;
            EXPECT_EQ(a.fresh, f == 5 || f == 7) << where;
            ASSERT_TRUE(samePixels(got, want, 0xFFFFFFFFu)) << where;
            ASSERT_EQ(std::memcmp(&x->record, &mapped->record, sizeof x->record), 0) << where;
            ASSERT_EQ(std::memcmp(&x->running, &mapped->running, sizeof x->running), 0) << where;
        }
    }
}

TEST(MapOnlyPass, MatchesTheReferenceBitForBit)
{
    std::mt19937 rng(3);
    const auto randomTable = [&] {
        Table t;
        for (int32_t& e : t)
            e = static_cast<int32_t>(rng() % 256);
        return t;
    };
    const auto stretch = [](double black, double white, bool previewClipped) {
        Table t;
        levels::buildLevelTable(black, white, previewClipped, t.data());
        return t;
    };
    std::vector<std::pair<std::string, Table>> tables = {{"random", randomTable()}, {"random", randomTable()}};
    std::uniform_real_distribution<double> fraction(0, 1);
    for (int range = 0; range < 256; ++range) {
        const int black = static_cast<int>(rng() % (256 - range)), white = black + range;
        const std::string points = std::to_string(black) + ".." + std::to_string(white);
        tables.emplace_back(points, stretch(black, white, false));
        const double fractionalBlack = black + fraction(rng), fractionalWhite = std::min(255.0, white + fraction(rng));
        tables.emplace_back(points + " and fractions", stretch(fractionalBlack, std::max(fractionalBlack, fractionalWhite), false));
        if (range % 8 == 1)
            tables.emplace_back(points + " clipped", stretch(black, white, true));
    }

    uint32_t order[3][256];
    for (auto& channel : order) {
        for (uint32_t i = 0; i < 256; ++i)
            channel[i] = i;
        std::shuffle(std::begin(channel), std::end(channel), rng);
    }
    TestFrame everyLevel(67, 5, 2);
    everyLevel.fillWith([&](int32_t x, int32_t y) {
        const int32_t i = (67 * y + x) % 256;
        return (static_cast<uint32_t>(rng()) & 0xFF000000u) | rgb(order[2][i], order[1][i], order[0][i]);
    });
    for (const auto& [name, table] : tables)
        ASSERT_TRUE(mapsAsTheReference(everyLevel, table)) << "table " << name;

    for (auto [w, h] : {std::pair{1, 1}, std::pair{13, 7}, std::pair{33, 2}, std::pair{1920, 1080}}) {
        TestFrame in(w, h, 2);
        in.fillWith([&](int32_t, int32_t) { return static_cast<uint32_t>(rng()); });
        for (const Table& table : {randomTable(), stretch(16, 235, false)})
            ASSERT_TRUE(mapsAsTheReference(in, table)) << w << "x" << h;
    }
}

} // namespace
