// rangewick: automatic levels for a film (rangewick IN OUT) or raw frames on a pipe.
#include "frei0r_filter.h"
#include "options.h"
#include "run.h"

#if RANGEWICK_FILE_MODE
#include "file_mode.h"
#endif

#include <cstdio>

namespace {

// --ffmpeg-filter: the filter on standard output, anything the module takes otherwise
// on standard error.
int printFilter(const cli::Options& options)
{
    int32_t w = options.width, h = options.height;
    std::string filter, note, problem;
#if RANGEWICK_FILE_MODE
    if (!options.haveSize && !options.inFile.empty() && !cli::videoSize(options.inFile, w, h, problem)) {
        std::fprintf(stderr, "rangewick: %s\n", problem.c_str());
        return cli::kExitFailure;
    }
#endif
    if (!cli::frei0rFilter(options, w, h, filter, note, problem)) {
        std::fprintf(stderr, "rangewick: %s (see rangewick --help)\n", problem.c_str());
        return cli::kExitUsage;
    }
    if (!note.empty())
        std::fprintf(stderr, "rangewick: note: %s\n", note.c_str());
    std::printf("%s\n", filter.c_str());
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? cli::kExitOk : cli::kExitFailure;
}

} // namespace

int main(int argc, char** argv)
{
    cli::Options options;
    const cli::ParseOutcome parsed = cli::parseOptions(argc, argv, options);
    switch (parsed.action) {
    case cli::Action::Help:
        std::fputs(cli::helpText().c_str(), stdout);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? cli::kExitOk : cli::kExitFailure;
    case cli::Action::Version:
        std::fputs(cli::versionText().c_str(), stdout);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? cli::kExitOk : cli::kExitFailure;
    case cli::Action::PrintFilter:
        return printFilter(options);
    case cli::Action::Fail:
        std::fprintf(stderr, "rangewick: %s (see rangewick --help)\n", parsed.message.c_str());
        return cli::kExitUsage;
    case cli::Action::Run:
        break;
    }
#if RANGEWICK_FILE_MODE
    if (options.mode == cli::Mode::File)
        return cli::runFileLevelling(options);
#endif
    return cli::runLevelling(options);
}
