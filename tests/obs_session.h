// A headless OBS for the OBS filter's tests and benchmark: libobs in a scratch home, on an
// Xvfb server of its own, drawing with OpenGL through Mesa. Modules are opened one by one
// (loading them all brings in the frontend's, which needs Qt). A source type of ours shows
// the frames it is handed, each from the OBS frame after; any source, with its filters, is
// rendered and read back as the filter's host would show it.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct obs_source;
struct gs_texture_render;
struct gs_stage_surface;

namespace obs_test {

// A picture of 0x00RRGGBB words, rows back to back (the tool's bgr0 frames).
struct Frame {
    int32_t               w = 0, h = 0;
    std::vector<uint32_t> px;
};

// Holds a reference to a source and releases it.
class SourceRef {
public:
    explicit SourceRef(obs_source* s = nullptr) : s_(s) {}
    SourceRef(SourceRef&& o) noexcept : s_(o.s_) { o.s_ = nullptr; }
    SourceRef& operator=(SourceRef&& o) noexcept;
    SourceRef(const SourceRef&) = delete;
    SourceRef& operator=(const SourceRef&) = delete;
    ~SourceRef();
    obs_source* get() const { return s_; }

private:
    obs_source* s_;
};

class Session {
public:
    // Starts Xvfb and libobs (home: a scratch folder for libobs's configuration) with a
    // canvas of w x h at `fps` frames a second.
    Session(const std::string& home, uint32_t fps, int32_t canvasW = 640, int32_t canvasH = 360);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Why this machine cannot run a headless OBS (no Xvfb, no OpenGL); empty when it runs.
    const std::string& unavailable() const { return unavailable_; }

    // Opens and initialises one module; false (and a message in `why`) when it cannot.
    bool openModule(const std::string& binPath, const std::string& dataPath, std::string& why);
    void finishLoading();

    // A private source of our own type, showing nothing until handed a picture.
    SourceRef createFrameSource() const;
    // What such a source says of itself as a media source: its obs_media_state and
    // the time it plays at.
    static void setMedia(obs_source* frameSource, int state, int64_t ms);

    // A run of OBS frames, one rendered in each: starts the count of missed frames.
    void beginRun() { missed_ = false, last_ = 0; }
    // Hands a w x h picture to `frameSource`, which shows it from the next OBS frame on,
    // and waits for that frame; `atStart` runs at its start, before any source's tick
    // (a scene switch). `after` frames of OBS time are let go by first (a pause).
    void nextFrame(obs_source* frameSource, const uint32_t* px, int32_t w, int32_t h, int after = 0,
                   std::function<void()> atStart = {});
    // Renders `source` with its filters, at its own size, within the current OBS frame,
    // and reads back the colours it draws (alpha dropped).
    Frame render(obs_source* source);
    // Waits for the next OBS frame, the picture shown staying as it is.
    void waitFrame();
    // Renders `source` as render() does, without reading back, and returns the CPU time
    // this thread spent rendering it, in seconds (what a host's render thread pays).
    double renderTimed(obs_source* source);
    // Whether the run lost an OBS frame: the machine was too busy to render in each, so
    // the filter saw longer gaps than the frames it was compared with.
    bool missedFrames() const { return missed_; }

    // libobs's count of its allocations still held at shutdown (0: nothing leaked).
    static long allocationsLeftAtShutdown();

private:
    static void onTick(void* param, float seconds);
    // Renders `source` into our texture at its own size; false when there is nothing.
    bool draw(obs_source* source, uint32_t& w, uint32_t& h);

    std::string unavailable_;
    int         xvfbPid_ = -1;
    bool        started_ = false;
    uint64_t    frameNs_ = 0;
    uint64_t    last_ = 0;   // frame time of the last frame of the run
    bool        missed_ = false;
    struct Handing {
        obs_source*           source = nullptr;   // none: nothing to hand over
        Frame                 picture;
        std::function<void()> atStart;
    };
    std::mutex  handover_;
    Handing     handing_;
    uint64_t    handedAt_ = 0;   // frame time of the last hand-over
    gs_texture_render* texrender_ = nullptr;   // what render() draws into
    gs_stage_surface*  stage_ = nullptr;       // and reads back through
};

// Runs `run` until it saw every OBS frame, at most three times: on a machine busy with
// other work a run now and then misses one. True when one run was whole.
template <class Run>
bool wholeRun(Session& s, Run run)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        s.beginRun();
        run();
        if (!s.missedFrames())
            return true;
    }
    return false;
}

} // namespace obs_test
