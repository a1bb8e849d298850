// The pixel pass with AVX-512, for processors that have the byte permutes (VBMI), the
// bit-matrix multiply (GFNI) and byte population counts (BITALG).
//
// Mapping: the level table, narrowed to bytes, fills four registers, and two
// two-register permutes look up all 48 samples of 16 pixels at once. Mapping alone
// (mapAvx512, a cut frame mapped again) is just that.
//
// Counting is what costs: one shared histogram takes a read-modify-write per sample,
// and where neighbouring samples share levels (flat areas, dark grainy scenes, smooth
// gradients) each increment waits for the store of the one before. Within a block of
// 16 pixels, though, a channel of real pictures seldom spans more than a few levels. So
// each channel keeps a window of 32 levels and byte counters for it in registers; a
// block whose samples fall inside the windows is counted there without touching memory.
// Counters are added into the histogram when a window has to move and before they
// could overflow. A channel whose 16 samples span 32 levels or more (noise, hard
// edges) is counted sample by sample as usual, and after a block where no channel fits
// the next few blocks are counted that way without trying the windows.
//
// Counting one block into a window: each sample becomes a one-hot byte for its level
// (one byte for window levels 0-7, one for 8-15 and so on); a bit-matrix transpose turns
// each run of 8 such bytes into 8 bytes holding one level's bit from each sample, and a
// byte population count then gives the number of samples at each level.
//
// With a table per channel (levelling the channels apart) the pass is the same code.
// Each channel's counters are added into its own histogram, and so are its samples
// counted one by one. A block inside the windows is mapped by one permute from the
// entries of the three windows side by side; any other byte is looked up in all three
// tables, 12 registers where there are 32 (x86_64; i686 has 8 and reads them from the
// stack), and takes its own channel's entry. Where a host composites, each vector keeps
// its top bytes as it is stored.
#include "../pass_parts.h"

#if RANGEWICK_HAVE_X86_PASSES

// GCC 12 takes the intrinsics that start from an undefined register (casts, narrowing
// conversions) for reads of uninitialised variables.
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#define RANGEWICK_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi,gfni,avx512bitalg")))

namespace levels {

namespace {

constexpr int kBlock = 16;       // pixels per vector
constexpr int kWindow = 32;      // levels covered by each channel's counters
constexpr int kMaxPending = 31;  // blocks a byte counter can take: 8 samples a block, 31 x 8 < 256
constexpr unsigned kAllQuads = 0x3Fu; // the six 8-lane quads of samples
// After a block that no window could hold, the next few are counted one by one without
// trying: the try costs as much as the counting saves, and noise rarely ends at once.
constexpr int kBlocksToSkip = 7;

// The level table, or one per channel, as bytes in four registers each, 64 levels a
// register.
template <int kTables>
struct ByteTables {
    __m512i part[kTables][4];

    RANGEWICK_AVX512 explicit ByteTables(const TableSet<kTables>& tables)
    {
        for (int k = 0; k < kTables; ++k)
            for (int p = 0; p < 4; ++p) {
                const int32_t* t = tables.of(k) + 64 * p;
                const __m128i b0 = _mm512_cvtepi32_epi8(_mm512_loadu_si512(t));
                const __m128i b1 = _mm512_cvtepi32_epi8(_mm512_loadu_si512(t + 16));
                const __m128i b2 = _mm512_cvtepi32_epi8(_mm512_loadu_si512(t + 32));
                const __m128i b3 = _mm512_cvtepi32_epi8(_mm512_loadu_si512(t + 48));
                part[k][p] = _mm512_inserti32x4(
                    _mm512_inserti32x4(_mm512_inserti32x4(_mm512_castsi128_si512(b0), b1, 1), b2, 2), b3, 3);
            }
    }

