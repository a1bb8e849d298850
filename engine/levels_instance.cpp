#include "levels_instance.h"

#include "settings.h"

void resetToDefaults(LevelsInstance& inst)
{
    for (const settings::SettingInfo& s : settings::kStored)
        inst.*s.field = s.initial;
    inst.blackPoint     = 0;
    inst.whitePoint     = 255;
    inst.previewClipped = 0;
    inst.tracking       = 1;
    for (int32_t& entry : inst.levelTable)
        entry = 0;
}

void resetAdvancedLimits(LevelsInstance& inst)
{
    // The limits are the settings held as levels; the shares stay.
    for (const settings::SettingInfo& s : settings::kStored)
        if (s.form == settings::Form::Level)
            inst.*s.field = s.initial;
}

void snapPointsOnNextFrame(LevelsInstance& inst)
{
    inst.tracking = 0;
}
