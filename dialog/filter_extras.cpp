#include "filter_extras.h"

#include "extras/extras.h"

#include <climits>
#include <cstdio>

namespace filter_extras {

namespace {

constexpr int32_t kMsPerSecond = 1000;
constexpr int32_t kPercent = 100;

constexpr ExtraInfo extra(int option, Form form)
{
    return {options::kOptions[option].name, options::lineMax(options::kOptions[option]),
            options::lineInitial(options::kOptions[option]), form};
}

} // namespace

// As the option table has them, in the script line's whole numbers. Margins take any
// 32-bit count of pixels; whether they leave a picture depends on the frame, which a
// script line does not know.
const ExtraInfo kExtras[kExtraCount] = {
    extra(options::kCuts, Form::Switch),
    extra(options::kFollowTime, Form::Milliseconds),
    extra(options::kStrength, Form::Percent),
    extra(options::kIndependence, Form::Percent),
    extra(options::kMarginTop, Form::Pixels),
    extra(options::kMarginRight, Form::Pixels),
    extra(options::kMarginBottom, Form::Pixels),
    extra(options::kMarginLeft, Form::Pixels),
};
static_assert(options::kOptions[options::kFollowTime].lineScale == kMsPerSecond
                  && options::kOptions[options::kStrength].lineScale == kPercent
                  && options::kOptions[options::kIndependence].lineScale == kPercent,
              "the whole numbers below are the option table's");

static_assert(kMarginRight - kMarginTop == extras::kRight && kMarginBottom - kMarginTop == extras::kBottom
                  && kMarginLeft - kMarginTop == extras::kLeft,
              "the margins in the engine's order of sides");

int32_t clampToRange(const ExtraInfo& info, int32_t value)
{
    return value < 0 ? 0 : value > info.max ? info.max : value;
}

int32_t valueOf(const extras::Instance& x, int extra)
{
    // Options only ever set from whole numbers: the nearest one is the one set.
    const extras::Options& o = x.options;
    switch (extra) {
    case kCuts:
        return o.cuts != 0 ? 1 : 0;
    case kFollowTime:
        return static_cast<int32_t>(o.followTime * kMsPerSecond + 0.5);
    case kStrength:
        return static_cast<int32_t>(o.strength * kPercent + 0.5);
    case kIndependence:
        return static_cast<int32_t>(o.independence * kPercent + 0.5);
    default:
        return o.margins[extra - kMarginTop];
    }
}

void setValue(extras::Instance& x, int extra, int32_t value)
{
    // Divided, not multiplied by a reciprocal: 1500 / 1000 is the double the tool reads
    // from "1.5" (15 / 10), both the quotient correctly rounded.
    extras::Options& o = x.options;
    switch (extra) {
    case kCuts:
        o.cuts = value;
        break;
    case kFollowTime:
        o.followTime = static_cast<double>(value) / kMsPerSecond;
        break;
    case kStrength:
        o.strength = static_cast<double>(value) / kPercent;
        break;
    case kIndependence:
        o.independence = static_cast<double>(value) / kPercent;
        break;
    default:
        o.margins[extra - kMarginTop] = value;
        break;
    }
}

void resetExtras(extras::Instance& x)
{
    for (int k = 0; k < kExtraCount; ++k)
        setValue(x, k, kExtras[k].initial);
}

bool isOn(const extras::Instance& x, int extra)
{
    return valueOf(x, extra) != kExtras[extra].initial;
}

std::size_t formatText(const ExtraInfo& info, int32_t value, char* out, std::size_t outSize)
{
    int n = 0;
    if (info.form == Form::Milliseconds && value % kMsPerSecond != 0) {
        // Seconds with the decimals a millisecond count needs, no trailing zeros.
        int32_t fraction = value % kMsPerSecond, digits = 3;
        for (; fraction % 10 == 0; fraction /= 10)
            --digits;
        n = std::snprintf(out, outSize, "%d.%0*d", static_cast<int>(value / kMsPerSecond), static_cast<int>(digits),
                          static_cast<int>(fraction));
    } else {
        n = std::snprintf(out, outSize, "%d",
                          static_cast<int>(info.form == Form::Milliseconds ? value / kMsPerSecond : value));
    }
    return n < 0 ? 0 : static_cast<std::size_t>(n);
}

TextValue parseText(const ExtraInfo& info, const char* text, int32_t& value)
{
    // Digits past any range stop counting (but are still read) so that a long number
    // cannot overflow; it is out of range all the same.
    const bool seconds = info.form == Form::Milliseconds;
    constexpr int64_t kCap = int64_t{1} << 40;
    const char* p = text;
    int64_t v = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        if (v < kCap)
            v = v * 10 + (*p - '0');
    bool finer = false;   // a digit below the millisecond that is not 0
    if (seconds) {
        v *= kMsPerSecond;
        if (*p == '.') {
            // "2." and ".5" are what a user has typed on the way to "2.5" and "0.5".
            int place = kMsPerSecond;
            for (++p; *p >= '0' && *p <= '9'; ++p) {
                place /= 10;
                if (place > 0)
                    v += (*p - '0') * place;
                else
                    finer = finer || *p != '0';
            }
        }
    }
    if (*p != '\0')
        return TextValue::Malformed;
    if (v > info.max)
        return TextValue::OutOfRange;
    if (finer)
        return TextValue::TooFine;
    value = static_cast<int32_t>(v);
    return TextValue::Ok;
}

} // namespace filter_extras
