// The filters' procedures called directly, against a fake host: the script command, the
// script line and the description. (Registration, start, end and frames are driven
// through the built module by the stand-in host under Wine.)

#include "extended_filter_procs.h"
#include "filter_procs.h"
#include "levels_instance.h"
#include "settings.h"

#include "comma_locale.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// One instance as the host holds it: a zeroed block behind an activation.
struct FakeHost {
    LevelsInstance   inst;
    FilterActivation fa;
    FilterFunctions  ff;

    FakeHost()
    {
        std::memset(&inst, 0, sizeof inst);
        std::memset(&fa, 0, sizeof fa);
        std::memset(&ff, 0, sizeof ff);
        fa.filter_data = &inst;
        EXPECT_EQ(rangewick::initProc(&fa, &ff), 0);
    }

    void config(std::vector<CScriptValue> argv)
    {
        rangewick::scriptConfig(nullptr, &fa, argv.data(), static_cast<int>(argv.size()));
    }

    std::string scriptLine()
    {
        char buf[kHostScriptLineBufferSize];
        EXPECT_TRUE(rangewick::fssProc(&fa, &ff, buf, sizeof buf));
        return buf;
    }

    std::string description()
    {
        char buf[kHostDescriptionBufferSize];
        std::memset(buf, 0x5A, sizeof buf);
        rangewick::stringProc(&fa, &ff, buf);
        return buf;
    }

    void setStored(int32_t h, int32_t s, int32_t hmin, int32_t smax)
    {
        inst.highlightClip = h;
        inst.shadowClip = s;
        inst.highlightsMin = hmin;
        inst.shadowsMax = smax;
    }
};

// A script argument as the interpreter builds it: the tag says int or long, the
// object pointer is garbage.
CScriptValue intArg(int v)
{
    CScriptValue a;
    std::memset(&a, 0xEE, sizeof a);
    a.type = CScriptValue::T_INT;
    a.u.i = v;
    return a;
}

CScriptValue longArg(int64_t v)
{
    CScriptValue a;
    std::memset(&a, 0xEE, sizeof a);
    a.type = CScriptValue::T_LONG;
    a.u.l = v;
    return a;
}

std::vector<int32_t> stored(const LevelsInstance& inst)
{
    return {inst.highlightClip, inst.shadowClip, inst.highlightsMin, inst.shadowsMax};
}

// ---- the script command ----------------------------------------------------------

// The clamping itself is the settings' own; here, that the command reads four ints
// whatever the tag, touches only the stored four and the clipped preview, and leaves a
// short call alone.
TEST(ConfigCommand, ReadsTheIntWhateverTheTagAndLeavesThePointsAlone)
{
    FakeHost host;
    host.inst.previewClipped = 1;
    host.inst.tracking = 0;
    host.inst.blackPoint = 17;
    host.inst.whitePoint = 201;
    for (int i = 0; i < 256; ++i)
        host.inst.levelTable[i] = 255 - i;
    const LevelsInstance before = host.inst;

    // Hosts that pass "long" values: the int is the low half of the union.
    host.config({longArg(250), longArg(-5), longArg(64), longArg(int64_t{1} << 40 | 300)});
    LevelsInstance want = before;
    want.highlightClip = 250;
    want.shadowClip = 0;
    want.highlightsMin = 64;
    want.shadowsMax = 255;
    want.previewClipped = 0;
    EXPECT_EQ(std::memcmp(&host.inst, &want, sizeof want), 0);

    CScriptValue odd = intArg(77);
    odd.type = CScriptValue::T_VOID;
    host.config({odd, odd, odd, odd});
    EXPECT_EQ(stored(host.inst), (std::vector<int32_t>{77, 77, 77, 77}));

    host.inst.previewClipped = 1;
    host.config({intArg(1), intArg(2), intArg(3)});
    rangewick::scriptConfig(nullptr, &host.fa, nullptr, 4);
    EXPECT_EQ(stored(host.inst), (std::vector<int32_t>{77, 77, 77, 77}));
    EXPECT_EQ(host.inst.previewClipped, 1);
}

