// rangewick: automatic levels for raw video frames on a pipe.
#include "options.h"
#include "run.h"

#include <cstdio>

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
    case cli::Action::Fail:
        std::fprintf(stderr, "rangewick: %s (see rangewick --help)\n", parsed.message.c_str());
        return cli::kExitUsage;
    case cli::Action::Run:
        break;
    }
    return cli::runLevelling(options);
}
