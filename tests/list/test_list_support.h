// Shared helpers of the lister tests for the ARC, PAK, ARJ, LHA and ZOO
// readers: running the lister, peer tools and parsing peer listings.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "archive/list/ArcLister.h"
#include "platform/Time.h"
#include "platform/Utf.h"

namespace listtest {

namespace fs = std::filesystem;

struct Member {
    std::string name;
    std::int64_t packed = 0, unpacked = 0;
    std::uint8_t ratio = 0;
    std::uint32_t crc = 0;
    TDateTime date = 0;
    std::uint16_t method = 0;
    std::string methodName;
    bool encrypted = false;
    std::int64_t offset = 0;
    int filenum = 0;
    std::uint16_t versionMadeBy = 0, versionNeeded = 0;
    std::uint32_t externalAttr = 0;
    std::string comment;
};

struct Listing {
    bool ok = false;
    TArcType type = atNA;
    std::vector<Member> members;
    std::vector<int> errors;
    std::vector<std::string> errorVolumes;
    int totals = -1;
    std::int64_t totalPacked = 0, totalUnpacked = 0;
    std::uint8_t totalRatio = 0;
    std::string comment;
    std::vector<std::string> events;
};

inline Listing list(const std::string& path, const std::string& spec = "*.*",
                    bool showBlankDirs = false) {
    Listing out;
    TArcLister l;
    l.ShowBlankDirs = showBlankDirs;
    l.SetFileSpec(spec);
    l.OnError = [&](TObject*, const std::string&, const std::string& vol, int code) {
        out.errors.push_back(code);
        out.errorVolumes.push_back(vol);
        out.events.push_back("error " + std::to_string(code));
    };
    l.OnActivate = [&](TObject*) { out.events.push_back("activate"); };
    l.OnDeactivate = [&](TObject*) { out.events.push_back("deactivate"); };
    l.OnReadBegin = [&](TObject*) { out.events.push_back("begin"); };
    l.OnReadEnd = [&](TObject*) { out.events.push_back("end"); };
    l.OnRead = [&](TObject*, std::int64_t offset, int filenum) {
        out.events.push_back("read");
        Member m;
        m.name = l.FileName;
        m.packed = l.PackedSize;
        m.unpacked = l.UnpackedSize;
        m.ratio = l.Ratio;
        m.crc = l.CRC;
        m.date = l.DateTime;
        m.method = l.Method;
        m.methodName = l.MethodName;
        m.encrypted = l.Encrypted;
        m.offset = offset;
        m.filenum = filenum;
        m.versionMadeBy = l.VersionMadeBy;
        m.versionNeeded = l.VersionNeeded;
        m.externalAttr = l.ExternalAttr;
        m.comment = l.FileComment;
        out.members.push_back(m);
    };
    l.OnTotals = [&](TObject*, int n) {
        out.events.push_back("totals");
        out.totals = n;
        out.totalPacked = l.TotalPackedSize;
        out.totalUnpacked = l.TotalUnpackedSize;
        out.totalRatio = l.TotalRatio;
        out.comment = l.ArchiveComment;
    };
    l.SetArchiveFile(path);
    out.type = l.ArcType();
    out.ok = l.Activate();
    return out;
}

// The listed member of that name, or null.
inline const Member* find(const Listing& l, const std::string& name) {
    for (auto& m : l.members)
        if (m.name == name) return &m;
    return nullptr;
}

inline bool haveTool(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command in dir; true when it exits with status 0.
inline bool run(const std::string& dir, const std::string& cmd) {
    std::string full = "cd '" + dir + "' && " + cmd + " >/dev/null 2>&1 </dev/null";
    return std::system(full.c_str()) == 0;
}

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void spit(const std::string& path, const std::string& data) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << data;
}

// Sets a file's modification time (whole seconds).
inline void touch(const std::string& path, std::int64_t unixTime) {
    struct timespec ts[2];
    ts[0].tv_sec = ts[1].tv_sec = static_cast<time_t>(unixTime);
    ts[0].tv_nsec = ts[1].tv_nsec = 0;
    utimensat(AT_FDCWD, path.c_str(), ts, 0);
}

class TempDir {
public:
    TempDir() {
        std::string templ = (fs::temp_directory_path() / "olmeklistXXXXXX").string();
        if (!mkdtemp(templ.data())) std::abort();
        path_ = templ;
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }

private:
    std::string path_;
};

inline std::string corpus(const std::string& rel) {
    return std::string(OLMEK_CORPUS_DIR) + "/" + rel;
}

// A member as an independent tool listed it.
struct PeerMember {
    std::string name;
    std::int64_t packed = -1, unpacked = -1;
};

// The peer.txt section of one tool: its listing text and exit status.
inline bool peerSection(const std::string& peerText, const std::string& tool, std::string& body,
                        int& status) {
    std::regex head("^===== (\\S+) .*\\(exit status (\\d+)\\)$");
    std::istringstream in(peerText);
    std::string line;
    bool inside = false;
    while (std::getline(in, line)) {
        std::smatch m;
        if (std::regex_match(line, m, head)) {
            if (inside) return true;
            if (m[1] == tool) {
                inside = true;
                status = std::stoi(m[2]);
            }
            continue;
        }
        if (inside) body += line + "\n";
    }
    return inside;
}

// "lsar -L" listings: one block per member with Name, Size and
// Compressed size lines.
inline std::vector<PeerMember> parseLsar(const std::string& body) {
    std::vector<PeerMember> out;
    std::istringstream in(body);
    std::string line;
    std::regex bytes("\\(?(\\d+) bytes\\)?\\s*$");
    while (std::getline(in, line)) {
        auto field = [&](const char* key) -> std::string {
            std::string k = std::string("  ") + key + ":";
            if (line.rfind(k, 0) != 0) return {};
            std::string v = line.substr(k.size());
            v.erase(0, v.find_first_not_of(' '));
            return v;
        };
        std::smatch m;
        if (std::string v = field("Name"); !v.empty()) {
            out.push_back({v, -1, -1});
        } else if (std::string s = field("Size"); !s.empty() && !out.empty()) {
            if (std::regex_search(s, m, bytes)) out.back().unpacked = std::stoll(m[1]);
        } else if (std::string c = field("Compressed size"); !c.empty() && !out.empty()) {
            if (std::regex_search(c, m, bytes)) out.back().packed = std::stoll(m[1]);
        }
    }
    return out;
}

// "lha v" (lhasa) listings: the rows between the two dashed rules.
inline std::vector<PeerMember> parseLhaV(const std::string& body) {
    std::vector<PeerMember> out;
    std::istringstream in(body);
    std::string line;
    int rules = 0;
    // The stamp column is blank when the archive holds no usable time.
    std::regex row("^(\\[[^\\]]*\\]|\\S+)\\s+(?:\\d+/"
                   "\\d+\\s+)?(\\d+)\\s+(\\d+)\\s+\\S+\\s+-\\S{3}-\\s+[0-9a-f]{4}"
                   "\\s+(?:\\w{3}\\s+\\d+\\s+[0-9:]+ )?(.*)$");
    while (std::getline(in, line)) {
        if (line.rfind("----------", 0) == 0) {
            if (++rules == 2) break;
            continue;
        }
        if (rules != 1) continue;
        std::smatch m;
        if (!std::regex_match(line, m, row)) {
            out.push_back({"<unparsed> " + line, -1, -1});
            continue;
        }
        std::string name = m[4];
        if (std::string(m[1]).rfind('l', 0) == 0) {
            auto arrow = name.find(" -> ");
            if (arrow != std::string::npos) name.resize(arrow);
        }
        out.push_back({name, std::stoll(m[2]), std::stoll(m[3])});
    }
    return out;
}

// "7zz l -slt" listings: the blocks after the archive's own, with Path,
// Size and Packed Size lines.
inline std::vector<PeerMember> parse7z(const std::string& body) {
    std::vector<PeerMember> out;
    std::istringstream in(body);
    std::string line;
    bool members = false;
    while (std::getline(in, line)) {
        if (line == "----------") {
            members = true;
            continue;
        }
        if (!members) continue;
        if (line.rfind("Path = ", 0) == 0)
            out.push_back({line.substr(7), -1, -1});
        else if (line.rfind("Size = ", 0) == 0 && !out.empty())
            out.back().unpacked = std::stoll(line.substr(7));
        else if (line.rfind("Packed Size = ", 0) == 0 && !out.empty())
            out.back().packed = std::stoll(line.substr(14));
    }
    return out;
}

inline std::vector<std::string> samples(const std::string& folder) {
    std::vector<std::string> out;
    std::error_code ec;
    for (auto& e : fs::directory_iterator(corpus(folder), ec)) {
        std::string p = e.path().string();
        if (p.size() > 9 && p.compare(p.size() - 9, 9, ".peer.txt") == 0) continue;
        if (fs::exists(p + ".peer.txt")) out.push_back(p);
    }
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace listtest
