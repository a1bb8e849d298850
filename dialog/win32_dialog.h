// The dialog core's requests as USER32, WINMM, SHELL32 and preview port calls on one
// dialog window: shared by rangewick's dialog and the extended one.
#pragma once

#include "config_dialog.h"
#include "dialog_core.h"

#include <commctrl.h>
#include <mmsystem.h>
#include <shellapi.h>

namespace dialog {

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

} // namespace dialog
