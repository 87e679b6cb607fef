// How the fixed-width records of result files are stored: a record costs what its values hold,
// not the width of its fields.
//
// A layout names the wide text fields of a record ("trimmed fields"). A stored record starts
// with one 16-bit count per trimmed field, the bytes of that field that are kept; then come the
// record's bytes in order, each trimmed field cut before its trailing blanks. Restoring puts the
// blanks back, so every record, whatever its bytes, comes back exactly as it was written. A
// layout without trimmed fields stores records as they are.
//
// Stored records are compared in place, without restoring them: a trimmed field compares as if
// its blanks were there.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "resources/ascii.h"

namespace kelvra {

// Every byte as asciiLower gives it, looked up.
inline constexpr std::array<unsigned char, 256> kFoldCase = [] {
    std::array<unsigned char, 256> table{};
    for (int c = 0; c < 256; ++c) {
        table[c] = static_cast<unsigned char>(asciiLower(static_cast<char>(c)));
    }
    return table;
}();

// <0, 0, >0 as `n` bytes at `x` sort before, with or after those at `y`, as unsigned values,
// ASCII letters ignoring case when `foldCase`.
inline int compareBytes(const unsigned char* x, const unsigned char* y, std::size_t n,
                        bool foldCase) {
    const int bytes = std::memcmp(x, y, n);
    if (bytes == 0 || !foldCase) return bytes;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char fx = kFoldCase[x[i]];
        const unsigned char fy = kFoldCase[y[i]];
        if (fx != fy) return fx < fy ? -1 : 1;
    }
    return 0;
}

struct ByteRange {
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
};

class RecordLayout {
  public:
    RecordLayout() = default;
    // A layout storing records of `recordLength` (at least 1) bytes as they are.
    explicit RecordLayout(std::uint32_t recordLength) : recordLength_(recordLength) {}
    // Trims the given fields: those that lie inside the record, are at most 65,535 bytes long
    // and do not overlap a field trimmed before them (in offset order); others are left whole.
    RecordLayout(std::uint32_t recordLength, std::vector<ByteRange> fields);

    std::uint32_t recordLength() const { return recordLength_; }
    const std::vector<ByteRange>& trimmed() const { return trimmed_; }
    bool storesAsIs() const { return trimmed_.empty(); }
    // Whether `range` lies outside every trimmed field (so its bytes are stored as they are).
    bool isStoredWhole(ByteRange range) const;

    // The most bytes a stored record takes.
    std::size_t maxStoredLength() const { return recordLength_ + 2 * trimmed_.size(); }
    // The bytes of the stored record at `stored`, of which `available` can be read; 0 when they
    // do not hold a whole stored record (too few bytes, or a count larger than its field).
    std::size_t storedLength(const char* stored, std::size_t available) const {
        if (trimmed_.empty()) return recordLength_ <= available ? recordLength_ : 0;
        return trimmedLength(stored, available);
    }

    // Stores `record` into `out` (room for maxStoredLength() bytes); returns the bytes written.
    std::size_t store(const char* record, char* out) const;
    // Restores the stored record at `stored` into `record` (recordLength() bytes).
    void restore(const char* stored, char* record) const;

    // Where a range that isStoredWhole() lies in a stored record.
    const char* wholeBytes(const char* stored, std::uint32_t offset) const {
        return trimmed_.empty() ? stored + offset : stored + position(stored, offset);
    }
    // The byte at `offset` of the record.
    char byteAt(const char* stored, std::uint32_t offset) const {
        return trimmed_.empty() ? stored[offset] : trimmedByteAt(stored, offset);
    }
    // Copies bytes [offset, offset + count) of the record to `out`.
    void copyBytes(const char* stored, std::uint32_t offset, std::uint32_t count, char* out) const;
    // The trimmed field that is exactly `range`, or -1.
    int fieldIndex(ByteRange range) const;
    // The stored bytes of a trimmed field: `kept` bytes at `bytes`, then (when the byte after
    // the field is stored whole) that byte.
    struct StoredField {
        const char* bytes;
        std::uint32_t kept;
    };
    StoredField storedField(const char* stored, std::size_t field) const {
        std::size_t at = 2 * trimmed_.size();
        std::uint32_t logical = 0;
        for (std::size_t i = 0; i < field; ++i) {
            at += trimmed_[i].offset - logical + kept(stored, i);
            logical = trimmed_[i].offset + trimmed_[i].length;
        }
        return StoredField{stored + at + (trimmed_[field].offset - logical), kept(stored, field)};
    }
    // As compare() over the whole of a trimmed field of two records.
    static int compareFields(StoredField a, StoredField b, bool foldCase);
    // <0, 0, >0 as bytes `range` of record `a` sort before, with or after those of record `b`,
    // byte by byte as unsigned values, ASCII letters ignoring case when `foldCase`.
    int compare(const char* a, const char* b, ByteRange range, bool foldCase) const {
        if (!trimmed_.empty()) return compareTrimmed(a, b, range, foldCase);
        return compareBytes(reinterpret_cast<const unsigned char*>(a) + range.offset,
                            reinterpret_cast<const unsigned char*>(b) + range.offset, range.length,
                            foldCase);
    }

  private:
    std::size_t trimmedLength(const char* stored, std::size_t available) const;
    int compareTrimmed(const char* a, const char* b, ByteRange range, bool foldCase) const;
    char trimmedByteAt(const char* stored, std::uint32_t offset) const;
    std::uint16_t kept(const char* stored, std::size_t field) const {
        std::uint16_t count;
        std::memcpy(&count, stored + 2 * field, sizeof count);
        return count;
    }
    // The position in a stored record of byte `offset` when it lies outside the trimmed fields.
    std::size_t position(const char* stored, std::uint32_t offset) const;

    std::uint32_t recordLength_ = 1;
    std::vector<ByteRange> trimmed_;  // in offset order, disjoint
};

}  // namespace kelvra
