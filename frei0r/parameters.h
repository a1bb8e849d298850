// The module's parameters as frei0r hosts see them: the four stored settings as
// doubles from 0 to 1, in the order of the script line, then the clipped preview as a
// bool. Ranges, defaults and clamping are the stored settings' own.
#pragma once

#include "settings.h"

#include <cstdint>

struct LevelsInstance;

namespace frei0r {

constexpr int kPreviewClipped = settings::kStoredCount;   // index of the bool
constexpr int kParameterCount = settings::kStoredCount + 1;

// The stored setting a value from 0 to 1 stands for: value x max rounded to nearest,
// halves up (0.00015 x 10000 -> 2), clamped to 0..max. `value` is not NaN.
int32_t storedFromFraction(double value, int32_t max);

// The value from 0 to 1 a stored setting reads back as.
double fractionFromStored(int32_t stored, int32_t max);

// Sets parameter `index` from a host's value. Returns whether the instance's settings
// changed: not for a NaN, an index that is no parameter, or a value that maps onto the
// setting already in use.
bool setParameter(LevelsInstance& inst, int index, double value);

// Parameter `index` as the host reads it back: the setting in use, mapped back.
// 0 for an index that is no parameter.
double parameterValue(const LevelsInstance& inst, int index);

} // namespace frei0r
