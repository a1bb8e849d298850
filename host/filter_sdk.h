// What rangewick uses of VirtualDub's filter SDK, declared from the host's binary
// layout. This header is the only place in the project that knows that layout; the
// static_asserts at the end hold every offset the module relies on, for the 32-bit
// (i686) and the 64-bit (x86_64) host alike.
//
// The host's `long` is 32 bits on both Windows targets; fixed-width types keep the
// same layout when this header is compiled natively on LP64 Linux for the tests,
// where every offset then matches the x86_64 host.
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
// Stand-ins so that the declarations compile where there is no Windows.
using HWND = struct HWND__*;
using HINSTANCE = struct HINSTANCE__*;
using HDC = struct HDC__*;
#endif

// The host's interface methods are ordinary MSVC member functions: thiscall on x86
// (object in ECX, callee pops). g++ uses the same by default; saying so keeps it so.
// x86_64 has one convention only, so there is nothing to say there.
#if defined(__i386__)
#define VDX_THISCALL __attribute__((thiscall))
#else
#define VDX_THISCALL
#endif

// The filter API version this module speaks, and the oldest it is compatible with.
constexpr int VIRTUALDUB_FILTERDEF_VERSION = 8;
constexpr int VIRTUALDUB_FILTERDEF_COMPATIBLE = 4;

// paramProc result: the output goes to a destination bitmap separate from the source.
constexpr int32_t FILTERPARAM_SWAP_BUFFERS = 1;

struct FilterDefinition;
struct FilterActivation;
struct FilterFunctions;
struct CScriptValue;
class IScriptInterpreter;     // host object; never called by this module
class IFilterPreview2;        // extended preview interface; never called by this module

// Host-owned; the module only reads it.
struct FilterModule {
    FilterModule* next;
    FilterModule* prev;
    HINSTANCE     hInstModule;  // the module's own instance handle (resources)
    // host-private fields follow; they differ between host versions
};

// A frame. The host's class has virtual methods: its table pointer comes first and is
// never touched here. Images are bottom-up: `data` is the lowest row in memory.
struct VFBitmap {
    void*          _vtable;
    uint32_t*      data;
    uint32_t*      palette;
    int32_t        depth;
    int32_t        w;
    int32_t        h;
    std::ptrdiff_t pitch;    // bytes from one row start to the next
    std::ptrdiff_t modulo;   // pitch - 4 * w
    std::ptrdiff_t size;
    std::ptrdiff_t offset;
    uint32_t       dwFlags;
    HDC            hdc;
};

// Where the stream stands, as the host tells each filter (32-bit fields on both targets).
struct FilterStateInfo {
    int32_t lCurrentFrame;
    int32_t lMicrosecsPerFrame;     // the time from one frame to the next
    int32_t lCurrentSourceFrame;
    int32_t lMicrosecsPerSrcFrame;
    int32_t lSourceFrameMS;
    int32_t lDestFrameMS;
    int32_t flags;
    int32_t lOutputFrame;
};

typedef void (*FilterPreviewButtonCallback)(bool fNewState, void* pData);
typedef void (*FilterPreviewSampleCallback)(VFBitmap* src, int32_t lFrame, int32_t lCount, void* pData);

// The host's preview object. Pure virtual methods only, in the host's slot order, and
// no virtual destructor: g++ would add two slots the host does not have.
class IFilterPreview {
public:
    virtual void    VDX_THISCALL SetButtonCallback(FilterPreviewButtonCallback callback, void* pData) = 0;
    virtual void    VDX_THISCALL SetSampleCallback(FilterPreviewSampleCallback callback, void* pData) = 0;
    virtual bool    VDX_THISCALL isPreviewEnabled() = 0;
    virtual void    VDX_THISCALL Toggle(HWND hwndOwner) = 0;
    virtual void    VDX_THISCALL Display(HWND hwndOwner, bool fShow) = 0;
    virtual void    VDX_THISCALL RedoFrame() = 0;
    virtual void    VDX_THISCALL RedoSystem() = 0;
    virtual void    VDX_THISCALL UndoSystem() = 0;
    virtual void    VDX_THISCALL InitButton(HWND hwndButton) = 0;
    virtual void    VDX_THISCALL Close() = 0;
    virtual bool    VDX_THISCALL SampleCurrentFrame() = 0;
    virtual int32_t VDX_THISCALL SampleFrames() = 0;
};

