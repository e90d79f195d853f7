#include "archive/core/MatchSpec.h"

#include <cctype>
#include <string_view>
#include <unordered_set>

namespace {

std::string toSlashes(std::string s) {
    for (char& c : s)
        if (c == '\\') c = '/';
    return s;
}

std::string namePart(const std::string& s) {
    auto p = s.find_last_of("/:");
    return p == std::string::npos ? s : s.substr(p + 1);
}

bool allStars(std::string_view s) {
    for (char c : s)
        if (c != '*') return false;
    return true;
}

char upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

// Failed (spec, name) pairs, so that hostile names full of '*' cannot make
// the tail search exponential.
using Memo = std::unordered_set<std::string>;

bool walk(std::string spec, std::string name, Memo& memo);

bool tryTails(const std::string& rest, const std::string& other, std::size_t from, bool restIsSpec,
              Memo& memo) {
    for (std::size_t k = from; k <= other.size(); ++k) {
        std::string tail = other.substr(k);
        if (restIsSpec ? walk(rest, tail, memo) : walk(tail, rest, memo)) return true;
    }
    return false;
}

bool walk(std::string spec, std::string name, Memo& memo) {
    // A trailing '.' means "no extension"; a side without an extension
    // matches an extension wildcard on the other side.
    bool specHadDotStar = spec.find(".*") != std::string::npos;
    bool nameHadDotStar = name.find(".*") != std::string::npos;
    if (!spec.empty() && spec.back() == '.')
        spec.pop_back();
    else if (spec.find('.') == std::string::npos && nameHadDotStar)
        spec += ".*";
    if (!name.empty() && name.back() == '.')
        name.pop_back();
    else if (name.find('.') == std::string::npos && specHadDotStar)
        name += ".*";

    if (spec.empty()) return !name.empty() && name[0] == '*';
    if (name.empty()) return spec[0] == '*';

    std::string key;
    bool memoize = spec.find('*') != std::string::npos || name.find('*') != std::string::npos;
    if (memoize) {
        key = spec;
        key.push_back('\0');
        key += name;
        if (memo.count(key)) return false;
    }

    std::size_t i = 0, j = 0;
    bool result = true;
    while (result && i < spec.size() && j < name.size()) {
        if (spec[i] == '?' || name[j] == '?') {
            ++i;
            ++j;
        } else if (spec[i] == '*') {
            ++i;
            if (i >= spec.size()) {
                j = name.size();
            } else if (tryTails(spec.substr(i), name, j, true, memo)) {
                i = spec.size();
                j = name.size();
            } else {
                result = false;
            }
        } else if (name[j] == '*') {
            ++j;
            if (j >= name.size()) {
                i = spec.size();
            } else if (tryTails(name.substr(j), spec, i, false, memo)) {
                i = spec.size();
                j = name.size();
            } else {
                result = false;
            }
        } else if (upper(spec[i]) != upper(name[j])) {
            result = false;
        } else {
            ++i;
            ++j;
        }
    }
    if (result) {
        if (i >= spec.size())
            result = allStars(std::string_view(name).substr(std::min(j, name.size())));
        else
            result = allStars(std::string_view(spec).substr(i));
    }
    if (!result && memoize) memo.insert(std::move(key));
    return result;
}

} // namespace

bool MatchSpec(const std::string& Spec, const std::string& Name, bool NamesOnly) {
    std::string spec = toSlashes(Spec), name = toSlashes(Name);
    if (NamesOnly) {
        spec = namePart(spec);
        name = namePart(name);
    }
    if ((!Spec.empty() && spec.empty()) || (!Name.empty() && name.empty())) return false;
    Memo memo;
    return walk(std::move(spec), std::move(name), memo);
}