// ---- script line and description --------------------------------------------------

struct Example {
    int32_t h, s, hmin, smax;
    const char* line;
    const char* description;
};

const Example kExamples[] = {
    {1, 100, 64, 192, "Config(1, 100, 64, 192)", " (0.01 highlight, 1.00 shadow)"},
    {250, 0, 0, 255, "Config(250, 0, 0, 255)", " (2.50 highlight, 0.00 shadow)"},
    {10000, 10000, 255, 255, "Config(10000, 10000, 255, 255)", " (100.00 highlight, 100.00 shadow)"},
};

TEST(SettingsText, ExamplesGiveTheirScriptLineAndDescription)
{
    for (const Example& e : kExamples) {
        FakeHost host;
        host.setStored(e.h, e.s, e.hmin, e.smax);
        EXPECT_EQ(host.scriptLine(), e.line);
        EXPECT_EQ(host.description(), e.description);
    }
    FakeHost fresh;     // initProc's defaults are the first example
    EXPECT_EQ(fresh.scriptLine(), kExamples[0].line);
}

TEST(SettingsText, ScriptLineLoadsBackToTheSameSettings)
{
    std::mt19937 rng(7);
    std::uniform_int_distribution<int32_t> share(0, settings::kShareMax), level(0, settings::kLevelMax);
    for (int round = 0; round < 200; ++round) {
        FakeHost writer;
        writer.setStored(share(rng), share(rng), level(rng), level(rng));
        if (round == 0)
            writer.setStored(0, 10000, 0, 255);
        const std::string line = writer.scriptLine();

        int32_t values[settings::kStoredCount];
        ASSERT_TRUE(settings::parseScriptLine(line.c_str(), values)) << line;
        FakeHost reader;
        reader.config({intArg(values[0]), intArg(values[1]), intArg(values[2]), intArg(values[3])});
        ASSERT_EQ(stored(reader.inst), stored(writer.inst)) << line;
        EXPECT_EQ(reader.scriptLine(), line);
    }
}

TEST(SettingsText, DescriptionKeepsThePointInACommaLocale)
{
    CommaLocale locale;
    ASSERT_NE(locale.name(), nullptr) << CommaLocale::kMissing;
    FakeHost host;
    host.setStored(250, 1, 64, 192);
    const std::string text = host.description();
    locale.restore();
    EXPECT_EQ(text, " (2.50 highlight, 0.01 shadow)") << "in locale " << locale.name();
}

// The host's buffer is 4096 bytes, but nothing past the given length may change, and a
// line that does not fit is refused rather than cut off.
TEST(ScriptLineProcedure, NeverWritesPastTheLengthAndRefusesALineThatDoesNotFit)
{
    FakeHost host;
    host.setStored(10000, 10000, 255, 255);
    const std::string full = "Config(10000, 10000, 255, 255)";
    ASSERT_EQ(full.size(), 30u);

    const char kUntouched = 0x5A;
    std::vector<int> lengths{INT_MIN, -1};
    for (int len = 0; len <= static_cast<int>(full.size()) + 1; ++len)
        lengths.push_back(len);
    for (int len : lengths) {
        std::vector<char> buf(64, kUntouched);
        const bool ok = rangewick::fssProc(&host.fa, &host.ff, buf.data(), len);
        EXPECT_EQ(ok, len > static_cast<int>(full.size())) << "len " << len;
        if (ok) {
            EXPECT_EQ(std::string(buf.data()), full) << "len " << len;
        } else if (len >= 1) {
            EXPECT_EQ(buf[0], '\0') << "len " << len;
        }
        const std::size_t firstUntouched = ok ? full.size() + 1 : (len >= 1 ? 1 : 0);
        for (std::size_t i = firstUntouched; i < buf.size(); ++i)
            ASSERT_EQ(buf[i], kUntouched) << "len " << len << ": byte " << i << " written";
    }
}

