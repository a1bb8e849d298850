// The real configuration dialog, opened through the built module's configProc the way
// the host opens it: a stand-in host with its own preview object (whose RedoFrame
// runs the module's run procedure on a current frame) drives the dialog with real
// window messages from a thread timer inside the modal loop.
//
// The module's calls of PlaySoundA, ShellExecuteA, GetModuleFileNameA and
// GetFullPathNameA are observed by patching its import table: the module calls what it
// imports, and the test sees the arguments. The runner's guards end a dialog or a
// process that hangs and report crashes.

#include "extras/extras.h"
#include "filter_extras.h"
#include "levels_instance.h"

#include "build_path.h"
#include "dialog_template_check.h"
#include "stand_in_host.h"
#include "wine_dialog_runner.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

struct SystemCalls {
    std::vector<std::string> sounds;        // "name|flags", or "...|with-module" when one is given
    std::vector<std::string> shell;         // "owner|verb|file|params|dir|show"
    std::vector<std::string> programPathCalls;   // "module|size"
    std::vector<unsigned> fullPathSizes;
};
SystemCalls calls;

decltype(&GetModuleFileNameA) realGetModuleFileNameA;
decltype(&GetFullPathNameA) realGetFullPathNameA;

BOOL WINAPI hookPlaySoundA(LPCSTR name, HMODULE module, DWORD flags)
{
    calls.sounds.push_back(std::string(name ? name : "(null)") + "|" + std::to_string(flags) +
                           (module ? "|with-module" : ""));
    return TRUE;
}

HINSTANCE WINAPI hookShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR params, LPCSTR dir, INT show)
{
    std::string line = std::string(owner == wine_dialog::run.dialog ? "dialog" : "other-owner") + "|" + (verb ? verb : "(null)") +
                       "|" + (file ? file : "(null)") + "|" + (params ? params : "(null)") + "|" +
                       (dir ? dir : "(null)") + "|" + std::to_string(show);
    calls.shell.push_back(line);
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42));
}

DWORD WINAPI hookGetModuleFileNameA(HMODULE module, LPSTR out, DWORD size)
{
    calls.programPathCalls.push_back(std::string(module ? "module" : "NULL") + "|" + std::to_string(size));
    return realGetModuleFileNameA(module, out, size);
}

DWORD WINAPI hookGetFullPathNameA(LPCSTR path, DWORD size, LPSTR out, LPSTR* filePart)
{
    calls.fullPathSizes.push_back(size);
    return realGetFullPathNameA(path, size, out, filePart);
}

// ---- the stand-in host ------------------------------------------------------------------

std::string modulePath()
{
    return buildPath(RANGEWICK_MODULE_PATH);
}

// The module loaded once for the whole program, registered, its imports patched.
struct Module : LoadedModule {
    Module() : LoadedModule(modulePath()) {}
    bool load()
    {
        if (!start())
            return false;
        realGetModuleFileNameA = reinterpret_cast<decltype(realGetModuleFileNameA)>(
            wine_dialog::patchImport(dll, "KERNEL32.dll", "GetModuleFileNameA", reinterpret_cast<void*>(hookGetModuleFileNameA)));
        realGetFullPathNameA = reinterpret_cast<decltype(realGetFullPathNameA)>(
            wine_dialog::patchImport(dll, "KERNEL32.dll", "GetFullPathNameA", reinterpret_cast<void*>(hookGetFullPathNameA)));
        const bool sound =
            wine_dialog::patchImport(dll, "WINMM.dll", "PlaySoundA", reinterpret_cast<void*>(hookPlaySoundA)) != nullptr;
        const bool shell = wine_dialog::patchImport(dll, "SHELL32.dll", "ShellExecuteA", reinterpret_cast<void*>(hookShellExecuteA)) != nullptr;
        return realGetModuleFileNameA && realGetFullPathNameA && sound && shell;
    }
    ~Module()
    {
        if (host.addCalls > 0)
            stop();
    }
};
FilterDefinition& hostCopy = host.copies[0];      // rangewick registers first
FilterDefinition& extendedCopy = host.copies[1];  // then rangewick extended

