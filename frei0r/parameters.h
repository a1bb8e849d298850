// The module's parameters as frei0r hosts see them: the option table's settings in its
// order, each a double from 0 to 1 (a bool for a switch) that is the setting in the
// tool's unit divided by the table's frei0rScale (margins: by the frame's height or
// width). New parameters only ever go at the end, so that a host's list of values
// keeps its meaning.
#pragma once

#include "option_table.h"
#include "settings.h"

#include <cstdint>

namespace extras {
struct Instance;
}

namespace frei0r {

constexpr int kPreviewClipped = options::kPreviewClipped;   // bool
constexpr int kCuts           = options::kCuts;             // bool
constexpr int kFollowTime     = options::kFollowTime;       // value x 100 seconds
constexpr int kStrength       = options::kStrength;         // 0..1 as it is
constexpr int kIndependence   = options::kIndependence;     // 0..1 as it is
constexpr int kMarginTop      = options::kMarginTop;        // then right, bottom, left:
constexpr int kParameterCount = options::kOptionCount;      // fractions of the frame's height or width
static_assert(settings::kStoredCount == options::kPreviewClipped, "the stored settings come first");

// The follow time a value from 0 to 1 stands for: value x 100 seconds, to the
// millisecond, clamped. `value` is not NaN.
double followTimeFromFraction(double value);

// The stored setting a value from 0 to 1 stands for: value x max rounded to nearest,
// halves up (0.00015 x 10000 -> 2), clamped to 0..max. `value` is not NaN.
int32_t storedFromFraction(double value, int32_t max);

// The value from 0 to 1 a stored setting reads back as.
double fractionFromStored(int32_t stored, int32_t max);

// Sets parameter `index` from a host's value, for frames of w x h. Returns whether the
// instance's settings changed: not for a NaN, an index that is no parameter, or a value
// that maps onto the setting already in use.
bool setParameter(extras::Instance& x, int index, double value, int32_t w, int32_t h);

// Parameter `index` as the host reads it back: the setting in use, mapped back.
// 0 for an index that is no parameter.
double parameterValue(const extras::Instance& x, int index, int32_t w, int32_t h);

} // namespace frei0r
