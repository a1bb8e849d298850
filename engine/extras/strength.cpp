#include "strength.h"

namespace extras {

void weakenTable(int32_t table[256], double strength, bool previewClipped)
{
    for (int32_t i = 0; i < 256; ++i) {
        // Never below 0, so truncating is rounding down.
        int32_t e = static_cast<int32_t>(i + strength * (table[i] - i) + 0.5);
        if (previewClipped && e > 0 && e < 255)
            e = 127;
        table[i] = e;
    }
}

} // namespace extras
