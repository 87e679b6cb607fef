// The SQL parser: the text of one statement becomes a ParseTree, or a message number with the
// argument text of its diagnostic. Statement forms: SELECT (TOP, DISTINCT, joins, the {oj ...}
// and vendor escapes, WHERE, GROUP BY, HAVING, ORDER BY), INSERT with VALUES or a SELECT,
// UPDATE, DELETE, their OQ forms, CREATE and DROP of tables and indexes, and the bare SQL.
//
// Tree shapes beyond the plain grammar:
// - Joins: the FromItem chain lists every table in textual order. A table that is the first
//   of the right operand of a JOIN carries the join: joinKind (JOIN and INNER JOIN are Inner,
//   LEFT JOIN and LEFT OUTER JOIN LeftOuter), its ON condition, and leftFirstFromItem, the first
//   FromItem of the join's left operand. Unparenthesised chains are left-associative
//   (a JOIN b ON x JOIN c ON y joins c to a's side); a right operand that continues with
//   joins before its own ON (a JOIN b JOIN c ON y ON x) is nested.
// - IS [NOT] NULL after any expression: a Predicate Equal / NotEqual with a NullLiteral right.
// - LIKE ... ESCAPE 'c', {escape 'c'} or the vendor form: PredicateFields::escape holds the
//   StringLiteral or Parameter.
// - COUNT(DISTINCT x): AggregateFields::distinct (DISTINCT is refused with the other
//   aggregates).
// - AND and OR chains are right-nested BoolOps of one operator, IN lists ListItem chains; both
//   are built without recursion per element, so later stages should walk them iteratively.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "resources/messages.h"
#include "sql/parse_tree.h"

namespace kelvra {

// The deepest nesting of parentheses, subqueries, function arguments and joins a statement may
// have; deeper nesting is refused with 1014 ("Lexical element too large: nesting deeper than
// 200 levels"), so that hostile text cannot exhaust the stack.
inline constexpr int kMaxNestingDepth = 200;

// What the parser reads from and leaves for the statement.
struct StatementFacts {
    bool openQuery = false;      // out: INSERTOQ, UPDATEOQ, DELETEOQ
    std::string remainingBatch;  // out: what follows the ';' that ended the statement
    std::string argument;        // out: the text for the message's "%s" on failure
};

// Parses one statement into `tree` (emptied first): 0, or a message number with
// facts.argument set and the tree left empty. The text ends at its first NUL byte.
MsgNo ParseStatement(std::string_view text, ParseTree& tree, StatementFacts& facts);

}  // namespace kelvra
