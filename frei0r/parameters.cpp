#include "parameters.h"

#include "extras/extras.h"

#include <cfloat>
#include <cmath>

namespace frei0r {

int32_t storedFromFraction(double value, int32_t max)
{
    const double scaled = value * max;
    if (!(scaled > 0))
        return 0;
    if (scaled >= max)
        return max;
    // A half typed in decimal (0.00015) is a double a hair below it, and so is its
    // product: anything within a few units in the last place of a half counts as one.
    const double whole = std::floor(scaled);
    const bool up = scaled - whole >= 0.5 - 8 * DBL_EPSILON * scaled;
    return static_cast<int32_t>(whole) + (up ? 1 : 0);
}

double fractionFromStored(int32_t stored, int32_t max)
{
    return static_cast<double>(stored) / max;
}

double followTimeFromFraction(double value)
{
    const options::OptionInfo& o = options::kOptions[kFollowTime];
    const double ms = std::floor(value * o.frei0rScale * 1000 + 0.5);
    if (!(ms > 0))
        return 0;
    if (ms >= o.max * 1000)
        return o.max;
    return ms / 1000;
}

namespace {

// The side a margin parameter stands for, and the frame's size across it.
extras::Side sideOf(int index)
{
    return static_cast<extras::Side>(index - kMarginTop);
}

int32_t sizeAcross(extras::Side side, int32_t w, int32_t h)
{
    return side == extras::kTop || side == extras::kBottom ? h : w;
}

double clampedFraction(double value)
{
    return value < 0 ? 0 : value > 1 ? 1 : value;
}

bool change(double& setting, double wanted)
{
    if (setting == wanted)
        return false;
    setting = wanted;
    return true;
}

} // namespace

bool setParameter(extras::Instance& x, int index, double value, int32_t w, int32_t h)
{
    if (std::isnan(value))
        return false;
    if (index == kFollowTime)
        return change(x.options.followTime, followTimeFromFraction(value));
    if (index == kStrength)
        return change(x.options.strength, clampedFraction(value));
    if (index == kIndependence)
        return change(x.options.independence, clampedFraction(value));
    int32_t* field = nullptr;
    int32_t wanted = 0;
    if (index >= 0 && index < settings::kStoredCount) {
        const settings::SettingInfo& info = settings::kStored[index];
        field = &(x.record.*info.field);
        wanted = storedFromFraction(value, info.max);
    } else if (index == kPreviewClipped || index == kCuts) {
        field = index == kCuts ? &x.options.cuts : &x.record.previewClipped;
        wanted = value >= 0.5 ? 1 : 0;   // frei0r's bools: [0, 0.5[ false, [0.5, 1] true
    } else if (index >= kMarginTop && index < kParameterCount) {
        const extras::Side side = sideOf(index);
        field = &x.options.margins[side];
        wanted = storedFromFraction(value, sizeAcross(side, w, h));
    } else {
        return false;
    }
    if (*field == wanted)
        return false;
    *field = wanted;
    return true;
}

double parameterValue(const extras::Instance& x, int index, int32_t w, int32_t h)
{
    if (index >= 0 && index < settings::kStoredCount) {
        const settings::SettingInfo& info = settings::kStored[index];
        return fractionFromStored(x.record.*info.field, info.max);
    }
    if (index == kPreviewClipped)
        return x.record.previewClipped != 0 ? 1.0 : 0.0;
    if (index == kCuts)
        return x.options.cuts != 0 ? 1.0 : 0.0;
    if (index == kFollowTime)
        return x.options.followTime / options::kOptions[kFollowTime].frei0rScale;
    if (index == kStrength)
        return x.options.strength;
    if (index == kIndependence)
        return x.options.independence;
    if (index >= kMarginTop && index < kParameterCount) {
        const extras::Side side = sideOf(index);
        return fractionFromStored(x.options.margins[side], sizeAcross(side, w, h));
    }
    return 0;
}

} // namespace frei0r