    // Every byte of the pixels through table k.
    RANGEWICK_AVX512 __m512i through(int k, __m512i pixels) const
    {
        const __m512i low = _mm512_permutex2var_epi8(part[k][0], pixels, part[k][1]);
        const __m512i high = _mm512_permutex2var_epi8(part[k][2], pixels, part[k][3]);
        return _mm512_mask_mov_epi8(low, _mm512_movepi8_mask(pixels), high);
    }

    // 16 pixels mapped, each top byte 0 or, with kKeepAlpha, its own.
    template <bool kKeepAlpha>
    RANGEWICK_AVX512 __m512i map(__m512i pixels) const
    {
        __m512i mapped = through(0, pixels);
        if (kTables == 3) { // green ? green's : blue's, then red ? red's : those
            mapped = _mm512_ternarylogic_epi32(_mm512_set1_epi32(0x0000FF00), through(1, pixels), mapped, 0xCA);
            mapped = _mm512_ternarylogic_epi32(_mm512_set1_epi32(0x00FF0000), through(2, pixels), mapped, 0xCA);
        }
        const __m512i rgb = _mm512_set1_epi32(0x00FFFFFF);
        if (kKeepAlpha) // rgb ? mapped : pixels
            return _mm512_ternarylogic_epi32(mapped, pixels, rgb, 0xE4);
        return _mm512_and_si512(mapped, rgb);
    }
};


// With a table per channel, what maps a block whose samples all lie in the windows: one
// permute from the windows' entries instead of six from the whole tables, which cost
// the pass an eighth more on natural content. Nothing with one table, which maps every
// block from its registers.
template <int kTables>
struct WindowEntries {
    RANGEWICK_AVX512 explicit WindowEntries(const ByteTables<kTables>&) {}
};

template <>
struct WindowEntries<3> {
    alignas(64) uint8_t tableBytes[3][256];
    __m512i entries[2];  // channel c's window at bytes 32c .. 32c + 31
    __m512i toEntry;     // per byte of a pixel: what takes its level to its entry there

    RANGEWICK_AVX512 explicit WindowEntries(const ByteTables<3>& tables)
    {
        for (int k = 0; k < 3; ++k)
            for (int p = 0; p < 4; ++p)
                _mm512_store_si512(tableBytes[k] + 64 * p, tables.part[k][p]);
    }

    // The windows as they start, per lane in channel order (see WindowCounter).
    RANGEWICK_AVX512 void follow(__m512i start)
    {
        uint8_t starts[64];
        _mm512_storeu_si512(starts, start);
        __m256i window[3];
        uint32_t offsets = 0;
        for (int c = 0; c < 3; ++c) {
            window[c] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(tableBytes[c] + starts[16 * c]));
            offsets |= static_cast<uint32_t>((32 * c - starts[16 * c]) & 0xFF) << (8 * c);
        }
        entries[0] = _mm512_inserti64x4(_mm512_castsi256_si512(window[0]), window[1], 1);
        entries[1] = _mm512_zextsi256_si512(window[2]);
        toEntry = _mm512_set1_epi32(static_cast<int>(offsets));
    }

