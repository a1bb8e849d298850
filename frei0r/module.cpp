// The frei0r entry points, every function frei0r.h declares, as plain C functions the
// hosts find by name. Nothing here throws; an instance the host failed to get (null)
// or a null frame or value is ignored rather than trusted.
#include "levels_filter.h"
#include "parameters.h"

#include "frame_levelling.h"

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

// Name and explanation per parameter, in parameter order; the ranges are the settings'.
struct ParameterText {
    const char* name;
    const char* explanation;
};
const ParameterText kParameters[frei0r::kParameterCount] = {
    {"highlight clip", "Share of samples allowed to clip to white, as a fraction (0.0001 = 0.01 %)"},
    {"shadow clip", "Share of samples allowed to clip to black, as a fraction (0.01 = 1 %)"},
    {"highlights min", "Lowest level the white point may take, as a fraction of 255"},
    {"shadows max", "Highest level the black point may take, as a fraction of 255"},
    {"preview clipped", "Show only what clips: every other level becomes middle grey"},
    {"cuts", "Start afresh at each cut: a new shot is levelled from its own first frame"},
    {"follow time", "Time the points take to cross the whole range, as a fraction of 100 s "
                    "(0.02 = 2 s); 0: one level a frame"},
    {"strength", "How much of the levelling to apply: 0 none, 1 all of it"},
    {"independence", "0: red, green and blue share one pair of points; 1: each has its own, "
                     "which removes a colour cast"},
    {"margin top", "Rows at the top left out of the count (letterbox bars), as a fraction of the height"},
    {"margin right", "Columns at the right left out of the count, as a fraction of the width"},
    {"margin bottom", "Rows at the bottom left out of the count, as a fraction of the height"},
    {"margin left", "Columns at the left left out of the count, as a fraction of the width"},
};

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
    info->name        = kParameters[param_index].name;
    const bool isBool = param_index == frei0r::kPreviewClipped || param_index == frei0r::kCuts;
    info->type        = isBool ? F0R_PARAM_BOOL : F0R_PARAM_DOUBLE;
    info->explanation = kParameters[param_index].explanation;
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
