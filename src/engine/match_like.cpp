// Wildcard matching with one remembered "%": every other pattern element takes exactly one
// character, so when the elements after the latest "%" fail, letting that "%" take one more
// character is the only alternative left. Earlier "%"s need no revisiting, which bounds the
// work by subject length times pattern length.
#include "engine/match_like.h"

#include <cstddef>

#include "resources/ascii.h"
#include "resources/utf8.h"

namespace kelvra {
namespace {

std::string_view withoutTrailingSpaces(std::string_view text) {
    std::size_t end = text.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

// Matches one pattern element other than "%" at pattern position p against the subject
// character at s; on success moves both positions past what they consumed.
bool matchElement(std::string_view subject, std::size_t& s, std::string_view pattern,
                  std::size_t& p, char escape, bool caseSensitive) {
    std::size_t subjectLength = utf8CharLength(subject, s);
    if (pattern[p] == '_') {
        ++p;
        s += subjectLength;
        return true;
    }
    if (escape != '\0' && pattern[p] == escape && p + 1 < pattern.size()) ++p;
    std::size_t patternLength = utf8CharLength(pattern, p);
    if (patternLength != subjectLength) return false;
    std::string_view want = pattern.substr(p, patternLength);
    std::string_view have = subject.substr(s, subjectLength);
    bool same = patternLength == 1 && !caseSensitive ? asciiUpper(want[0]) == asciiUpper(have[0])
                                                     : want == have;
    if (!same) return false;
    p += patternLength;
    s += subjectLength;
    return true;
}

}  // namespace

bool matchLike(std::string_view subject, std::string_view pattern, char escape,
               bool caseSensitive) {
    subject = withoutTrailingSpaces(subject);
    pattern = withoutTrailingSpaces(pattern);
    constexpr std::size_t kNone = std::string_view::npos;
    std::size_t s = 0;
    std::size_t p = 0;
    std::size_t resumePattern = kNone;  // just after the latest "%"
    std::size_t resumeSubject = 0;      // where that "%" stopped taking characters
    while (s < subject.size()) {
        if (p < pattern.size() && pattern[p] == '%') {
            resumePattern = ++p;
            resumeSubject = s;
            continue;
        }
        if (p < pattern.size() && matchElement(subject, s, pattern, p, escape, caseSensitive)) {
            continue;
        }
        if (resumePattern == kNone) return false;
        resumeSubject += utf8CharLength(subject, resumeSubject);
        s = resumeSubject;
        p = resumePattern;
    }
    while (p < pattern.size() && pattern[p] == '%') ++p;
    return p == pattern.size();
}

}  // namespace kelvra
