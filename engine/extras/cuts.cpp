#include "cuts.h"

#include <cmath>

namespace extras {

namespace {

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

} // namespace

bool isCut(const Histogram& before, uint32_t beforeSamples, const Histogram& now, uint32_t nowSamples)
{
    const double moved = histogramDistance(before, beforeSamples, now, nowSamples);
    return moved >= kCutLevels
        || (moved >= kReshapedCutLevels && unexplainedDistance(before, beforeSamples, now, nowSamples) >= kReshapeLevels);
}

} // namespace extras
