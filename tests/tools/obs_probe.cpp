// Starts libobs as OBS Studio starts it, without OBS's interface, finds the module NAME
// where libobs finds modules with no setting, loads that module alone and reports:
//   module NAME BIN_PATH DATA_PATH
//   filter ID|DISPLAY NAME                 for each filter type it registers
//   property ID|NAME|DESCRIPTION           for each of that filter's properties
//   created ID                             an instance was made (its effect compiled)
// Exit status 0 when the module is found and loads, 1 when not, 2 on a usage error.
// The display names and descriptions come from the module's locale in its data folder.
// libobs draws through OpenGL on an Xvfb server the probe starts; HOME should be a
// scratch folder, where libobs keeps its configuration.
//
//   obs_probe NAME
#include "obs_session.h"

#include <obs.h>

#include <cstdio>
#include <cstdlib>
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

int probe(const char* name)
{
    // libobs on an X server of its own, in the HOME it is given.
    const char* home = std::getenv("HOME");
    obs_test::Session session(home ? home : ".", 30);
    if (!session.unavailable().empty()) {
        std::fprintf(stderr, "obs_probe: cannot start libobs: %s\n", session.unavailable().c_str());
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
    std::string why;
    if (!session.openModule(f.bin, f.data, why)) {
        std::fprintf(stderr, "obs_probe: libobs cannot load %s: %s\n", f.bin.c_str(), why.c_str());
        return 1;
    }
    session.finishLoading();

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
    return probe(argv[1]);
}
