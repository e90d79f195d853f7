#include "platform/DataFiles.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "platform/FileSystem.h"

// Set by the build from the installation folders it was configured with.
#ifndef OLMEK_DATA_DIR
#define OLMEK_DATA_DIR "/usr/local/share/olmek95"
#define OLMEK_DATA_DIR_FROM_BIN "../share/olmek95"
#define OLMEK_LIBEXEC_DIR "/usr/local/libexec/olmek95"
#define OLMEK_LIBEXEC_DIR_FROM_BIN "../libexec/olmek95"
#endif
#ifndef OLMEK_BUILD_DIR
#define OLMEK_BUILD_DIR ""
#endif

namespace plat {

namespace {

std::string normalFolder(const std::string& path) {
    return includeTrailingDelimiter(std::filesystem::path(path).lexically_normal().string());
}

bool isRegular(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

std::vector<std::string> dataFolders(const std::string& programFolder,
                                     const std::string& buildFolder) {
    std::vector<std::string> out;
    auto add = [&out](const std::string& folder) {
        const std::string f = normalFolder(folder);
        if (std::find(out.begin(), out.end(), f) == out.end()) out.push_back(f);
    };
    add(programFolder);
    if (!buildFolder.empty()) {
        const std::string build = normalFolder(buildFolder);
        if (out.front().compare(0, build.size(), build) == 0) add(build + "stub/");
    }
    add(includeTrailingDelimiter(programFolder) + OLMEK_DATA_DIR_FROM_BIN);
    add(includeTrailingDelimiter(programFolder) + OLMEK_LIBEXEC_DIR_FROM_BIN);
    add(OLMEK_DATA_DIR);
    add(OLMEK_LIBEXEC_DIR);
    return out;
}

std::vector<std::string> dataFolders(const std::string& programFolder) {
    return dataFolders(programFolder, OLMEK_BUILD_DIR);
}

std::vector<std::string> dataFolders() {
    return dataFolders(programDir());
}

std::string findDataFile(const std::string& name, const std::vector<std::string>& folders) {
    if (name.empty()) return {};
    for (const std::string& folder : folders)
        if (isRegular(folder + name)) return folder + name;
    return {};
}

std::string findDataFile(const std::string& name, const std::string& programFolder) {
    return findDataFile(name, dataFolders(programFolder));
}

std::string findDataFile(const std::string& name) {
    return findDataFile(name, programDir());
}

} // namespace plat
