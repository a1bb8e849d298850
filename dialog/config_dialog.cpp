// The window layer of the configuration dialog: turns the dialog's messages into calls
// of the dialog core and the core's requests into USER32, WINMM, SHELL32 and preview
// port calls. Everything runs on the thread that opened the dialog.
#include "config_dialog.h"

#include "dialog_core.h"
#include "levels_instance.h"

#include <commctrl.h>
#include <mmsystem.h>
#include <shellapi.h>

namespace dialog {

namespace {

// What the dialog procedure finds on its window: the record and the preview port.
struct Session {
    LevelsInstance* inst;
    const PreviewPort* preview;
};

class Win32Dialog final : public DialogPlatform {
public:
    Win32Dialog(HWND dlg, const PreviewPort& preview) : dlg_(dlg), preview_(preview) {}

    bool getText(int id, char* out, int size) override
    {
        // 0 is both "empty" and "failed"; a control that exists and reads 0 is empty.
        return GetDlgItemTextA(dlg_, id, out, size) > 0 || GetDlgItem(dlg_, id) != nullptr;
    }
    void setText(int id, const char* text) override { SetDlgItemTextA(dlg_, id, text); }
    void setNumber(int id, unsigned value) override { SetDlgItemInt(dlg_, id, value, FALSE); }
    void setSliderRange(int id, int low, int high) override
    {
        SendDlgItemMessageA(dlg_, id, TBM_SETRANGE, TRUE, MAKELPARAM(low, high));
    }
    void setSliderTicks(int id, int every) override { SendDlgItemMessageA(dlg_, id, TBM_SETTICFREQ, static_cast<WPARAM>(every), 0); }
    void setSliderPos(int id, int pos) override { SendDlgItemMessageA(dlg_, id, TBM_SETPOS, TRUE, pos); }
    int sliderPos(int id) override { return static_cast<int>(SendDlgItemMessageA(dlg_, id, TBM_GETPOS, 0, 0)); }
    int checkState(int id) override { return static_cast<int>(IsDlgButtonChecked(dlg_, id)); }
    void setCheckState(int id, int state) override { CheckDlgButton(dlg_, id, static_cast<UINT>(state)); }
    void enableControl(int id, bool enabled) override { EnableWindow(GetDlgItem(dlg_, id), enabled ? TRUE : FALSE); }
    void playSound(const char* name) override { PlaySoundA(name, nullptr, SND_ASYNC); }
    unsigned programPath(char* out, unsigned size) override { return GetModuleFileNameA(nullptr, out, size); }
    unsigned fullPath(const char* path, char* out, unsigned size) override
    {
        char* filePart = nullptr;
        return GetFullPathNameA(path, size, out, &filePart);
    }
    void openDocument(const char* path) override { ShellExecuteA(dlg_, "open", path, nullptr, nullptr, SW_SHOWNORMAL); }
    void previewInitButton(void* preview, int id) override { preview_.attachButton(preview, GetDlgItem(dlg_, id)); }
    void previewToggle(void* preview) override { preview_.toggle(preview, dlg_); }
    void previewRedoFrame(void* preview) override { preview_.redoFrame(preview); }
    void endDialog(int result) override { EndDialog(dlg_, result); }

private:
    HWND dlg_;
    const PreviewPort& preview_;
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
