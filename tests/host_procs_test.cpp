// The filter's procedures called the way the host calls them, against a fake host:
// the script command, the script line, the description, and the small procedures.

#include "filter_procs.h"
#include "frame_helpers.h"
#include "settings.h"

#include <gtest/gtest.h>

#include <clocale>
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

TEST(ConfigCommand, ClampsEachValueToItsOwnRange)
{
    FakeHost host;
    host.config({intArg(-5), intArg(20000), intArg(300), intArg(-1)});
    EXPECT_EQ(stored(host.inst), (std::vector<int32_t>{0, 10000, 255, 0}));

    host.config({intArg(INT_MAX), intArg(INT_MIN), intArg(INT_MIN), intArg(INT_MAX)});
    EXPECT_EQ(stored(host.inst), (std::vector<int32_t>{10000, 0, 0, 255}));

    host.config({intArg(10000), intArg(0), intArg(255), intArg(0)});
    EXPECT_EQ(stored(host.inst), (std::vector<int32_t>{10000, 0, 255, 0}));

    host.config({intArg(123), intArg(4567), intArg(89), intArg(201)});
    EXPECT_EQ(stored(host.inst), (std::vector<int32_t>{123, 4567, 89, 201}));
}

TEST(ConfigCommand, TurnsTheClippedPreviewOffAndLeavesThePointsAlone)
{
    FakeHost host;
    host.inst.previewClipped = 1;
    host.inst.tracking = 0;
    host.inst.blackPoint = 17;
    host.inst.whitePoint = 201;
    for (int i = 0; i < 256; ++i)
        host.inst.levelTable[i] = 255 - i;
    const LevelsInstance before = host.inst;

    host.config({intArg(250), intArg(0), intArg(0), intArg(255)});

    EXPECT_EQ(host.inst.previewClipped, 0);
    EXPECT_EQ(host.inst.tracking, 0);
    EXPECT_EQ(host.inst.blackPoint, 17);
    EXPECT_EQ(host.inst.whitePoint, 201);
    EXPECT_EQ(std::memcmp(host.inst.levelTable, before.levelTable, sizeof before.levelTable), 0);
    EXPECT_EQ(host.inst.preview, before.preview);
}

TEST(ConfigCommand, ReadsTheIntWhateverTheTypeTagSays)
{
    FakeHost host;
    // Hosts that pass "long" values: the int is the low half of the union.
    host.config({longArg(250), longArg(-5), longArg(64), longArg(int64_t{1} << 40 | 200)});
    EXPECT_EQ(stored(host.inst), (std::vector<int32_t>{250, 0, 64, 200}));

    CScriptValue odd = intArg(77);
    odd.type = CScriptValue::T_VOID;
    host.config({odd, odd, odd, odd});
    EXPECT_EQ(stored(host.inst), (std::vector<int32_t>{77, 77, 77, 77}));
}

TEST(ConfigCommand, IgnoresACallWithTooFewArguments)
{
    FakeHost host;
    host.setStored(5, 6, 7, 8);
    host.inst.previewClipped = 1;
    host.config({intArg(1), intArg(2), intArg(3)});
    rangewick::scriptConfig(nullptr, &host.fa, nullptr, 4);
    EXPECT_EQ(stored(host.inst), (std::vector<int32_t>{5, 6, 7, 8}));
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
    const char* const names[] = {"de_DE.UTF-8", "de_DE.utf8", "German_Germany.1252", "German", "deu"};
    const char* took = nullptr;
    for (const char* name : names)
        if ((took = std::setlocale(LC_ALL, name)) != nullptr)
            break;
    ASSERT_NE(took, nullptr) << "no locale with a decimal comma is installed (scripts/deps test makes one)";
    ASSERT_STREQ(std::localeconv()->decimal_point, ",") << "locale " << took;

    FakeHost host;
    host.setStored(250, 1, 64, 192);
    const std::string text = host.description();
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(text, " (2.50 highlight, 0.01 shadow)") << "in locale " << took;
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
    for (int len = 0; len <= static_cast<int>(full.size()) + 1; ++len) {
        std::vector<char> buf(64, kUntouched);
        const bool ok = rangewick::fssProc(&host.fa, &host.ff, buf.data(), len);
        if (len > static_cast<int>(full.size())) {
            EXPECT_TRUE(ok) << "len " << len;
            EXPECT_EQ(std::string(buf.data()), full) << "len " << len;
        } else {
            EXPECT_FALSE(ok) << "len " << len;
            if (len >= 1) {
                EXPECT_EQ(buf[0], '\0') << "len " << len;
            }
        }
        const std::size_t firstUntouched = ok ? full.size() + 1 : (len >= 1 ? 1 : 0);
        for (std::size_t i = firstUntouched; i < buf.size(); ++i)
            ASSERT_EQ(buf[i], kUntouched) << "len " << len << ": byte " << i << " written";
    }

    for (int len : {-1, INT_MIN}) {
        char buf[8];
        std::memset(buf, kUntouched, sizeof buf);
        EXPECT_FALSE(rangewick::fssProc(&host.fa, &host.ff, buf, len));
        for (char c : buf)
            ASSERT_EQ(c, kUntouched) << "len " << len;
    }
}

