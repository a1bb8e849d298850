#include "extended_script_line.h"

#include "extended_levelling.h"

namespace filter_extras {

void applyLine(extended::Instance& x, const int32_t values[kLineCount])
{
    settings::applyStored(x.base, values);
    for (int k = 0; k < kExtraCount; ++k)
        setValue(x, k, clampToRange(kExtras[k], values[settings::kStoredCount + k]));
}

void lineOf(const extended::Instance& x, int32_t values[kLineCount])
{
    for (int i = 0; i < settings::kStoredCount; ++i)
        values[i] = x.base.*settings::kStored[i].field;
    for (int k = 0; k < kExtraCount; ++k)
        values[settings::kStoredCount + k] = valueOf(x, k);
}

std::size_t formatScriptLine(const extended::Instance& x, char* out, std::size_t outSize)
{
    int32_t values[kLineCount];
    lineOf(x, values);
    return settings::formatScriptCall(values, kLineCount, out, outSize);
}

} // namespace filter_extras
