#include "frame_levelling.h"
#include "pass_parts.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace levels {

namespace {

constexpr uint32_t kRgbMask = 0x00FFFFFF; // the top byte of a pixel is ignored

inline uint32_t mapPixel(uint32_t p, const int32_t table[256])
{
    return (static_cast<uint32_t>(table[(p >> 16) & 0xFF]) << 16)
         + (static_cast<uint32_t>(table[(p >> 8) & 0xFF]) << 8)
         +  static_cast<uint32_t>(table[p & 0xFF]);
}

inline const uint32_t* nextRow(const uint32_t* rowEnd, std::ptrdiff_t modulo)
{
    return reinterpret_cast<const uint32_t*>(reinterpret_cast<const unsigned char*>(rowEnd) + modulo);
}

inline uint32_t* nextRow(uint32_t* rowEnd, std::ptrdiff_t modulo)
{
    return reinterpret_cast<uint32_t*>(reinterpret_cast<unsigned char*>(rowEnd) + modulo);
}

// Frames visited in bands are taken this many pixels at a time, or fewer: a band's
// source and output are still in the cache for the work that follows its pass.
constexpr int32_t kBandPixels = 8192;
// Bands whose output is thrown away go through a scratch buffer of this many pixels
// on the stack: 8 KiB, so that with a pass's own scratch (under 6.5 KiB) priming stays
// within 16 KiB of stack.
constexpr int32_t kScratchPixels = 2048;
constexpr uint32_t kAlphaMask = ~kRgbMask;

uint32_t samplesOf(const BitmapView& frame)
{
    return static_cast<uint32_t>(frame.w) * static_cast<uint32_t>(frame.h) * 3u;
}

// Pixel (x, y) of a frame.
uint32_t* pixelAt(const BitmapView& frame, int32_t x, int32_t y)
{
    const std::ptrdiff_t pitch = static_cast<std::ptrdiff_t>(frame.w) * 4 + frame.modulo;
    return reinterpret_cast<uint32_t*>(static_cast<unsigned char*>(frame.data) + pitch * y) + x;
}

// The part of a frame of `like`'s shape that starts at pixel (x, y).
BitmapView partOf(const BitmapView& frame, int32_t x, int32_t y, const BitmapView& like)
{
    return {pixelAt(frame, x, y), like.w, like.h, like.h > 1 ? frame.modulo : 0};
}

// Calls visit(band, x, y) for pieces of the frame of at most bandPixels, in memory
// order: runs of whole rows where rows are narrower, pieces of one row otherwise.
template <class Visit>
void forEachBand(const BitmapView& frame, int32_t bandPixels, Visit visit)
{
    if (frame.w <= bandPixels) {
        const int32_t rows = bandPixels / frame.w;
        for (int32_t y = 0; y < frame.h; y += rows) {
            const int32_t n = frame.h - y < rows ? frame.h - y : rows;
            visit(BitmapView{pixelAt(frame, 0, y), frame.w, n, frame.modulo}, 0, y);
        }
        return;
    }
    for (int32_t y = 0; y < frame.h; ++y)
        for (int32_t x = 0; x < frame.w; x += bandPixels) {
            const int32_t n = frame.w - x < bandPixels ? frame.w - x : bandPixels;
            visit(BitmapView{pixelAt(frame, x, y), n, 1, 0}, x, y);
        }
}

// Each pixel of dst takes the top byte of its pixel in src (separate frames). Rows back
// to back are one run: a loop per row of a band ran measurably slower.
void copyAlpha(const BitmapView& src, const BitmapView& dst)
{
#if RANGEWICK_HAVE_X86_PASSES
    static const bool avx2 = avx2PassUsable();
    const auto run = avx2 ? copyAlphaRunAvx2 : copyAlphaRun;
#else
    const auto run = copyAlphaRun;
#endif
    const std::size_t w = static_cast<std::size_t>(src.w);
    if (src.modulo == 0 && dst.modulo == 0) {
        run(pixelAt(src, 0, 0), pixelAt(dst, 0, 0), w * static_cast<std::size_t>(src.h));
        return;
    }
    for (int32_t y = 0; y < src.h; ++y)
        run(pixelAt(src, 0, y), pixelAt(dst, 0, y), w);
}

// Samples allowed to clip for a share in 1/100 %; a nonzero share clips at least one.
uint32_t clipCount(int32_t share, uint32_t sampleCount)
{
    uint32_t count = static_cast<uint32_t>(static_cast<int64_t>(share) * sampleCount / 10000);
    if (count == 0 && share > 0)
        count = 1;
    return count;
}

} // namespace