Module* module;     // loaded once for the whole program

// The host's preview object: records the calls and, like the host with its preview
// open, reruns the filter on the current frame inside RedoFrame.
class HostPreview final : public IFilterPreview {
public:
    std::function<void()> redo;
    int initButtons = 0, toggles = 0, redos = 0, redosWithTracking = 0;
    HWND initButton = nullptr, toggleOwner = nullptr;
    LevelsInstance* inst = nullptr;

    void VDX_THISCALL SetButtonCallback(FilterPreviewButtonCallback, void*) override { ++unexpected; }
    void VDX_THISCALL SetSampleCallback(FilterPreviewSampleCallback, void*) override { ++unexpected; }
    bool VDX_THISCALL isPreviewEnabled() override { return ++unexpected, true; }
    void VDX_THISCALL Toggle(HWND owner) override
    {
        ++toggles;
        toggleOwner = owner;
    }
    void VDX_THISCALL Display(HWND, bool) override { ++unexpected; }
    void VDX_THISCALL RedoFrame() override
    {
        ++redos;
        if (inst && inst->tracking != 0)
            ++redosWithTracking;
        if (redo)
            redo();
    }
    void VDX_THISCALL RedoSystem() override { ++unexpected; }
    void VDX_THISCALL UndoSystem() override { ++unexpected; }
    void VDX_THISCALL InitButton(HWND button) override
    {
        ++initButtons;
        initButton = button;
    }
    void VDX_THISCALL Close() override { ++unexpected; }
    bool VDX_THISCALL SampleCurrentFrame() override { return ++unexpected, false; }
    int32_t VDX_THISCALL SampleFrames() override { return ++unexpected, 0; }

    int unexpected = 0;
};

struct Frame {
    uint32_t src[8 * 4];
    uint32_t dst[8 * 4];
    VFBitmap srcBm{}, dstBm{};
};

// One instance of a filter, with the host's preview rerunning it on an 8 x 4 frame.
struct DialogTest : ::testing::Test {
    explicit DialogTest(FilterDefinition& filter = hostCopy) : def(filter) {}

    FilterDefinition& def;
    alignas(16) unsigned char block[sizeof(extras::Instance) + 64];   // either filter's
    LevelsInstance& inst = *reinterpret_cast<LevelsInstance*>(block);
    HostPreview preview;
    FilterActivation fa{};
    FilterStateInfo fsi{};
    Frame frame;

    void SetUp() override
    {
        ASSERT_NE(module, nullptr) << "cannot load " << modulePath();
        ASSERT_NE(def.configProc, nullptr) << "the definition registers no configuration procedure";
        calls = SystemCalls{};
        std::memset(block, 0, sizeof block);
        // The worked frame: red 20, green 40, blue 200 everywhere.
        for (uint32_t& p : frame.src)
            p = 0xFF000000u | (20u << 16) | (40u << 8) | 200u;
        for (auto* bm : {&frame.srcBm, &frame.dstBm}) {
            bm->w = 8;
            bm->h = 4;
            bm->depth = 32;
            bm->pitch = 32;
            bm->modulo = 0;
        }
        frame.srcBm.data = frame.src;
        frame.dstBm.data = frame.dst;
        fa.filter = &def;
        fa.filter_data = block;
        fa.src = &frame.srcBm;
        fa.dst = &frame.dstBm;
        fa.ifp = &preview;
        fsi.lMicrosecsPerFrame = 40000;
        fa.pfsi = &fsi;
        ASSERT_EQ(def.initProc(&fa, &module->ff), 0);
        preview.inst = &inst;
        preview.redo = [this] { def.runProc(&fa, &module->ff); };
    }

