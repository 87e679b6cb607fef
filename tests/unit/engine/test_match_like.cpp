// The LIKE matcher as SQL LIKE uses it (no escape, case ignored) and as the catalog patterns
// use it (backslash escape).
#include <gtest/gtest.h>

#include <string>

#include "engine/match_like.h"

namespace kelvra {
namespace {

bool sqlLike(std::string_view subject, std::string_view pattern) {
    return matchLike(subject, pattern, '\0', false);
}

bool catalogLike(std::string_view subject, std::string_view pattern) {
    return matchLike(subject, pattern, '\\', false);
}

TEST(MatchLike, LiteralsIgnoreCaseAndTrailingBlanks) {
    EXPECT_TRUE(sqlLike("abc ", "ABC"));
    EXPECT_TRUE(sqlLike("abc", "abc   "));
    EXPECT_FALSE(sqlLike("abcd", "abc"));
    EXPECT_FALSE(sqlLike("ab", "abc"));
    EXPECT_FALSE(sqlLike(" abc", "abc"));  // leading blanks count
    EXPECT_TRUE(matchLike("abc", "abc", '\0', true));
    EXPECT_FALSE(matchLike("abc", "aBc", '\0', true));
}

TEST(MatchLike, EmptyPatternMatchesOnlyEmptyOrBlankSubject) {
    EXPECT_TRUE(sqlLike("", ""));
    EXPECT_TRUE(sqlLike("   ", ""));
    EXPECT_FALSE(sqlLike("a", ""));
    EXPECT_TRUE(sqlLike("", "%"));
    EXPECT_TRUE(sqlLike("anything at all", "%"));
    EXPECT_FALSE(sqlLike("", "_"));
}

TEST(MatchLike, PercentTakesAnyRun) {
    EXPECT_TRUE(sqlLike("Projects bq8kx2mea", "Proj%"));
    EXPECT_TRUE(sqlLike("Projects bq8kx2mea", "%mea"));
    EXPECT_TRUE(sqlLike("Projects bq8kx2mea", "%cts%2m%"));
    EXPECT_FALSE(sqlLike("Projects bq8kx2mea", "%cts%x%2m%z"));
    EXPECT_TRUE(sqlLike("aXbXc", "a%b%c"));
    EXPECT_TRUE(sqlLike("abcbc", "%bc"));  // the last "bc", after a first failed try
    EXPECT_TRUE(sqlLike("mississippi", "%iss%ppi"));
    EXPECT_FALSE(sqlLike("mississippi", "%iss%ppix"));
}

TEST(MatchLike, UnderscoreTakesExactlyOneCharacter) {
    EXPECT_TRUE(sqlLike("abc", "a_c"));
    EXPECT_FALSE(sqlLike("ac", "a_c"));
    EXPECT_FALSE(sqlLike("abbc", "a_c"));
    EXPECT_TRUE(sqlLike("abc", "___"));
    EXPECT_FALSE(sqlLike("ab", "___"));
    EXPECT_TRUE(sqlLike("ab", "_%"));
    EXPECT_FALSE(sqlLike("", "%_"));
}

TEST(MatchLike, BackslashIsLiteralWithoutEscape) {
    EXPECT_FALSE(sqlLike("a_c", "a\\_c"));
    EXPECT_TRUE(sqlLike("a\\xc", "a\\_c"));
}

TEST(MatchLike, EscapeMakesWildcardsLiteral) {
    EXPECT_TRUE(catalogLike("a_c", "a\\_c"));
    EXPECT_FALSE(catalogLike("abc", "a\\_c"));
    EXPECT_TRUE(catalogLike("50%", "50\\%"));
    EXPECT_FALSE(catalogLike("500", "50\\%"));
    EXPECT_TRUE(catalogLike("a\\b", "a\\\\b"));
    // An escape as the last pattern byte stands for itself.
    EXPECT_TRUE(catalogLike("ab\\", "ab\\"));
    EXPECT_FALSE(catalogLike("abc", "ab\\"));
    // Letters after an escape still ignore case.
    EXPECT_TRUE(catalogLike("aB", "a\\b"));
}

TEST(MatchLike, MultiByteCharactersCountAsOne) {
    const std::string eAcute = "\xC3\xA9";         // é
    const std::string euro = "\xE2\x82\xAC";       // €
    const std::string smile = "\xF0\x9F\x98\x80";  // U+1F600
    EXPECT_TRUE(sqlLike("caf" + eAcute, "caf_"));
    EXPECT_FALSE(sqlLike("caf" + eAcute, "caf__"));
    EXPECT_TRUE(sqlLike(euro + "5", "_5"));
    EXPECT_TRUE(sqlLike("x" + smile + "y", "x_y"));
    EXPECT_TRUE(sqlLike(euro + smile + eAcute, "___"));
    EXPECT_TRUE(sqlLike("caf" + eAcute, "%" + eAcute));
    // Multi-byte characters compare byte for byte; no folding of É and é.
    EXPECT_FALSE(sqlLike("caf\xC3\x89", "caf" + eAcute));
    // A literal multi-byte character does not match a single byte, nor a different length.
    EXPECT_FALSE(sqlLike("cafe", "caf" + eAcute));
    EXPECT_FALSE(sqlLike(euro, eAcute + "%"));
}

TEST(MatchLike, BrokenUtf8StaysInBounds) {
    // A lead byte announcing more bytes than follow, and stray continuation bytes.
    EXPECT_TRUE(sqlLike("ab\xE2\x82", "ab_"));
    EXPECT_TRUE(sqlLike("\x80\x80", "__"));
    EXPECT_FALSE(sqlLike("\xF0", "__"));
    EXPECT_TRUE(sqlLike("x\xC3", "%\xC3"));
}

TEST(MatchLike, LongSubjectWithManyPercentsIsFast) {
    // A backtracking matcher takes exponential time here; this one a few million steps.
    const std::string subject(200000, 'a');
    std::string pattern;
    for (int i = 0; i < 30; ++i) pattern += "%a";
    EXPECT_FALSE(sqlLike(subject, pattern + "%b"));
    EXPECT_TRUE(sqlLike(subject + "b", pattern + "%b"));
    EXPECT_TRUE(sqlLike(subject, pattern + "%"));
}

}  // namespace
}  // namespace kelvra
