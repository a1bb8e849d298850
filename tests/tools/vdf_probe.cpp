// Loads a rangewick.vdf as the host does and reports what it registers; with "show",
// opens a filter's configuration dialog for a screenshot. The module's filters own
// dialog templates 101, 102, ... in the order they register.
//
//   vdf_probe MODULE                    prints "name|desc|maker|configProc|dialog101" for the
//                                       first filter, the same with 102 for the second, ...;
//                                       exit 0 if sound
//   vdf_probe show MODULE MARKER DONE [FILTER]
//                                       opens the dialog of the filter named FILTER (default
//                                       "rangewick"); once it is drawn writes its screen
//                                       rectangle "w h x y" to MARKER, closes when DONE exists
//                                       (or after 20 s)
#include "extras/extras.h"
#include "stand_in_host.h"
#include "wine_dialog_runner.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// A 640x480 frame prepared, and for the extended filter a letterboxed film's script line
// (cuts, a follow time of 1.5 s, margins 60/0/60/0), so that the picture shows extras in use.
constexpr int32_t kShownWidth = 640, kShownHeight = 480;
constexpr int kShownLine[] = {1, 100, 64, 192, 1, 1500, 100, 0, 60, 0, 60, 0};

const char* markerPath;
const char* donePath;
DWORD shownAt;
bool written;

void CALLBACK onTimer(HWND, UINT, UINT_PTR, DWORD)
{
    HWND dlg = wine_dialog::threadDialog();
    if (!dlg)
        return;
    if (!written) {
        if (!shownAt)
            shownAt = GetTickCount();
        RedrawWindow(dlg, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
        if (GetTickCount() - shownAt < 1500 || !IsWindowVisible(dlg))
            return;
        RECT r;
        GetWindowRect(dlg, &r);
        if (FILE* f = std::fopen(markerPath, "w")) {
            std::fprintf(f, "%ld %ld %ld %ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
            std::fclose(f);
        }
        written = true;
        return;
    }
    if (GetFileAttributesA(donePath) != INVALID_FILE_ATTRIBUTES || GetTickCount() - shownAt > 20000)
        EndDialog(dlg, IDCANCEL);
}

bool hasDialog(HMODULE dll, int id)
{
    return FindResourceExA(dll, MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(id), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)) !=
           nullptr;
}

// The filter's script command with the line, as the host's interpreter calls it.
void runScript(FilterDefinition& fd, FilterActivation& fa, const int* values, int count)
{
    CScriptValue argv[16] = {};
    for (int i = 0; i < count && i < 16; ++i) {
        argv[i].type = CScriptValue::T_INT;
        argv[i].u.i = values[i];
    }
    fd.script_obj->func_list[0].func_ptr(nullptr, &fa, argv, count);
}

} // namespace

int main(int argc, char** argv)
{
    const bool show = (argc == 5 || argc == 6) && std::strcmp(argv[1], "show") == 0;
    if (!show && argc != 2) {
        std::fprintf(stderr, "usage: vdf_probe MODULE | vdf_probe show MODULE MARKER DONE [FILTER]\n");
        return 2;
    }
    const char* path = show ? argv[2] : argv[1];
    InitCommonControls();
    LoadedModule module(path);
    if (!module.dll) {
        std::fprintf(stderr, "cannot load %s (error %lu)\n", path, static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    if (!module.ready()) {
        std::fprintf(stderr, "%s lacks the module entry points\n", path);
        return 1;
    }
    int ver = 20, compat = 4;
    if (module.start(ver, compat) != 0) {
        std::fprintf(stderr, "%s refused to register\n", path);
        return 1;
    }
    const FilterFunctions& ff = module.ff;
    int rc = 0;
    if (show) {
        markerPath = argv[3];
        donePath = argv[4];
        const char* name = argc == 6 ? argv[5] : "rangewick";
        FilterDefinition* fd = host.filter(name);
        if (fd == nullptr || fd->configProc == nullptr) {
            std::fprintf(stderr, "%s registers no filter \"%s\" with a dialog\n", path, name);
            module.stop();
            return 1;
        }
        alignas(16) static unsigned char block[sizeof(extras::Instance)];
        VFBitmap frame{};
        frame.w = kShownWidth;
        frame.h = kShownHeight;
        frame.depth = 32;
        FilterActivation fa{};
        fa.filter = fd;
        fa.filter_data = block;
        fa.src = fa.dst = &frame;
        fd->initProc(&fa, &ff);
        const int count = static_cast<int>(std::strlen(fd->script_obj->func_list[0].arg_list)) - 1;
        if (count == static_cast<int>(sizeof kShownLine / sizeof kShownLine[0]))
            runScript(*fd, fa, kShownLine, count);
        SetTimer(nullptr, 0, 100, onTimer);
        rc = fd->configProc(&fa, &ff, nullptr) == 1 ? 0 : 1;
    } else {
        rc = ver == 8 && compat == 4 && host.addCalls > 0 ? 0 : 1;
        for (int i = 0; i < host.addCalls && i < HostRecord::kMaxFilters; ++i) {
            const FilterDefinition& fd = host.copies[i];
            const bool dialog = hasDialog(module.dll, 101 + i);
            std::printf("%s|%s|%s|%s|%sdialog%d\n", fd.name, fd.desc, fd.maker, fd.configProc ? "configProc" : "no configProc",
                        dialog ? "" : "no ", 101 + i);
            rc = fd.configProc && dialog ? rc : 1;
        }
    }
    module.stop();
    return rc;
}