    // Opens the dialog through configProc and runs `steps` inside its modal loop; the
    // steps end the dialog. Returns what configProc returned.
    int configure(std::function<void(HWND)> steps)
    {
        const wine_dialog::Outcome outcome =
            wine_dialog::runModal([this] { return def.configProc(&fa, &module->ff, nullptr); }, std::move(steps));
        EXPECT_TRUE(outcome.stepsRan) << "the dialog never showed up";
        EXPECT_FALSE(outcome.overran) << "the dialog was still open after its steps and had to be ended";
        EXPECT_EQ(preview.unexpected, 0);
        return outcome.result;
    }
};

std::string text(HWND dlg, int id)
{
    char buf[64] = {};
    GetDlgItemTextA(dlg, id, buf, sizeof buf);
    return buf;
}

int sliderPos(HWND dlg, int id) { return static_cast<int>(SendDlgItemMessageA(dlg, id, TBM_GETPOS, 0, 0)); }

void dragSlider(HWND dlg, int id, int pos)
{
    HWND slider = GetDlgItem(dlg, id);
    SendMessageA(slider, TBM_SETPOS, TRUE, pos);
    SendMessageA(dlg, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, pos), reinterpret_cast<LPARAM>(slider));
}

void click(HWND dlg, int id) { SendMessageA(GetDlgItem(dlg, id), BM_CLICK, 0, 0); }

std::string hostDirectory()
{
    char exe[MAX_PATH] = {}, full[MAX_PATH] = {};
    char* part = nullptr;
    realGetModuleFileNameA(nullptr, exe, sizeof exe);
    GetFullPathNameA(exe, sizeof full, full, &part);
    return std::string(full, part ? static_cast<std::size_t>(part - full) : std::strlen(full));
}

// ---- the template -----------------------------------------------------------------------

