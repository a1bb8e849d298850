#include "extended_filter_procs.h"

#include "filter_procs.h"

#include "settings.h"

#include <cstdio>
#include <cstring>

namespace rangewick::extended_filter {

const char kFilterName[] = "rangewick extended";
const char kFilterDesc[] = "rangewick with cuts, follow time, margins, independence and strength.";

namespace {

extras::Instance& instanceOf(const FilterActivation* fa)
{
    return *static_cast<extras::Instance*>(fa->filter_data);
}

// The host's frame as the tool and the margins see a picture: top row first. The host's
// rows are bottom-up, so the view starts at the last row in memory and steps back.
BitmapView pictureOf(const VFBitmap& bm)
{
    if (bm.h <= 1)
        return {bm.data, bm.w, bm.h, bm.modulo};
    const std::ptrdiff_t row = static_cast<std::ptrdiff_t>(bm.w) * 4, pitch = row + bm.modulo;
    return {reinterpret_cast<unsigned char*>(bm.data) + pitch * (bm.h - 1), bm.w, bm.h, -pitch - row};
}

} // namespace

int initProc(FilterActivation* fa, const FilterFunctions*) noexcept
{
    extras::setDefaults(instanceOf(fa));
    return 0;
}

int runProc(const FilterActivation* fa, const FilterFunctions*) noexcept
{
    extras::Instance& x = instanceOf(fa);
    // Divided, not multiplied by 1e-6: the tool's --rate 1000000/N gives the same double.
    const int32_t us = fa->pfsi != nullptr ? fa->pfsi->lMicrosecsPerFrame : 0;
    double frameSeconds = static_cast<double>(us) / 1000000;
    if (us <= 0)
        frameSeconds = x.options.followTime / 255;   // no frame time: one level a frame, as rangewick
    extras::levelWithExtras(pictureOf(*fa->src), pictureOf(*fa->dst), x, frameSeconds);
    return 0;
}

int startProc(FilterActivation* fa, const FilterFunctions*) noexcept
{
    extras::Instance& x = instanceOf(fa);
    if (x.options.cuts != 0)
        extras::startAfreshOnNextFrame(x);
    return 0;
}

bool fssProc(FilterActivation* fa, const FilterFunctions*, char* buf, int len) noexcept
{
    char line[filter_extras::kScriptLineMax + 1];
    return rangewick::giveScriptLine(line, filter_extras::formatScriptLine(instanceOf(fa), line, sizeof line), buf, len);
}

void stringProc(const FilterActivation* fa, const FilterFunctions*, char* buf) noexcept
{
    const extras::Instance& x = instanceOf(fa);
    char highlight[16], shadow[16];
    settings::formatShare(x.record.highlightClip, highlight, sizeof highlight);
    settings::formatShare(x.record.shadowClip, shadow, sizeof shadow);
    char text[256];
    int n = std::snprintf(text, sizeof text, " (%s highlight, %s shadow", highlight, shadow);
    const auto add = [&](const char* part) {
        const int room = static_cast<int>(sizeof text) - n;
        const int added = std::snprintf(text + n, static_cast<std::size_t>(room), "%s", part);
        n += added < room ? added : room - 1;
    };
    for (int k = filter_extras::kCuts; k < filter_extras::kMarginTop; ++k) {
        if (!filter_extras::isOn(x, k))
            continue;
        const filter_extras::ExtraInfo& info = filter_extras::kExtras[k];
        char value[16], part[48];
        filter_extras::formatText(info, filter_extras::valueOf(x, k), value, sizeof value);
        if (info.form == filter_extras::Form::Switch)
            std::snprintf(part, sizeof part, ", %s", info.name);
        else
            std::snprintf(part, sizeof part, ", %s %s%s", info.name, value,
                          info.form == filter_extras::Form::Milliseconds ? " s" : "%");
        add(part);
    }
    bool margins = false;
    for (int k = filter_extras::kMarginTop; k < filter_extras::kExtraCount; ++k)
        margins = margins || filter_extras::isOn(x, k);
    if (margins) {
        char part[64];
        std::snprintf(part, sizeof part, ", margins %d/%d/%d/%d", static_cast<int>(x.options.margins[extras::kTop]),
                      static_cast<int>(x.options.margins[extras::kRight]),
                      static_cast<int>(x.options.margins[extras::kBottom]),
                      static_cast<int>(x.options.margins[extras::kLeft]));
        add(part);
    }
    add(")");
    std::snprintf(buf, kHostDescriptionBufferSize, "%s", text);
}

void scriptConfig(IScriptInterpreter*, void* lpVoid, CScriptValue* argv, int argc) noexcept
{
    if (argv == nullptr || argc < filter_extras::kLineCount)
        return;
    int32_t values[filter_extras::kLineCount];
    for (int i = 0; i < filter_extras::kLineCount; ++i)
        values[i] = argv[i].asInt();
    filter_extras::applyLine(instanceOf(static_cast<FilterActivation*>(lpVoid)), values);
}

void scriptConfigFour(IScriptInterpreter*, void* lpVoid, CScriptValue* argv, int argc) noexcept
{
    if (argv == nullptr || argc < settings::kStoredCount)
        return;
    int32_t values[filter_extras::kLineCount] = {};
    for (int i = 0; i < settings::kStoredCount; ++i)
        values[i] = argv[i].asInt();
    for (int k = 0; k < filter_extras::kExtraCount; ++k)
        values[settings::kStoredCount + k] = filter_extras::kExtras[k].initial;
    filter_extras::applyLine(instanceOf(static_cast<FilterActivation*>(lpVoid)), values);
}

namespace {

// "0" and one 'i' per value of the line.
constexpr char kArguments[] = "0iiiiiiiiiiii";
static_assert(sizeof kArguments == 1 + filter_extras::kLineCount + 1, "one 'i' per value of the script line");

ScriptFunctionDef scriptFunctions[] = {
    {scriptConfig, "Config", kArguments},
    {scriptConfigFour, "Config", "0iiii"},
    {nullptr, nullptr, nullptr},
};

} // namespace

CScriptObject scriptObject = {nullptr, scriptFunctions, nullptr};

} // namespace rangewick::extended_filter