    // 16 pixels whose samples all lie in the windows, mapped, each top byte 0 or, with
    // kKeepAlpha, its own.
    template <bool kKeepAlpha>
    RANGEWICK_AVX512 __m512i mapInWindows(__m512i pixels) const
    {
        const __m512i mapped = _mm512_permutex2var_epi8(entries[0], _mm512_add_epi8(pixels, toEntry), entries[1]);
        const __m512i rgb = _mm512_set1_epi32(0x00FFFFFF);
        if (kKeepAlpha) // rgb ? mapped : pixels
            return _mm512_ternarylogic_epi32(mapped, pixels, rgb, 0xE4);
        return _mm512_and_si512(mapped, rgb);
    }
};

// Where a pass counts: into the frame's one histogram, or each channel into its own.
// of(c): channel c's counters.
template <bool kPerChannel>
struct Counts;

template <>
struct Counts<false> {
    Histogram& hist;
    Histogram& of(int) const { return hist; }
};

template <>
struct Counts<true> {
    ChannelHistograms& hist;
    Histogram& of(int channel) const { return hist[channel]; }
};

// Samples are counted in "channel order": lanes 16c .. 16c+15 hold channel c of the
// block's 16 pixels (c = 0 blue, 1 green, 2 red); lanes 48-63 hold 0 and count nothing.
//
// Masks of 64 lanes are only made by comparisons and used by vector instructions: in a
// 32-bit build a mask that comes from a general register passes through memory in two
// halves, and reading it back waits for both stores to retire.
//
// With a table per channel the counter keeps the windows' entries (WindowEntries) where
// its windows are.
template <int kTables, bool kPerChannel>
struct WindowCounter : WindowEntries<kTables> {
    const Counts<kPerChannel> histogram; // where the counts go
    __m512i toChannelOrder; // indices from pixel order to channel order (64 = zero)
    __m512i oneHotLow;      // per level 0-15 of a window: its bit among levels 0-7, or 0
    __m512i oneHotHigh;     // per level 0-15: its bit among levels 8-15, or 0
    __m512i transpose;      // operand that makes the bit-matrix multiply a transpose
    __m512i start;          // per lane: the first level of its channel's window
    __m512i counts[4];      // byte counters for window levels 0-7, 8-15, 16-23, 24-31
    int pending;            // blocks counted since the counters were last emptied
    bool counted;           // whether the counters may hold counts
    int blocksToSkip;       // blocks to count one by one before trying the windows again

    RANGEWICK_AVX512 WindowCounter(Counts<kPerChannel> where, const ByteTables<kTables>& tables)
        : WindowEntries<kTables>(tables), histogram(where)
    {
        uint8_t order[64], low[64] = {}, high[64] = {};
        for (int lane = 0; lane < 64; ++lane) {
            const int channel = lane / 16, level = lane % 16;
            order[lane] = static_cast<uint8_t>(channel < 3 ? 4 * level + channel : 64);
            if (channel < 3) { // the unused lanes look up zeros
                low[lane] = static_cast<uint8_t>(level < 8 ? 1u << level : 0u);
                high[lane] = static_cast<uint8_t>(level >= 8 ? 1u << (level - 8) : 0u);
            }
        }
        toChannelOrder = _mm512_loadu_si512(order);
        oneHotLow = _mm512_loadu_si512(low);
        oneHotHigh = _mm512_loadu_si512(high);
        // Output byte j of each 8-byte group takes bit j of all 8 input bytes.
        transpose = _mm512_set1_epi64(static_cast<long long>(0x8040201008040201ull));
        start = _mm512_setzero_si512();
        for (__m512i& c : counts)
            c = _mm512_setzero_si512();
        pending = 0;
        counted = false;
        blocksToSkip = 0;
        if constexpr (kTables == 3)
            this->follow(start);
    }

