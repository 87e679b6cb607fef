// The executor's running state of one Select: its tables in join order with the outer-join
// structure the nested loops follow, where the loops stand, and the cached result of an
// uncorrelated subquery. Internal to the executor.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "engine/executor.h"
#include "sql/statement_plan.h"

namespace kelvra {

struct Executor::SelectRun {
    SelectRun(const ParseTree& tree, NodeIndex select);

    void restart() {
        started = false;
        finished = false;
        rows = Rows::Streamed;
        row = nullptr;
    }

    std::vector<NodeIndex> tables;  // the FROM list, in order
    // For each table: the outer joins (their indexes in `tables`) whose right operand holds it,
    // besides the join whose right table it is itself. While one of them stands on its NULL
    // row, so does the table.
    std::vector<std::vector<std::size_t>> nullWith;
    // For each table: the outer joins whose right operand ends with it; a record of it that
    // meets its ON condition completes a match of those joins.
    std::vector<std::vector<std::size_t>> completes;
    bool started = false;
    bool finished = false;
    // Scans keep the pages they passed (a materialised result goes back to its records, a
    // subquery runs again); only a streamed top-level query lets them go.
    bool keepPages = true;

    // A materialised result: what its rows hold, and the current one.
    enum class Rows { Streamed, RecordIds, Groups, Values };
    Rows rows = Rows::Streamed;
    std::size_t idOffset = 0;  // 0-based start of a RecordIds row's record ids
    const char* row = nullptr;
    std::vector<char> groupRow;  // the group being finished, which HAVING reads

    // A subquery that names no column of an enclosing query gives the same rows for every row
    // of the enclosing query: it runs once per execution.
    bool correlated = true;
    std::optional<bool> cachedExists;
    std::optional<std::vector<Value>> cachedValues;  // its first select item, row by row
};

}  // namespace kelvra
