// The OBS module: one video filter, its texts from data/locale.
#include "filter.h"

#include <obs-module.h>

OBS_DECLARE_MODULE()
OBS_MODULE_USE_DEFAULT_LOCALE("rangewick", "en-US")

MODULE_EXPORT const char* obs_module_description(void)
{
    return "Automatic levels that follow the light: rangewick's levelling as a video filter.";
}

bool obs_module_load(void)
{
    obs_register_source(&obs_levels::filterInfo());
    return true;
}
