// olmek-cli x and t: extract the members of an archive, or decode them and
// check their CRCs without writing anything.  Both verbs live here because
// they share the extractor table and the event handlers.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "archive/core/ArcRoot.h"
#include "archive/extract/Extractors.h"
#include "archive/list/ArcLister.h"
#include "cli/Ask.h"
#include "cli/Verb.h"
#include "cli/ZipArchives.h"
#include "platform/FileSystem.h"

namespace {

struct Options {
    bool test = false;
    std::string dir;
    bool junkPaths = false;
    std::vector<std::string> passwords;
    int overwrite = 0; // 1 = always, -1 = never, 0 = ask when possible
    std::string archive;
    std::string mask = "*.*";
    std::int64_t maxSize = -1; // refuse archives that state more output than this
};

int usage(bool test) {
    std::fprintf(
        stderr,
        test ? "usage: olmek-cli t [-p PASSWORD]... [--max-size BYTES] ARCHIVE [MASK]\n"
             : "usage: olmek-cli x [-d DIR] [-j] [-p PASSWORD]... [-y | -n] [--max-size BYTES] "
               "ARCHIVE [MASK]\n");
    return 2;
}

int run(const std::vector<std::string>& args, bool test) {
    Options o;
    o.test = test;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-d" && !test && i + 1 < args.size())
            o.dir = args[++i];
        else if (a == "-p" && i + 1 < args.size())
            o.passwords.push_back(args[++i]);
        else if (a == "-j" && !test)
            o.junkPaths = true;
        else if (a == "-y" && !test)
            o.overwrite = 1;
        else if (a == "-n" && !test)
            o.overwrite = -1;
        else if (a == "--max-size" && i + 1 < args.size()) {
            char* end = nullptr;
            const std::string& v = args[++i];
            const long long n = std::strtoll(v.c_str(), &end, 10);
            if (v.empty() || *end || n < 0) return usage(test);
            o.maxSize = n;
        } else if (a == "--") {
            rest.insert(rest.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
            break;
        } else if (a.size() > 1 && a[0] == '-')
            return usage(test);
        else
            rest.push_back(a);
    }
    if (rest.empty() || rest.size() > 2) return usage(test);
    o.archive = rest[0];
    if (rest.size() == 2) o.mask = rest[1];

    // Relative names are taken from the current folder.
    const std::string cwd = plat::getCurrentDir();
    std::string dir = o.dir.empty() ? cwd : o.dir;
    if (dir[0] != '/') dir = plat::includeTrailingDelimiter(cwd) + dir;
    if (!test && !plat::directoryExists(dir) && !plat::forceDirectories(dir)) {
        std::fprintf(stderr, "error %d: %s (%s)\n", err::CreateDirError,
                     ErrorMessage(err::CreateDirError).c_str(), dir.c_str());
        return 1;
    }

    std::string archive = o.archive;
    if (!archive.empty() && archive[0] != '/')
        archive = plat::includeTrailingDelimiter(cwd) + archive;
    if (cli::isZipSplitSet(archive)) {
        // The extractors read one file; a split set goes through the ZIP
        // library.
        cli::ZipSetExtractOptions z;
        z.test = test;
        z.dir = dir;
        z.junkPaths = o.junkPaths;
        z.passwords = o.passwords;
        z.overwrite = o.overwrite;
        z.mask = o.mask;
        return cli::zipSetExtract(archive, z);
    }
    TZipCommon probe;
    probe.SetArchiveFile(archive);
    std::unique_ptr<TUnBase> x = ExtractorTable::instance().make(probe.ArcType());
    if (!x) {
        int code = probe.ArcType() == atFileError ? err::OpenError : err::UnsupportedArcType;
        std::fprintf(stderr, "error %d: %s (%s)\n", code, ErrorMessage(code).c_str(),
                     cli::printable(o.archive).c_str());
        return 1;
    }
    if (o.maxSize >= 0) {
        // What the archive says it holds, before anything is written.
        TArcLister lister;
        lister.OnRead = [](TObject*, std::int64_t, int) {};
        lister.SetArchiveFile(archive);
        lister.SetFileSpec(o.mask);
        lister.Activate();
        if (lister.TotalUnpackedSize > o.maxSize) {
            std::fprintf(
                stderr, "error: %s states %lld bytes of output, more than --max-size %lld\n",
                cli::printable(o.archive).c_str(), static_cast<long long>(lister.TotalUnpackedSize),
                static_cast<long long>(o.maxSize));
            return 1;
        }
    }
    x->SetArchiveFile(archive);
    x->SetExtractDir(dir);
    x->SetFileSpec(o.mask);
    x->UseStoredDirs = !o.junkPaths;
    x->TestOnly = test;
    for (const auto& p : o.passwords) x->Passwords.Add(p);

    const bool tty = cli::interactive();
    const std::string root = x->ExtractDir();
    auto shown = [&](const std::string& fn) {
        return cli::printable(fn.compare(0, root.size(), root) == 0 ? fn.substr(root.size()) : fn);
    };
    bool failed = false;
    bool declined = false;
    bool anyDeclined = false;
    bool inMember = false;
    std::string current;
    int lastReported = 0;

    x->OnFileExists = [&](TObject*, const std::string& fn, TDateTime, bool& accept) {
        if (o.overwrite != 0)
            accept = o.overwrite > 0;
        else
            accept = tty && cli::askYes("replace " + shown(fn) + "?");
        declined = !accept;
    };
    x->OnBegin = [&](TObject*, const std::string& fn, int, bool& extract) {
        current = fn;
        inMember = extract;
        if (!extract) declined = true;
    };
    x->OnGetPassword = [&](TObject*, const std::string& fn, std::string& password, bool& tryAgain) {
        if (!tty) {
            tryAgain = false;
            return;
        }
        password = cli::askLine("password for " + shown(fn) + ": ", false);
    };
    x->OnEnd = [&](TObject*, const std::string& fn, bool pass) {
        const char* verdict = declined ? "skipped" : pass ? "ok" : "CRC error";
        if (!declined && !pass) failed = true;
        anyDeclined = anyDeclined || declined;
        std::printf("%s: %s\n", shown(fn).c_str(), verdict);
        declined = false;
        inMember = false;
    };
    x->OnError = [&](TObject*, const std::string& fn, const std::string&, int code) {
        lastReported = code;
        if (fn.empty())
            std::fprintf(stderr, "error %d: %s\n", code, ErrorMessage(code).c_str());
        else
            std::fprintf(stderr, "error %d: %s (%s)\n", code, ErrorMessage(code).c_str(),
                         cli::printable(fn).c_str());
        if (code != err::InvalidPassword && code != err::SkippedFile && code != err::NothingToDo)
            failed = true;
        // A refused name gets its member line too.
        if (code == err::InvalidFileName && !fn.empty())
            std::printf("%s: %s\n", cli::printable(fn).c_str(), ErrorMessage(code).c_str());
    };

    x->Extract();
    std::fflush(stdout);
    // Keeping every existing file on request is not a failure.
    if (x->StopCode != 0 && !(x->StopCode == err::NothingToDo && anyDeclined)) {
        failed = true;
        if (inMember)
            std::printf("%s: %s\n", shown(current).c_str(), ErrorMessage(x->StopCode).c_str());
        std::fflush(stdout);
        if (lastReported != x->StopCode || !x->StopReason.empty())
            std::fprintf(stderr, "error %d: %s%s%s\n", x->StopCode,
                         ErrorMessage(x->StopCode).c_str(), x->StopReason.empty() ? "" : ": ",
                         x->StopReason.c_str());
    }
    return failed ? 1 : 0;
}

const bool registeredX = cli::registerVerb(
    {"x", "x [-d DIR] [-j] [-p PASSWORD]... [-y | -n] [--max-size BYTES] ARCHIVE [MASK]",
     "Extract the members of an archive (MASK selects them) into DIR, default the current "
     "folder; --max-size refuses an archive that states more output.",
     [](const std::vector<std::string>& a) { return run(a, false); }});

const bool registeredT = cli::registerVerb(
    {"t", "t [-p PASSWORD]... [--max-size BYTES] ARCHIVE [MASK]",
     "Decode the members of an archive and check their CRCs without writing anything.",
     [](const std::vector<std::string>& a) { return run(a, true); }});

} // namespace