uint64_t maxFramePixels()
{
    const uint64_t bySamples = UINT32_MAX / 3u;
    const uint64_t byBytes   = static_cast<uint64_t>(PTRDIFF_MAX) / 4u;
    return bySamples < byBytes ? bySamples : byBytes;
}

namespace {

inline __attribute__((always_inline)) void copyAlphaLoop(const uint32_t* __restrict src, uint32_t* __restrict dst,
                                                         std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        dst[i] = (dst[i] & kRgbMask) | (src[i] & kAlphaMask);
}

} // namespace

void copyAlphaRun(const uint32_t* src, uint32_t* dst, std::size_t n)
{
    copyAlphaLoop(src, dst, n);
}

#if RANGEWICK_HAVE_X86_PASSES
__attribute__((target("avx2"))) void copyAlphaRunAvx2(const uint32_t* src, uint32_t* dst, std::size_t n)
{
    copyAlphaLoop(src, dst, n);
}
#endif

void mapAndCountReference(const BitmapView& src, const BitmapView& dst,
                          const int32_t table[256], Histogram& hist)
{
    const uint32_t* s = static_cast<const uint32_t*>(src.data);
    uint32_t*       d = static_cast<uint32_t*>(dst.data);
    for (int32_t y = 0; y < src.h; ++y) {
        for (int32_t x = 0; x < src.w; ++x) {
            const uint32_t p = s[x];
            ++hist[(p >> 16) & 0xFF];
            ++hist[(p >> 8) & 0xFF];
            ++hist[p & 0xFF];
            d[x] = mapPixel(p, table);
        }
        s = nextRow(s + src.w, src.modulo);
        d = nextRow(d + src.w, dst.modulo);
    }
}

void mapAndCount(const BitmapView& src, const BitmapView& dst,
                 const int32_t table[256], Histogram& hist)
{
    static const PixelPass pass = passFunction(chosenPass().pass);
    pass(src, dst, table, hist);
}

