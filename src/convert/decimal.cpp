#include "convert/decimal.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "convert/guarded.h"
#include "convert/number_text.h"

namespace kelvra {

namespace {

// Magnitudes are digit strings without leading zeros; "" is zero.

void stripLeadingZeros(std::string& digits) {
    const std::size_t first = digits.find_first_not_of('0');
    digits.erase(0, first == std::string::npos ? digits.size() : first);
}

Decimal normalised(bool negative, std::string digits, int scale) {
    stripLeadingZeros(digits);
    return Decimal{negative && !digits.empty(), std::move(digits), scale};
}

int compareMagnitude(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

std::string addMagnitude(const std::string& a, const std::string& b) {
    std::string sum;
    int carry = 0;
    for (std::size_t i = 0; i < std::max(a.size(), b.size()) || carry; ++i) {
        int digit = carry;
        if (i < a.size()) digit += a[a.size() - 1 - i] - '0';
        if (i < b.size()) digit += b[b.size() - 1 - i] - '0';
        sum += char('0' + digit % 10);
        carry = digit / 10;
    }
    std::reverse(sum.begin(), sum.end());
    stripLeadingZeros(sum);
    return sum;
}

// a - b for a >= b.
std::string subtractMagnitude(const std::string& a, const std::string& b) {
    std::string difference;
    int borrow = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        int digit = (a[a.size() - 1 - i] - '0') - borrow;
        if (i < b.size()) digit -= b[b.size() - 1 - i] - '0';
        borrow = digit < 0;
        difference += char('0' + digit + 10 * borrow);
    }
    std::reverse(difference.begin(), difference.end());
    stripLeadingZeros(difference);
    return difference;
}

std::string multiplyMagnitude(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return {};
    std::vector<int> product(a.size() + b.size(), 0);
    for (std::size_t i = a.size(); i-- > 0;) {
        for (std::size_t j = b.size(); j-- > 0;) {
            product[i + j + 1] += (a[i] - '0') * (b[j] - '0');
        }
    }
    for (std::size_t k = product.size(); k-- > 1;) {
        product[k - 1] += product[k] / 10;
        product[k] %= 10;
    }
    std::string digits;
    for (int d : product) digits += char('0' + d);
    stripLeadingZeros(digits);
    return digits;
}

// The quotient of a / b truncated, b not zero (long division, one digit at a time).
std::string divideMagnitude(const std::string& a, const std::string& b) {
    std::string quotient;
    std::string remainder;
    for (char c : a) {
        remainder += c;
        stripLeadingZeros(remainder);
        int digit = 0;
        while (compareMagnitude(remainder, b) >= 0) {
            remainder = subtractMagnitude(remainder, b);
            ++digit;
        }
        quotient += char('0' + digit);
    }
    stripLeadingZeros(quotient);
    return quotient;
}

std::string withZeros(const std::string& digits, int count) {
    return digits.empty() ? digits : digits + std::string(std::size_t(count), '0');
}

// Both magnitudes at the larger scale.
int alignScales(const Decimal& a, const Decimal& b, std::string& da, std::string& db) {
    const int scale = std::max(a.scale, b.scale);
    da = withZeros(a.digits, scale - a.scale);
    db = withZeros(b.digits, scale - b.scale);
    return scale;
}

Decimal addSigned(const Decimal& a, bool bNegative, const Decimal& b) {
    std::string da, db;
    const int scale = alignScales(a, b, da, db);
    if (a.negative == bNegative) return normalised(a.negative, addMagnitude(da, db), scale);
    if (compareMagnitude(da, db) >= 0)
        return normalised(a.negative, subtractMagnitude(da, db), scale);
    return normalised(bNegative, subtractMagnitude(db, da), scale);
}

}  // namespace

MsgNo parseDecimal(std::string_view text, Decimal& out) {
    return guarded([&]() -> MsgNo {
        NumberSyntax syntax;
        if (const MsgNo status = scanNumber(text, syntax)) return status;
        std::string digits(syntax.integerDigits);
        digits.append(syntax.fractionDigits);
        stripLeadingZeros(digits);
        long scale = long(syntax.fractionDigits.size()) - syntax.exponent;
        if (digits.empty()) {  // zero keeps its scale: "0.00"
            out = Decimal{false, {}, int(std::clamp(scale, 0L, long(kMaxDecimalDigits)))};
            return kMsgNone;
        }
        if (scale < 0) {
            if (long(digits.size()) - scale > kMaxDecimalDigits) return kMsgOutOfRange;
            digits.append(std::size_t(-scale), '0');
            scale = 0;
        }
        if (scale > kMaxDecimalDigits) {
            // Only zeros would remain of the digits that fit: keep the value at the largest scale.
            Decimal tiny = normalised(syntax.negative, digits, int(scale));
            roundDecimal(tiny, kMaxDecimalDigits);
            out = tiny;
            return kMsgNone;
        }
        if (long(digits.size()) > kMaxDecimalDigits + scale) return kMsgOutOfRange;
        out = normalised(syntax.negative, std::move(digits), int(scale));
        return kMsgNone;
    });
}

Decimal decimalFromInteger(__int128 value) {
    // The magnitude is taken unsigned: that of the smallest value does not fit the signed type.
    unsigned __int128 magnitude =
        value < 0 ? 0 - (unsigned __int128)value : (unsigned __int128)value;
    std::string digits;
    for (; magnitude != 0; magnitude /= 10) digits += char('0' + int(magnitude % 10));
    std::reverse(digits.begin(), digits.end());
    return normalised(value < 0, std::move(digits), 0);
}

MsgNo decimalFromDouble(double value, Decimal& out) {
    return guarded([&]() -> MsgNo {
        if (!(value - value == 0.0)) return kMsgOutOfRange;  // infinity or NaN
        return parseDecimal(exactNumberText(value), out);
    });
}

std::string decimalText(const Decimal& value) {
    std::string digits = value.digits;
    if (digits.size() <= std::size_t(value.scale)) {
        digits.insert(0, std::size_t(value.scale) + 1 - digits.size(), '0');
    }
    if (value.scale > 0) digits.insert(digits.size() - std::size_t(value.scale), 1, '.');
    return value.negative ? "-" + digits : digits;
}

double decimalToDouble(const Decimal& value) {
    return std::strtod(decimalText(value).c_str(), nullptr);
}

int compareDecimal(const Decimal& a, const Decimal& b) {
    if (a.negative != b.negative) return a.negative ? -1 : 1;
    std::string da, db;
    alignScales(a, b, da, db);
    const int order = compareMagnitude(da, db);
    return a.negative ? -order : order;
}

Decimal negateDecimal(const Decimal& value) {
    return normalised(!value.negative, value.digits, value.scale);
}

Decimal addDecimal(const Decimal& a, const Decimal& b) {
    return addSigned(a, b.negative, b);
}

Decimal subtractDecimal(const Decimal& a, const Decimal& b) {
    return addSigned(a, !b.negative && !b.digits.empty(), b);
}

Decimal multiplyDecimal(const Decimal& a, const Decimal& b) {
    return normalised(a.negative != b.negative, multiplyMagnitude(a.digits, b.digits),
                      a.scale + b.scale);
}

MsgNo divideDecimal(const Decimal& a, const Decimal& b, int scale, Decimal& out) {
    return guarded([&]() -> MsgNo {
        if (b.digits.empty()) return kMsgDivisionByZero;
        scale = std::clamp(scale, 0, kMaxDecimalDigits);
        // q = a / b * 10^(scale + 1), one digit beyond the scale that decides the rounding.
        const int shift = scale + 1 + b.scale - a.scale;
        std::string dividend = a.digits;
        std::string divisor = b.digits;
        if (shift >= 0) {
            dividend = withZeros(dividend, shift);
        } else {
            divisor = withZeros(divisor, -shift);
        }
        if (long(dividend.size()) - long(divisor.size()) > kMaxDecimalDigits + scale + 1) {
            return kMsgOutOfRange;
        }
        std::string quotient = divideMagnitude(dividend, divisor);
        const bool roundUp = !quotient.empty() && quotient.back() >= '5';
        if (!quotient.empty()) quotient.pop_back();
        if (roundUp) quotient = addMagnitude(quotient, "1");
        out = normalised(a.negative != b.negative, std::move(quotient), scale);
        return kMsgNone;
    });
}

MsgNo roundDecimal(Decimal& value, int scale) {
    return guarded([&]() -> MsgNo {
        scale = std::clamp(scale, 0, kMaxDecimalDigits);
        if (scale >= value.scale) {
            value.digits = withZeros(value.digits, scale - value.scale);
            value.scale = scale;
            return kMsgNone;
        }
        const std::size_t dropped = std::size_t(value.scale - scale);
        std::string digits = value.digits;
        if (digits.size() < dropped + 1) digits.insert(0, dropped + 1 - digits.size(), '0');
        const std::string_view tail = std::string_view(digits).substr(digits.size() - dropped);
        const bool roundUp = tail.front() >= '5';
        const bool lost = tail.find_first_not_of('0') != std::string_view::npos;
        digits.erase(digits.size() - dropped);
        stripLeadingZeros(digits);
        if (roundUp) digits = addMagnitude(digits, "1");
        value = normalised(value.negative, std::move(digits), scale);
        return lost ? kMsgTruncated : kMsgNone;
    });
}

MsgNo fitDecimal(Decimal& value, int precision, int scale) {
    return guarded([&]() -> MsgNo {
        Decimal fitted = value;
        const MsgNo rounding = scale < 0 ? MsgNo{kMsgNone} : roundDecimal(fitted, scale);
        const long integerDigits = long(fitted.digits.size()) - fitted.scale;
        if (precision > 0 && integerDigits > long(precision) - fitted.scale) return kMsgOutOfRange;
        value = std::move(fitted);
        return rounding;
    });
}

Decimal scaleByPowerOfTen(const Decimal& value, int exponent) {
    if (exponent <= value.scale)
        return normalised(value.negative, value.digits, value.scale - exponent);
    return normalised(value.negative, withZeros(value.digits, exponent - value.scale), 0);
}

Decimal roundToInteger(const Decimal& value, IntegerRounding direction) {
    const std::size_t scale = std::size_t(value.scale);
    const std::size_t integerDigits = value.digits.size() > scale ? value.digits.size() - scale : 0;
    const bool hasFraction =
        value.digits.find_first_not_of('0', integerDigits) != std::string::npos;
    Decimal result = normalised(value.negative, value.digits.substr(0, integerDigits), 0);
    const bool awayFromZero =
        hasFraction && ((direction == IntegerRounding::Floor && value.negative) ||
                        (direction == IntegerRounding::Ceiling && !value.negative));
    if (awayFromZero) result = normalised(value.negative, addMagnitude(result.digits, "1"), 0);
    return result;
}

bool decimalIntegerPart(const Decimal& value, __int128& out, bool& fractionDropped) {
    const std::size_t scale = std::size_t(value.scale);
    const std::size_t integerDigits = value.digits.size() > scale ? value.digits.size() - scale : 0;
    if (integerDigits > 38) return false;
    __int128 magnitude = 0;
    for (std::size_t i = 0; i < integerDigits; ++i)
        magnitude = magnitude * 10 + (value.digits[i] - '0');
    fractionDropped = value.digits.find_first_not_of('0', integerDigits) != std::string::npos;
    out = value.negative ? -magnitude : magnitude;
    return true;
}

}  // namespace kelvra
