// The host's side of loading a filter module, as VirtualDub does it: LoadLibrary, the
// two entry points, a module record with room for the host's private fields, and
// addFilter/removeFilter keeping the host's own copy of each registered definition.
// Everything the module hands over is recorded in `host`.
#pragma once

#include "filter_sdk.h"

#include <cstring>
#include <string>

struct HostRecord {
    static constexpr int kMaxFilters = 4;

    bool              failAddFilter = false;
    int               addCalls = 0;                   // of this load
    FilterModule*     addModule = nullptr;
    int               addSize = 0;
    // Each filter of the module in the order it was registered: the module's record as
    // handed over, and the host's copy as the host keeps it.
    FilterDefinition  originals[kMaxFilters]{};
    FilterDefinition  copies[kMaxFilters]{};
    int               removeCalls = 0;
    FilterDefinition* removed[kMaxFilters]{};         // in the order they were removed

    // The host's copy of the filter registered under `name`, or null.
    FilterDefinition* filter(const char* name)
    {
        for (int i = 0; i < addCalls && i < kMaxFilters; ++i)
            if (copies[i].name != nullptr && std::strcmp(copies[i].name, name) == 0)
                return &copies[i];
        return nullptr;
    }
};
inline HostRecord host;

inline FilterDefinition* hostAddFilter(FilterModule* fm, FilterDefinition* fd, int fd_len)
{
    const int i = host.addCalls++;
    host.addModule = fm;
    host.addSize = fd_len;
    if (host.failAddFilter || i >= HostRecord::kMaxFilters)
        return nullptr;
    FilterDefinition& copy = host.copies[i];
    std::memcpy(&host.originals[i], fd, sizeof host.originals[i]);
    std::memset(&copy, 0, sizeof copy);
    const std::size_t n = static_cast<std::size_t>(fd_len) < sizeof copy ? static_cast<std::size_t>(fd_len) : sizeof copy;
    std::memcpy(&copy, fd, n);
    copy._module = fm;
    return &copy;
}

inline void hostRemoveFilter(FilterDefinition* fd)
{
    if (host.removeCalls < HostRecord::kMaxFilters)
        host.removed[host.removeCalls] = fd;
    ++host.removeCalls;
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
    // Each load registers afresh.
    int start(int& ver, int& compat)
    {
        host.addCalls = 0;
        host.removeCalls = 0;
        return init(&record.fm, &ff, &ver, &compat);
    }
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
