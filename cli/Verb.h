// olmek-cli verbs: each verb is a small module that registers itself here.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace cli {

struct Verb {
    std::string name;
    std::string usage;   // one line, after "olmek-cli "
    std::string summary; // one line
    std::function<int(const std::vector<std::string>& args)> run;
};

// Registers a verb at static-initialisation time; returns true.
bool registerVerb(Verb verb);
const std::vector<Verb>& verbs();

} // namespace cli
