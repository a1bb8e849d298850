// The extras as the extended VirtualDub filter holds them: whole numbers in the option
// table's VirtualDub units, each with its text form, read by the filter's dialog, its
// script line and its description. The engine's options are doubles; the whole numbers
// map onto them exactly as the command-line tool's decimal forms do ("1.5" seconds and
// 1500 ms give the same double).
#pragma once

#include "settings.h"

#include <cstddef>
#include <cstdint>

namespace extras {
struct Instance;
}

namespace filter_extras {

// What an extra's whole number counts, and how it reads as text.
enum class Form {
    Switch,         // 0 off, 1 on
    Milliseconds,   // shown and typed in seconds, to the millisecond: 1500 is "1.5"
    Percent,        // the option's 0..1 in whole percent: 50 is 0.5
    Pixels,
};

struct ExtraInfo {
    const char* name;     // for people: "follow time", "margin top"
    int32_t     max;      // the range is 0..max
    int32_t     initial;  // off: the extended filter then levels as rangewick does
    Form        form;
};

// The extras in the order the script line carries them, after the four stored settings.
enum Extra : int {
    kCuts,
    kFollowTime,      // ms; 0: one level a frame
    kStrength,        // %
    kIndependence,    // %
    kMarginTop,       // pixels, then right, bottom and left: extras::Side's order
    kMarginRight,
    kMarginBottom,
    kMarginLeft,
    kExtraCount
};
extern const ExtraInfo kExtras[kExtraCount];

int32_t clampToRange(const ExtraInfo& info, int32_t value);

// The extra's whole number as the instance's options hold it.
int32_t valueOf(const extras::Instance& x, int extra);

// Sets the extra's option from a whole number in its range.
void setValue(extras::Instance& x, int extra, int32_t value);

// Every extra back to its initial value.
void resetExtras(extras::Instance& x);

// Whether the extra is away from its initial value (the filter list names those).
bool isOn(const extras::Instance& x, int extra);

// An extra's value as text, '.' whatever the locale: "1.5" for 1500 ms, "0.001" for 1,
// "50" for a percent, "60" for pixels, "1" for a switch on. Returns the length written
// (out needs 12 bytes at most).
std::size_t formatText(const ExtraInfo& info, int32_t value, char* out, std::size_t outSize);

// Text typed for an extra: digits, for a follow time with a point and up to three
// decimals ("1.5", "2.", ".25"); empty text is 0. Nothing is clamped or rounded: a
// value outside the range, or finer than a millisecond, is refused.
enum class TextValue { Ok, Malformed, OutOfRange, TooFine };
TextValue parseText(const ExtraInfo& info, const char* text, int32_t& value);

} // namespace filter_extras
