// The types of SQL values: the value type a column or literal is held in, and the result type of
// an operator from the types of its operands (the rules analysis applies to every operator and
// to the pairing of a column with its value in INSERT and UPDATE).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "convert/value.h"
#include "resources/messages.h"
#include "sql/parse_tree.h"

namespace kelvra {

// The value type an SQL type is held in (None for a type the engine does not know).
ValueType valueTypeOf(std::int16_t sqlType);

// A column type as the engine holds it: the value type of the SQL type, with its size and scale.
TypeDesc columnType(std::int16_t sqlType, std::int32_t columnSize, std::int16_t decimalDigits);

// The type every predicate and boolean operator has: a BIT held as an integer.
TypeDesc booleanType();

// The text of an operator in messages ("<assignment>", "=", "NOT BETWEEN", "+", ...).
std::string_view operatorText(Operator op);

bool isComparison(Operator op);  // =, <>, <=, <, >=, >

// The result type of `left op right`. An untyped side (`None`: a parameter or NULL) takes the
// other side's type and is written back. For a unary minus `right` is the operand's own type
// and is not written. 0, 1023 (both sides untyped), 1024 (the operands do not allow the
// operator; `argument` names it) or 1003 (an SQL type outside the known ones).
MsgNo TypeOperator(Operator op, TypeDesc& left, TypeDesc& right, TypeDesc& result,
                   std::string& argument);

}  // namespace kelvra
