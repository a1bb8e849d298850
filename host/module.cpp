// The module's entry points and the definition it registers with the host.

#include "extended_filter_procs.h"
#include "filter_procs.h"

namespace {

// The only module-wide state: what addFilter handed back, until the module exits.
FilterDefinition* registeredFilter = nullptr;
FilterDefinition* registeredExtended = nullptr;

// One line per field, in the host's order.
FilterDefinition filterDefinition = {
    nullptr,                        // _next
    nullptr,                        // _prev
    nullptr,                        // _module (the host fills its copy)
    rangewick::kFilterName,         // name
    rangewick::kFilterDesc,         // desc
    rangewick::kFilterMaker,        // maker
    nullptr,                        // private_data
    rangewick::kInstanceSize,       // inst_data_size
    rangewick::initProc,            // initProc
    nullptr,                        // deinitProc
    rangewick::runProc,             // runProc
    rangewick::paramProc,           // paramProc
    rangewick::configProc,          // configProc
    rangewick::stringProc,          // stringProc
    rangewick::startProc,           // startProc
    rangewick::endProc,             // endProc
    &rangewick::scriptObject,       // script_obj
    rangewick::fssProc,             // fssProc
    nullptr,                        // stringProc2
    nullptr,                        // serializeProc
    nullptr,                        // deserializeProc
    nullptr,                        // copyProc
};

// rangewick with the extras: its own instance block, dialog, description and script
// line; the parameter, start and end procedures are rangewick's.
FilterDefinition extendedDefinition = {
    nullptr,                                        // _next
    nullptr,                                        // _prev
    nullptr,                                        // _module (the host fills its copy)
    rangewick::extended_filter::kFilterName,        // name
    rangewick::extended_filter::kFilterDesc,        // desc
    rangewick::kFilterMaker,                        // maker
    nullptr,                                        // private_data
    rangewick::extended_filter::kInstanceSize,      // inst_data_size
    rangewick::extended_filter::initProc,           // initProc
    nullptr,                                        // deinitProc
    rangewick::extended_filter::runProc,            // runProc
    rangewick::paramProc,                           // paramProc
    rangewick::extended_filter::configProc,         // configProc
    rangewick::extended_filter::stringProc,         // stringProc
    rangewick::extended_filter::startProc,          // startProc
    rangewick::endProc,                             // endProc
    &rangewick::extended_filter::scriptObject,      // script_obj
    rangewick::extended_filter::fssProc,            // fssProc
    nullptr,                                        // stringProc2
    nullptr,                                        // serializeProc
    nullptr,                                        // deserializeProc
    nullptr,                                        // copyProc
};

} // namespace

// These two call back into the host, whose callbacks may raise the host's own
// exceptions (on memory shortage, say); those must pass through to the host's handler,
// so unlike the filter procedures these are not noexcept. Nothing of ours here throws,
// and no local needs destroying when a host exception skips the frame.
extern "C" __declspec(dllexport) int VirtualdubFilterModuleInit2(FilterModule* fm, const FilterFunctions* ff,
                                                                 int& vdfd_ver, int& vdfd_compat)
{
    registeredFilter = ff->addFilter(fm, &filterDefinition, static_cast<int>(sizeof(FilterDefinition)));
    if (registeredFilter == nullptr)
        return 1;
    // rangewick comes first and stands on its own: a host that takes no second filter
    // still has it, registered as ever.
    registeredExtended = ff->addFilter(fm, &extendedDefinition, static_cast<int>(sizeof(FilterDefinition)));
    vdfd_ver = VIRTUALDUB_FILTERDEF_VERSION;
    vdfd_compat = VIRTUALDUB_FILTERDEF_COMPATIBLE;
    return 0;
}

extern "C" __declspec(dllexport) void VirtualdubFilterModuleDeinit(FilterModule*, const FilterFunctions* ff)
{
    // Nothing was registered when addFilter failed: there is nothing to give back.
    if (registeredExtended != nullptr)
        ff->removeFilter(registeredExtended);
    if (registeredFilter != nullptr)
        ff->removeFilter(registeredFilter);
    registeredExtended = nullptr;
    registeredFilter = nullptr;
}
