// One run of the tool on raw frames: read them, level them, write them, with the options
// given.
#pragma once

#include "options.h"

namespace extras {
struct Instance;
}

namespace cli {

// A fresh instance with the settings and extras of `options`.
void applySettings(const Options& options, extras::Instance& x);

// Returns the exit status; every failure is reported as one line on standard error.
int runLevelling(const Options& options);

} // namespace cli
