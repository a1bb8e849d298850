// The pixel pass with AVX2, 8 pixels at a time, for the processors that have no
// AVX-512 (most desktops and laptops).
//
// Counting is what costs: one shared histogram takes a read-modify-write per sample,
// and where neighbouring samples share levels (flat areas, dark grainy scenes, smooth
// gradients) each increment waits for the store of the one before. Within 8 pixels,
// though, a channel of real pictures seldom spans more than a few levels. So each
// channel keeps a window of 16 levels; a vector whose samples fall inside the windows
// is kept as offsets into them, and a batch of such vectors is counted at once without
// touching the histogram: for each pair of the 16 levels a byte shuffle of the whole
// batch, summed in nibble counters. The batch is counted when it is full and whenever
// a window has to move, into a histogram per channel that the frame's takes at the
// end. A channel whose 8 samples span 16 levels or more (noise, hard edges) is counted
// sample by sample, and after a vector where no channel fits the next few are counted
// that way without trying the windows, in a loop of their own: twice as many again
// each time the windows fail once more.
//
// Mapping: a vector inside the windows looks its samples up with one byte shuffle per
// channel from the 16 table entries of that channel's window. Any other vector is
// worked out where the table is a stretch of one range of levels onto 0..255 (the
// tables levelling makes, see findStretch), and otherwise looked up in the whole
// table: two sets of 8 shuffles over 16-entry slices, each set covering half the
// levels. Where alpha is kept, each vector takes its top bytes back before its store.
// Mapping alone (mapAvx2, a cut frame mapped again) takes every vector through the
// whole table in the same two ways.
//
// With a table per channel (levelling the channels apart) the pass is the same code:
// each channel's window looks up its own table's entries, and every sample is counted
// into its channel's own histogram. The stretch is worked out with each channel's own
// numbers in its lanes where all three tables are stretches; otherwise runs of vectors
// are taken four at a time, rearranged into a vector per channel, each looked up in its
// own table alone.
#include "../pass_parts.h"

#if RANGEWICK_HAVE_X86_PASSES

#include <immintrin.h>

#define RANGEWICK_AVX2 __attribute__((target("avx2,bmi,bmi2")))

namespace levels {

namespace {

constexpr int kPixels = 8;      // pixels per vector
constexpr int kWindow = 16;     // levels covered by each channel's window
// Vectors of offsets counted together: a nibble counter takes at most 15.
constexpr int kBatch = 15;
// Pairs of levels whose counters the batch count keeps in registers at once: all 8 where
// there are 16 vector registers, half where there are 8 (i686).
constexpr int kPairsPerLoop = sizeof(void*) == 8 ? 8 : 4;
// After a vector that no window could hold, the next few are counted one by one
// without trying: the try costs as much as the counting saves, and noise rarely ends
// at once. Each try that fails again doubles the stretch, up to the longest (about a
// row of 1080p): on noise the tries then cost next to nothing, and a vector that fits
// brings back the shortest.
constexpr int kVectorsToSkip = 15;
constexpr int kLongestSkip = 255;

// Where a pass counts: the batches into a histogram per channel (`windows`), and the
// samples counted one by one into the frame's one histogram (`shared`) or, with
// kPerChannel, into their channel's in `windows` too. of(c): channel c's counters.
template <bool kPerChannel>
struct Counts {
    uint32_t* shared;
    ChannelHistograms* windows;

