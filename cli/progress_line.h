// The run's progress on standard error, redrawn in place a few times a second: frames
// done and frames per second, and for a film how far it is and the time left.
#pragma once

#include <chrono>
#include <cstdint>

namespace cli {

class ProgressLine {
public:
    explicit ProgressLine(bool on);

    // `permille`: how far through the input, 0..1000; negative where that is not known.
    void frameDone(uint64_t frames, int permille = -1);
    void finish(uint64_t frames);

    bool on() const { return on_; }

private:
    using Clock = std::chrono::steady_clock;

    void print(uint64_t frames, int permille, Clock::time_point now);

    bool              on_;
    Clock::time_point start_;
    Clock::time_point last_;
    int               lastPermille_ = -1;
};

} // namespace cli
