// Internal to the scalar function library: the evaluation groups (text, numbers, dates and
// times, conversions) that the evaluation entry dispatches to, and the helpers they share.
// Each group answers 0 or a message number; the entry adds the function's name as the message
// argument. The arguments are present (not NULL) except for IFNULL's, and of the types the
// resolved overload names.
#pragma once

#include <cstdint>
#include <span>

#include "convert/value.h"
#include "engine/function_table.h"
#include "engine/scalar_functions.h"
#include "resources/messages.h"

namespace kelvra {

using ScalarArgs = std::span<const Value* const>;

// The value becomes a present value of the type, keeping its text's capacity.
void setPresent(Value& out, ValueType type);

// An INTEGER argument: the double truncated toward zero, saturated to the 64-bit range (NaN is 0).
std::int64_t truncatedInteger(double value);

MsgNo evaluateTextFunction(ScalarKind kind, const TypeDesc& result, ScalarArgs args, Value& out);
MsgNo evaluateNumericFunction(ScalarKind kind, const TypeDesc& result, ScalarArgs args,
                              RandState* rand, Value& out);
MsgNo evaluateDateTimeFunction(ScalarKind kind, const ScalarCall& call, ScalarArgs args,
                               Value& out);
// IFNULL and CONVERT.
MsgNo evaluateConversion(ScalarKind kind, const ScalarCall& call, const TypeDesc& result,
                         ScalarArgs args, Value& out);

}  // namespace kelvra
