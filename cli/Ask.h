// Questions to the person at the terminal.
#pragma once

#include <cstdio>
#include <string>

#include "platform/Terminal.h"

namespace cli {

inline bool interactive() {
    return plat::inputIsTerminal();
}

// Asks on standard error and returns the answer line (empty when the input
// ends); with echo off, as for a password, the typing is not shown.
inline std::string askLine(const std::string& prompt, bool echo = true) {
    std::fprintf(stderr, "%s", prompt.c_str());
    std::fflush(stderr);
    std::string line = plat::readInputLine(echo).value_or(std::string());
    // The unechoed line end did not move the cursor on.
    if (!echo) std::fprintf(stderr, "\n");
    return line;
}

// Asks a yes/no question; only an answer starting with 'y' or 'Y' is a yes.
inline bool askYes(const std::string& question) {
    const std::string line = askLine(question + " [y/N] ");
    return !line.empty() && (line[0] == 'y' || line[0] == 'Y');
}

} // namespace cli
