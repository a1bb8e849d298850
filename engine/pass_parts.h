// What the pixel passes share, for their own use only: the tables a pass maps with and
// a walk over the rows of a frame.
#pragma once

#include "frame_levelling.h"

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

// The strips a pass walks past, none below 0. False where they meet or cross in rows
// of `w` pixels: nothing lies between them to count.
inline bool stripsLeaveAPicture(SideStrips& strips, int32_t w)
{
    strips.left = strips.left > 0 ? strips.left : 0;
    strips.right = strips.right > 0 ? strips.right : 0;
    // In 64 bits: two strips of nearly 2^31 each must not wrap into a picture.
    return static_cast<int64_t>(strips.left) + strips.right < w;
}

} // namespace levels
