// The OBS video filter "rangewick_filter": OBS's side of the levelling. The source's
// picture is drawn into a texture, copied back for counting, and drawn through the
// level tables on the graphics card.
#pragma once

struct obs_source_info;

namespace obs_levels {

constexpr const char* kFilterId = "rangewick_filter";

// The filter's entry for obs_register_source.
const obs_source_info& filterInfo();

} // namespace obs_levels
