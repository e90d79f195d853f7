// olmek-cli l [--tsv] [--dirs] [-m MASK] ARCHIVE: the archive's directory as
// the viewer shows it, or as tab-separated values for scripts.
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "archive/core/MatchSpec.h"
#include "archive/list/ArcLister.h"
#include "cli/Verb.h"
#include "cli/ZipArchives.h"
#include "platform/FileSystem.h"

namespace {

// Tabs, line ends and backslashes would break a TSV line.
std::string escapeField(const std::string& s) {
    return cli::printable(s);
}

// The viewer splits a stored path at its last separator.
void splitPath(const std::string& path, std::string& folder, std::string& name) {
    auto cut = path.find_last_of("/:");
    if (cut == std::string::npos) {
        folder.clear();
        name = path;
        return;
    }
    folder = path.substr(0, cut + 1);
    name = path.substr(cut + 1);
}

std::string hex8(std::uint32_t v) {
    char b[16];
    std::snprintf(b, sizeof b, "%08" PRIX32, v);
    return b;
}

struct Row {
    std::vector<std::string> cells;
};

// A member as a listing shows it.
struct Entry {
    std::string FileName;
    std::int64_t PackedSize;
    std::int64_t UnpackedSize;
    std::uint8_t Ratio;
    std::string MethodName;
    std::uint32_t CRC;
    TDateTime DateTime;
    std::uint32_t ExternalAttr;
    std::int64_t Offset;
    bool Encrypted;
    std::string FileComment;
};

const char* const kColumns[] = {"FileName", "Date",      "Time",        "Packed", "Unpacked",
                                "Ratio",    "Method",    "Attr",        "Folder", "CRC",
                                "Offset",   "Encrypted", "File Comment"};
// Right-aligned: the number columns.
const bool kRight[] = {false, false, false, true, true,  true, false,
                       true,  false, true,  true, false, false};
constexpr std::size_t kColumnCount = sizeof kColumns / sizeof kColumns[0];

// Display width in characters (UTF-8 continuation bytes do not count).
std::size_t displayWidth(const std::string& s) {
    std::size_t w = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++w;
    return w;
}

void appendPadded(std::string& out, const std::string& s, std::size_t width, bool right) {
    std::size_t w = displayWidth(s);
    std::string pad(width > w ? width - w : 0, ' ');
    if (right)
        out += pad + s;
    else
        out += s + pad;
}

int runList(const std::vector<std::string>& args) {
    bool tsv = false, dirs = false;
    std::string mask = "*.*", archive;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--tsv")
            tsv = true;
        else if (a == "--dirs")
            dirs = true;
        else if (a == "-m" && i + 1 < args.size())
            mask = args[++i];
        else if (archive.empty() && (a.empty() || a[0] != '-' || a == "-"))
            archive = a;
        else {
            std::fprintf(stderr, "usage: olmek-cli l [--tsv] [--dirs] [-m MASK] ARCHIVE\n");
            return 2;
        }
    }
    if (archive.empty()) {
        std::fprintf(stderr, "usage: olmek-cli l [--tsv] [--dirs] [-m MASK] ARCHIVE\n");
        return 2;
    }
    if (archive[0] != '/')
        archive = plat::includeTrailingDelimiter(plat::getCurrentDir()) + archive;
    if (!plat::fileExists(archive)) {
        std::fprintf(stderr, "error %d: %s\n", err::FileNotFound,
                     ErrorMessage(err::FileNotFound).c_str());
        return 1;
    }

    TArcLister lister;
    lister.OnError = [](TObject*, const std::string&, const std::string&, int code) {
        std::fprintf(stderr, "error %d: %s\n", code, ErrorMessage(code).c_str());
    };
    std::string out;
    std::vector<Row> rows;
    std::string totals, comment;
    if (tsv)
        out = "path\tpacked\tunpacked\tratio\tmethod\tcrc\tdate\ttime\tattr\toffset\tencrypted\tcom"
              "ment\n";

