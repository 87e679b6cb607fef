#include "engine/record_layout.h"

#include <algorithm>
#include <cstring>

namespace kelvra {

namespace {

constexpr std::uint32_t kMaxTrimmedField = 0xFFFF;

// The bytes of `field` that remain once its trailing blanks are cut.
std::uint32_t keptLength(const char* field, std::uint32_t length) {
    constexpr std::uint64_t kBlanks = 0x2020202020202020u;
    while (length >= 8) {
        std::uint64_t word;
        std::memcpy(&word, field + length - 8, 8);
        if (word != kBlanks) break;
        length -= 8;
    }
    while (length > 0 && field[length - 1] == ' ') --length;
    return length;
}

// <0, 0, >0 as the bytes sort before, with or after as many blanks.
int compareWithBlanks(const unsigned char* x, std::size_t n, bool foldCase) {
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = foldCase ? kFoldCase[x[i]] : x[i];
        if (c != ' ') return c < ' ' ? -1 : 1;
    }
    return 0;
}

// <0, 0, >0 as `x` (`keptX` bytes, then blanks) sorts before, with or after `y` (`keptY`
// bytes, then blanks).
int compareBlankPadded(const unsigned char* x, std::uint32_t keptX, const unsigned char* y,
                       std::uint32_t keptY, bool foldCase) {
    const std::uint32_t common = std::min(keptX, keptY);
    if (int r = compareBytes(x, y, common, foldCase)) return r;
    if (keptX > common) return compareWithBlanks(x + common, keptX - common, foldCase);
    return -compareWithBlanks(y + common, keptY - common, foldCase);
}

// The stored bytes of a field of `kept` stored bytes that lie `count` bytes from `skip` on.
std::uint32_t storedPart(std::uint32_t kept, std::uint32_t skip, std::uint32_t count) {
    return kept > skip ? std::min(kept - skip, count) : 0;
}

}  // namespace

RecordLayout::RecordLayout(std::uint32_t recordLength, std::vector<ByteRange> fields)
    : recordLength_(recordLength) {
    std::sort(fields.begin(), fields.end(),
              [](const ByteRange& a, const ByteRange& b) { return a.offset < b.offset; });
    std::uint32_t free = 0;  // the first byte no trimmed field covers yet
    for (const ByteRange& field : fields) {
        if (field.length == 0 || field.length > kMaxTrimmedField || field.offset < free ||
            field.offset >= recordLength || field.length > recordLength - field.offset) {
            continue;
        }
        trimmed_.push_back(field);
        free = field.offset + field.length;
    }
}

bool RecordLayout::isStoredWhole(ByteRange range) const {
    for (const ByteRange& field : trimmed_) {
        if (field.offset < range.offset + range.length &&
            range.offset < field.offset + field.length)
            return false;
    }
    return true;
}

std::size_t RecordLayout::trimmedLength(const char* stored, std::size_t available) const {
    const std::size_t header = 2 * trimmed_.size();
    if (available < header) return 0;
    std::size_t length = header + recordLength_;
    for (std::size_t i = 0; i < trimmed_.size(); ++i) {
        const std::uint16_t count = kept(stored, i);
        if (count > trimmed_[i].length) return 0;
        length -= trimmed_[i].length - count;
    }
    return length <= available ? length : 0;
}

std::size_t RecordLayout::store(const char* record, char* out) const {
    std::size_t at = 2 * trimmed_.size();
    std::uint32_t logical = 0;
    for (std::size_t i = 0; i < trimmed_.size(); ++i) {
        const ByteRange field = trimmed_[i];
        const auto count =
            static_cast<std::uint16_t>(keptLength(record + field.offset, field.length));
        std::memcpy(out + 2 * i, &count, sizeof count);
        const std::uint32_t whole = field.offset + count - logical;
        std::memcpy(out + at, record + logical, whole);
        at += whole;
        logical = field.offset + field.length;
    }
    std::memcpy(out + at, record + logical, recordLength_ - logical);
    return at + recordLength_ - logical;
}

void RecordLayout::restore(const char* stored, char* record) const {
    copyBytes(stored, 0, recordLength_, record);
}

std::size_t RecordLayout::position(const char* stored, std::uint32_t offset) const {
    std::size_t at = 2 * trimmed_.size();
    std::uint32_t logical = 0;
    for (std::size_t i = 0; i < trimmed_.size(); ++i) {
        const ByteRange field = trimmed_[i];
        if (field.offset + field.length > offset) break;
        at += field.offset - logical + kept(stored, i);
        logical = field.offset + field.length;
    }
    return at + offset - logical;
}

