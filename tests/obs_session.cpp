#include "obs_session.h"

#include <obs.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <thread>

namespace obs_test {

namespace {

constexpr const char* kFrameSourceId = "rangewick_test_frames";
constexpr int kXvfbStartMs = 10000;        // Xvfb names its display within this
constexpr int kFrameWaitMs = 5000;         // an OBS frame comes within this, however busy

// Our source's state: the picture it shows, set by the session at the start of an OBS
// frame (as an asynchronous video source's frames are), so that every render within one
// OBS frame draws the same picture.
struct FrameSource {
    std::mutex    m;
    Frame         shown;
    bool          upload = false;
    gs_texture_t* texture = nullptr;
    // As a media source reports itself (none: a plain source).
    std::atomic<int>     mediaState{OBS_MEDIA_STATE_NONE};
    std::atomic<int64_t> mediaMs{0};
};

obs_media_state frameSourceMediaState(void* data)
{
    return static_cast<obs_media_state>(static_cast<FrameSource*>(data)->mediaState.load());
}

int64_t frameSourceMediaTime(void* data)
{
    return static_cast<FrameSource*>(data)->mediaMs;
}

const char* frameSourceName(void*)
{
    return "rangewick test frames";
}

void* frameSourceCreate(obs_data_t*, obs_source_t*)
{
    return new FrameSource;
}

void frameSourceDestroy(void* data)
{
    auto* s = static_cast<FrameSource*>(data);
    if (s->texture) {
        obs_enter_graphics();
        gs_texture_destroy(s->texture);
        obs_leave_graphics();
    }
    delete s;
}

uint32_t frameSourceWidth(void* data)
{
    auto* s = static_cast<FrameSource*>(data);
    std::lock_guard<std::mutex> lock(s->m);
    return static_cast<uint32_t>(s->shown.w);
}

uint32_t frameSourceHeight(void* data)
{
    auto* s = static_cast<FrameSource*>(data);
    std::lock_guard<std::mutex> lock(s->m);
    return static_cast<uint32_t>(s->shown.h);
}

void frameSourceRender(void* data, gs_effect_t* effect)
{
    auto* s = static_cast<FrameSource*>(data);
    std::lock_guard<std::mutex> lock(s->m);
    if (s->shown.px.empty())
        return;
    const auto w = static_cast<uint32_t>(s->shown.w), h = static_cast<uint32_t>(s->shown.h);
    if (s->upload) {
        // Opaque: the tool's frames carry no alpha, and OBS blends by it.
        std::vector<uint32_t> opaque(s->shown.px);
        for (uint32_t& p : opaque)
            p |= 0xFF000000u;
        const auto* bytes = reinterpret_cast<const uint8_t*>(opaque.data());
        if (s->texture && (gs_texture_get_width(s->texture) != w || gs_texture_get_height(s->texture) != h)) {
            gs_texture_destroy(s->texture);
            s->texture = nullptr;
        }
        if (s->texture)
            gs_texture_set_image(s->texture, bytes, w * 4, false);
        else
            s->texture = gs_texture_create(w, h, GS_BGRA, 1, &bytes, GS_DYNAMIC);
        s->upload = false;
    }
    // As an image source draws: with the effect OBS hands it, inside OBS's own loop.
    gs_effect_set_texture(gs_effect_get_param_by_name(effect, "image"), s->texture);
    gs_draw_sprite(s->texture, 0, w, h);
}

obs_source_info frameSourceInfo()
{
    obs_source_info info = {};
    info.id = kFrameSourceId;
    info.type = OBS_SOURCE_TYPE_INPUT;
    info.output_flags = OBS_SOURCE_VIDEO | OBS_SOURCE_CONTROLLABLE_MEDIA;
    info.get_name = frameSourceName;
    info.create = frameSourceCreate;
    info.destroy = frameSourceDestroy;
    info.get_width = frameSourceWidth;
    info.get_height = frameSourceHeight;
    info.video_render = frameSourceRender;
    info.media_get_state = frameSourceMediaState;
    info.media_get_time = frameSourceMediaTime;
    return info;
}

// libobs's warnings and errors only: its running account of every source would bury a
// failing test's message.
void logWarnings(int level, const char* format, va_list args, void*)
{
    if (level <= LOG_WARNING) {
        std::vfprintf(stderr, format, args);
        std::fputc('\n', stderr);
    }
}

// Starts Xvfb on a display it chooses itself (no race with other servers) and returns
// its process, or -1 with the reason in `why`.
int startXvfb(std::string& display, std::string& why)
{
    int fds[2];
    if (pipe(fds) != 0) {
        why = "no pipe for Xvfb";
        return -1;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);   // never outlives the test, even a crashed one
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0), dup2(null, 1), dup2(null, 2);
        close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        // RANGEWICK_XVFB names another server program: /bin/false shows what a machine
        // without one reports.
        const char* xvfb = std::getenv("RANGEWICK_XVFB") ? std::getenv("RANGEWICK_XVFB") : "Xvfb";
        execlp(xvfb, xvfb, "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        why = "cannot fork for Xvfb";
        return -1;
    }
    std::string number;
    pollfd p = {fds[0], POLLIN, 0};
    char c = 0;
    while (poll(&p, 1, kXvfbStartMs) == 1 && read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(fds[0]);
    if (c != '\n' || number.empty()) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        why = "Xvfb did not start; scripts/deps obs installs it";
        return -1;
    }
    display = ":" + number;
    return pid;
}

} // namespace