// Slot indices the module calls through, for tests that check the order above.
constexpr int kPreviewSlotToggle = 3;
constexpr int kPreviewSlotRedoFrame = 5;
constexpr int kPreviewSlotInitButton = 8;

// Host-owned, handed to every filter procedure. `dst`, `src` and `last` are C++
// references in the host's declaration; a reference member is stored as a pointer.
struct FilterActivation {
    FilterDefinition* filter;       // the host's copy of the definition
    void*             filter_data;  // the instance block of inst_data_size bytes
    VFBitmap*         dst;
    VFBitmap*         src;
    VFBitmap*         _reserved0;
    VFBitmap*         last;
    uint32_t          x1, y1, x2, y2;
    FilterStateInfo*  pfsi;
    IFilterPreview*   ifp;          // valid only while configProc runs
    IFilterPreview2*  ifp2;
    // newer hosts append fields that this module does not read
};

// Host callbacks (cdecl on x86).
struct FilterFunctions {
    FilterDefinition* (*addFilter)(FilterModule* module, FilterDefinition* fd, int fd_len);
    void    (*removeFilter)(FilterDefinition* fd);
    bool    (*isFPUEnabled)();
    bool    (*isMMXEnabled)();
    void    (*InitVTables)(void* vtbls);
    void    (*ExceptOutOfMemory)();                   // throws an MSVC exception
    void    (*Except)(const char* format, ...);       // throws an MSVC exception
    int32_t (*getCPUFlags)();
    int32_t (*getHostVersionInfo)(char* buf, int len);
};

// A script value. Arguments reach a script function as a contiguous array of these, so
// sizeof(CScriptValue) is the argument stride. `type` says what the union holds, but
// some hosts pass "long" for an "i" argument: the int is read from the union whatever
// the tag (its first four bytes are the low half of a long on little-endian hosts).
struct CScriptValue {
    enum : int32_t { T_VOID = 0, T_INT = 1, T_STR = 3, T_LONG = 9, T_DOUBLE = 10 };

    int32_t type;
    void*   thisPtr;                // meaningless in arguments
    union {
        int     i;
        char**  s;
        int64_t l;
        double  d;
    } u;

    int asInt() const { return u.i; }
};

// Script functions whose arg_list begins with '0' return nothing.
typedef void (*ScriptVoidFunctionPtr)(IScriptInterpreter* isi, void* lpVoid, CScriptValue* argv, int argc);

struct ScriptFunctionDef {
    ScriptVoidFunctionPtr func_ptr;   // an all-null entry ends the table
    const char*           name;
    const char*           arg_list;   // first character: result type ('0' = none)
};

struct CScriptObject {
    void*              Lookup;        // no member lookup
    ScriptFunctionDef* func_list;
    void*              obj_list;      // no sub-objects
};

