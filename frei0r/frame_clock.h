// What a host's time says about a frame, and how long the frame lasted. Hosts count in
// different units (ffmpeg in milliseconds, MLT and GStreamer in seconds), their steps
// vary (variable-rate footage, GStreamer's nanosecond rounding), and some send times
// that mean nothing: ffmpeg sends one bogus time for every frame whose buffer it had to
// copy, and a stream may start with a pre-roll frame far from the rest.
#pragma once

namespace frei0r {

enum class TimeUnit {
    Unknown,        // learned from the first step that only one unit explains
    Milliseconds,   // ffmpeg
    Seconds,        // MLT, GStreamer, and frei0r's own definition
};

enum class Move {
    Start,      // the first frame: start afresh from it
    Next,       // a new frame
    SameTime,   // the last frame's time again: the same frame, or a new one from a stuck clock
    Seek,       // following in seconds, time went back or jumped ahead: start afresh
};

struct Tick {
    Move   move;
    double frameSeconds;   // the gap since the last frame, or the last good one where the
                           // times give none
};

// Steps are read as frame times of rates from kSlowestRate to kFastestRate frames a
// second. Read in seconds such a step lies within 1/240..1, in milliseconds within
// 4.2..1000: no step fits both, so the first step that fits one tells the unit.
constexpr double kSlowestRate = 1;
constexpr double kFastestRate = 240;
// A forward gap longer than this is a jump (seconds); when following in seconds, a seek.
constexpr double kLongestFrameSeconds = 5;
// Shorter gaps are taken for a host's jitter: the last good frame time stands (seconds).
constexpr double kShortestFrameSeconds = 1e-3;
// The frame time before any step gave one: PAL's, the commonest rate of the footage the
// VirtualDub filter was made for.
constexpr double kFirstFrameSeconds = 1.0 / 25;
// Times below this are bogus: ffmpeg's INT64_MIN x time base x 1000 is below -9e12 for
// every time base down to a nanosecond, and no real stream starts thirty years early.
constexpr double kBogusTimeBelow = -1e12;

class FrameClock {
public:
    explicit FrameClock(TimeUnit unit = TimeUnit::Unknown) : unit_(unit) {}

    // Where a frame at `time` stands after the frames seen so far. Only where jumps
    // seek (following in seconds) does time going back, or jumping ahead by more than
    // kLongestFrameSeconds, give Seek; otherwise every frame with a new or an unusable
    // time is Next.
    Tick advance(double time, bool jumpsSeek);

    TimeUnit unit() const { return unit_; }

private:
    // The step in seconds where the unit is known; negative where it is not.
    double secondsOf(double step);

    bool     started_  = false;
    bool     haveTime_ = false;   // `last_` holds a usable time
    double   last_     = 0;       // the last usable time
    double   frame_    = kFirstFrameSeconds;   // the last good frame time, in seconds
    TimeUnit unit_;
};

// The unit the host this process runs frei0r modules in counts time in, where it is one
// we know (found by the libraries it loaded); Unknown otherwise.
TimeUnit hostTimeUnit();

} // namespace frei0r
