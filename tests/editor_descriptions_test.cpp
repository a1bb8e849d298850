// The editors' descriptions of the module (editors/): Kdenlive's effect and Shotcut's
// filter page. Every value a user can set there, in the editor's unit, must reach the
// module as the setting the command-line tool takes for the same number; and the
// module's value for a setting must show in the editor as a number that means that
// setting to the tool. Every value of every range is tried.
//
// Kdenlive is modelled as Debian's Kdenlive 22.12 was seen to behave: it writes a value
// divided by `factor` with six significant digits ("%g": 64/255 becomes 0.25098), and
// shows a stored value times `factor`, cut to a whole number where it has no decimals
// (0.25098 x 255 showed as 63) and rounded to its decimals elsewhere. Shotcut's page
// runs for real in Qt's QML test runner, with a stand-in for Shotcut's own controls.
#include "extras/extras.h"
#include "option_table.h"
#include "options.h"
#include "parameters.h"
#include "settings.h"

extern "C" {
#include <frei0r.h>
}

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#ifndef RANGEWICK_FREI0R_MODULE
#error "RANGEWICK_FREI0R_MODULE names the module under test"
#endif
#ifndef RANGEWICK_SOURCE_DIR
#error "RANGEWICK_SOURCE_DIR is the project's source folder"
#endif

