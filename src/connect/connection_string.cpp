#include "connect/connection_string.h"

#include "resources/ascii.h"

namespace kelvra {
namespace {

// Reads a braced value starting at text[at] == '{'. On success stores the value, sets `end`
// to the index just past the closing brace and returns true.
bool readBracedValue(std::string_view text, size_t at, std::string& value, size_t& end) {
    value.clear();
    for (size_t i = at + 1; i < text.size(); ++i) {
        if (text[i] != '}') {
            value += text[i];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '}') {
            value += '}';
            ++i;
            continue;
        }
        // The closing brace must end the pair.
        if (i + 1 < text.size() && text[i + 1] != ';') return false;
        end = i + 1;
        return true;
    }
    return false;
}

void storeValue(std::string_view keyword, std::string value, ConnectionValues& v) {
    struct KeywordField {
        std::string_view keyword;
        std::string ConnectionValues::*field;
    };
    static constexpr KeywordField kFirstWins[] = {
        {"DSN", &ConnectionValues::dsn},
        {"DRIVER", &ConnectionValues::driver},
        {"UID", &ConnectionValues::uid},
        {"PWD", &ConnectionValues::pwd},
        {"QUICKBASESERVER", &ConnectionValues::server},
    };
    static constexpr KeywordField kLastWins[] = {
        {"THREADMODEL", &ConnectionValues::threadModel},
        {"USEFIDS", &ConnectionValues::useFids},
        {"TEXTNULL", &ConnectionValues::textNull},
        {"WINHTTP", &ConnectionValues::winHttp},
        {"FILE", &ConnectionValues::file},
        {"TIMEOUT", &ConnectionValues::timeout},
    };
    for (const auto& k : kFirstWins) {
        if (keyword == k.keyword) {
            if ((v.*k.field).empty()) v.*k.field = std::move(value);
            return;
        }
    }
    for (const auto& k : kLastWins) {
        if (keyword == k.keyword) {
            v.*k.field = std::move(value);
            return;
        }
    }
}

bool needsBraces(std::string_view value) {
    return value.find_first_of(";{}") != std::string_view::npos ||
           (!value.empty() && (value.front() == ' ' || value.back() == ' '));
}

void appendPair(std::string& out, std::string_view keyword, std::string_view value) {
    out += keyword;
    out += '=';
    if (!needsBraces(value)) {
        out += value;
        return;
    }
    out += '{';
    for (char c : value) {
        out += c;
        if (c == '}') out += '}';
    }
    out += '}';
}

}  // namespace

MsgNo parseConnectionString(std::string_view text, ConnectionValues& values) {
    size_t pos = 0;
    while (pos < text.size()) {
        // Empty pairs, and the blanks before a keyword, are no part of one.
        pos = text.find_first_not_of("; \t", pos);
        if (pos == std::string_view::npos) break;
        const size_t eq = text.find('=', pos);
        if (eq == std::string_view::npos) break;
        const std::string keyword = toUpperAscii(trimBlanks(text.substr(pos, eq - pos)));
        if (keyword.empty()) return kMsgInvalidConnectString;

        std::string value;
        size_t next = std::string_view::npos;  // where the next pair starts
        size_t braceEnd = 0;
        if (eq + 1 < text.size() && text[eq + 1] == '{' &&
            readBracedValue(text, eq + 1, value, braceEnd)) {
            if (braceEnd < text.size()) next = braceEnd + 1;
        } else {
            const size_t semi = text.find(';', eq + 1);
            value = std::string(text.substr(
                eq + 1, semi == std::string_view::npos ? std::string_view::npos : semi - eq - 1));
            if (semi != std::string_view::npos) next = semi + 1;
        }
        storeValue(keyword, std::move(value), values);
        if (next == std::string_view::npos) break;
        pos = next;
    }
    return kMsgNone;
}

bool parseTimeoutSeconds(std::string_view text, std::uint32_t& seconds) {
    text = trimBlanks(text);
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != text.npos) {
        return false;
    }
    seconds = 0;
    for (char c : text) seconds = seconds * 10 + std::uint32_t(c - '0');
    return true;
}

std::string buildOutConnectionString(const ConnectionValues& v) {
    std::string out;
    if (!v.dsn.empty()) {
        appendPair(out, "DSN", v.dsn);
    } else {
        appendPair(out, "DRIVER", v.driver);
    }
    if (!v.server.empty()) {
        out += ';';
        appendPair(out, "QUICKBASESERVER", v.server);
    }
    if (!v.uid.empty()) {
        out += ';';
        appendPair(out, "UID", v.uid);
        if (!v.pwd.empty()) {
            out += ';';
            appendPair(out, "PWD", v.pwd);
        }
    }
    out += ";SERVER=QuickBase";
    return out;
}

}  // namespace kelvra
