// Levelling beyond the VirtualDub filter's record, shared by the command-line tool, the
// frei0r module and the extended VirtualDub filter: starting afresh at a cut, following
// in seconds instead of one level a frame, margins left out of the count, red, green and
// blue levelled apart (independence), and a strength below full. With every option at its default a frame comes out exactly as levelFrame
// makes it, and the record ends the same.
#pragma once

#include "frame_levelling.h"
#include "levels_instance.h"
#include "option_table.h"

#include <cstdint>

namespace extended {

// The longest follow time, in seconds.
constexpr double kFollowTimeMax = options::kFollowTimeMax;
// Points that follow in seconds are kept in 1/kPointScale of a level: whole numbers,
// so every build and every host moves them alike, and frame times that differ by a
// host's rounding (GStreamer's nanoseconds, ffmpeg's milliseconds) move them alike too.
constexpr int32_t kPointScale = 4096;
// A frame is a cut when its samples lie, on average, at least kCutLevels from where the
// frame before had them (the area between the two cumulative histograms), or at least
// kReshapedCutLevels when the histogram also changed its shape by kReshapeLevels or
// more (see unexplainedDistance). A fade to or from black over half a second moves a
// picture by at most about 21 levels a frame at 24 fps, but keeps its shape (0.5 levels
// unexplained, measured); a pan or a light moves it by 10 or less. Two photographs of
// about the same brightness measured 24 to 27 levels apart, 8 unexplained. Shots whose
// histograms lie closer than this pass as one.
constexpr double kCutLevels         = 25;
constexpr double kReshapedCutLevels = 22;
constexpr double kReshapeLevels     = 4;

// Sides of the margins, in the order they are given in.
enum Side { kTop, kRight, kBottom, kLeft };

struct Options {
    int32_t cuts;          // nonzero: start afresh at a cut
    double  followTime;    // seconds the points take to cross 0..255; 0: one level a frame
    double  strength;      // 0..1: the share of the levelling's change applied; 1: all of it
    double  independence;  // 0..1: 0 one pair of points for all channels, 1 a pair per channel
    int32_t margins[4];    // pixels at each Side left out of the count (still mapped)
};

// What follows from frame to frame besides the record's points and table.
struct Running {
    int32_t   black;          // points in use, in 1/kPointScale of a level
    int32_t   white;
    int32_t   havePrevious;   // nonzero: `previous` is the last frame's histogram
    int32_t   startAfresh;    // nonzero: the next frame counted starts afresh, as at a cut
    uint32_t  previousSamples;
    Histogram previous;
    // With independence above 0: each channel's points in use (point units) and table,
    // in the order of a pixel's bytes (blue, green, red).
    int32_t               channelBlack[3];
    int32_t               channelWhite[3];
    levels::ChannelTables channelTables;
};

// One frame's working memory, kept in the instance so that a frame takes no more stack
// than the record's levelling: the tables the frame is mapped with and its counts.
struct FrameScratch {
    int32_t                   table[256];
    levels::ChannelTables     channelTables;
    Histogram                 hist;
    levels::ChannelHistograms channelHists;
};

// Plain data: a host may allocate and copy it byte for byte.
struct Instance {
    LevelsInstance base;      // the VirtualDub filter's record: its settings, points and table
    Options        options;
    Running        running;
    FrameScratch   scratch;
};

struct FrameResult {
    Detection detected;       // with independence above 0: the shared detection
    bool      fresh;          // the frame started afresh (a cut)
};

// Whether the channels are levelled apart (independence above 0).
inline bool levelsChannelsApart(const Instance& x)
{
    return x.options.independence > 0;
}

// Whether margins leave anything of a w x h frame to count.
bool marginsLeaveAPicture(const int32_t margins[4], int32_t w, int32_t h);

// Settings, options and running state as a new instance has them; leaves base.preview alone.
void resetToDefaults(Instance& x);

// A fresh start on this frame, as on a first frame: its detection becomes the points in
// use and the table is built from them. Writes no pixel.
void prime(const BitmapView& src, Instance& x);

// The next frame that has anything to count starts afresh from itself, as at a cut: for
// a host that says when a run starts but shows no frame then.
void startAfreshOnNextFrame(Instance& x);

// Whether src counts exactly as the last frame levelled counted: the same histogram
// inside the margins (with the same number of samples). Uses the frame's working memory;
// writes no pixel and leaves the running state alone. False before any frame was counted.
bool countsAsTheLastFrame(const BitmapView& src, Instance& x);

// The tables built again from the points in use, for a changed strength or clipped
// preview: the points go on following as they were.
void rebuildTables(Instance& x);

// Levels one frame `frameSeconds` after the one before (the time matters only when
// following in seconds). src and dst may be the same frame. Where the margins leave
// nothing to count, the frame is mapped and the points stay as they were.
FrameResult levelFrame(const BitmapView& src, const BitmapView& dst, Instance& x, double frameSeconds);
// The same, each pixel of dst keeping the top byte of its pixel in src.
FrameResult levelFrameKeepingAlpha(const BitmapView& src, const BitmapView& dst, Instance& x,
                                   double frameSeconds);

// The points in use as levels: whole ones, or between levels when following in seconds.
// Inline: on i686 a double returned from a call comes back on the x87 stack.
inline double blackInUse(const Instance& x)
{
    return static_cast<double>(x.running.black) / kPointScale;
}
inline double whiteInUse(const Instance& x)
{
    return static_cast<double>(x.running.white) / kPointScale;
}

} // namespace extended