// ---- the preview interface's slot order --------------------------------------------

class RecordingPreview : public IFilterPreview {
public:
    std::string calls;
    HWND lastWindow = nullptr;

    void VDX_THISCALL SetButtonCallback(FilterPreviewButtonCallback, void*) override { calls += "SetButtonCallback "; }
    void VDX_THISCALL SetSampleCallback(FilterPreviewSampleCallback, void*) override { calls += "SetSampleCallback "; }
    bool VDX_THISCALL isPreviewEnabled() override { calls += "isPreviewEnabled "; return true; }
    void VDX_THISCALL Toggle(HWND w) override { calls += "Toggle "; lastWindow = w; }
    void VDX_THISCALL Display(HWND, bool) override { calls += "Display "; }
    void VDX_THISCALL RedoFrame() override { calls += "RedoFrame "; }
    void VDX_THISCALL RedoSystem() override { calls += "RedoSystem "; }
    void VDX_THISCALL UndoSystem() override { calls += "UndoSystem "; }
    void VDX_THISCALL InitButton(HWND w) override { calls += "InitButton "; lastWindow = w; }
    void VDX_THISCALL Close() override { calls += "Close "; }
    bool VDX_THISCALL SampleCurrentFrame() override { calls += "SampleCurrentFrame "; return false; }
    int32_t VDX_THISCALL SampleFrames() override { calls += "SampleFrames "; return 0; }
};

// The host calls slot N of the object's table with the object as the hidden first
// argument; calling the same way reaches the method the host means.
TEST(PreviewInterface, MethodsSitInTheHostsSlots)
{
    // The host's call spelled out on its own, not through our header's macro: on x86 a
    // thiscall pointer to a free function, which g++ honours and only notes, under
    // -Wpedantic, as unusual.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattributes"
#if defined(__i386__)
    typedef void (__attribute__((thiscall)) *WindowMethod)(IFilterPreview*, HWND);
    typedef void (__attribute__((thiscall)) *PlainMethod)(IFilterPreview*);
#else
    typedef void (*WindowMethod)(IFilterPreview*, HWND);
    typedef void (*PlainMethod)(IFilterPreview*);
#endif
#pragma GCC diagnostic pop

    RecordingPreview preview;
    // Through a volatile so that the compiler cannot see which methods the slots hold
    // and call them directly: the host's call must really go through the table.
    IFilterPreview* volatile opaque = &preview;
    IFilterPreview* ifp = opaque;
    void* const* vtable = *reinterpret_cast<void* const* const*>(ifp);
    HWND window = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x1234));

    reinterpret_cast<WindowMethod>(vtable[kPreviewSlotToggle])(ifp, window);
    EXPECT_EQ(preview.lastWindow, window);
    reinterpret_cast<PlainMethod>(vtable[kPreviewSlotRedoFrame])(ifp);
    reinterpret_cast<WindowMethod>(vtable[kPreviewSlotInitButton])(ifp, nullptr);
    EXPECT_EQ(preview.lastWindow, nullptr);
    EXPECT_EQ(preview.calls, "Toggle RedoFrame InitButton ");
}

// ---- rangewick extended: its script command, line and description ---------------------

namespace ext = rangewick::extended_filter;

struct ExtendedHost {
    extras::Instance x;
    FilterActivation   fa;
    FilterFunctions    ff;

    ExtendedHost()
    {
        std::memset(&x, 0, sizeof x);
        std::memset(&fa, 0, sizeof fa);
        std::memset(&ff, 0, sizeof ff);
        fa.filter_data = &x;
        EXPECT_EQ(ext::initProc(&fa, &ff), 0);
    }

    void config(const std::vector<int32_t>& values)
    {
        std::vector<CScriptValue> argv;
        for (int32_t v : values)
            argv.push_back(intArg(v));
        ext::scriptConfig(nullptr, &fa, argv.data(), static_cast<int>(argv.size()));
    }

