// Shared by the LHA writer tests: test data, the members of an archive as
// the LHA module reads them, and the peer tools (lhasa, jlha) run on it.
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "archive/core/Crc.h"
#include "archive/format/LhaFormat.h"
#include "archive/writers/Lzhuf.h"
#include "tests/support/Cli.h"
#include "tests/support/LhaMembers.h"
#include "tests/support/TempDir.h"

namespace lhatest {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

inline Bytes randomBytes(std::size_t n, unsigned seed) {
    std::mt19937 g(seed);
    Bytes b(n);
    for (auto& c : b) c = static_cast<std::uint8_t>(g());
    return b;
}

// Text with the word statistics of prose, the same for every seed value.
inline Bytes text(std::size_t n, unsigned seed = 1) {
    static const char* words[] = {"the",     "archive", "of",     "a",      "member",  "header",
                                  "folder",  "file",    "and",    "to",     "is",      "data",
                                  "written", "LHA",     "level",  "method", "coded",   "with",
                                  "window",  "match",   "length", "tree",   "symbols", "bits"};
    std::mt19937 g(seed);
    Bytes b;
    b.reserve(n + 16);
    int col = 0;
    while (b.size() < n) {
        const char* w = words[g() % (sizeof words / sizeof *words)];
        b.insert(b.end(), w, w + std::strlen(w));
        col += static_cast<int>(std::strlen(w)) + 1;
        if (col > 64 || g() % 13 == 0) {
            b.push_back(g() % 5 == 0 ? '.' : ',');
            b.push_back('\n');
            col = 0;
        } else {
            b.push_back(' ');
        }
    }
    b.resize(n);
    return b;
}

// Members from the first header on, with their data.
using Member = testsupport::LhaMember;
inline std::vector<Member> members(const std::string& path) {
    return testsupport::lhaMembers(path);
}

// A one-member archive holding `data` coded by the LZHUF coder.
inline Bytes lh1Archive(const Bytes& data, const std::string& name = "data.bin") {
    const Bytes coded = lzhuf::encode(data);
    lha::Header h;
    std::memcpy(h.MethodId, "-lh1-", 5);
    h.PackedSize = static_cast<std::int64_t>(coded.size());
    h.UnpackedSize = static_cast<std::int64_t>(data.size());
    h.Stamp = (40u << 25) | (1u << 21) | (1u << 16);
    h.Attr = 0x20;
    h.Name = name;
    h.Crc = crc16Of(data.data(), data.size());
    Bytes a = lha::writeLevel0(h);
    a.insert(a.end(), coded.begin(), coded.end());
    a.push_back(0);
    return a;
}

inline bool havePeer(const std::string& tool) {
    return testsupport::haveTool(tool);
}

// The peer's test command: 0 when it passes and names no error.
inline bool peerTests(const std::string& tool, const std::string& archive) {
    int status = -1;
    const std::string out =
        testsupport::runOutput(tool + " t " + testsupport::shellQuote(archive) + " 2>&1", &status);
    return status == 0 && out.find("rror") == std::string::npos &&
           out.find("arning") == std::string::npos;
}

// Extracts with the peer into a new folder `dir`; true when it exits 0.
inline bool peerExtracts(const std::string& tool, const std::string& archive,
                         const std::string& dir) {
    fs::create_directories(dir);
    return testsupport::run("cd " + testsupport::shellQuote(dir) + " && " + tool + " xfq " +
                            testsupport::shellQuote(archive) + " >/dev/null 2>&1") == 0;
}

// Regular files under dir by their relative paths.
inline std::map<std::string, Bytes> tree(const std::string& dir) {
    std::map<std::string, Bytes> t;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file())
            t[fs::relative(e.path(), dir).string()] = testsupport::readFile(e.path().string());
    return t;
}

} // namespace lhatest
