// The filters' configuration procedures: the host's activation and preview interface
// turned into what the dialogs take (the record, the module's handle, a preview port).
#include "config_dialog.h"
#include "extended_filter_procs.h"
#include "filter_procs.h"

namespace rangewick {

namespace {

IFilterPreview* asPreview(void* object) { return static_cast<IFilterPreview*>(object); }

void attachButton(void* object, HWND button) { asPreview(object)->InitButton(button); }
void toggle(void* object, HWND owner) { asPreview(object)->Toggle(owner); }
void redoFrame(void* object) { asPreview(object)->RedoFrame(); }

// The module's own handle, for a host that leaves the activation's module unset.
HINSTANCE thisModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&thisModule), &module);
    return module;
}

HINSTANCE moduleOf(const FilterActivation* fa)
{
    HINSTANCE module = nullptr;
    if (fa->filter != nullptr && fa->filter->_module != nullptr)
        module = fa->filter->_module->hInstModule;
    return module != nullptr ? module : thisModule();
}

} // namespace

int configProc(FilterActivation* fa, const FilterFunctions*, HWND hwndParent) noexcept
{
    const dialog::PreviewPort preview{fa->ifp, attachButton, toggle, redoFrame};
    return dialog::runConfigDialog(*static_cast<LevelsInstance*>(fa->filter_data), moduleOf(fa), hwndParent, preview);
}

int extended_filter::configProc(FilterActivation* fa, const FilterFunctions*, HWND hwndParent) noexcept
{
    const dialog::PreviewPort preview{fa->ifp, attachButton, toggle, redoFrame};
    // The source the host last prepared the chain with, where it has: the margins are
    // held to it.
    dialog::FrameSize frame{0, 0};
    if (fa->src != nullptr && fa->src->w > 0 && fa->src->h > 0)
        frame = {fa->src->w, fa->src->h};
    return dialog::runExtendedConfigDialog(*static_cast<extras::Instance*>(fa->filter_data), moduleOf(fa),
                                           hwndParent, preview, frame);
}

} // namespace rangewick
