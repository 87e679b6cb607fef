#include "convert/datetime_text.h"

#include <cstdio>

#include "convert/calendar.h"
#include "resources/ascii.h"

namespace kelvra {

namespace {

template <typename... Args>
std::string formatted(const char* format, Args... args) {
    char buffer[64];
    const int n = std::snprintf(buffer, sizeof buffer, format, args...);
    return std::string(buffer, n > 0 ? std::size_t(n) : 0);
}

class Cursor {
  public:
    explicit Cursor(std::string_view text) : text_(text) {}

    bool atEnd() const { return pos_ == text_.size(); }
    char peek() const { return atEnd() ? '\0' : text_[pos_]; }
    void skipBlanks() {
        while (!atEnd() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
    }
    bool take(char c) {
        if (peek() != c) return false;
        ++pos_;
        return true;
    }
    // A word of letters, compared without regard to case.
    bool takeWord(std::string_view word) {
        std::size_t end = pos_;
        while (end < text_.size() && ((text_[end] | 0x20) >= 'a' && (text_[end] | 0x20) <= 'z')) {
            ++end;
        }
        if (!equalsIgnoreCase(text_.substr(pos_, end - pos_), word)) return false;
        pos_ = end;
        return true;
    }
    // Blanks, then the symbols of `symbols` one by one, blanks allowed between them.
    bool takeSymbols(std::string_view symbols) {
        for (char c : symbols) {
            skipBlanks();
            if (!take(c)) return false;
        }
        return true;
    }
    // 1 to maxDigits decimal digits.
    bool takeNumber(int maxDigits, unsigned long& value, int* count = nullptr) {
        int digits = 0;
        value = 0;
        while (digits < maxDigits && peek() >= '0' && peek() <= '9') {
            value = value * 10 + unsigned(text_[pos_++] - '0');
            ++digits;
        }
        if (count) *count = digits;
        return digits > 0 && !(peek() >= '0' && peek() <= '9');
    }
    // The text up to the next quote, the quote consumed.
    bool takeQuoted(std::string_view& inner) {
        if (!take('\'')) return false;
        const std::size_t close = text_.find('\'', pos_);
        if (close == std::string_view::npos) return false;
        inner = text_.substr(pos_, close - pos_);
        pos_ = close + 1;
        return true;
    }

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

bool readValue(Cursor& in, DateValue& out) {
    unsigned long year, month, day;
    if (!in.takeNumber(4, year) || !in.take('-') || !in.takeNumber(2, month) || !in.take('-') ||
        !in.takeNumber(2, day)) {
        return false;
    }
    out = DateValue{std::int16_t(year), std::uint16_t(month), std::uint16_t(day)};
    return isValidDate(out);
}

bool readValue(Cursor& in, TimeValue& out) {
    unsigned long hour, minute, second;
    if (!in.takeNumber(2, hour) || !in.take(':') || !in.takeNumber(2, minute) || !in.take(':') ||
        !in.takeNumber(2, second)) {
        return false;
    }
    out = TimeValue{std::uint16_t(hour), std::uint16_t(minute), std::uint16_t(second)};
    return isValidTime(out);
}

bool readValue(Cursor& in, TimestampValue& out) {
    DateValue date;
    if (!readValue(in, date)) return false;
    out = toTimestamp(date);
    if (in.peek() != ' ' && in.peek() != '\t') return true;
    in.skipBlanks();
    if (in.atEnd()) return true;
    TimeValue time;
    if (!readValue(in, time)) return false;
    out = toTimestamp(date, time);
    if (in.take('.')) {
        unsigned long fraction;
        int digits;
        if (!in.takeNumber(9, fraction, &digits)) return false;
        for (; digits < 9; ++digits) fraction *= 10;
        out.fraction = std::uint32_t(fraction);
    }
    return true;
}

template <typename T>
bool readBare(std::string_view text, T& out) {
    Cursor in(text);
    in.skipBlanks();
    const bool ok = readValue(in, out);
    in.skipBlanks();
    return ok && in.atEnd();
}

std::string_view keywordOf(const DateValue&) {
    return "d";
}
std::string_view keywordOf(const TimeValue&) {
    return "t";
}
std::string_view keywordOf(const TimestampValue&) {
    return "ts";
}

// The three shapes: the value inside an escape clause or the vendor escape, or the bare value.
template <typename T>
MsgNo parseShapes(std::string_view text, T& out) {
    Cursor in(text);
    in.skipBlanks();
    std::string_view inner = text;
    bool ok = true;
    if (in.take('{')) {
        in.skipBlanks();
        ok = in.takeWord(keywordOf(out)) && (in.skipBlanks(), in.takeQuoted(inner)) &&
             in.takeSymbols("}");
    } else if (in.peek() == '-') {
        ok = in.takeSymbols("--(*") && (in.skipBlanks(), in.takeWord("vendor")) &&
             in.takeSymbols("(") && (in.skipBlanks(), in.takeWord("Microsoft")) &&
             in.takeSymbols("),") && (in.skipBlanks(), in.takeWord("product")) &&
             in.takeSymbols("(") && (in.skipBlanks(), in.takeWord("ODBC")) && in.takeSymbols(")") &&
             (in.skipBlanks(), in.takeWord(keywordOf(out))) &&
             (in.skipBlanks(), in.takeQuoted(inner)) && in.takeSymbols("*)--");
    }
    if (inner.data() != text.data()) {  // an escape: nothing may follow it
        in.skipBlanks();
        ok = ok && in.atEnd();
    }
    T value;
    if (!ok || !readBare(inner, value)) return kMsgConversionError;
    out = value;
    return kMsgNone;
}

}  // namespace

std::string dateText(const DateValue& date) {
    return formatted("%04d-%02u-%02u", int(date.year), unsigned(date.month), unsigned(date.day));
}

std::string timeText(const TimeValue& time) {
    return formatted("%02u:%02u:%02u", unsigned(time.hour), unsigned(time.minute),
                     unsigned(time.second));
}

std::string timestampText(const TimestampValue& ts) {
    return formatted("%04d-%02u-%02u %02u:%02u:%02u.%03lu", int(ts.year), unsigned(ts.month),
                     unsigned(ts.day), unsigned(ts.hour), unsigned(ts.minute), unsigned(ts.second),
                     static_cast<unsigned long>(ts.fraction / 1000000u));
}

MsgNo parseDate(std::string_view text, DateValue& out) {
    return parseShapes(text, out);
}

MsgNo parseTime(std::string_view text, TimeValue& out) {
    return parseShapes(text, out);
}

MsgNo parseTimestamp(std::string_view text, TimestampValue& out) {
    return parseShapes(text, out);
}

}  // namespace kelvra
