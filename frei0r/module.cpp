// The frei0r entry points, every function frei0r.h declares, as plain C functions the
// hosts find by name. Nothing here throws; an instance the host failed to get (null)
// or a null frame or value is ignored rather than trusted.
#include "levels_filter.h"
#include "parameters.h"

#include "frame_levelling.h"
#include "option_table.h"

#include <cstdio>

// The header declares the entry points without C linkage of its own.
extern "C" {
#include <frei0r.h>
}

#ifndef RANGEWICK_VERSION_MAJOR
#error "RANGEWICK_VERSION_MAJOR and RANGEWICK_VERSION_MINOR come from the project's version"
#endif

namespace {

using frei0r::LevelsFilter;

// What the host's times count, found once at f0r_init.
frei0r::TimeUnit hostUnit = frei0r::TimeUnit::Unknown;

LevelsFilter* filterOf(f0r_instance_t instance)
{
    return static_cast<LevelsFilter*>(instance);
}

// Each parameter's explanation: the option table's help, then how frei0r's 0..1 stands
// for it. Written once, on first use, into memory that lives as long as the module.
const char* explanationOf(int index)
{
    static char texts[frei0r::kParameterCount][320];
    static bool written = false;
    if (!written) {
        for (int i = 0; i < frei0r::kParameterCount; ++i) {
            const options::OptionInfo& o = options::kOptions[i];
            char unit[96] = "";
            switch (o.kind) {
            case options::Kind::ClipShare:
            case options::Kind::Level:
            case options::Kind::Seconds:
                std::snprintf(unit, sizeof unit, "; here as a fraction of %g %s", o.frei0rScale,
                              o.kind == options::Kind::ClipShare ? "%" : o.kind == options::Kind::Level ? "levels" : "s");
                break;
            case options::Kind::Margin:
                std::snprintf(unit, sizeof unit, "; here as a fraction of the frame's %s",
                              i == frei0r::kMarginTop || i == frei0r::kMarginTop + 2 ? "height" : "width");
                break;
            case options::Kind::Switch:
            case options::Kind::Fraction:
                break;
            }
            std::snprintf(texts[i], sizeof texts[i], "%s%s", o.help, unit);
        }
        written = true;
    }
    return texts[index];
}

} // namespace

int f0r_init(void)
{
    // The engine picks its loops for this processor on first use: one frame now, so that
    // nothing shared changes once instances level frames.
    LevelsInstance probe{};
    resetToDefaults(probe);
    uint32_t in = 0, out = 0;
    levelFrameKeepingAlpha({&in, 1, 1, 0}, {&out, 1, 1, 0}, probe);
    hostUnit = frei0r::hostTimeUnit();
    explanationOf(0);
    return 1;
}

void f0r_deinit(void)
{
}

void f0r_get_plugin_info(f0r_plugin_info_t* info)
{
    if (info == nullptr)
        return;
    info->name           = "rangewick";
    info->author         = "Corvalent";
    info->plugin_type    = F0R_PLUGIN_TYPE_FILTER;
    info->color_model    = F0R_COLOR_MODEL_BGRA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version  = RANGEWICK_VERSION_MAJOR;
    info->minor_version  = RANGEWICK_VERSION_MINOR;
    info->num_params     = frei0r::kParameterCount;
    info->explanation    = "Automatic levels: stretches each frame between a black and a white point "
                           "found in the picture and followed from frame to frame";
}

void f0r_get_param_info(f0r_param_info_t* info, int param_index)
{
    if (info == nullptr || param_index < 0 || param_index >= frei0r::kParameterCount)
        return;
    const options::OptionInfo& o = options::kOptions[param_index];
    info->name        = o.name;
    info->type        = o.kind == options::Kind::Switch ? F0R_PARAM_BOOL : F0R_PARAM_DOUBLE;
    info->explanation = explanationOf(param_index);
}

f0r_instance_t f0r_construct(unsigned int width, unsigned int height)
{
    return LevelsFilter::create(width, height, hostUnit);
}

void f0r_destruct(f0r_instance_t instance)
{
    delete filterOf(instance);
}

void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int param_index)
{
    // Both parameter types are doubles: f0r_param_double and f0r_param_bool.
    if (instance != nullptr && param != nullptr)
        filterOf(instance)->setParameter(param_index, *static_cast<const double*>(param));
}

void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int param_index)
{
    if (instance != nullptr && param != nullptr && param_index >= 0 && param_index < frei0r::kParameterCount)
        *static_cast<double*>(param) = filterOf(instance)->parameter(param_index);
}

void f0r_update(f0r_instance_t instance, double time, const uint32_t* inframe, uint32_t* outframe)
{
    if (instance != nullptr && inframe != nullptr && outframe != nullptr)
        filterOf(instance)->update(time, inframe, outframe);
}

void f0r_update2(f0r_instance_t instance, double time, const uint32_t* inframe1, const uint32_t*,
                 const uint32_t*, uint32_t* outframe)
{
    f0r_update(instance, time, inframe1, outframe);
}
