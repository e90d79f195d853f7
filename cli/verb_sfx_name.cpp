// olmek-cli sfx-name EXE: the name proposed for the plain archive inside a
// self-extracting program.
#include <cstdio>

#include "archive/extract/UnSFX.h"
#include "cli/Verb.h"

namespace {

int runSfxName(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: olmek-cli sfx-name EXE\n");
        return 2;
    }
    TUnSFX sfx;
    try {
        sfx.SetArchiveFile(args[0]);
    } catch (const E_RAISE& e) {
        std::fprintf(stderr, "%s: %s\n", cli::printable(args[0]).c_str(), e.what());
        return 1;
    }
    if (sfx.OutFilename().empty()) return 1;
    std::printf("%s\n", cli::printable(sfx.OutFilename()).c_str());
    return 0;
}

const bool registered = cli::registerVerb(
    {"sfx-name", "sfx-name EXE",
     "Print the name proposed for the archive inside a self-extracting program.", runSfxName});

} // namespace
