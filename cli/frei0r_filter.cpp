#include "frei0r_filter.h"

#include "extras/margins.h"
#include "option_table.h"

#include <charconv>
#include <system_error>

namespace cli {

namespace {

// The shortest decimal, '.' whatever the locale, of `exact` that still gives `whole`
// back when the module multiplies it by `scale` and rounds to nearest: five digits
// for 64/255 (0.25098) rather than seventeen. Compared, not rounded: on i686 a call's
// double (floor's) comes back on the x87 stack, and the tool is held to SSE2 there.
std::string shortestFor(double exact, double scale, int32_t whole)
{
    char text[40];
    for (int digits = 1; digits <= 17; ++digits) {
        const auto end = std::to_chars(text, text + sizeof text, exact, std::chars_format::general, digits).ptr;
        double back = 0;
        std::from_chars(text, end, back);
        const double rounded = back * scale + 0.5;
        if (rounded >= whole && rounded < whole + 1.0)
            return std::string(text, end);
    }
    return std::string(text, std::to_chars(text, text + sizeof text, exact).ptr);
}

// A share the module takes as it is: the shortest decimal that reads back the same.
std::string asItIs(double value)
{
    char text[40];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

} // namespace

bool frei0rFilter(const Options& o, int32_t w, int32_t h, std::string& filter, std::string& note, std::string& problem)
{
    if (extras::hasMargins(o.margins) && (w <= 0 || h <= 0)) {
        problem = "--ffmpeg-filter: the module takes margins as shares of the frame: give --size WxH";
        if (kHaveFileMode)
            problem += " or IN";
        return false;
    }
    filter = "frei0r=rangewick:";
    for (int k = 0; k < options::kOptionCount; ++k) {
        const options::OptionInfo& info = options::kOptions[k];
        std::string value;
        switch (info.kind) {
        case options::Kind::ClipShare:
        case options::Kind::Level: {
            // The stored whole number over its range: value x 10000 hundredths of a
            // percent, value x 255 levels.
            const int32_t max = static_cast<int32_t>(info.max * info.lineScale + 0.5);
            value = shortestFor(static_cast<double>(o.stored[k]) / max, max, o.stored[k]);
            break;
        }
        case options::Kind::Switch:
            value = (k == options::kCuts ? o.cuts : o.previewClipped) ? "y" : "n";
            break;
        case options::Kind::Seconds: {
            // The module keeps whole milliseconds; the follow time is at most 100 s.
            const int32_t ms = static_cast<int32_t>(o.followTime * 1000 + 0.5);
            if (ms != o.followTime * 1000)
                note = "the module takes the follow time to the millisecond: " + asItIs(ms / 1000.0) + " s";
            const double scale = info.frei0rScale * 1000;
            value = shortestFor(ms / scale, scale, ms);
            break;
        }
        case options::Kind::Fraction:
            value = asItIs(k == options::kStrength ? o.strength : o.independence);
            break;
        case options::Kind::Margin: {
            const int side = k - options::kMarginTop;
            const int32_t across = side == extras::kTop || side == extras::kBottom ? h : w;
            value = o.margins[side] == 0 ? "0"
                                         : shortestFor(static_cast<double>(o.margins[side]) / across, across,
                                                       o.margins[side]);
            break;
        }
        }
        filter += (k == 0 ? "" : "|") + value;
    }
    if (w > 0 && w % 16 != 0)
        note += std::string(note.empty() ? "" : "; ") + "ffmpeg 5.1 hands the module frames " + std::to_string(w)
              + " wide with mangled rows: crop to a multiple of 16 first, e.g. crop=" + std::to_string(w / 16 * 16)
              + ":ih, before the filter";
    return true;
}

} // namespace cli