BOOL CALLBACK countLanguage(HMODULE, LPCSTR, LPCSTR, WORD, LONG_PTR count)
{
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

TEST(DialogTemplate, ResourceHoldsTemplate101AsDesigned)
{
    ASSERT_NE(module, nullptr);
    HRSRC res = FindResourceExA(module->dll, MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(101), kExpectedLanguage);
    ASSERT_NE(res, nullptr) << "no dialog 101 in English (United States)";
    const auto* base = static_cast<const unsigned char*>(LockResource(LoadResource(module->dll, res)));
    ASSERT_NE(base, nullptr);
    template_check::expectTemplate101(base, SizeofResource(module->dll, res));
    // English (United States) is the template's only language.
    int languages = 0;
    EnumResourceLanguagesA(module->dll, MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(101), countLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    EXPECT_EQ(languages, 1);
}

// The dialog as the system built it and the dialog code left it: caption, every control's
// class, identifier, styles, place and size in dialog units, fixed texts, and tab order.
TEST_F(DialogTest, LiveDialogMatchesTheTemplate)
{
    EXPECT_EQ(configure([](HWND dlg) {
        char caption[64] = {};
        GetWindowTextA(dlg, caption, sizeof caption);
        EXPECT_STREQ(caption, kExpectedCaption);
        // The system adds its 3-D look to every dialog it creates.
        const DWORD dlgStyle = static_cast<DWORD>(GetWindowLongPtrA(dlg, GWL_STYLE));
        EXPECT_EQ(dlgStyle & ~DWORD(WS_VISIBLE | WS_CLIPSIBLINGS | DS_3DLOOK), kExpectedDialogStyle) << std::hex << dlgStyle;
        RECT client = {0, 0, kExpectedDialogRect[2], kExpectedDialogRect[3]};
        MapDialogRect(dlg, &client);
        RECT got;
        GetClientRect(dlg, &got);
        EXPECT_EQ(got.right, client.right);
        EXPECT_EQ(got.bottom, client.bottom);

        HWND child = GetWindow(dlg, GW_CHILD);
        std::vector<HWND> tabStops;
        for (const ExpectedControl& c : kExpectedControls) {
            SCOPED_TRACE("control " + std::to_string(c.id) + " \"" + c.text + "\"");
            ASSERT_NE(child, nullptr);
            EXPECT_EQ(static_cast<int32_t>(GetWindowLongPtrA(child, GWLP_ID)), c.id);
            char cls[64] = {};
            GetClassNameA(child, cls, sizeof cls);
            EXPECT_EQ(_stricmp(cls, c.className), 0) << cls;
            DWORD style = static_cast<DWORD>(GetWindowLongPtrA(child, GWL_STYLE));
            DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrA(child, GWL_EXSTYLE));
            // What the system does to a template's styles in a 3-D-look dialog: an edit's
            // border becomes a sunken client edge, a modal frame gets a window edge.
            if (c.atom == kEditAtom && (exStyle & WS_EX_CLIENTEDGE) && !(style & WS_BORDER)) {
                style |= WS_BORDER;
                exStyle &= ~DWORD(WS_EX_CLIENTEDGE);
            }
            if (exStyle & WS_EX_DLGMODALFRAME)
                exStyle &= ~DWORD(WS_EX_WINDOWEDGE);
            EXPECT_EQ(style, c.style) << std::hex << style;
            EXPECT_EQ(exStyle & ~DWORD(WS_EX_NOPARENTNOTIFY), c.exStyle) << std::hex << exStyle;
            // Position and size are converted from dialog units one by one.
            RECT want = {c.x, c.y, c.cx, c.cy};
            MapDialogRect(dlg, &want);
            RECT r;
            GetWindowRect(child, &r);
            MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&r), 2);
            EXPECT_EQ(r.left, want.left);
            EXPECT_EQ(r.top, want.top);
            EXPECT_EQ(r.right - r.left, want.right);
            EXPECT_EQ(r.bottom - r.top, want.bottom);
            if (c.id < 1002 || c.id > 1012) {   // texts the dialog does not fill in
                char t[64] = {};
                GetWindowTextA(child, t, sizeof t);
                EXPECT_STREQ(t, c.text);
            }
            if (style & WS_TABSTOP)
                tabStops.push_back(child);
            child = GetWindow(child, GW_HWNDNEXT);
        }
        EXPECT_EQ(child, nullptr) << "more controls than the template has";

        // Tab order is template order.
        ASSERT_FALSE(tabStops.empty());
        HWND at = tabStops.back();
        for (HWND want : tabStops) {
            at = GetNextDlgTabItem(dlg, at, FALSE);
            EXPECT_EQ(at, want);
        }
        click(dlg, IDCANCEL);
    }), 1);
}

// ---- behaviour --------------------------------------------------------------------------

