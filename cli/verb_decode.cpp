// olmek-cli decode: restores the files that uuencoded, xxencoded or Base64
// texts carry, under the names of their "begin" lines.
#include <cstdio>
#include <string>
#include <vector>

#include "archive/core/Errors.h"
#include "archive/writers/UUCode.h"
#include "archive/writers/UUCodec.h"
#include "cli/Ask.h"
#include "cli/Verb.h"
#include "platform/File.h"
#include "platform/FileSystem.h"

namespace {

// How far into a text the "begin" line is looked for.
constexpr std::size_t kDetectWindow = 1 << 20;

int usage() {
    std::fprintf(stderr, "usage: olmek-cli decode [-d DIR] [-y] FILE...\n");
    return 2;
}

int run(const std::vector<std::string>& args) {
    std::string dir;
    bool yes = false;
    std::vector<std::string> files;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-d" && i + 1 < args.size())
            dir = args[++i];
        else if (a == "-y")
            yes = true;
        else if (a == "--") {
            files.insert(files.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                         args.end());
            break;
        } else if (a.size() > 1 && a[0] == '-')
            return usage();
        else
            files.push_back(a);
    }
    if (files.empty()) return usage();
    if (!dir.empty() && !plat::directoryExists(dir) && !plat::forceDirectories(dir)) {
        std::fprintf(stderr, "error %d: %s (%s)\n", err::CreateDirError,
                     ErrorMessage(err::CreateDirError).c_str(), dir.c_str());
        return 1;
    }

    bool failed = false;
    for (const auto& file : files) {
        TUUCode uu;
        uu.InputFile = file;
        uu.OutputDir = dir;
        uu.OnFileExists = [&](TObject*, const std::string& fn, TDateTime, bool& accept) {
            accept = yes || (cli::interactive() && cli::askYes("replace " + fn + "?"));
        };
        try {
            plat::File in;
            if (!in.open(file, plat::File::Mode::Read)) throw EInOutError(err::OpenError, file);
            std::vector<std::uint8_t> head(kDetectWindow);
            const std::int64_t got = in.read(head.data(), head.size());
            if (got < 0) throw EInOutError(err::ReadError, file);
            in.close();
            uucodec::Scheme scheme;
            if (!uucodec::detectScheme(head.data(), static_cast<std::size_t>(got), scheme))
                throw EUUCode("No begin line found");
            uu.Algorithm = scheme == uucodec::Scheme::UU   ? uudecode
                           : scheme == uucodec::Scheme::XX ? xxdecode
                                                           : base64decode;
            const bool written = uu.Execute();
            std::printf("%s: %s\n", cli::printable(uu.OutputFile).c_str(),
                        written ? "ok" : "skipped");
        } catch (const EInOutError& e) {
            std::fprintf(stderr, "error %d: %s (%s)\n", e.ErrorCode, e.what(),
                         cli::printable(e.FileName).c_str());
            failed = true;
        } catch (const Exception& e) {
            std::fprintf(stderr, "error: %s (%s)\n", e.what(), cli::printable(file).c_str());
            failed = true;
        }
        std::fflush(stdout);
    }
    return failed ? 1 : 0;
}

const bool registered = cli::registerVerb(
    {"decode", "decode [-d DIR] [-y] FILE...",
     "Restore the files that uuencoded, xxencoded or Base64 texts carry, under the names of "
     "their \"begin\" lines, into DIR, default the text's folder; -y replaces existing files "
     "without asking.",
     run});

} // namespace
