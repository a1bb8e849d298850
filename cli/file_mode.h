// rangewick IN OUT: a film levelled in one go through FFmpeg's libraries, its sound and
// every other stream carried over. Built only where the libraries are (not on Windows).
#pragma once

#include "options.h"

#include <cstdint>
#include <string>

namespace cli {

// Returns the exit status; every failure is reported as one line on standard error, and
// no OUT is left that could pass for a finished film.
int runFileLevelling(const Options& options);

// The size of IN's video, for --ffmpeg-filter's margins. False, with `error` one line,
// when IN cannot be read or has no video.
bool videoSize(const std::string& path, int32_t& w, int32_t& h, std::string& error);

} // namespace cli
