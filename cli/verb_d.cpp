// olmek-cli d: delete the members that match the masks from an archive.
// The archive's name chooses the writer, as for olmek-cli a.
#include <cstdio>
#include <string>
#include <vector>

#include "archive/core/Errors.h"
#include "archive/writers/Lha.h"
#include "cli/Verb.h"
#include "cli/Writers.h"
#include "cli/ZipArchives.h"
#include "platform/FileSystem.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: olmek-cli d ARCHIVE MASK...\n");
    return 2;
}

int deleteLha(const std::string& archive, const std::vector<std::string>& masks) {
    TLha lha;
    lha.SetArchiveFile(cli::absolutePath(archive));
    lha.Switch = swDelete;
    for (const std::string& m : masks) lha.FileSpec().Add(m);
    bool failed = false;
    lha.OnEnd = [](TObject*, const std::string& fn, bool) {
        std::printf("%s: deleted\n", cli::printable(fn).c_str());
    };
    lha.OnError = [&](TObject*, const std::string& fn, const std::string&, int code) {
        cli::printError(code, fn);
        failed = true;
    };
    const bool ok = lha.Compress();
    if (ok && lha.ArchiveFile().empty())
        std::printf("%s: no members left, removed\n", cli::printable(archive).c_str());
    return ok && !failed ? 0 : 1;
}

int run(const std::vector<std::string>& args) {
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--") {
            rest.insert(rest.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
            break;
        }
        if (args[i].size() > 1 && args[i][0] == '-') return usage();
        rest.push_back(args[i]);
    }
    if (rest.size() < 2) return usage();
    const std::string archive = rest[0];
    const std::vector<std::string> masks(rest.begin() + 1, rest.end());
    if (!plat::fileExists(archive)) {
        cli::printError(err::FileNotFound, archive);
        return 1;
    }
    if (cli::writerFor(archive) == cli::Writer::Lha) return deleteLha(archive, masks);
    return cli::zipDelete(archive, masks);
}

const bool registered = cli::registerVerb(
    {"d", "d ARCHIVE MASK...",
     "Delete the members matching the masks (wildcards, case-insensitive) from an archive "
     "(.lzh and .lha: LHA, where an archive left empty is removed; others: ZIP, where it stays "
     "as an empty archive).",
     run});

} // namespace
