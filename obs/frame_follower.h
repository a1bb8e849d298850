// What the OBS filter does between frames, apart from the graphics card: which picture
// is counted when, the points followed over OBS's frame times, and the level tables
// each frame is drawn with. The card draws; this part decides and counts.
//
// A frame's picture is counted a frame later, when reading it back no longer waits for
// the card: the engine's rule already maps a frame with the tables the frame before
// left. Only a frame that starts afresh (the first, after a stop, a new size or a
// changed setting), and every frame while cuts are on (a cut is drawn with its own
// tables), is read back and counted at once.
#pragma once

#include "extras/extras.h"

#include <cstdint>
#include <memory>

namespace obs_levels {

// The filter's settings in the engine's units.
struct Settings {
    int32_t         highlightClip;    // 1/100 %
    int32_t         shadowClip;
    int32_t         highlightsMin;    // levels
    int32_t         shadowsMax;
    int32_t         previewClipped;
    extras::Options options;
};

// Live video's default follow time: the points cross the whole range in 2 s, so a lamp
// switched on or a cloud passing is settled in about a second, whatever the frame rate,
// while someone in a white shirt walking through the picture moves them little.
constexpr double kLiveFollowTime = 2;

// The engine's defaults with live video's follow time.
Settings defaultSettings();

// A frame time gap longer than this, and than this many of OBS's frames, means the
// filter was not drawn meanwhile: its source stopped (hidden, or off every scene shown)
// and starts afresh when it is back.
constexpr uint64_t kStoppedAfterNs = 500000000;
constexpr double   kStoppedAfterFrames = 3;

// One texel per level, in the bytes of a BGRA texture: the blue, green and red tables'
// outputs and 255.
struct LevelTexels {
    uint8_t bgra[256][4];
};

class FrameFollower {
public:
    FrameFollower();

    // Settings for the frames from the next one on.
    void use(const Settings& settings);
    // The next frame starts afresh from itself (a scene switch with cuts on).
    void startAfresh();

    struct Plan {
        bool countLastFirst;   // count the picture read back last frame (countLast)
        bool countNow;         // read this frame back and count it now (countThis)
    };
    // A new OBS frame at `timeNs` with a picture w x h. `frameSeconds`: OBS's frame
    // interval, the gap of a first frame.
    Plan newFrame(uint64_t timeNs, int32_t w, int32_t h, double frameSeconds);
    // The last frame's picture, read back now. A picture that could not be read back is
    // given as nullptr: the frame after it starts afresh.
    void countLast(const BitmapView* picture);
    // This frame's picture: read back now (plan.countNow), or kept to be counted on the
    // next frame (nullptr; the caller has staged it).
    void countThis(const BitmapView* picture);

    // The tables this frame is drawn with (every level unchanged before a frame was
    // counted), and whether they changed since last asked.
    const LevelTexels& texels() const { return texels_; }
    bool takeTexelsChanged();

    const extras::Instance& instance() const { return *x_; }

private:
    void takeTables();

    std::unique_ptr<extras::Instance> x_;   // large: histograms and tables
    Settings    settings_;
    bool        settingsChanged_ = false;
    bool        fresh_ = true;          // the frame being handled starts afresh
    bool        restart_ = true;        // the next frame starts afresh
    bool        pending_ = false;       // last frame's picture waits to be counted
    double      pendingSeconds_ = 0;
    double      seconds_ = 0;           // the frame being handled
    bool        haveLast_ = false;
    uint64_t    lastNs_ = 0;
    int32_t     w_ = 0, h_ = 0;
    LevelTexels texels_{};
    bool        texelsChanged_ = true;
};

} // namespace obs_levels
