#include "frame_follower.h"

#include <algorithm>
#include <cstring>

namespace obs_levels {

Settings defaultSettings()
{
    extras::Instance x;
    extras::setDefaults(x);
    Settings s;
    s.highlightClip = x.record.highlightClip;
    s.shadowClip = x.record.shadowClip;
    s.highlightsMin = x.record.highlightsMin;
    s.shadowsMax = x.record.shadowsMax;
    s.previewClipped = x.record.previewClipped;
    s.options = x.options;
    s.options.followTime = kLiveFollowTime;
    return s;
}

namespace {

// Whether two settings level alike but for the strength, which only rebuilds the tables
// so that the picture fades while the points go on following.
bool sameButStrength(const Settings& a, const Settings& b)
{
    Settings x = a, y = b;
    x.options.strength = y.options.strength = 1;
    return x.highlightClip == y.highlightClip && x.shadowClip == y.shadowClip && x.highlightsMin == y.highlightsMin
        && x.shadowsMax == y.shadowsMax && x.previewClipped == y.previewClipped && x.options.cuts == y.options.cuts
        && x.options.followTime == y.options.followTime && x.options.independence == y.options.independence
        && std::memcmp(x.options.margins, y.options.margins, sizeof x.options.margins) == 0;
}

void write(const Settings& s, extras::Instance& x)
{
    x.record.highlightClip = s.highlightClip;
    x.record.shadowClip = s.shadowClip;
    x.record.highlightsMin = s.highlightsMin;
    x.record.shadowsMax = s.shadowsMax;
    x.record.previewClipped = s.previewClipped;
    x.options = s.options;
}

} // namespace

FrameFollower::FrameFollower() : x_(new extras::Instance{}), settings_(defaultSettings())
{
    extras::setDefaults(*x_);
    write(settings_, *x_);
    for (int i = 0; i < 256; ++i) {
        const uint8_t level = static_cast<uint8_t>(i);
        texels_.bgra[i][0] = texels_.bgra[i][1] = texels_.bgra[i][2] = level;
        texels_.bgra[i][3] = 255;
    }
}

void FrameFollower::use(const Settings& settings)
{
    if (!sameButStrength(settings, settings_))
        restart_ = true;
    settings_ = settings;
    settingsChanged_ = true;
}

void FrameFollower::startAfresh()
{
    restart_ = true;
}

FrameFollower::Plan FrameFollower::newFrame(uint64_t timeNs, int32_t w, int32_t h, double frameSeconds)
{
    // At a low frame rate a stop is a few frames missed, not half a second.
    const double stopSeconds = std::max(kStoppedAfterNs / 1e9, kStoppedAfterFrames * frameSeconds);
    const bool stopped = haveLast_ && (timeNs < lastNs_ || static_cast<double>(timeNs - lastNs_) / 1e9 > stopSeconds);
    fresh_ = restart_ || !haveLast_ || stopped || w != w_ || h != h_;
    restart_ = false;
    seconds_ = haveLast_ && !stopped ? static_cast<double>(timeNs - lastNs_) / 1e9 : frameSeconds;
    haveLast_ = true;
    lastNs_ = timeNs;
    w_ = w;
    h_ = h;
    if (settingsChanged_) {
        write(settings_, *x_);
        if (!fresh_)
            extras::rebuildTables(*x_);   // only the strength changed
        settingsChanged_ = false;
    }
    const Plan plan = {pending_ && !fresh_, fresh_ || x_->options.cuts != 0};
    if (fresh_)
        pending_ = false;
    if (!plan.countLastFirst)
        takeTables();
    return plan;
}

void FrameFollower::countLast(const BitmapView* picture)
{
    pending_ = false;
    if (picture)
        extras::followFrame(*picture, *x_, pendingSeconds_);
    else
        restart_ = true;
    takeTables();
}

void FrameFollower::countThis(const BitmapView* picture)
{
    if (!picture) {
        if (fresh_) {
            restart_ = true;   // nothing to start from yet
            return;
        }
        pending_ = true;
        pendingSeconds_ = seconds_;
        return;
    }
    if (fresh_) {
        // As a first frame: its own detection is the points it is drawn with.
        extras::prime(*picture, *x_);
        takeTables();
        extras::followFrame(*picture, *x_, seconds_);
    } else if (extras::followFrame(*picture, *x_, seconds_).fresh) {
        takeTables();   // a cut is drawn with the tables it starts
    }
}

bool FrameFollower::takeTexelsChanged()
{
    const bool changed = texelsChanged_;
    texelsChanged_ = false;
    return changed;
}

void FrameFollower::takeTables()
{
    const extras::Instance& x = *x_;
    LevelTexels t;
    for (int i = 0; i < 256; ++i)
        for (int c = 0; c < 3; ++c) {
            const int32_t v = extras::levelsChannelsApart(x) ? x.running.channelTables[c][i] : x.record.levelTable[i];
            t.bgra[i][c] = static_cast<uint8_t>(v);
        }
    for (auto& texel : t.bgra)
        texel[3] = 255;
    if (std::memcmp(&t, &texels_, sizeof t) != 0) {
        texels_ = t;
        texelsChanged_ = true;
    }
}

} // namespace obs_levels