namespace {

namespace fs = std::filesystem;

const std::string kKdenliveEffect = RANGEWICK_SOURCE_DIR "/editors/kdenlive/frei0r_rangewick.xml";
const std::string kShotcutPage    = RANGEWICK_SOURCE_DIR "/editors/shotcut/rangewick/ui.qml";
const std::string kShotcutDriver  = RANGEWICK_SOURCE_DIR "/tests/editors/shotcut_ui_driver.qml";
const std::string kShotcutStandIn = RANGEWICK_SOURCE_DIR "/tests/editors/shotcut_stand_in";

// Margins are shares of the frame: tried on a 1920x1080 one.
constexpr int32_t kWidth = 1920, kHeight = 1080;

std::string readFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// ---- the module's parameters, as a host lists them --------------------------------------

struct ModuleParameter {
    std::string name;
    bool        isBool;
};

std::vector<ModuleParameter> moduleParameters()
{
    std::vector<ModuleParameter> list;
    void* so = dlopen(RANGEWICK_FREI0R_MODULE, RTLD_NOW | RTLD_LOCAL);
    if (so == nullptr)
        return list;
    auto pluginInfo = reinterpret_cast<void (*)(f0r_plugin_info_t*)>(dlsym(so, "f0r_get_plugin_info"));
    auto paramInfo  = reinterpret_cast<void (*)(f0r_param_info_t*, int)>(dlsym(so, "f0r_get_param_info"));
    if (pluginInfo != nullptr && paramInfo != nullptr) {
        f0r_plugin_info_t plugin{};
        pluginInfo(&plugin);
        for (int i = 0; i < plugin.num_params; ++i) {
            f0r_param_info_t p{};
            paramInfo(&p, i);
            list.push_back({p.name, p.type == F0R_PARAM_BOOL});
        }
    }
    return list;   // the module stays loaded: the names point into it
}

int moduleIndex(const std::string& name)
{
    static const std::vector<ModuleParameter> parameters = moduleParameters();
    for (std::size_t i = 0; i < parameters.size(); ++i)
        if (parameters[i].name == name)
            return static_cast<int>(i);
    return -1;
}

// ---- the tool's setting for a value in the editor's unit ---------------------------------

// What a parameter is to the tool: the option table's setting of that name, whose kind
// says how the editor's number becomes the option's (margins are pixels to the tool,
// shares of the frame to the editors).
using ToolOption = options::OptionInfo;
using options::Kind;

const ToolOption* toolOption(const std::string& parameter)
{
    for (const ToolOption& t : options::kOptions)
        if (parameter == t.name)
            return &t;
    return nullptr;
}

int sideOf(const ToolOption& t)
{
    return static_cast<int>(&t - options::kOptions) - options::kMarginTop;
}

// A number held as a whole count of 10^-decimals, written with those decimals.
std::string decimalText(long long units, int decimals)
{
    long long scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    std::string text = std::to_string(units / scale);
    if (decimals > 0) {
        std::string fraction = std::to_string(units % scale);
        text += "." + std::string(static_cast<std::size_t>(decimals) - fraction.size(), '0') + fraction;
    }
    return text;
}

// The tool's options for the editor's value `units` x 10^-decimals.
std::vector<std::string> toolArguments(const ToolOption& t, long long units, int decimals)
{
    switch (t.kind) {
    case Kind::ClipShare:
    case Kind::Level:
        return {t.flag, decimalText(units, decimals)};
    case Kind::Seconds:
        return {t.flag, decimalText(units, decimals), "--rate", "25"};
    case Kind::Fraction:
        return {t.flag, decimalText(units, decimals + 2)};
    case Kind::Switch:
        return units != 0 ? std::vector<std::string>{t.flag} : std::vector<std::string>{};
    case Kind::Margin: {
        // That share of the frame's height or width, in whole pixels, halves up.
        const int tSide = sideOf(t);
        const long long across = tSide == extras::kTop || tSide == extras::kBottom ? kHeight : kWidth;
        long long whole = 100;
        for (int i = 0; i < decimals; ++i)
            whole *= 10;
        std::string margins;
        for (int side = 0; side < 4; ++side)
            margins += (side ? "," : "") + std::to_string(side == tSide ? (2 * units * across + whole) / (2 * whole) : 0);
        return {t.flag, margins};
    }
    }
    return {};
}

// The setting a parameter stands for, in the tool's options (null: the module's).
double setting(const ToolOption& t, const cli::Options* tool, const extras::Instance* module)
{
    const int index = moduleIndex(t.name);
    if (index >= 0 && index < settings::kStoredCount)
        return tool ? tool->stored[index] : module->record.*settings::kStored[index].field;
    const std::string name = t.name;
    if (name == "preview clipped")
        return tool ? tool->previewClipped : module->record.previewClipped != 0;
    if (name == "cuts")
        return tool ? tool->cuts : module->options.cuts != 0;
    if (name == "follow time")
        return tool ? tool->followTime : module->options.followTime;
    if (name == "strength")
        return tool ? tool->strength : module->options.strength;
    if (name == "independence")
        return tool ? tool->independence : module->options.independence;
    return tool ? tool->margins[sideOf(t)] : module->options.margins[sideOf(t)];
}

double toolSetting(const ToolOption& t, const std::vector<std::string>& arguments)
{
    std::vector<std::string> words = {"rangewick", "--size", std::to_string(kWidth) + "x" + std::to_string(kHeight)};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<const char*> argv;
    for (const std::string& w : words)
        argv.push_back(w.c_str());
    cli::Options options;
    const cli::ParseOutcome outcome = cli::parseOptions(static_cast<int>(argv.size()), argv.data(), options);
    EXPECT_EQ(outcome.action, cli::Action::Run) << outcome.message;
    return setting(t, &options, nullptr);
}

// A fresh instance given `value` for the parameter, as a host sets it.
extras::Instance moduleGiven(const ToolOption& t, double value)
{
    extras::Instance x;
    extras::setDefaults(x);
    frei0r::setParameter(x, moduleIndex(t.name), value, kWidth, kHeight);
    return x;
}

double moduleSetting(const ToolOption& t, double value)
{
    const extras::Instance x = moduleGiven(t, value);
    return setting(t, nullptr, &x);
}

// ---- Kdenlive's effect ---------------------------------------------------------------

struct KdenliveParameter {
    std::map<std::string, std::string> attributes;
    std::string attribute(const char* name) const
    {
        const auto it = attributes.find(name);
        return it == attributes.end() ? std::string() : it->second;
    }
    double number(const char* name, double otherwise) const
    {
        const std::string text = attribute(name);
        return text.empty() ? otherwise : std::strtod(text.c_str(), nullptr);
    }
    double factor() const { return number("factor", 1); }
    int decimals() const { return static_cast<int>(number("decimals", 0)); }
};

// The attributes of one tag: name="value" pairs, separated by spaces.
std::map<std::string, std::string> attributesOf(const std::string& tag)
{
    std::map<std::string, std::string> attributes;
    for (std::size_t at = tag.find("=\""); at != std::string::npos; at = tag.find("=\"", at)) {
        const std::size_t name = tag.rfind(' ', at) + 1, end = tag.find('"', at + 2);
        attributes[tag.substr(name, at - name)] = tag.substr(at + 2, end - at - 2);
        at = end + 1;
    }
    return attributes;
}

std::vector<KdenliveParameter> kdenliveParameters(const std::string& xml)
{
    std::vector<KdenliveParameter> list;
    for (std::size_t at = xml.find("<parameter "); at != std::string::npos; at = xml.find("<parameter ", at + 1))
        list.push_back({attributesOf(xml.substr(at, xml.find('>', at) - at))});
    return list;
}

std::string kdenliveWrites(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// What Kdenlive shows for a stored value, as a whole count of 10^-decimals.
long long kdenliveShows(const KdenliveParameter& p, const std::string& stored)
{
    const double shown = std::strtod(stored.c_str(), nullptr) * p.factor();
    if (p.decimals() == 0)
        return static_cast<long long>(std::trunc(shown));
    return std::llround(shown * std::pow(10.0, p.decimals()));
}

// Every value the editor offers, as whole counts of 10^-decimals.
std::vector<long long> everyValue(double min, double max, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    std::vector<long long> values;
    for (long long u = std::llround(min * scale); u <= std::llround(max * scale); ++u)
        values.push_back(u);
    return values;
}

TEST(KdenliveEffect, DescribesEachParameterOfTheModuleOnce)
{
    const std::string xml = readFile(kKdenliveEffect);
    ASSERT_FALSE(xml.empty()) << kKdenliveEffect;
    EXPECT_NE(xml.find(R"(<effect tag="frei0r.rangewick" id="frei0r.rangewick">)"), std::string::npos);
    const std::vector<ModuleParameter> module = moduleParameters();
    ASSERT_EQ(module.size(), static_cast<std::size_t>(frei0r::kParameterCount)) << "cannot load " RANGEWICK_FREI0R_MODULE;
    std::map<std::string, int> described;
    for (const KdenliveParameter& p : kdenliveParameters(xml)) {
        const int index = moduleIndex(p.attribute("name"));
        ASSERT_GE(index, 0) << "no module parameter \"" << p.attribute("name") << "\"";
        const ToolOption* t = toolOption(p.attribute("name"));
        ASSERT_NE(t, nullptr) << p.attribute("name");
        ++described[p.attribute("name")];
        // The default the module gets is the option table's.
        EXPECT_NEAR(p.number("default", -1), t->kind == Kind::Margin ? 0 : t->initial / t->frei0rScale, 5e-7)
            << p.attribute("name");
        EXPECT_EQ(p.attribute("type") == "bool", module[static_cast<std::size_t>(index)].isBool) << p.attribute("name");
    }
    for (const ModuleParameter& m : module)
        EXPECT_EQ(described[m.name], 1) << "\"" << m.name << "\" described " << described[m.name] << " times";
}

TEST(KdenliveEffect, EveryValueReachesTheModuleAsTheToolsSettingAndShowsAgain)
{
    const std::vector<KdenliveParameter> parameters = kdenliveParameters(readFile(kKdenliveEffect));
    ASSERT_EQ(parameters.size(), static_cast<std::size_t>(frei0r::kParameterCount));
    for (const KdenliveParameter& p : parameters) {
        const ToolOption* t = toolOption(p.attribute("name"));
        ASSERT_NE(t, nullptr) << p.attribute("name");
        SCOPED_TRACE(t->name);
        const double toolDefault = toolSetting(*t, {});
        const std::string storedDefault = kdenliveWrites(p.number("default", NAN));
        EXPECT_EQ(moduleSetting(*t, std::strtod(storedDefault.c_str(), nullptr)), toolDefault)
            << "default " << p.attribute("default");
        if (t->kind == Kind::Switch) {
            for (long long on : {0, 1})
                EXPECT_EQ(moduleSetting(*t, static_cast<double>(on)), toolSetting(*t, toolArguments(*t, on, 0)));
            continue;
        }
        const int decimals = p.decimals();
        EXPECT_EQ(toolSetting(*t, toolArguments(*t, kdenliveShows(p, storedDefault), decimals)), toolDefault)
            << "the default shows as " << decimalText(kdenliveShows(p, storedDefault), decimals);
        int failures = 0;
        for (long long units : everyValue(p.number("min", NAN), p.number("max", NAN), decimals)) {
            const double typed = static_cast<double>(units) / std::pow(10.0, decimals);
            const std::string stored = kdenliveWrites(typed / p.factor());
            const double wanted = toolSetting(*t, toolArguments(*t, units, decimals));
            const extras::Instance x = moduleGiven(*t, std::strtod(stored.c_str(), nullptr));
            const double readBack = frei0r::parameterValue(x, moduleIndex(t->name), kWidth, kHeight);
            const long long shown = kdenliveShows(p, kdenliveWrites(readBack));
            const bool reaches = setting(*t, nullptr, &x) == wanted;
            const bool showsAgain = toolSetting(*t, toolArguments(*t, shown, decimals)) == wanted;
            if ((!reaches || !showsAgain) && ++failures <= 5)
                ADD_FAILURE() << decimalText(units, decimals) << " is stored as " << stored << ": the module's setting "
                              << setting(*t, nullptr, &x) << ", the tool's " << wanted << "; read back as " << readBack
                              << ", shown as " << decimalText(shown, decimals);
        }
        EXPECT_EQ(failures, 0);
    }
}

// ---- Shotcut's page ----------------------------------------------------------------

bool haveProgram(const char* name)
{
    return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, separator);)
        parts.push_back(part);
    return parts;
}

