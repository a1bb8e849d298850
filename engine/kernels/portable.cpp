// The portable passes: plain C++ for every processor, as fast on every content (each
// channel counted into sub-histograms, so that runs of one level do not wait on each
// other's stores), and mapping through tables with each channel's entries in place.
#include "pass_parts.h"

#include <cstring>

namespace levels {

namespace {

using SubHistograms = uint32_t[3][256];

// The portable pass's sub-histograms into the frame's one histogram, or each channel's
// into its own.
inline void addCounts(const SubHistograms& runs, const SubHistograms& lone, Histogram& hist)
{
    for (int i = 0; i < 256; ++i)
        hist[i] += runs[0][i] + runs[1][i] + runs[2][i] + lone[0][i] + lone[1][i] + lone[2][i];
}

inline void addCounts(const SubHistograms& runs, const SubHistograms& lone, ChannelHistograms& hist)
{
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 256; ++i)
            hist[c][i] += runs[c][i] + lone[c][i];
}

// The portable pass with one table or a table per channel, into one histogram or one
// per channel (Counts), the top byte 0 or, with kKeepAlpha, src's; with kBeside, the
// strips at the sides of each row (which must leave a picture between them) mapped and
// not counted. Without kBeside nothing of the strips is compiled in: the pass that
// levelFrame runs stays the code it was. Inlined, so that each pass has its
// sub-histograms in its own frame.
template <bool kKeepAlpha, bool kBeside = false, int kTables, class Counts>
inline __attribute__((always_inline)) void mapAndCountRuns(const BitmapView& src, const BitmapView& dst,
                                                           const TableSet<kTables>& table, Counts& hist,
                                                           SideStrips strips = {0, 0})
{
    // Every sample costs a read-modify-write of a counter, and an increment of the
    // counter just written waits for that store. Where neighbouring samples share
    // levels (dark grainy scenes, grey pixels whose three channels are equal) one
    // shared histogram would chain those waits sample after sample. So each channel
    // counts into sub-histograms of its own, two per channel used in turn, and they are
    // summed into hist after the frame: increments of one counter are then a pair of
    // pixels' work apart, and every content costs the same.
    //
    // Flat areas (black frames, letterbox bars, colour bars) cost less still: the pixel
    // being repeated is held as a run and counted once when the run ends. Pixels are
    // taken two at a time and a run only goes on when both repeat it: in grainy content,
    // where neighbours match now and then, a single-pixel test would branch
    // unpredictably and cost more than the counting it saves.
    const int32_t left = strips.left, right = strips.right;
    const int32_t w = kBeside ? src.w - left - right : src.w, h = src.h;
    if (w <= 0 || h <= 0)
        return;
    SubHistograms runs;  // per channel: runs, counted when they end
    SubHistograms lone;  // per channel: the first pixel of a pair that ends a run
    std::memset(runs, 0, sizeof runs); // 6 KiB of stack in all
    std::memset(lone, 0, sizeof lone);
    const auto count = [](SubHistograms& sub, uint32_t pixel, uint32_t n) { // top byte ignored
        sub[0][pixel & 0xFF] += n;
        sub[1][(pixel >> 8) & 0xFF] += n;
        sub[2][(pixel >> 16) & 0xFF] += n;
    };
    // The run's output is its colour alone: a pixel of it takes its own top byte.
    const auto out = [](uint32_t mapped, uint32_t pixel) { return kKeepAlpha ? mapped | (pixel & kAlphaMask) : mapped; };
    const auto mapStrip = [&](const uint32_t* from, uint32_t* to, int32_t n) {
        for (int32_t i = 0; i < n; ++i)
            to[i] = out(mapPixel(from[i], table), from[i]);
    };
    // s and d at the first pixel counted of their row.
    const uint32_t* s = static_cast<const uint32_t*>(src.data);
    uint32_t*       d = static_cast<uint32_t*>(dst.data);
    if constexpr (kBeside) {
        s += left;
        d += left;
    }
    uint32_t runPixel = s[0] & kRgbMask;
    uint32_t runOut   = mapPixel(runPixel, table);
    uint32_t run      = 0; // pixels of runPixel not yet counted
    for (int32_t y = 0; y < h; ++y) {
        if constexpr (kBeside)
            mapStrip(s - left, d - left, left);
        const uint32_t* const pairsEnd = s + (w & ~1);
        for (; s != pairsEnd; s += 2, d += 2) {
            const uint32_t p0 = s[0];
            const uint32_t p1 = s[1];
            // Kept out of the way of the common case: in all but flat content the
            // pair differs from the run.
            if (__builtin_expect((((p0 ^ runPixel) | (p1 ^ runPixel)) & kRgbMask) == 0, 0)) {
                run += 2;
                d[0] = out(runOut, p0);
                d[1] = out(runOut, p1);
                continue;
            }
            // The pending run and the first pixel are counted; the second pixel opens
            // the next run (usually of one pixel).
            count(runs, runPixel, run);
            count(lone, p0, 1);
            runPixel = p1 & kRgbMask;
            runOut   = mapPixel(p1, table);
            run      = 1;
            d[0] = out(mapPixel(p0, table), p0);
            d[1] = out(runOut, p1);
        }
        if (w & 1) { // odd width: the last pixel of the row on its own
            const uint32_t pixel = s[0], p = pixel & kRgbMask;
            if (p != runPixel) {
                count(runs, runPixel, run);
                runPixel = p;
                runOut   = mapPixel(p, table);
                run      = 0;
            }
            ++run;
            d[0] = out(runOut, pixel);
            ++s;
            ++d;
        }
        if constexpr (kBeside) {
            mapStrip(s, d, right);
            s = nextRow(s + right, src.modulo) + left;
            d = nextRow(d + right, dst.modulo) + left;
        } else {
            s = nextRow(s, src.modulo);
            d = nextRow(d, dst.modulo);
        }
    }
    count(runs, runPixel, run);
    addCounts(runs, lone, hist);
}

} // namespace

