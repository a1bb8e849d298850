#include "following.h"

namespace extras {

int32_t followStep(double frameSeconds, double followTime)
{
    const double units = static_cast<double>(kTopUnits) * frameSeconds / followTime;
    if (!(units > 0))
        return 0;   // no time passed (or none that makes sense)
    if (units >= kTopUnits)
        return kTopUnits;
    return static_cast<int32_t>(units + 0.5);
}

} // namespace extras