    uint32_t* of(int channel) const { return kPerChannel ? (*windows)[channel] : shared; }
};

// The mapped pixels, with the top bytes of `pixels` where alpha is kept (the mapping
// leaves them 0).
template <bool kKeepAlpha>
RANGEWICK_AVX2 __m256i withAlpha(__m256i mapped, __m256i pixels)
{
    if (!kKeepAlpha)
        return mapped;
    return _mm256_or_si256(mapped, _mm256_and_si256(pixels, _mm256_set1_epi32(static_cast<int>(0xFF000000u))));
}

// Table entries first..first + 31 as bytes.
RANGEWICK_AVX2 __m256i entryBytes(const int32_t table[256], int first)
{
    const __m256i* const t = reinterpret_cast<const __m256i*>(table + first);
    // Packing works within 128-bit lanes: the dwords of four entries come out in the
    // order 0, 2, 4, 6, 1, 3, 5, 7.
    const __m256i words0 = _mm256_packus_epi32(_mm256_loadu_si256(t), _mm256_loadu_si256(t + 1));
    const __m256i words1 = _mm256_packus_epi32(_mm256_loadu_si256(t + 2), _mm256_loadu_si256(t + 3));
    return _mm256_permutevar8x32_epi32(_mm256_packus_epi16(words0, words1), _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
}

// What a Stretch shifts its lanes by (see there).
template <int kTables>
struct StretchShift {
    using Type = __m256i;
};
template <>
struct StretchShift<1> {
    using Type = __m128i;
};

// A table that stretches levels black..black + range onto 0..255, rounding to nearest:
// e(i) = (255 k + range / 2) / range with k = i - black (0 below black), at most 255.
// In 16-bit lanes the division is a multiply-high by a magic number and a shift, about
// a quarter of the work of a lookup in the whole table. With a table per channel each
// channel's lanes hold its own numbers.
template <int kTables>
struct Stretch {
    static constexpr bool kByFour = false;
    // Per pixel: black for B, G and R, and 255 for the top byte, which then maps to 0
    // as black does.
    __m256i black;
    __m256i bias, magic;
    // One table: the shift of every lane. A table per channel: 2^(16 - shift) in each
    // lane, for a multiply-high that shifts each channel by its own (AVX2 shifts 16-bit
    // lanes all by one count).
    typename StretchShift<kTables>::Type shift;

    RANGEWICK_AVX2 __m256i map(__m256i pixels) const
    {
        // Each 128-bit lane unpacked into words and packed back: the bytes keep their order.
        const __m256i zero = _mm256_setzero_si256();
        return _mm256_packus_epi16(words(_mm256_unpacklo_epi8(pixels, zero), black),
                                   words(_mm256_unpackhi_epi8(pixels, zero), black));
    }

    RANGEWICK_AVX2 __m256i words(__m256i levels, __m256i blacks) const
    {
        const __m256i k = _mm256_subs_epu16(levels, blacks);
        const __m256i n = _mm256_add_epi16(_mm256_mullo_epi16(k, _mm256_set1_epi16(255)), bias);
        if constexpr (kTables == 1)
            return _mm256_srl_epi16(_mm256_mulhi_epu16(n, magic), shift);
        else
            return _mm256_mulhi_epu16(_mm256_mulhi_epu16(n, magic), shift);
    }

    // Whether it gives every entry of the table.
    RANGEWICK_AVX2 bool isTable(const int32_t table[256], int blackLevel) const
    {
        // Words of levels 0-7 and 16-23 and of 8-15 and 24-31 pack into bytes of 0-31.
        const __m256i first = _mm256_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7, 16, 17, 18, 19, 20, 21, 22, 23);
        const __m256i blacks = _mm256_set1_epi16(static_cast<short>(blackLevel));
        __m256i differ = _mm256_setzero_si256();
        // Kept rolled, as are the search's loops: the search runs once a frame, and
        // unrolled it spilled its constants into up to 1 KiB of stack on i686.
#pragma GCC unroll 1
        for (int j = 0; j < 8; ++j) {
            const __m256i low = _mm256_add_epi16(first, _mm256_set1_epi16(static_cast<short>(32 * j)));
            const __m256i high = _mm256_add_epi16(low, _mm256_set1_epi16(8));
            const __m256i entries = _mm256_packus_epi16(words(low, blacks), words(high, blacks));
            differ = _mm256_or_si256(differ, _mm256_xor_si256(entries, entryBytes(table, 32 * j)));
        }
        return _mm256_testz_si256(differ, differ) != 0;
    }
};

// Whether the table is a stretch, and if so the stretch that gives it. The answer comes
// from working out all 256 entries exactly as the pixels would be and comparing: the
// rounding of the double arithmetic that builds the table puts some halves down, so the
// bias may be one less, and a few ranges (about 3 % of the pairs of points) have no
// magic number that fits 16 bits. Those tables, and any others, are looked up.
struct StretchNumbers {
    int black, bias, magic, shift;
};

RANGEWICK_AVX2 bool findStretch(const int32_t table[256], Stretch<1>& stretch, StretchNumbers& found)
{
    // black: the last of the zeros that begin the table; white: the first 255.
    int black = -1, white = 256;
    for (int j = 0; j < 8 && black == 32 * j - 1; ++j) {
        const __m256i entries = entryBytes(table, 32 * j);
        const unsigned zeros = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(entries, _mm256_setzero_si256())));
        black += zeros == ~0u ? 32 : static_cast<int>(_tzcnt_u32(~zeros));
    }
#pragma GCC unroll 1
    for (int j = 7; j >= 0; --j) {
        const __m256i entries = entryBytes(table, 32 * j);
        const unsigned whites = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(entries, _mm256_set1_epi8(-1))));
        if (whites != 0)
            white = 32 * j + static_cast<int>(_tzcnt_u32(whites));
    }
    const int range = white - black;
    if (black < 0 || white == 256 || range < 2)
        return false;
    // The largest shift whose magic number, 2^(16 + shift) / range rounded up, fits.
    int shift = 0;
    while (((1 << (17 + shift)) + range - 1) / range <= 0xFFFF)
        ++shift;
    const int magic = ((1 << (16 + shift)) + range - 1) / range;
    stretch.shift = _mm_cvtsi32_si128(shift);
    const uint64_t blacks = 0x0000000100010001ull * static_cast<unsigned>(black);
    stretch.black = _mm256_set1_epi64x(static_cast<long long>(0x00FF000000000000ull | blacks));
#pragma GCC unroll 1
    for (const int bias : {range / 2, range / 2 - 1})
#pragma GCC unroll 1
        for (const int m : {magic, magic + 1}) {
            stretch.bias = _mm256_set1_epi16(static_cast<short>(bias));
            stretch.magic = _mm256_set1_epi16(static_cast<short>(m));
            if (m <= 0xFFFF && stretch.isTable(table, black)) {
                found = {black, bias, m, shift};
                return true;
            }
        }
    return false;
}

RANGEWICK_AVX2 bool findStretch(const TableSet<1>& tables, Stretch<1>& stretch)
{
    StretchNumbers found;
    return findStretch(tables.of(0), stretch, found);
}

// A table per channel: worked out only where all three are stretches, each channel's
// numbers in its own lanes of words, the top byte's bias and magic 0 so that it maps to
// 0. A range of 2 levels (shift 0) would need 2^16 to shift by.
RANGEWICK_AVX2 bool findStretch(const TableSet<3>& tables, Stretch<3>& stretch)
{
    uint64_t black = 0x00FF000000000000ull, bias = 0, magic = 0, shift = 0;
#pragma GCC unroll 1
    for (int c = 0; c < 3; ++c) {
        Stretch<1> one;
        StretchNumbers found;
        if (!findStretch(tables.of(c), one, found) || found.shift == 0)
            return false;
        const int lane = 16 * c;
        black |= static_cast<uint64_t>(found.black) << lane;
        bias |= static_cast<uint64_t>(found.bias) << lane;
        magic |= static_cast<uint64_t>(found.magic) << lane;
        shift |= static_cast<uint64_t>(1u << (16 - found.shift)) << lane;
    }
    stretch.black = _mm256_set1_epi64x(static_cast<long long>(black));
    stretch.bias = _mm256_set1_epi64x(static_cast<long long>(bias));
    stretch.magic = _mm256_set1_epi64x(static_cast<long long>(magic));
    stretch.shift = _mm256_set1_epi64x(static_cast<long long>(shift));
    return true;
}