typedef int     (*FilterInitProc)(FilterActivation* fa, const FilterFunctions* ff);
typedef void    (*FilterDeinitProc)(FilterActivation* fa, const FilterFunctions* ff);
typedef int     (*FilterRunProc)(const FilterActivation* fa, const FilterFunctions* ff);
typedef int32_t (*FilterParamProc)(FilterActivation* fa, const FilterFunctions* ff);
typedef int     (*FilterConfigProc)(FilterActivation* fa, const FilterFunctions* ff, HWND hWnd);
typedef void    (*FilterStringProc)(const FilterActivation* fa, const FilterFunctions* ff, char* buf);
typedef int     (*FilterStartProc)(FilterActivation* fa, const FilterFunctions* ff);
typedef int     (*FilterEndProc)(FilterActivation* fa, const FilterFunctions* ff);
typedef bool    (*FilterScriptStrProc)(FilterActivation* fa, const FilterFunctions* ff, char* buf, int buflen);
typedef void    (*FilterStringProc2)(const FilterActivation* fa, const FilterFunctions* ff, char* buf, int maxlen);
typedef int     (*FilterSerialize)(FilterActivation* fa, const FilterFunctions* ff, char* buf, int maxbuf);
typedef void    (*FilterDeserialize)(FilterActivation* fa, const FilterFunctions* ff, const char* buf, int maxbuf);
typedef void    (*FilterCopy)(FilterActivation* fa, const FilterFunctions* ff, void* dst);

// Owned by the module and registered with addFilter; the host keeps using the name,
// description, maker and script pointers, so they must be static data.
struct FilterDefinition {
    FilterDefinition*   _next;
    FilterDefinition*   _prev;
    FilterModule*       _module;
    const char*         name;
    const char*         desc;
    const char*         maker;
    void*               private_data;
    int                 inst_data_size;
    FilterInitProc      initProc;
    FilterDeinitProc    deinitProc;
    FilterRunProc       runProc;
    FilterParamProc     paramProc;
    FilterConfigProc    configProc;
    FilterStringProc    stringProc;
    FilterStartProc     startProc;
    FilterEndProc       endProc;
    CScriptObject*      script_obj;
    FilterScriptStrProc fssProc;
    FilterStringProc2   stringProc2;
    FilterSerialize     serializeProc;
    FilterDeserialize   deserializeProc;
    FilterCopy          copyProc;
};

// The host's buffer sizes for the two text procedures.
constexpr int kHostScriptLineBufferSize = 4096;
constexpr int kHostDescriptionBufferSize = 2048;

// ---- layout pins: (x86 offset, x86_64 offset) ------------------------------------

