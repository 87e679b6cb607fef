// The numeric functions. DOUBLE and INTEGER values are doubles; NUMERIC values are decimal texts,
// computed exactly (CEILING, FLOOR, ROUND, TRUNCATE keep their decimal digits) or converted to a
// double where the result is one. A double result that is not a finite number is NULL.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>

#include "convert/decimal.h"
#include "convert/number_text.h"
#include "engine/scalar_evaluation.h"

namespace kelvra {

namespace {

// A number argument as a double: NUMERIC text converted, 1059 when it is not a number.
MsgNo numberOf(const Value& value, double& out) {
    if (value.type != ValueType::Numeric) {
        out = value.number;
        return kMsgNone;
    }
    return parseNumber(value.text, out) ? kMsgFunctionArgument : kMsgNone;
}

MsgNo decimalOf(const Value& value, Decimal& out) {
    return parseDecimal(value.text, out) ? kMsgFunctionArgument : kMsgNone;
}

// A NUMERIC result: the value at the result's scale.
MsgNo setDecimal(Value& out, Decimal value, int scale) {
    if (scale >= 0) roundDecimal(value, scale);
    setPresent(out, ValueType::Numeric);
    out.text = decimalText(value);
    return kMsgNone;
}

void setNumber(Value& out, ValueType type, double value) {
    if (!std::isfinite(value)) {
        setNull(out, type);
        return;
    }
    setPresent(out, type);
    out.number = value + 0.0;  // no negative zero
}

// ROUND (half up, as floor(x + 0.5)) or TRUNCATE (toward zero) at `places` decimal places. Left
// of the point the scale is a whole power of ten, so whole results stay exact.
double roundDouble(double x, std::int64_t places, bool truncate) {
    const double power = std::pow(10.0, std::fabs(double(places)));
    // Beyond a double's range: every digit is kept, or the value is far below half a unit.
    if (!std::isfinite(power)) return places < 0 ? 0.0 : x;
    const double scaled = places < 0 ? x / power : x * power;
    if (!std::isfinite(scaled)) return x;
    const double rounded = truncate ? std::trunc(scaled) : std::floor(scaled + 0.5);
    const double result = places < 0 ? rounded * power : rounded / power;
    return std::isfinite(result) ? result : x;
}

Decimal roundDecimalAt(const Decimal& x, std::int64_t places, bool truncate) {
    const int shift = int(std::clamp<std::int64_t>(places, -kMaxDecimalDigits, kMaxDecimalDigits));
    Decimal scaled = scaleByPowerOfTen(x, shift);
    if (!truncate) scaled = addDecimal(scaled, Decimal{false, "5", 1});
    const Decimal whole =
        roundToInteger(scaled, truncate ? IntegerRounding::TowardZero : IntegerRounding::Floor);
    return scaleByPowerOfTen(whole, -shift);
}

// RAND's generator: three multiplicative congruential states made from the seed, their
// fractions summed; the states' sum is the next seed.
MsgNo nextRandom(RandState& state, const Value* seedArgument, double& out) {
    if (seedArgument != nullptr) {
        double seed;
        if (numberOf(*seedArgument, seed)) return kMsgFunctionArgument;
        seed = std::trunc(seed);
        if (!(seed >= std::numeric_limits<std::int32_t>::min() &&
              seed <= std::numeric_limits<std::int32_t>::max())) {
            return kMsgFunctionArgument;
        }
        if (seed != 0) state.seed = std::int32_t(seed);
    }
    if (state.seed == 0) state.seed = std::int32_t(std::uint32_t(std::time(nullptr)));
    const std::int64_t s = state.seed;
    std::int64_t a = std::llabs(s + 4) % 30000 + 1;
    std::int64_t b = std::llabs(s + 10014) % 30000 + 1;
    std::int64_t c = std::llabs(s + 3017) % 30000 + 1;
    a = 171 * a - 30269 * (a / 177);
    if (a < 0) a += 30269;
    b = 172 * b - 30274 * (b / 176);
    if (b < 0) b += 30307;
    c = 170 * c - 30262 * (c / 178);
    if (c < 0) c += 30323;
    const double r = double(c) / 30323.0 + double(a) / 30269.0 + double(b) / 30307.0;
    out = r - std::floor(r);
    std::int32_t next = std::int32_t(a + b + c);
    if (next == state.previous) next = rand_r(&state.fallback);
    state.seed = state.previous = next;
    return kMsgNone;
}

double unary(ScalarKind kind, double x) {
    switch (kind) {
        case ScalarKind::Acos:
            return std::acos(x);
        case ScalarKind::Asin:
            return std::asin(x);
        case ScalarKind::Atan:
            return std::atan(x);
        case ScalarKind::Cos:
            return std::cos(x);
        case ScalarKind::Exp:
            return std::exp(x);
        case ScalarKind::Log:
            return std::log(x);
        case ScalarKind::Log10:
            return std::log10(x);
        case ScalarKind::Sin:
            return std::sin(x);
        case ScalarKind::Sqrt:
            return std::sqrt(x);
        case ScalarKind::Tan:
            return std::tan(x);
        case ScalarKind::Degrees:
            return x * 57.29577951308232;
        case ScalarKind::Radians:
            return x * 0.017453292519943295;
        default:
            return std::numeric_limits<double>::quiet_NaN();
    }
}

}  // namespace

MsgNo evaluateNumericFunction(ScalarKind kind, const TypeDesc& result, ScalarArgs args,
                              RandState* rand, Value& out) {
    const ValueType type = result.valueType;
    // NUMERIC arguments of ABS, CEILING, FLOOR, ROUND, TRUNCATE and SIGN stay decimal; the other
    // functions read them as doubles.
    const bool numeric = !args.empty() && args[0]->type == ValueType::Numeric;
    Decimal exact;
    double x = 0.0;
    switch (kind) {
        case ScalarKind::Abs:
        case ScalarKind::Ceiling:
        case ScalarKind::Floor:
        case ScalarKind::Round:
        case ScalarKind::Truncate:
        case ScalarKind::Sign:
            if (numeric && decimalOf(*args[0], exact)) return kMsgFunctionArgument;
            [[fallthrough]];
        default:
            if (!numeric && !args.empty()) x = args[0]->number;
            break;
        case ScalarKind::Degrees:
        case ScalarKind::Radians:
        case ScalarKind::Power:
            if (numberOf(*args[0], x)) return kMsgFunctionArgument;
            break;
    }
    switch (kind) {
        case ScalarKind::Abs:
            if (numeric) {
                exact.negative = false;
                return setDecimal(out, std::move(exact), -1);
            }
            setNumber(out, type, std::fabs(x));
            return kMsgNone;
        case ScalarKind::Atan2:
            setNumber(out, type, std::atan2(x, args[1]->number));
            return kMsgNone;
        case ScalarKind::Ceiling:
        case ScalarKind::Floor: {
            const bool ceiling = kind == ScalarKind::Ceiling;
            if (numeric) {
                return setDecimal(out,
                                  roundToInteger(exact, ceiling ? IntegerRounding::Ceiling
                                                                : IntegerRounding::Floor),
                                  result.scale);
            }
            setNumber(out, type, ceiling ? std::ceil(x) : std::floor(x));
            return kMsgNone;
        }
        case ScalarKind::Cot: {
            const double tangent = std::tan(x);
            if (tangent == 0.0) return kMsgDivisionByZero;
            setNumber(out, type, 1.0 / tangent);
            return kMsgNone;
        }
        case ScalarKind::Mod: {
            const double divisor = std::trunc(args[1]->number);
            if (divisor == 0.0) return kMsgDivisionByZero;
            setNumber(out, type, std::fmod(std::trunc(x), divisor));
            return kMsgNone;
        }
        case ScalarKind::Pi:
            setNumber(out, type, 3.141592653589793);
            return kMsgNone;
        case ScalarKind::Power:
            setNumber(out, type, std::pow(x, std::trunc(args[1]->number)));
            return kMsgNone;
        case ScalarKind::Rand: {
            if (rand == nullptr) return kMsgInternalError;
            double r;
            if (const MsgNo status = nextRandom(*rand, args.empty() ? nullptr : args[0], r))
                return status;
            setNumber(out, type, r);
            return kMsgNone;
        }
        case ScalarKind::Round:
        case ScalarKind::Truncate: {
            const bool truncate = kind == ScalarKind::Truncate;
            const std::int64_t places = truncatedInteger(args[1]->number);
            if (numeric)
                return setDecimal(out, roundDecimalAt(exact, places, truncate), result.scale);
            setNumber(out, type, roundDouble(x, places, truncate));
            return kMsgNone;
        }
        case ScalarKind::Sign:
            if (numeric) x = exact.digits.empty() ? 0.0 : exact.negative ? -1.0 : 1.0;
            setNumber(out, type, double((x > 0) - (x < 0)));
            return kMsgNone;
        default:
            setNumber(out, type, unary(kind, x));
            return kMsgNone;
    }
}

}  // namespace kelvra
