// Loads a rangewick.vdf as the host does and reports what it registers; with "show",
// opens its configuration dialog for a screenshot.
//
//   vdf_probe MODULE                    prints "name|desc|maker|configProc|dialog101", exit 0 if sound
//   vdf_probe show MODULE MARKER DONE   opens the dialog; once it is drawn writes its screen
//                                       rectangle "w h x y" to MARKER, closes when DONE exists
//                                       (or after 20 s)
#include "levels_instance.h"
#include "stand_in_host.h"
#include "wine_dialog_runner.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

FilterDefinition& registered = host.copy;

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

} // namespace

int main(int argc, char** argv)
{
    const bool show = argc == 5 && std::strcmp(argv[1], "show") == 0;
    if (!show && argc != 2) {
        std::fprintf(stderr, "usage: vdf_probe MODULE | vdf_probe show MODULE MARKER DONE\n");
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
    HMODULE dll = module.dll;
    const FilterFunctions& ff = module.ff;
    const bool hasDialog = FindResourceExA(dll, MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(101),
                                           MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)) != nullptr;
    int rc = 0;
    if (show) {
        markerPath = argv[3];
        donePath = argv[4];
        alignas(16) unsigned char block[sizeof(LevelsInstance)] = {};
        FilterActivation fa{};
        fa.filter = &registered;
        fa.filter_data = block;
        registered.initProc(&fa, &ff);
        SetTimer(nullptr, 0, 100, onTimer);
        rc = registered.configProc ? (registered.configProc(&fa, &ff, nullptr) == 1 ? 0 : 1) : 1;
    } else {
        std::printf("%s|%s|%s|%s|%s\n", registered.name, registered.desc, registered.maker,
                    registered.configProc ? "configProc" : "no configProc", hasDialog ? "dialog101" : "no dialog101");
        rc = ver == 8 && compat == 4 && registered.configProc && hasDialog ? 0 : 1;
    }
    module.stop();
    return rc;
}
