// Questions on standard input: whether someone can answer them, and the
// answer line, with a password kept off the screen.
#pragma once

#include <optional>
#include <string>

namespace plat {

// True when standard input is a terminal.
bool inputIsTerminal();

// One line of standard input without its line end; nullopt when the input
// ends before any character.  With echo off and a terminal as input, the
// typed characters are not shown, and the terminal is restored afterwards.
std::optional<std::string> readInputLine(bool echo);

} // namespace plat