// Any table, looked up whole: two sets of 8 shuffles over 16-entry slices, each set
// covering half the levels. With a table per channel, every byte of a vector is looked
// up in each and takes its own channel's; four vectors at once (mapFour) are first
// rearranged into a vector per channel, each looked up in its own table alone, a third
// of the shuffles.
template <int kTables>
struct Lookup {
    static constexpr bool kByFour = kTables == 3; // whether mapFour is the way to map
    const __m128i (*slices)[16]; // per table 16, as setSlices makes them

    // Slice k of table t in both 128-bit lanes, broadcast as it is loaded: half the bytes held.
    RANGEWICK_AVX2 __m256i slice(int t, int k) const
    {
        return _mm256_broadcastsi128_si256(_mm_loadu_si128(slices[t] + k));
    }

    RANGEWICK_AVX2 __m256i map(__m256i pixels) const
    {
        if constexpr (kTables == 1)
            return _mm256_and_si256(lookUp(0, pixels), _mm256_set1_epi32(0x00FFFFFF));
        return mapThroughEach(pixels);
    }

    // With a table per channel, out of line, as mapFour: inlined into the pass, the
    // compiler moved all 48 slices out of its loops and spilled them, 1.5 KiB of stack.
    __attribute__((noinline)) RANGEWICK_AVX2 __m256i mapThroughEach(__m256i pixels) const
    {
        const __m256i blueGreen = _mm256_blendv_epi8(lookUp(0, pixels), lookUp(1, pixels), _mm256_set1_epi32(0x0000FF00));
        return _mm256_and_si256(_mm256_blendv_epi8(blueGreen, lookUp(2, pixels), _mm256_set1_epi32(0x00FF0000)),
                                _mm256_set1_epi32(0x00FFFFFF));
    }

    // Four vectors of pixels mapped as map() maps each.
    __attribute__((noinline)) RANGEWICK_AVX2 void mapFour(const __m256i (&pixels)[4], __m256i (&mapped)[4]) const
    {
        // Within each 128-bit lane: each vector's bytes grouped into a dword per channel,
        // then the dwords of the four vectors transposed, and back again after.
        const __m256i group = _mm256_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15,
                                               0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
        const __m256i g0 = _mm256_shuffle_epi8(pixels[0], group), g1 = _mm256_shuffle_epi8(pixels[1], group);
        const __m256i g2 = _mm256_shuffle_epi8(pixels[2], group), g3 = _mm256_shuffle_epi8(pixels[3], group);
        const __m256i blueGreen01 = _mm256_unpacklo_epi32(g0, g1), blueGreen23 = _mm256_unpacklo_epi32(g2, g3);
        const __m256i red01 = _mm256_unpackhi_epi32(g0, g1), red23 = _mm256_unpackhi_epi32(g2, g3);
        const __m256i blue = lookUp(0, _mm256_unpacklo_epi64(blueGreen01, blueGreen23));
        const __m256i green = lookUp(1, _mm256_unpackhi_epi64(blueGreen01, blueGreen23));
        const __m256i red = lookUp(2, _mm256_unpacklo_epi64(red01, red23));
        const __m256i zero = _mm256_setzero_si256();
        const __m256i bg01 = _mm256_unpacklo_epi32(blue, green), bg23 = _mm256_unpackhi_epi32(blue, green);
        const __m256i r01 = _mm256_unpacklo_epi32(red, zero), r23 = _mm256_unpackhi_epi32(red, zero);
        mapped[0] = _mm256_shuffle_epi8(_mm256_unpacklo_epi64(bg01, r01), group);
        mapped[1] = _mm256_shuffle_epi8(_mm256_unpackhi_epi64(bg01, r01), group);
        mapped[2] = _mm256_shuffle_epi8(_mm256_unpacklo_epi64(bg23, r23), group);
        mapped[3] = _mm256_shuffle_epi8(_mm256_unpackhi_epi64(bg23, r23), group);
    }

    // Every byte of `pixels` through table t.
    RANGEWICK_AVX2 __m256i lookUp(int t, __m256i pixels) const
    {
        // A shuffle gives 0 for an index with its top bit set: slice k of the lower
        // half contributes exactly to the levels of slices k and up (of that half).
        // Levels of the other half come out as anything, and the blend replaces them.
        // The subtraction saturates, which changes no index of the half looked up (none
        // goes below -112) and keeps the compiler from making the chain 14 constants,
        // more than there are registers for.
        const __m256i sixteen = _mm256_set1_epi8(16);
        __m256i index = pixels;
        __m256i low = _mm256_shuffle_epi8(slice(t, 0), index);
        for (int k = 1; k < 8; ++k) {
            index = _mm256_subs_epi8(index, sixteen);
            low = _mm256_xor_si256(low, _mm256_shuffle_epi8(slice(t, k), index));
        }
        index = _mm256_xor_si256(pixels, _mm256_set1_epi8(static_cast<char>(0x80)));
        __m256i high = _mm256_shuffle_epi8(slice(t, 8), index);
        for (int k = 9; k < 16; ++k) {
            index = _mm256_subs_epi8(index, sixteen);
            high = _mm256_xor_si256(high, _mm256_shuffle_epi8(slice(t, k), index));
        }
        return _mm256_blendv_epi8(low, high, pixels);
    }
};

