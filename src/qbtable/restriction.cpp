// The translation of restrictions into QuickBase criteria, per column kind. Every choice below
// keeps the superset rule: a record the SQL predicate keeps is one QuickBase returns.
#include "qbtable/restriction.h"

#include <cmath>
#include <optional>

#include "convert/calendar.h"
#include "convert/datetime_text.h"
#include "convert/number_text.h"
#include "convert/numeric_text.h"
#include "qbtable/table_schema.h"
#include "resources/ascii.h"

namespace kelvra {
namespace {

// How QuickBase compares the values of a column, as far as restrictions go.
enum class MatchClass : std::uint8_t {
    None,       // nothing is sent (file names, buttons: the driver reads other texts)
    Text,       // compared without regard to case (casefold), trailing blanks significant
    User,       // TV matches the user QuickBase finds for a name, e-mail or id
    Number,     // exact: numbers, record ids
    Duration,   // milliseconds against days read as doubles: ranges widened, no negations
    Checkbox,   // by truth: only 0 and 1 compare as the driver does
    Date,       // by calendar day, as the driver reads them
    TimeOfDay,  // at the precision of the value (seconds), as the driver reads them
    Timestamp,  // read in the application's time zone, which may not be the client's
};

MatchClass matchClassOf(const QbField& f) {
    if (f.restrictRank == 0) return MatchClass::None;
    switch (f.kind) {
        case FieldKind::UserId:
            return MatchClass::User;
        case FieldKind::Text:
        case FieldKind::Email:
        case FieldKind::Phone:
        case FieldKind::Url:
            return f.category == BaseCategory::Text ? MatchClass::Text : MatchClass::None;
        case FieldKind::RecordId:
        case FieldKind::Float:
            return MatchClass::Number;
        case FieldKind::Duration:
            return MatchClass::Duration;
        case FieldKind::Boolean:
            return MatchClass::Checkbox;
        case FieldKind::Date:
            return MatchClass::Date;
        case FieldKind::TimeStamp:
            return f.sqlType == SQL_TIME ? MatchClass::TimeOfDay : MatchClass::Timestamp;
        default:
            return MatchClass::None;
    }
}

// What a restriction comes to.
enum class Outcome : std::uint8_t { Sent, Unsent, NeverTrue };

bool isNumber(const Value& v) {
    return v.type == ValueType::Integer || v.type == ValueType::Double ||
           v.type == ValueType::Numeric;
}

// The decimal text of a number value; nothing for a non-finite double or a malformed text.
std::optional<std::string> numberText(const Value& v) {
    if (v.type == ValueType::Numeric) {
        NumberSyntax syntax;
        if (scanNumber(v.text, syntax) != kMsgNone) return std::nullopt;
        return std::string(trimBlanks(v.text));
    }
    if (!std::isfinite(v.number)) return std::nullopt;
    return exactNumberText(v.number);
}

// The text QuickBase gets for a value of the class; nothing when the value does not suit it.
// Text values drop their trailing blanks: the driver ignores them when it compares.
std::optional<std::string> valueTextFor(MatchClass c, const Value& v) {
    std::optional<std::string> text;
    switch (c) {
        case MatchClass::Text:
        case MatchClass::User:
            if (v.type == ValueType::Char) {
                std::string_view t = v.text;
                while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
                if (c == MatchClass::User) t = trimBlanks(t);
                if (!t.empty()) text = std::string(t);
            }
            break;
        case MatchClass::Number:
        case MatchClass::Duration:
            if (isNumber(v)) text = numberText(v);
            break;
        case MatchClass::Checkbox:
            if (v.type == ValueType::Integer || v.type == ValueType::Double) {
                if (v.number == 0.0 || v.number == 1.0) text = v.number == 0.0 ? "0" : "1";
            }
            break;
        case MatchClass::Date:
            if (v.type == ValueType::Date) text = dateText(v.date);
            break;
        case MatchClass::TimeOfDay:
            if (v.type == ValueType::Time) text = timeText(v.time);
            break;
        case MatchClass::Timestamp:
        case MatchClass::None:
            break;
    }
    if (text && !safeCriterionValue(*text)) text.reset();
    return text;
}

// The calendar day `shift` days from a timestamp's date, as text.
std::optional<std::string> shiftedDay(const TimestampValue& ts, int shift) {
    DateValue day;
    if (!civilFromDays(daysFromCivil(ts.year, ts.month, ts.day) + shift, day)) return std::nullopt;
    return dateText(day);
}

// The order of two values of one class: <0, 0, >0; nothing when they cannot be ordered.
std::optional<int> order(MatchClass c, const Value& a, const Value& b) {
    auto sign = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
    switch (c) {
        case MatchClass::Number:
        case MatchClass::Duration: {
            if (!isNumber(a) || !isNumber(b)) return std::nullopt;
            if (a.type != ValueType::Numeric && b.type != ValueType::Numeric) {
                return sign(a.number, b.number);
            }
            auto ta = numberText(a), tb = numberText(b);
            int result = 0;
            if (!ta || !tb || numericCompare(*ta, *tb, result) != kMsgNone) return std::nullopt;
            return result;
        }
        case MatchClass::Date:
            if (a.type != ValueType::Date || b.type != ValueType::Date) return std::nullopt;
            return sign(std::tuple(a.date.year, a.date.month, a.date.day),
                        std::tuple(b.date.year, b.date.month, b.date.day));
        case MatchClass::TimeOfDay:
            if (a.type != ValueType::Time || b.type != ValueType::Time) return std::nullopt;
            return sign(std::tuple(a.time.hour, a.time.minute, a.time.second),
                        std::tuple(b.time.hour, b.time.minute, b.time.second));
        case MatchClass::Timestamp: {
            if (a.type != ValueType::Timestamp || b.type != ValueType::Timestamp)
                return std::nullopt;
            auto key = [](const TimestampValue& t) {
                return std::tuple(t.year, t.month, t.day, t.hour, t.minute, t.second, t.fraction);
            };
            return sign(key(a.timestamp), key(b.timestamp));
        }
        default:
            return std::nullopt;
    }
}

class Translator {
  public:
    Translator(const QbField& field, const Restriction& r)
        : field_(field), r_(r), class_(matchClassOf(field)) {}

