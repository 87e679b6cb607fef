#include "convert/numeric_struct.h"

#include <algorithm>
#include <string>

#include "convert/guarded.h"

namespace kelvra {

namespace {

constexpr int kMaxDigits = 38;  // 10^38 - 1 < 2^128

}  // namespace

MsgNo decimalToNumericStruct(const Decimal& value, SQL_NUMERIC_STRUCT& out) {
    return guarded([&]() -> MsgNo {
        Decimal fitted = value;
        MsgNo status = kMsgNone;
        // Rounding may carry into one more digit (0.99...9 to 1.00...0): repeat until it fits.
        while (fitted.scale > 0 &&
               (int(fitted.digits.size()) > kMaxDigits || fitted.scale > kMaxDigits)) {
            const int excess =
                std::max(int(fitted.digits.size()) - kMaxDigits, fitted.scale - kMaxDigits);
            if (roundDecimal(fitted, std::max(fitted.scale - excess, 0)) == kMsgTruncated) {
                status = kMsgTruncated;
            }
        }
        if (int(fitted.digits.size()) > kMaxDigits) return kMsgOutOfRange;
        unsigned __int128 magnitude = 0;
        for (char c : fitted.digits) magnitude = magnitude * 10 + unsigned(c - '0');
        out.precision = SQLCHAR(std::max({int(fitted.digits.size()), fitted.scale, 1}));
        out.scale = SQLSCHAR(fitted.scale);
        out.sign = fitted.negative ? 0 : 1;
        for (int i = 0; i < SQL_MAX_NUMERIC_LEN; ++i) {
            out.val[i] = SQLCHAR(magnitude & 0xff);
            magnitude >>= 8;
        }
        return status;
    });
}

Decimal numericStructToDecimal(const SQL_NUMERIC_STRUCT& numeric) {
    unsigned __int128 magnitude = 0;
    for (int i = SQL_MAX_NUMERIC_LEN; i-- > 0;) magnitude = (magnitude << 8) | numeric.val[i];
    std::string digits;
    while (magnitude != 0) {
        digits += char('0' + int(magnitude % 10));
        magnitude /= 10;
    }
    std::reverse(digits.begin(), digits.end());
    Decimal value;
    value.negative = numeric.sign == 0 && !digits.empty();
    if (numeric.scale < 0 && !digits.empty()) digits.append(std::size_t(-numeric.scale), '0');
    value.digits = std::move(digits);
    value.scale = std::max<int>(numeric.scale, 0);
    return value;
}

}  // namespace kelvra