// The table in 16-entry slices. Slice k of each half is xored with slice k - 1, so that
// the xor of slices 0..k, which the lookup gathers for a level in slice k, is slice k
// itself.
RANGEWICK_AVX2 void setSlices(const int32_t table[256], __m128i (&slices)[16])
{
    __m128i before = _mm_setzero_si128();
    for (int j = 0; j < 8; ++j) {
        const __m256i entries = entryBytes(table, 32 * j);
        const __m128i low = _mm256_castsi256_si128(entries), high = _mm256_extracti128_si256(entries, 1);
        slices[2 * j] = j % 4 == 0 ? low : _mm_xor_si128(low, before);
        slices[2 * j + 1] = _mm_xor_si128(high, low);
        before = high;
    }
}

// Any pixels through the whole table (or tables): worked out where it is a stretch,
// looked up otherwise.
template <int kTables>
class WholeTable {
public:
    RANGEWICK_AVX2 explicit WholeTable(const TableSet<kTables>& tables)
    {
        stretched_ = findStretch(tables, stretch_);
        if (!stretched_)
            for (int t = 0; t < kTables; ++t)
                setSlices(tables.of(t), slices_[t]);
    }

    bool stretched() const { return stretched_; }
    const Stretch<kTables>& stretch() const { return stretch_; }
    Lookup<kTables> lookup() const { return {slices_}; }

    RANGEWICK_AVX2 __m256i map(__m256i pixels) const
    {
        return stretched_ ? stretch_.map(pixels) : lookup().map(pixels);
    }

private:
    Stretch<kTables> stretch_;
    __m128i slices_[kTables][16];
    bool stretched_;
};


// The lanes of the pixels that follow a row's last whole vector.
RANGEWICK_AVX2 __m256i tailLanes(int32_t w)
{
    return _mm256_cmpgt_epi32(_mm256_set1_epi32(w % kPixels), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
}

// The pixels of `lanes` through `map`, touching no other pixel (a row's last few).
template <bool kKeepAlpha, class Map>
RANGEWICK_AVX2 void mapLanes(const uint32_t* in, uint32_t* out, __m256i lanes, const Map& map)
{
    const __m256i pixels = _mm256_maskload_epi32(reinterpret_cast<const int*>(in), lanes);
    _mm256_maskstore_epi32(reinterpret_cast<int*>(out), lanes, withAlpha<kKeepAlpha>(map.map(pixels), pixels));
}

// Helpers of the pass that depend on none of its template's arguments, outside it: each
// instance of the class would have its own identical copy, and the MinGW builds fold
// such copies into one called through a wrapper compiled without AVX2.
RANGEWICK_AVX2 __m256i highNibbles() { return _mm256_set1_epi32(0x00F0F0F0); }

RANGEWICK_AVX2 __m256i offsetsFrom(__m256i pixels, __m256i start)
{
    return _mm256_or_si256(_mm256_sub_epi8(pixels, start), _mm256_set1_epi32(static_cast<int>(0xFF000000u)));
}

RANGEWICK_AVX2 __m256i lookUpInWindows(__m256i offset, __m256i blueTable, __m256i greenTable, __m256i redTable)
{
    // Each shuffle looks up every byte in one channel's window; the top byte, whose
    // offset has the top bit set, gets 0 from all three.
    const __m256i blue = _mm256_shuffle_epi8(blueTable, offset);
    const __m256i green = _mm256_shuffle_epi8(greenTable, offset);
    const __m256i red = _mm256_shuffle_epi8(redTable, offset);
    const __m256i blueGreen = _mm256_blendv_epi8(blue, green, _mm256_set1_epi32(0x0000FF00));
    return _mm256_blendv_epi8(blueGreen, red, _mm256_set1_epi32(0x00FF0000));
}

// The counts of pair k's levels, 2k and 2k + 1, each summed over pixels two apart:
// the dwords of a lane hold level 2k, 2k + 1, 2k, 2k + 1, a byte per channel.
RANGEWICK_AVX2 __m256i pairOf(const __m256i (&pairCounts)[kWindow / 2], int k)
{
    const __m256i lowNibbles = _mm256_set1_epi8(0x0F);
    const __m256i a = _mm256_and_si256(pairCounts[k], lowNibbles);
    const __m256i b = _mm256_and_si256(_mm256_srli_epi16(pairCounts[k], 4), lowNibbles);
    return _mm256_add_epi8(_mm256_unpacklo_epi32(a, b), _mm256_unpackhi_epi32(a, b));
}

// Levels 2k to 2k + 3 (pairs k and k + 1), each summed over the 4 pixels of a lane:
// dword m of a lane holds level 2k + m.
RANGEWICK_AVX2 __m256i quadOf(const __m256i (&pairCounts)[kWindow / 2], int k)
{
    const __m256i a = pairOf(pairCounts, k), b = pairOf(pairCounts, k + 1);
    return _mm256_add_epi8(_mm256_unpacklo_epi64(a, b), _mm256_unpackhi_epi64(a, b));
}

// The shuffle table that makes offset 2k 0x01 and offset 2k + 1 0x10.
RANGEWICK_AVX2 __m256i pairOneHot(int k)
{
    alignas(16) static const uint8_t oneHot[kWindow / 2][16] = {
        {0x01, 0x10}, {0, 0, 0x01, 0x10}, {0, 0, 0, 0, 0x01, 0x10}, {0, 0, 0, 0, 0, 0, 0x01, 0x10},
        {0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x10}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x10},
        {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x10}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x10}};
    return _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(oneHot[k])));
}

template <int kTables, bool kPerChannel>
class Avx2Pass {
public:
    RANGEWICK_AVX2 Avx2Pass(const TableSet<kTables>& tables, Counts<kPerChannel> counts)
        : counts_(counts), whole_(tables)
    {
        for (int t = 0; t < kTables; ++t)
            for (int i = 0; i < 256; ++i)
                tableBytes_[t][i] = static_cast<uint8_t>(tables.of(t)[i]);
        start_ = _mm256_setzero_si256();
        setWindowTables();
        batched_ = 0;
        toSkip_ = 0;
        skipLength_ = kVectorsToSkip;
    }

