// olmek-cli type FILE...: the detected archive type of each file.
#include "archive/core/ArcRoot.h"
#include "cli/Verb.h"

#include <cstdio>

namespace {

int runType(const std::vector<std::string>& args) {
    if (args.empty()) {
        std::fprintf(stderr, "usage: olmek-cli type FILE...\n");
        return 2;
    }
    int status = 0;
    for (const auto& path : args) {
        TZipCommon probe;
        try {
            probe.SetArchiveFile(path);
        } catch (const E_RAISE& e) {
            std::fprintf(stderr, "%s: %s\n", cli::printable(path).c_str(), e.what());
            status = 1;
            continue;
        }
        std::printf("%s\t%lld\t%s\n", arcTypeDisplayName(probe.ArcType()).c_str(),
                    static_cast<long long>(probe.ArchiveStart), cli::printable(path).c_str());
    }
    return status;
}

const bool registered = cli::registerVerb(
    {"type", "type FILE...",
     "Print the archive type, the archive's start position and the name of each file.", runType});

} // namespace
