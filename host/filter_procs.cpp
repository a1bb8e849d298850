#include "filter_procs.h"

#include "frame_levelling.h"
#include "levels_instance.h"
#include "settings.h"

#include <cstdio>
#include <cstring>

namespace rangewick {

const char kFilterName[] = "rangewick";
const char kFilterDesc[] = "Optimizes image dynamic range.";
const char kFilterMaker[] = "Corvalent";

namespace {

LevelsInstance& instanceOf(const FilterActivation* fa)
{
    return *static_cast<LevelsInstance*>(fa->filter_data);
}

BitmapView viewOf(const VFBitmap& bm)
{
    return {bm.data, bm.w, bm.h, bm.modulo};
}

} // namespace

int initProc(FilterActivation* fa, const FilterFunctions*) noexcept
{
    resetToDefaults(instanceOf(fa));
    return 0;
}

int runProc(const FilterActivation* fa, const FilterFunctions*) noexcept
{
    levelFrame(viewOf(*fa->src), viewOf(*fa->dst), instanceOf(fa));
    return 0;
}

int32_t paramProc(FilterActivation*, const FilterFunctions*) noexcept
{
    return FILTERPARAM_SWAP_BUFFERS;
}

int startProc(FilterActivation*, const FilterFunctions*) noexcept
{
    return 0;
}

int endProc(FilterActivation*, const FilterFunctions*) noexcept
{
    return 0;
}

bool fssProc(FilterActivation* fa, const FilterFunctions*, char* buf, int len) noexcept
{
    char line[settings::kScriptLineMax + 1];
    return giveScriptLine(line, settings::formatScriptLine(instanceOf(fa), line, sizeof line), buf, len);
}

bool giveScriptLine(const char* line, std::size_t n, char* buf, int len) noexcept
{
    if (buf == nullptr || len <= 0)
        return false;
    if (n >= static_cast<std::size_t>(len)) {
        buf[0] = '\0';
        return false;
    }
    std::memcpy(buf, line, n + 1);
    return true;
}

void stringProc(const FilterActivation* fa, const FilterFunctions*, char* buf) noexcept
{
    const LevelsInstance& inst = instanceOf(fa);
    char highlight[16], shadow[16];
    settings::formatShare(inst.highlightClip, highlight, sizeof highlight);
    settings::formatShare(inst.shadowClip, shadow, sizeof shadow);
    std::snprintf(buf, kHostDescriptionBufferSize, " (%s highlight, %s shadow)", highlight, shadow);
}

void scriptConfig(IScriptInterpreter*, void* lpVoid, CScriptValue* argv, int argc) noexcept
{
    // The host only calls with the four ints "0iiii" declares; anything shorter is
    // not ours to read.
    if (argv == nullptr || argc < settings::kStoredCount)
        return;
    int32_t values[settings::kStoredCount];
    for (int i = 0; i < settings::kStoredCount; ++i)
        values[i] = argv[i].asInt();
    settings::applyStored(instanceOf(static_cast<FilterActivation*>(lpVoid)), values);
}

namespace {

ScriptFunctionDef scriptFunctions[] = {
    {scriptConfig, "Config", "0iiii"},
    {nullptr, nullptr, nullptr},
};

} // namespace

CScriptObject scriptObject = {nullptr, scriptFunctions, nullptr};

} // namespace rangewick
