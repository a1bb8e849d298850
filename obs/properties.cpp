#include "properties.h"

#include "option_table.h"

#include <obs-module.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

namespace obs_levels {

namespace {

using options::Kind;
using options::kOptions;

const std::array<std::string, options::kOptionCount>& keys()
{
    static const std::array<std::string, options::kOptionCount> all = [] {
        std::array<std::string, options::kOptionCount> k;
        for (int i = 0; i < options::kOptionCount; ++i) {
            k[i] = kOptions[i].name;
            std::replace(k[i].begin(), k[i].end(), ' ', '_');
        }
        return k;
    }();
    return all;
}

// Percent and 0..1 options are shown in whole percent.
constexpr int kPercent = 100;
// Margins are pixels; wider than any frame OBS makes.
constexpr int kMarginMax = 16384;

// In the order the dialog shows them: how the points move first, what they are found
// from after, the view of what clips last.
constexpr options::Option kShown[] = {
    options::kFollowTime,   options::kCuts,          options::kStrength,     options::kIndependence,
    options::kHighlightClip, options::kShadowClip,   options::kHighlightsMin, options::kShadowsMax,
    options::kMarginTop,    options::kMarginRight,   options::kMarginBottom, options::kMarginLeft,
    options::kPreviewClipped,
};

double initialOf(int option)
{
    return option == options::kFollowTime ? kLiveFollowTime : kOptions[option].initial;
}

double clamped(double v, double lo, double hi, double otherwise)
{
    if (std::isnan(v))
        return otherwise;
    return v < lo ? lo : v > hi ? hi : v;
}

} // namespace

const char* keyOf(int option)
{
    return keys()[option].c_str();
}

void setDefaults(obs_data* data)
{
    for (int i = 0; i < options::kOptionCount; ++i) {
        const double v = initialOf(i);
        switch (kOptions[i].kind) {
        case Kind::ClipShare:
        case Kind::Seconds: obs_data_set_default_double(data, keyOf(i), v); break;
        case Kind::Switch: obs_data_set_default_bool(data, keyOf(i), v != 0); break;
        case Kind::Fraction: obs_data_set_default_int(data, keyOf(i), std::lround(v * kPercent)); break;
        case Kind::Level:
        case Kind::Margin: obs_data_set_default_int(data, keyOf(i), std::lround(v)); break;
        }
    }
}

obs_properties* makeProperties()
{
    obs_properties_t* props = obs_properties_create();
    for (options::Option i : kShown) {
        const char* key = keyOf(i);
        const std::string tipKey = std::string(key) + ".tip";
        const char* label = obs_module_text(key);
        obs_property_t* p = nullptr;
        switch (kOptions[i].kind) {
        case Kind::ClipShare:
            p = obs_properties_add_float(props, key, label, 0, kOptions[i].max, 0.01);
            obs_property_float_set_suffix(p, " %");
            break;
        case Kind::Seconds:
            p = obs_properties_add_float(props, key, label, 0, kOptions[i].max, 0.1);
            obs_property_float_set_suffix(p, " s");
            break;
        case Kind::Switch: p = obs_properties_add_bool(props, key, label); break;
        case Kind::Fraction:
            p = obs_properties_add_int_slider(props, key, label, 0, kPercent, 1);
            obs_property_int_set_suffix(p, " %");
            break;
        case Kind::Level: p = obs_properties_add_int_slider(props, key, label, 0, 255, 1); break;
        case Kind::Margin:
            p = obs_properties_add_int(props, key, label, 0, kMarginMax, 1);
            obs_property_int_set_suffix(p, " px");
            break;
        }
        obs_property_set_long_description(p, obs_module_text(tipKey.c_str()));
    }
    return props;
}

Settings settingsFrom(obs_data* data)
{
    Settings s = defaultSettings();
    const auto share = [&](int i) {
        const double pct = clamped(obs_data_get_double(data, keyOf(i)), 0, kOptions[i].max, initialOf(i));
        return static_cast<int32_t>(std::lround(pct * 100));   // 1/100 %
    };
    const auto whole = [&](int i, long long hi) {
        return static_cast<int32_t>(std::clamp<long long>(obs_data_get_int(data, keyOf(i)), 0, hi));
    };
    const auto fraction = [&](int i) { return whole(i, kPercent) / static_cast<double>(kPercent); };
    s.highlightClip = share(options::kHighlightClip);
    s.shadowClip = share(options::kShadowClip);
    s.highlightsMin = whole(options::kHighlightsMin, 255);
    s.shadowsMax = whole(options::kShadowsMax, 255);
    s.previewClipped = obs_data_get_bool(data, keyOf(options::kPreviewClipped)) ? 1 : 0;
    s.options.cuts = obs_data_get_bool(data, keyOf(options::kCuts)) ? 1 : 0;
    s.options.followTime = clamped(obs_data_get_double(data, keyOf(options::kFollowTime)), 0,
                                   kOptions[options::kFollowTime].max, kLiveFollowTime);
    s.options.strength = fraction(options::kStrength);
    s.options.independence = fraction(options::kIndependence);
    for (int side = 0; side < 4; ++side)
        s.options.margins[side] = whole(options::kMarginTop + side, kMarginMax);
    return s;
}

} // namespace obs_levels