    // Vectors still to be counted one sample at a time before the windows are tried.
    int toSkip() const { return toSkip_; }

    // `vectors` vectors (no more than toSkip()) from `in` to `out` through the whole
    // table, counted sample by sample: the loop of noise, kept free of the windows.
    template <bool kKeepAlpha>
    RANGEWICK_AVX2 void mapAndCountRun(const uint32_t* in, uint32_t* out, int vectors)
    {
        toSkip_ -= vectors;
        if (whole_.stretched()) {
            countRun<true, kKeepAlpha>(in, out, vectors);
            return;
        }
        countRun<false, kKeepAlpha>(in, out, vectors);
    }

    // Maps and batches vectors from `in` to `out` for as long as they fit in the
    // windows, up to `vectors`; returns how many did. Kept in locals: the stores to
    // the batch and the output may alias anything, so members would be read again
    // for every vector.
    template <bool kKeepAlpha>
    RANGEWICK_AVX2 int mapInWindowsRun(const uint32_t* in, uint32_t* out, int vectors)
    {
        const __m256i start = start_, high = highNibbles();
        const __m256i blueTable = windowTable_[0], greenTable = windowTable_[1], redTable = windowTable_[2];
        int batched = batched_;
        int v = 0;
        for (; v < vectors; ++v, in += kPixels, out += kPixels) {
            const __m256i pixels = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
            const __m256i offset = offsetsFrom(pixels, start);
            if (!_mm256_testz_si256(offset, high))
                break;
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(batch_[batched]), offset);
            const __m256i mapped = lookUpInWindows(offset, blueTable, greenTable, redTable);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), withAlpha<kKeepAlpha>(mapped, pixels));
            if (++batched == kBatch) {
                batched_ = batched;
                flush();
                batched = 0;
            }
        }
        batched_ = batched;
        if (v > 0)
            skipLength_ = kVectorsToSkip;
        return v;
    }

    // The mapped pixels of a vector that left the windows, and its samples counted
    // (read from `pixels`, also at `src` for the samples counted one by one). The batch
    // is counted anyway, so every window moves onto this vector.
    RANGEWICK_AVX2 __m256i moveOnto(__m256i pixels, const uint32_t* src)
    {
        flush();
        const __m256i wide = moveWindows(pixels);
        const __m256i offset = offsetsOf(pixels);
        const unsigned channels = static_cast<unsigned>(_mm256_movemask_epi8(wide)) & kAllChannels;
        if (channels == 0) {
            skipLength_ = kVectorsToSkip;
            batch(offset);
            return mapInWindows(offset);
        }
        countChannels(src, kPixels, channels);
        if (channels == kAllChannels) { // noise: nothing for the windows
            toSkip_ = skipLength_;
            skipLength_ = skipLength_ < kLongestSkip ? 2 * skipLength_ + 1 : kLongestSkip;
            return whole_.map(pixels);
        }
        skipLength_ = kVectorsToSkip;
        // Samples of the wide channels match no level of the batch.
        batch(_mm256_or_si256(offset, wide));
        return whole_.map(pixels);
    }

    // Counts the batch and adds it into the channels' histograms. Out of line: inlined
    // into the pixel loop it made the vectors inside the windows slower. Not cloned:
    // GCC's copy for full batches spilled into 2.5 KiB of stack on i686, and was slower
    // on dark grain there and here.
    __attribute__((noinline, noclone)) RANGEWICK_AVX2 void flush()
    {
        if (batched_ == 0)
            return;
        // Per pair of levels 2k and 2k + 1, nibble counters of how many samples in each
        // byte position have either: a byte shuffle turns each offset into 0x01 for
        // level 2k, 0x10 for level 2k + 1 and 0 for any other, and these are summed.
        // kPairsPerLoop pairs at a time, each vector loaded once for them. The one-hot
        // tables are read in the loop: held in registers beside the counters they left
        // i686 too few, and counters went through memory.
        __m256i pairCounts[kWindow / 2];
        for (int k = 0; k < kWindow / 2; k += kPairsPerLoop) {
            __m256i counts[kPairsPerLoop];
            for (__m256i& count : counts)
                count = _mm256_setzero_si256();
            for (int i = 0; i < batched_; ++i) {
                const __m256i offset = loadBatch(i);
                for (int j = 0; j < kPairsPerLoop; ++j)
                    counts[j] = _mm256_add_epi8(counts[j], _mm256_shuffle_epi8(pairOneHot(k + j), offset));
            }
            for (int j = 0; j < kPairsPerLoop; ++j)
                pairCounts[k + j] = counts[j];
        }
        batched_ = 0;
        // Summed over the 8 pixels, halving the vectors at each step, as a tree so that
        // few vectors are live at once: afterwards dword m of sums[s] holds level 8s + m's
        // counts of blue, green and red.
        __m256i sums[2];
        for (int s = 0; s < 2; ++s) {
            const __m256i a = quadOf(pairCounts, 4 * s), b = quadOf(pairCounts, 4 * s + 2);
            sums[s] = _mm256_add_epi8(_mm256_permute2x128_si256(a, b, 0x20), _mm256_permute2x128_si256(a, b, 0x31));
        }
        for (int c = 0; c < 3; ++c)
            addWindow(c, sums);
    }

    // The samples of the channels in `channels` (bit c: channel c) of `pixels` pixels.
    void countChannels(const uint32_t* src, int32_t pixels, unsigned channels)
    {
        if (channels == kAllChannels) {
            uint32_t* const blue = counts_.of(0);
            uint32_t* const green = counts_.of(1);
            uint32_t* const red = counts_.of(2);
            for (int32_t i = 0; i < pixels; ++i) {
                const uint32_t p = src[i];
                ++blue[p & 0xFF];
                ++green[(p >> 8) & 0xFF];
                ++red[(p >> 16) & 0xFF];
            }
            return;
        }
        for (unsigned c = 0; c < 3; ++c)
            if (channels & (1u << c)) {
                uint32_t* const bins = counts_.of(static_cast<int>(c));
                for (int32_t i = 0; i < pixels; ++i)
                    ++bins[(src[i] >> (8 * c)) & 0xFF];
            }
    }

    const WholeTable<kTables>& whole() const { return whole_; }