#define VDX_PIN_OFFSET(type, field, x86, x64) \
    static_assert(offsetof(type, field) == (sizeof(void*) == 4 ? (x86) : (x64)), \
                  #type "::" #field " is not where the host has it")
#define VDX_PIN_SIZE(type, x86, x64) \
    static_assert(sizeof(type) == (sizeof(void*) == 4 ? (x86) : (x64)), \
                  "sizeof(" #type ") differs from the host's")

VDX_PIN_OFFSET(FilterModule, hInstModule, 8, 16);

VDX_PIN_OFFSET(FilterFunctions, addFilter, 0, 0);
VDX_PIN_OFFSET(FilterFunctions, removeFilter, 4, 8);
VDX_PIN_OFFSET(FilterFunctions, getHostVersionInfo, 32, 64);
VDX_PIN_SIZE(FilterFunctions, 36, 72);

VDX_PIN_OFFSET(FilterDefinition, _module, 8, 16);
VDX_PIN_OFFSET(FilterDefinition, name, 12, 24);
VDX_PIN_OFFSET(FilterDefinition, desc, 16, 32);
VDX_PIN_OFFSET(FilterDefinition, maker, 20, 40);
VDX_PIN_OFFSET(FilterDefinition, private_data, 24, 48);
VDX_PIN_OFFSET(FilterDefinition, inst_data_size, 28, 56);
VDX_PIN_OFFSET(FilterDefinition, initProc, 32, 64);
VDX_PIN_OFFSET(FilterDefinition, deinitProc, 36, 72);
VDX_PIN_OFFSET(FilterDefinition, runProc, 40, 80);
VDX_PIN_OFFSET(FilterDefinition, paramProc, 44, 88);
VDX_PIN_OFFSET(FilterDefinition, configProc, 48, 96);
VDX_PIN_OFFSET(FilterDefinition, stringProc, 52, 104);
VDX_PIN_OFFSET(FilterDefinition, startProc, 56, 112);
VDX_PIN_OFFSET(FilterDefinition, endProc, 60, 120);
VDX_PIN_OFFSET(FilterDefinition, script_obj, 64, 128);
VDX_PIN_OFFSET(FilterDefinition, fssProc, 68, 136);
VDX_PIN_OFFSET(FilterDefinition, stringProc2, 72, 144);
VDX_PIN_OFFSET(FilterDefinition, serializeProc, 76, 152);
VDX_PIN_OFFSET(FilterDefinition, deserializeProc, 80, 160);
VDX_PIN_OFFSET(FilterDefinition, copyProc, 84, 168);
VDX_PIN_SIZE(FilterDefinition, 88, 176);

VDX_PIN_OFFSET(FilterActivation, filter, 0, 0);
VDX_PIN_OFFSET(FilterActivation, filter_data, 4, 8);
VDX_PIN_OFFSET(FilterActivation, dst, 8, 16);
VDX_PIN_OFFSET(FilterActivation, src, 12, 24);
VDX_PIN_OFFSET(FilterActivation, last, 20, 40);
VDX_PIN_OFFSET(FilterActivation, x1, 24, 48);
VDX_PIN_OFFSET(FilterActivation, y2, 36, 60);
VDX_PIN_OFFSET(FilterActivation, pfsi, 40, 64);
VDX_PIN_OFFSET(FilterActivation, ifp, 44, 72);
VDX_PIN_OFFSET(FilterActivation, ifp2, 48, 80);

VDX_PIN_OFFSET(FilterStateInfo, lMicrosecsPerFrame, 4, 4);
VDX_PIN_SIZE(FilterStateInfo, 32, 32);

VDX_PIN_OFFSET(VFBitmap, data, 4, 8);
VDX_PIN_OFFSET(VFBitmap, palette, 8, 16);
VDX_PIN_OFFSET(VFBitmap, depth, 12, 24);
VDX_PIN_OFFSET(VFBitmap, w, 16, 28);
VDX_PIN_OFFSET(VFBitmap, h, 20, 32);
VDX_PIN_OFFSET(VFBitmap, pitch, 24, 40);
VDX_PIN_OFFSET(VFBitmap, modulo, 28, 48);
VDX_PIN_OFFSET(VFBitmap, size, 32, 56);
VDX_PIN_OFFSET(VFBitmap, offset, 36, 64);
VDX_PIN_OFFSET(VFBitmap, dwFlags, 40, 72);
VDX_PIN_OFFSET(VFBitmap, hdc, 44, 80);

VDX_PIN_OFFSET(ScriptFunctionDef, func_ptr, 0, 0);
VDX_PIN_OFFSET(ScriptFunctionDef, name, 4, 8);
VDX_PIN_OFFSET(ScriptFunctionDef, arg_list, 8, 16);
VDX_PIN_SIZE(ScriptFunctionDef, 12, 24);

VDX_PIN_OFFSET(CScriptObject, Lookup, 0, 0);
VDX_PIN_OFFSET(CScriptObject, func_list, 4, 8);
VDX_PIN_OFFSET(CScriptObject, obj_list, 8, 16);
VDX_PIN_SIZE(CScriptObject, 12, 24);

VDX_PIN_OFFSET(CScriptValue, type, 0, 0);
VDX_PIN_OFFSET(CScriptValue, thisPtr, 4, 8);
VDX_PIN_OFFSET(CScriptValue, u, 8, 16);
VDX_PIN_SIZE(CScriptValue, 16, 24);

static_assert(sizeof(IFilterPreview*) == sizeof(void*), "interface pointers are plain pointers");
static_assert(sizeof(bool) == 1, "the host's bool is one byte");

#undef VDX_PIN_OFFSET
#undef VDX_PIN_SIZE