TEST_F(DialogTest, OpeningShowsTheRecordAndShowsTheCurrentFrameLevelled)
{
    inst.highlightClip = 150;
    inst.previewClipped = 1;
    EXPECT_EQ(configure([this](HWND dlg) {
        EXPECT_EQ(text(dlg, 1004), "1.50");
        EXPECT_EQ(text(dlg, 1005), "1.00");
        EXPECT_EQ(text(dlg, 1011), "64");
        EXPECT_EQ(text(dlg, 1012), "192");
        EXPECT_EQ(sliderPos(dlg, 1002), 1);
        EXPECT_EQ(sliderPos(dlg, 1003), 1);
        EXPECT_EQ(sliderPos(dlg, 1007), 64);
        EXPECT_EQ(sliderPos(dlg, 1010), 192);
        for (auto [id, max] : {std::pair{1002, 100}, {1003, 100}, {1007, 255}, {1010, 255}}) {
            EXPECT_EQ(SendDlgItemMessageA(dlg, id, TBM_GETRANGEMIN, 0, 0), 0) << id;
            EXPECT_EQ(SendDlgItemMessageA(dlg, id, TBM_GETRANGEMAX, 0, 0), max) << id;
        }
        // Tick marks, both ends included: every 5 of 0..100 is 5..95 and the ends, 21;
        // every 15 of 0..255 is 15..240 and the ends, 18.
        EXPECT_EQ(SendDlgItemMessageA(dlg, 1002, TBM_GETNUMTICS, 0, 0), 21);
        EXPECT_EQ(SendDlgItemMessageA(dlg, 1007, TBM_GETNUMTICS, 0, 0), 18);
        EXPECT_EQ(IsDlgButtonChecked(dlg, 1006), BST_CHECKED);
        EXPECT_EQ(preview.initButtons, 1);
        EXPECT_EQ(preview.initButton, GetDlgItem(dlg, 10));
        // Two clip boxes filled in, each a refresh of two runs.
        EXPECT_EQ(preview.redos, 4);
        EXPECT_EQ(preview.redosWithTracking, 0);
        // The refreshes snapped the points to this frame, and the second run of each
        // showed the frame through its own table: clipped, as the record asks.
        EXPECT_EQ(inst.blackPoint, 20);
        EXPECT_EQ(inst.whitePoint, 200);
        EXPECT_EQ(frame.dst[0] & 0xFFFFFFu, (0u << 16) | (127u << 8) | 255u);
        click(dlg, 1006);
        EXPECT_EQ(frame.dst[0] & 0xFFFFFFu, (0u << 16) | (28u << 8) | 255u);
        click(dlg, 1006);
        click(dlg, IDOK);
    }), 0);
    EXPECT_EQ(inst.previewClipped, 1);
}

// What text is accepted is the native tests' business; here, that real typing and
// real scroll messages reach the record, typing through the edit box's own change
// notifications (nested ones when a refused text is put back), and that the asterisk
// is the system's sound.
TEST_F(DialogTest, TypingAndSlidersReachTheRecord)
{
    EXPECT_EQ(configure([this](HWND dlg) {
        preview.redos = 0;
        SetDlgItemTextA(dlg, 1004, "1.234");
        EXPECT_EQ(inst.highlightClip, 123);
        EXPECT_EQ(sliderPos(dlg, 1002), 1);
        EXPECT_EQ(text(dlg, 1004), "1.234");
        EXPECT_EQ(preview.redos, 2);
        EXPECT_TRUE(calls.sounds.empty());

        SetDlgItemTextA(dlg, 1005, "100.5");
        EXPECT_EQ(inst.shadowClip, 100);
        EXPECT_EQ(text(dlg, 1005), "1.00");
        EXPECT_EQ(preview.redos, 4);
        EXPECT_EQ(calls.sounds, std::vector<std::string>{"SystemAsterisk|" + std::to_string(SND_ASYNC)});

        dragSlider(dlg, 1003, 7);
        EXPECT_EQ(inst.shadowClip, 700);
        EXPECT_EQ(text(dlg, 1005), "7.00");
        EXPECT_EQ(preview.redos, 6);
        dragSlider(dlg, 1010, 255);
        EXPECT_EQ(inst.shadowsMax, 255);
        EXPECT_EQ(text(dlg, 1012), "255");
        EXPECT_EQ(preview.redos, 8);
        EXPECT_EQ(preview.redosWithTracking, 0);
        click(dlg, IDOK);
    }), 0);
    EXPECT_EQ(inst.highlightClip, 123);
    EXPECT_EQ(inst.shadowClip, 700);
    EXPECT_EQ(inst.shadowsMax, 255);
}

