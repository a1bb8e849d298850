#include "parameters.h"

#include "extended_levelling.h"

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
    const double ms = std::floor(value * extended::kFollowTimeMax * 1000 + 0.5);
    if (!(ms > 0))
        return 0;
    if (ms >= extended::kFollowTimeMax * 1000)
        return extended::kFollowTimeMax;
    return ms / 1000;
}

bool setParameter(extended::Instance& x, int index, double value)
{
    if (std::isnan(value))
        return false;
    if (index == kFollowTime) {
        const double seconds = followTimeFromFraction(value);
        if (x.options.followTime == seconds)
            return false;
        x.options.followTime = seconds;
        return true;
    }
    int32_t* field = nullptr;
    int32_t wanted = 0;
    if (index >= 0 && index < settings::kStoredCount) {
        const settings::SettingInfo& info = settings::kStored[index];
        field = &(x.base.*info.field);
        wanted = storedFromFraction(value, info.max);
    } else if (index == kPreviewClipped || index == kCuts) {
        field = index == kCuts ? &x.options.cuts : &x.base.previewClipped;
        wanted = value >= 0.5 ? 1 : 0;   // frei0r's bools: [0, 0.5[ false, [0.5, 1] true
    } else {
        return false;
    }
    if (*field == wanted)
        return false;
    *field = wanted;
    return true;
}

double parameterValue(const extended::Instance& x, int index)
{
    if (index >= 0 && index < settings::kStoredCount) {
        const settings::SettingInfo& info = settings::kStored[index];
        return fractionFromStored(x.base.*info.field, info.max);
    }
    if (index == kPreviewClipped)
        return x.base.previewClipped != 0 ? 1.0 : 0.0;
    if (index == kCuts)
        return x.options.cuts != 0 ? 1.0 : 0.0;
    if (index == kFollowTime)
        return x.options.followTime / extended::kFollowTimeMax;
    return 0;
}

} // namespace frei0r
