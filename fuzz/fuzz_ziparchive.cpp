// The ZIP archive model over an archive it did not write: the fuzzer's bytes
// stand as an existing archive, which is loaded, has a member deleted, one
// renamed and a file added, and is saved.  Besides the sanitizers' checks:
// a save that fails leaves the archive exactly as it was, a save that
// succeeds leaves an archive that loads again with the members expected,
// and no run leaves a temporary file behind.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/zip/Zipper.h"
#include "archive/zip/ZlExceptions.h"
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
        // Removed at exit; the name outlives the static strings.
        static const std::string* const gone = new std::string(t);
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(*gone, ec);
        });
        return t;
    }();
    return dir;
}

// The stored names of an archive in directory order; false when it does not
// load.
bool loadNames(const std::string& archive, std::vector<std::string>& names) {
    try {
        TZlZipArchive a(archive, fmOpenRead | fmShareDenyNone);
        a.OnRequestLastDisk = [](TObject*, bool& abort) { abort = true; };
        a.OnRequestNthDisk = [](TObject*, std::uint8_t, bool& abort) { abort = true; };
        a.Load();
        names.clear();
        for (int i = 0; i < a.Count(); ++i) names.push_back(a.Items(i)->FileName());
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& dir = workDir();
    const std::string archive = dir + "/a.zip";
    if (!plat::writeWholeFile(archive, data, size)) return 0;
    const auto before = plat::readWholeFile(archive);

    std::vector<std::string> expected;
    bool saved = false;
    {
        TZlZipper z;
        z.SetBaseDirectory(dir + "/src");
        // Sets of disks are not followed here: every disk request aborts.
        z.OnRequestLastDisk = [](TObject*, bool& abort) { abort = true; };
        z.OnRequestNthDisk = [](TObject*, std::uint8_t, bool& abort) { abort = true; };
        z.OnRequestBlankDisk = [](TObject*, bool& abort) { abort = true; };
        try {
            z.SetFileName(archive);
            TZlZipArchive& a = *z.Archive();
            if (a.Count() > 0) a.DeleteAt(size & 1 ? 0 : a.Count() - 1);
            if (a.Count() > 1) a.Move(a.Items(0), "renamed/member.txt");
            z.AddFiles("add.txt", 0);
            z.Save();
            saved = true;
            for (int i = 0; i < a.Count(); ++i) expected.push_back(a.Items(i)->FileName());
        } catch (const std::exception&) {
            // Reported to the caller; checked below.
        }
        if (z.Archive()) z.DiscardChanges();
    }

    if (!saved) {
        if (plat::readWholeFile(archive) != before) std::abort();
    } else {
        std::vector<std::string> names;
        if (!loadNames(archive, names) || names != expected) std::abort();
    }

    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec)) {
        const std::string name = e.path().filename().string();
        if (name != "a.zip" && name != "src" && name != "tmp") std::abort();
    }
    if (!fs::is_empty(dir + "/tmp", ec)) std::abort();
    fs::remove(archive, ec);
    return 0;
}
