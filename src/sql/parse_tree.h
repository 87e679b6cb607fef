// The parse tree: what the parser builds from a statement's text and what analysis, planning and
// the executor work on. Nodes live in one growable pool and refer to each other by index (-1 for
// none); they are only appended, so an index stays valid for the tree's life. Node 0 is the
// root. Every name and literal text the parser keeps is in the tree's string area, referred to
// by index.
//
// Every node has a common head (its kind, the type analysis gives its value, the current value
// that evaluation writes into it, and where planning placed the value in the rows of a result
// file) and the fields of its kind. The fields marked "set by analysis", "set by planning" and
// "run time" are the later stages'; the parser leaves them at their defaults.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "convert/value.h"
#include "qbtable/qb_table.h"
#include "resources/messages.h"

namespace kelvra {

// The rows a Select materialised (sorted, grouped, distinct or keyset rows). The executor
// implements it; the tree only owns it, and releasing it removes the file.
class ResultFile {
  public:
    virtual ~ResultFile() = default;
};

using NodeIndex = std::int32_t;
using StringIndex = std::int32_t;
inline constexpr NodeIndex kNoNode = -1;
inline constexpr StringIndex kNoString = -1;

enum class NodeKind : std::uint16_t {
    Root = 1,
    CreateTable = 2,
    DropTable = 3,
    Select = 4,
    Insert = 5,
    Delete = 6,
    Update = 7,
    PassThrough = 8,
    FromItem = 9,
    ListItem = 10,
    InsertColumn = 11,
    SortItem = 12,
    GroupItem = 13,
    Assignment = 14,
    ColumnDef = 15,
    BoolOp = 16,
    Predicate = 17,
    ArithOp = 18,
    Aggregate = 19,
    TableRef = 20,
    ColumnRef = 21,
    StringLiteral = 22,
    NumberLiteral = 23,
    Parameter = 24,
    UserName = 25,
    NullLiteral = 26,
    DateLiteral = 27,
    TimeLiteral = 28,
    TimestampLiteral = 29,
    CreateIndex = 30,
    DropIndex = 31,
    ScalarFunction = 32,
};

// Operators of Predicate, ArithOp and BoolOp nodes. Assignment (0) is the pairing of a column
// with its value in INSERT and UPDATE, named "<assignment>" in messages.
enum class Operator : std::uint16_t {
    Assignment = 0,
    Equal = 1,     // also IS NULL, with a NullLiteral right operand
    NotEqual = 2,  // also IS NOT NULL
    LessEqual = 3,
    Less = 4,
    GreaterEqual = 5,
    Greater = 6,
    Between = 7,
    NotBetween = 8,
    In = 9,
    NotIn = 10,
    Like = 11,
    NotLike = 12,
    Negate = 13,  // unary minus
    Add = 14,
    Subtract = 15,
    Multiply = 16,
    Divide = 17,
    Not = 18,
    And = 19,
    Or = 20,
    Exists = 21,
};

// How a Predicate's right operand is a subquery: none; ALL; ANY; a subquery without ALL or ANY
// that must yield at most one row; EXISTS.
enum class Quantifier : std::uint16_t { None = 0, All = 1, Any = 2, SingleRow = 3, Exists = 4 };

enum class AggregateFunction : std::uint16_t { Avg = 1, Count = 2, Max = 3, Min = 4, Sum = 5 };

enum class JoinKind : std::uint16_t { LeftOuter = 0, Inner = 1 };

// Where planning placed a value-bearing node's value (ColumnRef, ArithOp, Aggregate,
// ScalarFunction) in the rows of its Select's result files: 1-based byte positions, 0 when not
// placed. Each field is followed by one marker byte.
struct RowSlot {
    NodeIndex owner = kNoNode;  // the Select whose rows hold the value
    std::int32_t sortPosition = 0;
    std::int32_t sortWidth = 0;
    std::int32_t valuePosition = 0;  // in a DISTINCT value row
    std::int32_t valueWidth = 0;
    // Read from the owning Select's group row: a grouping column, or an expression equal to a
    // grouping expression, outside aggregates.
    bool fromGroupRow = false;
};

struct RootFields {
    NodeIndex statement = kNoNode;
    NodeIndex firstParameter = kNoNode;  // the chain of Parameter nodes, in order of appearance
};

struct CreateTableFields {
    StringIndex name = kNoString;
    NodeIndex firstColumnDef = kNoNode;
};

struct DropTableFields {
    StringIndex name = kNoString;
};

struct SelectFields {
    bool distinct = false;
    NodeIndex firstItem = kNoNode;  // ListItem chain; kNoNode for "*"
    NodeIndex firstFrom = kNoNode;  // FromItem chain
    NodeIndex where = kNoNode;
    NodeIndex firstGroup = kNoNode;  // GroupItem chain
    NodeIndex having = kNoNode;
    NodeIndex firstOrder = kNoNode;  // SortItem chain; only the statement's own Select has one
    std::int64_t top = -1;           // the TOP of this query (whole rows), -1 when none written

