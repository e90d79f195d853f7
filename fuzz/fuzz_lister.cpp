// The archive lister over any input: the type comes from the content, and
// once more from a name ending in .tar so that the TAR check runs.  The
// input is also the second volume of an ARJ set, so that members which
// continue into the next volume are followed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "archive/list/ArcLister.h"
#include "platform/File.h"
#include "platform/FileSystem.h"

namespace {

// Held for the whole run (never destroyed), so the exit handler that
// removes the folder can still name it.
const std::string& workDir() {
    static const std::string* const dir = [] {
        std::string d = plat::tempDirName("olmekfuzzlister");
        if (d.empty()) std::abort();
        auto* held = new std::string(d + "/");
        std::atexit([] { plat::removeTree(workDir()); });
        return held;
    }();
    return *dir;
}

// Every field is read, so that a bad value shows up under the sanitizers.
volatile std::uint64_t Sink = 0;

// Declared sizes may be anything: sums wrap instead of overflowing.
std::uint64_t u(std::int64_t v) {
    return static_cast<std::uint64_t>(v);
}

void listOnce(const std::string& path, bool showBlankDirs) {
    TArcLister l;
    l.ShowBlankDirs = showBlankDirs;
    std::uint64_t sum = 0;
    l.OnRead = [&](TObject*, std::int64_t offset, int filenum) {
        sum += u(offset) + u(filenum) + u(l.PackedSize) + u(l.UnpackedSize) + l.Ratio +
               l.FileName.size() + l.MethodName.size() + l.FileComment.size();
    };
    l.OnTotals = [&](TObject*, int n) {
        sum += u(n) + l.TotalRatio + u(l.TotalPackedSize) + u(l.TotalUnpackedSize) +
               l.ArchiveComment.size();
    };
    l.OnError = [&](TObject*, const std::string&, const std::string&, int code) {
        sum += u(code);
    };
    l.SetArchiveFile(path);
    l.Activate();
    Sink = sum;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& dir = workDir();
    const std::string byContent = dir + "fuzz.arj";
    const std::string byName = dir + "fuzz.tar";
    if (!plat::writeWholeFile(byContent, data, size)) return 0;
    if (!plat::writeWholeFile(dir + "fuzz.a01", data, size)) return 0;
    listOnce(byContent, false);
    listOnce(byContent, true);
    if (!plat::writeWholeFile(byName, data, size)) return 0;
    listOnce(byName, false);
    return 0;
}
