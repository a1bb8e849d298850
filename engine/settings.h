// One home for the user-facing settings: each stored setting's name, range, initial
// value, text form and record field, in one table that every front end (script
// command, dialog, command line) reads, plus the script line they are saved as.
#pragma once

#include <cstddef>
#include <cstdint>

struct LevelsInstance;

namespace settings {

constexpr int32_t kShareMax = 10000;      // clip shares are 1/100 %: 10000 = 100.00 %
constexpr int32_t kLevelMax = 255;        // limits are 8-bit levels

// How a setting reads as text: a share is a percentage with two decimals ("1.00" for
// 100), a level a whole number.
enum class Form { Share, Level };

struct SettingInfo {
    const char* name;           // option or parameter name, e.g. "highlight-clip"
    const char* help;           // one line for a front end's help
    int32_t     max;            // the range is 0..max
    int32_t     initial;        // a fresh instance's value
    Form        form;
    int32_t LevelsInstance::*field;
};

// The stored settings, in the order the script line carries them.
constexpr int kStoredCount = 4;
extern const SettingInfo kStored[kStoredCount];

// The value brought into the setting's range, as a loaded script line is.
int32_t clampToRange(const SettingInfo& info, int32_t value);

// Sets the four stored settings from script values, each clamped to its range.
// The clipped preview is switched off, as when a saved script is loaded.
void applyStored(LevelsInstance& inst, const int32_t values[kStoredCount]);

// Longest "Config(%i, %i, %i, %i)" for any four 32-bit integers, without terminator.
constexpr std::size_t kScriptLineMax = 7 + 4 * 11 + 3 * 2 + 1;

// Writes "Config(h, s, hmin, smax)" into out (size outSize, always terminated when
// outSize > 0). Returns the length of the full line; the line fits when it is < outSize.
std::size_t formatScriptLine(const LevelsInstance& inst, char* out, std::size_t outSize);

// Parses "Config(a, b, c, d)" (white space free, an optional trailing ';').
// Returns false when the text is not such a line; values are not clamped here.
bool parseScriptLine(const char* text, int32_t values[kStoredCount]);

// The same for a call of exactly `count` integers, as the extended filter's line has.
bool parseScriptCall(const char* text, int32_t* values, int count);

// Writes "Config(v0, v1, ...)" for `count` integers into out (size outSize, always
// terminated when outSize > 0). Returns the length of the full line.
std::size_t formatScriptCall(const int32_t* values, int count, char* out, std::size_t outSize);

// A clip share as a percentage with two decimals and '.' whatever the locale:
// 100 -> "1.00". Returns the length written (out needs 13 bytes at most).
std::size_t formatShare(int32_t share, char* out, std::size_t outSize);

// A value of the setting in its text form: "1.00" for a share of 100, "64" for a
// level. Returns the length written (out needs 13 bytes at most).
std::size_t formatSettingText(const SettingInfo& info, int32_t value, char* out, std::size_t outSize);

// Reading one stored setting from text typed by a user (a command-line value): a clip
// share as a percentage with at most two decimals ("2.5" -> 250, "100" -> 10000),
// a limit as a whole level. Exact, no floating point. Nothing is clamped: a value
// outside the setting's range is refused.
enum class TextValue { Ok, Malformed, OutOfRange };
TextValue parseSettingText(const SettingInfo& info, const char* text, int32_t& value);

} // namespace settings