// The buttons reach the dialog through real clicks; what Defaults and the check box
// do in detail is the native tests' business.
TEST_F(DialogTest, ButtonsAndTheCheckBox)
{
    inst.highlightsMin = 10;
    EXPECT_EQ(configure([this](HWND dlg) {
        preview.redos = 0;
        click(dlg, 3);
        EXPECT_EQ(inst.highlightsMin, 64);
        EXPECT_EQ(text(dlg, 1011), "64");
        EXPECT_EQ(preview.redos, 2);
        click(dlg, 1006);
        EXPECT_EQ(inst.previewClipped, 1);
        EXPECT_EQ(preview.redos, 4);

        click(dlg, 10);
        EXPECT_EQ(preview.toggles, 1);
        EXPECT_EQ(preview.toggleOwner, dlg);
        EXPECT_EQ(preview.redos, 4);

        click(dlg, 9);
        ASSERT_EQ(calls.shell.size(), 1u);
        EXPECT_EQ(calls.shell[0], "dialog|open|" + hostDirectory() + "plugins\\rangewick.html|(null)|(null)|" +
                                      std::to_string(SW_SHOWNORMAL));
        ASSERT_EQ(calls.programPathCalls.size(), 1u);
        EXPECT_EQ(calls.programPathCalls[0], "NULL|255");
        EXPECT_EQ(calls.fullPathSizes, std::vector<unsigned>{255});
        EXPECT_TRUE(calls.sounds.empty());
        click(dlg, IDOK);
    }), 0);
    EXPECT_EQ(inst.previewClipped, 1);
}

TEST_F(DialogTest, CancelPutsTheRecordBackHoweverTheDialogIsLeft)
{
    inst.highlightClip = 250;
    inst.shadowsMax = 100;
    hostCopy.runProc(&fa, &module->ff);     // some running state of its own
    LevelsInstance before;
    std::memcpy(&before, &inst, sizeof before);

    const std::vector<std::pair<const char*, std::function<void(HWND)>>> ways = {
        {"Cancel button", [](HWND dlg) { click(dlg, IDCANCEL); }},
        {"Escape key", [](HWND dlg) {
             HWND box = GetDlgItem(dlg, 1004);
             SetFocus(box);
             PostMessageA(box, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
             PostMessageA(box, WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(0xC0010001u));
         }},
        {"close box", [](HWND dlg) { PostMessageA(dlg, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.first);
        std::memcpy(&inst, &before, sizeof before);
        EXPECT_EQ(configure([&](HWND dlg) {
            SetDlgItemTextA(dlg, 1004, "12.5");
            dragSlider(dlg, 1010, 7);
            click(dlg, 1006);
            EXPECT_EQ(inst.highlightClip, 1250);
            EXPECT_EQ(inst.shadowsMax, 7);
            way.second(dlg);
        }), 1);
        EXPECT_EQ(inst.preview, static_cast<void*>(&preview));
        inst.preview = before.preview;
        EXPECT_EQ(std::memcmp(&inst, &before, sizeof before), 0);
        EXPECT_EQ(inst.highlightClip, 250);
        EXPECT_EQ(inst.shadowsMax, 100);
        EXPECT_EQ(inst.previewClipped, 0);
    }
}

TEST_F(DialogTest, WorksWithoutAPreviewInterface)
{
    fa.ifp = nullptr;
    EXPECT_EQ(configure([this](HWND dlg) {
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dlg, 10)));
        SetDlgItemTextA(dlg, 1004, "3");
        EXPECT_EQ(inst.highlightClip, 300);
        dragSlider(dlg, 1007, 40);
        EXPECT_EQ(inst.highlightsMin, 40);
        click(dlg, 10);
        click(dlg, 3);
        click(dlg, 1006);
        click(dlg, IDOK);
    }), 0);
    EXPECT_EQ(inst.preview, nullptr);
    EXPECT_EQ(inst.highlightClip, 300);
    EXPECT_EQ(inst.highlightsMin, 64);
    EXPECT_EQ(inst.previewClipped, 1);
}

// ---- the extended filter's dialog -------------------------------------------------------

struct ExtendedDialogTest : DialogTest {
    ExtendedDialogTest() : DialogTest(extendedCopy) {}

    extras::Instance& x = *reinterpret_cast<extras::Instance*>(block);

    std::string scriptLine()
    {
        char line[kHostScriptLineBufferSize] = {};
        EXPECT_TRUE(def.fssProc(&fa, &module->ff, line, sizeof line));
        return line;
    }
};

std::string message(HWND dlg) { return text(dlg, 1031); }

