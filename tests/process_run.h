// Starting a program of the build as a user would, for the end-to-end tests: standard
// streams from and to files, or a pipe to its input or from its output. On Windows the
// program is started directly, not through cmd.exe, which under Wine now and then fails
// to start a program it was given (exit status 9009) when the machine is busy.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <sys/wait.h>
#endif

namespace process {

inline std::string quote(const std::string& s)
{
    return '"' + s + '"';
}

inline std::string readFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

#ifdef _WIN32
// Starts the command line with the given standard handles, which are closed here
// (the program has its own copies). Returns the process, or null.
inline HANDLE startWith(const std::string& command, HANDLE in, HANDLE out, HANDLE err)
{
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in;
    si.hStdOutput = out;
    si.hStdError = err;
    PROCESS_INFORMATION pi = {};
    std::string line = command;
    const bool started = in != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE &&
                         CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    for (HANDLE h : {in, out, err})
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    if (!started)
        return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

inline int waitForExit(HANDLE process)
{
    WaitForSingleObject(process, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return static_cast<int>(code);
}

inline HANDLE openInherited(const std::string& path, bool write)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return CreateFileA(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ, &inherit,
                       write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}
#else
inline int exitStatus(int systemResult)
{
    return WIFEXITED(systemResult) ? WEXITSTATUS(systemResult) : 128 + WTERMSIG(systemResult);
}
#endif

// Runs one command line with its standard streams from and to the named files.
inline int runRedirected(const std::string& command, const std::string& in, const std::string& out,
                         const std::string& err)
{
#ifdef _WIN32
    HANDLE process = startWith(command, openInherited(in, false), openInherited(out, true), openInherited(err, true));
    return process ? waitForExit(process) : -1;
#else
    const std::string line = command + " < " + quote(in) + " > " + quote(out) + " 2> " + quote(err);
    return exitStatus(std::system(line.c_str()));
#endif
}

// A running program with a pipe to its standard input or from its standard output;
// its messages go to a file.
struct PipedRun {
    FILE* stream = nullptr;
#ifdef _WIN32
    HANDLE process = nullptr;
#endif
};

inline PipedRun startPiped(const std::string& command, bool feedInput, const std::string& errFile)
{
    PipedRun run;
#ifdef _WIN32
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return run;
    HANDLE ours = feedInput ? writeEnd : readEnd;
    HANDLE theirs = feedInput ? readEnd : writeEnd;
    SetHandleInformation(ours, HANDLE_FLAG_INHERIT, 0);
    HANDLE nul = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);
    run.process = startWith(command, feedInput ? theirs : nul, feedInput ? nul : theirs, openInherited(errFile, true));
    if (!run.process) {
        CloseHandle(ours);
        return run;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(ours), (feedInput ? 0 : _O_RDONLY) | _O_BINARY);
    run.stream = _fdopen(fd, feedInput ? "wb" : "rb");
#else
    run.stream = popen((command + " 2> " + quote(errFile)).c_str(), feedInput ? "w" : "r");
#endif
    return run;
}

// Closes our end of the pipe and waits for the program; its exit status.
inline int finishPiped(PipedRun& run)
{
#ifdef _WIN32
    std::fclose(run.stream);
    return waitForExit(run.process);
#else
    return exitStatus(pclose(run.stream));
#endif
}

struct Result {
    int         status = -1;
    std::string out;
    std::string err;
};

// Runs `program` with `args`, `input` on standard input, and collects what it writes.
// The streams pass through files named `scratch` plus a suffix, removed afterwards.
inline Result run(const std::string& program, const std::vector<std::string>& args, const std::string& input,
                  const std::string& scratch)
{
    const std::string in = scratch + ".in", out = scratch + ".out", err = scratch + ".err";
    writeFile(in, input);
    std::string command = quote(program);
    for (const std::string& a : args)
        command += ' ' + quote(a);
    Result r;
    r.status = runRedirected(command, in, out, err);
    r.out = readFile(out);
    r.err = readFile(err);
    std::remove(in.c_str());
    std::remove(out.c_str());
    std::remove(err.c_str());
    return r;
}

} // namespace process