namespace {

inline uint32_t mapPixel(uint32_t p, const TableSet<1>& tables)
{
    return mapPixel(p, tables.of(0));
}

inline uint32_t mapPixel(uint32_t p, const TableSet<3>& tables)
{
    return (static_cast<uint32_t>(tables.of(2)[(p >> 16) & 0xFF]) << 16)
         | (static_cast<uint32_t>(tables.of(1)[(p >> 8) & 0xFF]) << 8)
         |  static_cast<uint32_t>(tables.of(0)[p & 0xFF]);
}

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

const char* passName(Pass pass)
{
    switch (pass) {
    case Pass::Plain: return "plain";
    case Pass::Portable: return "portable";
    case Pass::Avx2: return "avx2";
    case Pass::Avx512: return "avx512";
    }
    return "?";
}

bool passUsable(Pass pass)
{
    return passFunction(pass) != nullptr;
}

PassKernels kernelsOf(Pass pass)
{
    switch (pass) {
    case Pass::Plain:
        return {mapAndCountReference, nullptr, mapReference, mapAndCountChannelsReference, mapChannelsReference,
                mapAndCountBetweenReference, mapAndCountChannelsBetweenReference};
    case Pass::Portable:
        return {mapAndCountPortable, nullptr, mapPortable, mapAndCountChannelsPortable, mapChannelsPortable,
                mapAndCountBetweenPortable, mapAndCountChannelsBetweenPortable};
#if RANGEWICK_HAVE_X86_PASSES
    case Pass::Avx2:
        if (avx2PassUsable())
            return {mapAndCountAvx2, mapAndCountAvx2KeepingAlpha, mapAvx2, mapAndCountChannelsAvx2, mapChannelsAvx2,
                    mapAndCountBetweenAvx2, mapAndCountChannelsBetweenAvx2};
        break;
    case Pass::Avx512:
        if (avx512PassUsable())
            return {mapAndCountAvx512, mapAndCountAvx512KeepingAlpha, mapAvx512, mapAndCountChannelsAvx512,
                    mapChannelsAvx512, mapAndCountBetweenAvx512, mapAndCountChannelsBetweenAvx512};
        break;
#else
    case Pass::Avx2:
    case Pass::Avx512:
        break;
#endif
    }
    return {};
}

PixelPass passFunction(Pass pass)
{
    return kernelsOf(pass).mapAndCount;
}

PixelPass alphaKeepingFunction(Pass pass)
{
    return kernelsOf(pass).keepingAlpha;
}

PassChoice choosePass(const char* forced)
{
    Pass fastest = Pass::Portable;
    for (Pass p : {Pass::Avx2, Pass::Avx512})
        if (passUsable(p))
            fastest = p;
    if (forced == nullptr || *forced == '\0')
        return {fastest, PassChoice::Reason::Fastest};
    for (int i = 0; i < kPassCount; ++i) {
        const Pass p = static_cast<Pass>(i);
        if (std::strcmp(forced, passName(p)) == 0)
            return passUsable(p) ? PassChoice{p, PassChoice::Reason::Forced}
                                 : PassChoice{fastest, PassChoice::Reason::NotUsable};
    }
    return {fastest, PassChoice::Reason::UnknownName};
}

PassChoice chosenPass()
{
    static const PassChoice choice = choosePass(std::getenv(kPassVariable));
    return choice;
}

std::string describePass(const PassChoice& choice, const char* forced)
{
    std::string text = passName(choice.pass);
    const std::string asked = std::string(kPassVariable) + "=" + (forced != nullptr ? forced : "");
    switch (choice.reason) {
    case PassChoice::Reason::Fastest:
        return text + " (the fastest this processor runs)";
    case PassChoice::Reason::Forced:
        return text + " (set by " + asked + ")";
    case PassChoice::Reason::NotUsable:
        return text + " (" + asked + " is a pass this processor cannot run)";
    case PassChoice::Reason::UnknownName:
        return text + " (" + asked + " is not a pass: plain, portable, avx2 or avx512)";
    }
    return text;
}

Detection detectPoints(const LevelsInstance& inst, const Histogram& hist, uint32_t sampleCount)
{
    const uint32_t shadowCount    = clipCount(inst.shadowClip, sampleCount);
    const uint32_t highlightCount = clipCount(inst.highlightClip, sampleCount);

    // Black point: the first level at which the darkest samples reach the allowance,
    // looking no higher than shadowsMax.
    int32_t black = inst.shadowsMax;
    uint32_t sum = 0;
    for (int32_t i = 0; i < inst.shadowsMax; ++i) {
        sum += hist[i];
        if (sum >= shadowCount) {
            black = i;
            break;
        }
    }

    // White point: the same from the top, looking no lower than highlightsMin + 1.
    int32_t white = inst.highlightsMin;
    sum = 0;
    for (int32_t i = 255; i != inst.highlightsMin; --i) {
        sum += hist[i];
        if (sum >= highlightCount) {
            white = i;
            break;
        }
    }

    // Crossed points meet in the middle, one level apart.
    if (black > white) {
        const int32_t mid = (black + white) / 2;
        if (mid > 0) {
            white = mid;
            black = mid - 1;
        } else {
            black = 0;
            white = 1;
        }
    }
    return {black, white};
}

Detection updatePoints(LevelsInstance& inst, const Histogram& hist, uint32_t sampleCount)
{
    const Detection found = detectPoints(inst, hist, sampleCount);
    if (inst.tracking != 0) {
        // The black point creeps both ways; the white point creeps down but jumps up,
        // so highlights never clip for more than the one frame that reveals them.
        if (found.black < inst.blackPoint)
            --inst.blackPoint;
        else if (found.black > inst.blackPoint)
            ++inst.blackPoint;
        if (found.white < inst.whitePoint)
            --inst.whitePoint;
        else if (found.white > inst.whitePoint)
            inst.whitePoint = found.white;
    } else {
        inst.blackPoint = found.black;
        inst.whitePoint = found.white;
        inst.tracking   = 1;
    }

    buildLevelTable(inst);
    return found;
}

void buildLevelTable(LevelsInstance& inst)
{
    buildLevelTable(inst.blackPoint, inst.whitePoint, inst.previewClipped != 0, inst.levelTable);
}

void buildLevelTable(double black, double white, bool previewClipped, int32_t table[256])
{
    // Worked out in IEEE double with SSE2 on every target (see the build's floating-point
    // flags): the x87 unit's wider intermediates would round some entries differently.
    // Whole-level points give exactly the integer differences they always gave.
    const double range = white - black;
    const double scale = range == 0 ? 0.0 : 255.0 / range;
    for (int32_t i = 0; i < 256; ++i) {
        double k = i - black;
        if (k < 0)
            k = 0;
        const double product = scale * k;
        int32_t e = static_cast<int32_t>(product + 0.5);
        if (e > 255)
            e = 255;
        if (previewClipped && e > 0 && e < 255)
            e = 127;
        table[i] = e;
    }
}

void mapReference(const BitmapView& src, const BitmapView& dst, const int32_t table[256], bool keepAlpha)
{
    const uint32_t* s = static_cast<const uint32_t*>(src.data);
    uint32_t*       d = static_cast<uint32_t*>(dst.data);
    const uint32_t alpha = keepAlpha ? kAlphaMask : 0;
    for (int32_t y = 0; y < src.h; ++y) {
        for (int32_t x = 0; x < src.w; ++x)
            d[x] = mapPixel(s[x], table) | (s[x] & alpha);
        s = nextRow(s + src.w, src.modulo);
        d = nextRow(d + src.w, dst.modulo);
    }
}

void mapFrame(const BitmapView& src, const BitmapView& dst, const int32_t table[256], bool keepAlpha)
{
    static const MapPass map = mapFunction(chosenPass().pass);
    map(src, dst, table, keepAlpha);
}

MapPass mapFunction(Pass pass)
{
    return kernelsOf(pass).map;
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
// own histogram.
__attribute__((noinline)) void countFrame(const BitmapView& src, const int32_t table[256], Histogram& hist)
{
    // The pass counts while it maps: each band is mapped into a scratch band that is
    // thrown away, so the frame itself may be the host's output buffer.
    uint32_t scratch[kScratchPixels];
    forEachBand(src, kScratchPixels, [&](const BitmapView& s, int32_t, int32_t) {
        mapAndCount(s, BitmapView{scratch, s.w, s.h, 0}, table, hist);
    });
}

uint32_t sampleCount(const BitmapView& frame)
{
    return samplesOf(frame);
}

void mapAndCountChannelsReference(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables,
                                  ChannelHistograms& hist, bool keepAlpha)
{
    const uint32_t* s = static_cast<const uint32_t*>(src.data);
    uint32_t*       d = static_cast<uint32_t*>(dst.data);
    const uint32_t alpha = keepAlpha ? kAlphaMask : 0;
    for (int32_t y = 0; y < src.h; ++y) {
        for (int32_t x = 0; x < src.w; ++x) {
            const uint32_t p = s[x];
            uint32_t out = p & alpha;
            for (int c = 0; c < 3; ++c) {
                const uint32_t level = (p >> (8 * c)) & 0xFF;
                ++hist[c][level];
                out |= static_cast<uint32_t>(tables[c][level]) << (8 * c);
            }
            d[x] = out;
        }
        s = nextRow(s + src.w, src.modulo);
        d = nextRow(d + src.w, dst.modulo);
    }
}

ChannelPass channelPassFunction(Pass pass)
{
    return kernelsOf(pass).channels;
}

void mapAndCountChannels(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables,
                         ChannelHistograms& hist, bool keepAlpha)
{
    static const ChannelPass pass = channelPassFunction(chosenPass().pass);
    pass(src, dst, tables, hist, keepAlpha);
}

void mapChannelsReference(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables, bool keepAlpha)
{
    ChannelHistograms unused = {};
    mapAndCountChannelsReference(src, dst, tables, unused, keepAlpha);
}

void mapChannels(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables, bool keepAlpha)
{
    static const ChannelMapPass map = channelMapFunction(chosenPass().pass);
    map(src, dst, tables, keepAlpha);
}

ChannelMapPass channelMapFunction(Pass pass)
{
    return kernelsOf(pass).mapChannels;
}

namespace {

inline void countPixel(uint32_t p, Histogram& hist)
{
    ++hist[(p >> 16) & 0xFF];
    ++hist[(p >> 8) & 0xFF];
    ++hist[p & 0xFF];
}

inline void countPixel(uint32_t p, ChannelHistograms& hist)
{
    for (int c = 0; c < 3; ++c)
        ++hist[c][(p >> (8 * c)) & 0xFF];
}

// The definition of the passes between strips, one table or one per channel.
template <int kTables, class Counts>
void mapAndCountBetweenPlainly(const BitmapView& src, const BitmapView& dst, const TableSet<kTables>& tables,
                               Counts& hist, SideStrips strips, bool keepAlpha)
{
    const bool counting = stripsLeaveAPicture(strips, src.w);
    const int32_t end = src.w - strips.right;
    const uint32_t alpha = keepAlpha ? kAlphaMask : 0;
    const uint32_t* s = static_cast<const uint32_t*>(src.data);
    uint32_t*       d = static_cast<uint32_t*>(dst.data);
    for (int32_t y = 0; y < src.h; ++y) {
        for (int32_t x = 0; x < src.w; ++x) {
            const uint32_t p = s[x];
            if (counting && x >= strips.left && x < end)
                countPixel(p, hist);
            d[x] = mapPixel(p, tables) | (p & alpha);
        }
        s = nextRow(s + src.w, src.modulo);
        d = nextRow(d + src.w, dst.modulo);
    }
}

} // namespace

void mapAndCountBetweenReference(const BitmapView& src, const BitmapView& dst, const int32_t table[256],
                                 Histogram& hist, SideStrips strips, bool keepAlpha)
{
    mapAndCountBetweenPlainly(src, dst, TableSet<1>{{table}}, hist, strips, keepAlpha);
}

void mapAndCountChannelsBetweenReference(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables,
                                         ChannelHistograms& hist, SideStrips strips, bool keepAlpha)
{
    mapAndCountBetweenPlainly(src, dst, TableSet<3>{{tables[0], tables[1], tables[2]}}, hist, strips, keepAlpha);
}

void mapAndCountBetween(const BitmapView& src, const BitmapView& dst, const int32_t table[256], Histogram& hist,
                        SideStrips strips, bool keepAlpha)
{
    static const BetweenPass pass = kernelsOf(chosenPass().pass).between;
    pass(src, dst, table, hist, strips, keepAlpha);
}

void mapAndCountChannelsBetween(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables,
                                ChannelHistograms& hist, SideStrips strips, bool keepAlpha)
{
    static const ChannelBetweenPass pass = kernelsOf(chosenPass().pass).channelsBetween;
    pass(src, dst, tables, hist, strips, keepAlpha);
}

void countChannels(const BitmapView& src, ChannelHistograms& hist)
{
    // As countFrame counts: through the pass, each band mapped into a scratch band that
    // is thrown away. The tables leave every level as it is: a stretch, which the AVX2
    // pass works out where it would look up most others.
    struct Unchanged {
        ChannelTables tables;
        Unchanged()
        {
            for (auto& table : tables)
                for (int32_t i = 0; i < 256; ++i)
                    table[i] = i;
        }
    };
    static const Unchanged unchanged;
    uint32_t scratch[kScratchPixels];
    forEachBand(src, kScratchPixels, [&](const BitmapView& s, int32_t, int32_t) {
        mapAndCountChannels(s, BitmapView{scratch, s.w, s.h, 0}, unchanged.tables, hist, false);
    });
}

} // namespace levels

namespace levels {
namespace {

// A frame through `pass`. The pass maps with a copy of the table on the stack, which the
// stores to the frame cannot alias, so that the compiler need not read table entries
// again after each pixel written.
Detection levelWith(PixelPass pass, const BitmapView& src, const BitmapView& dst, LevelsInstance& inst)
{
    if (src.w <= 0 || src.h <= 0)
        return {inst.blackPoint, inst.whitePoint};

    int32_t table[256];
    std::memcpy(table, inst.levelTable, sizeof table);
    Histogram hist = {};
    pass(src, dst, table, hist);
    return updatePoints(inst, hist, samplesOf(src));
}

// The pass for a pass that writes a zero top byte: alpha is put back band by band,
// while the band is still in the cache (a second pass over the whole frame would cost a
// good part of a memcpy more). Out of line, so that its band of alpha is on the stack
// only where it is used.
__attribute__((noinline)) void mapAndCountPuttingAlphaBack(const BitmapView& src, const BitmapView& dst,
                                                           const int32_t table[256], Histogram& hist)
{
    const bool inPlace = src.data == dst.data;
    uint8_t alpha[kBandPixels];   // the band's own alpha, when the pass overwrites it
    forEachBand(src, kBandPixels, [&](const BitmapView& s, int32_t x, int32_t y) {
        const BitmapView d = partOf(dst, x, y, s);
        if (!inPlace) {
            mapAndCount(s, d, table, hist);
            copyAlpha(s, d);
            return;
        }
        int32_t i = 0;
        for (int32_t row = 0; row < s.h; ++row)
            for (const uint32_t *p = pixelAt(s, 0, row), *end = p + s.w; p != end; ++p)
                alpha[i++] = static_cast<uint8_t>(*p >> 24);
        mapAndCount(s, d, table, hist);
        i = 0;
        for (int32_t row = 0; row < s.h; ++row)
            for (uint32_t *p = pixelAt(d, 0, row), *end = p + s.w; p != end; ++p)
                *p = (*p & kRgbMask) | static_cast<uint32_t>(alpha[i++]) << 24;
    });
}

} // namespace
} // namespace levels

namespace levels {

PixelPass framePass(bool keepAlpha)
{
    if (!keepAlpha)
        return mapAndCount;
    static const PixelPass keeping = alphaKeepingFunction(chosenPass().pass);
    return keeping != nullptr ? keeping : mapAndCountPuttingAlphaBack;
}

} // namespace levels

Detection levelFrame(const BitmapView& src, const BitmapView& dst, LevelsInstance& inst)
{
    return levels::levelWith(levels::framePass(false), src, dst, inst);
}

Detection levelFrameKeepingAlpha(const BitmapView& src, const BitmapView& dst, LevelsInstance& inst)
{
    return levels::levelWith(levels::framePass(true), src, dst, inst);
}

void primeFromFrame(const BitmapView& src, LevelsInstance& inst)
{
    snapPointsOnNextFrame(inst);
    if (src.w <= 0 || src.h <= 0)
        return;
    Histogram hist = {};
    levels::countFrame(src, inst.levelTable, hist);
    levels::updatePoints(inst, hist, levels::samplesOf(src));
}