SourceRef& SourceRef::operator=(SourceRef&& o) noexcept
{
    if (this != &o) {
        obs_source_release(s_);
        s_ = o.s_;
        o.s_ = nullptr;
    }
    return *this;
}

SourceRef::~SourceRef()
{
    obs_source_release(s_);
}

Session::Session(const std::string& home, uint32_t fps, int32_t canvasW, int32_t canvasH)
{
    // libobs writes its configuration under HOME.
    mkdir(home.c_str(), 0755);
    setenv("HOME", home.c_str(), 1);
    std::string display;
    xvfbPid_ = startXvfb(display, unavailable_);
    if (xvfbPid_ < 0)
        return;
    setenv("DISPLAY", display.c_str(), 1);

#if defined(__SANITIZE_ADDRESS__)
    // Mesa's EGL and its driver stay mapped to the end. Unloaded at shutdown, they would
    // leave what their globals still hold to LeakSanitizer as leaks of no library it can
    // name; mapped, that is reachable, and every leak of ours is still reported.
    for (const char* lib : {"libEGL_mesa.so.0", "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so"})
        dlopen(lib, RTLD_NOW | RTLD_NODELETE);
#endif
    base_set_log_handler(logWarnings, nullptr);
    if (!obs_startup("en-US", nullptr, nullptr)) {
        unavailable_ = "obs_startup failed";
        return;
    }
    started_ = true;
    obs_video_info ovi = {};
    ovi.graphics_module = "libobs-opengl";
    ovi.fps_num = fps;
    ovi.fps_den = 1;
    ovi.base_width = ovi.output_width = static_cast<uint32_t>(canvasW);
    ovi.base_height = ovi.output_height = static_cast<uint32_t>(canvasH);
    ovi.output_format = VIDEO_FORMAT_BGRA;
    ovi.gpu_conversion = false;
    ovi.colorspace = VIDEO_CS_709;
    ovi.range = VIDEO_RANGE_FULL;
    ovi.scale_type = OBS_SCALE_POINT;
    const int reset = obs_reset_video(&ovi);
    if (reset != OBS_VIDEO_SUCCESS) {
        unavailable_ = "obs_reset_video with libobs-opengl on " + display + " failed (" + std::to_string(reset) + ")";
        return;
    }
    const obs_source_info info = frameSourceInfo();
    obs_register_source(&info);
    frameNs_ = 1000000000ull / fps;
    obs_add_tick_callback(onTick, this);
}

Session::~Session()
{
    if (started_) {
        if (texrender_ || stage_) {
            obs_enter_graphics();
            gs_texrender_destroy(texrender_);
            gs_stagesurface_destroy(stage_);
            obs_leave_graphics();
        }
        obs_remove_tick_callback(onTick, this);
        obs_shutdown();
    }
    if (xvfbPid_ > 0) {
        kill(xvfbPid_, SIGTERM);
        waitpid(xvfbPid_, nullptr, 0);
    }
}

long Session::allocationsLeftAtShutdown()
{
    return bnum_allocs();
}

bool Session::openModule(const std::string& binPath, const std::string& dataPath, std::string& why)
{
    obs_module_t* module = nullptr;
    const int opened = obs_open_module(&module, binPath.c_str(), dataPath.c_str());
    if (opened != MODULE_SUCCESS) {
        why = "obs_open_module(" + binPath + ") returned " + std::to_string(opened);
        return false;
    }
    if (!obs_init_module(module)) {
        why = "obs_init_module(" + binPath + ") failed";
        return false;
    }
    return true;
}

void Session::finishLoading()
{
    obs_post_load_modules();
}

void Session::setMedia(obs_source* frameSource, int state, int64_t ms)
{
    auto* s = static_cast<FrameSource*>(obs_obj_get_data(frameSource));
    s->mediaState = state;
    s->mediaMs = ms;
}

SourceRef Session::createFrameSource() const
{
    return SourceRef(obs_source_create_private(kFrameSourceId, "frames", nullptr));
}

namespace {

// Waits until `done` holds, polling; false after kFrameWaitMs.
template <class Done>
bool waitFor(Done done)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kFrameWaitMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return true;
}

} // namespace

