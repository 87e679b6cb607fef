// The external sort engine: sorts the records of a temporary file by a sort order text
// (engine/sort_spec.h) into another file, or into the same one.
//
// Memory stays within a budget: an input that fits is sorted in memory; a larger one is cut
// into runs of the budget's size, each sorted and written to a run file, and the runs are
// merged in one k-way merge (more passes only when the budget cannot hold a buffer for every
// run). The sort is stable: records that compare equal keep their input order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/temp_file.h"
#include "resources/messages.h"

namespace kelvra {

inline constexpr std::size_t kDefaultSortMemory = std::size_t{64} << 20;

// Sorts the records of `input` into `output` (which may be `input`); the output's record
// length becomes the sort order's and `recordCount` the number of records written, fewer
// than the input's when DUPO drops duplicates. 0, or 1046 "Unable to do ORDER BY" for a
// malformed sort order text, an input size that is not a multiple of the record length, or a
// file or memory failure (the output's content is then undefined).
MsgNo sortFile(TempFile& input, TempFile& output, std::string_view sortSpec,
               std::int64_t& recordCount, std::size_t memoryBudget = kDefaultSortMemory);

}  // namespace kelvra
