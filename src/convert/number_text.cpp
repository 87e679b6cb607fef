#include "convert/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "convert/guarded.h"

namespace kelvra {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view takeDigits(std::string_view text, std::size_t& pos) {
    const std::size_t start = pos;
    while (pos < text.size() && isDigit(text[pos])) ++pos;
    return text.substr(start, pos - start);
}

std::string printed(const char* format, double value) {
    char buffer[400];  // "%lf" of the largest double needs 316 characters
    const int n = std::snprintf(buffer, sizeof buffer, format, value);
    return std::string(buffer, n > 0 ? std::size_t(n) : 0);
}

}  // namespace

MsgNo scanNumber(std::string_view text, NumberSyntax& out) {
    out = NumberSyntax{};
    std::size_t pos = 0;
    while (pos < text.size() && isBlank(text[pos])) ++pos;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        out.negative = text[pos] == '-';
        ++pos;
    }
    out.integerDigits = takeDigits(text, pos);
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        out.fractionDigits = takeDigits(text, pos);
    }
    if (out.integerDigits.empty() && out.fractionDigits.empty()) return kMsgAssignmentError;
    if (pos < text.size() && (text[pos] == 'E' || text[pos] == 'e')) {
        ++pos;
        bool negativeExponent = false;
        if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
            negativeExponent = text[pos] == '-';
            ++pos;
        }
        const std::string_view digits = takeDigits(text, pos);
        if (digits.empty()) return kMsgAssignmentError;
        long exponent = 0;
        for (char c : digits) {
            exponent = std::min(kExponentLimit, exponent * 10 + (c - '0'));
        }
        out.exponent = negativeExponent ? -exponent : exponent;
    }
    while (pos < text.size() && isBlank(text[pos])) ++pos;
    return pos == text.size() ? kMsgNone : kMsgAssignmentError;
}

MsgNo parseNumber(std::string_view text, double& out) {
    return guarded([&]() -> MsgNo {
        NumberSyntax syntax;
        if (const MsgNo status = scanNumber(text, syntax)) return status;
        // The checked shape without its blanks and a "+" is what from_chars reads, rounded as
        // strtod rounds; a value out of its range takes strtod's way below.
        std::size_t first = 0, end = text.size();
        while (isBlank(text[first])) ++first;
        while (isBlank(text[end - 1])) --end;
        if (text[first] == '+') ++first;
        double value = 0.0;
        const auto read = std::from_chars(text.data() + first, text.data() + end, value);
        if (read.ec == std::errc{} && read.ptr == text.data() + end) {
            out = value;
            return kMsgNone;
        }
        // strtod reads exactly the shape checked above (no hex, no inf or nan can remain).
        std::string plain;
        plain.reserve(text.size() + 16);
        if (syntax.negative) plain += '-';
        plain.append(syntax.integerDigits.empty() ? "0" : syntax.integerDigits);
        plain += '.';
        plain.append(syntax.fractionDigits);
        plain += 'e';
        plain += std::to_string(syntax.exponent);
        value = std::strtod(plain.c_str(), nullptr);
        if (std::isinf(value)) return kMsgOutOfRange;
        out = value;
        return kMsgNone;
    });
}

std::string exactNumberText(double value) {
    if (value == 0.0) return "0";
    char buffer[400];  // the longest, 5e-324, has 325 digits after "0."
    const std::to_chars_result end =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    return std::string(buffer, end.ec == std::errc{} ? end.ptr : buffer);
}

std::string numberText(double value, std::size_t maxChars) {
    std::string text = printed("%lf", value);
    if (const std::size_t point = text.find('.'); point != std::string::npos) {
        std::size_t end = text.find_last_not_of('0');
        if (end == point) --end;
        text.erase(end + 1);
    }
    const bool readsZero = text == "0" || text == "-0";
    if (text.size() > maxChars || (readsZero && value != 0.0)) text = printed("%lE", value);
    return text;
}

}  // namespace kelvra
