// Query planning: how the executor orders, groups and removes duplicate rows of a SELECT. All
// three are done by writing fixed-length rows to a result file and sorting it; planning lays
// those rows out (the byte position and width of every key and aggregate value, each field
// followed by one marker byte) and writes the sort order texts the sort engine reads.
//
// Layouts, positions 1-based:
// - group row (GROUP BY, or aggregates over one group): the grouping columns in GROUP BY order,
//   then each aggregate's value; the rows written before grouping have the same layout, with the
//   aggregates' inputs in place of their values;
// - sort row of a plain query with ORDER BY: the keys, then a 4-byte record id per table of the
//   FROM list (-1 for a NULL row);
// - DISTINCT value row: the row's sequence field (sql/sort_layout.h), then the select items'
//   values.
#pragma once

#include <cstdint>
#include <string>

#include "resources/messages.h"
#include "sql/parse_tree.h"

namespace kelvra {

// At most this many ORDER BY keys, GROUP BY columns and DISTINCT values.
inline constexpr int kMaxOrderKeys = 20;

// The width of a value of this type as a sort key (CHAR and BINARY up to 255 bytes, NUMERIC its
// size + 2, INTEGER and DOUBLE 8, DATE 10, TIME 8, TIMESTAMP 23); 0 when it cannot be sorted.
std::int32_t sortKeyWidth(const TypeDesc& type);

// The key type letter of a type in a sort order text: C, N or E.
char sortKeyType(const TypeDesc& type);

// Plans an analysed Select: the grouping order, the layouts and the sort order texts.
// 0, or 1027, 1045, 1046, 1047, 1048 (`argument` names the column), 1001.
MsgNo PlanSelect(ParseTree& tree, NodeIndex select, std::string& argument);

}  // namespace kelvra
