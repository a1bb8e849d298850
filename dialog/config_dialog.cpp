// The window layer of the configuration dialog: turns the dialog's messages into calls
// of the dialog core and the core's requests into USER32, WINMM, SHELL32 and host
// preview calls. Everything runs on the thread that called configProc.
#include "config_dialog.h"

#include "dialog_core.h"
#include "levels_instance.h"

#include <commctrl.h>
#include <mmsystem.h>
#include <shellapi.h>

namespace rangewick {

namespace {

IFilterPreview* asPreview(void* preview) { return static_cast<IFilterPreview*>(preview); }

class Win32Dialog final : public dialog::DialogPlatform {
public:
    explicit Win32Dialog(HWND dlg) : dlg_(dlg) {}

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
    void previewInitButton(void* preview, int id) override { asPreview(preview)->InitButton(GetDlgItem(dlg_, id)); }
    void previewToggle(void* preview) override { asPreview(preview)->Toggle(dlg_); }
    void previewRedoFrame(void* preview) override { asPreview(preview)->RedoFrame(); }
    void endDialog(int result) override { EndDialog(dlg_, result); }

private:
    HWND dlg_;
};

INT_PTR CALLBACK dialogProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Win32Dialog ui(dlg);
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrA(dlg, DWLP_USER, lParam);
        return dialog::onInitDialog(*reinterpret_cast<LevelsInstance*>(lParam), ui) ? TRUE : FALSE;
    }
    // Messages that come before WM_INITDIALOG find no record yet.
    auto* inst = reinterpret_cast<LevelsInstance*>(GetWindowLongPtrA(dlg, DWLP_USER));
    if (inst == nullptr)
        return FALSE;
    switch (msg) {
    case WM_COMMAND:
        return dialog::onCommand(*inst, ui, LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
    case WM_HSCROLL:
        return dialog::onSliderMoved(*inst, ui) ? TRUE : FALSE;
    default:
        return FALSE;
    }
}

struct DialogOwner {
    HINSTANCE module;
    HWND parent;
};

int runModal(LevelsInstance& inst, void* context)
{
    const auto* owner = static_cast<const DialogOwner*>(context);
    return static_cast<int>(DialogBoxParamA(owner->module, MAKEINTRESOURCEA(dialog::kDialogTemplateId), owner->parent,
                                            dialogProc, reinterpret_cast<LPARAM>(&inst)));
}

// The module's own handle, for a host that leaves the activation's module unset.
HINSTANCE thisModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&thisModule), &module);
    return module;
}

} // namespace

int configProc(FilterActivation* fa, const FilterFunctions*, HWND hwndParent) noexcept
{
    auto* inst = static_cast<LevelsInstance*>(fa->filter_data);
    DialogOwner owner{nullptr, hwndParent};
    if (fa->filter != nullptr && fa->filter->_module != nullptr)
        owner.module = fa->filter->_module->hInstModule;
    if (owner.module == nullptr)
        owner.module = thisModule();
    return dialog::configure(*inst, fa->ifp, runModal, &owner);
}

} // namespace rangewick
