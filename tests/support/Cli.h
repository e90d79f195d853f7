// Runs olmek-cli as a user runs it: in a folder, with standard input from
// /dev/null (or a limit set first), its output and errors captured.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/TempDir.h"

namespace testsupport {

struct CliRun {
    int status = -1;
    std::string out, err;
};

inline std::string cliPath() {
    return std::string(OLMEK_BINARY_DIR) + "/cli/olmek-cli";
}

inline bool haveCli() {
    return std::filesystem::exists(cliPath());
}

inline std::string shellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// `prefix` runs in the same shell first (a ulimit, say).
inline CliRun runCli(const std::string& args, const std::string& dir,
                     const std::string& prefix = "") {
    CliRun r;
    const std::string o = dir + "/.cli-out", e = dir + "/.cli-err";
    std::string cmd = "cd " + shellQuote(dir) + " && " + prefix + (prefix.empty() ? "" : " && ") +
                      shellQuote(cliPath()) + " " + args + " </dev/null >" + shellQuote(o) + " 2>" +
                      shellQuote(e);
    int rc = std::system(("sh -c " + shellQuote(cmd)).c_str());
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    auto a = readFile(o), b = readFile(e);
    r.out.assign(a.begin(), a.end());
    r.err.assign(b.begin(), b.end());
    std::filesystem::remove(o);
    std::filesystem::remove(e);
    return r;
}

} // namespace testsupport
