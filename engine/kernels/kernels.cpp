// The choice of pass, the chosen pass's kernels, and the walks over a frame in bands
// that counting alone and alpha put back need.
#include "pass_parts.h"

#include <cstdlib>
#include <cstring>

namespace levels {

namespace {

// Frames visited in bands are taken this many pixels at a time, or fewer: a band's
// source and output are still in the cache for the work that follows its pass.
constexpr int32_t kBandPixels = 8192;
// Bands whose output is thrown away go through a scratch buffer of this many pixels
// on the stack: 8 KiB, so that with a pass's own scratch (under 6.5 KiB) priming stays
// within 16 KiB of stack.
constexpr int32_t kScratchPixels = 2048;

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
    // The widest run this processor has, whichever pass maps.
    static const AlphaRun run = passUsable(Pass::Avx2) ? kernelsOf(Pass::Avx2).copyAlpha : copyAlphaRun;
    const std::size_t w = static_cast<std::size_t>(src.w);
    if (src.modulo == 0 && dst.modulo == 0) {
        run(pixelAt(src, 0, 0), pixelAt(dst, 0, 0), w * static_cast<std::size_t>(src.h));
        return;
    }
    for (int32_t y = 0; y < src.h; ++y)
        run(pixelAt(src, 0, y), pixelAt(dst, 0, y), w);
}

} // namespace

uint64_t maxFramePixels()
{
    const uint64_t bySamples = UINT32_MAX / 3u;
    const uint64_t byBytes   = static_cast<uint64_t>(PTRDIFF_MAX) / 4u;
    return bySamples < byBytes ? bySamples : byBytes;
}

uint32_t sampleCount(const BitmapView& frame)
{
    return static_cast<uint32_t>(frame.w) * static_cast<uint32_t>(frame.h) * 3u;
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
    return kernelsOf(pass).mapAndCount != nullptr;
}

PassKernels kernelsOf(Pass pass)
{
    switch (pass) {
    case Pass::Plain:
        return {mapAndCountReference, nullptr, mapReference, mapAndCountChannelsReference, mapChannelsReference,
                mapAndCountBetweenReference, mapAndCountChannelsBetweenReference, copyAlphaRun};
    case Pass::Portable:
        return {mapAndCountPortable, nullptr, mapPortable, mapAndCountChannelsPortable, mapChannelsPortable,
                mapAndCountBetweenPortable, mapAndCountChannelsBetweenPortable, copyAlphaRun};
#if RANGEWICK_HAVE_X86_PASSES
    case Pass::Avx2:
        if (avx2PassUsable())
            return {mapAndCountAvx2, mapAndCountAvx2KeepingAlpha, mapAvx2, mapAndCountChannelsAvx2, mapChannelsAvx2,
                    mapAndCountBetweenAvx2, mapAndCountChannelsBetweenAvx2, copyAlphaRunAvx2};
        break;
    case Pass::Avx512:
        if (avx512PassUsable())
            return {mapAndCountAvx512, mapAndCountAvx512KeepingAlpha, mapAvx512, mapAndCountChannelsAvx512,
                    mapChannelsAvx512, mapAndCountBetweenAvx512, mapAndCountChannelsBetweenAvx512, copyAlphaRunAvx2};
        break;
#else
    case Pass::Avx2:
    case Pass::Avx512:
        break;
#endif
    }
    return {};
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

void mapAndCount(const BitmapView& src, const BitmapView& dst, const int32_t table[256], Histogram& hist)
{
    static const PixelPass pass = kernelsOf(chosenPass().pass).mapAndCount;
    pass(src, dst, table, hist);
}

void mapFrame(const BitmapView& src, const BitmapView& dst, const int32_t table[256], bool keepAlpha)
{
    static const MapPass map = kernelsOf(chosenPass().pass).map;
    map(src, dst, table, keepAlpha);
}

void mapAndCountChannels(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables,
                         ChannelHistograms& hist, bool keepAlpha)
{
    static const ChannelPass pass = kernelsOf(chosenPass().pass).channels;
    pass(src, dst, tables, hist, keepAlpha);
}

void mapChannels(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables, bool keepAlpha)
{
    static const ChannelMapPass map = kernelsOf(chosenPass().pass).mapChannels;
    map(src, dst, tables, keepAlpha);
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

namespace {

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

PixelPass framePass(bool keepAlpha)
{
    if (!keepAlpha)
        return mapAndCount;
    static const PixelPass keeping = kernelsOf(chosenPass().pass).keepingAlpha;
    return keeping != nullptr ? keeping : mapAndCountPuttingAlphaBack;
}

} // namespace levels
