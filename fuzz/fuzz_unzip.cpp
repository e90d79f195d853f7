// Whole-archive ZIP extraction under hostile input: the archive is written
// to a private temporary folder and extracted (or, for odd sizes, only
// tested) below it; everything it made is removed after each run.  Nothing
// may land outside the target folder.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "archive/extract/UnZIP.h"
#include "platform/File.h"

namespace fs = std::filesystem;

namespace {

const std::string& workDir() {
    static const std::string dir = [] {
        std::string t = (fs::temp_directory_path() / "olmekfuzzXXXXXX").string();
        if (!mkdtemp(t.data())) std::abort();
        return t;
    }();
    return dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& dir = workDir();
    const std::string archive = dir + "/in.zip";
    const std::string target = dir + "/out/";
    if (!plat::writeWholeFile(archive, data, size)) return 0;
    {
        TUnZIP z;
        z.SetArchiveFile(archive);
        z.SetExtractDir(target);
        z.TestOnly = size & 1;
        z.Passwords.Add("a");
        int asked = 0;
        z.OnGetPassword = [&](TObject*, const std::string&, std::string& pw, bool& again) {
            pw = "b";
            again = ++asked < 2;
        };
        z.OnFileExists = [](TObject*, const std::string&, TDateTime, bool& accept) {
            accept = true;
        };
        z.Extract();
    }
    // Whatever was made lies in the target folder or nowhere.
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec))
        if (e.path().filename() != "in.zip" && e.path().filename() != "out") std::abort();
    fs::permissions(target, fs::perms::owner_all, fs::perm_options::add, ec);
    for (const auto& e : fs::recursive_directory_iterator(target, ec))
        if (e.is_directory(ec))
            fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(target, ec);
    return 0;
}
