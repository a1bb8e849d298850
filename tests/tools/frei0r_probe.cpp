// Loads a frei0r module as a host does, levels one dim frame with it and reports
//   "name|author|version|parameters|levelled"
// (levelled: the frame came out stretched from 0 to 255 with its alpha kept).
// Exit status 0 when the module loads and every entry point is there.
//
//   frei0r_probe MODULE
extern "C" {
#include <frei0r.h>
}

#include <cstdint>
#include <cstdio>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: frei0r_probe MODULE\n");
        return 2;
    }
#ifdef _WIN32
    HMODULE module = LoadLibraryA(argv[1]);
    const auto find = [module](const char* name) {
        return module ? reinterpret_cast<void*>(GetProcAddress(module, name)) : nullptr;
    };
#else
    void* module = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    const auto find = [module](const char* name) { return module ? dlsym(module, name) : nullptr; };
#endif
    const auto init = reinterpret_cast<int (*)()>(find("f0r_init"));
    const auto info = reinterpret_cast<void (*)(f0r_plugin_info_t*)>(find("f0r_get_plugin_info"));
    const auto construct = reinterpret_cast<f0r_instance_t (*)(unsigned, unsigned)>(find("f0r_construct"));
    const auto destruct = reinterpret_cast<void (*)(f0r_instance_t)>(find("f0r_destruct"));
    const auto update = reinterpret_cast<void (*)(f0r_instance_t, double, const uint32_t*, uint32_t*)>(find("f0r_update"));
    const char* const others[] = {"f0r_deinit", "f0r_get_param_info", "f0r_set_param_value", "f0r_get_param_value",
                                  "f0r_update2"};
    bool complete = init && info && construct && destruct && update;
    for (const char* name : others)
        complete = complete && find(name) != nullptr;
    if (!complete || init() != 1) {
        std::fprintf(stderr, "frei0r_probe: %s does not load as a frei0r module\n", argv[1]);
        return 1;
    }
    f0r_plugin_info_t plugin{};
    info(&plugin);

    // Levels 100 to 155, alpha 0 to 255 across the frame: stretched to 0..255 at once.
    const unsigned w = 16, h = 8;
    std::vector<uint32_t> in(w * h), out(w * h);
    for (unsigned i = 0; i < w * h; ++i) {
        const uint32_t v = 100 + (i * 7) % 56;
        in[i] = (i * 2) << 24 | v << 16 | v << 8 | v;
    }
    const f0r_instance_t inst = construct(w, h);
    bool levelled = false;
    if (inst) {
        update(inst, 0, in.data(), out.data());
        uint32_t lo = 255, hi = 0;
        bool alphaKept = true;
        for (unsigned i = 0; i < w * h; ++i) {
            const uint32_t g = (out[i] >> 8) & 0xFF;
            lo = g < lo ? g : lo;
            hi = g > hi ? g : hi;
            alphaKept = alphaKept && (out[i] >> 24) == (in[i] >> 24);
        }
        levelled = lo == 0 && hi == 255 && alphaKept;
        destruct(inst);
    }
    std::printf("%s|%s|%d.%d|%d|%s\n", plugin.name, plugin.author, plugin.major_version, plugin.minor_version,
                plugin.num_params, levelled ? "levelled" : "not levelled");
    return 0;
}
