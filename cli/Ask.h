// Questions to the person at the terminal.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

namespace cli {

inline bool interactive() {
    return isatty(STDIN_FILENO);
}

// Asks a yes/no question on standard error; only an answer starting with
// 'y' or 'Y' is a yes.
inline bool askYes(const std::string& question) {
    std::fprintf(stderr, "%s [y/N] ", question.c_str());
    std::fflush(stderr);
    std::string line;
    if (!std::getline(std::cin, line)) return false;
    return !line.empty() && (line[0] == 'y' || line[0] == 'Y');
}

} // namespace cli
