// One run of the tool: read frames, level them, write them, with the options given.
#pragma once

#include "options.h"

namespace cli {

// Returns the exit status; every failure is reported as one line on standard error.
int runLevelling(const Options& options);

} // namespace cli
