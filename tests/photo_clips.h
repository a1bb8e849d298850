// Clips made from real photographs (Debian's libjxl-testdata, decoded by ffmpeg) for the
// levelling tests: a camera moving over a picture, fades, lights, an object moving in,
// sensor noise, compression flicker, and hard cuts between shots. Frames are 32-bit
// 0x00RRGGBB pixels, back to back, as the tool reads them.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace clips {

constexpr const char* kFlowers = "/usr/share/libjxl-testdata/jxl/flower/flower.png";
constexpr const char* kRoom    = "/usr/share/libjxl-testdata/jxl/hdr_room.png";

struct Picture {
    int32_t w = 0, h = 0;
    std::vector<uint32_t> px;

    uint32_t at(int32_t x, int32_t y) const { return px[static_cast<std::size_t>(y) * w + x]; }
};

// A photograph decoded and scaled to w x h by ffmpeg; empty when it cannot be read.
inline Picture loadPhoto(const char* path, int32_t w, int32_t h)
{
    Picture p;
    const std::string command = "ffmpeg -v error -nostdin -i '" + std::string(path) + "' -vf scale="
                              + std::to_string(w) + ":" + std::to_string(h)
                              + ":flags=bicubic,format=bgr0 -frames:v 1 -f rawvideo - 2>/dev/null";
    std::FILE* f = popen(command.c_str(), "r");
    if (f == nullptr)
        return p;
    std::vector<uint32_t> px(static_cast<std::size_t>(w) * h);
    const std::size_t got = std::fread(px.data(), 4, px.size(), f);
    if (pclose(f) == 0 && got == px.size()) {
        p.w = w;
        p.h = h;
        for (uint32_t& v : px)
            v &= 0x00FFFFFF;
        p.px = std::move(px);
    }
    return p;
}

struct Clip {
    int32_t w = 0, h = 0;
    std::vector<uint32_t> px;   // frames back to back

    std::size_t framePixels() const { return static_cast<std::size_t>(w) * h; }
    std::size_t frames() const { return px.empty() ? 0 : px.size() / framePixels(); }
    uint32_t* frame(std::size_t i) { return px.data() + i * framePixels(); }
    const uint32_t* frame(std::size_t i) const { return px.data() + i * framePixels(); }

    void append(const Clip& more) { px.insert(px.end(), more.px.begin(), more.px.end()); }
    // Frames first..first+count-1 as a clip of their own.
    Clip part(std::size_t first, std::size_t count) const
    {
        Clip c{w, h, {}};
        c.px.assign(px.begin() + static_cast<std::ptrdiff_t>(first * framePixels()),
                    px.begin() + static_cast<std::ptrdiff_t>((first + count) * framePixels()));
        return c;
    }
};

// A camera over a picture: `frames` frames of w x h, frame i showing the window of the
// picture at (x(t), y(t)) that is `scale(t)` picture pixels per frame pixel, t from 0 to 1,
// sampled bilinearly.
template <class Path>
Clip camera(const Picture& pic, int32_t w, int32_t h, int frames, Path path)
{
    Clip c{w, h, {}};
    c.px.resize(static_cast<std::size_t>(w) * h * frames);
    for (int f = 0; f < frames; ++f) {
        double x0 = 0, y0 = 0, scale = 1;
        path(frames > 1 ? static_cast<double>(f) / (frames - 1) : 0.0, x0, y0, scale);
        uint32_t* out = c.frame(static_cast<std::size_t>(f));
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                const double sx = std::fmin(std::fmax(x0 + x * scale, 0.0), pic.w - 1.001);
                const double sy = std::fmin(std::fmax(y0 + y * scale, 0.0), pic.h - 1.001);
                const int32_t ix = static_cast<int32_t>(sx), iy = static_cast<int32_t>(sy);
                const double fx = sx - ix, fy = sy - iy;
                uint32_t p = 0;
                for (int shift = 0; shift < 24; shift += 8) {
                    auto ch = [&](int32_t px, int32_t py) { return static_cast<double>((pic.at(px, py) >> shift) & 0xFF); };
                    const double v = (ch(ix, iy) * (1 - fx) + ch(ix + 1, iy) * fx) * (1 - fy)
                                   + (ch(ix, iy + 1) * (1 - fx) + ch(ix + 1, iy + 1) * fx) * fy;
                    p |= static_cast<uint32_t>(v + 0.5) << shift;
                }
                out[static_cast<std::size_t>(y) * w + x] = p;
            }
    }
    return c;
}

// A still shot: the whole picture scaled to w x h, `frames` times.
inline Clip still(const Picture& pic, int32_t w, int32_t h, int frames)
{
    const double scale = std::fmin(static_cast<double>(pic.w) / w, static_cast<double>(pic.h) / h);
    return camera(pic, w, h, frames, [&](double, double& x, double& y, double& s) { x = 0, y = 0, s = scale; });
}

// Every sample of frame i through f(level, i): a grade, a fade, a light.
template <class F>
void eachSample(Clip& c, F f)
{
    for (std::size_t i = 0; i < c.frames(); ++i) {
        uint32_t* fr = c.frame(i);
        for (std::size_t k = 0; k < c.framePixels(); ++k) {
            uint32_t p = 0;
            for (int shift = 0; shift < 24; shift += 8) {
                const double v = f(static_cast<double>((fr[k] >> shift) & 0xFF), i);
                p |= static_cast<uint32_t>(v < 0 ? 0 : v > 255 ? 255 : std::lround(v)) << shift;
            }
            fr[k] = p;
        }
    }
}

// Levels squeezed into lo..hi, as a dim or washed-out recording has them.
inline void grade(Clip& c, double lo, double hi)
{
    eachSample(c, [&](double v, std::size_t) { return lo + v * (hi - lo) / 255; });
}

// Gaussian noise of `sigma` levels on every sample, a different draw each frame.
inline void addNoise(Clip& c, double sigma, uint32_t seed)
{
    std::mt19937 gen(seed);
    std::normal_distribution<double> noise(0, sigma);
    eachSample(c, [&](double v, std::size_t) { return v + noise(gen); });
}

// What a low bit rate does to a still shot from frame to frame: each 8x8 block of each
// frame shifted by up to `levels`, a fresh draw each frame.
inline void addBlockFlicker(Clip& c, int levels, uint32_t seed)
{
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> shift(-levels, levels);
    const int32_t bw = (c.w + 7) / 8, bh = (c.h + 7) / 8;
    std::vector<int> blocks(static_cast<std::size_t>(bw) * bh);
    for (std::size_t i = 0; i < c.frames(); ++i) {
        for (int& b : blocks)
            b = shift(gen);
        uint32_t* fr = c.frame(i);
        for (int32_t y = 0; y < c.h; ++y)
            for (int32_t x = 0; x < c.w; ++x) {
                uint32_t& p = fr[static_cast<std::size_t>(y) * c.w + x];
                const int d = blocks[static_cast<std::size_t>(y / 8) * bw + x / 8];
                uint32_t q = 0;
                for (int s = 0; s < 24; s += 8) {
                    const int v = static_cast<int>((p >> s) & 0xFF) + d;
                    q |= static_cast<uint32_t>(v < 0 ? 0 : v > 255 ? 255 : v) << s;
                }
                p = q;
            }
    }
}

} // namespace clips