    Outcome translate(Criterion& out) {
        out.column = r_.column;
        switch (r_.op) {
            case RestrictionOp::Equal:
            case RestrictionOp::NotEqual:
            case RestrictionOp::Less:
            case RestrictionOp::LessEqual:
            case RestrictionOp::Greater:
            case RestrictionOp::GreaterEqual:
                return comparison(out);
            case RestrictionOp::Like:
                return like(out);
            case RestrictionOp::NotLike:
                // QuickBase's SW and CT are broader than LIKE: their negations are narrower.
                return Outcome::Unsent;
            case RestrictionOp::In:
            case RestrictionOp::NotIn:
                return members(out);
            case RestrictionOp::Between:
                return between(out);
            case RestrictionOp::NotBetween:
                // Whether the bounds came in the order written is not known, and reversed
                // bounds keep every value.
                return Outcome::Unsent;
        }
        return Outcome::Unsent;
    }

  private:
    bool anyNull() const {
        for (const Value& v : r_.values) {
            if (v.isNull || v.type == ValueType::None) return true;
        }
        return false;
    }

    std::string criterion(std::string_view op, std::string_view value) const {
        std::string text = "{'";
        text += field_.fidText;
        text += "'.";
        text += op;
        text += ".'";
        text += value;
        text += "'}";
        return text;
    }

    // The QuickBase operator for a comparison on this column; empty when none is safe.
    //  - Number, Date, TimeOfDay: QuickBase compares exactly as the driver reads, so every
    //    comparison and its negation is safe (a negation also matches empty fields, which the
    //    driver's WHERE drops).
    //  - Duration: QuickBase turns days into whole milliseconds, the driver divides
    //    milliseconds into days: a strict bound may round onto the value, so ranges include
    //    it, and negations are not sent.
    //  - Checkbox: by truth, for the values 0 and 1 only (valueTextFor); no ranges.
    //  - Text: equality is sent as "starts with": QuickBase compares without regard to case
    //    (casefold, broader than the driver's ASCII rule), but counts trailing blanks and does
    //    not cut long values to the column size as the driver does. Negations and ranges of
    //    text are not safe (casefold equates more, and orders otherwise).
    //  - User: equality as TV (QuickBase finds the user by name, e-mail or id).
    static std::string_view comparisonOperator(MatchClass c, RestrictionOp op) {
        using O = RestrictionOp;
        switch (c) {
            case MatchClass::Number:
            case MatchClass::Date:
            case MatchClass::TimeOfDay:
                switch (op) {
                    case O::Equal:
                        return "EX";
                    case O::NotEqual:
                        return "XEX";
                    case O::Less:
                        return "LT";
                    case O::LessEqual:
                        return "LTE";
                    case O::Greater:
                        return "GT";
                    case O::GreaterEqual:
                        return "GTE";
                    default:
                        return {};
                }
            case MatchClass::Duration:
                switch (op) {
                    case O::Equal:
                        return "EX";
                    case O::Less:
                    case O::LessEqual:
                        return "LTE";
                    case O::Greater:
                    case O::GreaterEqual:
                        return "GTE";
                    default:
                        return {};
                }
            case MatchClass::Checkbox:
                return op == O::Equal ? "EX" : op == O::NotEqual ? "XEX" : std::string_view{};
            case MatchClass::Text:
                return op == O::Equal ? "SW" : std::string_view{};
            case MatchClass::User:
                return op == O::Equal ? "TV" : std::string_view{};
            default:
                return {};
        }
    }

