// Which host loaded the module, told by the libraries it has loaded: frei0r gives a
// module no other way to know that ffmpeg's times are milliseconds where the others'
// are seconds. MLT and GStreamer are looked for first: both can have FFmpeg's libraries
// loaded as well.
#include "frame_clock.h"

#ifdef _WIN32
#include <windows.h>

#include <cctype>
#include <cstring>
#include <initializer_list>
#else
#include <dlfcn.h>
#endif

namespace frei0r {

#ifdef _WIN32

TimeUnit hostTimeUnit()
{
    for (const char* dll : {"libmlt-7.dll", "libmlt.dll", "mlt-7.dll", "libgstreamer-1.0-0.dll", "gstreamer-1.0-0.dll"})
        if (GetModuleHandleA(dll) != nullptr)
            return TimeUnit::Seconds;
    // ffmpeg for Windows is mostly built as one program with its libraries inside.
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path)
        return TimeUnit::Unknown;
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p)
        if (*p == '\\' || *p == '/')
            name = p + 1;
    char lower[16] = {};
    for (std::size_t i = 0; i + 1 < sizeof lower && name[i] != '\0'; ++i)
        lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(name[i])));
    if (std::strcmp(lower, "ffmpeg.exe") == 0)
        return TimeUnit::Milliseconds;
    for (const char* dll : {"avfilter-7.dll", "avfilter-8.dll", "avfilter-9.dll", "avfilter-10.dll", "avfilter-11.dll"})
        if (GetModuleHandleA(dll) != nullptr)
            return TimeUnit::Milliseconds;
    return TimeUnit::Unknown;
}

#else

TimeUnit hostTimeUnit()
{
    const auto loaded = [](const char* symbol) { return dlsym(RTLD_DEFAULT, symbol) != nullptr; };
    if (loaded("mlt_factory_init") || loaded("gst_init"))
        return TimeUnit::Seconds;
    if (loaded("avfilter_version"))
        return TimeUnit::Milliseconds;
    return TimeUnit::Unknown;
}

#endif

} // namespace frei0r