    // Set by analysis.
    NodeIndex enclosingSelect = kNoNode;  // for a subquery
    bool aggregateQuery = false;          // aggregates without GROUP BY: all rows are one group
    NodeIndex firstAggregate = kNoNode;   // chain through AggregateFields::nextAggregate

    // Set by planning: the layouts of the result files and the sort order texts.
    std::int32_t groupKeyLength = 0;    // bytes of the leading group-key part of a sort row
    std::int32_t sortRowLength = 0;     // ORDER BY / GROUP BY sort row (= the group row)
    std::int32_t recordIdOffset = 0;    // 1-based start of the record-id part of a sort row
    std::int32_t distinctRowLength = 0;  // DISTINCT value row
    // The sort order texts: rows before grouping (or the ORDER BY of a plain query),
    // group rows again when the ORDER BY is not the grouping order, DISTINCT value rows.
    StringIndex orderSpec = kNoString;
    StringIndex groupOrderSpec = kNoString;
    StringIndex distinctSpec = kNoString;
    bool orderedByTable = false;  // QuickBase delivers the ORDER BY (one table)
    bool keysetFetch = false;     // the keyset pattern: records fetched by key

    // Run time.
    std::unique_ptr<ResultFile> result;  // materialised rows, when there are any
    bool valueRows = false;              // the result file holds evaluated select items
    std::int64_t rowCount = -1;          // result rows when materialised, else -1
    std::int64_t rowPosition = -2;       // -1 before the first row, -2 after the last
};

struct InsertFields {
    NodeIndex tableRef = kNoNode;
    NodeIndex firstColumn = kNoNode;  // InsertColumn chain; kNoNode when no list was written
    NodeIndex source = kNoNode;  // the first value ListItem, or the Select of INSERT ... SELECT
};

struct DeleteFields {
    NodeIndex tableRef = kNoNode;
    NodeIndex where = kNoNode;
};

struct UpdateFields {
    NodeIndex tableRef = kNoNode;
    NodeIndex firstAssignment = kNoNode;
    NodeIndex where = kNoNode;
};

struct PassThroughFields {};

struct FromItemFields {
    NodeIndex tableRef = kNoNode;
    NodeIndex next = kNoNode;
};

struct ListItemFields {
    NodeIndex expression = kNoNode;  // kNoNode for table.*
    StringIndex alias = kNoString;   // for table.*: the table name
    NodeIndex next = kNoNode;
};

struct InsertColumnFields {
    NodeIndex columnRef = kNoNode;
    NodeIndex next = kNoNode;
};

struct SortItemFields {
    NodeIndex expression = kNoNode;  // an expression, or a ColumnRef
    bool descending = false;
    NodeIndex next = kNoNode;
};

struct GroupItemFields {
    NodeIndex expression = kNoNode;  // a column or an expression without aggregates
    NodeIndex next = kNoNode;
};

struct AssignmentFields {
    NodeIndex columnRef = kNoNode;
    NodeIndex value = kNoNode;  // an expression or a NullLiteral
    NodeIndex next = kNoNode;
};

struct ColumnDefFields {
    StringIndex name = kNoString;
    StringIndex typeName = kNoString;
    std::uint16_t sizeCount = 0;  // 0, 1 or 2 numbers in parentheses
    std::uint32_t size1 = 0;
    std::uint32_t size2 = 0;
    NodeIndex next = kNoNode;
    std::int32_t typeIndex = -1;  // set by analysis: the entry of the data-type table
};

struct BoolOpFields {
    Operator op = Operator::And;  // Not, And, Or
    NodeIndex left = kNoNode;
    NodeIndex right = kNoNode;  // kNoNode for NOT
};

struct PredicateFields {
    Operator op = Operator::Equal;
    Quantifier quantifier = Quantifier::None;
    NodeIndex left = kNoNode;    // for EXISTS the subquery's Select
    NodeIndex right = kNoNode;   // a value, a NullLiteral, the first ListItem of an IN list, or a
                                 // subquery's Select
    NodeIndex third = kNoNode;   // the upper bound of BETWEEN
    NodeIndex escape = kNoNode;  // LIKE ... ESCAPE: a StringLiteral or Parameter