// On a cache line: the pass's loops are short and branchy, and where they fall across
// 64-byte lines matters. The same instructions 16 bytes further on cost the command-line
// tool's default run 40 % more processor time on ffmpeg's testsrc2 (flat areas, so long
// runs) on an AMD EPYC, and any change elsewhere in the file could move them there.
__attribute__((aligned(64))) void mapAndCountPortable(const BitmapView& src, const BitmapView& dst,
                                                      const int32_t table[256], Histogram& hist)
{
    mapAndCountRuns<false>(src, dst, TableSet<1>{{table}}, hist);
}

void mapAndCountChannelsPortable(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables,
                                 ChannelHistograms& hist, bool keepAlpha)
{
    const TableSet<3> set = {{tables[0], tables[1], tables[2]}};
    if (keepAlpha)
        mapAndCountRuns<true>(src, dst, set, hist);
    else
        mapAndCountRuns<false>(src, dst, set, hist);
}

namespace {

template <int kTables>
void mapThrough(const BitmapView& src, const BitmapView& dst, const TableSet<kTables>& tables, bool keepAlpha)
{
    // Each channel's entries already in place in the pixel: one or per sample instead
    // of a shift and an add.
    uint32_t red[256], green[256], blue[256];
    for (int i = 0; i < 256; ++i) {
        red[i] = (static_cast<uint32_t>(tables.of(2)[i]) & 0xFF) << 16;
        green[i] = (static_cast<uint32_t>(tables.of(1)[i]) & 0xFF) << 8;
        blue[i] = static_cast<uint32_t>(tables.of(0)[i]) & 0xFF;
    }
    const uint32_t alpha = keepAlpha ? kAlphaMask : 0;
    const uint32_t* s = static_cast<const uint32_t*>(src.data);
    uint32_t*       d = static_cast<uint32_t*>(dst.data);
    for (int32_t y = 0; y < src.h; ++y) {
        for (int32_t x = 0; x < src.w; ++x) {
            const uint32_t p = s[x];
            d[x] = red[(p >> 16) & 0xFF] | green[(p >> 8) & 0xFF] | blue[p & 0xFF] | (p & alpha);
        }
        s = nextRow(s + src.w, src.modulo);
        d = nextRow(d + src.w, dst.modulo);
    }
}

} // namespace

void mapPortable(const BitmapView& src, const BitmapView& dst, const int32_t table[256], bool keepAlpha)
{
    mapThrough(src, dst, TableSet<1>{{table}}, keepAlpha);
}

void mapChannelsPortable(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables, bool keepAlpha)
{
    mapThrough(src, dst, TableSet<3>{{tables[0], tables[1], tables[2]}}, keepAlpha);
}

// Out of line: inlined into priming, its scratch band was on the stack beside priming's

void mapAndCountBetweenPortable(const BitmapView& src, const BitmapView& dst, const int32_t table[256],
                                Histogram& hist, SideStrips strips, bool keepAlpha)
{
    if (!stripsLeaveAPicture(strips, src.w)) {
        mapPortable(src, dst, table, keepAlpha);
        return;
    }
    const TableSet<1> set = {{table}};
    if (keepAlpha)
        mapAndCountRuns<true, true>(src, dst, set, hist, strips);
    else
        mapAndCountRuns<false, true>(src, dst, set, hist, strips);
}

void mapAndCountChannelsBetweenPortable(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables,
                                        ChannelHistograms& hist, SideStrips strips, bool keepAlpha)
{
    if (!stripsLeaveAPicture(strips, src.w)) {
        mapChannelsPortable(src, dst, tables, keepAlpha);
        return;
    }
    const TableSet<3> set = {{tables[0], tables[1], tables[2]}};
    if (keepAlpha)
        mapAndCountRuns<true, true>(src, dst, set, hist, strips);
    else
        mapAndCountRuns<false, true>(src, dst, set, hist, strips);
}

void copyAlphaRun(const uint32_t* src, uint32_t* dst, std::size_t n)
{
    copyAlphaLoop(src, dst, n);
}

} // namespace levels