    // Counts one block of 16 pixels (read from `pixels`, also at `src` for the samples
    // counted one by one). Returns whether all its samples lie in the windows.
    RANGEWICK_AVX512 bool count(__m512i pixels, const uint32_t* src)
    {
        if (blocksToSkip > 0) {
            --blocksToSkip;
            countPixels(src, kBlock);
            return false;
        }
        bool inWindows = true;
        const __m512i samples = _mm512_permutex2var_epi8(pixels, toChannelOrder, _mm512_setzero_si512());
        __m512i offset = _mm512_sub_epi8(samples, start);
        const __m512i window = _mm512_set1_epi8(kWindow);
        const __mmask64 outside = _mm512_cmpge_epu8_mask(offset, window);
        if (_kortestz_mask64_u8(outside, outside) == 0) {
            // The counters are emptied anyway, so every window moves onto this block.
            flush();
            moveWindows(samples);
            offset = _mm512_sub_epi8(samples, start);
            // A channel with lanes still outside is spread too wide for a window: all
            // its samples are counted one by one, and none in the window counters.
            const unsigned wide = quadsOfChannelsIn(_mm512_cmpge_epu8_mask(offset, window));
            if (wide == kAllQuads) { // noise: nothing for the windows
                countPixels(src, kBlock);
                blocksToSkip = kBlocksToSkip;
                return false;
            }
            if (wide != 0) {
                countOneByOne(src, wide);
                offset = _mm512_mask_mov_epi64(offset, static_cast<__mmask8>(wide), _mm512_set1_epi8(-1));
                inWindows = false;
            }
        }
        counted = true;

        // Lanes with offset 0-15 and 16-31; lanes outside the window are in neither.
        const __m512i half = _mm512_set1_epi8(16);
        const __mmask64 low = _mm512_cmplt_epu8_mask(offset, half);
        const __mmask64 high = _mm512_cmplt_epu8_mask(_mm512_sub_epi8(offset, half), half);
        counts[0] = _mm512_add_epi8(counts[0], levelCounts(_mm512_maskz_shuffle_epi8(low, oneHotLow, offset)));
        counts[1] = _mm512_add_epi8(counts[1], levelCounts(_mm512_maskz_shuffle_epi8(low, oneHotHigh, offset)));
        counts[2] = _mm512_add_epi8(counts[2], levelCounts(_mm512_maskz_shuffle_epi8(high, oneHotLow, offset)));
        counts[3] = _mm512_add_epi8(counts[3], levelCounts(_mm512_maskz_shuffle_epi8(high, oneHotHigh, offset)));
        if (++pending == kMaxPending)
            flush();
        return inWindows;
    }

    // Adds the counters into the histogram and clears them. All three channels go
    // together, without a branch per channel: which channels left their windows is
    // as unpredictable as the picture.
    RANGEWICK_AVX512 void flush()
    {
        pending = 0;
        if (!counted)
            return;
        counted = false;
        uint8_t starts[64];
        _mm512_storeu_si512(starts, start);
        for (int pair = 0; pair < 2; ++pair) {
            // Lane group c of `first` holds levels 0-15 of the window for pixels 0-7 of
            // channel c, `second` the same for pixels 8-15.
            const __m512i lowCounts = counts[2 * pair], highCounts = counts[2 * pair + 1];
            const __m512i first = _mm512_permutex2var_epi8(lowCounts, gatherHalves(0), highCounts);
            const __m512i second = _mm512_permutex2var_epi8(lowCounts, gatherHalves(8), highCounts);
            addToHistogram(0, starts[0], pair, _mm512_extracti32x4_epi32(first, 0), _mm512_extracti32x4_epi32(second, 0));
            addToHistogram(1, starts[16], pair, _mm512_extracti32x4_epi32(first, 1), _mm512_extracti32x4_epi32(second, 1));
            addToHistogram(2, starts[32], pair, _mm512_extracti32x4_epi32(first, 2), _mm512_extracti32x4_epi32(second, 2));
        }
        for (__m512i& c : counts)
            c = _mm512_setzero_si512();
    }

    // Samples the windows do not hold, one by one: whole blocks of noise and up to 15
    // pixels at the end of a row.
    void countPixels(const uint32_t* src, int32_t pixels)
    {
        Histogram& red = histogram.of(2);
        Histogram& green = histogram.of(1);
        Histogram& blue = histogram.of(0);
        for (int32_t i = 0; i < pixels; ++i) {
            const uint32_t p = src[i];
            ++red[(p >> 16) & 0xFF];
            ++green[(p >> 8) & 0xFF];
            ++blue[p & 0xFF];
        }
    }

private:
    // Byte indices (into two registers) that put, in lane group c, the 8 counters at
    // `half` of group c of the first register and then those of the second.
    RANGEWICK_AVX512 static __m512i gatherHalves(int half)
    {
        uint8_t index[64];
        for (int lane = 0; lane < 64; ++lane) {
            const int group = lane / 16, k = lane % 16;
            index[lane] = static_cast<uint8_t>((k < 8 ? 0 : 64) + 16 * group + half + k % 8);
        }
        return _mm512_loadu_si512(index);
    }