    // One member's line.
    auto addEntry = [&](const Entry& e) {
        plat::DateTimeParts t = plat::decodeDateTime(e.DateTime);
        char buf[64];
        if (tsv) {
            out += escapeField(e.FileName);
            std::snprintf(buf, sizeof buf, "\t%" PRId64 "\t%" PRId64 "\t%u\t", e.PackedSize,
                          e.UnpackedSize, static_cast<unsigned>(e.Ratio));
            out += buf;
            out += escapeField(e.MethodName);
            std::snprintf(buf, sizeof buf,
                          "\t%08" PRIX32 "\t%04d-%02d-%02d\t%02d:%02d:%02d\t%" PRIu32 "\t%" PRId64
                          "\t",
                          e.CRC, t.year, t.month, t.day, t.hour, t.minute, t.second, e.ExternalAttr,
                          e.Offset);
            out += buf;
            out += e.Encrypted ? "Yes\t" : "No\t";
            out += escapeField(e.FileComment);
            out += '\n';
            if (out.size() > (1u << 16)) {
                std::fwrite(out.data(), 1, out.size(), stdout);
                out.clear();
            }
            return;
        }
        Row r;
        std::string folder, name;
        splitPath(e.FileName, folder, name);
        r.cells.push_back(escapeField(name));
        std::snprintf(buf, sizeof buf, "%02d-%02d-%02d", t.month, t.day, t.year % 100);
        r.cells.push_back(buf);
        std::snprintf(buf, sizeof buf, "%02d:%02d", t.hour, t.minute);
        r.cells.push_back(buf);
        r.cells.push_back(std::to_string(e.PackedSize));
        r.cells.push_back(std::to_string(e.UnpackedSize));
        r.cells.push_back(std::to_string(e.Ratio) + "%");
        r.cells.push_back(escapeField(e.MethodName));
        r.cells.push_back(std::to_string(e.ExternalAttr));
        r.cells.push_back(escapeField(folder));
        r.cells.push_back(hex8(e.CRC));
        r.cells.push_back(std::to_string(e.Offset));
        r.cells.push_back(e.Encrypted ? "Yes" : "No");
        r.cells.push_back(escapeField(e.FileComment));
        rows.push_back(std::move(r));
    };
    auto setTotals = [&](int files, std::int64_t packed, std::int64_t unpacked,
                         std::uint8_t ratio) {
        char buf[128];
        if (tsv)
            std::snprintf(buf, sizeof buf, "TOTAL\t%d\t%" PRId64 "\t%" PRId64 "\t%u\n", files,
                          packed, unpacked, static_cast<unsigned>(ratio));
        else
            std::snprintf(buf, sizeof buf,
                          "Files: %d  Packed: %" PRId64 "  Unpacked: %" PRId64 "  Ratio: %u%%\n",
                          files, packed, unpacked, static_cast<unsigned>(ratio));
        totals = buf;
    };
    lister.OnRead = [&](TObject*, std::int64_t offset, int) {
        addEntry({lister.FileName, lister.PackedSize, lister.UnpackedSize, lister.Ratio,
                  lister.MethodName, lister.CRC, lister.DateTime, lister.ExternalAttr, offset,
                  lister.Encrypted, lister.FileComment});
    };
    lister.OnTotals = [&](TObject*, int files) {
        setTotals(files, lister.TotalPackedSize, lister.TotalUnpackedSize, lister.TotalRatio);
        comment = lister.ArchiveComment;
    };

    bool ok = false;
    if (cli::isZipSplitSet(archive)) {
        // The lister reads one file; a split set is read through the ZIP
        // library, with the lister's selection rules.
        std::vector<cli::ZipSetEntry> entries;
        ok = cli::zipSetEntries(archive, entries, comment);
        int files = 0;
        std::int64_t packed = 0, unpacked = 0;
        for (const cli::ZipSetEntry& z : entries) {
            if (z.Folder ? !dirs : !MatchSpec(mask, z.FileName, true)) continue;
            if (!z.Folder) {
                ++files;
                packed += z.PackedSize;
                unpacked += z.UnpackedSize;
            }
            addEntry({z.FileName, z.PackedSize, z.UnpackedSize, z.Ratio, z.MethodName, z.CRC,
                      plat::dosToDateTime(z.DosDateTime), z.ExternalAttr, z.Offset, z.Encrypted,
                      z.FileComment});
        }
        if (ok) setTotals(files, packed, unpacked, CalcRatio(packed, unpacked));
    } else {
        try {
            lister.SetArchiveFile(archive);
            lister.SetFileSpec(mask);
            lister.ShowBlankDirs = dirs;
            ok = lister.Activate();
        } catch (const E_RAISE&) {
            ok = false;
        }
    }

    if (tsv) {
        out += totals;
    } else {
        std::size_t width[kColumnCount];
        for (std::size_t c = 0; c < kColumnCount; ++c) width[c] = displayWidth(kColumns[c]);
        for (const Row& r : rows)
            for (std::size_t c = 0; c < kColumnCount; ++c)
                width[c] = std::max(width[c], displayWidth(r.cells[c]));
        auto line = [&](auto cell) {
            std::string l;
            for (std::size_t c = 0; c < kColumnCount; ++c) {
                if (c) l += "  ";
                appendPadded(l, cell(c), c + 1 == kColumnCount ? 0 : width[c], kRight[c]);
            }
            while (!l.empty() && l.back() == ' ') l.pop_back();
            out += l + '\n';
        };
        line([](std::size_t c) { return std::string(kColumns[c]); });
        for (const Row& r : rows) line([&](std::size_t c) { return r.cells[c]; });
        out += totals;
        if (!comment.empty())
            out += "Archive Comment:\n" + cli::printable(comment, true) +
                   (comment.back() == '\n' ? "" : "\n");
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    return ok ? 0 : 1;
}

const bool registered = cli::registerVerb(
    {"l", "l [--tsv] [--dirs] [-m MASK] ARCHIVE",
     "List the members of an archive (--tsv: tab-separated; --dirs: show folder entries).",
     runList});

} // namespace
