// olmek-cli verbs: each verb is a small module that registers itself here.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

struct Verb {
    std::string name;
    std::string usage;   // one line, after "olmek-cli "
    std::string summary; // one line
    std::function<int(const std::vector<std::string>& args)> run;
};

// A name or text as it may be printed on a terminal: control characters
// (also the C1 ones) and backslashes escaped as \n, \t, \e, \xNN, \\, so
// that an archive cannot move the cursor or rewrite the screen.  Line
// breaks and tabs stay when asked (archive comments).
std::string printable(std::string_view s, bool keepLineBreaks = false);

// Registers a verb at static-initialisation time; returns true.
bool registerVerb(Verb verb);
const std::vector<Verb>& verbs();

} // namespace cli