    // Window levels 16 * pair .. 16 * pair + 15 of `channel`, whose window starts at
    // `windowStart`: counts for levels 0-7 and 8-15 of the pair from pixels 0-7
    // (`first`) and from pixels 8-15 (`second`).
    RANGEWICK_AVX512 void addToHistogram(int channel, int windowStart, int pair, __m128i first, __m128i second)
    {
        const __m512i n = _mm512_add_epi32(_mm512_cvtepu8_epi32(first), _mm512_cvtepu8_epi32(second));
        uint32_t* const bins = histogram.of(channel) + windowStart + 16 * pair; // windows never pass level 255
        _mm512_storeu_si512(bins, _mm512_add_epi32(_mm512_loadu_si512(bins), n));
    }

    // Per 8 lanes: how many of the 8 one-hot bytes have each bit set.
    RANGEWICK_AVX512 __m512i levelCounts(__m512i oneHot) const
    {
        return _mm512_popcnt_epi8(_mm512_gf2p8affine_epi64_epi8(transpose, oneHot, 0));
    }

    // The channels that have a lane in `lanes`, as a mask of their 8-lane quads (two
    // per channel: bits 2c and 2c + 1).
    RANGEWICK_AVX512 static unsigned quadsOfChannelsIn(__mmask64 lanes)
    {
        const __m512i bytes = _mm512_movm_epi8(lanes);
        unsigned quads = _mm512_test_epi64_mask(bytes, bytes);
        quads = (quads | quads >> 1) & 0x15u;
        return quads | quads << 1;
    }

    // Moves each channel's window onto this block's samples, where they fit.
    RANGEWICK_AVX512 void moveWindows(__m512i samples)
    {
        // Smallest and largest sample of each channel, spread over its 16 lanes.
        __m512i lo = samples, hi = samples;
        lo = _mm512_min_epu8(lo, _mm512_bsrli_epi128(lo, 8));
        hi = _mm512_max_epu8(hi, _mm512_bsrli_epi128(hi, 8));
        lo = _mm512_min_epu8(lo, _mm512_bsrli_epi128(lo, 4));
        hi = _mm512_max_epu8(hi, _mm512_bsrli_epi128(hi, 4));
        lo = _mm512_min_epu8(lo, _mm512_bsrli_epi128(lo, 2));
        hi = _mm512_max_epu8(hi, _mm512_bsrli_epi128(hi, 2));
        lo = _mm512_min_epu8(lo, _mm512_bsrli_epi128(lo, 1));
        hi = _mm512_max_epu8(hi, _mm512_bsrli_epi128(hi, 1));
        lo = _mm512_shuffle_epi8(lo, _mm512_setzero_si512());
        hi = _mm512_shuffle_epi8(hi, _mm512_setzero_si512());
        // The window starts at a multiple of 16 levels, so that its counters go into the
        // same aligned stretches of the histogram each time (a read of a stretch that
        // only partly overlaps a store just made would wait for that store), and no
        // later than 256 - 32, so that it never wraps past level 255.
        const __m512i aligned = _mm512_min_epu8(_mm512_and_si512(lo, _mm512_set1_epi8(static_cast<char>(0xF0))),
                                                _mm512_set1_epi8(static_cast<char>(256 - kWindow)));
        const __mmask64 fits = _mm512_cmplt_epu8_mask(_mm512_sub_epi8(hi, aligned), _mm512_set1_epi8(kWindow));
        start = _mm512_mask_mov_epi8(start, fits, aligned);
        if constexpr (kTables == 3)
            this->follow(start);
    }

    // The samples of the channels whose quads are in `quads`.
    RANGEWICK_AVX512 void countOneByOne(const uint32_t* src, unsigned quads)
    {
        const unsigned char* bytes = reinterpret_cast<const unsigned char*>(src);
        for (unsigned c = 0; c < 3; ++c) {
            if ((quads & (1u << (2 * c))) == 0)
                continue;
            Histogram& bins = histogram.of(static_cast<int>(c));
            for (int i = 0; i < kBlock; ++i)
                ++bins[bytes[4 * i + c]];
        }
    }
};

} // namespace

