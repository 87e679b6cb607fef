#include "engine/sort_spec.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <new>

#include "resources/ascii.h"
#include "sql/sort_layout.h"

namespace kelvra {

namespace {

constexpr std::uint32_t kMaxNumber = 1u << 30;

// Reads the sort order text element by element; a false return is a malformed text.
class SpecReader {
  public:
    explicit SpecReader(std::string_view text) : text_(text) {}

    bool read(SortSpec& sortSpec) {
        while (pos_ < text_.size()) {
            if (take("S(")) {
                if (!readKeys(sortSpec)) return false;
            } else if (take("F(FIX,")) {
                if (!number(sortSpec.recordLength) || !take(")")) return false;
            } else if (take("DUPO(B")) {
                std::uint32_t unused = 0;
                sortSpec.dedupe = true;
                if (!number(unused) || !take(",") || !number(sortSpec.duplicates.offset) ||
                    !take(",") || !number(sortSpec.duplicates.length) || !take(")")) {
                    return false;
                }
            } else if (take("W(")) {
                skipDirectory();
            } else {
                ++pos_;
            }
        }
        return true;
    }

  private:
    bool take(std::string_view token) {
        if (text_.substr(pos_, token.size()) != token) return false;
        pos_ += token.size();
        return true;
    }

    bool number(std::uint32_t& out) {
        std::size_t start = pos_;
        std::uint32_t value = 0;
        while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
            value = value * 10 + static_cast<std::uint32_t>(text_[pos_++] - '0');
            if (value > kMaxNumber) return false;
        }
        out = value;
        return pos_ > start;
    }

    bool letter(char& out) {
        if (pos_ >= text_.size()) return false;
        out = text_[pos_++];
        return true;
    }

    bool readKeys(SortSpec& sortSpec) {
        if (take(")")) return true;
        do {
            SortKey key;
            std::uint32_t position = 0;
            char type = 0;
            char direction = 0;
            if (!number(position) || !take(",") || !number(key.length) || !take(",") ||
                !letter(type) || !take(",") || !letter(direction) || position == 0) {
                return false;
            }
            key.offset = position - 1;
            key.type = type == 'C' || type == 'W' ? SortKeyType::Text
                       : type == 'E'              ? SortKeyType::Double
                       : type == 'N'              ? SortKeyType::Numeric
                                                  : SortKeyType::Other;
            key.descending = direction != 'A';
            sortSpec.keys.push_back(key);
            if (sortSpec.keys.size() > kMaxSortKeys) return false;
        } while (take(","));
        return take(")");
    }