    // Set by planning and the executor.
    NodeIndex restrictedTable = kNoNode;  // the TableRef given this predicate as a restriction
    bool appliedByQuickBase = false;      // QuickBase applied it: it holds for every record
};

struct ArithOpFields {
    Operator op = Operator::Add;  // Negate, Add, Subtract, Multiply, Divide
    NodeIndex left = kNoNode;     // the operand of a unary minus
    NodeIndex right = kNoNode;    // kNoNode for a unary minus
};

struct AggregateFields {
    AggregateFunction function = AggregateFunction::Count;
    NodeIndex argument = kNoNode;  // kNoNode for COUNT(*)
    bool distinct = false;         // COUNT(DISTINCT x)

    // Set by analysis.
    NodeIndex nextAggregate = kNoNode;  // the Select's chain of aggregates
    std::int32_t accumulatorWidth = 0;
};

struct TableRefFields {
    StringIndex name = kNoString;
    StringIndex alias = kNoString;  // set to the name by analysis when none was written
    // For the right operand of a join: the first FromItem of the left side, the ON condition
    // and the kind of join. A table that is not joined has kInner, no condition and no left.
    NodeIndex leftFirstFromItem = kNoNode;
    NodeIndex on = kNoNode;
    JoinKind joinKind = JoinKind::Inner;

    // Set by analysis: the bound table, owned by the tree.
    std::unique_ptr<QbTable> table;

    // Set by planning.
    std::vector<NodeIndex> restrictions;  // Predicates QuickBase may narrow the scan by
    bool restrictionsAreAlternatives = false;  // they are joined by OR (else by AND)
    bool nullSupplying = false;  // on the NULL-supplying side of an outer join

    // Run time.
    bool nullRow = false;  // standing on the NULL row of an outer join
    bool atStart = true;   // no record matched the ON condition since the last rewind
};

struct ColumnRefFields {
    StringIndex qualifier = kNoString;
    StringIndex name = kNoString;

