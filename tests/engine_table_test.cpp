// Every target must build the same level tables: the 32-bit Windows build would
// otherwise round some entries differently on the x87 unit. The digests were printed by
// the native build (tests/tools/level_table_digests) and every build is held to them.
#include "table_digest.h"

#include <gtest/gtest.h>

namespace {

const uint32_t kDigests[256] = {
#include "data/level_table_digests.inc"
};

TEST(LevelTable, SameOnEveryTargetForEveryPairOfPoints)
{
    int mismatches = 0;
    for (int32_t black = 0; black < 256; ++black) {
        const uint32_t got = levelTableDigest(black);
        if (got != kDigests[black] && ++mismatches <= 5)
            ADD_FAILURE() << "tables for black point " << black << " differ from the native build's";
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(LevelTable, EntriesRiseFromZeroToFullScale)
{
    LevelsInstance inst{};
    for (int32_t black = 0; black < 256; ++black)
        for (int32_t white = black + 1; white < 256; ++white) {
            inst.blackPoint = black;
            inst.whitePoint = white;
            levels::buildLevelTable(inst);
            ASSERT_EQ(inst.levelTable[black], 0);
            ASSERT_EQ(inst.levelTable[white], 255);
            for (int i = 1; i < 256; ++i)
                ASSERT_GE(inst.levelTable[i], inst.levelTable[i - 1]) << black << " " << white << " " << i;
        }
}

} // namespace
