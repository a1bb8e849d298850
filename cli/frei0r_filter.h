// The frei0r module's filter argument for ffmpeg (-vf frei0r=rangewick:...) that levels
// as the tool does with the same settings, for people who would rather run ffmpeg alone.
#pragma once

#include "options.h"

#include <cstdint>
#include <string>

namespace cli {

// "frei0r=rangewick:" and every parameter in the module's order and units, each value
// the shortest decimal that the module takes back to the tool's setting. Margins are
// shares of the frame, so they need its size: w and h of 0 when it is unknown, which
// only margins of 0 accept. False, with `problem` set, when the settings cannot be
// written; `note` names what the module takes otherwise than the tool (a follow time
// finer than a millisecond, a width ffmpeg mangles).
bool frei0rFilter(const Options& options, int32_t w, int32_t h, std::string& filter, std::string& note,
                  std::string& problem);

} // namespace cli
