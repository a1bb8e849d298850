#include "settings.h"

#include "levels_instance.h"
#include "option_table.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace settings {

namespace {

using options::kOptions;

// A stored setting as the option table has it, in the record's whole numbers.
constexpr SettingInfo stored(int option, Form form, int32_t LevelsInstance::*field)
{
    return {kOptions[option].flag + 2, kOptions[option].help, options::lineMax(kOptions[option]),
            options::lineInitial(kOptions[option]), form, field};
}

} // namespace

// Shares in 1/100 %: initially 0.01 % may clip to white and 1.00 % to black.
const SettingInfo kStored[kStoredCount] = {
    stored(options::kHighlightClip, Form::Share, &LevelsInstance::highlightClip),
    stored(options::kShadowClip, Form::Share, &LevelsInstance::shadowClip),
    stored(options::kHighlightsMin, Form::Level, &LevelsInstance::highlightsMin),
    stored(options::kShadowsMax, Form::Level, &LevelsInstance::shadowsMax),
};
static_assert(options::lineMax(kOptions[options::kShadowClip]) == kShareMax
                  && options::lineMax(kOptions[options::kShadowsMax]) == kLevelMax,
              "the record's whole numbers are the option table's");

int32_t clampToRange(const SettingInfo& info, int32_t value)
{
    return value < 0 ? 0 : value > info.max ? info.max : value;
}

void applyStored(LevelsInstance& inst, const int32_t values[kStoredCount])
{
    for (int i = 0; i < kStoredCount; ++i)
        inst.*kStored[i].field = clampToRange(kStored[i], values[i]);
    inst.previewClipped = 0;
}

std::size_t formatScriptLine(const LevelsInstance& inst, char* out, std::size_t outSize)
{
    // "%i" has no locale dependence; snprintf never writes past outSize and terminates.
    static_assert(kStoredCount == 4, "the line carries four values");
    const int n = std::snprintf(out, outSize, "Config(%i, %i, %i, %i)",
                                static_cast<int>(inst.*kStored[0].field), static_cast<int>(inst.*kStored[1].field),
                                static_cast<int>(inst.*kStored[2].field), static_cast<int>(inst.*kStored[3].field));
    return n < 0 ? 0 : static_cast<std::size_t>(n);
}

namespace {

void skipSpace(const char*& p)
{
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')
        ++p;
}

bool readInt(const char*& p, int32_t& value)
{
    skipSpace(p);
    const char* start = p;
    if (*p == '+' || *p == '-')
        ++p;
    if (!std::isdigit(static_cast<unsigned char>(*p)))
        return false;
    long long v = 0;
    while (std::isdigit(static_cast<unsigned char>(*p))) {
        v = v * 10 + (*p - '0');
        if (v > 2147483648LL)
            return false;
        ++p;
    }
    if (*start == '-')
        v = -v;
    if (v > INT32_MAX)
        return false;
    value = static_cast<int32_t>(v);
    return true;
}

bool expect(const char*& p, char c)
{
    skipSpace(p);
    if (*p != c)
        return false;
    ++p;
    return true;
}

} // namespace

bool parseScriptLine(const char* text, int32_t values[kStoredCount])
{
    return parseScriptCall(text, values, kStoredCount);
}

bool parseScriptCall(const char* text, int32_t* values, int count)
{
    const char* p = text;
    skipSpace(p);
    // A line copied from a saved script carries the host's object prefix
    // ("VirtualDub.video.filters.instance[0].Config(...)"): look at the call only.
    for (const char* q = p; *q && *q != '('; ++q)
        if (*q == '.')
            p = q + 1;
    static const char kName[] = "Config";
    for (const char* n = kName; *n; ++n, ++p)
        if (*p != *n)
            return false;
    if (!expect(p, '('))
        return false;
    for (int i = 0; i < count; ++i) {
        if (i > 0 && !expect(p, ','))
            return false;
        if (!readInt(p, values[i]))
            return false;
    }
    if (!expect(p, ')'))
        return false;
    skipSpace(p);
    if (*p == ';')
        ++p;
    skipSpace(p);
    return *p == '\0';
}

std::size_t formatScriptCall(const int32_t* values, int count, char* out, std::size_t outSize)
{
    // Built whole, then cut to outSize as snprintf would cut it. Room for 64 values of
    // ", -2147483648" each; a longer call is cut short, which no caller makes.
    char line[8 + 13 * 64 + 2];
    std::size_t n = 0;
    const auto put = [&](const char* text) {
        for (; *text && n + 1 < sizeof line; ++text)
            line[n++] = *text;
    };
    put("Config(");
    for (int i = 0; i < count; ++i) {
        char number[16];
        std::snprintf(number, sizeof number, i == 0 ? "%i" : ", %i", static_cast<int>(values[i]));
        put(number);
    }
    put(")");
    line[n] = '\0';
    if (outSize > 0) {
        const std::size_t kept = n < outSize ? n : outSize - 1;
        std::memcpy(out, line, kept);
        out[kept] = '\0';
    }
    return n;
}

std::size_t formatShare(int32_t share, char* out, std::size_t outSize)
{
    // Integer arithmetic gives exactly what "%.2f" of share * 0.01 prints, without
    // the C library's locale-dependent decimal point.
    const long long v = share;
    const long long a = v < 0 ? -v : v;
    const int n = std::snprintf(out, outSize, "%s%lld.%02lld", v < 0 ? "-" : "", a / 100, a % 100);
    return n < 0 ? 0 : static_cast<std::size_t>(n);
}

std::size_t formatSettingText(const SettingInfo& info, int32_t value, char* out, std::size_t outSize)
{
    if (info.form == Form::Share)
        return formatShare(value, out, outSize);
    const int n = std::snprintf(out, outSize, "%d", static_cast<int>(value));
    return n < 0 ? 0 : static_cast<std::size_t>(n);
}

TextValue parseSettingText(const SettingInfo& info, const char* text, int32_t& value)
{
    // Sign, digits, and for a share an optional point with one or two decimals. The
    // value is carried in hundredths for a share; digits past any range stop counting
    // (but are still checked) so a long number cannot overflow.
    const char* p = text;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    if (!std::isdigit(static_cast<unsigned char>(*p)))
        return TextValue::Malformed;
    const long long cap = 1000000LL;
    long long v = 0;
    for (; std::isdigit(static_cast<unsigned char>(*p)); ++p)
        if (v < cap)
            v = v * 10 + (*p - '0');
    if (info.form == Form::Share) {
        v *= 100;
        if (*p == '.') {
            ++p;
            if (!std::isdigit(static_cast<unsigned char>(*p)))
                return TextValue::Malformed;
            v += 10 * (*p++ - '0');
            if (std::isdigit(static_cast<unsigned char>(*p)))
                v += *p++ - '0';
        }
    }
    if (*p != '\0')
        return TextValue::Malformed;
    if (negative && v != 0)
        return TextValue::OutOfRange;
    if (v > info.max)
        return TextValue::OutOfRange;
    value = static_cast<int32_t>(v);
    return TextValue::Ok;
}

} // namespace settings
