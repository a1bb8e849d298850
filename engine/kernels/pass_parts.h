// What the pixel passes share, for their own use only: the tables a pass maps with, a
// walk over the rows of a frame, and each processor family's functions as the choice
// of pass finds them.
#pragma once

#include "kernels.h"

#include <cstddef>
#include <cstdint>

namespace levels {

// The tables a pass maps with, one for all three channels or one per channel, so that
// one body of code serves both and the one-table pass is the code it always was.
// of(c): channel c's table.
template <int kTables>
struct TableSet {
    static_assert(kTables == 1 || kTables == 3, "one table or one per channel");
    const int32_t* table[kTables];
    const int32_t* of(int channel) const { return table[kTables == 1 ? 0 : channel]; }
};

// A row of src and its row of dst, from the first; next() moves both on. The source's
// width governs both; each advances by its own modulo.
class RowPair {
public:
    RowPair(const BitmapView& src, const BitmapView& dst)
        : in_(static_cast<const unsigned char*>(src.data)), out_(static_cast<unsigned char*>(dst.data)),
          inPitch_(static_cast<std::ptrdiff_t>(src.w) * 4 + src.modulo),
          outPitch_(static_cast<std::ptrdiff_t>(src.w) * 4 + dst.modulo)
    {
    }

    const uint32_t* in() const { return reinterpret_cast<const uint32_t*>(in_); }
    uint32_t* out() const { return reinterpret_cast<uint32_t*>(out_); }
    void next()
    {
        in_ += inPitch_;
        out_ += outPitch_;
    }

private:
    const unsigned char* in_;
    unsigned char* out_;
    std::ptrdiff_t inPitch_, outPitch_;
};

constexpr uint32_t kRgbMask   = 0x00FFFFFF; // the top byte of a pixel is ignored
constexpr uint32_t kAlphaMask = ~kRgbMask;

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

inline __attribute__((always_inline)) void copyAlphaLoop(const uint32_t* __restrict src, uint32_t* __restrict dst,
                                                         std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        dst[i] = (dst[i] & kRgbMask) | (src[i] & kAlphaMask);
}

// A pixel through one table or a table per channel.
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

// The strips a pass walks past, none below 0. False where they meet or cross in rows
// of `w` pixels: nothing lies between them to count.
inline bool stripsLeaveAPicture(SideStrips& strips, int32_t w)
{
    strips.left = strips.left > 0 ? strips.left : 0;
    strips.right = strips.right > 0 ? strips.right : 0;
    // In 64 bits: two strips of nearly 2^31 each must not wrap into a picture.
    return static_cast<int64_t>(strips.left) + strips.right < w;
}

// ---- each processor family's functions ------------------------------------------------

// Plain C++ for every processor, as fast on every content.
void mapAndCountPortable(const BitmapView& src, const BitmapView& dst, const int32_t table[256], Histogram& hist);
void mapPortable(const BitmapView& src, const BitmapView& dst, const int32_t table[256], bool keepAlpha);
void mapAndCountChannelsPortable(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables,
                                 ChannelHistograms& hist, bool keepAlpha);
void mapChannelsPortable(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables, bool keepAlpha);
void mapAndCountBetweenPortable(const BitmapView& src, const BitmapView& dst, const int32_t table[256],
                                Histogram& hist, SideStrips strips, bool keepAlpha);
void mapAndCountChannelsBetweenPortable(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables,
                                        ChannelHistograms& hist, SideStrips strips, bool keepAlpha);
void copyAlphaRun(const uint32_t* src, uint32_t* dst, std::size_t n);

#if RANGEWICK_HAVE_X86_PASSES
// AVX2 with BMI2; call only where avx2PassUsable().
bool avx2PassUsable();
void mapAndCountAvx2(const BitmapView& src, const BitmapView& dst, const int32_t table[256], Histogram& hist);
void mapAndCountAvx2KeepingAlpha(const BitmapView& src, const BitmapView& dst, const int32_t table[256],
                                 Histogram& hist);
void mapAvx2(const BitmapView& src, const BitmapView& dst, const int32_t table[256], bool keepAlpha);
void mapAndCountChannelsAvx2(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables,
                             ChannelHistograms& hist, bool keepAlpha);
void mapChannelsAvx2(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables, bool keepAlpha);
void mapAndCountBetweenAvx2(const BitmapView& src, const BitmapView& dst, const int32_t table[256], Histogram& hist,
                            SideStrips strips, bool keepAlpha);
void mapAndCountChannelsBetweenAvx2(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables,
                                    ChannelHistograms& hist, SideStrips strips, bool keepAlpha);
// The alpha run in wider vectors: on 1080p frames alpha adds 6 % to the scalar frame
// pass instead of 8 to 9 %.
void copyAlphaRunAvx2(const uint32_t* src, uint32_t* dst, std::size_t n);

// AVX-512 with VBMI, GFNI and BITALG; call only where avx512PassUsable().
bool avx512PassUsable();
void mapAndCountAvx512(const BitmapView& src, const BitmapView& dst, const int32_t table[256], Histogram& hist);
void mapAndCountAvx512KeepingAlpha(const BitmapView& src, const BitmapView& dst, const int32_t table[256],
                                   Histogram& hist);
void mapAvx512(const BitmapView& src, const BitmapView& dst, const int32_t table[256], bool keepAlpha);
void mapAndCountChannelsAvx512(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables,
                               ChannelHistograms& hist, bool keepAlpha);
void mapChannelsAvx512(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables, bool keepAlpha);
void mapAndCountBetweenAvx512(const BitmapView& src, const BitmapView& dst, const int32_t table[256],
                              Histogram& hist, SideStrips strips, bool keepAlpha);
void mapAndCountChannelsBetweenAvx512(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables,
                                      ChannelHistograms& hist, SideStrips strips, bool keepAlpha);
#endif

} // namespace levels
