// The planning pass over analysed statements: what QuickBase is asked to do for each table.
//
// - Restrictions: the predicates a table's scan may hand to QuickBase. QuickBase only narrows
//   the records a scan reads; the executor still evaluates every condition on every row, so a
//   restriction needs only to keep every record the condition keeps. A table is given the
//   top-level conjuncts of the WHERE clause (or all of a WHERE clause that is an OR of
//   predicates on that one table) and of its own ON condition that compare one of its columns
//   with a literal, a parameter, USER, or a column of a table whose record is fixed before the
//   table is scanned (an earlier table of the FROM list, or an enclosing query's). The
//   NULL-supplying side of an outer join takes nothing from the WHERE clause: its NULL rows
//   appear only after the join.
// - The ORDER BY of a forward-only query whose keys are all plain columns of the first table of
//   the FROM list: that table's scan may deliver the order (the executor falls back to sorting
//   when the table cannot).
// - The keyset pattern: a top-level query of one table whose WHERE clause is ten OR terms, each
//   the same conjunction of one to six equalities between a column and a parameter; the
//   executor fetches those records by key.
#pragma once

#include <span>
#include <vector>

#include "sql/parse_tree.h"

namespace kelvra {

// Plans the scans of an analysed Select. `outerTables`: the TableRefs of the enclosing
// queries, whose records are fixed while this one runs.
void planSelectScans(ParseTree& tree, NodeIndex select, std::span<const NodeIndex> outerTables,
                     bool topLevel, bool forwardOnly);

// Plans the scan of the one table of an UPDATE or DELETE.
void planTargetScan(ParseTree& tree, NodeIndex tableRef, NodeIndex where);

// The TableRefs of a Select's FROM list, in order.
std::vector<NodeIndex> fromTables(const ParseTree& tree, NodeIndex select);

}  // namespace kelvra
