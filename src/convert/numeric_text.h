// NUMERIC values as the evaluator and the table layer hold them: decimal texts. The numeric-text
// formatter (a text normalised to a precision and scale) and the arithmetic and comparison of
// decimal texts, computed exactly.
#pragma once

#include <string>
#include <string_view>

#include "resources/messages.h"

namespace kelvra {

// Rewrites a number text as the plain decimal text of `precision` digits with `scale` of them
// after the point ("12.5" at 5,2 gives "12.50"), rounding half away from zero. 0; 1002 when digits
// other than zero were rounded away (the rounded text is written); 1011 when the value does not
// fit (nothing written); 1016 for a text that is not a number. precision <= 0: no size limit;
// scale < 0: the text's own scale.
MsgNo formatNumericText(std::string_view text, int precision, int scale, std::string& out);

enum class NumericOp { Add, Subtract, Multiply, Divide };

// left op right, exactly, then rounded and checked as formatNumericText does with the result's
// precision and scale. A division is rounded directly to the scale (the sum of the operands'
// scales when scale < 0). Also 1053 for a division by zero.
MsgNo numericArithmetic(std::string_view left, NumericOp op, std::string_view right, int precision,
                        int scale, std::string& out);
MsgNo numericNegate(std::string_view text, std::string& out);

// order < 0, 0, > 0 as left is below, equal to or above right; 1016 for a text that is not a
// number.
MsgNo numericCompare(std::string_view left, std::string_view right, int& order);

}  // namespace kelvra