    // Set by analysis.
    NodeIndex fromItem = kNoNode;
    NodeIndex tableRef = kNoNode;
    std::int32_t column = -1;  // position in the table's column list
};

struct StringLiteralFields {
    StringIndex text = kNoString;
};

// The head's type says how the number was written: INTEGER, NUMERIC (DECIMAL with its digits
// and scale) or DOUBLE.
struct NumberLiteralFields {
    double value = 0.0;
    StringIndex text = kNoString;
};

struct ParameterFields {
    std::uint16_t number = 0;  // from 1, in order of appearance
    NodeIndex next = kNoNode;
    // Run time: set while the value is to arrive in pieces (data at execution).
    bool dataAtExec = false;
};

struct UserNameFields {};
struct NullLiteralFields {};

struct DateLiteralFields {
    DateValue date;
};

struct TimeLiteralFields {
    TimeValue time;
};

struct TimestampLiteralFields {
    TimestampValue timestamp;
};

struct CreateIndexFields {
    StringIndex name = kNoString;
    NodeIndex tableRef = kNoNode;
    NodeIndex firstSortItem = kNoNode;  // SortItems over ColumnRefs
    bool unique = false;
};

struct DropIndexFields {
    StringIndex name = kNoString;
};

struct ScalarFunctionFields {
    StringIndex name = kNoString;       // as written
    NodeIndex firstArgument = kNoNode;  // ListItem chain; kNoNode when none

    // Set by analysis.
    std::int16_t function = -1;  // the entry of the function table
    std::int16_t interval = 0;   // TIMESTAMPADD, TIMESTAMPDIFF
    char extractField = 0;       // EXTRACT
};

using NodeFields =
    std::variant<RootFields, CreateTableFields, DropTableFields, SelectFields, InsertFields,
                 DeleteFields, UpdateFields, PassThroughFields, FromItemFields, ListItemFields,
                 InsertColumnFields, SortItemFields, GroupItemFields, AssignmentFields,
                 ColumnDefFields, BoolOpFields, PredicateFields, ArithOpFields, AggregateFields,
                 TableRefFields, ColumnRefFields, StringLiteralFields, NumberLiteralFields,
                 ParameterFields, UserNameFields, NullLiteralFields, DateLiteralFields,
                 TimeLiteralFields, TimestampLiteralFields, CreateIndexFields, DropIndexFields,
                 ScalarFunctionFields>;

struct ParseNode {
    NodeKind kind;
    TypeDesc type;
    Value value;  // the current value; NULL at first
    RowSlot slot;
    NodeFields fields;

    template <typename F>
    F& as() {
        return std::get<F>(fields);
    }
    template <typename F>
    const F& as() const {
        return std::get<F>(fields);
    }
};

// A new tree is empty; the parser makes the Root its first node.
class ParseTree {
  public:
    ParseTree() = default;
    ParseTree(const ParseTree&) = delete;
    ParseTree& operator=(const ParseTree&) = delete;

    bool empty() const { return nodes_.empty(); }

    // Appends a node of the kind with its default fields; kNoNode when memory ran out.
    NodeIndex newNode(NodeKind kind) noexcept;
    ParseNode& node(NodeIndex index) { return nodes_[static_cast<size_t>(index)]; }
    const ParseNode& node(NodeIndex index) const { return nodes_[static_cast<size_t>(index)]; }
    std::int32_t nodeCount() const { return static_cast<std::int32_t>(nodes_.size()); }
    std::int32_t stringCount() const { return static_cast<std::int32_t>(strings_.size()); }

    template <typename F>
    F& fields(NodeIndex index) {
        return node(index).as<F>();
    }
    template <typename F>
    const F& fields(NodeIndex index) const {
        return node(index).as<F>();
    }

    RootFields& root() { return fields<RootFields>(0); }
    const RootFields& root() const { return fields<RootFields>(0); }

    // The string area: each entry a separate text. kNoString when memory ran out.
    StringIndex addString(std::string_view text) noexcept;
    StringIndex reserveString(std::size_t size) noexcept;  // an empty text with that capacity
    std::string& string(StringIndex index) { return strings_[static_cast<size_t>(index)]; }
    const std::string& string(StringIndex index) const {
        return strings_[static_cast<size_t>(index)];
    }
    // The text, or an empty one for kNoString.
    std::string_view text(StringIndex index) const;