private:
    template <bool kStretched, bool kKeepAlpha>
    RANGEWICK_AVX2 void countRun(const uint32_t* in, uint32_t* out, int vectors)
    {
        uint32_t* const blue = counts_.of(0);
        uint32_t* const green = counts_.of(1);
        uint32_t* const red = counts_.of(2);
        int v = 0;
        if constexpr (!kStretched && Lookup<kTables>::kByFour)
            for (; v + 4 <= vectors; v += 4, in += 4 * kPixels, out += 4 * kPixels) {
                __m256i pixels[4], mapped[4];
                for (int i = 0; i < 4; ++i)
                    pixels[i] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + kPixels * i));
                for (int i = 0; i < 4 * kPixels; ++i) {
                    const uint32_t p = in[i];
                    ++blue[p & 0xFF];
                    ++green[(p >> 8) & 0xFF];
                    ++red[(p >> 16) & 0xFF];
                }
                whole_.lookup().mapFour(pixels, mapped);
                for (int i = 0; i < 4; ++i)
                    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + kPixels * i),
                                        withAlpha<kKeepAlpha>(mapped[i], pixels[i]));
            }
        for (; v < vectors; ++v, in += kPixels, out += kPixels) {
            const __m256i pixels = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
            for (int i = 0; i < kPixels; ++i) {
                const uint32_t p = in[i];
                ++blue[p & 0xFF];
                ++green[(p >> 8) & 0xFF];
                ++red[(p >> 16) & 0xFF];
            }
            const __m256i mapped = kStretched ? whole_.stretch().map(pixels) : whole_.lookup().map(pixels);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), withAlpha<kKeepAlpha>(mapped, pixels));
        }
    }

    static constexpr unsigned kAllChannels = 7;

    // Each sample's offset into its channel's window; the top byte becomes 0xFF, which
    // matches no level and looks nothing up.
    RANGEWICK_AVX2 __m256i offsetsOf(__m256i pixels) const { return offsetsFrom(pixels, start_); }

    // Puts each channel's window around this vector's samples. A channel that left its
    // window upwards gets most of the spare levels above its samples, one that left it
    // downwards most of those below: pictures drift through levels in gradients, and
    // that keeps the window ahead of the drift. The others are centred. Returns 0xFF in
    // every byte of the channels whose samples span more than a window holds.
    RANGEWICK_AVX2 __m256i moveWindows(__m256i pixels)
    {
        __m256i lo = pixels, hi = pixels;
        lo = _mm256_min_epu8(lo, _mm256_shuffle_epi32(lo, 0x4E));
        hi = _mm256_max_epu8(hi, _mm256_shuffle_epi32(hi, 0x4E));
        lo = _mm256_min_epu8(lo, _mm256_shuffle_epi32(lo, 0xB1));
        hi = _mm256_max_epu8(hi, _mm256_shuffle_epi32(hi, 0xB1));
        lo = _mm256_min_epu8(lo, _mm256_permute2x128_si256(lo, lo, 1));
        hi = _mm256_max_epu8(hi, _mm256_permute2x128_si256(hi, hi, 1));
        const __m256i top = _mm256_add_epi8(start_, _mm256_set1_epi8(kWindow - 1));
        const __m256i up = _mm256_xor_si256(_mm256_cmpeq_epi8(_mm256_max_epu8(hi, top), top), _mm256_set1_epi8(-1));
        const __m256i down = _mm256_xor_si256(_mm256_cmpeq_epi8(_mm256_min_epu8(lo, start_), start_), _mm256_set1_epi8(-1));
        const __m256i span = _mm256_sub_epi8(hi, lo);
        const __m256i slack = _mm256_subs_epu8(_mm256_set1_epi8(kWindow - 1), span);
        const __m256i lowBits = _mm256_set1_epi8(0x1F);
        const __m256i half = _mm256_and_si256(_mm256_srli_epi16(slack, 1), lowBits);
        const __m256i eighth = _mm256_and_si256(_mm256_srli_epi16(slack, 3), lowBits);
        __m256i below = _mm256_blendv_epi8(half, eighth, _mm256_andnot_si256(down, up));
        below = _mm256_blendv_epi8(below, _mm256_sub_epi8(slack, eighth), _mm256_andnot_si256(up, down));
        // No later than 256 - 16: a window never passes level 255.
        const __m256i first = _mm256_min_epu8(_mm256_subs_epu8(lo, below), _mm256_set1_epi8(static_cast<char>(256 - kWindow)));
        start_ = _mm256_and_si256(first, _mm256_set1_epi32(0x00FFFFFF));
        setWindowTables();
        const __m256i fits = _mm256_cmpeq_epi8(_mm256_min_epu8(span, _mm256_set1_epi8(kWindow - 1)), span);
        return _mm256_andnot_si256(fits, _mm256_set1_epi32(0x00FFFFFF));
    }

    // Per channel, the entries of its table in its window, in both 16-byte halves.
    RANGEWICK_AVX2 void setWindowTables()
    {
        for (int c = 0; c < 3; ++c) {
            const uint8_t* const entries = tableBytes_[kTables == 1 ? 0 : c] + startOf(c);
            windowTable_[c] = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(entries)));
        }
    }

    RANGEWICK_AVX2 __m256i mapInWindows(__m256i offset) const
    {
        return lookUpInWindows(offset, windowTable_[0], windowTable_[1], windowTable_[2]);
    }

    RANGEWICK_AVX2 int startOf(int channel) const
    {
        return static_cast<int>((static_cast<uint32_t>(_mm256_cvtsi256_si32(start_)) >> (8 * channel)) & 0xFF);
    }

    RANGEWICK_AVX2 void batch(__m256i offset)
    {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(batch_[batched_]), offset);
        if (++batched_ == kBatch)
            flush();
    }

    RANGEWICK_AVX2 __m256i loadBatch(int i) const
    {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(batch_[i]));
    }

    // Channel c's counts of the window's 16 levels, byte c of each dword of `sums`,
    // added to the channel's own histogram. In one shared histogram the windows of
    // different channels overlap at any offset, and a read that partly overlaps a store
    // just made by the channel before waits for that store.
    RANGEWICK_AVX2 void addWindow(int c, const __m256i (&sums)[2])
    {
        // Byte c of each dword, as the dword: from byte 4i + c of a lane into dword i.
        const __m256i channel = _mm256_add_epi32(_mm256_setr_epi32(0, 4, 8, 12, 0, 4, 8, 12),
                                                 _mm256_set1_epi32(static_cast<int>(0x80808000u + static_cast<unsigned>(c))));
        uint32_t* const bins = (*counts_.windows)[c] + startOf(c);
        for (int s = 0; s < 2; ++s) {
            __m256i* const eight = reinterpret_cast<__m256i*>(bins + 8 * s);
            _mm256_storeu_si256(eight, _mm256_add_epi32(_mm256_loadu_si256(eight), _mm256_shuffle_epi8(sums[s], channel)));
        }
    }

    const Counts<kPerChannel> counts_;
    const WholeTable<kTables> whole_; // vectors that no window holds
    __m256i start_;          // per byte: the first level of its channel's window (top byte 0)
    __m256i windowTable_[3]; // per channel: the table entries of its window
    int batched_;            // vectors waiting in batch_
    int toSkip_;             // vectors to count one by one before trying the windows again
    int skipLength_;         // toSkip_ after the next vector that fails
    uint8_t tableBytes_[kTables][256];
    uint8_t batch_[kBatch][32];
};

} // namespace

