#include "levels_filter.h"

#include "frame_levelling.h"
#include "parameters.h"

#include <cstring>
#include <new>

namespace frei0r {

LevelsFilter* LevelsFilter::create(unsigned width, unsigned height)
{
    const uint64_t most = levels::maxFramePixels();   // below 2^31: each side fits int32_t
    if (width == 0 || height == 0 || width > most || height > most
        || static_cast<uint64_t>(width) * height > most)
        return nullptr;
    return new (std::nothrow) LevelsFilter(static_cast<int32_t>(width), static_cast<int32_t>(height));
}

LevelsFilter::LevelsFilter(int32_t width, int32_t height) : width_(width), height_(height), inst_{}
{
    resetToDefaults(inst_);
    beforeLast_ = saved();
}

void LevelsFilter::setParameter(int index, double value)
{
    if (frei0r::setParameter(inst_, index, value))
        primeNext_ = true;
}

double LevelsFilter::parameter(int index) const
{
    return parameterValue(inst_, index);
}

void LevelsFilter::update(double time, const uint32_t* in, uint32_t* out)
{
    switch (clock_.advance(time)) {
    case Move::Next:
        break;
    case Move::Again:
        // The same frame from the same start gives the same picture, and the points
        // end where they ended the last time: a paused picture does not creep. A setting
        // changed since still applies.
        restore(beforeLast_);
        primeNext_ = primeNext_ || beforeLast_.prime;
        break;
    case Move::Start:
    case Move::Seek:
        primeNext_ = true;
        break;
    }
    beforeLast_ = saved();

    // The engine reads and writes pixels as 32-bit words 0xAARRGGBB: frei0r's BGRA8888
    // on a little-endian machine.
    const BitmapView src{const_cast<uint32_t*>(in), width_, height_, 0};
    const BitmapView dst{out, width_, height_, 0};
    if (primeNext_)
        primeFromFrame(src, inst_);
    levelFrameKeepingAlpha(src, dst, inst_);
    primeNext_ = false;
}

LevelsFilter::Points LevelsFilter::saved() const
{
    Points p;
    p.tracking = inst_.tracking;
    p.blackPoint = inst_.blackPoint;
    p.whitePoint = inst_.whitePoint;
    std::memcpy(p.levelTable, inst_.levelTable, sizeof p.levelTable);
    p.prime = primeNext_;
    return p;
}

void LevelsFilter::restore(const Points& points)
{
    inst_.tracking = points.tracking;
    inst_.blackPoint = points.blackPoint;
    inst_.whitePoint = points.whitePoint;
    std::memcpy(inst_.levelTable, points.levelTable, sizeof inst_.levelTable);
}

} // namespace frei0r
