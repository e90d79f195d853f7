#include "cli/ZipArchives.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <set>

#include "archive/core/MatchSpec.h"
#include "archive/format/ZipFormat.h"
#include "archive/list/ArcLister.h"
#include "archive/zip/SfxJoin.h"
#include "archive/zip/UnZipper.h"
#include "archive/zip/Zipper.h"
#include "archive/zip/ZlExceptions.h"
#include "cli/Ask.h"
#include "cli/Verb.h"
#include "platform/FileSystem.h"
#include "platform/Time.h"

namespace cli {

namespace {

std::string absolute(const std::string& path) {
    if (path.empty() || path[0] == '/') return path;
    return plat::includeTrailingDelimiter(plat::getCurrentDir()) + path;
}

void printFailure(const std::string& name, const std::string& what) {
    if (name.empty())
        std::fprintf(stderr, "error: %s\n", what.c_str());
    else
        std::fprintf(stderr, "error: %s (%s)\n", what.c_str(), printable(name).c_str());
}

// The text of an item failure.
std::string failureText(TZlErrorClass cls, int code) {
    switch (cls) {
    case ecLibrary:
        return EZlException(code).what();
    case ecInOutError:
        return std::strerror(code);
    case ecFileOpenError:
        return "Cannot open the file";
    case ecFileCreateError:
        return "Cannot create the file";
    default:
        return "Cannot read the file";
    }
}

// A percentage on standard error, when that is a terminal and the run has
// lasted a second; cleared at the end.
class TerminalProgress {
public:
    TerminalProgress() : tty_(::isatty(STDERR_FILENO)), start_(clock::now()) {}
    ~TerminalProgress() {
        if (shown_) std::fprintf(stderr, "\r%*s\r", 40, "");
    }
    void show(const std::string& what, int percent) {
        if (!tty_ || percent == last_) return;
        if (!shown_ && clock::now() - start_ < std::chrono::seconds(1)) return;
        shown_ = true;
        last_ = percent;
        std::fprintf(stderr, "\r%s %3d%%", what.c_str(), percent);
        std::fflush(stderr);
    }

private:
    using clock = std::chrono::steady_clock;
    bool tty_;
    bool shown_ = false;
    int last_ = -1;
    clock::time_point start_;
};

} // namespace

int zipAdd(const ZipAddOptions& o) {
    const std::string archive = absolute(o.archive);
    TZlZipper z;
    bool failed = false;
    TerminalProgress progress;
    std::set<std::string> failedNames;
    try {
        z.SetBaseDirectory(plat::getCurrentDir());
        z.SetCompressionMethodToUse(o.level == 0 ? smStored : smBestMethod);
        z.SetDeflationOption(o.level == 1   ? doSuperFast
                             : o.level == 3 ? doFast
                             : o.level == 9 ? doMaximum
                                            : doNormal);
        z.SetPassword(o.password);
        z.SetEncryption(o.aesBits == 0 ? zeTraditional : o.aesBits == 128 ? zeAes128 : zeAes256);
        z.OnProcessItemFailure = [&](TObject*, TZlArchiveItem* item, TZlProcessType,
                                     TZlErrorClass cls, int code) {
            printFailure(item->FileName(), failureText(cls, code));
            failedNames.insert(item->FileName());
            failed = true;
        };
        z.OnArchiveProgress = [&](TObject*, std::uint8_t p, bool&) {
            progress.show("compressing", p);
        };
        z.SetFileName(archive);
        // Adding a name the archive holds replaces that member.
        z.Archive()->ReplaceDuplicates = true;
    } catch (const std::exception& e) {
        printFailure(o.archive, e.what());
        return 1;
    }

    for (const std::string& f : o.files) {
        const bool wild = f.find_first_of("*?") != std::string::npos;
        if (!wild && !plat::pathExists(f)) {
            printFailure(f, EZlFileNotFound().what());
            failed = true;
            continue;
        }
        // A folder stands for the files in it (and with -r in its
        // subfolders); only folders and wildcards recurse.
        const bool folder = !wild && plat::directoryExists(f);
        const std::string mask = folder ? plat::includeTrailingDelimiter(f) + "*" : f;
        TZlStoreOptions so{soStripDrive, soRemoveDots};
        if (o.recurse && (folder || wild)) so.Include(soRecurse);
        if (o.junkPaths) so.Include(soStripPath);
        z.SetStoreOptions(so);
        try {
            z.AddFiles(mask, plat::faHidden | plat::faReadOnly | plat::faArchive);
        } catch (const std::exception& e) {
            printFailure(f, e.what());
            failed = true;
        }
    }

    std::vector<std::string> added;
    for (const auto& item : z.Archive()->ItemList)
        if (item->Action == iaAdd || item->Action == iaFreshen) added.push_back(item->FileName());
    try {
        z.Save();
        z.SetFileName("");
    } catch (const std::exception& e) {
        printFailure(o.archive, e.what());
        z.DiscardChanges();
        return 1;
    }
    std::string out;
    for (const std::string& n : added)
        if (!failedNames.count(n)) out += printable(n) + ": added\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    return failed ? 1 : 0;
}

int zipDelete(const std::string& archivePath, const std::vector<std::string>& masks) {
    const std::string archive = absolute(archivePath);
    TZlZipper z;
    TerminalProgress progress;
    std::vector<std::string> deleted;
    try {
        z.OnConfirmProcessItem = [&](TObject*, TZlArchiveItem* item, TZlProcessType type, bool&) {
            if (type == ptDelete) deleted.push_back(item->FileName());
        };
        z.OnArchiveProgress = [&](TObject*, std::uint8_t p, bool&) { progress.show("writing", p); };
        z.SetFileName(archive);
        for (const std::string& m : masks) z.DeleteFiles(m);
        if (deleted.empty()) {
            std::fprintf(stderr, "olmek-cli d: no member matches\n");
            return 1;
        }
        z.Save();
        z.SetFileName("");
    } catch (const std::exception& e) {
        printFailure(archivePath, e.what());
        z.DiscardChanges();
        return 1;
    }
    std::string out;
    for (auto i = deleted.rbegin(); i != deleted.rend(); ++i) out += printable(*i) + ": deleted\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}

int zipSfx(const std::string& stubPath, const std::string& archivePath,
           const std::string& outPath) {
    const std::string out = absolute(outPath);
    const std::string folder = plat::extractFileDir(out);
    std::string temp;
    try {
        TZlFileStream stub(stubPath, fmOpenRead | fmShareDenyWrite);
        TZlFileStream source(archivePath, fmOpenRead | fmShareDenyWrite);
        temp = plat::tempFileIn(folder.empty() ? "." : folder, ".sfx");
        if (temp.empty()) throw EFCreateError("Cannot create a file in \"" + folder + "\"");
        TZlFileStream target(temp, fmCreate);
        ZlMakeSelfExtractor(stub, source, target);
        target.Close();
        ::chmod(temp.c_str(), 0666 & ~plat::creationMask());
        if (!plat::renameFile(temp, out))
            throw EInOutError("Cannot write \"" + outPath + "\": " + std::strerror(errno), errno);
    } catch (const std::exception& e) {
        // A failed join leaves nothing behind.
        if (!temp.empty()) plat::deleteFile(temp);
        printFailure(outPath, e.what());
        return 1;
    }
    std::printf("%s: ok\n", printable(outPath).c_str());
    return 0;
}

bool isZipSplitSet(const std::string& archive) {
    std::string ext = plat::extractFileExt(archive);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string base = archive.substr(0, archive.size() - ext.size());
    if (ext == ".z01") return plat::fileExists(base + ".zip") || plat::fileExists(base + ".ZIP");
    if (ext != ".zip" || !(plat::fileExists(base + ".z01") || plat::fileExists(base + ".Z01")))
        return false;
    try {
        TZlZipArchive a(archive, fmOpenRead | fmShareDenyNone);
        TZlStream* s = a.Stream();
        auto read = [s](std::int64_t pos, void* buf, std::size_t n) {
            s->SetPosition(pos);
            return s->Read(buf, n) == n;
        };
        const auto end = zip::findEndRecord(read, s->Size());
        return end && end->DiskNumber > 0;
    } catch (const std::exception&) {
        return false;
    }
}

bool zipSetEntries(const std::string& archive, std::vector<ZipSetEntry>& entries,
                   std::string& comment) {
    try {
        TZlZipArchive a(absolute(archive), fmOpenRead | fmShareDenyNone);
        a.Load();
        comment = TArcLister::CommentText(a.Footer.Comment);
        for (int i = 0; i < a.Count(); ++i) {
            const TZlZipItem& it = *a.ZipItems(i);
            ZipSetEntry e;
            e.FileName = TArcLister::StoredName(it.FileName());
            e.PackedSize = static_cast<std::int64_t>(it.CompressedSize());
            e.UnpackedSize = static_cast<std::int64_t>(it.UncompressedSize());
            e.Ratio = CalcRatio(e.PackedSize, e.UnpackedSize);
            e.MethodName = zip::methodName(it.CompressionMethod(), it.GeneralPurposeBitFlag());
            e.CRC = it.CRC32();
            e.DosDateTime = it.Record().DosDateTime();
            e.ExternalAttr = it.ExternalFileAttributes();
            e.Offset = static_cast<std::int64_t>(it.RelativeOffsetOfLocalHeader());
            e.Encrypted = it.IsEncrypted();
            e.Folder = (e.ExternalAttr & 0x10) || (!e.FileName.empty() && e.FileName.back() == '/');
            e.FileComment = TArcLister::CommentText(it.FileComment());
            entries.push_back(std::move(e));
        }
    } catch (const std::exception& e) {
        printFailure(archive, e.what());
        return false;
    }
    return true;
}

int zipSetExtract(const std::string& archive, const ZipSetExtractOptions& o) {
    TZlUnZipper u;
    u.TestOnly = o.test;
    u.SetExtractOptions(o.junkPaths ? TZlExtractOptions{eoCreateDirs}
                                    : TZlExtractOptions{eoCreateDirs, eoRestorePath});
    if (!o.passwords.empty()) u.SetPassword(o.passwords[0]);
    u.SetPasswordRetries(
        static_cast<std::uint8_t>(std::min<std::size_t>(o.passwords.size() + 3, 255)));
    std::size_t nextPassword = 1;
    const bool tty = interactive();
    std::string current;
    u.OnNeedPassword = [&](TObject*, std::string& password) {
        if (nextPassword < o.passwords.size())
            password = o.passwords[nextPassword++];
        else if (tty)
            password = askLine("password for " + printable(current) + ": ", false);
        else
            throw EZlZipInvalidPassword();
    };
    bool skipped = false;
    const std::string root = plat::includeTrailingDelimiter(o.dir);
    u.OnConfirmOverwrite = [&](std::string& name, bool& confirm) {
        const std::string shown =
            name.compare(0, root.size(), root) == 0 ? name.substr(root.size()) : name;
        confirm = o.overwrite > 0 || (o.overwrite == 0 && tty && askYes("replace " + shown + "?"));
        skipped = !confirm;
    };
    bool failed = false;
    try {
        u.SetBaseDirectory(o.dir);
        u.SetFileName(absolute(archive));
        if (!u.Archive()) throw EZlFileNotFound();
        TZlZipArchive& a = *u.Archive();
        for (int i = 0; i < a.Count(); ++i) {
            const TZlZipItem& it = *a.ZipItems(i);
            current = TArcLister::StoredName(it.FileName());
            const bool folder = !current.empty() && current.back() == '/';
            if (folder || !MatchSpec(o.mask, current, false)) continue;
            skipped = false;
            std::string verdict = "ok";
            try {
                u.ExtractAt(i);
                if (skipped) verdict = "skipped";
            } catch (const EZlUserAbort&) {
                throw;
            } catch (const EZlZipBadCRC&) {
                verdict = "CRC error";
                failed = true;
            } catch (const std::exception& e) {
                verdict = e.what();
                failed = true;
            }
            std::printf("%s: %s\n", printable(current).c_str(), verdict.c_str());
        }
    } catch (const std::exception& e) {
        printFailure(archive, e.what());
        return 1;
    }
    std::fflush(stdout);
    return failed ? 1 : 0;
}

} // namespace cli
