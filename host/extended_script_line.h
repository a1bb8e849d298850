// The extended VirtualDub filter's script line: rangewick's four stored settings, then
// the extras as whole numbers, "Config(1, 100, 64, 192, 0, 0, 100, 0, 0, 0, 0, 0)".
#pragma once

#include "filter_extras.h"
#include "settings.h"

#include <cstddef>
#include <cstdint>

namespace filter_extras {

// Values in the extended filter's script line: the four stored settings, then the extras.
constexpr int kLineCount = settings::kStoredCount + kExtraCount;

// Longest "Config(...)" line of kLineCount 32-bit integers, without terminator.
constexpr std::size_t kScriptLineMax = 7 + kLineCount * 11 + (kLineCount - 1) * 2 + 1;

// Sets the four stored settings and the extras from a script line's values, each clamped
// to its range; the clipped preview goes off, as when a saved script is loaded.
void applyLine(extras::Instance& x, const int32_t values[kLineCount]);

// The script line's values: the four stored settings, then the extras.
void lineOf(const extras::Instance& x, int32_t values[kLineCount]);

// Writes the instance's "Config(...)" line into out (always terminated when
// outSize > 0). Returns the length of the full line; it fits when it is < outSize.
std::size_t formatScriptLine(const extras::Instance& x, char* out, std::size_t outSize);

} // namespace filter_extras