std::string asterisk(int times)
{
    std::string all;
    for (int i = 0; i < times; ++i)
        all += "SystemAsterisk|" + std::to_string(SND_ASYNC) + ";";
    return all;
}

std::string sounds()
{
    std::string all;
    for (const std::string& sound : calls.sounds)
        all += sound + ";";
    return all;
}

// rangewick's controls are all there with their identifiers, classes, styles and sizes
// (the template's font is the same, read from the module file), beside the extras.
TEST_F(ExtendedDialogTest, HoldsRangewicksControlsBesideTheExtras)
{
    EXPECT_EQ(configure([](HWND dlg) {
        char caption[64] = {};
        GetWindowTextA(dlg, caption, sizeof caption);
        EXPECT_STREQ(caption, "Filter: Rangewick extended");
        for (const ExpectedControl& c : kExpectedControls) {
            if (c.id == -1)
                continue;
            SCOPED_TRACE("control " + std::to_string(c.id));
            HWND child = GetDlgItem(dlg, c.id);
            ASSERT_NE(child, nullptr);
            char cls[64] = {};
            GetClassNameA(child, cls, sizeof cls);
            EXPECT_EQ(_stricmp(cls, c.className), 0) << cls;
            const DWORD style = static_cast<DWORD>(GetWindowLongPtrA(child, GWL_STYLE)) | (c.atom == kEditAtom ? WS_BORDER : 0);
            EXPECT_EQ(style, c.style | (c.atom == kEditAtom ? WS_BORDER : 0)) << std::hex << style;
            RECT want = {0, 0, c.cx, c.cy}, r;
            MapDialogRect(dlg, &want);
            GetWindowRect(child, &r);
            EXPECT_EQ(r.right - r.left, want.right);
            EXPECT_EQ(r.bottom - r.top, want.bottom);
        }
        for (const auto& [id, cls] : std::vector<std::pair<int, const char*>>{
                 {1020, "button"}, {1021, "edit"}, {1022, "msctls_trackbar32"}, {1023, "edit"},
                 {1024, "msctls_trackbar32"}, {1025, "edit"}, {1026, "edit"}, {1027, "edit"}, {1028, "edit"},
                 {1029, "edit"}, {1030, "button"}, {1031, "static"}}) {
            char got[64] = {};
            GetClassNameA(GetDlgItem(dlg, id), got, sizeof got);
            EXPECT_EQ(_stricmp(got, cls), 0) << id << ": " << got;
        }
        click(dlg, IDCANCEL);
    }), 1);
}

