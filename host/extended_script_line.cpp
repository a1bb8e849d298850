#include "extended_script_line.h"

#include "extras/extras.h"

namespace filter_extras {

void applyLine(extras::Instance& x, const int32_t values[kLineCount])
{
    settings::applyStored(x.record, values);
    for (int k = 0; k < kExtraCount; ++k)
        setValue(x, k, clampToRange(kExtras[k], values[settings::kStoredCount + k]));
}

void lineOf(const extras::Instance& x, int32_t values[kLineCount])
{
    for (int i = 0; i < settings::kStoredCount; ++i)
        values[i] = x.record.*settings::kStored[i].field;
    for (int k = 0; k < kExtraCount; ++k)
        values[settings::kStoredCount + k] = valueOf(x, k);
}

std::size_t formatScriptLine(const extras::Instance& x, char* out, std::size_t outSize)
{
    int32_t values[kLineCount];
    lineOf(x, values);
    return settings::formatScriptCall(values, kLineCount, out, outSize);
}

} // namespace filter_extras