TEST(ShotcutPage, KdenlivesRangesEveryValueReachesTheModuleAsTheToolsSettingAndShowsAgain)
{
    if (!haveProgram("qmltestrunner"))
        GTEST_SKIP() << "qmltestrunner is not installed (scripts/deps test installs it)";
    const std::vector<KdenliveParameter> kdenlive = kdenliveParameters(readFile(kKdenliveEffect));
    ASSERT_EQ(kdenlive.size(), static_cast<std::size_t>(frei0r::kParameterCount));

    // The values to try: Kdenlive's ranges, and the module's values for each.
    const fs::path dir = fs::path(RANGEWICK_TEST_FILES) / "editor_shotcut_page";
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::copy_file(kShotcutDriver, dir / "driver.qml");
    std::map<std::string, std::vector<long long>> tried;
    std::ostringstream values, readBacks;
    for (const KdenliveParameter& p : kdenlive) {
        const ToolOption* t = toolOption(p.attribute("name"));
        ASSERT_NE(t, nullptr);
        if (t->kind == Kind::Switch)
            continue;
        std::vector<long long>& units = tried[t->name];
        units = everyValue(p.number("min", NAN), p.number("max", NAN), p.decimals());
        values << "\"" << t->name << "\": [";
        readBacks << "\"" << t->name << "\": [";
        for (long long u : units) {
            const double typed = static_cast<double>(u) / std::pow(10.0, p.decimals());
            const extras::Instance x =
                moduleGiven(*t, std::strtod(kdenliveWrites(typed / p.factor()).c_str(), nullptr));
            char number[40];
            std::snprintf(number, sizeof number, "%.17g", frei0r::parameterValue(x, moduleIndex(t->name), kWidth, kHeight));
            values << decimalText(u, p.decimals()) << ",";
            readBacks << number << ",";
        }
        values << "], ";
        readBacks << "], ";
    }
    std::ofstream(dir / "cases.js") << ".pragma library\nvar ui = \"file://" << kShotcutPage << "\";\nvar values = {"
                                    << values.str() << "};\nvar readback = {" << readBacks.str() << "};\n";

    const std::string command = "cd '" + dir.string() + "' && QT_QPA_PLATFORM=offscreen timeout -k 5 300 qmltestrunner"
                              + " -input driver.qml -import '" + kShotcutStandIn + "' >run.log 2>&1";
    const int status = std::system(command.c_str());
    const std::string log = readFile((dir / "run.log").string());
    ASSERT_EQ(status, 0) << log;

    std::map<std::string, std::string> defaults, sets, shows, checkBoxes, sliders;
    for (const std::string& line : split(log, '\n')) {
        const std::size_t at = line.find("qml: ");
        if (at == std::string::npos)
            continue;
        const std::vector<std::string> f = split(line.substr(at + 5), '|');
        if (f.size() < 3)
            continue;
        std::map<std::string, std::string>* kind = f[0] == "default" ? &defaults : f[0] == "set" ? &sets
                                                 : f[0] == "shown"   ? &shows    : f[0] == "checkbox" ? &checkBoxes
                                                 : f[0] == "slider"  ? &sliders  : nullptr;
        if (kind != nullptr)
            (*kind)[f[1]] = line.substr(at + 5 + f[0].size() + f[1].size() + 2);
    }

    for (const KdenliveParameter& p : kdenlive) {
        const ToolOption& t = *toolOption(p.attribute("name"));
        SCOPED_TRACE(t.name);
        ASSERT_EQ(defaults.count(t.name), 1u) << "a new filter does not set it:\n" << log;
        // The value live in the editor, and as a project file may hold it.
        const double newFilter = std::strtod(defaults[t.name].c_str(), nullptr);
        EXPECT_EQ(moduleSetting(t, newFilter), toolSetting(t, {})) << "new filter: " << newFilter;
        EXPECT_EQ(moduleSetting(t, std::strtod(kdenliveWrites(newFilter).c_str(), nullptr)), toolSetting(t, {}));
        if (t.kind == Kind::Switch) {
            const std::vector<std::string> states = split(checkBoxes[t.name], ',');
            ASSERT_EQ(states.size(), 2u) << "no check box:\n" << log;
            for (long long on : {0, 1})
                EXPECT_EQ(moduleSetting(t, std::strtod(states[static_cast<std::size_t>(on)].c_str(), nullptr)),
                          toolSetting(t, toolArguments(t, on, 0)));
            continue;
        }
        const int decimals = p.decimals();
        EXPECT_EQ(sliders[t.name], p.attribute("min") + "|" + p.attribute("max") + "|" + std::to_string(decimals))
            << "Shotcut's range and decimals differ from Kdenlive's";
        const std::vector<long long>& units = tried[t.name];
        const std::vector<std::string> written = split(sets[t.name], ',');
        const std::vector<std::string> shown = split(shows[t.name], ',');
        ASSERT_EQ(written.size(), units.size()) << log;
        ASSERT_EQ(shown.size(), units.size()) << log;
        int failures = 0;
        for (std::size_t i = 0; i < units.size(); ++i) {
            const double wanted = toolSetting(t, toolArguments(t, units[i], decimals));
            const double live = std::strtod(written[i].c_str(), nullptr);
            const double saved = std::strtod(kdenliveWrites(live).c_str(), nullptr);
            const long long showsAs = std::llround(std::strtod(shown[i].c_str(), nullptr) * std::pow(10.0, decimals));
            if ((moduleSetting(t, live) != wanted || moduleSetting(t, saved) != wanted
                 || toolSetting(t, toolArguments(t, showsAs, decimals)) != wanted)
                && ++failures <= 5)
                ADD_FAILURE() << decimalText(units[i], decimals) << " is set as " << written[i] << ": the module's setting "
                              << moduleSetting(t, live) << " (" << moduleSetting(t, saved) << " as saved), the tool's "
                              << wanted << "; the module's value shows as " << shown[i];
        }
        EXPECT_EQ(failures, 0);
    }
}

} // namespace
