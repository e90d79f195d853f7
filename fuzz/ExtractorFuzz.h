// Shared by the whole-extractor fuzz targets: the fuzzer's bytes are
// written as an archive of the given name to a private temporary folder
// and extracted (or, for odd sizes, only tested) below it; everything it
// made is removed after each run.  Nothing may land outside the target
// folder.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "archive/extract/UnBase.h"
#include "platform/File.h"

inline const std::string& fuzzWorkDir() {
    static const std::string dir = [] {
        std::string t = (std::filesystem::temp_directory_path() / "olmekfuzzXXXXXX").string();
        if (!mkdtemp(t.data())) std::abort();
        return t;
    }();
    return dir;
}

template <class Extractor>
void fuzzExtract(const std::uint8_t* data, std::size_t size, const std::string& name) {
    namespace fs = std::filesystem;
    const std::string& dir = fuzzWorkDir();
    const std::string archive = dir + "/" + name;
    const std::string target = dir + "/out/";
    if (!plat::writeWholeFile(archive, data, size)) return;
    {
        Extractor x;
        x.SetArchiveFile(archive);
        x.SetExtractDir(target);
        x.TestOnly = size & 1;
        x.Passwords.Add("a");
        int asked = 0;
        x.OnGetPassword = [&](TObject*, const std::string&, std::string& pw, bool& again) {
            pw = "b";
            again = ++asked < 2;
        };
        x.OnFileExists = [](TObject*, const std::string&, TDateTime, bool& accept) {
            accept = true;
        };
        x.Extract();
    }
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec))
        if (e.path().filename() != name && e.path().filename() != "out") std::abort();
    fs::permissions(target, fs::perms::owner_all, fs::perm_options::add, ec);
    for (const auto& e : fs::recursive_directory_iterator(target, ec))
        if (e.is_directory(ec) && !e.is_symlink(ec))
            fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(target, ec);
}
