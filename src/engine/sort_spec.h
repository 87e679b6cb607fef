// Sort orders: the text planning writes to say how the rows of a result file are
// sorted, and the record comparison the sort engine applies.
//
//   S(pos,len,type,dir,...)  keys, compared in order; pos 1-based, len bytes; at most 20 keys.
//                            type "C" (bytes, ASCII letters ignoring case), "W" (as "C"),
//                            "E" (8-byte double, numerically; len 8), "N" (numeric text);
//                            any other type compares equal. dir "A" ascending, else descending.
//   F(FIX,len)               the record length.
//   W(dir)                   the work directory; skipped.
//   DUPO(Bn,start,len)       drop a record whose bytes start .. start+len-1 repeat those of the
//                            record kept before it (n is not used; len 0 keeps one record).
// Any other character between the elements is skipped.
//
// The byte after a key is its marker (sql/sort_layout.h): kNullMarker makes the key NULL, whose
// bytes are then ignored; NULL sorts before every value ascending and after them descending.
// A key that ends at the record's end has no marker and is never NULL. Keys that compare equal
// are followed by an exact byte comparison of the key fields (markers included) and then of
// the DUPO bytes, so rows with identical keys, and rows with identical DUPO bytes, come out
// next to each other ("abc", "ABC", "abc" sorts as "ABC", "abc", "abc"). The sort engine is
// stable beyond that: records equal in all of these keep their input order, so DUPO keeps the
// first of its duplicates in input order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/record_layout.h"
#include "resources/messages.h"

namespace kelvra {

inline constexpr std::size_t kMaxSortKeys = 20;

enum class SortKeyType : std::uint8_t { Text, Double, Numeric, Other };

struct SortKey {
    std::uint32_t offset = 0;  // 0-based
    std::uint32_t length = 0;
    SortKeyType type = SortKeyType::Text;
    bool descending = false;
    bool hasMarker = false;  // the byte after the key lies inside the record
    int field = -1;          // the trimmed field the key is, once bound to a layout
    bool markerWhole = true; // the marker is stored whole, just after the field's bytes
};

struct SortSpec {
    std::vector<SortKey> keys;
    std::uint32_t recordLength = 0;
    bool dedupe = false;
    ByteRange duplicates;         // the DUPO bytes
    std::vector<ByteRange> ties;  // compared exactly when the keys are equal
};

// 0, or 1046 "Unable to do ORDER BY" for a text that does not describe records this engine can
// sort: more than 20 keys, no record length, a key or DUPO range outside the record, an "E"
// key not 8 bytes long, malformed numbers.
MsgNo parseSortSpec(std::string_view text, SortSpec& sortSpec);

// The layout for files sorted by the order: its text keys of at least 32 bytes are trimmed
// (narrower ones cost less whole than the count and the extra step trimming adds). A text
// that is not a sort order gives records stored as they are (sorting then fails).
RecordLayout sortLayout(std::string_view sortSpec, std::size_t recordLength);

// Readies the order to compare records stored by `layout`; false when it cannot: a record
// length other than the order's, or a key that is not text inside a trimmed field.
bool bindLayout(SortSpec& sortSpec, const RecordLayout& layout);

// <0, 0, >0 as record `a` sorts before, together with or after record `b` (both stored by
// `layout`, the order bound to it or to a layout storing records as they are): the keys, then
// the exact tie-break.
int compareRecords(const SortSpec& sortSpec, const RecordLayout& layout, const char* a,
                   const char* b);

// A number that orders records as their first key does, as far as its leading bytes tell:
// compareRecords(a, b) < 0 implies sortPrefix(a) <= sortPrefix(b). Sorting compares these first
// and the records only when they are equal.
std::uint64_t sortPrefix(const SortSpec& sortSpec, const RecordLayout& layout,
                         const char* record);

// The sort order text that puts rows starting with a sequence field back in sequence order.
std::string sequenceOrderSpec(std::size_t recordLength);
// The first sort of the keyset fetch: keyset-fetch rows by record id, each id kept once.
std::string keysetFetchDedupeSpec();

}  // namespace kelvra
