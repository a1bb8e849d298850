// What a host's time says about a frame: the next one of the stream, the same one
// again, or a new start. Hosts count in different units (ffmpeg in milliseconds, MLT
// and GStreamer in seconds) and GStreamer's steps differ by a nanosecond's rounding, so
// the step between frames is learned from the stream itself.
#pragma once

namespace frei0r {

enum class Move {
    Start,   // the first frame, or one with no usable time
    Next,    // the frame after the last one
    Again,   // the last frame once more (a paused editor, the end of a clip)
    Seek,    // time went back, or jumped ahead by clearly more than a step
};

// A step longer than this many learned steps is a jump, not the next frame.
constexpr double kJumpSteps = 1.5;
// A time within this share of a learned step of the last one is the same time.
constexpr double kSameTimeSteps = 1e-3;
// Steps of at least this many units are milliseconds (ffmpeg below 250 fps), shorter
// ones seconds (MLT and GStreamer above 0.25 fps).
constexpr double kMillisecondSteps = 4;

class FrameClock {
public:
    // Where a frame at `time` stands after the frames seen so far.
    Move advance(double time);

    // The last step followed, in seconds; 0 before there is one.
    double stepSeconds() const;

private:
    bool   started_ = false;
    double last_    = 0;    // time of the last frame
    double step_    = 0;    // the last step followed; 0 until there is one
};

} // namespace frei0r
