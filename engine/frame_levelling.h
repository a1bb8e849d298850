// The per-frame work: map every pixel through the table already in the record while
// counting R, G and B into one histogram, then detect and follow the black and white
// points and leave the table for the next frame in the record.
#pragma once

#include "levels_instance.h"

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
// memory order from `data`; `modulo` bytes follow the last pixel of each row.
struct BitmapView {
    void*          data;
    int32_t        w;
    int32_t        h;
    std::ptrdiff_t modulo;
};

// What one frame detected, before following: the points it would snap to.
struct Detection {
    int32_t black;
    int32_t white;
};

using Histogram = uint32_t[256];

// Levels one frame: dst gets src through inst.levelTable; the points and the table are
// then updated from src. The source's width and height govern both bitmaps. A frame
// with no pixels touches no pixel and leaves the record as it is.
Detection levelFrame(const BitmapView& src, const BitmapView& dst, LevelsInstance& inst);

// levelFrame for hosts that composite: each pixel of dst keeps the top byte (alpha) of
// its pixel in src. src and dst may be the same frame.
Detection levelFrameKeepingAlpha(const BitmapView& src, const BitmapView& dst, LevelsInstance& inst);

// A fresh start on this frame: the points snap to its detection and the table is
// derived from it, so that levelling the same frame next gives levelled output (the
// first frame of a stream, a seek, a changed setting). Writes no pixel.
void primeFromFrame(const BitmapView& src, LevelsInstance& inst);

