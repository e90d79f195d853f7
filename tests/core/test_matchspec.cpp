#include "archive/core/MatchSpec.h"

#include <gtest/gtest.h>

TEST(MatchSpec, EverydayMasks) {
    EXPECT_TRUE(MatchSpec("*.*", "A.TXT", false));
    EXPECT_TRUE(MatchSpec("*.*", "README", false)) << "a name without a dot gains .*";
    EXPECT_FALSE(MatchSpec("*.TXT", "A.TX", false));
    EXPECT_TRUE(MatchSpec("a?c.*", "ABC.DOC", false));
    EXPECT_TRUE(MatchSpec("*.TXT", "SUB\\A.TXT", true));
    EXPECT_TRUE(MatchSpec("*.TXT", "SUB/A.TXT", true));
    EXPECT_FALSE(MatchSpec("*.*", "DIR\\", true)) << "folder entries have no name part";
    EXPECT_FALSE(MatchSpec("*.*", "DIR/", true));
    EXPECT_FALSE(MatchSpec("", "A.TXT", false));
}

TEST(MatchSpec, CaseInsensitiveAndSymmetric) {
    EXPECT_TRUE(MatchSpec("readme.txt", "README.TXT", false));
    EXPECT_TRUE(MatchSpec("A.TXT", "*.txt", false)) << "wildcards on the name side";
    EXPECT_TRUE(MatchSpec("ABC", "a*", false));
    EXPECT_FALSE(MatchSpec("A?C", "a*", false)) << "a '?' takes the name's '*' as one character";
    EXPECT_FALSE(MatchSpec("abc", "abd", false));
}

TEST(MatchSpec, DotsStarsAndEmptySides) {
    EXPECT_TRUE(MatchSpec("NOEXT.", "NOEXT", false)) << "a trailing dot means no extension";
    EXPECT_TRUE(MatchSpec("*.*", "A.", false)) << "a name written with its empty extension";
    EXPECT_TRUE(MatchSpec("*.*", "SUB/A.", true));
    EXPECT_FALSE(MatchSpec("*.TXT", "A.", false));
    EXPECT_TRUE(MatchSpec("*", "ANY.THING", false));
    EXPECT_TRUE(MatchSpec("*", "", false)) << "an empty name matches a spec that begins with *";
    EXPECT_TRUE(MatchSpec("", "*", false));
    EXPECT_TRUE(MatchSpec("A*B*C", "AXXBYYC", false));
    EXPECT_FALSE(MatchSpec("A*B*C", "AXXBYY", false));
    EXPECT_TRUE(MatchSpec("AB**", "AB", false)) << "trailing stars match nothing";
    EXPECT_FALSE(MatchSpec("SUB\\*.TXT", "OTHER\\A.TXT", false));
    EXPECT_TRUE(MatchSpec("SUB/*.TXT", "SUB\\A.TXT", false));
}

TEST(MatchSpec, HostileWildcardNamesStayFast) {
    // Without memoisation this pair takes exponential time.
    std::string name(200, '*');
    std::string spec;
    for (int i = 0; i < 30; ++i) spec += "*a";
    spec += "b";
    EXPECT_TRUE(MatchSpec(spec, name, false));
    std::string longName(3000, 'a');
    EXPECT_FALSE(MatchSpec(spec, longName, false));
}
