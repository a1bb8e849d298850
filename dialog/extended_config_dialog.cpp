// The extended filter's dialog window: template 102, its messages handed to the
// extended dialog core, on the same platform layer as rangewick's dialog.
#include "config_dialog.h"

#include "extended_dialog_core.h"
#include "extras/extras.h"
#include "win32_dialog.h"

namespace dialog {

namespace {

struct Session {
    extras::Instance* x;
    const PreviewPort* preview;
    FrameSize frame;
};

INT_PTR CALLBACK dialogProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG)
        SetWindowLongPtrA(dlg, DWLP_USER, lParam);
    const auto* session = reinterpret_cast<const Session*>(GetWindowLongPtrA(dlg, DWLP_USER));
    if (session == nullptr)
        return FALSE;
    Win32Dialog ui(dlg, *session->preview);
    extras::Instance& x = *session->x;
    switch (msg) {
    case WM_INITDIALOG:
        return onExtendedInitDialog(x, ui, session->frame) ? TRUE : FALSE;
    case WM_COMMAND:
        return onExtendedCommand(x, ui, session->frame, LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
    case WM_HSCROLL:
        return onExtendedSliderMoved(x, ui) ? TRUE : FALSE;
    default:
        return FALSE;
    }
}

struct DialogOwner {
    HINSTANCE module;
    HWND parent;
    const PreviewPort* preview;
    FrameSize frame;
};

int runModal(extras::Instance& x, void* context)
{
    const auto* owner = static_cast<const DialogOwner*>(context);
    Session session{&x, owner->preview, owner->frame};
    return static_cast<int>(DialogBoxParamA(owner->module, MAKEINTRESOURCEA(kExtendedDialogTemplateId), owner->parent,
                                            dialogProc, reinterpret_cast<LPARAM>(&session)));
}

} // namespace

int runExtendedConfigDialog(extras::Instance& x, HINSTANCE module, HWND parent, const PreviewPort& preview,
                            FrameSize frame) noexcept
{
    DialogOwner owner{module, parent, &preview, frame};
    return configureExtended(x, preview.object, runModal, &owner);
}

} // namespace dialog
