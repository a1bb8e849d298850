// The pixel kernels: each pass maps a frame through a table while counting its samples,
// maps alone, or does either with a table and a histogram per channel. A pass comes in
// a plain reference (the definition of right), a portable form for every processor, and
// x86 forms (AVX2, AVX-512) picked at run time; tests hold every form bit for bit to the
// reference. The choice of pass, and the walk over a frame in bands where a pass needs
// one, are made here and nowhere else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// x86 builds with GCC or Clang carry vector passes (AVX2, AVX-512) chosen at run time;
// the rest of the build asks for nothing beyond its baseline (SSE2 on i686).
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define RANGEWICK_HAVE_X86_PASSES 1
#else
#define RANGEWICK_HAVE_X86_PASSES 0
#endif

// A frame as the host describes it: rows of 32-bit pixels 0x00RRGGBB, visited in
// memory order from `data`; `modulo` bytes follow the last pixel of each row (negative
// where the rows are visited backwards).
struct BitmapView {
    void*          data;
    int32_t        w;
    int32_t        h;
    std::ptrdiff_t modulo;
};

using Histogram = uint32_t[256];

namespace levels {

// Per channel, in the order of a pixel's bytes: [0] blue, [1] green, [2] red.
using ChannelHistograms = uint32_t[3][256];
using ChannelTables     = int32_t[3][256];

// Largest frame, in pixels, that can be levelled: its sample count (3 per pixel) fits
// the 32 bits it is counted in, and its bytes fit a ptrdiff_t.
uint64_t maxFramePixels();

// Samples in a frame: 3 per pixel.
uint32_t sampleCount(const BitmapView& frame);

// ---- the kernels of a pass ------------------------------------------------------------

// Map and count: dst = table(src), hist counts every R, G and B of src (added to, not
// cleared); the top byte of dst 0. src and dst may be the same frame.
using PixelPass = void (*)(const BitmapView& src, const BitmapView& dst, const int32_t table[256], Histogram& hist);
// Mapping alone: the top byte of dst 0 or, with keepAlpha, src's.
using MapPass = void (*)(const BitmapView& src, const BitmapView& dst, const int32_t table[256], bool keepAlpha);
// With a table of its own per channel, each channel counted apart: channel c of dst =
// tables[c][channel c of src], hist[c] counts channel c of src. With three equal tables
// the output is PixelPass's, and the three histograms add up to its histogram.
using ChannelPass = void (*)(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables,
                             ChannelHistograms& hist, bool keepAlpha);
using ChannelMapPass = void (*)(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables,
                                bool keepAlpha);
// Each of n pixels of dst takes the top byte of its pixel in src (separate buffers).
using AlphaRun = void (*)(const uint32_t* src, uint32_t* dst, std::size_t n);

// Pixels at the start (left) and the end (right) of every row that are mapped but not
// counted: margins at the sides of a picture.
struct SideStrips {
    int32_t left;
    int32_t right;
};

// Map and count over whole rows, counting only between the strips: every pixel of dst =
// table(src), its top byte 0 or, with keepAlpha, src's; hist counts R, G and B of each
// row's pixels but its first strips.left and last strips.right. Strips below 0 count as
// none; strips that meet or cross leave every pixel mapped and nothing counted. Each row
// is walked from its first pixel to its last, as a frame without strips is, so that
// memory streams through in order: on 1080p with strips of 240 pixels, passing the
// picture between them and then mapping them apart cost 1.05 to 1.4 times the whole
// frame's pass, where walking the rows costs what three quarters of the frame cost.
using BetweenPass = void (*)(const BitmapView& src, const BitmapView& dst, const int32_t table[256], Histogram& hist,
                             SideStrips strips, bool keepAlpha);
// The same with a table and a histogram per channel, as ChannelPass has them.
using ChannelBetweenPass = void (*)(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables,
                                    ChannelHistograms& hist, SideStrips strips, bool keepAlpha);

// Every function of one pass, all null where this build or this processor cannot run it.
struct PassKernels {
    PixelPass          mapAndCount;
    PixelPass          keepingAlpha;   // mapAndCount keeping src's top byte; null where the pass has none
    MapPass            map;
    ChannelPass        channels;
    ChannelMapPass     mapChannels;
    BetweenPass        between;
    ChannelBetweenPass channelsBetween;
    AlphaRun           copyAlpha;
};

// The passes by name, slowest first. Every build has all four names; a pass this build
// or processor cannot run is simply not usable.
enum class Pass { Plain, Portable, Avx2, Avx512 };
constexpr int kPassCount = 4;
const char* passName(Pass pass); // "plain", "portable", "avx2", "avx512"
bool passUsable(Pass pass);
PassKernels kernelsOf(Pass pass);

// The references, which the plain pass is: the definition the others are held to.
void mapAndCountReference(const BitmapView& src, const BitmapView& dst, const int32_t table[256], Histogram& hist);
void mapReference(const BitmapView& src, const BitmapView& dst, const int32_t table[256], bool keepAlpha);
void mapAndCountChannelsReference(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables,
                                  ChannelHistograms& hist, bool keepAlpha);
void mapChannelsReference(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables, bool keepAlpha);
void mapAndCountBetweenReference(const BitmapView& src, const BitmapView& dst, const int32_t table[256],
                                 Histogram& hist, SideStrips strips, bool keepAlpha);
void mapAndCountChannelsBetweenReference(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables,
                                         ChannelHistograms& hist, SideStrips strips, bool keepAlpha);

// ---- the pass in use --------------------------------------------------------------------

// Which pass runs, and why.
struct PassChoice {
    enum class Reason {
        Fastest,        // the fastest usable pass; nothing asked for another
        Forced,         // the one the environment asks for
        NotUsable,      // the environment asks for a pass this processor cannot run: the fastest instead
        UnknownName,    // the environment names no pass: the fastest instead
    };
    Pass pass;
    Reason reason;
};

// The variable that forces a pass (its value: a passName()).
constexpr const char* kPassVariable = "RANGEWICK_PASS";

// The choice for a value of kPassVariable (nullptr or empty: not set).
PassChoice choosePass(const char* forced);
// The choice made once, from the environment, the first time it is asked for.
PassChoice chosenPass();
// One line for people: the pass and why, e.g. "avx2 (RANGEWICK_PASS=avx512 is a pass
// this processor cannot run)". `forced`: the variable's value the choice was made from.
std::string describePass(const PassChoice& choice, const char* forced);

// The chosen pass's kernels. framePass(true) keeps each pixel's top byte from src: the
// pass's own form where it has one, otherwise the pass with alpha put back band by band.
void mapAndCount(const BitmapView& src, const BitmapView& dst, const int32_t table[256], Histogram& hist);
PixelPass framePass(bool keepAlpha);
void mapFrame(const BitmapView& src, const BitmapView& dst, const int32_t table[256], bool keepAlpha);
void mapAndCountChannels(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables,
                         ChannelHistograms& hist, bool keepAlpha);
void mapChannels(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables, bool keepAlpha);
void mapAndCountBetween(const BitmapView& src, const BitmapView& dst, const int32_t table[256], Histogram& hist,
                        SideStrips strips, bool keepAlpha);
void mapAndCountChannelsBetween(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables,
                                ChannelHistograms& hist, SideStrips strips, bool keepAlpha);

// Counting alone, nothing written (the frame may be the host's output buffer): hist gets
// every R, G and B of src added, or each channel into its own. `table` is only the
// pass's scratch mapping.
void countFrame(const BitmapView& src, const int32_t table[256], Histogram& hist);
void countChannels(const BitmapView& src, ChannelHistograms& hist);

} // namespace levels
