// Whether two analysed expressions always have the same value for a row: the same tree of
// operators and scalar functions (with the same interval, EXTRACT field and CONVERT target)
// over the same columns and literals. Grouping uses it to let a select item, a HAVING operand
// or an ORDER BY key stand for a grouping expression.
#pragma once

#include "sql/parse_tree.h"

namespace kelvra {

// Parameters never match (each takes its own value), nor do aggregates, conditions and
// subqueries, which are not grouping values.
bool sameExpression(const ParseTree& tree, NodeIndex a, NodeIndex b);

}  // namespace kelvra
