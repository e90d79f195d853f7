// olmek-cli a: add files to an archive.  The archive's name chooses the
// writer: .lzh and .lha archives are written by the LHA writer, any other
// by the ZIP library.
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

struct Options {
    bool recurse = false;
    int level = -1; // -0 stores
    bool password = false;
    std::string passwordText;
    // 256 or 128: AES; 0: traditional; -1: not chosen (AES-256).
    int aesBits = -1;
    bool junkPaths = false;
    std::string archive;
    std::vector<std::string> files;
};

int usage() {
    std::fprintf(stderr,
                 "usage: olmek-cli a [-r] [-0|-1|-3|-5|-9] [-p PASSWORD [--aes[=128|=256] | "
                 "--zipcrypto]] [-j] ARCHIVE FILE...\n");
    return 2;
}

int addLha(const Options& o) {
    if (o.password) {
        std::fprintf(stderr,
                     "olmek-cli a: LHA archives cannot be encrypted; -p is for ZIP archives\n");
        return 2;
    }
    const std::string cwd = plat::getCurrentDir();
    TLha lha;
    lha.SetArchiveFile(cli::absolutePath(o.archive));
    lha.SetDefaultDir(cwd);
    lha.StoreDirs = !o.junkPaths;
    lha.RecurseDirs = o.recurse;
    lha.CompressMethod = o.level == 0 ? mtStore : mtFrozen;
    // Named files go in even when their names start with a dot.
    lha.FileAttribute().SetftHidden(true);

    bool failed = false;
    for (const std::string& f : o.files) {
        const bool wild = f.find_first_of("*?") != std::string::npos;
        if (!wild && !plat::pathExists(f)) {
            std::fprintf(stderr, "error %d: %s (%s)\n", err::FileNotFound,
                         ErrorMessage(err::FileNotFound).c_str(), cli::printable(f).c_str());
            failed = true;
            continue;
        }
        // A folder stands for the files in it; a name without a folder
        // gets "./" so that it is stored as given, not under the full path
        // of the current folder.
        std::string line = f;
        if (!wild && plat::directoryExists(f))
            line = plat::includeTrailingDelimiter(f) + "*";
        else if (line.find('/') == std::string::npos)
            line = "./" + line;
        lha.FileSpec().Add(line);
    }
    if (lha.FileSpec().Count() == 0) return 1;

    lha.OnEnd = [](TObject*, const std::string& fn, bool) {
        std::printf("%s: added\n", cli::printable(fn).c_str());
        std::fflush(stdout);
    };
    lha.OnError = [&](TObject*, const std::string& fn, const std::string&, int code) {
        cli::printError(code, fn);
        failed = true;
    };
    const bool ok = lha.Compress();
    return ok && !failed ? 0 : 1;
}

int addZip(const Options& o) {
    cli::ZipAddOptions z;
    z.recurse = o.recurse;
    z.junkPaths = o.junkPaths;
    z.level = o.level;
    z.password = o.passwordText;
    z.aesBits = o.aesBits < 0 ? 256 : o.aesBits;
    z.archive = o.archive;
    z.files = o.files;
    return cli::zipAdd(z);
}

int run(const std::vector<std::string>& args) {
    Options o;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-r")
            o.recurse = true;
        else if (a == "-j")
            o.junkPaths = true;
        else if (a == "-p" && i + 1 < args.size()) {
            o.password = true;
            o.passwordText = args[++i];
        } else if (a == "--aes" || a == "--aes=256" || a == "--aes=128" || a == "--zipcrypto") {
            const int bits = a == "--zipcrypto" ? 0 : a == "--aes=128" ? 128 : 256;
            if (o.aesBits >= 0 && o.aesBits != bits) {
                std::fprintf(stderr,
                             "olmek-cli a: choose one of --aes, --aes=128 and --zipcrypto\n");
                return 2;
            }
            o.aesBits = bits;
        } else if (a.size() == 2 && a[0] == '-' &&
                   std::string("01359").find(a[1]) != std::string::npos)
            o.level = a[1] - '0';
        else if (a == "--") {
            rest.insert(rest.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
            break;
        } else if (a.size() > 1 && a[0] == '-')
            return usage();
        else
            rest.push_back(a);
    }
    if (rest.size() < 2) return usage();
    if (o.aesBits >= 0 && !o.password) {
        std::fprintf(stderr, "olmek-cli a: --aes and --zipcrypto need a password (-p)\n");
        return 2;
    }
    o.archive = rest[0];
    o.files.assign(rest.begin() + 1, rest.end());
    switch (cli::writerFor(o.archive)) {
    case cli::Writer::Lha:
        return addLha(o);
    case cli::Writer::Zip:
        return addZip(o);
    }
    return 2;
}

const bool registered = cli::registerVerb(
    {"a",
     "a [-r] [-0|-1|-3|-5|-9] [-p PASSWORD [--aes[=128|=256] | --zipcrypto]] [-j] ARCHIVE FILE...",
     "Add files to an archive, made when missing (.lzh and .lha: LHA, others: ZIP, where a name "
     "it holds is replaced); a folder adds the files in it, -r those of its subfolders too; -0 "
     "stores, -9 compresses most, -p encrypts (ZIP) with AES-256 (--aes=128: AES-128; "
     "--zipcrypto: the old, weak ZIP encryption, for tools without AES), -j drops folder names.",
     run});

} // namespace
