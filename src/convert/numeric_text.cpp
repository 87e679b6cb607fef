#include "convert/numeric_text.h"

#include "convert/decimal.h"
#include "convert/guarded.h"

namespace kelvra {

namespace {

MsgNo parseOperand(std::string_view text, Decimal& out) {
    const MsgNo status = parseDecimal(text, out);
    return status == kMsgAssignmentError ? MsgNo{kMsgMalformedNumber} : status;
}

MsgNo writeFitted(Decimal value, int precision, int scale, std::string& out) {
    const MsgNo status = fitDecimal(value, precision, scale);
    if (status == kMsgOutOfRange) return status;
    out = decimalText(value);
    return status;
}

}  // namespace

MsgNo formatNumericText(std::string_view text, int precision, int scale, std::string& out) {
    return guarded([&]() -> MsgNo {
        Decimal value;
        if (const MsgNo status = parseOperand(text, value)) return status;
        return writeFitted(std::move(value), precision, scale, out);
    });
}

MsgNo numericArithmetic(std::string_view left, NumericOp op, std::string_view right, int precision,
                        int scale, std::string& out) {
    return guarded([&]() -> MsgNo {
        Decimal a, b;
        if (const MsgNo status = parseOperand(left, a)) return status;
        if (const MsgNo status = parseOperand(right, b)) return status;
        Decimal result;
        switch (op) {
            case NumericOp::Add:
                result = addDecimal(a, b);
                break;
            case NumericOp::Subtract:
                result = subtractDecimal(a, b);
                break;
            case NumericOp::Multiply:
                result = multiplyDecimal(a, b);
                break;
            case NumericOp::Divide:
                if (scale < 0) scale = a.scale + b.scale;
                if (const MsgNo status = divideDecimal(a, b, scale, result)) return status;
                break;
        }
        return writeFitted(std::move(result), precision, scale, out);
    });
}

MsgNo numericNegate(std::string_view text, std::string& out) {
    return guarded([&]() -> MsgNo {
        Decimal value;
        if (const MsgNo status = parseOperand(text, value)) return status;
        out = decimalText(negateDecimal(value));
        return kMsgNone;
    });
}

MsgNo numericCompare(std::string_view left, std::string_view right, int& order) {
    return guarded([&]() -> MsgNo {
        Decimal a, b;
        if (const MsgNo status = parseOperand(left, a)) return status;
        if (const MsgNo status = parseOperand(right, b)) return status;
        order = compareDecimal(a, b);
        return kMsgNone;
    });
}

}  // namespace kelvra