namespace levels {

// Largest frame, in pixels, that can be levelled: its sample count (3 per pixel) fits
// the 32 bits it is counted in, and its bytes fit a ptrdiff_t.
uint64_t maxFramePixels();

// The pixel pass: dst = table(src), hist counts every R, G and B of src (hist is added
// to, not cleared). All of these are the same function: the plain one is the
// definition, the others are faster shapes of it, and tests hold them bit-for-bit
// equal. mapAndCount, which levelFrame uses, takes the pass chosenPass() names.
using PixelPass = void (*)(const BitmapView& src, const BitmapView& dst, const int32_t table[256], Histogram& hist);

void mapAndCountReference(const BitmapView& src, const BitmapView& dst,
                          const int32_t table[256], Histogram& hist);
void mapAndCount(const BitmapView& src, const BitmapView& dst,
                 const int32_t table[256], Histogram& hist);
// Plain C++ for every processor, as fast on every content.
void mapAndCountPortable(const BitmapView& src, const BitmapView& dst,
                         const int32_t table[256], Histogram& hist);
#if RANGEWICK_HAVE_X86_PASSES
// AVX2 with BMI2; call only where avx2PassUsable().
bool avx2PassUsable();
void mapAndCountAvx2(const BitmapView& src, const BitmapView& dst,
                     const int32_t table[256], Histogram& hist);
// The same, each pixel of dst keeping the top byte of its pixel in src.
void mapAndCountAvx2KeepingAlpha(const BitmapView& src, const BitmapView& dst,
                                 const int32_t table[256], Histogram& hist);
// AVX-512 (with VBMI, GFNI and BITALG); call only where avx512PassUsable().
bool avx512PassUsable();
void mapAndCountAvx512(const BitmapView& src, const BitmapView& dst,
                       const int32_t table[256], Histogram& hist);
void mapAndCountAvx512KeepingAlpha(const BitmapView& src, const BitmapView& dst,
                                   const int32_t table[256], Histogram& hist);
#endif

// The passes by name, slowest first. Every build has all four names; a pass this build
// or processor cannot run is simply not usable.
enum class Pass { Plain, Portable, Avx2, Avx512 };
constexpr int kPassCount = 4;
const char* passName(Pass pass); // "plain", "portable", "avx2", "avx512"
bool passUsable(Pass pass);
PixelPass passFunction(Pass pass); // nullptr where not usable
// The pass in a form that keeps each pixel's top byte from src, for the passes that
// have one (avx2, avx512); nullptr otherwise. src and dst may be the same frame.
PixelPass alphaKeepingFunction(Pass pass);

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

// The alpha half of levelFrameKeepingAlpha: each of n pixels of dst takes the top byte
// of its pixel in src (separate buffers). The AVX2 one is the same loop in wider vectors
// (on 1080p frames alpha then adds 6 % to the scalar frame pass instead of 8 to 9 %);
// tests hold the two equal.
void copyAlphaRun(const uint32_t* src, uint32_t* dst, std::size_t n);
#if RANGEWICK_HAVE_X86_PASSES
void copyAlphaRunAvx2(const uint32_t* src, uint32_t* dst, std::size_t n);
#endif

// The points a finished histogram of `sampleCount` samples detects with the record's
// settings: clipped at both ends, limited and uncrossed, before any following.
Detection detectPoints(const LevelsInstance& inst, const Histogram& hist, uint32_t sampleCount);

// The pass levelFrame maps and counts with (keepAlpha: levelFrameKeepingAlpha's).
PixelPass framePass(bool keepAlpha);

// From a finished histogram of `sampleCount` samples: detect the points, follow them
// and write the new table into the record.
Detection updatePoints(LevelsInstance& inst, const Histogram& hist, uint32_t sampleCount);

// The level table for the record's points and clipped-preview flag.
void buildLevelTable(LevelsInstance& inst);
// The same for points that may lie between levels (black <= white, both in 0..255);
// whole-level points give the record's table bit for bit.
void buildLevelTable(double black, double white, bool previewClipped, int32_t table[256]);

// Mapping alone, nothing counted: dst = table(src), each pixel's top byte 0 or, with
// keepAlpha, its top byte in src. src and dst may be the same frame. As with the pixel
// passes, mapReference is the definition and the others are faster shapes of it that
// tests hold bit-for-bit equal; mapFrame takes the one of the pass chosenPass() names.
using MapPass = void (*)(const BitmapView& src, const BitmapView& dst, const int32_t table[256], bool keepAlpha);

void mapReference(const BitmapView& src, const BitmapView& dst, const int32_t table[256], bool keepAlpha);
void mapFrame(const BitmapView& src, const BitmapView& dst, const int32_t table[256], bool keepAlpha);
void mapPortable(const BitmapView& src, const BitmapView& dst, const int32_t table[256], bool keepAlpha);
#if RANGEWICK_HAVE_X86_PASSES
// Call only where avx2PassUsable(), avx512PassUsable().
void mapAvx2(const BitmapView& src, const BitmapView& dst, const int32_t table[256], bool keepAlpha);
void mapAvx512(const BitmapView& src, const BitmapView& dst, const int32_t table[256], bool keepAlpha);
#endif
MapPass mapFunction(Pass pass); // nullptr where the pass is not usable

// Counting alone: hist gets every R, G and B of src added, nothing is written (the
// frame may be the host's output buffer). `table` is only the pass's scratch mapping.
void countFrame(const BitmapView& src, const int32_t table[256], Histogram& hist);

// Samples in a frame: 3 per pixel.
uint32_t sampleCount(const BitmapView& frame);

// ---- a table and a histogram per channel (levelling each channel on its own) ----------

// Per channel, in the order of a pixel's bytes: [0] blue, [1] green, [2] red.
using ChannelHistograms = uint32_t[3][256];
using ChannelTables     = int32_t[3][256];

// The pixel pass with a table of its own per channel, counting each channel apart:
// channel c of dst = tables[c][channel c of src], hist[c] counts channel c of src (added
// to, not cleared); the top byte of dst 0 or, with keepAlpha, src's. src and dst may be
// the same frame. With three equal tables the output is the pixel pass's, and the three
// histograms add up to its histogram. The reference is the definition; the others are
// held bit-for-bit equal to it, and mapAndCountChannels takes the chosen pass's.
using ChannelPass = void (*)(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables,
                             ChannelHistograms& hist, bool keepAlpha);
void mapAndCountChannelsReference(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables,
                                  ChannelHistograms& hist, bool keepAlpha);
void mapAndCountChannels(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables,
                         ChannelHistograms& hist, bool keepAlpha);
void mapAndCountChannelsPortable(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables,
                                 ChannelHistograms& hist, bool keepAlpha);
#if RANGEWICK_HAVE_X86_PASSES
// Call only where avx2PassUsable(), avx512PassUsable().
void mapAndCountChannelsAvx2(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables,
                             ChannelHistograms& hist, bool keepAlpha);
void mapAndCountChannelsAvx512(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables,
                               ChannelHistograms& hist, bool keepAlpha);
#endif
ChannelPass channelPassFunction(Pass pass); // nullptr where the pass is not usable

// Mapping alone with a table per channel (src and dst may be the same frame): the
// reference, and each pass's faster shape of it, held bit-for-bit equal to it;
// mapChannels takes the chosen pass's.
using ChannelMapPass = void (*)(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables,
                                bool keepAlpha);
void mapChannelsReference(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables, bool keepAlpha);
void mapChannels(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables, bool keepAlpha);
void mapChannelsPortable(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables, bool keepAlpha);
#if RANGEWICK_HAVE_X86_PASSES
void mapChannelsAvx2(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables, bool keepAlpha);
void mapChannelsAvx512(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables, bool keepAlpha);
#endif
ChannelMapPass channelMapFunction(Pass pass); // nullptr where the pass is not usable

// ---- the picture between strips at the sides of the rows (margins left and right) ----

// Pixels at the start (left) and the end (right) of every row that are mapped but not
// counted.
struct SideStrips {
    int32_t left;
    int32_t right;
};

// The pixel pass over whole rows that counts only between the strips: every pixel of
// dst = table(src), its top byte 0 or, with keepAlpha, src's; hist counts R, G and B of
// each row's pixels but its first strips.left and last strips.right (added to, not
// cleared). src and dst may be the same frame. Strips below 0 count as none; strips that
// meet or cross leave every pixel mapped and nothing counted. Each row is walked from
// its first pixel to its last, as a frame without strips is, so that memory streams
// through in order: on 1080p with strips of 240 pixels, passing the picture between
// them and then mapping them apart cost 1.05 to 1.4 times the whole frame's pass, where
// walking the rows costs what three quarters of the frame cost. The reference is the
// definition; the others are held bit-for-bit equal to it, and mapAndCountBetween takes
// the chosen pass's.
using BetweenPass = void (*)(const BitmapView& src, const BitmapView& dst, const int32_t table[256], Histogram& hist,
                             SideStrips strips, bool keepAlpha);
void mapAndCountBetweenReference(const BitmapView& src, const BitmapView& dst, const int32_t table[256],
                                 Histogram& hist, SideStrips strips, bool keepAlpha);
void mapAndCountBetween(const BitmapView& src, const BitmapView& dst, const int32_t table[256], Histogram& hist,
                        SideStrips strips, bool keepAlpha);
void mapAndCountBetweenPortable(const BitmapView& src, const BitmapView& dst, const int32_t table[256],
                                Histogram& hist, SideStrips strips, bool keepAlpha);
#if RANGEWICK_HAVE_X86_PASSES
// Call only where avx2PassUsable(), avx512PassUsable().
void mapAndCountBetweenAvx2(const BitmapView& src, const BitmapView& dst, const int32_t table[256], Histogram& hist,
                            SideStrips strips, bool keepAlpha);
void mapAndCountBetweenAvx512(const BitmapView& src, const BitmapView& dst, const int32_t table[256],
                              Histogram& hist, SideStrips strips, bool keepAlpha);
#endif

// The same with a table and a histogram per channel, as the channel pass has them.
using ChannelBetweenPass = void (*)(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables,
                                    ChannelHistograms& hist, SideStrips strips, bool keepAlpha);
void mapAndCountChannelsBetweenReference(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables,
                                         ChannelHistograms& hist, SideStrips strips, bool keepAlpha);
void mapAndCountChannelsBetween(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables,
                                ChannelHistograms& hist, SideStrips strips, bool keepAlpha);
void mapAndCountChannelsBetweenPortable(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables,
                                        ChannelHistograms& hist, SideStrips strips, bool keepAlpha);
#if RANGEWICK_HAVE_X86_PASSES
void mapAndCountChannelsBetweenAvx2(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables,
                                    ChannelHistograms& hist, SideStrips strips, bool keepAlpha);
void mapAndCountChannelsBetweenAvx512(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables,
                                      ChannelHistograms& hist, SideStrips strips, bool keepAlpha);
#endif

// Every function of one pass, all null where this build or this processor cannot run
// it: the one place that knows which function belongs to which pass.
struct PassKernels {
    PixelPass          mapAndCount;
    PixelPass          keepingAlpha;   // null where the pass has no alpha-keeping form
    MapPass            map;
    ChannelPass        channels;
    ChannelMapPass     mapChannels;
    BetweenPass        between;
    ChannelBetweenPass channelsBetween;
};
PassKernels kernelsOf(Pass pass);

// Counting alone per channel: hist[c] gets channel c of every pixel of src added,
// nothing is written (the frame may be the host's output buffer).
void countChannels(const BitmapView& src, ChannelHistograms& hist);

} // namespace levels
