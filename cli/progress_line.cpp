#include "progress_line.h"

#include <cstdio>

namespace cli {

ProgressLine::ProgressLine(bool on) : on_(on), start_(Clock::now()), last_(start_) {}

void ProgressLine::frameDone(uint64_t frames, int permille)
{
    if (!on_)
        return;
    lastPermille_ = permille;
    const auto now = Clock::now();
    if (now - last_ < std::chrono::milliseconds(250))
        return;
    last_ = now;
    print(frames, permille, now);
}

void ProgressLine::finish(uint64_t frames)
{
    if (!on_)
        return;
    print(frames, lastPermille_ < 0 ? -1 : 1000, Clock::now());
    std::fputc('\n', stderr);
}

void ProgressLine::print(uint64_t frames, int permille, Clock::time_point now)
{
    // In whole numbers: i686 compilers turn 64-bit integers into doubles on the x87
    // unit, and the project's i686 code is held to SSE2 alone.
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - start_).count();
    const uint64_t tenths = ms > 0 ? frames * 10000 / static_cast<uint64_t>(ms) : 0;
    std::fprintf(stderr, "\rrangewick: %llu frames, %llu.%u fps ", static_cast<unsigned long long>(frames),
                 static_cast<unsigned long long>(tenths / 10), static_cast<unsigned>(tenths % 10));
    if (permille >= 0) {
        std::fprintf(stderr, "%3d%% ", permille / 10);
        // The time left at the pace so far, once there is a pace to go by.
        if (permille > 0 && permille < 1000 && ms > 0) {
            const uint64_t left = static_cast<uint64_t>(ms) * static_cast<uint64_t>(1000 - permille)
                                / static_cast<uint64_t>(permille) / 1000;
            std::fprintf(stderr, "%llu:%02u left ", static_cast<unsigned long long>(left / 60),
                         static_cast<unsigned>(left % 60));
        } else {
            std::fputs("         ", stderr);
        }
    }
    std::fflush(stderr);
}

} // namespace cli
