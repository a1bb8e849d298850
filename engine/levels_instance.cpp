#include "levels_instance.h"

#include "settings.h"

void resetToDefaults(LevelsInstance& inst)
{
    inst.highlightClip  = settings::kHighlightClipDefault;
    inst.shadowClip     = settings::kShadowClipDefault;
    inst.blackPoint     = 0;
    inst.whitePoint     = 255;
    inst.previewClipped = 0;
    inst.tracking       = 1;
    resetAdvancedLimits(inst);
    for (int32_t& entry : inst.levelTable)
        entry = 0;
}

void resetAdvancedLimits(LevelsInstance& inst)
{
    inst.highlightsMin = settings::kHighlightsMinDefault;
    inst.shadowsMax    = settings::kShadowsMaxDefault;
}

void snapPointsOnNextFrame(LevelsInstance& inst)
{
    inst.tracking = 0;
}
