// Driving a module's modal dialog from a Windows test program (run under Wine): steps
// run inside the dialog's own modal loop from a thread timer, a deadline ends a dialog
// still open after them, a watchdog ends the process when a run hangs, and crashes are
// reported (Wine swallows exceptions in dialog and timer procedures, which would
// otherwise look like a dialog that never closes). A module's calls of system
// functions can be observed by patching its import table.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <functional>

namespace wine_dialog {

// Points the module's import of `function` from `dllName` at `replacement`; returns
// what it pointed at before, or null when the module does not import it by name.
inline void* patchImport(HMODULE module, const char* dllName, const char* function, void* replacement)
{
    auto* base = reinterpret_cast<unsigned char*>(module);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0)
        return nullptr;
    for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); imp->Name; ++imp) {
        if (_stricmp(reinterpret_cast<const char*>(base + imp->Name), dllName) != 0)
            continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + (imp->OriginalFirstThunk ? imp->OriginalFirstThunk : imp->FirstThunk));
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0)
                continue;
            DWORD old = 0;
            VirtualProtect(&slots->u1.Function, sizeof(void*), PAGE_READWRITE, &old);
            void* original = reinterpret_cast<void*>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof(void*), old, &old);
            return original;
        }
    }
    return nullptr;
}

inline BOOL CALLBACK findDialog(HWND hwnd, LPARAM out)
{
    char cls[32] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    if (std::strcmp(cls, "#32770") != 0)
        return TRUE;
    *reinterpret_cast<HWND*>(out) = hwnd;
    return FALSE;
}

// The dialog open on the calling thread, or null.
inline HWND threadDialog()
{
    HWND dlg = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), findDialog, reinterpret_cast<LPARAM>(&dlg));
    return dlg;
}

// The state of the run in progress; one at a time, on the thread that runs dialogs.
struct RunState {
    std::function<void(HWND)> steps;
    bool stepsRan = false;
    bool overran = false;
    HWND dialog = nullptr;          // the dialog the steps run in
    UINT_PTR stepsTimer = 0, deadlineTimer = 0;
    HANDLE runEnded = nullptr;      // auto-reset event the watchdog waits on
};
inline RunState run;

inline DWORD WINAPI watchdog(void*)
{
    for (;;) {
        if (WaitForSingleObject(run.runEnded, 30000) == WAIT_TIMEOUT) {
            std::fprintf(stderr, "watchdog: a dialog test hung for 30 s; ending the process\n");
            std::fflush(stderr);
            ExitProcess(3);
        }
    }
}

inline LONG WINAPI reportCrash(EXCEPTION_POINTERS* info)
{
    std::fprintf(stderr, "crash: exception 0x%08lx at %p\n", static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode),
                 info->ExceptionRecord->ExceptionAddress);
    std::fflush(stderr);
    ExitProcess(4);
}

// Once per program, before the first run: the crash report and the watchdog.
inline void installGuards()
{
    SetUnhandledExceptionFilter(reportCrash);
    run.runEnded = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    CreateThread(nullptr, 0, watchdog, nullptr, 0, nullptr);
}

inline void CALLBACK onStepsTimer(HWND, UINT, UINT_PTR, DWORD)
{
    HWND dlg = threadDialog();
    if (!dlg || run.stepsRan)
        return;
    KillTimer(nullptr, run.stepsTimer);
    run.stepsRan = true;
    run.dialog = dlg;
    run.steps(dlg);
}

inline void CALLBACK onDeadline(HWND, UINT, UINT_PTR, DWORD)
{
    if (HWND dlg = threadDialog()) {
        run.overran = true;
        EndDialog(dlg, 77);
    }
}

struct Outcome {
    int  result;        // what `open` returned
    bool stepsRan;      // false: the dialog never showed up
    bool overran;       // the dialog was still open 5 s after its steps and was ended
};

// Calls `open`, which shows a modal dialog on this thread and returns when it ends, and
// runs `steps` once inside the dialog's modal loop as soon as the dialog is there. The
// steps are expected to end the dialog.
inline Outcome runModal(const std::function<int()>& open, std::function<void(HWND)> steps)
{
    run.steps = std::move(steps);
    run.stepsRan = false;
    run.overran = false;
    run.dialog = nullptr;
    run.stepsTimer = SetTimer(nullptr, 0, 10, onStepsTimer);
    run.deadlineTimer = SetTimer(nullptr, 0, 5000, onDeadline);
    const int result = open();
    KillTimer(nullptr, run.stepsTimer);
    KillTimer(nullptr, run.deadlineTimer);
    SetEvent(run.runEnded);
    return {result, run.stepsRan, run.overran};
}

} // namespace wine_dialog
