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

// A text key that is a trimmed field, found once for its marker and its bytes.
int compareTextField(const SortKey& key, const RecordLayout& layout, const char* a,
                     const char* b) {
    const auto fieldA = layout.storedField(a, static_cast<std::size_t>(key.field));
    const auto fieldB = layout.storedField(b, static_cast<std::size_t>(key.field));
    if (key.hasMarker) {
        const std::uint32_t marker = key.offset + key.length;
        const bool nullA = (key.markerWhole ? fieldA.bytes[fieldA.kept]
                                            : layout.byteAt(a, marker)) == kNullMarker;
        const bool nullB = (key.markerWhole ? fieldB.bytes[fieldB.kept]
                                            : layout.byteAt(b, marker)) == kNullMarker;
        if (nullA || nullB) return nullA == nullB ? 0 : (nullA ? -1 : 1);
    }
    return RecordLayout::compareFields(fieldA, fieldB, true);
}

int compareKey(const SortKey& key, const RecordLayout& layout, const char* a, const char* b) {
    if (key.type == SortKeyType::Text && key.field >= 0) {
        return compareTextField(key, layout, a, b);
    }
    if (key.hasMarker) {
        const bool nullA = layout.byteAt(a, key.offset + key.length) == kNullMarker;
        const bool nullB = layout.byteAt(b, key.offset + key.length) == kNullMarker;
        if (nullA || nullB) return nullA == nullB ? 0 : (nullA ? -1 : 1);
    }
    const auto whole = [&layout, &key](const char* record) {
        return reinterpret_cast<const unsigned char*>(layout.wholeBytes(record, key.offset));
    };
    switch (key.type) {
        case SortKeyType::Text:
            return layout.compare(a, b, ByteRange{key.offset, key.length}, true);
        case SortKeyType::Double:
            return compareDouble(whole(a), whole(b));
        case SortKeyType::Numeric:
            return compareNumericText(whole(a), whole(b), key.length);
        case SortKeyType::Other:
            return 0;
    }
    return 0;
}

}  // namespace

std::uint64_t sortPrefix(const SortSpec& sortSpec, const RecordLayout& layout,
                         const char* record) {
    if (sortSpec.keys.empty()) return 0;
    const SortKey& key = sortSpec.keys.front();
    std::uint64_t prefix = 0;
    if (key.hasMarker && layout.byteAt(record, key.offset + key.length) == kNullMarker) {
        prefix = 0;  // NULL: before every value
    } else if (key.type == SortKeyType::Text) {
        const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(key.length, sizeof prefix));
        char bytes[sizeof prefix];
        if (key.field >= 0) {
            const auto field = layout.storedField(record, static_cast<std::size_t>(key.field));
            const std::uint32_t stored = std::min(field.kept, n);
            std::memcpy(bytes, field.bytes, stored);
            std::memset(bytes + stored, ' ', n - stored);
        } else {
            layout.copyBytes(record, key.offset, n, bytes);
        }
        for (std::uint32_t i = 0; i < n; ++i) {
            const auto folded = static_cast<unsigned char>(asciiLower(bytes[i]));
            prefix |= std::uint64_t{folded} << (56 - 8 * i);
        }
    } else if (key.type == SortKeyType::Double) {
        double value;
        std::memcpy(&value, layout.wholeBytes(record, key.offset), sizeof value);
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

int compareRecords(const SortSpec& sortSpec, const RecordLayout& layout, const char* a,
                   const char* b) {
    for (const SortKey& key : sortSpec.keys) {
        const int result = compareKey(key, layout, a, b);
        if (result != 0) return key.descending ? -result : result;
    }
    for (const ByteRange& range : sortSpec.ties) {
        const int result = layout.compare(a, b, range, false);
        if (result != 0) return result;
    }
    return 0;
}

RecordLayout sortLayout(std::string_view text, std::size_t recordLength) {
    constexpr std::uint32_t kLeastTrimmed = 32;
    const auto length = static_cast<std::uint32_t>(recordLength);
    SortSpec sortSpec;
    if (parseSortSpec(text, sortSpec) != kMsgNone || sortSpec.recordLength != length) {
        return RecordLayout(length);
    }
    std::vector<ByteRange> fields;
    for (const SortKey& key : sortSpec.keys) {
        if (key.type == SortKeyType::Text && key.length >= kLeastTrimmed) {
            fields.push_back(ByteRange{key.offset, key.length});
        }
    }
    RecordLayout layout(length, std::move(fields));
    return bindLayout(sortSpec, layout) ? layout : RecordLayout(length);
}

bool bindLayout(SortSpec& sortSpec, const RecordLayout& layout) {
    if (layout.recordLength() != sortSpec.recordLength) return false;
    for (SortKey& key : sortSpec.keys) {
        const ByteRange range{key.offset, key.length};
        key.field = layout.fieldIndex(range);
        key.markerWhole =
            !key.hasMarker || layout.isStoredWhole(ByteRange{key.offset + key.length, 1});
        if (key.type == SortKeyType::Text || layout.isStoredWhole(range)) continue;
        if (key.type == SortKeyType::Double || key.type == SortKeyType::Numeric) return false;
    }
    return true;
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
