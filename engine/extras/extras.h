// The extras: levelling beyond the VirtualDub filter's record, shared by the
// command-line tool, the frei0r module and the extended VirtualDub filter. Starting
// afresh at a cut (cuts.h), following in seconds instead of one level a frame
// (following.h), margins left out of the count (margins.h), red, green and blue
// levelled apart (channels.h) and a strength below full (strength.h), put together in
// one frame (frame.cpp). With every option at its default a frame comes out exactly as
// the record's levelFrame makes it, and the record ends the same.
#pragma once

#include "extras/cuts.h"
#include "extras/following.h"
#include "extras/margins.h"
#include "frame_levelling.h"
#include "levels_instance.h"
#include "option_table.h"

#include <cstdint>

namespace extras {

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
    LevelsInstance record;    // the VirtualDub filter's record: its settings, points and table
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

// Settings, options and running state as a new instance has them; leaves the record's
// preview alone.
void setDefaults(Instance& x);

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
FrameResult levelWithExtras(const BitmapView& src, const BitmapView& dst, Instance& x, double frameSeconds);
// The same, each pixel of dst keeping the top byte of its pixel in src.
FrameResult levelWithExtrasKeepingAlpha(const BitmapView& src, const BitmapView& dst, Instance& x,
                                        double frameSeconds);

// What levelWithExtras does to the points and tables, for a host that maps the frame
// itself (on a graphics card): src counted, a cut found, the points followed and the
// tables built for the next frame. Writes no pixel. A frame that starts afresh (`fresh`)
// is mapped with the tables it leaves, any other with those it found.
FrameResult followFrame(const BitmapView& src, Instance& x, double frameSeconds);

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

} // namespace extras
