// The window layer of the configuration dialog: turns the dialog's messages into calls
// of the dialog core and the core's requests into USER32, WINMM, SHELL32 and preview
// port calls. Everything runs on the thread that opened the dialog.
#include "config_dialog.h"

#include "dialog_core.h"
#include "levels_instance.h"
#include "win32_dialog.h"

namespace dialog {

namespace {

// What the dialog procedure finds on its window: the record and the preview port.
struct Session {
    LevelsInstance* inst;
    const PreviewPort* preview;
};

INT_PTR CALLBACK dialogProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG)
        SetWindowLongPtrA(dlg, DWLP_USER, lParam);
    // Messages that come before WM_INITDIALOG find no session yet.
    const auto* session = reinterpret_cast<const Session*>(GetWindowLongPtrA(dlg, DWLP_USER));
    if (session == nullptr)
        return FALSE;
    Win32Dialog ui(dlg, *session->preview);
    LevelsInstance& inst = *session->inst;
    switch (msg) {
    case WM_INITDIALOG:
        return onInitDialog(inst, ui) ? TRUE : FALSE;
    case WM_COMMAND:
        return onCommand(inst, ui, LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
    case WM_HSCROLL:
        return onSliderMoved(inst, ui) ? TRUE : FALSE;
    default:
        return FALSE;
    }
}

struct DialogOwner {
    HINSTANCE module;
    HWND parent;
    const PreviewPort* preview;
};

int runModal(LevelsInstance& inst, void* context)
{
    const auto* owner = static_cast<const DialogOwner*>(context);
    Session session{&inst, owner->preview};
    return static_cast<int>(DialogBoxParamA(owner->module, MAKEINTRESOURCEA(kDialogTemplateId), owner->parent,
                                            dialogProc, reinterpret_cast<LPARAM>(&session)));
}

} // namespace

int runConfigDialog(LevelsInstance& inst, HINSTANCE module, HWND parent, const PreviewPort& preview) noexcept
{
    DialogOwner owner{module, parent, &preview};
    return configure(inst, preview.object, runModal, &owner);
}

} // namespace dialog
