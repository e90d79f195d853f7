// TLha reading an archive it is about to change: the fuzzer's bytes stand
// as the existing archive, which is listed, has members deleted and gets a
// file added.  Besides the sanitizers' checks: a run that fails leaves the
// archive exactly as it was, and no run leaves a temporary file behind.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/writers/Lha.h"
#include "platform/File.h"

namespace fs = std::filesystem;

namespace {

const std::string& workDir() {
    static const std::string dir = [] {
        std::string t = (fs::temp_directory_path() / "olmekfuzzXXXXXX").string();
        if (!mkdtemp(t.data())) std::abort();
        fs::create_directories(t + "/src");
        fs::create_directories(t + "/tmp");
        const std::string text = "a small file to add, added again and again\n";
        if (!plat::writeWholeFile(t + "/src/add.txt", text.data(), text.size())) std::abort();
        setenv("TMPDIR", (t + "/tmp").c_str(), 1);
        return t;
    }();
    return dir;
}

// Runs one job; a failed one must not have touched the archive.
void job(const std::string& archive, TSwitch sw, const char* line) {
    const auto before = plat::readWholeFile(archive);
    TLha w;
    w.SetArchiveFile(archive);
    w.SetDefaultDir(workDir() + "/src");
    w.Switch = sw;
    w.FileSpec().Add(line);
    int reads = 0;
    w.OnRead = [&](TObject*, std::int64_t, int) { ++reads; };
    const bool ok = w.Compress();
    if (!ok && before && plat::readWholeFile(archive) != before) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& dir = workDir();
    const std::string archive = dir + "/a.lzh";
    if (!plat::writeWholeFile(archive, data, size)) return 0;
    job(archive, swRead, "*");
    job(archive, swDelete, size & 1 ? "*" : "?*.*");
    job(archive, swAdd, "add.txt");
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec)) {
        const std::string name = e.path().filename().string();
        if (name != "a.lzh" && name != "src" && name != "tmp") std::abort();
    }
    if (!fs::is_empty(dir + "/tmp", ec)) std::abort();
    fs::remove(archive, ec);
    return 0;
}