bool avx2PassUsable()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2");
}

namespace {

// n pixels through `map`, nothing counted: the strips beside a row's picture. Inlined:
// out of line, each copy took a frame of its own (up to 368 bytes on Windows x64, which
// saves xmm6 to xmm15), which the stack budget counts.
template <bool kKeepAlpha, class Map>
inline __attribute__((always_inline)) RANGEWICK_AVX2 void mapStrip(const uint32_t* in, uint32_t* out, int32_t n, const Map& map)
{
    for (; n >= kPixels; n -= kPixels, in += kPixels, out += kPixels) {
        const __m256i pixels = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), withAlpha<kKeepAlpha>(map.map(pixels), pixels));
    }
    if (n != 0)
        mapLanes<kKeepAlpha>(in, out, tailLanes(n), map);
}

// The pass over whole rows, the strips at their sides (which must leave a picture
// between them) mapped and not counted.
template <bool kKeepAlpha, int kTables, bool kPerChannel>
RANGEWICK_AVX2 void mapAndCountRows(const BitmapView& src, const BitmapView& dst, const TableSet<kTables>& tables,
                                    Counts<kPerChannel> counts, SideStrips strips = {0, 0})
{
    Avx2Pass<kTables, kPerChannel> pass(tables, counts);
    const int32_t w = src.w - strips.left - strips.right;
    const int32_t vectors = w / kPixels, tail = w % kPixels;
    const __m256i tailPixels = tailLanes(w);
    RowPair rows(src, dst);
    for (int32_t y = 0; y < src.h; ++y, rows.next()) {
        const uint32_t* in = rows.in();
        uint32_t* out = rows.out();
        if (strips.left != 0) {
            mapStrip<kKeepAlpha>(in, out, strips.left, pass.whole());
            in += strips.left;
            out += strips.left;
        }
        for (int32_t v = 0; v < vectors;) {
            int done;
            if (pass.toSkip() > 0) {
                done = pass.toSkip() < vectors - v ? pass.toSkip() : vectors - v;
                pass.template mapAndCountRun<kKeepAlpha>(in, out, done);
            } else {
                done = pass.template mapInWindowsRun<kKeepAlpha>(in, out, vectors - v);
                if (done < vectors - v) {
                    const uint32_t* const leaving = in + kPixels * done;
                    const __m256i pixels = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(leaving));
                    const __m256i mapped = pass.moveOnto(pixels, leaving); // before the store: src may be dst
                    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + kPixels * done), withAlpha<kKeepAlpha>(mapped, pixels));
                    ++done;
                }
            }
            v += done;
            in += kPixels * done;
            out += kPixels * done;
        }
        if (tail != 0) {
            pass.countChannels(in, tail, 7);
            mapLanes<kKeepAlpha>(in, out, tailPixels, pass.whole());
            in += tail;
            out += tail;
        }
        if (strips.right != 0)
            mapStrip<kKeepAlpha>(in, out, strips.right, pass.whole());
    }
    pass.flush();
}

// One table, one histogram: the batches counted per channel are added in at the end.
template <bool kKeepAlpha>
RANGEWICK_AVX2 void mapAndCountShared(const BitmapView& src, const BitmapView& dst,
                                      const int32_t table[256], Histogram& hist, SideStrips strips = {0, 0})
{
    if (src.w <= 0 || src.h <= 0)
        return;
    alignas(32) ChannelHistograms channelHist = {}; // 3 KiB; the pass's own is under 2 KiB
    mapAndCountRows<kKeepAlpha>(src, dst, TableSet<1>{{table}}, Counts<false>{hist, &channelHist}, strips);
    for (int i = 0; i < 256; ++i)
        hist[i] += channelHist[0][i] + channelHist[1][i] + channelHist[2][i];
}

