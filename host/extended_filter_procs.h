// The second filter of the module, "rangewick extended": rangewick with the extras of
// the command-line tool (cuts, follow time, strength, independence, margins). Its
// instance block is an extras::Instance; its parameter and end procedures are
// rangewick's. Like rangewick's, none of these lets an exception out.
#pragma once

#include "extras/extras.h"
#include "extended_script_line.h"
#include "filter_sdk.h"

namespace rangewick::extended_filter {

extern const char kFilterName[];
extern const char kFilterDesc[];

// The host's C runtime gives an instance block 8-byte alignment on x86.
static_assert(alignof(extras::Instance) <= 8, "the instance block needs no more than the host's malloc gives");
constexpr int kInstanceSize = static_cast<int>(sizeof(extras::Instance));

// Resets a fresh instance block: rangewick's defaults, every extra off.
int initProc(FilterActivation* fa, const FilterFunctions* ff) noexcept;

// Levels one frame from src into dst as the command-line tool levels it, the time
// between frames taken from the host's frame state.
int runProc(const FilterActivation* fa, const FilterFunctions* ff) noexcept;

// A run starts (a render, the preview, playback): with cuts on, its first frame starts
// afresh, so that a render does not depend on the frame last looked at; with cuts off
// the points carry over, as rangewick's do.
int startProc(FilterActivation* fa, const FilterFunctions* ff) noexcept;

#ifdef _WIN32
// Runs the extended dialog (template 102) on the instance, as rangewick's configProc
// runs rangewick's, with the frame size the host last prepared where it gives one.
int configProc(FilterActivation* fa, const FilterFunctions* ff, HWND hwndParent) noexcept;
#endif

// Writes "Config(...)" with the four stored settings and then the extras in
// filter_extras::Extra's order; false, as rangewick's, when it does not fit.
bool fssProc(FilterActivation* fa, const FilterFunctions* ff, char* buf, int len) noexcept;

// rangewick's description, then the extras that are on, e.g.
// " (0.01 highlight, 1.00 shadow, cuts, margins 60/0/60/0)".
void stringProc(const FilterActivation* fa, const FilterFunctions* ff, char* buf) noexcept;

// Script command Config with the line's twelve integers, each clamped to its range; the
// clipped preview switched off.
void scriptConfig(IScriptInterpreter* isi, void* lpVoid, CScriptValue* argv, int argc) noexcept;
// Config with rangewick's four, as a rangewick line pasted onto this filter has them:
// every extra off.
void scriptConfigFour(IScriptInterpreter* isi, void* lpVoid, CScriptValue* argv, int argc) noexcept;

extern CScriptObject scriptObject;

} // namespace rangewick::extended_filter
