#include "filter.h"

#include "frame_follower.h"
#include "properties.h"

#include <obs-module.h>

#include <mutex>

namespace obs_levels {

namespace {

struct Filter {
    obs_source_t* self = nullptr;
    FrameFollower follower;

    // Settings arrive on OBS's interface thread; the graphics thread takes them at the
    // start of its next frame.
    std::mutex settingsLock;
    Settings   newSettings{};
    bool       haveNewSettings = false;
    bool       cutsOn = false;   // the graphics thread's copy, for scene switches

    gs_effect_t*    effect = nullptr;
    gs_eparam_t*    image = nullptr;
    gs_eparam_t*    levels = nullptr;
    gs_texrender_t* picture = nullptr;   // the source's picture, before levelling
    gs_stagesurf_t* copy = nullptr;      // its copy for counting
    uint32_t        copyW = 0, copyH = 0;
    gs_texture_t*   table = nullptr;     // the level tables, 256 x 1

    bool     rendered = false;
    uint64_t lastFrameNs = 0;
    bool     wasActive = false;
    obs_media_state mediaState = OBS_MEDIA_STATE_NONE;
    int64_t         mediaMs = 0;
};

const char* filterName(void*)
{
    return obs_module_text("AutomaticLevels");
}

void takeSettings(Filter& f, obs_data_t* data)
{
    const Settings s = settingsFrom(data);
    std::lock_guard<std::mutex> hold(f.settingsLock);
    f.newSettings = s;
    f.haveNewSettings = true;
}

void destroyFilter(void* data)
{
    Filter* f = static_cast<Filter*>(data);
    obs_enter_graphics();
    gs_effect_destroy(f->effect);
    gs_texrender_destroy(f->picture);
    gs_stagesurface_destroy(f->copy);
    gs_texture_destroy(f->table);
    obs_leave_graphics();
    delete f;
}

void* createFilter(obs_data_t* settings, obs_source_t* source)
{
    // No exception may cross into libobs, which is C.
    Filter* f = nullptr;
    try {
        f = new Filter;
    } catch (...) {
        return nullptr;
    }
    f->self = source;
    char* file = obs_module_file("levels.effect");
    obs_enter_graphics();
    f->effect = file ? gs_effect_create_from_file(file, nullptr) : nullptr;
    if (f->effect) {
        f->image = gs_effect_get_param_by_name(f->effect, "image");
        f->levels = gs_effect_get_param_by_name(f->effect, "levels");
    }
    f->picture = gs_texrender_create(GS_BGRA, GS_ZS_NONE);
    f->table = gs_texture_create(256, 1, GS_BGRA, 1, nullptr, GS_DYNAMIC);
    obs_leave_graphics();
    bfree(file);
    if (!f->effect || !f->picture || !f->table) {
        blog(LOG_ERROR, "[rangewick] cannot set up the filter on the graphics card (levels.effect: %s)",
             f->effect ? "loaded" : "not loaded");
        destroyFilter(f);
        return nullptr;
    }
    takeSettings(*f, settings);
    return f;
}

void updateFilter(void* data, obs_data_t* settings)
{
    takeSettings(*static_cast<Filter*>(data), settings);
}

void defaults(obs_data_t* settings)
{
    setDefaults(settings);
}

obs_properties_t* properties(void*)
{
    try {
        return makeProperties();
    } catch (...) {
        return nullptr;
    }
}

// A source that comes onto the program (a scene switch) is a new shot where cuts are on.
// A media source that starts playing again, or plays on from an earlier point (a loop, a
// seek back), starts afresh whatever the settings: what went before is another film.
void tick(void* data, float)
{
    Filter& f = *static_cast<Filter*>(data);
    obs_source_t* parent = obs_filter_get_parent(f.self);
    const bool active = parent && obs_source_active(parent);
    if (active && !f.wasActive && f.cutsOn)
        f.follower.startAfresh();
    f.wasActive = active;

    const obs_media_state state = parent ? obs_source_media_get_state(parent) : OBS_MEDIA_STATE_NONE;
    if (state == OBS_MEDIA_STATE_NONE)
        return;
    const int64_t ms = obs_source_media_get_time(parent);
    const bool playing = state == OBS_MEDIA_STATE_PLAYING;
    const bool started = playing && f.mediaState != OBS_MEDIA_STATE_PLAYING && f.mediaState != OBS_MEDIA_STATE_PAUSED;
    if (started || (playing && ms < f.mediaMs))
        f.follower.startAfresh();
    f.mediaState = state;
    f.mediaMs = ms;
}

// The target's picture as it is before this filter, in a texture of its own size.
gs_texture_t* renderPicture(Filter& f, obs_source_t* target, uint32_t w, uint32_t h)
{
    gs_texrender_reset(f.picture);
    if (!gs_texrender_begin_with_color_space(f.picture, w, h, GS_CS_SRGB))
        return nullptr;
    vec4 clear;
    vec4_zero(&clear);
    gs_clear(GS_CLEAR_COLOR, &clear, 0.0f, 0);
    gs_ortho(0.0f, static_cast<float>(w), 0.0f, static_cast<float>(h), -100.0f, 100.0f);
    gs_blend_state_push();
    gs_blend_function(GS_BLEND_ONE, GS_BLEND_ZERO);
    // Levels are worked on as the source's 8-bit values, with no conversion to linear.
    const bool srgb = gs_framebuffer_srgb_enabled();
    gs_enable_framebuffer_srgb(false);
    // A source that leaves drawing to OBS (an image) draws with the effect it is handed:
    // none here, unless OBS's default drawing is asked for, as OBS's own filters do.
    const uint32_t flags = obs_source_get_output_flags(target);
    if (target == obs_filter_get_parent(f.self) && (flags & (OBS_SOURCE_CUSTOM_DRAW | OBS_SOURCE_ASYNC)) == 0)
        obs_source_default_render(target);
    else
        obs_source_video_render(target);
    gs_enable_framebuffer_srgb(srgb);
    gs_blend_state_pop();
    gs_texrender_end(f.picture);
    return gs_texrender_get_texture(f.picture);
}

// Counts the copy made last, handing the follower its pixels or, where the card gives
// nothing, nullptr.
template <class Count> void countCopy(Filter& f, Count count)
{
    uint8_t* bytes = nullptr;
    uint32_t linesize = 0;
    if (!gs_stagesurface_map(f.copy, &bytes, &linesize)) {
        count(nullptr);
        return;
    }
    const BitmapView view = {bytes, static_cast<int32_t>(f.copyW), static_cast<int32_t>(f.copyH),
                             static_cast<std::ptrdiff_t>(linesize) - 4 * static_cast<std::ptrdiff_t>(f.copyW)};
    count(&view);
    gs_stagesurface_unmap(f.copy);
}

double frameInterval()
{
    obs_video_info ovi;
    if (obs_get_video_info(&ovi) && ovi.fps_num > 0 && ovi.fps_den > 0)
        return static_cast<double>(ovi.fps_den) / ovi.fps_num;
    return 1.0 / 30;
}

// One OBS frame's work: last frame's copy counted, this frame's picture copied (and
// counted at once where the follower asks), the tables for this frame on the card.
void follow(Filter& f, gs_texture_t* picture, uint64_t now, uint32_t w, uint32_t h)
{
    {
        std::lock_guard<std::mutex> hold(f.settingsLock);
        if (f.haveNewSettings) {
            f.follower.use(f.newSettings);
            f.cutsOn = f.newSettings.options.cuts != 0;
            f.haveNewSettings = false;
        }
    }
    const FrameFollower::Plan plan =
        f.follower.newFrame(now, static_cast<int32_t>(w), static_cast<int32_t>(h), frameInterval());
    if (plan.countLastFirst)
        countCopy(f, [&](const BitmapView* v) { f.follower.countLast(v); });
    if (!f.copy || f.copyW != w || f.copyH != h) {
        gs_stagesurface_destroy(f.copy);
        f.copy = gs_stagesurface_create(w, h, GS_BGRA);
        f.copyW = w;
        f.copyH = h;
    }
    if (!f.copy) {
        f.follower.startAfresh();
        return;
    }
    gs_stage_texture(f.copy, picture);
    if (plan.countNow)
        countCopy(f, [&](const BitmapView* v) { f.follower.countThis(v); });
    else
        f.follower.countThis(nullptr);
}

void render(void* data, gs_effect_t*)
{
    Filter& f = *static_cast<Filter*>(data);
    obs_source_t* target = obs_filter_get_target(f.self);
    const uint32_t w = target ? obs_source_get_base_width(target) : 0;
    const uint32_t h = target ? obs_source_get_base_height(target) : 0;
    if (w == 0 || h == 0 || static_cast<uint64_t>(w) * h > levels::maxFramePixels()) {
        obs_source_skip_video_filter(f.self);
        return;
    }
    gs_texture_t* picture = renderPicture(f, target, w, h);
    if (!picture) {
        obs_source_skip_video_filter(f.self);
        return;
    }
    // A source shown in several places is drawn more than once a frame; it is counted
    // once, at the frame's time on OBS's clock.
    const uint64_t now = obs_get_video_frame_time();
    if (!f.rendered || now != f.lastFrameNs)
        follow(f, picture, now, w, h);
    f.rendered = true;
    f.lastFrameNs = now;
    if (f.follower.takeTexelsChanged())
        gs_texture_set_image(f.table, &f.follower.texels().bgra[0][0], 256 * 4, false);

    const bool srgb = gs_framebuffer_srgb_enabled();
    gs_enable_framebuffer_srgb(false);
    gs_effect_set_texture(f.image, picture);
    gs_effect_set_texture(f.levels, f.table);
    while (gs_effect_loop(f.effect, "Draw"))
        gs_draw_sprite(picture, 0, w, h);
    gs_enable_framebuffer_srgb(srgb);
}

gs_color_space colorSpace(void*, size_t, const gs_color_space*)
{
    return GS_CS_SRGB;   // 8-bit levels in, 8-bit levels out
}

obs_source_info makeInfo()
{
    obs_source_info info = {};
    info.id = kFilterId;
    info.type = OBS_SOURCE_TYPE_FILTER;
    info.output_flags = OBS_SOURCE_VIDEO;
    info.get_name = filterName;
    info.create = createFilter;
    info.destroy = destroyFilter;
    info.update = updateFilter;
    info.get_defaults = defaults;
    info.get_properties = properties;
    info.video_tick = tick;
    info.video_render = render;
    info.video_get_color_space = colorSpace;
    return info;
}

} // namespace

const obs_source_info& filterInfo()
{
    static const obs_source_info info = makeInfo();
    return info;
}

} // namespace obs_levels
