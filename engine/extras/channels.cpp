#include "channels.h"

#include "following.h"

namespace extras {

int32_t blendPoint(int32_t shared, int32_t own, double independence)
{
    // An offset keeps the value positive for truncation.
    constexpr int32_t kOffset = 2 * kTopUnits;
    const double moved = independence * (own - shared) * kPointScale;
    return shared * kPointScale + static_cast<int32_t>(moved + 0.5 + kOffset) - kOffset;
}

void detectChannels(const LevelsInstance& record, const levels::ChannelHistograms& hists, uint32_t pixels,
                    Detection shared, double independence, int32_t black[3], int32_t white[3])
{
    for (int c = 0; c < 3; ++c) {
        const Detection own = levels::detectPoints(record, hists[c], pixels);
        black[c] = blendPoint(shared.black, own.black, independence);
        white[c] = blendPoint(shared.white, own.white, independence);
    }
}

} // namespace extras
