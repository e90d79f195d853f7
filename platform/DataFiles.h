// Files the program reads beside itself (the self-extractor stubs): in the
// program's own folder; when it runs from the folder it was built in, in the
// build's stub/ folder, where the stubs are made; else in its installed
// data folders: share/olmek95 for files alike on every machine (the Windows
// stub), libexec/olmek95 for programs of this machine's architecture (the
// native stub).
#pragma once

#include <string>
#include <vector>

namespace plat {

// The Windows stub put in front of a ZIP archive to make a self-extracting
// program, and the same stub built for this system.
constexpr const char* StubFileName = "STUB.EXE";
constexpr const char* NativeStubFileName = "olmek-stub";

// Where data files are looked for, in order, each with a trailing '/': the
// program's folder; buildFolder + "stub/" when the program's folder lies in
// buildFolder (the build folder this program was made in by default); the
// data folders of an installation that was moved elsewhere whole (found
// from the program's folder); then the data folders the build was
// configured to install into.  Duplicates are left out.
std::vector<std::string> dataFolders(const std::string& programFolder,
                                     const std::string& buildFolder);
std::vector<std::string> dataFolders(const std::string& programFolder);
std::vector<std::string> dataFolders();

// The first existing regular file of that name in folders (by default
// dataFolders()); empty when there is none.
std::string findDataFile(const std::string& name, const std::vector<std::string>& folders);
std::string findDataFile(const std::string& name, const std::string& programFolder);
std::string findDataFile(const std::string& name);

} // namespace plat