    // Drops the nodes and strings made after the counts given: the parser's backtracking, so
    // that what a failed alternative made (parameters included) leaves no trace.
    void truncate(std::int32_t nodeCount, std::int32_t stringCount) noexcept;

    // Releases what later stages attached (bound tables, result files) and empties the tree.
    void clear() noexcept;

  private:
    std::vector<ParseNode> nodes_;
    std::vector<std::string> strings_;
};


// Calls `visit(child)` for each node a node refers to, its chain successor ("next") included.
// A join's reference back to the left side of its FROM list is not a child.
template <typename Visit>
void forEachChild(const ParseTree& tree, NodeIndex index, Visit&& visit) {
    auto call = [&](NodeIndex child) {
        if (child != kNoNode) visit(child);
    };
    const NodeFields& f = tree.node(index).fields;
    if (auto* x = std::get_if<RootFields>(&f)) {
        call(x->statement);
    } else if (auto* s = std::get_if<SelectFields>(&f)) {
        call(s->firstItem), call(s->firstFrom), call(s->where), call(s->firstGroup);
        call(s->having), call(s->firstOrder);
    } else if (auto* i = std::get_if<InsertFields>(&f)) {
        call(i->tableRef), call(i->firstColumn), call(i->source);
    } else if (auto* d = std::get_if<DeleteFields>(&f)) {
        call(d->tableRef), call(d->where);
    } else if (auto* u = std::get_if<UpdateFields>(&f)) {
        call(u->tableRef), call(u->firstAssignment), call(u->where);
    } else if (auto* fi = std::get_if<FromItemFields>(&f)) {
        call(fi->tableRef), call(fi->next);
    } else if (auto* li = std::get_if<ListItemFields>(&f)) {
        call(li->expression), call(li->next);
    } else if (auto* ic = std::get_if<InsertColumnFields>(&f)) {
        call(ic->columnRef), call(ic->next);
    } else if (auto* si = std::get_if<SortItemFields>(&f)) {
        call(si->expression), call(si->next);
    } else if (auto* g = std::get_if<GroupItemFields>(&f)) {
        call(g->expression), call(g->next);
    } else if (auto* a = std::get_if<AssignmentFields>(&f)) {
        call(a->columnRef), call(a->value), call(a->next);
    } else if (auto* cd = std::get_if<ColumnDefFields>(&f)) {
        call(cd->next);
    } else if (auto* ct = std::get_if<CreateTableFields>(&f)) {
        call(ct->firstColumnDef);
    } else if (auto* b = std::get_if<BoolOpFields>(&f)) {
        call(b->left), call(b->right);
    } else if (auto* p = std::get_if<PredicateFields>(&f)) {
        call(p->left), call(p->right), call(p->third), call(p->escape);
    } else if (auto* ar = std::get_if<ArithOpFields>(&f)) {
        call(ar->left), call(ar->right);
    } else if (auto* ag = std::get_if<AggregateFields>(&f)) {
        call(ag->argument);
    } else if (auto* t = std::get_if<TableRefFields>(&f)) {
        call(t->on);
    } else if (auto* sf = std::get_if<ScalarFunctionFields>(&f)) {
        call(sf->firstArgument);
    } else if (auto* ci = std::get_if<CreateIndexFields>(&f)) {
        call(ci->tableRef), call(ci->firstSortItem);
    }
}

// Calls `visit(node)` for the node and every node below it, without recursion (chains of
// thousands of nodes are walked in constant stack).
template <typename Visit>
void walkSubtree(const ParseTree& tree, NodeIndex root, Visit&& visit) {
    std::vector<NodeIndex> pending{root};
    while (!pending.empty()) {
        const NodeIndex n = pending.back();
        pending.pop_back();
        visit(n);
        forEachChild(tree, n, [&](NodeIndex child) { pending.push_back(child); });
    }
}

}  // namespace kelvra