int RecordLayout::fieldIndex(ByteRange range) const {
    for (std::size_t i = 0; i < trimmed_.size(); ++i) {
        if (trimmed_[i].offset == range.offset && trimmed_[i].length == range.length) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int RecordLayout::compareFields(StoredField a, StoredField b, bool foldCase) {
    return compareBlankPadded(reinterpret_cast<const unsigned char*>(a.bytes), a.kept,
                              reinterpret_cast<const unsigned char*>(b.bytes), b.kept, foldCase);
}

char RecordLayout::trimmedByteAt(const char* stored, std::uint32_t offset) const {
    std::size_t at = 2 * trimmed_.size();
    std::uint32_t logical = 0;
    for (std::size_t i = 0; i < trimmed_.size() && trimmed_[i].offset <= offset; ++i) {
        const ByteRange field = trimmed_[i];
        const std::uint16_t keptCount = kept(stored, i);
        at += field.offset - logical;
        if (offset < field.offset + field.length) {
            const std::uint32_t into = offset - field.offset;
            return into < keptCount ? stored[at + into] : ' ';
        }
        at += keptCount;
        logical = field.offset + field.length;
    }
    return stored[at + offset - logical];
}

void RecordLayout::copyBytes(const char* stored, std::uint32_t offset, std::uint32_t count,
                             char* out) const {
    const std::uint32_t end = offset + count;
    std::size_t at = 2 * trimmed_.size();
    std::uint32_t logical = 0;
    for (std::size_t i = 0;; ++i) {
        const bool last = i == trimmed_.size();
        const std::uint32_t wholeEnd = last ? recordLength_ : trimmed_[i].offset;
        const std::uint32_t lo = std::max(logical, offset);
        const std::uint32_t hi = std::min(wholeEnd, end);
        if (lo < hi) std::memcpy(out + (lo - offset), stored + at + (lo - logical), hi - lo);
        if (last || wholeEnd >= end) return;
        at += wholeEnd - logical;
        const ByteRange field = trimmed_[i];
        const std::uint16_t keptCount = kept(stored, i);
        const std::uint32_t from = std::max(field.offset, offset);
        const std::uint32_t to = std::min(field.offset + field.length, end);
        if (from < to) {
            const std::uint32_t skip = from - field.offset;
            const std::uint32_t part = storedPart(keptCount, skip, to - from);
            std::memcpy(out + (from - offset),
                        stored + at + std::min<std::uint32_t>(skip, keptCount), part);
            std::memset(out + (from - offset) + part, ' ', to - from - part);
        }
        at += keptCount;
        logical = field.offset + field.length;
    }
}

int RecordLayout::compareTrimmed(const char* a, const char* b, ByteRange range,
                                 bool foldCase) const {
    const auto* ua = reinterpret_cast<const unsigned char*>(a);
    const auto* ub = reinterpret_cast<const unsigned char*>(b);
    const std::uint32_t end = range.offset + range.length;
    std::size_t atA = 2 * trimmed_.size();
    std::size_t atB = atA;
    std::uint32_t logical = 0;
    for (std::size_t i = 0;; ++i) {
        const bool last = i == trimmed_.size();
        const std::uint32_t wholeEnd = last ? recordLength_ : trimmed_[i].offset;
        const std::uint32_t lo = std::max(logical, range.offset);
        const std::uint32_t hi = std::min(wholeEnd, end);
        if (lo < hi) {
            const std::uint32_t skip = lo - logical;
            if (int r = compareBytes(ua + atA + skip, ub + atB + skip, hi - lo, foldCase)) return r;
        }
        if (last || wholeEnd >= end) return 0;
        atA += wholeEnd - logical;
        atB += wholeEnd - logical;
        const ByteRange field = trimmed_[i];
        const std::uint16_t keptA = kept(a, i);
        const std::uint16_t keptB = kept(b, i);
        const std::uint32_t from = std::max(field.offset, range.offset);
        const std::uint32_t to = std::min(field.offset + field.length, end);
        if (from < to) {
            const std::uint32_t skip = from - field.offset;
            const std::uint32_t count = to - from;
            if (int r = compareBlankPadded(ua + atA + std::min<std::uint32_t>(skip, keptA),
                                           storedPart(keptA, skip, count),
                                           ub + atB + std::min<std::uint32_t>(skip, keptB),
                                           storedPart(keptB, skip, count), foldCase)) {
                return r;
            }
        }
        atA += keptA;
        atB += keptB;
        logical = field.offset + field.length;
    }
}

}  // namespace kelvra
