// Every setting of the levelling in one table: its name, its line of help, its unit,
// range and default, and how each front end stores it and rounds it. The command-line
// tool's parser and --help, the frei0r module's parameters, the VirtualDub filters'
// script lines and the editors' descriptions all read it (the last two held to it by
// tests), so that nothing about a setting is written twice.
#pragma once

#include <cstdint>

namespace options {

// What a setting counts, which says how each front end holds it:
//   the tool      - the text after its option;
//   frei0r        - a double from 0 to 1 (a bool for a switch): the value / frei0rScale;
//   VirtualDub    - a whole number in the script line: the value x lineScale.
enum class Kind {
    ClipShare,   // percent of all samples, two decimals
    Level,       // 0..255
    Switch,      // on or off
    Seconds,
    Fraction,    // 0..1
    Margin,      // pixels; frei0r gives a share of the frame's height or width
};

struct OptionInfo {
    const char* name;          // for people, frei0r's parameter name and the filter list's: "follow time"
    const char* flag;          // the tool's option; the four margins share "--margins"
    const char* valueName;     // the tool's placeholder in --help: "SECONDS"
    const char* help;          // one line, in the tool's unit
    Kind        kind;
    double      max;           // the range in the tool's unit is 0..max (margins: any pixels)
    double      initial;       // the default, in the tool's unit
    double      frei0rScale;   // frei0r's 0..1 times this is the tool's unit (margins: the frame's size)
    int32_t     lineScale;     // VirtualDub's whole number is the value times this
    const char* rounding;      // how each front end rounds a value between its steps
};

// In frei0r's parameter order, which new settings only ever extend at the end; the
// four stored settings first, in the order of the VirtualDub filter's script line.
enum Option : int {
    kHighlightClip,
    kShadowClip,
    kHighlightsMin,
    kShadowsMax,
    kPreviewClipped,
    kCuts,
    kFollowTime,
    kStrength,
    kIndependence,
    kMarginTop,      // then right, bottom and left: the order --margins takes them in
    kMarginRight,
    kMarginBottom,
    kMarginLeft,
    kOptionCount
};

constexpr double kFollowTimeMax = 100;   // seconds: slower than one level a frame at 2.5 fps

inline constexpr OptionInfo kOptions[kOptionCount] = {
    {"highlight clip", "--highlight-clip", "PCT",
     "percent of samples allowed to clip to white (0 to 100, two decimals)", Kind::ClipShare, 100, 0.01, 100, 100,
     "tool: two decimals, more refused; frei0r: to 1/100 %, halves up; VirtualDub: whole 1/100 %"},
    {"shadow clip", "--shadow-clip", "PCT", "percent of samples allowed to clip to black (0 to 100, two decimals)",
     Kind::ClipShare, 100, 1, 100, 100,
     "tool: two decimals, more refused; frei0r: to 1/100 %, halves up; VirtualDub: whole 1/100 %"},
    {"highlights min", "--highlights-min", "LEVEL", "lowest level the white point may take (0 to 255)", Kind::Level, 255,
     64, 255, 1, "tool: whole levels; frei0r: to the nearest level, halves up; VirtualDub: whole levels"},
    {"shadows max", "--shadows-max", "LEVEL", "highest level the black point may take (0 to 255)", Kind::Level, 255, 192,
     255, 1, "tool: whole levels; frei0r: to the nearest level, halves up; VirtualDub: whole levels"},
    {"preview clipped", "--preview-clipped", "",
     "show only what clips: levels not clipped to black or white become middle grey", Kind::Switch, 1, 0, 1, 1,
     "frei0r: on from 0.5"},
    {"cuts", "--cuts", "",
     "start afresh at each cut: a new shot is levelled from its own first frame, as a first frame is", Kind::Switch, 1,
     0, 1, 1, "frei0r: on from 0.5"},
    {"follow time", "--follow-time", "SECONDS",
     "time the points take to cross the whole range 0..255 (0 to 100 s); 0: one level a frame", Kind::Seconds,
     kFollowTimeMax, 0, kFollowTimeMax, 1000,
     "tool: exact as typed (1.2345 s); frei0r: to the millisecond, halves up; VirtualDub: whole milliseconds, finer "
     "typing refused"},
    {"strength", "--strength", "S", "how much of the levelling to apply: 0 none (the input unchanged), 1 all of it",
     Kind::Fraction, 1, 1, 1, 100, "tool: exact as typed; frei0r: as given; VirtualDub: whole percent"},
    {"independence", "--independence", "I",
     "0: red, green and blue share one pair of points; 1: each has its own, which removes a colour cast", Kind::Fraction,
     1, 0, 1, 100, "tool: exact as typed; frei0r: as given; VirtualDub: whole percent"},
    {"margin top", "--margins", "T,R,B,L", "rows at the top left out of the count (still levelled)", Kind::Margin, 0, 0,
     0, 1, "tool and VirtualDub: pixels; frei0r: a share of the height, to the nearest row, halves up"},
    {"margin right", "--margins", "T,R,B,L", "columns at the right left out of the count", Kind::Margin, 0, 0, 0, 1,
     "tool and VirtualDub: pixels; frei0r: a share of the width, to the nearest column, halves up"},
    {"margin bottom", "--margins", "T,R,B,L", "rows at the bottom left out of the count", Kind::Margin, 0, 0, 0, 1,
     "tool and VirtualDub: pixels; frei0r: a share of the height, to the nearest row, halves up"},
    {"margin left", "--margins", "T,R,B,L", "columns at the left left out of the count", Kind::Margin, 0, 0, 0, 1,
     "tool and VirtualDub: pixels; frei0r: a share of the width, to the nearest column, halves up"},
};

// The option's range and default as VirtualDub's whole numbers (margins: any 32-bit count).
constexpr int32_t lineMax(const OptionInfo& o)
{
    return o.kind == Kind::Margin ? INT32_MAX : static_cast<int32_t>(o.max * o.lineScale + 0.5);
}
constexpr int32_t lineInitial(const OptionInfo& o)
{
    return static_cast<int32_t>(o.initial * o.lineScale + 0.5);
}

} // namespace options
