#include "raw_io.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>

#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#define RW_READ  _read
#define RW_WRITE _write
#define RW_CLOSE _close
#define RW_ISATTY _isatty
#else
#include <unistd.h>
#define RW_READ  ::read
#define RW_WRITE ::write
#define RW_CLOSE ::close
#define RW_ISATTY ::isatty
#endif

namespace rawio {

namespace {

// One system call moves at most this much; the Windows C runtime takes an unsigned
// int count, and a 1 GiB step costs nothing on any platform.
constexpr std::size_t kMaxStep = std::size_t(1) << 30;

std::string describe(int err)
{
    return std::strerror(err);
}

bool isStandard(const std::string& path)
{
    return path.empty() || path == "-";
}

} // namespace

void prepareStandardStreams()
{
#ifdef _WIN32
    _setmode(0, _O_BINARY);
    _setmode(1, _O_BINARY);
#endif
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

int openInput(const std::string& path, std::string& error)
{
    if (isStandard(path))
        return 0;
#ifdef _WIN32
    const int fd = _open(path.c_str(), _O_RDONLY | _O_BINARY);
#else
    const int fd = ::open(path.c_str(), O_RDONLY);
#endif
    if (fd < 0)
        error = "cannot open input '" + path + "': " + describe(errno);
    return fd;
}

int openOutput(const std::string& path, std::string& error)
{
    if (isStandard(path))
        return 1;
#ifdef _WIN32
    const int fd = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
#endif
    if (fd < 0)
        error = "cannot open output '" + path + "': " + describe(errno);
    return fd;
}

bool closeOutput(int fd, std::string& error)
{
    if (fd <= 2)
        return true;
    if (RW_CLOSE(fd) != 0) {
        error = "cannot write output: " + describe(errno);
        return false;
    }
    return true;
}

std::size_t readFull(int fd, void* buffer, std::size_t size, std::string& error)
{
    unsigned char* p = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        const std::size_t step = size - done < kMaxStep ? size - done : kMaxStep;
        const auto n = RW_READ(fd, p + done, static_cast<unsigned>(step));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = "cannot read input: " + describe(errno);
            break;
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

bool writeFull(int fd, const void* buffer, std::size_t size, std::string& error)
{
    const unsigned char* p = static_cast<const unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        const std::size_t step = size - done < kMaxStep ? size - done : kMaxStep;
        const auto n = RW_WRITE(fd, p + done, static_cast<unsigned>(step));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = "cannot write output: " + describe(errno);
            return false;
        }
        if (n == 0) {
            error = "cannot write output: nothing was written";
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool isTerminal(int fd)
{
    return RW_ISATTY(fd) != 0;
}

} // namespace rawio