bool avx512PassUsable()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")
        && __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("gfni")
        && __builtin_cpu_supports("avx512bitalg");
}

namespace {

// n pixels through the tables, nothing counted: the strips beside a row's picture.
template <bool kKeepAlpha, int kTables>
RANGEWICK_AVX512 void mapStrip(const uint32_t* in, uint32_t* out, int32_t n, const ByteTables<kTables>& bytes)
{
    for (; n >= kBlock; n -= kBlock, in += kBlock, out += kBlock)
        _mm512_storeu_si512(out, bytes.template map<kKeepAlpha>(_mm512_loadu_si512(in)));
    if (n != 0) {
        const __mmask16 lanes = static_cast<__mmask16>((1u << n) - 1);
        _mm512_mask_storeu_epi32(out, lanes, bytes.template map<kKeepAlpha>(_mm512_maskz_loadu_epi32(lanes, in)));
    }
}

// The pass over whole rows, the strips at their sides (which must leave a picture
// between them) mapped and not counted.
template <bool kKeepAlpha, int kTables, bool kPerChannel>
RANGEWICK_AVX512 void mapAndCountRows(const BitmapView& src, const BitmapView& dst, const TableSet<kTables>& tables,
                                      Counts<kPerChannel> counts, SideStrips strips = {0, 0})
{
    if (src.w <= 0 || src.h <= 0)
        return;
    // Apart from the counter, whose address its calls take, the tables stay in
    // registers where there are enough: held in the counter they were read from memory
    // for every block, and the pass took 14 % longer on natural content.
    const ByteTables<kTables> bytes(tables);
    WindowCounter<kTables, kPerChannel> counter(counts, bytes);
    const int32_t w = src.w - strips.left - strips.right;
    const int32_t blocks = w / kBlock, tail = w % kBlock;
    const __mmask16 tailPixels = static_cast<__mmask16>((1u << tail) - 1);
    RowPair rows(src, dst);
    for (int32_t y = 0; y < src.h; ++y, rows.next()) {
        const uint32_t* in = rows.in();
        uint32_t* out = rows.out();
        if (strips.left != 0) {
            mapStrip<kKeepAlpha>(in, out, strips.left, bytes);
            in += strips.left;
            out += strips.left;
        }
        for (int32_t b = 0; b < blocks; ++b, in += kBlock, out += kBlock) {
            const __m512i pixels = _mm512_loadu_si512(in);
            const bool inWindows = counter.count(pixels, in); // before the store: src may be dst
            if constexpr (kTables == 3) {
                if (inWindows) {
                    _mm512_storeu_si512(out, counter.template mapInWindows<kKeepAlpha>(pixels));
                    continue;
                }
            }
            _mm512_storeu_si512(out, bytes.template map<kKeepAlpha>(pixels));
        }
        if (tail != 0) {
            const __m512i pixels = _mm512_maskz_loadu_epi32(tailPixels, in);
            counter.countPixels(in, tail);
            _mm512_mask_storeu_epi32(out, tailPixels, bytes.template map<kKeepAlpha>(pixels));
            in += tail;
            out += tail;
        }
        if (strips.right != 0)
            mapStrip<kKeepAlpha>(in, out, strips.right, bytes);
    }
    counter.flush();
}

// Mapping alone. The tables are taken by value: in locals, which the stores to dst
// cannot alias, they stay in registers.
template <bool kKeepAlpha, int kTables>
RANGEWICK_AVX512 void mapRows(const BitmapView& src, const BitmapView& dst, const ByteTables<kTables> table)
{
    const int32_t blocks = src.w / kBlock;
    const __mmask16 tailPixels = static_cast<__mmask16>((1u << (src.w % kBlock)) - 1);
    RowPair rows(src, dst);
    for (int32_t y = 0; y < src.h; ++y, rows.next()) {
        const uint32_t* in = rows.in();
        uint32_t* out = rows.out();
        for (int32_t b = 0; b < blocks; ++b, in += kBlock, out += kBlock)
            _mm512_storeu_si512(out, table.template map<kKeepAlpha>(_mm512_loadu_si512(in)));
        if (tailPixels != 0)
            _mm512_mask_storeu_epi32(out, tailPixels,
                                     table.template map<kKeepAlpha>(_mm512_maskz_loadu_epi32(tailPixels, in)));
    }
}

template <int kTables>
RANGEWICK_AVX512 void mapThrough(const BitmapView& src, const BitmapView& dst, const TableSet<kTables>& tables,
                                 bool keepAlpha)
{
    if (src.w <= 0 || src.h <= 0)
        return;
    const ByteTables<kTables> bytes(tables);
    if (keepAlpha)
        mapRows<true>(src, dst, bytes);
    else
        mapRows<false>(src, dst, bytes);
}

} // namespace

