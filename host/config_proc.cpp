// The filter's configuration procedure: the host's activation and preview interface
// turned into what the dialog takes (the record, the module's handle, a preview port).
#include "config_dialog.h"
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

} // namespace

int configProc(FilterActivation* fa, const FilterFunctions*, HWND hwndParent) noexcept
{
    HINSTANCE module = nullptr;
    if (fa->filter != nullptr && fa->filter->_module != nullptr)
        module = fa->filter->_module->hInstModule;
    if (module == nullptr)
        module = thisModule();
    const dialog::PreviewPort preview{fa->ifp, attachButton, toggle, redoFrame};
    return dialog::runConfigDialog(*static_cast<LevelsInstance*>(fa->filter_data), module, hwndParent, preview);
}

} // namespace rangewick
