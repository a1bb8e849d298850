// The filter's procedures as the host calls them, and its script object. Plain free
// functions on the host's records; none of them lets an exception out (each is
// noexcept: a fault would end the process rather than unwind through host frames).
#pragma once

#include "filter_sdk.h"
#include "levels_instance.h"

#include <cstddef>

namespace rangewick {

// Registration texts; the host matches definitions by name across reloads.
extern const char kFilterName[];
extern const char kFilterDesc[];
extern const char kFilterMaker[];

// The instance block the host allocates for each instance.
constexpr int kInstanceSize = static_cast<int>(sizeof(LevelsInstance));

// Resets a fresh instance block to the defaults.
int initProc(FilterActivation* fa, const FilterFunctions* ff) noexcept;

// Levels one frame from src into dst.
int runProc(const FilterActivation* fa, const FilterFunctions* ff) noexcept;

// Asks for a destination separate from the source, of the source's size and layout.
int32_t paramProc(FilterActivation* fa, const FilterFunctions* ff) noexcept;

// The running points and table carry over between runs: start and end touch nothing.
int startProc(FilterActivation* fa, const FilterFunctions* ff) noexcept;
int endProc(FilterActivation* fa, const FilterFunctions* ff) noexcept;

#ifdef _WIN32
// Runs the configuration dialog owned by hwndParent on the instance, with the host's
// preview when it offers one. 0: accepted; 1: cancelled, every setting put back as it
// was; -1: the dialog could not be made. (The Windows module only.)
int configProc(FilterActivation* fa, const FilterFunctions* ff, HWND hwndParent) noexcept;
#endif

// Writes the script call that restores the four stored settings. Returns false, with
// an empty string when len >= 1 and nothing written when len <= 0, if the whole call
// does not fit: a cut-off call would be a corrupt line in the saved script.
bool fssProc(FilterActivation* fa, const FilterFunctions* ff, char* buf, int len) noexcept;

// fssProc's answer for a script call of n characters (terminated) in `line`.
bool giveScriptLine(const char* line, std::size_t n, char* buf, int len) noexcept;

// The text shown after the filter's name in the host's list, e.g.
// " (0.01 highlight, 1.00 shadow)", '.' as the decimal point in any locale.
void stringProc(const FilterActivation* fa, const FilterFunctions* ff, char* buf) noexcept;

// Script command Config(highlightClip, shadowClip, highlightsMin, shadowsMax): each
// value clamped to its range, the clipped preview switched off.
void scriptConfig(IScriptInterpreter* isi, void* lpVoid, CScriptValue* argv, int argc) noexcept;

// The script object with its one function "Config" ("0iiii").
extern CScriptObject scriptObject;

} // namespace rangewick