// Each extra's box takes what the tool takes; what it refuses puts the value in use back
// with the asterisk and a line saying why, and margins that leave nothing of the host's
// 8 x 4 frame cannot be entered. Each accepted change has the preview redrawn.
TEST_F(ExtendedDialogTest, ExtrasAreTypedAndRefusedAsTheToolTakesThem)
{
    filter_extras::setValue(x, filter_extras::kFollowTime, 1500);
    filter_extras::setValue(x, filter_extras::kMarginTop, 1);
    EXPECT_EQ(configure([this](HWND dlg) {
        EXPECT_EQ(text(dlg, 1021), "1.5");
        EXPECT_EQ(text(dlg, 1023), "100");
        EXPECT_EQ(sliderPos(dlg, 1022), 100);
        EXPECT_EQ(text(dlg, 1025), "0");
        EXPECT_EQ(text(dlg, 1026) + text(dlg, 1027) + text(dlg, 1028) + text(dlg, 1029), "1000");
        EXPECT_EQ(IsDlgButtonChecked(dlg, 1020), BST_UNCHECKED);
        EXPECT_EQ(message(dlg), "");
        preview.redos = 0;

        SetDlgItemTextA(dlg, 1021, "0.25");
        EXPECT_EQ(x.options.followTime, 0.25);
        EXPECT_EQ(preview.redos, 2);
        SetDlgItemTextA(dlg, 1021, "2.0005");
        EXPECT_EQ(x.options.followTime, 0.25);
        EXPECT_EQ(text(dlg, 1021), "0.25");
        EXPECT_EQ(message(dlg), "Follow time: 0 to 100 seconds, to the millisecond");
        EXPECT_EQ(sounds(), asterisk(1));
        EXPECT_EQ(preview.redos, 2) << "nothing changed, nothing to redraw";

        SetDlgItemTextA(dlg, 1023, "150");
        EXPECT_EQ(x.options.strength, 1);
        EXPECT_EQ(text(dlg, 1023), "100");
        EXPECT_EQ(message(dlg), "Strength: a whole percent from 0 to 100");
        SetDlgItemTextA(dlg, 1023, "50");
        EXPECT_EQ(x.options.strength, 0.5);
        EXPECT_EQ(sliderPos(dlg, 1022), 50);
        EXPECT_EQ(message(dlg), "");
        dragSlider(dlg, 1024, 30);
        EXPECT_EQ(text(dlg, 1025), "30");
        EXPECT_EQ(x.options.independence, 0.3);
        EXPECT_EQ(preview.redos, 6);

        SetDlgItemTextA(dlg, 1028, "3");
        EXPECT_EQ(x.options.margins[extras::kBottom], 0);
        EXPECT_EQ(text(dlg, 1028), "0");
        EXPECT_EQ(message(dlg), "Margins 1/0/3/0 leave nothing of the 8x4 frame to count");
        SetDlgItemTextA(dlg, 1028, "2");
        EXPECT_EQ(x.options.margins[extras::kBottom], 2);
        SetDlgItemTextA(dlg, 1029, "-1");
        EXPECT_EQ(message(dlg), "Margin left: a whole number of pixels");
        EXPECT_EQ(sounds(), asterisk(4));

        click(dlg, 1020);
        EXPECT_EQ(x.options.cuts, 1);
        EXPECT_EQ(preview.redos, 10);
        EXPECT_EQ(preview.redosWithTracking, 0);
        click(dlg, IDOK);
    }), 0);
    EXPECT_EQ(scriptLine(), "Config(1, 100, 64, 192, 1, 250, 50, 30, 1, 0, 2, 0)");
}

TEST_F(ExtendedDialogTest, ExtrasDefaultsTurnThemOffAndCancelPutsEverythingBack)
{
    filter_extras::setValue(x, filter_extras::kCuts, 1);
    filter_extras::setValue(x, filter_extras::kStrength, 40);
    for (int k = filter_extras::kMarginTop; k <= filter_extras::kMarginLeft; ++k)
        filter_extras::setValue(x, k, 1);
    def.runProc(&fa, &module->ff);     // some running state of its own
    std::vector<unsigned char> before(block, block + sizeof(extras::Instance));
    EXPECT_EQ(configure([this](HWND dlg) {
        preview.redos = 0;
        click(dlg, 1030);
        EXPECT_EQ(IsDlgButtonChecked(dlg, 1020), BST_UNCHECKED);
        EXPECT_EQ(text(dlg, 1023), "100");
        EXPECT_EQ(text(dlg, 1026), "0");
        EXPECT_EQ(scriptLine(), "Config(1, 100, 64, 192, 0, 0, 100, 0, 0, 0, 0, 0)");
        EXPECT_EQ(preview.redos, 2);
        SetDlgItemTextA(dlg, 1004, "12.5");
        SetDlgItemTextA(dlg, 1021, "3");
        click(dlg, IDCANCEL);
    }), 1);
    x.record.preview = reinterpret_cast<LevelsInstance*>(before.data())->preview;
    EXPECT_EQ(std::memcmp(block, before.data(), before.size()), 0);
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    wine_dialog::installGuards();
    InitCommonControls();       // the host process does this; the module relies on it
    Module m;
    module = m.load() ? &m : nullptr;
    const int rc = RUN_ALL_TESTS();
    module = nullptr;
    return rc;
}