    std::string scriptLine()
    {
        char buf[kHostScriptLineBufferSize];
        EXPECT_TRUE(ext::fssProc(&fa, &ff, buf, sizeof buf));
        return buf;
    }

    std::string description()
    {
        char buf[kHostDescriptionBufferSize];
        ext::stringProc(&fa, &ff, buf);
        return buf;
    }
};

TEST(ExtendedScript, LoadingClampsEachValueToItsRangeAndLeavesThePointsAlone)
{
    ExtendedHost host;
    host.x.record.previewClipped = 1;
    host.x.running.black = 12345;
    const extras::Running running = host.x.running;
    host.config({-5, 20000, 300, -1, 7, 200000, -3, 150, -1, INT32_MAX, 0, 5});
    EXPECT_EQ(host.scriptLine(), "Config(0, 10000, 255, 0, 1, 100000, 0, 100, 0, 2147483647, 0, 5)");
    EXPECT_EQ(host.x.record.previewClipped, 0);
    EXPECT_EQ(std::memcmp(&host.x.running, &running, sizeof running), 0);
    EXPECT_EQ(host.x.options.followTime, 100);
    EXPECT_EQ(host.x.options.independence, 1);

    // A call with fewer values than the line is not ours to read.
    host.config({1, 100, 64, 192});
    EXPECT_EQ(host.scriptLine(), "Config(0, 10000, 255, 0, 1, 100000, 0, 100, 0, 2147483647, 0, 5)");
}

TEST(ExtendedScript, ScriptLineLoadsBackToTheSameSettings)
{
    std::mt19937 rng(19);
    for (int round = 0; round < 200; ++round) {
        ExtendedHost writer;
        std::vector<int32_t> values;
        for (int i = 0; i < settings::kStoredCount; ++i)
            values.push_back(static_cast<int32_t>(rng() % (settings::kStored[i].max + 1u)));
        for (const filter_extras::ExtraInfo& info : filter_extras::kExtras)
            values.push_back(static_cast<int32_t>(rng() % (static_cast<uint32_t>(info.max) + 1u)));
        writer.config(values);
        const std::string line = writer.scriptLine();

        int32_t read[filter_extras::kLineCount];
        ASSERT_TRUE(settings::parseScriptCall(line.c_str(), read, filter_extras::kLineCount)) << line;
        ASSERT_EQ(std::vector<int32_t>(read, read + filter_extras::kLineCount), values) << line;
        ExtendedHost reader;
        reader.config(values);
        EXPECT_EQ(std::memcmp(&reader.x.options, &writer.x.options, sizeof reader.x.options), 0) << line;
    }
}

TEST(ExtendedScript, DescriptionNamesTheExtrasThatAreOn)
{
    const std::pair<std::vector<int32_t>, const char*> examples[] = {
        {{1, 100, 64, 192, 0, 0, 100, 0, 0, 0, 0, 0}, " (0.01 highlight, 1.00 shadow)"},
        {{1, 100, 64, 192, 1, 0, 100, 0, 60, 0, 60, 0}, " (0.01 highlight, 1.00 shadow, cuts, margins 60/0/60/0)"},
        {{250, 0, 0, 255, 0, 1500, 50, 100, 0, 0, 8, 0},
         " (2.50 highlight, 0.00 shadow, follow time 1.5 s, strength 50%, independence 100%, margins 0/0/8/0)"},
        {{10000, 10000, 255, 255, 1, 100000, 0, 100, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX},
         " (100.00 highlight, 100.00 shadow, cuts, follow time 100 s, strength 0%, independence 100%, "
         "margins 2147483647/2147483647/2147483647/2147483647)"},
    };
    CommaLocale locale;     // the host may have set the user's; the text keeps its point
    ASSERT_NE(locale.name(), nullptr) << CommaLocale::kMissing;
    for (const auto& [values, text] : examples) {
        ExtendedHost host;
        host.config(values);
        EXPECT_EQ(host.description(), text);
    }
}

} // namespace