// ---- initialisation, parameters, start, end, frames -------------------------------

TEST(FilterProcedures, InitSetsTheDefaultsOnAFreshBlock)
{
    LevelsInstance inst;
    std::memset(&inst, 0, sizeof inst);
    FilterActivation fa{};
    fa.filter_data = &inst;
    inst.highlightClip = 999;
    inst.levelTable[3] = 9;
    EXPECT_EQ(rangewick::initProc(&fa, nullptr), 0);
    EXPECT_EQ(stored(inst), (std::vector<int32_t>{1, 100, 64, 192}));
    EXPECT_EQ(inst.tracking, 1);
    EXPECT_EQ(inst.blackPoint, 0);
    EXPECT_EQ(inst.whitePoint, 255);
    EXPECT_EQ(inst.previewClipped, 0);
    EXPECT_EQ(inst.levelTable[3], 0);
    EXPECT_EQ(inst.preview, nullptr);
    EXPECT_EQ(rangewick::kInstanceSize, static_cast<int>(sizeof(LevelsInstance)));
}

TEST(FilterProcedures, ParamStartAndEndChangeNothing)
{
    FakeHost host;
    host.inst.tracking = 0;
    host.inst.blackPoint = 30;
    host.inst.levelTable[100] = 42;
    VFBitmap src{}, dst{};
    src.w = dst.w = 10;
    src.h = dst.h = 4;
    src.pitch = dst.pitch = 48;
    src.modulo = dst.modulo = 8;
    host.fa.src = &src;
    host.fa.dst = &dst;
    const LevelsInstance instBefore = host.inst;
    const FilterActivation faBefore = host.fa;
    const VFBitmap srcBefore = src, dstBefore = dst;

    EXPECT_EQ(rangewick::paramProc(&host.fa, &host.ff), FILTERPARAM_SWAP_BUFFERS);
    EXPECT_EQ(rangewick::startProc(&host.fa, &host.ff), 0);
    EXPECT_EQ(rangewick::endProc(&host.fa, &host.ff), 0);

    EXPECT_EQ(std::memcmp(&host.inst, &instBefore, sizeof instBefore), 0);
    EXPECT_EQ(std::memcmp(&host.fa, &faBefore, sizeof faBefore), 0);
    EXPECT_EQ(std::memcmp(&src, &srcBefore, sizeof src), 0);
    EXPECT_EQ(std::memcmp(&dst, &dstBefore, sizeof dst), 0);
}

VFBitmap bitmapOf(TestFrame& f)
{
    VFBitmap bm;
    std::memset(&bm, 0, sizeof bm);
    bm.data = f.words.data();
    bm.depth = 32;
    bm.w = f.w;
    bm.h = f.h;
    bm.modulo = static_cast<std::ptrdiff_t>(f.padPixels) * 4;
    bm.pitch = static_cast<std::ptrdiff_t>(f.w) * 4 + bm.modulo;
    return bm;
}

TEST(FilterProcedures, RunLevelsEachFrameLikeTheEngine)
{
    FakeHost host;
    host.config({intArg(300), intArg(200), intArg(80), intArg(170)});
    LevelsInstance reference = host.inst;

    std::mt19937 rng(11);
    const int sizes[][2] = {{37, 9}, {16, 16}, {0, 5}, {5, 0}, {1, 1}, {37, 9}};
    for (const auto& size : sizes) {
        TestFrame src(size[0], size[1], 3), dst(size[0], size[1], 5);
        TestFrame refDst(size[0], size[1], 5);
        src.fillWith([&](int32_t, int32_t) { return static_cast<uint32_t>(rng()); });
        VFBitmap srcBm = bitmapOf(src), dstBm = bitmapOf(dst);
        host.fa.src = &srcBm;
        host.fa.dst = &dstBm;

        EXPECT_EQ(rangewick::runProc(&host.fa, &host.ff), 0);
        levelFrame(src.view(), refDst.view(), reference);

        EXPECT_EQ(dst.words, refDst.words) << size[0] << "x" << size[1];
        EXPECT_TRUE(dst.paddingUntouched());
        EXPECT_EQ(std::memcmp(&host.inst, &reference, sizeof reference), 0) << size[0] << "x" << size[1];
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

} // namespace
