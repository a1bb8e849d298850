// Prints tests/data/level_table_digests.inc from this build's tables. Run it from the
// native build only; every other target is checked against what it prints.
#include "table_digest.h"

#include <cstdio>

int main()
{
    std::printf("// Level-table digests per black point 0..255, from the native x86_64 build.\n");
    for (int32_t black = 0; black < 256; ++black)
        std::printf("0x%08xu,%s", static_cast<unsigned>(levelTableDigest(black)), black % 6 == 5 ? "\n" : " ");
    std::printf("\n");
    return 0;
}