RANGEWICK_AVX512 void mapAndCountAvx512(const BitmapView& src, const BitmapView& dst,
                                        const int32_t table[256], Histogram& hist)
{
    mapAndCountRows<false>(src, dst, TableSet<1>{{table}}, Counts<false>{hist});
}

RANGEWICK_AVX512 void mapAndCountAvx512KeepingAlpha(const BitmapView& src, const BitmapView& dst,
                                                    const int32_t table[256], Histogram& hist)
{
    mapAndCountRows<true>(src, dst, TableSet<1>{{table}}, Counts<false>{hist});
}

RANGEWICK_AVX512 void mapAndCountChannelsAvx512(const BitmapView& src, const BitmapView& dst,
                                                const ChannelTables& tables, ChannelHistograms& hist, bool keepAlpha)
{
    const TableSet<3> set = {{tables[0], tables[1], tables[2]}};
    if (keepAlpha)
        mapAndCountRows<true>(src, dst, set, Counts<true>{hist});
    else
        mapAndCountRows<false>(src, dst, set, Counts<true>{hist});
}

RANGEWICK_AVX512 void mapAndCountBetweenAvx512(const BitmapView& src, const BitmapView& dst, const int32_t table[256],
                                               Histogram& hist, SideStrips strips, bool keepAlpha)
{
    if (!stripsLeaveAPicture(strips, src.w)) {
        mapAvx512(src, dst, table, keepAlpha);
        return;
    }
    if (keepAlpha)
        mapAndCountRows<true>(src, dst, TableSet<1>{{table}}, Counts<false>{hist}, strips);
    else
        mapAndCountRows<false>(src, dst, TableSet<1>{{table}}, Counts<false>{hist}, strips);
}

RANGEWICK_AVX512 void mapAndCountChannelsBetweenAvx512(const BitmapView& src, const BitmapView& dst,
                                                       const ChannelTables& tables, ChannelHistograms& hist,
                                                       SideStrips strips, bool keepAlpha)
{
    if (!stripsLeaveAPicture(strips, src.w)) {
        mapChannelsAvx512(src, dst, tables, keepAlpha);
        return;
    }
    const TableSet<3> set = {{tables[0], tables[1], tables[2]}};
    if (keepAlpha)
        mapAndCountRows<true>(src, dst, set, Counts<true>{hist}, strips);
    else
        mapAndCountRows<false>(src, dst, set, Counts<true>{hist}, strips);
}

RANGEWICK_AVX512 void mapAvx512(const BitmapView& src, const BitmapView& dst, const int32_t table[256], bool keepAlpha)
{
    mapThrough(src, dst, TableSet<1>{{table}}, keepAlpha);
}

RANGEWICK_AVX512 void mapChannelsAvx512(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables,
                                        bool keepAlpha)
{
    mapThrough(src, dst, TableSet<3>{{tables[0], tables[1], tables[2]}}, keepAlpha);
}

} // namespace levels

#endif
