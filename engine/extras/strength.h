// A strength below full: each level only part of the way to where the levelling takes it.
#pragma once

#include <cstdint>

namespace extras {

// Each entry of a level table moved from its own level by `strength` of the way to the
// table's, rounded to nearest (halves up); then the clipped preview, which shows what
// clips in the output as it is.
void weakenTable(int32_t table[256], double strength, bool previewClipped);

} // namespace extras
