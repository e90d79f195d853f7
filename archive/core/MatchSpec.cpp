#include "archive/core/MatchSpec.h"

#include <cctype>
#include <string_view>
#include <vector>

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

char upper(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

// Beyond this many cells the pair is treated as not matching; real names
// and masks are far below it.
constexpr std::size_t kMaxCells = 64u << 20;

// Two-sided wildcard match, '?' first, then '*' on the mask side, then '*'
// on the name side.  Computed bottom-up over (mask position, name position)
// with two rows, so hostile names full of '*' cost O(mask × name) and no
// recursion.
bool wildMatch(const std::string& s, const std::string& n) {
    const std::size_t S = s.size(), N = n.size();
    if ((S + 1) * (N + 1) > kMaxCells) return false;
    // m[j]: match(i, j) for the row being computed; next[j]: match(i + 1, j).
    // bNext[j]: OR over k >= i + 1 of match(k, j + 1), for name-side stars.
    std::vector<char> next(N + 1), m(N + 1), bNext(N + 1), b(N + 1);
    // Row i = S: the rest of the name must be all stars.
    next[N] = 1;
    for (std::size_t j = N; j-- > 0;) next[j] = next[j + 1] && n[j] == '*';
    // bNext for row S: match(S, j + 1).
    for (std::size_t j = 0; j < N; ++j) bNext[j] = next[j + 1];
    bNext[N] = 0;
    bool restOfMaskStars = true;
    for (std::size_t i = S; i-- > 0;) {
        restOfMaskStars = restOfMaskStars && s[i] == '*';
        m[N] = restOfMaskStars;
        char a = next[N]; // OR over k >= j of match(i + 1, k), built right to left
        for (std::size_t j = N; j-- > 0;) {
            a = a || next[j];
            char r;
            if (s[i] == '?' || n[j] == '?')
                r = next[j + 1];
            else if (s[i] == '*')
                r = (i + 1 == S) ? 1 : a;
            else if (n[j] == '*')
                r = (j + 1 == N) ? 1 : static_cast<char>(m[j + 1] || bNext[j]);
            else
                r = upper(s[i]) == upper(n[j]) ? next[j + 1] : 0;
            m[j] = r;
        }
        for (std::size_t j = 0; j < N; ++j) b[j] = m[j + 1] || bNext[j];
        b[N] = 0;
        std::swap(next, m);
        std::swap(bNext, b);
    }
    return next[0];
}

} // namespace

bool MatchSpec(const std::string& Spec, const std::string& Name, bool NamesOnly) {
    std::string spec = toSlashes(Spec), name = toSlashes(Name);
    if (NamesOnly) {
        spec = namePart(spec);
        name = namePart(name);
    }
    if ((!Spec.empty() && spec.empty()) || (!Name.empty() && name.empty())) return false;

    // A trailing '.' means "no extension"; a side without any extension
    // matches an extension wildcard on the other side.
    const bool specDotStar = spec.find(".*") != std::string::npos;
    const bool nameDotStar = name.find(".*") != std::string::npos;
    // "A." is the DOS way of writing a name without an extension, so it
    // too matches "*.*".
    if (!spec.empty() && spec.back() == '.') spec.pop_back();
    if (spec.find('.') == std::string::npos && nameDotStar) spec += ".*";
    if (!name.empty() && name.back() == '.') name.pop_back();
    if (name.find('.') == std::string::npos && specDotStar) name += ".*";

    if (spec.empty()) return !name.empty() && name[0] == '*';
    if (name.empty()) return spec[0] == '*';
    return wildMatch(spec, name);
}
