// Comparison and arithmetic of the engine's values.
//
// Texts compare without regard to ASCII letter case, with trailing blanks insignificant ("abc"
// equals "ABC  "). Numbers compare by value whatever they are held in (an exact decimal text,
// or a double). A date compares with a timestamp as that date at midnight. Binary values are
// only equal or not. Arithmetic on INTEGER and DOUBLE results is done in double; on NUMERIC
// results in exact decimal; "+" joins texts; a number of days is added to or subtracted from a
// date, and two dates subtract to the days between them.
#pragma once

#include <string_view>

#include "convert/value.h"
#include "resources/messages.h"
#include "sql/parse_tree.h"

namespace kelvra {

// The order of two texts by the text rule: <0, 0, >0.
int compareText(std::string_view a, std::string_view b);

// The order of two non-NULL values: 0 with `order` set, or 1019 when the two do not compare
// (`equalityOnly` is set for binary values, which have no order).
MsgNo compareValues(const Value& a, const Value& b, int& order, bool& equalityOnly);

// Whether `op` (=, <>, <, <=, >, >=) holds for an order.
bool comparisonHolds(Operator op, int order);

// `left op right` (op + - * /; for a unary minus `right` is ignored) for non-NULL operands,
// into `out` of the result type. 0, 1053 (division by zero), 1055 (a text longer than the
// result's size), 1011 (out of range), 1019 (operands the operator does not take).
MsgNo arithmetic(Operator op, const Value& left, const Value& right, const TypeDesc& result,
                 Value& out);

// A value as a double (an exact decimal text converted); 0 for other types.
double numberOf(const Value& value);

}  // namespace kelvra
