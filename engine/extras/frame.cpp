// One frame with the extras: the tables the last frame left, mapped and counted inside
// the margins through the chosen pass; a cut found from the counts starts afresh; the
// points detected, followed (in seconds or a level a frame, shared or per channel) and
// made into the tables the next frame is mapped with.
#include "extras/extras.h"

#include "extras/channels.h"
#include "extras/strength.h"

#include <cstring>

namespace extras {

namespace {

bool followsInSeconds(const Instance& x)
{
    return x.options.followTime > 0;
}

// A frame's tables and counts live in the instance's scratch: the record's table, for
// all three channels, or one per channel where the channels are levelled apart; the
// shared histogram always (cuts and the shared points are found from it), and one per
// channel where the channels are levelled apart.

// The frame is mapped with the tables the frame before left.
void useTablesInUse(Instance& x)
{
    FrameScratch& f = x.scratch;
    if (levelsChannelsApart(x))
        std::memcpy(f.channelTables, x.running.channelTables, sizeof f.channelTables);
    else
        std::memcpy(f.table, x.record.levelTable, sizeof f.table);
}

void clearCounts(Instance& x)
{
    std::memset(x.scratch.hist, 0, sizeof x.scratch.hist);
    std::memset(x.scratch.channelHists, 0, sizeof x.scratch.channelHists);
}

void map(const BitmapView& src, const BitmapView& dst, const Instance& x, bool keepAlpha)
{
    if (levelsChannelsApart(x))
        levels::mapChannels(src, dst, x.scratch.channelTables, keepAlpha);
    else
        levels::mapFrame(src, dst, x.scratch.table, keepAlpha);
}

void mapAndCount(const BitmapView& src, const BitmapView& dst, Instance& x, bool keepAlpha)
{
    FrameScratch& f = x.scratch;
    if (levelsChannelsApart(x))
        levels::mapAndCountChannels(src, dst, f.channelTables, f.channelHists, keepAlpha);
    else
        levels::framePass(keepAlpha)(src, dst, f.table, f.hist);
}

void count(const BitmapView& src, Instance& x)
{
    FrameScratch& f = x.scratch;
    if (levelsChannelsApart(x))
        levels::countChannels(src, f.channelHists);
    else
        levels::countFrame(src, f.table, f.hist);
}

// Where the channels are counted apart, the shared histogram is their sum.
void addUpChannelCounts(Instance& x)
{
    FrameScratch& f = x.scratch;
    if (levelsChannelsApart(x))
        for (int i = 0; i < 256; ++i)
            f.hist[i] = f.channelHists[0][i] + f.channelHists[1][i] + f.channelHists[2][i];
}

// Counts the frame inside the margins into the scratch histograms, writing nothing.
void countInside(const BitmapView& counted, Instance& x)
{
    clearCounts(x);
    count(counted, x);
    addUpChannelCounts(x);
}

// The frame mapped and the picture inside the margins counted, row after row in memory
// order: the rows above the picture, its own, the rows below. Margins at the sides are
// mapped by the pass over the picture's rows as it goes by them: mapped apart, after
// the picture, they cost more than the whole frame's pass on 1080p. The margins must
// leave a picture.
void mapAndCountInside(const BitmapView& src, const BitmapView& dst, Instance& x, bool keepAlpha)
{
    const int32_t* m = x.options.margins;
    const int32_t w = src.w, h = src.h, innerH = h - m[kTop] - m[kBottom];
    const auto mapRows = [&](int32_t y, int32_t n) {
        if (n > 0)
            map(regionOf(src, 0, y, w, n), regionOf(dst, 0, y, w, n), x, keepAlpha);
    };
    mapRows(0, m[kTop]);
    const BitmapView from = regionOf(src, 0, m[kTop], w, innerH), to = regionOf(dst, 0, m[kTop], w, innerH);
    const levels::SideStrips strips = {m[kLeft], m[kRight]};
    FrameScratch& f = x.scratch;
    if ((strips.left | strips.right) == 0)
        mapAndCount(from, to, x, keepAlpha);   // whole rows: the frame's own pass
    else if (levelsChannelsApart(x))
        levels::mapAndCountChannelsBetween(from, to, f.channelTables, f.channelHists, strips, keepAlpha);
    else
        levels::mapAndCountBetween(from, to, f.table, f.hist, strips, keepAlpha);
    mapRows(h - m[kBottom], m[kBottom]);
}

// The table for points in point units, with the strength and the clipped preview.
void buildTable(const Instance& x, int32_t black, int32_t white, int32_t table[256])
{
    const bool clipped = x.record.previewClipped != 0, full = x.options.strength == 1;
    levels::buildLevelTable(static_cast<double>(black) / kPointScale, static_cast<double>(white) / kPointScale,
                            clipped && full, table);
    if (!full)
        weakenTable(table, x.options.strength, clipped);
}

// The channels levelled apart: each channel's points followed as the shared points
// follow, and a table each. The record's points are the widest range in use, for
// whoever reads them.
Detection followChannels(Instance& x, uint32_t pixels, double frameSeconds)
{
    LevelsInstance& record = x.record;
    Running& run = x.running;
    const Detection shared = levels::detectPoints(record, x.scratch.hist, pixels * 3);
    int32_t black[3], white[3];
    detectChannels(record, x.scratch.channelHists, pixels, shared, x.options.independence, black, white);
    const int32_t step = followsInSeconds(x) ? followStep(frameSeconds, x.options.followTime) : kPointScale;
    int32_t lowest = kTopUnits, highest = 0;
    for (int c = 0; c < 3; ++c) {
        if (record.tracking == 0) {
            run.channelBlack[c] = black[c];
            run.channelWhite[c] = white[c];
        } else {
            run.channelBlack[c] = followBlack(run.channelBlack[c], black[c], step);
            run.channelWhite[c] = followWhite(run.channelWhite[c], white[c], step);
        }
        buildTable(x, run.channelBlack[c], run.channelWhite[c], run.channelTables[c]);
        lowest = run.channelBlack[c] < lowest ? run.channelBlack[c] : lowest;
        highest = run.channelWhite[c] > highest ? run.channelWhite[c] : highest;
    }
    record.tracking = 1;
    run.black = lowest;
    run.white = highest;
    record.blackPoint = nearestLevel(lowest);
    record.whitePoint = nearestLevel(highest);
    return shared;
}

// From this frame's finished histogram: detect the points, follow them, build the
// tables for the next frame (the record's, or one per channel), and keep the histogram
// to compare the next frame with.
Detection followAndBuildTables(Instance& x, uint32_t samples, double frameSeconds)
{
    LevelsInstance& record = x.record;
    Running& run = x.running;
    const Histogram& hist = x.scratch.hist;
    Detection found;
    if (levelsChannelsApart(x)) {
        found = followChannels(x, samples / 3, frameSeconds);
    } else if (!followsInSeconds(x)) {
        found = levels::updatePoints(record, hist, samples);
        run.black = record.blackPoint * kPointScale;
        run.white = record.whitePoint * kPointScale;
    } else {
        found = levels::detectPoints(record, hist, samples);
        const int32_t black = found.black * kPointScale;
        const int32_t white = found.white * kPointScale;
        if (record.tracking == 0) {
            run.black = black;
            run.white = white;
            record.tracking = 1;
        } else {
            // As the record's points move, at the speed the follow time sets.
            const int32_t step = followStep(frameSeconds, x.options.followTime);
            run.black = followBlack(run.black, black, step);
            run.white = followWhite(run.white, white, step);
        }
        record.blackPoint = nearestLevel(run.black);
        record.whitePoint = nearestLevel(run.white);
    }
    if (followsInSeconds(x) || x.options.strength != 1)
        buildTable(x, run.black, run.white, record.levelTable);
    std::memcpy(run.previous, hist, sizeof run.previous);
    run.previousSamples = samples;
    run.havePrevious = 1;
    return found;
}

bool cutBefore(const Instance& x, uint32_t samples)
{
    const Running& run = x.running;
    return x.options.cuts != 0 && run.havePrevious != 0
        && isCut(run.previous, run.previousSamples, x.scratch.hist, samples);
}

FrameResult level(const BitmapView& src, const BitmapView& dst, Instance& x, double frameSeconds, bool keepAlpha)
{
    LevelsInstance& record = x.record;
    const FrameResult unchanged = {{record.blackPoint, record.whitePoint}, false};
    if (src.w <= 0 || src.h <= 0)
        return unchanged;
    useTablesInUse(x);
    const bool margins = hasMargins(x.options.margins);
    const BitmapView counted = margins ? insideMargins(src, x.options.margins) : src;
    if (counted.w == 0) {
        map(src, dst, x, keepAlpha);
        return unchanged;
    }
    const uint32_t samples = levels::sampleCount(counted);
    const bool afresh = x.running.startAfresh != 0;
    x.running.startAfresh = 0;
    const bool inPlaceCuts = (x.options.cuts != 0 || afresh) && src.data == dst.data;
    if (inPlaceCuts) {
        // In place the source is gone once mapped, so whether this is a cut is known
        // before anything is written: counted first, then mapped once.
        countInside(counted, x);
    } else {
        clearCounts(x);
        if (margins) {
            mapAndCountInside(src, dst, x, keepAlpha);
        } else {
            mapAndCount(src, dst, x, keepAlpha);
        }
        addUpChannelCounts(x);
    }
    const bool cut = afresh || cutBefore(x, samples);
    if (cut)
        snapPointsOnNextFrame(record);
    const Detection found = followAndBuildTables(x, samples, frameSeconds);
    if (cut || inPlaceCuts) {
        // A cut is mapped (again) with the tables it gives as a first frame.
        if (cut)
            useTablesInUse(x);
        map(src, dst, x, keepAlpha);
    }
    return {found, cut};
}

} // namespace

void setDefaults(Instance& x)
{
    resetToDefaults(x.record);
    x.options.cuts = 0;
    x.options.followTime = 0;
    x.options.strength = 1;
    x.options.independence = 0;
    for (int32_t& m : x.options.margins)
        m = 0;
    x.running.black = x.record.blackPoint * kPointScale;
    x.running.white = x.record.whitePoint * kPointScale;
    x.running.havePrevious = 0;
    x.running.startAfresh = 0;
    x.running.previousSamples = 0;
    std::memset(x.running.previous, 0, sizeof x.running.previous);
    for (int c = 0; c < 3; ++c) {
        x.running.channelBlack[c] = x.running.black;
        x.running.channelWhite[c] = x.running.white;
        std::memcpy(x.running.channelTables[c], x.record.levelTable, sizeof x.record.levelTable);
    }
}

void prime(const BitmapView& src, Instance& x)
{
    snapPointsOnNextFrame(x.record);
    if (src.w <= 0 || src.h <= 0)
        return;
    const BitmapView counted = insideMargins(src, x.options.margins);
    if (counted.w == 0)
        return;   // nothing to count: the points stay as they were
    useTablesInUse(x);
    countInside(counted, x);
    followAndBuildTables(x, levels::sampleCount(counted), 0);
}

void startAfreshOnNextFrame(Instance& x)
{
    x.running.startAfresh = 1;
}

bool countsAsTheLastFrame(const BitmapView& src, Instance& x)
{
    if (x.running.havePrevious == 0 || src.w <= 0 || src.h <= 0)
        return false;
    const BitmapView counted = insideMargins(src, x.options.margins);
    if (counted.w == 0 || levels::sampleCount(counted) != x.running.previousSamples)
        return false;
    countInside(counted, x);
    return std::memcmp(x.scratch.hist, x.running.previous, sizeof x.running.previous) == 0;
}

void rebuildTables(Instance& x)
{
    if (levelsChannelsApart(x)) {
        for (int c = 0; c < 3; ++c)
            buildTable(x, x.running.channelBlack[c], x.running.channelWhite[c], x.running.channelTables[c]);
    } else {
        buildTable(x, x.running.black, x.running.white, x.record.levelTable);
    }
}

FrameResult followFrame(const BitmapView& src, Instance& x, double frameSeconds)
{
    LevelsInstance& record = x.record;
    if (src.w <= 0 || src.h <= 0)
        return {{record.blackPoint, record.whitePoint}, false};
    const BitmapView counted = insideMargins(src, x.options.margins);
    if (counted.w == 0)
        return {{record.blackPoint, record.whitePoint}, false};
    const uint32_t samples = levels::sampleCount(counted);
    const bool afresh = x.running.startAfresh != 0;
    x.running.startAfresh = 0;
    useTablesInUse(x);
    countInside(counted, x);
    const bool cut = afresh || cutBefore(x, samples);
    if (cut)
        snapPointsOnNextFrame(record);
    return {followAndBuildTables(x, samples, frameSeconds), cut};
}

FrameResult levelWithExtras(const BitmapView& src, const BitmapView& dst, Instance& x, double frameSeconds)
{
    return level(src, dst, x, frameSeconds, false);
}

FrameResult levelWithExtrasKeepingAlpha(const BitmapView& src, const BitmapView& dst, Instance& x, double frameSeconds)
{
    return level(src, dst, x, frameSeconds, true);
}

} // namespace extras
