// The filter's settings as OBS keeps them: one key per setting of the option table, in
// units people read (percent, levels, seconds, pixels), with OBS's own controls.
#pragma once

#include "frame_follower.h"

struct obs_data;
struct obs_properties;

namespace obs_levels {

// The key a setting is saved under in OBS's data: its name with '_' for spaces
// ("follow_time").
const char* keyOf(int option);

void setDefaults(obs_data* data);
obs_properties* makeProperties();
// The settings in `data`, each brought into its range.
Settings settingsFrom(obs_data* data);

} // namespace obs_levels
