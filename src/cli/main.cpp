// munyaro-cli: the analysis of the main window, in a terminal.
#include <cstdio>
#include <cstring>
#include <new>

#include "cli/commands.h"
#include "cli/output.h"
#include "common/apperror.h"
#include "common/programdir.h"

namespace {

void usage(std::FILE* out) {
    std::fprintf(out,
                 "munyaro-cli — むにゃろ without a window\n\n"
                 "usage:\n%s\n%s\n%s\n%s\n"
                 "  munyaro-cli --help\n",
                 cli::reportUsage(), cli::decodeUsage(), cli::fetchUsage(), cli::historyUsage());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        usage(stdout);
        return 0;
    }
    try {
        common::setDataDir(common::locateDataDirForReading(common::programDir()));
    } catch (const std::exception& e) {
        cli::printError(e.what());  // no home folder to find the data in
        return 1;
    }
    try {
        if (argc >= 2 && std::strcmp(argv[1], "report") == 0) return cli::runReport(argc - 1, argv + 1);
        if (argc >= 2 && std::strcmp(argv[1], "decode") == 0) return cli::runDecode(argc - 1, argv + 1);
        if (argc >= 2 && std::strcmp(argv[1], "fetch") == 0) return cli::runFetch(argc - 1, argv + 1);
        if (argc >= 2 && std::strcmp(argv[1], "history") == 0) return cli::runHistory(argc - 1, argv + 1);
    } catch (const std::bad_alloc&) {
        // The commands take back their output themselves; this is for what runs around them.
        cli::printError(common::msg::outOfMemory());
        return 1;
    }
    usage(stderr);
    return 2;
}