// Runs at the start of each OBS frame on OBS's graphics thread, before any source's tick
// (where a source comes onto the program) and before anything is rendered.
void Session::onTick(void* param, float)
{
    Session& s = *static_cast<Session*>(param);
    std::lock_guard<std::mutex> lock(s.handover_);
    if (!s.handing_.source)
        return;
    auto* source = static_cast<FrameSource*>(obs_obj_get_data(s.handing_.source));
    {
        std::lock_guard<std::mutex> hold(source->m);
        std::swap(source->shown, s.handing_.picture);
        source->upload = true;
    }
    if (s.handing_.atStart)
        s.handing_.atStart();
    s.handing_ = Handing();
    s.handedAt_ = obs_get_video_frame_time();
}

void Session::nextFrame(obs_source* frameSource, const uint32_t* px, int32_t w, int32_t h, int after,
                        std::function<void()> atStart)
{
    if (after > 0) {
        const uint64_t from = obs_get_video_frame_time();
        waitFor([&] { return obs_get_video_frame_time() >= from + static_cast<uint64_t>(after) * frameNs_; });
    }
    {
        std::lock_guard<std::mutex> lock(handover_);
        handing_.picture.w = w;
        handing_.picture.h = h;
        handing_.picture.px.assign(px, px + static_cast<size_t>(w) * static_cast<size_t>(h));
        handing_.atStart = std::move(atStart);
        handing_.source = frameSource;
    }
    uint64_t at = 0;
    const bool shown = waitFor([&] {
        std::lock_guard<std::mutex> lock(handover_);
        at = handedAt_;
        return handing_.source == nullptr;
    });
    if (!shown || (after == 0 && last_ != 0 && at != last_ + frameNs_))
        missed_ = true;
    last_ = at;
}

bool Session::draw(obs_source* source, uint32_t& w, uint32_t& h)
{
    w = obs_source_get_width(source);
    h = obs_source_get_height(source);
    if (!texrender_)
        texrender_ = gs_texrender_create(GS_BGRA, GS_ZS_NONE);
    gs_texrender_reset(texrender_);
    if (w == 0 || h == 0 || !gs_texrender_begin(texrender_, w, h))
        return false;
    vec4 clear;
    vec4_zero(&clear);
    gs_clear(GS_CLEAR_COLOR, &clear, 0.0f, 0);
    gs_ortho(0.0f, static_cast<float>(w), 0.0f, static_cast<float>(h), -100.0f, 100.0f);
    gs_blend_state_push();
    gs_blend_function(GS_BLEND_ONE, GS_BLEND_ZERO);
    obs_source_video_render(source);
    gs_blend_state_pop();
    gs_texrender_end(texrender_);
    return true;
}

Frame Session::render(obs_source* source)
{
    Frame f;
    obs_enter_graphics();
    const uint64_t before = obs_get_video_frame_time();
    uint32_t w = 0, h = 0;
    if (draw(source, w, h)) {
        if (stage_ && (gs_stagesurface_get_width(stage_) != w || gs_stagesurface_get_height(stage_) != h)) {
            gs_stagesurface_destroy(stage_);
            stage_ = nullptr;
        }
        if (!stage_)
            stage_ = gs_stagesurface_create(w, h, GS_BGRA);
        gs_stage_texture(stage_, gs_texrender_get_texture(texrender_));
        uint8_t* data = nullptr;
        uint32_t linesize = 0;
        if (gs_stagesurface_map(stage_, &data, &linesize)) {
            f.w = static_cast<int32_t>(w);
            f.h = static_cast<int32_t>(h);
            f.px.resize(static_cast<size_t>(w) * h);
            for (uint32_t y = 0; y < h; ++y)
                std::memcpy(&f.px[static_cast<size_t>(y) * w], data + static_cast<size_t>(y) * linesize, w * 4);
            gs_stagesurface_unmap(stage_);
            for (uint32_t& p : f.px)
                p &= 0x00FFFFFFu;
        }
    }
    // Rendered within one OBS frame, the one the picture was shown in.
    if (before != last_ || obs_get_video_frame_time() != last_)
        missed_ = true;
    obs_leave_graphics();
    return f;
}

void Session::waitFrame()
{
    const uint64_t from = obs_get_video_frame_time();
    waitFor([&] { return obs_get_video_frame_time() != from; });
    last_ = obs_get_video_frame_time();
}

double Session::renderTimed(obs_source* source)
{
    obs_enter_graphics();
    timespec start, end;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
    uint32_t w = 0, h = 0;
    draw(source, w, h);
    gs_flush();
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
    obs_leave_graphics();
    return static_cast<double>(end.tv_sec - start.tv_sec) + static_cast<double>(end.tv_nsec - start.tv_nsec) * 1e-9;
}

} // namespace obs_test