    // A timestamp is written as local text, which QuickBase reads in the application's time
    // zone: they may differ by up to a day, so a comparison becomes whole days around the
    // value, one day wider on each open side.
    Outcome timestampComparison(RestrictionOp op, const TimestampValue& ts, Criterion& out) {
        using O = RestrictionOp;
        auto before = shiftedDay(ts, -1), after = shiftedDay(ts, 1);
        if (!before || !after) return Outcome::Unsent;
        switch (op) {
            case O::Equal:
                out.text = criterion("GTE", *before) + "AND" + criterion("LTE", *after);
                out.shape = Criterion::Shape::Conjunction;
                out.count = 2;
                return Outcome::Sent;
            case O::Less:
            case O::LessEqual:
                out.text = criterion("LTE", *after);
                return Outcome::Sent;
            case O::Greater:
            case O::GreaterEqual:
                out.text = criterion("GTE", *before);
                return Outcome::Sent;
            default:
                return Outcome::Unsent;
        }
    }

    Outcome comparison(Criterion& out) {
        if (r_.values.size() != 1) return Outcome::Unsent;
        if (anyNull()) return Outcome::NeverTrue;
        const Value& v = r_.values.front();
        if (r_.op == RestrictionOp::Equal) {
            out.keyable = true;
            out.varies = r_.varies;
            out.value = v;
        }
        if (class_ == MatchClass::Timestamp) {
            if (v.type != ValueType::Timestamp) return Outcome::Unsent;
            return timestampComparison(r_.op, v.timestamp, out);
        }
        std::string_view op = comparisonOperator(class_, r_.op);
        auto text = valueTextFor(class_, v);
        if (op.empty() || !text) return Outcome::Unsent;
        out.text = criterion(op, *text);
        return Outcome::Sent;
    }

    // LIKE on text: "abc%" as starts-with, "%abc%" as contains (QuickBase compares without
    // regard to case, as broadly as the driver's LIKE). Any other pattern, one that uses the
    // escape character or a backslash, or one with nothing between its wildcards is not sent.
    Outcome like(Criterion& out) {
        if (r_.values.size() != 1) return Outcome::Unsent;
        if (anyNull()) return Outcome::NeverTrue;
        const Value& v = r_.values.front();
        if (class_ != MatchClass::Text || v.type != ValueType::Char) return Outcome::Unsent;
        std::string_view p = v.text;
        if (r_.escape != '\0' && p.find(r_.escape) != std::string_view::npos)
            return Outcome::Unsent;
        if (p.find('\\') != std::string_view::npos || p.find('_') != std::string_view::npos)
            return Outcome::Unsent;
        if (p.size() < 2 || p.back() != '%') return Outcome::Unsent;
        bool contains = p.front() == '%';
        std::string_view inner = p.substr(contains ? 1 : 0, p.size() - (contains ? 2 : 1));
        if (inner.empty() || inner.find('%') != std::string_view::npos) return Outcome::Unsent;
        if (!safeCriterionValue(inner)) return Outcome::Unsent;
        out.text = criterion(contains ? "CT" : "SW", inner);
        return Outcome::Sent;
    }

    // IN: the members joined by " OR " in one criterion (QuickBase matches any of them; its
    // negation matches none). A NULL member never matches: IN leaves it out, and NOT IN with
    // one can never be true.
    Outcome members(Criterion& out) {
        bool negated = r_.op == RestrictionOp::NotIn;
        if (negated && anyNull()) return Outcome::NeverTrue;
        std::string_view op =
            comparisonOperator(class_, negated ? RestrictionOp::NotEqual : RestrictionOp::Equal);
        std::string joined;
        std::uint32_t count = 0;
        for (const Value& v : r_.values) {
            if (v.isNull || v.type == ValueType::None) continue;
            auto text = valueTextFor(class_, v);
            if (op.empty() || !text) return Outcome::Unsent;
            if (count++ > 0) joined += " OR ";
            joined += *text;
        }
        if (count == 0) return r_.values.empty() ? Outcome::Unsent : Outcome::NeverTrue;
        out.text = criterion(op, joined);
        out.count = count;
        return Outcome::Sent;
    }

