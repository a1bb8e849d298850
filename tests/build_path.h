// Paths the build knows by their Unix names, as a test program sees them: under Wine
// the Unix file system is drive Z.
#pragma once

#include <string>

inline std::string buildPath(const char* unixPath)
{
    std::string path = unixPath;
#ifdef _WIN32
    if (!path.empty() && path[0] == '/') {
        path = "Z:" + path;
        for (char& c : path)
            if (c == '/')
                c = '\\';
    }
#endif
    return path;
}
