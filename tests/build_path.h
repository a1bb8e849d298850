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

// A file of the running test, in the build's folder for the tests.
inline std::string testFile(const std::string& name)
{
    return buildPath((RANGEWICK_TEST_FILES "/" + name).c_str());
}
