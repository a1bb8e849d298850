// One home for the user-facing settings: ranges, initial values, clamping and the
// text forms every front end (script command, dialog, command line) shares.
#pragma once

#include <cstddef>
#include <cstdint>

struct LevelsInstance;

namespace settings {

constexpr int32_t kShareMax = 10000;      // clip shares are 1/100 %: 10000 = 100.00 %
constexpr int32_t kLevelMax = 255;        // limits are 8-bit levels

constexpr int32_t kHighlightClipDefault = 1;     // 0.01 %
constexpr int32_t kShadowClipDefault    = 100;   // 1.00 %
constexpr int32_t kHighlightsMinDefault = 64;
constexpr int32_t kShadowsMaxDefault    = 192;

// The stored settings, in the order the script line carries them.
enum class Setting { HighlightClip, ShadowClip, HighlightsMin, ShadowsMax };
constexpr int kStoredCount = 4;

struct SettingInfo {
    Setting     id;
    const char* name;           // command-line option name (without dashes)
    const char* help;           // one line for --help
    int32_t     max;            // the range is 0..max
    int32_t     initial;
    bool        isShare;        // shown as a percentage with two decimals
    int32_t LevelsInstance::*field;
};

// Stored settings in script order.
extern const SettingInfo kStored[kStoredCount];

int32_t clampTo(int32_t value, int32_t lo, int32_t hi);

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

// A clip share as a percentage with two decimals and '.' whatever the locale:
// 100 -> "1.00". Returns the length written (out needs 13 bytes at most).
std::size_t formatShare(int32_t share, char* out, std::size_t outSize);

// Reading one stored setting from text typed by a user (a command-line value): a clip
// share as a percentage with at most two decimals ("2.5" -> 250, "100" -> 10000),
// a limit as a whole level. Exact, no floating point. Nothing is clamped: a value
// outside the setting's range is refused.
enum class TextValue { Ok, Malformed, OutOfRange };
TextValue parseSettingText(const SettingInfo& info, const char* text, int32_t& value);

} // namespace settings
