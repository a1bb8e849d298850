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

// The margins alone through `table`: the rows above and below the counted part whole,
// and beside it the pieces of its rows.
void mapMargins(const BitmapView& src, const BitmapView& dst, const Instance& x, const int32_t table[256], bool keepAlpha)
{
    const int32_t* m = x.options.margins;
    const int32_t w = src.w, h = src.h, innerH = h - m[kTop] - m[kBottom];
    const auto strip = [&](int32_t px, int32_t py, int32_t pw, int32_t ph) {
        if (pw > 0 && ph > 0)
            levels::mapFrame(partOf(src, px, py, pw, ph), partOf(dst, px, py, pw, ph), table, keepAlpha);
    };
    strip(0, 0, w, m[kTop]);
    strip(0, h - m[kBottom], w, m[kBottom]);
    strip(0, m[kTop], m[kLeft], innerH);
    strip(w - m[kRight], m[kTop], m[kRight], innerH);
}

// From this frame's finished histogram: detect, follow and build the table for the
// next frame, and keep the histogram to compare the next frame with.
Detection settle(Instance& x, const Histogram& hist, uint32_t samples, double frameSeconds)
{
    LevelsInstance& base = x.base;
    Running& run = x.running;
    Detection found;
    if (!followsInSeconds(x)) {
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
            // As the record's points move, at the speed the follow time sets: the black
            // point both ways, the white point down, and up at once.
            const int32_t step = stepUnits(frameSeconds, x.options.followTime);
            if (black < run.black)
                run.black = run.black - black > step ? run.black - step : black;
            else
                run.black = black - run.black > step ? run.black + step : black;
            if (white < run.white)
                run.white = run.white - white > step ? run.white - step : white;
            else
                run.white = white;
        }
        base.blackPoint = nearestLevel(run.black);
        base.whitePoint = nearestLevel(run.white);
        levels::buildLevelTable(blackInUse(x), whiteInUse(x), base.previewClipped != 0, base.levelTable);
    }
    if (x.options.strength != 1) {
        levels::buildLevelTable(blackInUse(x), whiteInUse(x), false, base.levelTable);
        weaken(base.levelTable, x.options.strength, base.previewClipped != 0);
    }
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
    double level[256];
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
        q.level[k] = i;
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
    int32_t table[256];   // the one this frame is mapped with, unless it is a cut
    std::memcpy(table, base.levelTable, sizeof table);
    const bool margins = hasMargins(x);
    const BitmapView counted = margins ? countedPart(src, x) : src;
    if (counted.w == 0) {
        levels::mapFrame(src, dst, table, keepAlpha);
        return unchanged;
    }
    const uint32_t samples = levels::sampleCount(counted);
    Histogram hist = {};

    if (x.options.cuts != 0 && src.data == dst.data) {
        // In place the source is gone once mapped, so whether this is a cut is known
        // before anything is written: counted first, then mapped once.
        levels::countFrame(counted, table, hist);
        const bool cut = isCut(x, hist, samples);
        if (cut)
            snapPointsOnNextFrame(base);
        const Detection found = settle(x, hist, samples, frameSeconds);
        levels::mapFrame(src, dst, cut ? base.levelTable : table, keepAlpha);
        return {found, cut};
    }

    if (margins) {
        levels::framePass(keepAlpha)(counted, countedPart(dst, x), table, hist);
        mapMargins(src, dst, x, table, keepAlpha);
    } else {
        levels::framePass(keepAlpha)(src, dst, table, hist);
    }
    const bool cut = isCut(x, hist, samples);
    if (cut)
        snapPointsOnNextFrame(base);
    const Detection found = settle(x, hist, samples, frameSeconds);
    if (cut) // mapped again, with the table this frame gives as a first frame
        levels::mapFrame(src, dst, base.levelTable, keepAlpha);
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
    for (int32_t& m : x.options.margins)
        m = 0;
    x.running.black = x.base.blackPoint * kPointScale;
    x.running.white = x.base.whitePoint * kPointScale;
    x.running.havePrevious = 0;
    x.running.previousSamples = 0;
    std::memset(x.running.previous, 0, sizeof x.running.previous);
}

void prime(const BitmapView& src, Instance& x)
{
    snapPointsOnNextFrame(x.base);
    if (src.w <= 0 || src.h <= 0)
        return;
    const BitmapView counted = countedPart(src, x);
    if (counted.w == 0)
        return;   // nothing to count: the points stay as they were
    Histogram hist = {};
    levels::countFrame(counted, x.base.levelTable, hist);
    settle(x, hist, levels::sampleCount(counted), 0);
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
