// Which writer the verbs that change archives (a, d) use for an archive,
// chosen by its name (.lzh and .lha: LHA, any other: ZIP), and what they
// share in reporting.
#pragma once

#include <cctype>
#include <cstdio>
#include <string>

#include "archive/core/Errors.h"
#include "cli/Verb.h"
#include "platform/FileSystem.h"

namespace cli {

enum class Writer { Lha, Zip };

inline Writer writerFor(const std::string& archive) {
    std::string ext = plat::extractFileExt(archive);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".lzh" || ext == ".lha") return Writer::Lha;
    return Writer::Zip;
}

inline std::string absolutePath(const std::string& path) {
    if (path.empty() || path[0] == '/') return path;
    return plat::includeTrailingDelimiter(plat::getCurrentDir()) + path;
}

inline void printError(int code, const std::string& name) {
    if (name.empty())
        std::fprintf(stderr, "error %d: %s\n", code, ErrorMessage(code).c_str());
    else
        std::fprintf(stderr, "error %d: %s (%s)\n", code, ErrorMessage(code).c_str(),
                     printable(name).c_str());
}

} // namespace cli