    // The directory is not used; a ")" inside it only makes the rest of it stray characters.
    void skipDirectory() {
        const std::size_t close = text_.find(')', pos_);
        pos_ = close == std::string_view::npos ? text_.size() : close + 1;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

bool validate(SortSpec& sortSpec) {
    const std::uint32_t length = sortSpec.recordLength;
    if (length == 0) return false;
    sortSpec.ties.clear();
    for (SortKey& key : sortSpec.keys) {
        if (key.length == 0 || key.offset >= length || key.length > length - key.offset) {
            return false;
        }
        if (key.type == SortKeyType::Double && key.length != sizeof(double)) return false;
        key.hasMarker = key.offset + key.length < length;
        const ByteRange field{key.offset, key.length + (key.hasMarker ? 1u : 0u)};
        if (!sortSpec.ties.empty() &&
            sortSpec.ties.back().offset + sortSpec.ties.back().length == field.offset) {
            sortSpec.ties.back().length += field.length;
        } else {
            sortSpec.ties.push_back(field);
        }
    }
    if (sortSpec.dedupe) {
        const ByteRange dupo = sortSpec.duplicates;
        if (dupo.offset == 0 || dupo.offset - 1 > length ||
            dupo.length > length - (dupo.offset - 1)) {
            return false;
        }
        sortSpec.duplicates.offset = dupo.offset - 1;
        if (dupo.length > 0) sortSpec.ties.push_back(sortSpec.duplicates);
    }
    return true;
}

constexpr std::array<unsigned char, 256> kFold = [] {
    std::array<unsigned char, 256> table{};
    for (int c = 0; c < 256; ++c) {
        table[c] = static_cast<unsigned char>(asciiLower(static_cast<char>(c)));
    }
    return table;
}();

int compareText(const unsigned char* a, const unsigned char* b, std::size_t length) {
    // Equal keys, the common case when few values are grouped, end in one fast comparison of
    // the whole (blank-padded) field.
    if (std::memcmp(a, b, length) == 0) return 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (a[i] == b[i]) continue;
        const unsigned char fa = kFold[a[i]];
        const unsigned char fb = kFold[b[i]];
        if (fa != fb) return fa < fb ? -1 : 1;
    }
    return 0;
}

// NaN sorts after every number and equals itself, so the order stays a strict weak order.
int compareDouble(const unsigned char* a, const unsigned char* b) {
    double x;
    double y;
    std::memcpy(&x, a, sizeof x);
    std::memcpy(&y, b, sizeof y);
    const bool nanX = std::isnan(x);
    const bool nanY = std::isnan(y);
    if (nanX || nanY) return nanX == nanY ? 0 : (nanX ? 1 : -1);
    return x < y ? -1 : (y < x ? 1 : 0);
}

std::size_t integerDigits(const unsigned char* text, std::size_t length, std::size_t from) {
    std::size_t i = from;
    while (i < length && text[i] >= '0' && text[i] <= '9') ++i;
    return i - from;
}

// Numeric text: negative before positive; then the longer integer part is the larger
// magnitude; then the bytes; negative values reverse the magnitude order.
int compareNumericText(const unsigned char* a, const unsigned char* b, std::size_t length) {
    const bool negativeA = a[0] == '-';
    const bool negativeB = b[0] == '-';
    if (negativeA != negativeB) return negativeA ? -1 : 1;
    const std::size_t from = negativeA ? 1 : 0;
    const std::size_t digitsA = integerDigits(a, length, from);
    const std::size_t digitsB = integerDigits(b, length, from);
    int result = 0;
    if (digitsA != digitsB) {
        result = digitsA < digitsB ? -1 : 1;
    } else {
        const int bytes = std::memcmp(a, b, length);
        result = (bytes > 0) - (bytes < 0);
    }
    return negativeA ? -result : result;
}

int compareKey(const SortKey& key, const unsigned char* a, const unsigned char* b) {
    if (key.hasMarker) {
        const bool nullA = a[key.length] == kNullMarker;
        const bool nullB = b[key.length] == kNullMarker;
        if (nullA || nullB) return nullA == nullB ? 0 : (nullA ? -1 : 1);
    }
    switch (key.type) {
        case SortKeyType::Text:
            return compareText(a, b, key.length);
        case SortKeyType::Double:
            return compareDouble(a, b);
        case SortKeyType::Numeric:
            return compareNumericText(a, b, key.length);
        case SortKeyType::Other:
            return 0;
    }
    return 0;
}

}  // namespace

std::uint64_t sortPrefix(const SortSpec& sortSpec, const char* record) {
    if (sortSpec.keys.empty()) return 0;
    const SortKey& key = sortSpec.keys.front();
    const auto* bytes = reinterpret_cast<const unsigned char*>(record) + key.offset;
    std::uint64_t prefix = 0;
    if (key.hasMarker && bytes[key.length] == kNullMarker) {
        prefix = 0;  // NULL: before every value
    } else if (key.type == SortKeyType::Text) {
        const std::size_t n = std::min<std::size_t>(key.length, sizeof prefix);
        for (std::size_t i = 0; i < n; ++i)
            prefix |= std::uint64_t{kFold[bytes[i]]} << (56 - 8 * i);
    } else if (key.type == SortKeyType::Double) {
        double value;
        std::memcpy(&value, bytes, sizeof value);
        if (std::isnan(value)) {
            prefix = ~std::uint64_t{0};
        } else {
            if (value == 0) value = 0;  // -0 equals +0
            std::memcpy(&prefix, &value, sizeof prefix);
            prefix = (prefix >> 63) ? ~prefix : prefix | (std::uint64_t{1} << 63);
        }
    } else {
        return 0;  // numeric text and other types: the records decide
    }
    return key.descending ? ~prefix : prefix;
}

MsgNo parseSortSpec(std::string_view text, SortSpec& sortSpec) {
    try {
        sortSpec = SortSpec{};
        SpecReader reader(text);
        return reader.read(sortSpec) && validate(sortSpec) ? kMsgNone : kMsgOrderByUnable;
    } catch (const std::bad_alloc&) {
        return kMsgOrderByUnable;
    }
}

int compareRecords(const SortSpec& sortSpec, const char* a, const char* b) {
    const auto* ua = reinterpret_cast<const unsigned char*>(a);
    const auto* ub = reinterpret_cast<const unsigned char*>(b);
    for (const SortKey& key : sortSpec.keys) {
        const int result = compareKey(key, ua + key.offset, ub + key.offset);
        if (result != 0) return key.descending ? -result : result;
    }
    for (const ByteRange& range : sortSpec.ties) {
        const int result = std::memcmp(ua + range.offset, ub + range.offset, range.length);
        if (result != 0) return result;
    }
    return 0;
}

std::string sequenceOrderSpec(std::size_t recordLength) {
    return "S(1," + std::to_string(kSequenceDigits) + ",N,A)F(FIX," + std::to_string(recordLength) +
           ")W(" + tempDirectory() + ")";
}

std::string keysetFetchDedupeSpec() {
    const std::string id = std::to_string(kKeysetFetchRecordIdPosition);
    const std::string length = std::to_string(kKeysetFetchRowLength);
    return "S(" + id + ",4,W,A)DUPO(B" + length + "," + id + ",4)F(FIX," + length + ")W(" +
           tempDirectory() + ")";
}

}  // namespace kelvra
