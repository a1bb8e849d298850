// The host's side of loading a filter module, as VirtualDub does it: LoadLibrary, the
// two entry points, a module record with room for the host's private fields, and
// addFilter/removeFilter keeping the host's own copy of the registered definition.
// Everything the module hands over is recorded in `host`.
#pragma once

#include "filter_sdk.h"

#include <cstring>
#include <string>

struct HostRecord {
    bool              failAddFilter = false;
    int               addCalls = 0;
    FilterModule*     addModule = nullptr;
    int               addSize = 0;
    FilterDefinition  original{};        // the module's record as handed over
    FilterDefinition  copy{};            // the host's copy, as the host keeps it
    int               removeCalls = 0;
    FilterDefinition* removed = nullptr;
};
inline HostRecord host;

inline FilterDefinition* hostAddFilter(FilterModule* fm, FilterDefinition* fd, int fd_len)
{
    ++host.addCalls;
    host.addModule = fm;
    host.addSize = fd_len;
    if (host.failAddFilter)
        return nullptr;
    std::memcpy(&host.original, fd, sizeof host.original);
    std::memset(&host.copy, 0, sizeof host.copy);
    const std::size_t n = static_cast<std::size_t>(fd_len) < sizeof host.copy ? static_cast<std::size_t>(fd_len) : sizeof host.copy;
    std::memcpy(&host.copy, fd, n);
    host.copy._module = fm;
    return &host.copy;
}

inline void hostRemoveFilter(FilterDefinition* fd)
{
    ++host.removeCalls;
    host.removed = fd;
}

typedef int (*ModuleInitFn)(FilterModule*, const FilterFunctions*, int* vdfd_ver, int* vdfd_compat);
typedef void (*ModuleDeinitFn)(FilterModule*, const FilterFunctions*);

// The module loaded (not yet initialised); unloaded again on destruction.
class LoadedModule {
public:
    explicit LoadedModule(const std::string& path)
    {
        host = HostRecord{};
        dll = LoadLibraryA(path.c_str());
        if (dll == nullptr)
            return;
        init = reinterpret_cast<ModuleInitFn>(reinterpret_cast<void*>(GetProcAddress(dll, "VirtualdubFilterModuleInit2")));
        deinit = reinterpret_cast<ModuleDeinitFn>(reinterpret_cast<void*>(GetProcAddress(dll, "VirtualdubFilterModuleDeinit")));
        std::memset(&record, 0xAB, sizeof record);
        record.fm.next = record.fm.prev = nullptr;
        record.fm.hInstModule = dll;
        std::memset(&ff, 0, sizeof ff);
        ff.addFilter = hostAddFilter;
        ff.removeFilter = hostRemoveFilter;
    }
    ~LoadedModule()
    {
        if (dll != nullptr)
            FreeLibrary(dll);
    }
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    bool ready() const { return dll != nullptr && init != nullptr && deinit != nullptr; }

    // The host's call of the module's initialisation, as a host of API version 20 asks.
    int start(int& ver, int& compat) { return init(&record.fm, &ff, &ver, &compat); }
    bool start()
    {
        int ver = 20, compat = 4;
        return ready() && start(ver, compat) == 0;
    }
    void stop() { deinit(&record.fm, &ff); }

    HMODULE         dll = nullptr;
    ModuleInitFn    init = nullptr;
    ModuleDeinitFn  deinit = nullptr;
    struct {
        FilterModule fm;
        unsigned char hostPrivate[64];
    } record;
    FilterFunctions ff;
};
