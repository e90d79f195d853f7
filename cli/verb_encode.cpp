// olmek-cli encode: each FILE becomes FILE.uue, FILE.xxe or FILE.b64 with a
// "begin" line carrying the file's name and permissions.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/core/Errors.h"
#include "archive/writers/UUCode.h"
#include "cli/Ask.h"
#include "cli/Verb.h"
#include "platform/FileSystem.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: olmek-cli encode uu|xx|b64 [-d DIR] [-y] FILE...\n");
    return 2;
}

// The permission bits as the decimal digits the "begin" line shows.
std::uint16_t modeDigits(const std::string& path) {
    std::error_code ec;
    auto perms = std::filesystem::status(path, ec).permissions();
    if (ec) return 644;
    unsigned m = static_cast<unsigned>(perms) & 0777;
    return static_cast<std::uint16_t>((m >> 6) * 100 + (m >> 3 & 7) * 10 + (m & 7));
}

int run(const std::vector<std::string>& args) {
    std::string dir, scheme;
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
        else if (scheme.empty())
            scheme = a;
        else
            files.push_back(a);
    }
    TAlgorithm algorithm;
    std::string ext;
    if (scheme == "uu")
        algorithm = uuencode, ext = ".uue";
    else if (scheme == "xx")
        algorithm = xxencode, ext = ".xxe";
    else if (scheme == "b64")
        algorithm = base64encode, ext = ".b64";
    else
        return usage();
    if (files.empty()) return usage();
    if (!dir.empty() && !plat::directoryExists(dir) && !plat::forceDirectories(dir)) {
        std::fprintf(stderr, "error %d: %s (%s)\n", err::CreateDirError,
                     ErrorMessage(err::CreateDirError).c_str(), dir.c_str());
        return 1;
    }

    bool failed = false;
    for (const auto& file : files) {
        TUUCode uu;
        uu.Algorithm = algorithm;
        uu.InputFile = file;
        uu.OutputFile =
            (dir.empty() ? file
                         : plat::includeTrailingDelimiter(dir) + plat::extractFileName(file)) +
            ext;
        uu.FileMode = modeDigits(file);
        uu.OnFileExists = [&](TObject*, const std::string& fn, TDateTime, bool& accept) {
            accept = yes || (cli::interactive() && cli::askYes("replace " + fn + "?"));
        };
        try {
            std::printf("%s: %s\n", cli::printable(uu.OutputFile).c_str(),
                        uu.Execute() ? "ok" : "skipped");
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
    {"encode", "encode uu|xx|b64 [-d DIR] [-y] FILE...",
     "Write each FILE as uuencoded (FILE.uue), xxencoded (FILE.xxe) or Base64 (FILE.b64) text "
     "into DIR, default beside FILE; -y replaces existing files without asking.",
     run});

} // namespace
