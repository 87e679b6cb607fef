// Restrictions the executor hands a table, and their translation into QuickBase query criteria.
//
// QuickBase only narrows: the executor evaluates the whole WHERE clause on every record it gets,
// so a criterion sent must select a superset of the records the SQL predicate keeps, and a
// restriction may go unsent. Each column kind sends only the operators for which QuickBase's
// comparison is at least as broad as the driver's own (restriction.cpp says why, per kind), and
// a value that cannot be written safely inside a criterion is never sent.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "convert/value.h"

namespace kelvra {

struct TableSchema;

enum class RestrictionOp : std::uint8_t {
    Equal,
    NotEqual,
    LessEqual,
    Less,
    GreaterEqual,
    Greater,
    Like,
    NotLike,
    In,
    NotIn,
    Between,
    NotBetween
};

struct Restriction {
    std::uint16_t column;  // position in the table's column list
    RestrictionOp op;
    std::vector<Value> values;  // one; two for BETWEEN (either order); the members of IN
    char escape = '\0';         // LIKE ... ESCAPE (0: none)
    // The value changes from scan to scan (an equality with a column of a join's outer table):
    // the scan is keyed from the first, one read of the table serving every value.
    bool varies = false;
};

enum class RestrictionJoin : std::uint8_t { And, Or };

struct SortColumn {
    std::uint16_t column;
    bool descending = false;
};

// QuickBase refuses a query of more criteria than this.
inline constexpr std::size_t kMaxCriteria = 100;

// One term of a query: a criterion, or several joined by AND (a conjunction), which a query
// joined by OR puts in parentheses.
struct Criterion {
    enum class Shape : std::uint8_t { Single, Conjunction };
    std::string text;
    Shape shape = Shape::Single;
    std::uint32_t count = 1;  // criteria, as QuickBase counts them
    std::uint16_t column = 0;
    // From an equality with one value: a rescan that changes only this value may walk the
    // records already read instead of asking QuickBase (the keyed mode of a scan).
    bool keyable = false;
    bool varies = false;  // a keyable equality whose value changes from scan to scan
    Value value;  // the value of a keyable equality

    // Two criteria ask the same of QuickBase.
    bool sameAs(const Criterion& other) const { return text == other.text && shape == other.shape; }
};

// The criteria that may be sent for `list`. With And, every restriction that cannot be sent is
// left out; with Or, one that cannot be sent means none at all. More than kMaxCriteria: none.
// A restriction that can never be true (a comparison with NULL) is left out in either case.
std::vector<Criterion> translateRestrictions(const TableSchema& schema,
                                             std::span<const Restriction> list,
                                             RestrictionJoin join);

// The query text of the criteria: "{'6'.SW.'x'}AND{'7'.GT.'5'}"; empty for none.
std::string queryText(std::span<const Criterion> criteria, RestrictionJoin join);

// Whether a value can stand inside "{'fid'.OP.'value'}": no brace, no quote followed by a period
// (QuickBase has no escape for either), no " OR " or " AND " (read as alternatives), no
// placeholder that QuickBase would replace (_fid_N, _curuser_, _ask...), valid UTF-8.
bool safeCriterionValue(std::string_view value);

}  // namespace kelvra