// Mapping alone, with a Stretch or a Lookup. Out of line, the slices a Lookup points to
// may be anywhere, so they are read where they are: inlined, all 16 were moved into
// registers and spilled, each a second time on the stack. A Stretch is copied into
// locals, which the stores to dst cannot alias, so its constants stay in registers.
template <bool kKeepAlpha, class Map>
__attribute__((noinline)) RANGEWICK_AVX2 void mapRows(const BitmapView& src, const BitmapView& dst, const Map& mapping)
{
    const Map map = mapping;
    const int32_t vectors = src.w / kPixels;
    const __m256i tailPixels = tailLanes(src.w);
    RowPair rows(src, dst);
    for (int32_t y = 0; y < src.h; ++y, rows.next()) {
        const uint32_t* in = rows.in();
        uint32_t* out = rows.out();
        int32_t v = 0;
        if constexpr (Map::kByFour)
            for (; v + 4 <= vectors; v += 4, in += 4 * kPixels, out += 4 * kPixels) {
                __m256i pixels[4], mapped[4];
                for (int i = 0; i < 4; ++i)
                    pixels[i] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + kPixels * i));
                map.mapFour(pixels, mapped);
                for (int i = 0; i < 4; ++i)
                    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + kPixels * i),
                                        withAlpha<kKeepAlpha>(mapped[i], pixels[i]));
            }
        for (; v < vectors; ++v, in += kPixels, out += kPixels) {
            const __m256i pixels = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), withAlpha<kKeepAlpha>(map.map(pixels), pixels));
        }
        if (src.w % kPixels != 0)
            mapLanes<kKeepAlpha>(in, out, tailPixels, map);
    }
}

template <int kTables>
RANGEWICK_AVX2 void mapWhole(const BitmapView& src, const BitmapView& dst, const TableSet<kTables>& tables,
                             bool keepAlpha)
{
    if (src.w <= 0 || src.h <= 0)
        return;
    // The stack holds the stretch or the slices, whichever the tables need.
    {
        Stretch<kTables> stretch;
        if (findStretch(tables, stretch)) {
            keepAlpha ? mapRows<true>(src, dst, stretch) : mapRows<false>(src, dst, stretch);
            return;
        }
    }
    __m128i slices[kTables][16];
    for (int t = 0; t < kTables; ++t)
        setSlices(tables.of(t), slices[t]);
    const Lookup<kTables> lookup = {slices};
    keepAlpha ? mapRows<true>(src, dst, lookup) : mapRows<false>(src, dst, lookup);
}

} // namespace

RANGEWICK_AVX2 void mapAndCountAvx2(const BitmapView& src, const BitmapView& dst,
                                    const int32_t table[256], Histogram& hist)
{
    mapAndCountShared<false>(src, dst, table, hist);
}

RANGEWICK_AVX2 void mapAndCountAvx2KeepingAlpha(const BitmapView& src, const BitmapView& dst,
                                                const int32_t table[256], Histogram& hist)
{
    mapAndCountShared<true>(src, dst, table, hist);
}

RANGEWICK_AVX2 void mapAndCountChannelsAvx2(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables,
                                            ChannelHistograms& hist, bool keepAlpha)
{
    if (src.w <= 0 || src.h <= 0)
        return;
    const TableSet<3> set = {{tables[0], tables[1], tables[2]}};
    const Counts<true> counts = {nullptr, &hist};
    if (keepAlpha)
        mapAndCountRows<true>(src, dst, set, counts);
    else
        mapAndCountRows<false>(src, dst, set, counts);
}

RANGEWICK_AVX2 void mapAndCountBetweenAvx2(const BitmapView& src, const BitmapView& dst, const int32_t table[256],
                                           Histogram& hist, SideStrips strips, bool keepAlpha)
{
    if (!stripsLeaveAPicture(strips, src.w)) {
        mapAvx2(src, dst, table, keepAlpha);
        return;
    }
    if (keepAlpha)
        mapAndCountShared<true>(src, dst, table, hist, strips);
    else
        mapAndCountShared<false>(src, dst, table, hist, strips);
}

RANGEWICK_AVX2 void mapAndCountChannelsBetweenAvx2(const BitmapView& src, const BitmapView& dst,
                                                   const ChannelTables& tables, ChannelHistograms& hist,
                                                   SideStrips strips, bool keepAlpha)
{
    if (!stripsLeaveAPicture(strips, src.w)) {
        mapChannelsAvx2(src, dst, tables, keepAlpha);
        return;
    }
    if (src.h <= 0)
        return;
    const TableSet<3> set = {{tables[0], tables[1], tables[2]}};
    const Counts<true> counts = {nullptr, &hist};
    if (keepAlpha)
        mapAndCountRows<true>(src, dst, set, counts, strips);
    else
        mapAndCountRows<false>(src, dst, set, counts, strips);
}

RANGEWICK_AVX2 void mapAvx2(const BitmapView& src, const BitmapView& dst, const int32_t table[256], bool keepAlpha)
{
    mapWhole(src, dst, TableSet<1>{{table}}, keepAlpha);
}

RANGEWICK_AVX2 void mapChannelsAvx2(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables,
                                    bool keepAlpha)
{
    mapWhole(src, dst, TableSet<3>{{tables[0], tables[1], tables[2]}}, keepAlpha);
}

__attribute__((target("avx2"))) void copyAlphaRunAvx2(const uint32_t* src, uint32_t* dst, std::size_t n)
{
    copyAlphaLoop(src, dst, n);
}

} // namespace levels

#endif
