// TableScan: the scan state of one QbTable (restrictions and order asked for, the record ids of
// the current scan and the position in them, the keyed index). Internal to the table layer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "qbtable/record_cache.h"
#include "qbtable/restriction.h"

namespace kelvra {

inline constexpr std::size_t kFirstPageSize = 1024;

// The records of a keyed scan's unchanged restrictions, by the value of its changing column.
struct KeyedIndex {
    bool ready = false;
    std::string baseQuery;
    std::uint16_t column = 0;
    std::string slist;
    std::string letters;
    std::uint64_t generation = 0;
    std::vector<std::int32_t> all;  // every record of the base, in QuickBase's order
    std::unordered_map<std::string, std::vector<std::int32_t>> byKey;
};

struct TableScan {
    // What the next scan asks for.
    std::vector<Criterion> criteria;
    RestrictionJoin join = RestrictionJoin::And;
    std::string slist = "3";  // the sort fields, joined by "."
    std::string letters = "A";

    // What the current record-id list was made for.
    bool listed = false;
    std::vector<Criterion> listCriteria;
    RestrictionJoin listJoin = RestrictionJoin::And;
    std::string query;
    std::string listSlist;
    std::string listLetters;
    std::uint64_t listGeneration = 0;

    // The scan: ids[0, fromQuickBase) in QuickBase's order (read in pages by position), the
    // rest read by id.
    std::vector<std::int32_t> ids;
    std::size_t fromQuickBase = 0;
    std::ptrdiff_t position = -1;
    std::int32_t currentId = 0;
    std::uint32_t currentIndex = IdIndex::kNone;
    std::uint64_t currentEpoch = 0;
    bool currentRead = false;     // reading the current record was tried ...
    std::uint64_t readEpoch = 0;  // ... at this epoch of the cache
    std::size_t pageSize = kFirstPageSize;
    bool forwardOnly = false;
    std::size_t droppedUpTo = 0;  // forward-only: the records before this position were dropped
    IdIndex positions;            // id to position, for positionOnRecord
    bool positionsValid = false;
    bool keyed = false;
    KeyedIndex keyedIndex;

    // The record slot of each column, -1 until known.
    std::vector<int> columnSlots;
};

}  // namespace kelvra
