#include "extended_levelling.h"

#include <cmath>
#include <cstring>

namespace extended {

namespace {

constexpr int32_t kTopUnits = 255 * kPointScale;   // level 255 in point units

bool followsInSeconds(const Instance& x)
{
    return x.options.followTime > 0;
}

// How far a point may move in one frame, in point units: the whole range in followTime.
int32_t stepUnits(double frameSeconds, double followTime)
{
    const double units = static_cast<double>(kTopUnits) * frameSeconds / followTime;
    if (!(units > 0))
        return 0;   // no time passed (or none that makes sense)
    if (units >= kTopUnits)
        return kTopUnits;
    return static_cast<int32_t>(units + 0.5);
}

int32_t nearestLevel(int32_t units)
{
    return (units + kPointScale / 2) / kPointScale;
}

// Each entry moved from its own level by `strength` of the way to the levelling's,
// rounded to nearest (halves up); then the clipped preview, which shows what clips in
// the output as it is.
void weaken(int32_t table[256], double strength, bool previewClipped)
{
    for (int32_t i = 0; i < 256; ++i) {
        // Never below 0, so truncating is rounding down.
        int32_t e = static_cast<int32_t>(i + strength * (table[i] - i) + 0.5);
        if (previewClipped && e > 0 && e < 255)
            e = 127;
        table[i] = e;
    }
}

// The part of a frame from pixel (x, y), w x h of it.
BitmapView partOf(const BitmapView& frame, int32_t x, int32_t y, int32_t w, int32_t h)
{
    const std::ptrdiff_t pitch = static_cast<std::ptrdiff_t>(frame.w) * 4 + frame.modulo;
    unsigned char* at = static_cast<unsigned char*>(frame.data) + pitch * y + static_cast<std::ptrdiff_t>(x) * 4;
    return {at, w, h, pitch - static_cast<std::ptrdiff_t>(w) * 4};
}

bool hasMargins(const Instance& x)
{
    const int32_t* m = x.options.margins;
    return (m[kTop] | m[kRight] | m[kBottom] | m[kLeft]) != 0;
}

// The part of the frame that is counted: inside the margins. Empty (0 wide) where they
// meet or cross.
BitmapView countedPart(const BitmapView& frame, const Instance& x)
{
    const int32_t* m = x.options.margins;
    if (!marginsLeaveAPicture(m, frame.w, frame.h))
        return {frame.data, 0, 0, 0};
    return partOf(frame, m[kLeft], m[kTop], frame.w - m[kLeft] - m[kRight], frame.h - m[kTop] - m[kBottom]);
}

// A frame's tables and counts live in the instance's scratch: the record's table, for
// all three channels, or one per channel where the channels are levelled apart; the
// shared histogram always (cuts and the shared points are found from it), and one per
// channel where the channels are levelled apart.

// The tables the frame is mapped with: those the frame before left.
void takeTables(Instance& x)
{
    FrameScratch& f = x.scratch;
    if (levelsChannelsApart(x))
        std::memcpy(f.channelTables, x.running.channelTables, sizeof f.channelTables);
    else
        std::memcpy(f.table, x.base.levelTable, sizeof f.table);
}

void clearCounts(Instance& x)
{
    std::memset(x.scratch.hist, 0, sizeof x.scratch.hist);
    std::memset(x.scratch.channelHists, 0, sizeof x.scratch.channelHists);
}

void map(const BitmapView& src, const BitmapView& dst, const Instance& x, bool keepAlpha)
{
    if (levelsChannelsApart(x))
        levels::mapChannels(src, dst, x.scratch.channelTables, keepAlpha);
    else
        levels::mapFrame(src, dst, x.scratch.table, keepAlpha);
}

void mapAndCount(const BitmapView& src, const BitmapView& dst, Instance& x, bool keepAlpha)
{
    FrameScratch& f = x.scratch;
    if (levelsChannelsApart(x))
        levels::mapAndCountChannels(src, dst, f.channelTables, f.channelHists, keepAlpha);
    else
        levels::framePass(keepAlpha)(src, dst, f.table, f.hist);
}

void count(const BitmapView& src, Instance& x)
{
    FrameScratch& f = x.scratch;
    if (levelsChannelsApart(x))
        levels::countChannels(src, f.channelHists);
    else
        levels::countFrame(src, f.table, f.hist);
}

// Counts per channel add up to the shared histogram.
void finishCounts(Instance& x)
{
    FrameScratch& f = x.scratch;
    if (levelsChannelsApart(x))
        for (int i = 0; i < 256; ++i)
            f.hist[i] = f.channelHists[0][i] + f.channelHists[1][i] + f.channelHists[2][i];
}

// The frame mapped and the picture inside the margins counted, row after row in memory
// order: the rows above the picture, its own, the rows below. Margins at the sides are
// mapped by the pass over the picture's rows as it goes by them: mapped apart, after
// the picture, they cost more than the whole frame's pass on 1080p. The margins must
// leave a picture.
void mapAndCountInside(const BitmapView& src, const BitmapView& dst, Instance& x, bool keepAlpha)
{
    const int32_t* m = x.options.margins;
    const int32_t w = src.w, h = src.h, innerH = h - m[kTop] - m[kBottom];
    const auto mapRows = [&](int32_t y, int32_t n) {
        if (n > 0)
            map(partOf(src, 0, y, w, n), partOf(dst, 0, y, w, n), x, keepAlpha);
    };
    mapRows(0, m[kTop]);
    const BitmapView from = partOf(src, 0, m[kTop], w, innerH), to = partOf(dst, 0, m[kTop], w, innerH);
    const levels::SideStrips strips = {m[kLeft], m[kRight]};
    FrameScratch& f = x.scratch;
    if ((strips.left | strips.right) == 0)
        mapAndCount(from, to, x, keepAlpha);   // whole rows: the frame's own pass
    else if (levelsChannelsApart(x))
        levels::mapAndCountChannelsBetween(from, to, f.channelTables, f.channelHists, strips, keepAlpha);
    else
        levels::mapAndCountBetween(from, to, f.table, f.hist, strips, keepAlpha);
    mapRows(h - m[kBottom], m[kBottom]);
}

// A point in use moved towards `target` for one frame: the black point both ways, the
// white point down, by at most `step`; the white point up at once.
int32_t followBlack(int32_t point, int32_t target, int32_t step)
{
    if (target < point)
        return point - target > step ? point - step : target;
    return target - point > step ? point + step : target;
}

int32_t followWhite(int32_t point, int32_t target, int32_t step)
{
    if (target < point)
        return point - target > step ? point - step : target;
    return target;
}

// The channel's own detection, `independence` of the way from the shared one, to the
// nearest point unit (halves up; an offset keeps the value positive for truncation).
int32_t blend(int32_t shared, int32_t own, double independence)
{
    constexpr int32_t kOffset = 2 * kTopUnits;
    const double moved = independence * (own - shared) * kPointScale;
    return shared * kPointScale + static_cast<int32_t>(moved + 0.5 + kOffset) - kOffset;
}

// The table for points in point units, with the strength and the clipped preview.
void buildTable(const Instance& x, int32_t black, int32_t white, int32_t table[256])
{
    const bool clipped = x.base.previewClipped != 0, full = x.options.strength == 1;
    levels::buildLevelTable(static_cast<double>(black) / kPointScale, static_cast<double>(white) / kPointScale,
                            clipped && full, table);
    if (!full)
        weaken(table, x.options.strength, clipped);
}

// The channels levelled apart: each detects its own points from its own histogram with
// the same shares (of its own samples) and limits, blended with the shared detection,
// follows them as the shared points follow, and gets its own table.
Detection settleChannels(Instance& x, uint32_t pixels, double frameSeconds)
{
    LevelsInstance& base = x.base;
    Running& run = x.running;
    const Detection shared = levels::detectPoints(base, x.scratch.hist, pixels * 3);
    const int32_t step = followsInSeconds(x) ? stepUnits(frameSeconds, x.options.followTime) : kPointScale;
    int32_t lowest = kTopUnits, highest = 0;
    for (int c = 0; c < 3; ++c) {
        const Detection own = levels::detectPoints(base, x.scratch.channelHists[c], pixels);
        const int32_t black = blend(shared.black, own.black, x.options.independence);
        const int32_t white = blend(shared.white, own.white, x.options.independence);
        if (base.tracking == 0) {
            run.channelBlack[c] = black;
            run.channelWhite[c] = white;
        } else {
            run.channelBlack[c] = followBlack(run.channelBlack[c], black, step);
            run.channelWhite[c] = followWhite(run.channelWhite[c], white, step);
        }
        buildTable(x, run.channelBlack[c], run.channelWhite[c], run.channelTables[c]);
        lowest = run.channelBlack[c] < lowest ? run.channelBlack[c] : lowest;
        highest = run.channelWhite[c] > highest ? run.channelWhite[c] : highest;
    }
    // The record's points: the widest range in use, for whoever reads them.
    base.tracking = 1;
    run.black = lowest;
    run.white = highest;
    base.blackPoint = nearestLevel(lowest);
    base.whitePoint = nearestLevel(highest);
    return shared;
}

// From this frame's finished histogram: detect, follow and build the table for the
// next frame (the record's, or one per channel), and keep the histogram to compare the
// next frame with.
Detection settle(Instance& x, uint32_t samples, double frameSeconds)
{
    LevelsInstance& base = x.base;
    Running& run = x.running;
    const Histogram& hist = x.scratch.hist;
    Detection found;
    if (levelsChannelsApart(x)) {
        found = settleChannels(x, samples / 3, frameSeconds);
    } else if (!followsInSeconds(x)) {
        found = levels::updatePoints(base, hist, samples);
        run.black = base.blackPoint * kPointScale;
        run.white = base.whitePoint * kPointScale;
    } else {
        found = levels::detectPoints(base, hist, samples);
        const int32_t black = found.black * kPointScale;
        const int32_t white = found.white * kPointScale;
        if (base.tracking == 0) {
            run.black = black;
            run.white = white;
            base.tracking = 1;
        } else {
            // As the record's points move, at the speed the follow time sets.
            const int32_t step = stepUnits(frameSeconds, x.options.followTime);
            run.black = followBlack(run.black, black, step);
            run.white = followWhite(run.white, white, step);
        }
        base.blackPoint = nearestLevel(run.black);
        base.whitePoint = nearestLevel(run.white);
    }
    if (followsInSeconds(x) || x.options.strength != 1)
        buildTable(x, run.black, run.white, base.levelTable);
    std::memcpy(run.previous, hist, sizeof run.previous);
    run.previousSamples = samples;
    run.havePrevious = 1;
    return found;
}

// The measures below return doubles, and are inlined where they are used: on i686 a
// double returned from a call comes back on the x87 stack.
#define RANGEWICK_MEASURE inline __attribute__((always_inline))

// |v| in SSE2 arithmetic: i686 compilers do std::fabs on the x87 unit.
RANGEWICK_MEASURE double magnitude(double v)
{
    return v < 0 ? -v : v;
}

// How far, in levels, the samples of `now` lie on average from where `before` had them.
RANGEWICK_MEASURE double histogramDistance(const Histogram& before, uint32_t beforeSamples, const Histogram& now, uint32_t nowSamples)
{
    if (beforeSamples == 0 || nowSamples == 0)
        return 0;
    // The area between the two cumulative histograms, each as a share of its samples:
    // the mean distance, in levels, the samples would have to move to turn one frame's
    // histogram into the other's. A fade moves every sample a little and so moves them
    // little on average, where comparing bin by bin would call it a cut.
    double below = 0, nowBelow = 0, area = 0;
    for (int i = 0; i < 255; ++i) {
        below += before[i];
        nowBelow += now[i];
        area += magnitude(below / beforeSamples - nowBelow / nowSamples);
    }
    return area;
}

// The levels below which shares (k + 0.5) / 256 of the samples lie, k = 0..255, and the
// mean and standard deviation of the levels.
struct Quantiles {
    uint8_t level[256];
    double mean;
    double deviation;
};

RANGEWICK_MEASURE Quantiles quantilesOf(const Histogram& hist, uint32_t samples)
{
    Quantiles q;
    double sum = 0, squares = 0;
    for (int i = 0; i < 256; ++i) {
        sum += static_cast<double>(hist[i]) * i;
        squares += static_cast<double>(hist[i]) * i * i;
    }
    q.mean = sum / samples;
    const double variance = squares / samples - q.mean * q.mean;
    q.deviation = variance > 0 ? std::sqrt(variance) : 0;
    double below = 0;
    int i = 0;
    for (int k = 0; k < 256; ++k) {
        const double share = (k + 0.5) / 256 * samples;
        while (i < 255 && below + hist[i] < share)
            below += hist[i++];
        q.level[k] = static_cast<uint8_t>(i);
    }
    return q;
}

// How far, in levels, `now` lies from `before` once `before` is given the mean and the
// contrast of `now`: the change that no fade, light or exposure explains.
RANGEWICK_MEASURE double unexplainedDistance(const Histogram& before, uint32_t beforeSamples, const Histogram& now, uint32_t nowSamples)
{
    if (beforeSamples == 0 || nowSamples == 0)
        return 0;
    const Quantiles a = quantilesOf(before, beforeSamples), b = quantilesOf(now, nowSamples);
    if (a.deviation < 1 || b.deviation < 1)
        return 0;   // a flat frame has no shape to compare
    // The frame before with its mean and contrast made this frame's: what a fade, a light
    // or a change of exposure would give. What remains is a different picture.
    const double gain = b.deviation / a.deviation;
    double area = 0;
    for (int k = 0; k < 256; ++k)
        area += magnitude(b.level[k] - (b.mean + gain * (a.level[k] - a.mean)));
    return area / 256;
}

bool isCut(const Instance& x, const Histogram& hist, uint32_t samples)
{
    const Running& run = x.running;
    if (x.options.cuts == 0 || run.havePrevious == 0)
        return false;
    const double moved = histogramDistance(run.previous, run.previousSamples, hist, samples);
    return moved >= kCutLevels
        || (moved >= kReshapedCutLevels
            && unexplainedDistance(run.previous, run.previousSamples, hist, samples) >= kReshapeLevels);
}

FrameResult level(const BitmapView& src, const BitmapView& dst, Instance& x, double frameSeconds, bool keepAlpha)
{
    LevelsInstance& base = x.base;
    const FrameResult unchanged = {{base.blackPoint, base.whitePoint}, false};
    if (src.w <= 0 || src.h <= 0)
        return unchanged;
    takeTables(x);
    const bool margins = hasMargins(x);
    const BitmapView counted = margins ? countedPart(src, x) : src;
    if (counted.w == 0) {
        map(src, dst, x, keepAlpha);
        return unchanged;
    }
    const uint32_t samples = levels::sampleCount(counted);
    clearCounts(x);
    const bool afresh = x.running.startAfresh != 0;
    x.running.startAfresh = 0;
    const bool inPlaceCuts = (x.options.cuts != 0 || afresh) && src.data == dst.data;
    if (inPlaceCuts) {
        // In place the source is gone once mapped, so whether this is a cut is known
        // before anything is written: counted first, then mapped once.
        count(counted, x);
    } else if (margins) {
        mapAndCountInside(src, dst, x, keepAlpha);
    } else {
        mapAndCount(src, dst, x, keepAlpha);
    }
    finishCounts(x);
    const bool cut = afresh || isCut(x, x.scratch.hist, samples);
    if (cut)
        snapPointsOnNextFrame(base);
    const Detection found = settle(x, samples, frameSeconds);
    if (cut || inPlaceCuts) {
        // A cut is mapped (again) with the tables it gives as a first frame.
        if (cut)
            takeTables(x);
        map(src, dst, x, keepAlpha);
    }
    return {found, cut};
}

} // namespace

bool marginsLeaveAPicture(const int32_t margins[4], int32_t w, int32_t h)
{
    for (int side = 0; side < 4; ++side)
        if (margins[side] < 0)
            return false;
    // In 64 bits: two margins of nearly 2^31 each must not wrap into a picture.
    return static_cast<int64_t>(margins[kLeft]) + margins[kRight] < w
        && static_cast<int64_t>(margins[kTop]) + margins[kBottom] < h;
}

void resetToDefaults(Instance& x)
{
    ::resetToDefaults(x.base);
    x.options.cuts = 0;
    x.options.followTime = 0;
    x.options.strength = 1;
    x.options.independence = 0;
    for (int32_t& m : x.options.margins)
        m = 0;
    x.running.black = x.base.blackPoint * kPointScale;
    x.running.white = x.base.whitePoint * kPointScale;
    x.running.havePrevious = 0;
    x.running.startAfresh = 0;
    x.running.previousSamples = 0;
    std::memset(x.running.previous, 0, sizeof x.running.previous);
    for (int c = 0; c < 3; ++c) {
        x.running.channelBlack[c] = x.running.black;
        x.running.channelWhite[c] = x.running.white;
        std::memcpy(x.running.channelTables[c], x.base.levelTable, sizeof x.base.levelTable);
    }
}

void prime(const BitmapView& src, Instance& x)
{
    snapPointsOnNextFrame(x.base);
    if (src.w <= 0 || src.h <= 0)
        return;
    const BitmapView counted = countedPart(src, x);
    if (counted.w == 0)
        return;   // nothing to count: the points stay as they were
    takeTables(x);
    clearCounts(x);
    count(counted, x);
    finishCounts(x);
    settle(x, levels::sampleCount(counted), 0);
}

void startAfreshOnNextFrame(Instance& x)
{
    x.running.startAfresh = 1;
}

bool countsAsTheLastFrame(const BitmapView& src, Instance& x)
{
    if (x.running.havePrevious == 0 || src.w <= 0 || src.h <= 0)
        return false;
    const BitmapView counted = countedPart(src, x);
    if (counted.w == 0 || levels::sampleCount(counted) != x.running.previousSamples)
        return false;
    clearCounts(x);
    count(counted, x);
    finishCounts(x);
    return std::memcmp(x.scratch.hist, x.running.previous, sizeof x.running.previous) == 0;
}

void rebuildTables(Instance& x)
{
    if (levelsChannelsApart(x)) {
        for (int c = 0; c < 3; ++c)
            buildTable(x, x.running.channelBlack[c], x.running.channelWhite[c], x.running.channelTables[c]);
    } else {
        buildTable(x, x.running.black, x.running.white, x.base.levelTable);
    }
}

FrameResult levelFrame(const BitmapView& src, const BitmapView& dst, Instance& x, double frameSeconds)
{
    return level(src, dst, x, frameSeconds, false);
}

FrameResult levelFrameKeepingAlpha(const BitmapView& src, const BitmapView& dst, Instance& x, double frameSeconds)
{
    return level(src, dst, x, frameSeconds, true);
}

} // namespace extended
