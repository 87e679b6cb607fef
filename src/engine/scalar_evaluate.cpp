// The evaluation entry: checks the call against its arguments, gives NULL for a NULL argument,
// answers the connection's functions and dispatches the others to their group.
#include <cmath>
#include <new>

#include "engine/scalar_evaluation.h"
#include "resources/utf8.h"

namespace kelvra {

namespace {

bool within(ScalarKind kind, ScalarKind first, ScalarKind last) {
    return kind >= first && kind <= last;
}

// A connection text within the result's size (in characters).
void setConnectionText(Value& out, std::string_view text, std::uint32_t size) {
    std::size_t end = 0;
    for (std::uint32_t n = 0; n < size && end < text.size(); ++n) end += utf8CharLength(text, end);
    setPresent(out, ValueType::Char);
    out.text.assign(text.substr(0, end));
}

MsgNo dispatch(const FunctionEntry& entry, const ScalarCall& call, const TypeDesc& result,
               ScalarArgs args, FunctionContext& context, Value& out) {
    const ScalarKind kind = entry.kind;
    if (within(kind, ScalarKind::Ascii, ScalarKind::Ucase))
        return evaluateTextFunction(kind, result, args, out);
    if (within(kind, ScalarKind::Abs, ScalarKind::Truncate))
        return evaluateNumericFunction(kind, result, args, context.rand, out);
    if (within(kind, ScalarKind::CurrentDate, ScalarKind::Year))
        return evaluateDateTimeFunction(kind, call, args, out);
    switch (kind) {
        case ScalarKind::Database:
            setConnectionText(out, context.database, result.columnSize);
            return kMsgNone;
        case ScalarKind::User:
            setConnectionText(out, context.user, result.columnSize);
            return kMsgNone;
        case ScalarKind::LastError:
            setConnectionText(out, context.lastError, result.columnSize);
            return kMsgNone;
        case ScalarKind::Identity:
            if (!context.identity) {
                setNull(out, ValueType::Integer);
            } else {
                setPresent(out, ValueType::Integer);
                out.number = *context.identity;
            }
            return kMsgNone;
        default:
            return evaluateConversion(kind, call, result, args, out);
    }
}

}  // namespace

void setPresent(Value& out, ValueType type) {
    out.type = type;
    out.isNull = false;
}

std::int64_t truncatedInteger(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 9.2e18) return INT64_MAX;
    if (value <= -9.2e18) return INT64_MIN;
    return std::int64_t(value);
}

MsgNo evaluateScalarFunction(const ScalarCall& call, const TypeDesc& result,
                             std::span<const Value* const> args, FunctionContext& context,
                             Value& out, std::string& messageArgument) {
    const auto table = functionTable();
    if (call.function < 0 || std::size_t(call.function) >= table.size()) return kMsgInternalError;
    const FunctionEntry& entry = table[std::size_t(call.function)];
    if (args.size() != entry.argCount) return kMsgInternalError;
    bool anyNull = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == nullptr || args[i] == &out) return kMsgInternalError;
        anyNull = anyNull || args[i]->isNull;
        if (!args[i]->isNull && entry.argTypes[i] != ValueType::None &&
            entry.argTypes[i] != args[i]->type) {
            return kMsgInternalError;
        }
    }
    if (anyNull && entry.kind != ScalarKind::Ifnull) {
        setNull(out, result.valueType);
        return kMsgNone;
    }
    MsgNo status;
    try {
        status = dispatch(entry, call, result, args, context, out);
    } catch (const std::bad_alloc&) {
        status = kMsgMemory;
    } catch (...) {
        status = kMsgInternalError;
    }
    if (status != kMsgNone) messageArgument.assign(entry.name);
    return status;
}

}  // namespace kelvra
