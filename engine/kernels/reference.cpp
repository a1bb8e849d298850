// The reference kernels: plain loops that say what every pass does, one pixel and one
// sample at a time. The plain pass is these; every other pass is held to them.
#include "pass_parts.h"

namespace levels {

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

void mapChannelsReference(const BitmapView& src, const BitmapView& dst, const ChannelTables& tables, bool keepAlpha)
{
    ChannelHistograms unused = {};
    mapAndCountChannelsReference(src, dst, tables, unused, keepAlpha);
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

} // namespace levels
