// A small tree of files to give the peer archivers: text, binary noise,
// an empty file, a nested folder and (optionally) an empty one, all with one
// known time stamp; and the check that an extraction rebuilt it.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace testsupport {

struct SourceTree {
    std::string root;
    std::vector<std::string> files;   // relative paths
    std::vector<std::string> folders; // relative paths, parents first
};

// An even second, so that two-second DOS stamps keep it exactly.
constexpr const char* kTreeTime = "2019-06-15 10:20:30";

inline SourceTree makeSourceTree(const std::string& root, bool emptyFolder = false) {
    namespace fs = std::filesystem;
    SourceTree t;
    t.root = root;
    fs::create_directories(root + "/sub/deeper");
    t.folders = {"sub", "sub/deeper"};
    if (emptyFolder) {
        fs::create_directories(root + "/emptydir");
        t.folders.push_back("emptydir");
    }
    std::string text;
    for (int i = 0; i < 3000; ++i)
        text += "line " + std::to_string(i * 7919 % 10007) + " of a text that repeats itself\n";
    std::mt19937 rng(11);
    std::string noise(90000, '\0');
    for (char& c : noise) c = static_cast<char>(rng() % 5 ? rng() : rng() % 4);
    std::string far = noise.substr(0, 40000) + text.substr(0, 30000) + noise.substr(0, 40000);
    const std::pair<const char*, std::string> files[] = {
        {"text.txt", text},
        {"noise.bin", noise},
        {"far.bin", far},
        {"empty.txt", ""},
        {"sub/deeper/note.txt", "deep\n"},
        {"sub/mid.txt", text.substr(0, 999)},
    };
    for (const auto& [name, data] : files) {
        writeFile(root + "/" + name, data);
        t.files.push_back(name);
    }
    run("find '" + root + "' -exec touch -d '" + kTreeTime + "' {} +");
    return t;
}

// Every file of the tree stands under `out` with the same bytes and, when
// asked, the same modification time.
inline void expectSameFiles(const SourceTree& t, const std::string& out, bool times = true) {
    for (const std::string& f : t.files) {
        SCOPED_TRACE(f);
        const std::string a = t.root + "/" + f, b = out + "/" + f;
        ASSERT_TRUE(std::filesystem::exists(b));
        EXPECT_TRUE(readFile(a) == readFile(b));
        if (times) {
            struct stat sa, sb;
            ASSERT_EQ(stat(a.c_str(), &sa), 0);
            ASSERT_EQ(stat(b.c_str(), &sb), 0);
            EXPECT_EQ(sa.st_mtime, sb.st_mtime);
        }
    }
}

} // namespace testsupport
