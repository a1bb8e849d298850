// The levelling rule and the record's frame: detect the points from a histogram,
// follow them, build the level table, and level a frame through the chosen pass.
#include "frame_levelling.h"

#include <cstdint>
#include <cstring>

namespace levels {

namespace {

// Samples allowed to clip for a share in 1/100 %; a nonzero share clips at least one.
uint32_t clipCount(int32_t share, uint32_t sampleCount)
{
    uint32_t count = static_cast<uint32_t>(static_cast<int64_t>(share) * sampleCount / 10000);
    if (count == 0 && share > 0)
        count = 1;
    return count;
}

// A frame through `pass`. The pass maps with a copy of the table on the stack, which the
// stores to the frame cannot alias, so that the compiler need not read table entries
// again after each pixel written.
Detection levelWith(PixelPass pass, const BitmapView& src, const BitmapView& dst, LevelsInstance& inst)
{
    if (src.w <= 0 || src.h <= 0)
        return {inst.blackPoint, inst.whitePoint};

    int32_t table[256];
    std::memcpy(table, inst.levelTable, sizeof table);
    Histogram hist = {};
    pass(src, dst, table, hist);
    return updatePoints(inst, hist, sampleCount(src));
}

} // namespace

Detection detectPoints(const LevelsInstance& inst, const Histogram& hist, uint32_t sampleCount)
{
    const uint32_t shadowCount    = clipCount(inst.shadowClip, sampleCount);
    const uint32_t highlightCount = clipCount(inst.highlightClip, sampleCount);

    // Black point: the first level at which the darkest samples reach the allowance,
    // looking no higher than shadowsMax.
    int32_t black = inst.shadowsMax;
    uint32_t sum = 0;
    for (int32_t i = 0; i < inst.shadowsMax; ++i) {
        sum += hist[i];
        if (sum >= shadowCount) {
            black = i;
            break;
        }
    }

    // White point: the same from the top, looking no lower than highlightsMin + 1.
    int32_t white = inst.highlightsMin;
    sum = 0;
    for (int32_t i = 255; i != inst.highlightsMin; --i) {
        sum += hist[i];
        if (sum >= highlightCount) {
            white = i;
            break;
        }
    }

    // Crossed points meet in the middle, one level apart.
    if (black > white) {
        const int32_t mid = (black + white) / 2;
        if (mid > 0) {
            white = mid;
            black = mid - 1;
        } else {
            black = 0;
            white = 1;
        }
    }
    return {black, white};
}

Detection updatePoints(LevelsInstance& inst, const Histogram& hist, uint32_t sampleCount)
{
    const Detection found = detectPoints(inst, hist, sampleCount);
    if (inst.tracking != 0) {
        // The black point creeps both ways; the white point creeps down but jumps up,
        // so highlights never clip for more than the one frame that reveals them.
        if (found.black < inst.blackPoint)
            --inst.blackPoint;
        else if (found.black > inst.blackPoint)
            ++inst.blackPoint;
        if (found.white < inst.whitePoint)
            --inst.whitePoint;
        else if (found.white > inst.whitePoint)
            inst.whitePoint = found.white;
    } else {
        inst.blackPoint = found.black;
        inst.whitePoint = found.white;
        inst.tracking   = 1;
    }

    buildLevelTable(inst);
    return found;
}

void buildLevelTable(LevelsInstance& inst)
{
    buildLevelTable(inst.blackPoint, inst.whitePoint, inst.previewClipped != 0, inst.levelTable);
}

void buildLevelTable(double black, double white, bool previewClipped, int32_t table[256])
{
    // Worked out in IEEE double with SSE2 on every target (see the build's floating-point
    // flags): the x87 unit's wider intermediates would round some entries differently.
    // Whole-level points give exactly the integer differences they always gave.
    const double range = white - black;
    const double scale = range == 0 ? 0.0 : 255.0 / range;
    for (int32_t i = 0; i < 256; ++i) {
        double k = i - black;
        if (k < 0)
            k = 0;
        const double product = scale * k;
        int32_t e = static_cast<int32_t>(product + 0.5);
        if (e > 255)
            e = 255;
        if (previewClipped && e > 0 && e < 255)
            e = 127;
        table[i] = e;
    }
}

} // namespace levels

Detection levelFrame(const BitmapView& src, const BitmapView& dst, LevelsInstance& inst)
{
    return levels::levelWith(levels::framePass(false), src, dst, inst);
}

Detection levelFrameKeepingAlpha(const BitmapView& src, const BitmapView& dst, LevelsInstance& inst)
{
    return levels::levelWith(levels::framePass(true), src, dst, inst);
}

void primeFromFrame(const BitmapView& src, LevelsInstance& inst)
{
    snapPointsOnNextFrame(inst);
    if (src.w <= 0 || src.h <= 0)
        return;
    Histogram hist = {};
    levels::countFrame(src, inst.levelTable, hist);
    levels::updatePoints(inst, hist, levels::sampleCount(src));
}
