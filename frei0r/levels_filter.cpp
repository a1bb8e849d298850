#include "levels_filter.h"

#include "frame_levelling.h"
#include "parameters.h"

#include <cstring>
#include <new>

namespace frei0r {

LevelsFilter* LevelsFilter::create(unsigned width, unsigned height, TimeUnit unit)
{
    const uint64_t most = levels::maxFramePixels();   // below 2^31: each side fits int32_t
    if (width == 0 || height == 0 || width > most || height > most
        || static_cast<uint64_t>(width) * height > most)
        return nullptr;
    return new (std::nothrow) LevelsFilter(static_cast<int32_t>(width), static_cast<int32_t>(height), unit);
}

LevelsFilter::LevelsFilter(int32_t width, int32_t height, TimeUnit unit)
    : width_(width), height_(height), x_{}, clock_(unit)
{
    extras::setDefaults(x_);
    beforeLast_ = saved();
}

void LevelsFilter::setParameter(int index, double value)
{
    if (!frei0r::setParameter(x_, index, value, width_, height_))
        return;
    // A strength changes only the tables, so that a strength keyframed in an editor
    // fades the levelling in or out while the points go on following.
    if (index == kStrength)
        tablesStale_ = true;
    else
        primeNext_ = true;
}

double LevelsFilter::parameter(int index) const
{
    return parameterValue(x_, index, width_, height_);
}

void LevelsFilter::update(double time, const uint32_t* in, uint32_t* out)
{
    // The engine reads and writes pixels as 32-bit words 0xAARRGGBB: frei0r's BGRA8888
    // on a little-endian machine.
    const BitmapView src{const_cast<uint32_t*>(in), width_, height_, 0};
    const BitmapView dst{out, width_, height_, 0};

    // Only where the points follow in seconds does a frame's time move them; one level
    // a frame moves them alike whatever the times, as the tool does.
    const Tick tick = clock_.advance(time, x_.options.followTime > 0);
    double frameSeconds = tick.frameSeconds;
    if (tick.move == Move::SameTime && extras::countsAsTheLastFrame(src, x_)) {
        // The same frame from the same start gives the same picture, and the points
        // end where they ended the last time: a paused picture does not creep. A setting
        // changed since still applies.
        restore(beforeLast_);
        primeNext_ = primeNext_ || beforeLast_.prime;
        frameSeconds = beforeLast_.frameSeconds;
    } else if (tick.move == Move::Start || tick.move == Move::Seek) {
        primeNext_ = true;
    }
    if (tablesStale_ && !primeNext_)
        extras::rebuildTables(x_);
    tablesStale_ = false;
    beforeLast_ = saved();
    beforeLast_.frameSeconds = frameSeconds;
    if (primeNext_)
        extras::prime(src, x_);
    extras::levelWithExtrasKeepingAlpha(src, dst, x_, frameSeconds);
    primeNext_ = false;
}

LevelsFilter::Points LevelsFilter::saved() const
{
    Points p;
    p.tracking = x_.record.tracking;
    p.blackPoint = x_.record.blackPoint;
    p.whitePoint = x_.record.whitePoint;
    std::memcpy(p.levelTable, x_.record.levelTable, sizeof p.levelTable);
    p.running = x_.running;
    p.frameSeconds = 0;
    p.prime = primeNext_;
    return p;
}

void LevelsFilter::restore(const Points& points)
{
    x_.record.tracking = points.tracking;
    x_.record.blackPoint = points.blackPoint;
    x_.record.whitePoint = points.whitePoint;
    std::memcpy(x_.record.levelTable, points.levelTable, sizeof x_.record.levelTable);
    x_.running = points.running;
}

} // namespace frei0r
