// olmek-cli sfx STUB ARCHIVE OUT: a self-extracting program made of a stub
// and a ZIP archive, the archive's offsets moved by the stub's length.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Verb.h"
#include "cli/ZipArchives.h"

namespace {

int run(const std::vector<std::string>& args) {
    if (args.size() != 3 || (!args.empty() && args[0].size() > 1 && args[0][0] == '-')) {
        std::fprintf(stderr, "usage: olmek-cli sfx STUB ARCHIVE OUT\n");
        return 2;
    }
    return cli::zipSfx(args[0], args[1], args[2]);
}

const bool registered = cli::registerVerb(
    {"sfx", "sfx STUB ARCHIVE OUT",
     "Write the self-extractor STUB (a program beginning with \"MZ\") followed by the ZIP "
     "ARCHIVE to OUT, with the archive's offsets moved so that OUT is a ZIP archive too.",
     run});

} // namespace
