// Starts libobs as OBS Studio starts it, without OBS's interface, finds the module NAME
// where libobs finds modules with no setting, loads that module alone and reports:
//   module NAME BIN_PATH DATA_PATH
//   filter ID|DISPLAY NAME                 for each filter type it registers
//   property ID|NAME|DESCRIPTION           for each of that filter's properties
//   created ID                             an instance was made (its effect compiled)
// Exit status 0 when the module is found and loads, 1 when not, 2 on a usage error.
// The display names and descriptions come from the module's locale in its data folder.
// libobs draws through OpenGL: run under an X server (Xvfb), with HOME a scratch
// folder, where libobs keeps its configuration.
//
//   obs_probe NAME
#include <obs.h>
#include <util/base.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Found {
    std::string name, bin, data;
    bool        found = false;
};

void onModule(void* param, const obs_module_info2* info)
{
    Found& f = *static_cast<Found*>(param);
    if (!f.found && info->name && f.name == info->name) {
        f.found = true;
        f.bin = info->bin_path ? info->bin_path : "";
        f.data = info->data_path ? info->data_path : "";
    }
}

// libobs logs to standard output by default, where the report goes.
void logToStderr(int level, const char* format, va_list args, void*)
{
    std::fprintf(stderr, "%s: ", level <= LOG_ERROR ? "error" : level <= LOG_WARNING ? "warning" : "info");
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
}

int probe(const char* name)
{
    obs_video_info ovi = {};
    ovi.graphics_module = "libobs-opengl";
    ovi.fps_num = 30;
    ovi.fps_den = 1;
    ovi.base_width = ovi.output_width = 64;
    ovi.base_height = ovi.output_height = 64;
    ovi.output_format = VIDEO_FORMAT_RGBA;
    ovi.gpu_conversion = true;
    ovi.colorspace = VIDEO_CS_709;
    ovi.range = VIDEO_RANGE_PARTIAL;
    ovi.scale_type = OBS_SCALE_BICUBIC;
    const int video = obs_reset_video(&ovi);
    if (video != OBS_VIDEO_SUCCESS) {
        std::fprintf(stderr, "obs_probe: libobs cannot start its graphics (obs_reset_video %d): is DISPLAY an X server?\n",
                     video);
        return 1;
    }

    obs_audio_info oai = {};
    oai.samples_per_sec = 48000;
    oai.speakers = SPEAKERS_STEREO;
    if (!obs_reset_audio(&oai)) {
        std::fprintf(stderr, "obs_probe: libobs cannot start its audio\n");
        return 1;
    }

    Found f;
    f.name = name;
    obs_find_modules2(onModule, &f);
    if (!f.found) {
        std::fprintf(stderr, "obs_probe: libobs finds no module %s\n", name);
        return 1;
    }
    std::printf("module %s %s %s\n", name, f.bin.c_str(), f.data.c_str());

    // Only this module: OBS's own include one that needs its Qt interface.
    obs_module_t* module = nullptr;
    const int opened = obs_open_module(&module, f.bin.c_str(), f.data.c_str());
    if (opened != MODULE_SUCCESS || !obs_init_module(module)) {
        std::fprintf(stderr, "obs_probe: libobs cannot load %s (obs_open_module %d)\n", f.bin.c_str(), opened);
        return 1;
    }
    obs_post_load_modules();

    std::vector<std::string> filters;
    const char* id = nullptr;
    for (size_t i = 0; obs_enum_filter_types(i, &id); ++i)
        filters.emplace_back(id);
    for (const std::string& filter : filters) {
        const char* shown = obs_source_get_display_name(filter.c_str());
        std::printf("filter %s|%s\n", filter.c_str(), shown ? shown : "");
        obs_properties_t* props = obs_get_source_properties(filter.c_str());
        for (obs_property_t* p = obs_properties_first(props); p; obs_property_next(&p)) {
            const char* text = obs_property_description(p);
            std::printf("property %s|%s|%s\n", filter.c_str(), obs_property_name(p), text ? text : "");
        }
        obs_properties_destroy(props);
        obs_source_t* instance = obs_source_create_private(filter.c_str(), "obs_probe", nullptr);
        if (instance)
            std::printf("created %s\n", filter.c_str());
        obs_source_release(instance);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: obs_probe NAME\n");
        return 2;
    }
    base_set_log_handler(logToStderr, nullptr);
    if (!obs_startup("en-US", nullptr, nullptr)) {
        std::fprintf(stderr, "obs_probe: obs_startup failed\n");
        return 1;
    }
    const int status = probe(argv[1]);
    obs_shutdown();
    return status;
}