    // The two bounds in order; nothing when they cannot be ordered.
    std::optional<std::pair<const Value*, const Value*>> bounds() const {
        if (r_.values.size() != 2) return std::nullopt;
        const Value& a = r_.values[0];
        const Value& b = r_.values[1];
        auto o = order(class_, a, b);
        if (!o) return std::nullopt;
        return *o <= 0 ? std::pair(&a, &b) : std::pair(&b, &a);
    }

    // Two comparisons of this column joined by AND into one term.
    Outcome both(RestrictionOp op1, const Value& v1, RestrictionOp op2, const Value& v2,
                 Criterion& out) {
        Restriction first{r_.column, op1, {v1}, '\0'};
        Restriction second{r_.column, op2, {v2}, '\0'};
        Criterion c1, c2;
        if (Translator(field_, first).translate(c1) != Outcome::Sent ||
            Translator(field_, second).translate(c2) != Outcome::Sent)
            return Outcome::Unsent;
        out.text = c1.text + "AND" + c2.text;
        out.shape = Criterion::Shape::Conjunction;
        out.count = c1.count + c2.count;
        return Outcome::Sent;
    }

    // BETWEEN: at least the smaller bound and at most the larger (the bounds may come in either
    // order).
    Outcome between(Criterion& out) {
        if (anyNull()) return Outcome::NeverTrue;
        auto b = bounds();
        if (!b) return Outcome::Unsent;
        return both(RestrictionOp::GreaterEqual, *b->first, RestrictionOp::LessEqual, *b->second,
                    out);
    }

    const QbField& field_;
    const Restriction& r_;
    MatchClass class_;
};

bool validUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        std::size_t n = c < 0x80           ? 1
                        : (c >> 5) == 0x6  ? 2
                        : (c >> 4) == 0xE  ? 3
                        : (c >> 3) == 0x1E ? 4
                                           : 0;
        if (n == 0 || i + n > text.size()) return false;
        for (std::size_t k = 1; k < n; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        i += n;
    }
    return true;
}

}  // namespace

bool safeCriterionValue(std::string_view value) {
    if (value.find_first_of("{}") != std::string_view::npos) return false;
    if (value.find("'.") != std::string_view::npos) return false;
    std::string lower = toLowerAscii(value);
    if (lower.find(" or ") != std::string::npos || lower.find(" and ") != std::string::npos)
        return false;
    std::string_view word = trimBlanks(lower);
    if (word.starts_with("_fid_") || word.starts_with("_ask") || word == "_curuser_") return false;
    return validUtf8(value);
}

std::vector<Criterion> translateRestrictions(const TableSchema& schema,
                                             std::span<const Restriction> list,
                                             RestrictionJoin join) {
    std::vector<Criterion> criteria;
    std::size_t count = 0;
    for (const Restriction& r : list) {
        if (r.column >= schema.fields.size()) {
            if (join == RestrictionJoin::Or) return {};
            continue;
        }
        Criterion c;
        switch (Translator(schema.fields[r.column], r).translate(c)) {
            case Outcome::Sent:
                count += c.count;
                criteria.push_back(std::move(c));
                break;
            case Outcome::Unsent:
                if (join == RestrictionJoin::Or) return {};
                break;
            case Outcome::NeverTrue:
                break;  // leaving out what never holds keeps both an AND and an OR
        }
    }
    if (count > kMaxCriteria) return {};
    return criteria;
}

std::string queryText(std::span<const Criterion> criteria, RestrictionJoin join) {
    bool orJoin = join == RestrictionJoin::Or;
    // A conjunction in a query joined by OR is put in parentheses.
    auto grouped = [&](const Criterion& c) {
        return orJoin && c.shape == Criterion::Shape::Conjunction;
    };
    std::string text;
    for (const Criterion& c : criteria) {
        if (!text.empty()) text += orJoin ? "OR" : "AND";
        if (grouped(c)) text += '(';
        text += c.text;
        if (grouped(c)) text += ')';
    }
    return text;
}

}  // namespace kelvra
