#include "sql/analysis.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <new>
#include <vector>

#include "convert/type_table.h"
#include "qbtable/qb_table.h"
#include "resources/ascii.h"
#include "sql/planning.h"
#include "sql/scalar_analysis.h"
#include "sql/sort_layout.h"
#include "sql/statement_plan.h"
#include "sql/typing.h"

namespace kelvra {
namespace {

// What a subtree is analysed within.
struct Scope {
    bool aggregatesAllowed = false;
    NodeIndex select =
        kNoNode;  // the Select whose clause this is (kNoNode in INSERT/UPDATE/DELETE)
};

// The tables a column reference may name at one level of nesting: the FROM list of a Select,
// or the one table of an INSERT, UPDATE or DELETE.
struct Level {
    std::vector<NodeIndex> tableRefs;
    std::vector<NodeIndex> fromItems;  // parallel to tableRefs; kNoNode for a statement's table
};

class Analyzer {
  public:
    Analyzer(ParseTree& tree, AnalysisContext& context, std::string& argument)
        : t_(tree), c_(context), arg_(argument) {}

    MsgNo statement() {
        const NodeIndex n = t_.root().statement;
        if (n == kNoNode) return kMsgInternalError;
        switch (t_.node(n).kind) {
            case NodeKind::Select:
                return select(n, kNoNode);
            case NodeKind::Insert:
                return insert(n);
            case NodeKind::Update:
                return update(n);
            case NodeKind::Delete:
                return remove(n);
            case NodeKind::CreateTable:
                return createTable(n);
            case NodeKind::DropTable:
                return checkLength(t_.text(t_.fields<DropTableFields>(n).name),
                                   kMaxIdentifierLength, kMsgInvalidTableName);
            case NodeKind::CreateIndex:
                return createIndex(n);
            case NodeKind::DropIndex:
                return checkLength(t_.text(t_.fields<DropIndexFields>(n).name), kMaxIndexNameLength,
                                   kMsgInvalidIndexName);
            case NodeKind::PassThrough:
                return kMsgNone;
            default:
                return kMsgInternalError;
        }
    }

  private:
    ParseTree& t_;
    AnalysisContext& c_;
    std::string& arg_;
    std::vector<Level> levels_;

    MsgNo fail(MsgNo rc, std::string_view argument) {
        arg_ = argument;
        return rc;
    }

    MsgNo checkLength(std::string_view name, std::size_t limit, MsgNo rc) {
        return name.size() > limit ? fail(rc, name) : MsgNo{kMsgNone};
    }

    bool sameName(std::string_view a, std::string_view b) const {
        return c_.caseSensitiveNames ? a == b : equalsIgnoreCase(a, b);
    }

    // ---- tables ----

    MsgNo bindTable(NodeIndex tableRef) {
        auto& f = t_.fields<TableRefFields>(tableRef);
        const std::string_view name = t_.text(f.name);
        if (MsgNo rc = checkLength(name, kMaxIdentifierLength, kMsgInvalidTableName)) return rc;
        if (f.alias == kNoString) f.alias = f.name;
        std::unique_ptr<QbTable> table;
        if (MsgNo rc = openTable(c_.session, c_.tables, name, table)) return rc;
        t_.fields<TableRefFields>(tableRef).table = std::move(table);
        return kMsgNone;
    }

    const QbTable& tableOf(NodeIndex tableRef) const {
        return *t_.fields<TableRefFields>(tableRef).table;
    }

    // ---- column references ----

    // Looks the column up in one table: its position, or -1.
    int findColumn(NodeIndex tableRef, std::string_view name) const {
        const QbTable& table = tableOf(tableRef);
        for (std::uint16_t i = 0; i < table.columnCount(); ++i) {
            if (sameName(table.field(i).name, name)) return i;
        }
        return -1;
    }

    void bindColumn(NodeIndex columnRef, NodeIndex tableRef, NodeIndex fromItem, int column) {
        auto& f = t_.fields<ColumnRefFields>(columnRef);
        f.tableRef = tableRef;
        f.fromItem = fromItem;
        f.column = column;
        const auto& tableFields = t_.fields<TableRefFields>(tableRef);
        QbTable& table = *tableFields.table;
        const QbField& field = table.field(static_cast<std::size_t>(column));
        t_.node(columnRef).type = columnType(field.sqlType, field.columnSize, field.decimalDigits);
        // A column a statement uses is fetched by every later query of its table.
        table.requestColumn(static_cast<std::uint16_t>(column));
    }

    MsgNo resolveColumn(NodeIndex columnRef) {
        const auto& f = t_.fields<ColumnRefFields>(columnRef);
        if (f.tableRef != kNoNode) return kMsgNone;  // bound when "*" was expanded
        const std::string_view qualifier = t_.text(f.qualifier);
        const std::string_view name = t_.text(f.name);
        for (auto level = levels_.rbegin(); level != levels_.rend(); ++level) {
            NodeIndex foundRef = kNoNode;
            NodeIndex foundItem = kNoNode;
            int foundColumn = -1;
            for (std::size_t i = 0; i < level->tableRefs.size(); ++i) {
                const NodeIndex ref = level->tableRefs[i];
                const auto& table = t_.fields<TableRefFields>(ref);
                if (!table.table) continue;
                if (f.qualifier != kNoString && !sameName(t_.text(table.alias), qualifier))
                    continue;
                const int column = findColumn(ref, name);
                if (column < 0) continue;
                if (foundRef != kNoNode) return fail(kMsgColumnAmbiguous, name);
                foundRef = ref;
                foundItem = level->fromItems[i];
                foundColumn = column;
            }
            if (foundRef != kNoNode) {
                bindColumn(columnRef, foundRef, foundItem, foundColumn);
                return kMsgNone;
            }
        }
        return fail(kMsgColumnNotFound, name);
    }

    // ---- expressions ----

    static bool isSimpleValue(const ParseTree& t, NodeIndex n) {
        switch (t.node(n).kind) {
            case NodeKind::StringLiteral:
            case NodeKind::NumberLiteral:
            case NodeKind::DateLiteral:
            case NodeKind::TimeLiteral:
            case NodeKind::TimestampLiteral:
            case NodeKind::Parameter:
            case NodeKind::UserName:
            case NodeKind::NullLiteral:
            case NodeKind::ScalarFunction:
                return true;
            case NodeKind::ArithOp: {
                // A negative number is written as a minus before the literal.
                const auto& a = t.fields<ArithOpFields>(n);
                return a.op == Operator::Negate && t.node(a.left).kind == NodeKind::NumberLiteral;
            }
            default:
                return false;
        }
    }

    MsgNo expression(NodeIndex n, const Scope& scope) {
        if (n == kNoNode) return kMsgNone;
        ParseNode& node = t_.node(n);
        switch (node.kind) {
            case NodeKind::ColumnRef:
                return resolveColumn(n);
            case NodeKind::ArithOp:
                return arithmetic(n, scope);
            case NodeKind::Aggregate:
                return aggregate(n, scope);
            case NodeKind::ScalarFunction:
                return scalarFunction(n, scope);
            case NodeKind::StringLiteral:
                node.type = TypeDesc{ValueType::Char, SQL_VARCHAR,
                                     static_cast<std::uint32_t>(std::max<std::size_t>(
                                         t_.text(node.as<StringLiteralFields>().text).size(), 1)),
                                     -1};
                return kMsgNone;
            case NodeKind::UserName:
                node.type = TypeDesc{
                    ValueType::Char, SQL_VARCHAR,
                    static_cast<std::uint32_t>(std::max<std::size_t>(c_.userNameLength, 1)), -1};
                return kMsgNone;
            case NodeKind::NumberLiteral:
                if (node.type.valueType == ValueType::None) {
                    node.type = TypeDesc{ValueType::Double, SQL_DOUBLE, 15, -1};
                }
                return kMsgNone;
            case NodeKind::DateLiteral:
                node.type = TypeDesc{ValueType::Date, SQL_DATE, 10, -1};
                return kMsgNone;
            case NodeKind::TimeLiteral:
                node.type = TypeDesc{ValueType::Time, SQL_TIME, 8, 0};
                return kMsgNone;
            case NodeKind::TimestampLiteral:
                node.type = TypeDesc{ValueType::Timestamp, SQL_TIMESTAMP, 23, 3};
                return kMsgNone;
            case NodeKind::Parameter:
            case NodeKind::NullLiteral:
                return kMsgNone;  // typed by the operator they stand beside
            case NodeKind::Predicate:
            case NodeKind::BoolOp:
                return condition(n, scope);
            default:
                return kMsgInternalError;
        }
    }

    MsgNo arithmetic(NodeIndex n, const Scope& scope) {
        const auto a = t_.fields<ArithOpFields>(n);
        if (MsgNo rc = expression(a.left, scope)) return rc;
        if (MsgNo rc = expression(a.right, scope)) return rc;
        TypeDesc result;
        TypeDesc none;
        TypeDesc& right = a.right == kNoNode ? none : t_.node(a.right).type;
        if (MsgNo rc = TypeOperator(a.op, t_.node(a.left).type, right, result, arg_)) return rc;
        t_.node(n).type = result;
        return kMsgNone;
    }

    static std::string_view aggregateName(AggregateFunction f) {
        switch (f) {
            case AggregateFunction::Avg:
                return "AVG";
            case AggregateFunction::Count:
                return "COUNT";
            case AggregateFunction::Max:
                return "MAX";
            case AggregateFunction::Min:
                return "MIN";
            case AggregateFunction::Sum:
                return "SUM";
        }
        return "";
    }

    static std::int32_t accumulatorWidth(const TypeDesc& t) {
        switch (t.valueType) {
            case ValueType::Char:
                return textFieldBytes(t.columnSize);
            case ValueType::Numeric:
                return static_cast<std::int32_t>(t.columnSize) + (t.sqlType == SQL_BIGINT ? 1 : 2);
            case ValueType::Date:
                return 10;
            case ValueType::Timestamp:
                return 23;
            default:
                return 8;  // the double of INTEGER and DOUBLE, and TIME's text
        }
    }

    MsgNo aggregate(NodeIndex n, const Scope& scope) {
        const auto a = t_.fields<AggregateFields>(n);
        const std::string_view name = aggregateName(a.function);
        if (!scope.aggregatesAllowed || scope.select == kNoNode) {
            return fail(kMsgAggregateContext, name);
        }
        Scope inner = scope;
        inner.aggregatesAllowed = false;
        if (MsgNo rc = expression(a.argument, inner)) return rc;
        TypeDesc result;
        if (a.function == AggregateFunction::Count) {
            result = TypeDesc{ValueType::Integer, SQL_INTEGER, 10, 0};
        } else {
            const TypeDesc arg = t_.node(a.argument).type;
            const bool number = arg.valueType == ValueType::Numeric ||
                                arg.valueType == ValueType::Integer ||
                                arg.valueType == ValueType::Double;
            if (arg.valueType == ValueType::None) return kMsgParamTypeUnknown;
            if (a.function == AggregateFunction::Avg && number) {
                result = TypeDesc{ValueType::Double, SQL_DOUBLE, 15, -1};
            } else if (a.function == AggregateFunction::Sum && number) {
                result = arg;
            } else if ((a.function == AggregateFunction::Max ||
                        a.function == AggregateFunction::Min) &&
                       arg.valueType != ValueType::Binary) {
                result = arg;
            } else {
                return fail(kMsgInvalidOperand, name);
            }
        }
        t_.node(n).type = result;
        std::int32_t width = accumulatorWidth(result);
        if (a.distinct) {
            // COUNT(DISTINCT x) keeps x itself in the rows it groups.
            const std::int32_t key = sortKeyWidth(t_.node(a.argument).type);
            if (key == 0) return fail(kMsgGroupByColumn, "<expression>");
            width = std::max(width, key);
        }
        auto& f = t_.fields<AggregateFields>(n);
        f.accumulatorWidth = width;
        auto& sel = t_.fields<SelectFields>(scope.select);
        f.nextAggregate = sel.firstAggregate;
        sel.firstAggregate = n;
        return kMsgNone;
    }

    MsgNo scalarFunction(NodeIndex n, const Scope& scope) {
        return analyzeScalarFunction(
            t_, n, arg_, [&](NodeIndex argument) { return expression(argument, scope); });
    }

    // ---- conditions ----

    // A search condition: chains of one boolean operator are walked without recursion.
    MsgNo condition(NodeIndex n, const Scope& scope) {
        while (n != kNoNode) {
            ParseNode& node = t_.node(n);
            if (node.kind == NodeKind::Predicate) {
                return predicate(n, scope);
            }
            if (node.kind != NodeKind::BoolOp) {
                // A value where a condition stands (a parenthesised expression).
                return fail(kMsgInvalidOperand, "NOT");
            }
            node.type = booleanType();
            const auto b = node.as<BoolOpFields>();
            if (b.op == Operator::Not) {
                n = b.left;
                continue;
            }
            if (MsgNo rc = condition(b.left, scope)) return rc;
            n = b.right;
        }
        return kMsgNone;
    }

    MsgNo subquery(NodeIndex select, const Scope& scope) {
        return this->select(select, scope.select);
    }

    // The type of a subquery's one select item (1066 when it has more).
    MsgNo subqueryItem(NodeIndex select, NodeIndex& item) {
        const auto& s = t_.fields<SelectFields>(select);
        if (s.firstItem == kNoNode || t_.fields<ListItemFields>(s.firstItem).next != kNoNode) {
            return kMsgSubqueryColumns;
        }
        item = t_.fields<ListItemFields>(s.firstItem).expression;
        return kMsgNone;
    }

    MsgNo typePair(Operator op, NodeIndex left, NodeIndex right) {
        TypeDesc result;
        return TypeOperator(op, t_.node(left).type, t_.node(right).type, result, arg_);
    }

    MsgNo predicate(NodeIndex n, const Scope& scope) {
        t_.node(n).type = booleanType();
        auto& p = t_.fields<PredicateFields>(n);
        if (p.op == Operator::Exists) return subquery(p.left, scope);
        const NodeIndex left = p.left;
        if (MsgNo rc = expression(left, scope)) return rc;

        const bool rightIsSubquery =
            p.right != kNoNode && t_.node(p.right).kind == NodeKind::Select;
        if ((p.op == Operator::In || p.op == Operator::NotIn) && rightIsSubquery) {
            // IN becomes = ANY, NOT IN becomes <> ALL.
            p.quantifier = p.op == Operator::In ? Quantifier::Any : Quantifier::All;
            p.op = p.op == Operator::In ? Operator::Equal : Operator::NotEqual;
        }
        const auto f = t_.fields<PredicateFields>(n);
        if (f.quantifier != Quantifier::None) {
            if (!rightIsSubquery) return fail(kMsgElementMissing, "<subquery>");
            if (MsgNo rc = subquery(f.right, scope)) return rc;
            NodeIndex item = kNoNode;
            if (MsgNo rc = subqueryItem(f.right, item)) return rc;
            return typePair(f.op, left, item);
        }
        switch (f.op) {
            case Operator::In:
            case Operator::NotIn:
                for (NodeIndex li = f.right; li != kNoNode;
                     li = t_.fields<ListItemFields>(li).next) {
                    const NodeIndex e = t_.fields<ListItemFields>(li).expression;
                    if (!isSimpleValue(t_, e)) return kMsgInNotSimple;
                    if (MsgNo rc = expression(e, scope)) return rc;
                    if (t_.node(e).kind == NodeKind::NullLiteral) continue;
                    if (MsgNo rc = typePair(f.op, left, e)) return rc;
                }
                return kMsgNone;
            case Operator::Between:
            case Operator::NotBetween:
                if (MsgNo rc = expression(f.right, scope)) return rc;
                if (MsgNo rc = expression(f.third, scope)) return rc;
                if (MsgNo rc = typePair(f.op, left, f.right)) return rc;
                return typePair(f.op, left, f.third);
            case Operator::Like:
            case Operator::NotLike: {
                if (t_.node(left).kind == NodeKind::ColumnRef &&
                    t_.node(left).type.valueType == ValueType::Char &&
                    t_.node(left).type.columnSize > 255) {
                    return fail(kMsgLikeTooLong, t_.text(t_.fields<ColumnRefFields>(left).name));
                }
                if (MsgNo rc = expression(f.right, scope)) return rc;
                if (MsgNo rc = typePair(f.op, left, f.right)) return rc;
                if (f.escape != kNoNode) {
                    if (MsgNo rc = expression(f.escape, scope)) return rc;
                    TypeDesc& e = t_.node(f.escape).type;
                    if (e.valueType == ValueType::None)
                        e = TypeDesc{ValueType::Char, SQL_VARCHAR, 1, -1};
                    if (e.valueType != ValueType::Char) return fail(kMsgInvalidOperand, "ESCAPE");
                }
                return kMsgNone;
            }
            default:
                break;
        }
        if (MsgNo rc = expression(f.right, scope)) return rc;
        if (t_.node(f.right).kind == NodeKind::NullLiteral) {
            // IS [NOT] NULL tests the left operand, whatever its type; a bare parameter there
            // has no type to take.
            if (t_.node(left).type.valueType == ValueType::None) return kMsgParamTypeUnknown;
            return kMsgNone;
        }
        return typePair(f.op, left, f.right);
    }

    // ---- SELECT ----

    static bool containsAggregate(const ParseTree& t, NodeIndex n) {
        if (n == kNoNode) return false;
        const ParseNode& node = t.node(n);
        switch (node.kind) {
            case NodeKind::Aggregate:
                return true;
            case NodeKind::ArithOp: {
                const auto& a = node.as<ArithOpFields>();
                return containsAggregate(t, a.left) || containsAggregate(t, a.right);
            }
            case NodeKind::ScalarFunction:
                for (NodeIndex li = node.as<ScalarFunctionFields>().firstArgument; li != kNoNode;
                     li = t.fields<ListItemFields>(li).next) {
                    if (containsAggregate(t, t.fields<ListItemFields>(li).expression)) return true;
                }
                return false;
            default:
                return false;
        }
    }

    // The sort-key form of a type: its key width, or 0 when it cannot be a sort key.
    static std::int32_t keyWidth(const TypeDesc& t) { return sortKeyWidth(t); }

    // How a sort or grouping key is named in messages: a column by its name, else
    // "<expression>".
    std::string_view keyName(NodeIndex key) const {
        if (t_.node(key).kind != NodeKind::ColumnRef) return "<expression>";
        return t_.text(t_.fields<ColumnRefFields>(key).name);
    }

    MsgNo fromList(NodeIndex select, Level& level) {
        for (NodeIndex fi = t_.fields<SelectFields>(select).firstFrom; fi != kNoNode;
             fi = t_.fields<FromItemFields>(fi).next) {
            const NodeIndex ref = t_.fields<FromItemFields>(fi).tableRef;
            if (MsgNo rc = bindTable(ref)) return rc;
            const std::string_view alias = t_.text(t_.fields<TableRefFields>(ref).alias);
            for (NodeIndex other : level.tableRefs) {
                if (sameName(t_.text(t_.fields<TableRefFields>(other).alias), alias)) {
                    return fail(kMsgAliasRepeated, alias);
                }
            }
            level.tableRefs.push_back(ref);
            level.fromItems.push_back(fi);
        }
        return kMsgNone;
    }

    // A ColumnRef bound directly to a column of a table (the expansion of "*").
    MsgNo newColumnRef(NodeIndex tableRef, NodeIndex fromItem, int column, NodeIndex& out) {
        const NodeIndex n = t_.newNode(NodeKind::ColumnRef);
        if (n == kNoNode) return kMsgMemory;
        const StringIndex name =
            t_.addString(tableOf(tableRef).field(static_cast<std::size_t>(column)).name);
        if (name == kNoString) return kMsgMemory;
        auto& f = t_.fields<ColumnRefFields>(n);
        f.qualifier = t_.fields<TableRefFields>(tableRef).alias;
        f.name = name;
        bindColumn(n, tableRef, fromItem, column);
        out = n;
        return kMsgNone;
    }

    // Appends a ListItem for every column of the table to the chain ending at `tail`.
    MsgNo expandTable(NodeIndex tableRef, NodeIndex fromItem, NodeIndex& first, NodeIndex& tail) {
        const std::uint16_t count = tableOf(tableRef).columnCount();
        for (std::uint16_t c = 0; c < count; ++c) {
            NodeIndex column = kNoNode;
            if (MsgNo rc = newColumnRef(tableRef, fromItem, c, column)) return rc;
            const NodeIndex item = t_.newNode(NodeKind::ListItem);
            if (item == kNoNode) return kMsgMemory;
            t_.fields<ListItemFields>(item).expression = column;
            if (tail == kNoNode) {
                first = item;
            } else {
                t_.fields<ListItemFields>(tail).next = item;
            }
            tail = item;
        }
        return kMsgNone;
    }

    // "*" and "table.*" become the tables' columns.
    MsgNo expandStars(NodeIndex select, const Level& level) {
        auto& s = t_.fields<SelectFields>(select);
        if (s.firstItem == kNoNode) {
            NodeIndex first = kNoNode;
            NodeIndex tail = kNoNode;
            for (std::size_t i = 0; i < level.tableRefs.size(); ++i) {
                if (MsgNo rc = expandTable(level.tableRefs[i], level.fromItems[i], first, tail)) {
                    return rc;
                }
            }
            t_.fields<SelectFields>(select).firstItem = first;
            return kMsgNone;
        }
        NodeIndex previous = kNoNode;
        for (NodeIndex item = s.firstItem; item != kNoNode;) {
            const auto li = t_.fields<ListItemFields>(item);
            if (li.expression != kNoNode) {
                previous = item;
                item = li.next;
                continue;
            }
            const std::string_view name = t_.text(li.alias);
            std::size_t match = level.tableRefs.size();
            for (std::size_t i = 0; i < level.tableRefs.size(); ++i) {
                if (sameName(t_.text(t_.fields<TableRefFields>(level.tableRefs[i]).alias), name)) {
                    match = i;
                    break;
                }
            }
            if (match == level.tableRefs.size()) return fail(kMsgTableNotFound, name);
            NodeIndex first = kNoNode;
            NodeIndex tail = kNoNode;
            if (MsgNo rc =
                    expandTable(level.tableRefs[match], level.fromItems[match], first, tail)) {
                return rc;
            }
            // Splice the table's columns in place of the "table.*" item.
            if (first == kNoNode) {
                first = li.next;
            } else {
                t_.fields<ListItemFields>(tail).next = li.next;
            }
            if (previous == kNoNode) {
                t_.fields<SelectFields>(select).firstItem = first;
            } else {
                t_.fields<ListItemFields>(previous).next = first;
            }
            previous = tail == kNoNode ? previous : tail;
            item = li.next;
        }
        return kMsgNone;
    }

    // Grouping items are columns or expressions of the row (aggregates are refused as in
    // WHERE); each must have a sort-key form.
    MsgNo groupList(NodeIndex select) {
        int count = 0;
        const Scope rows{false, select};
        for (NodeIndex g = t_.fields<SelectFields>(select).firstGroup; g != kNoNode;
             g = t_.fields<GroupItemFields>(g).next) {
            if (++count > kMaxOrderKeys) return kMsgGroupByTooMany;
            const NodeIndex key = t_.fields<GroupItemFields>(g).expression;
            if (MsgNo rc = expression(key, rows)) return rc;
            // A bare literal groups nothing, and "GROUP BY 1" would be read as an ordinal by
            // some clients: both are refused rather than answered with one group.
            const NodeKind kind = t_.node(key).kind;
            const bool computed = kind == NodeKind::ArithOp || kind == NodeKind::ScalarFunction;
            if (keyWidth(t_.node(key).type) == 0 || (kind != NodeKind::ColumnRef && !computed)) {
                return fail(kMsgGroupByColumn, keyName(key));
            }
        }
        return kMsgNone;
    }

    // The select item an unqualified ORDER BY name stands for when it is an item's alias.
    NodeIndex aliasedItem(NodeIndex select, NodeIndex key) const {
        if (t_.node(key).kind != NodeKind::ColumnRef) return kNoNode;
        const auto& c = t_.fields<ColumnRefFields>(key);
        if (c.qualifier != kNoString) return kNoNode;
        for (NodeIndex li = t_.fields<SelectFields>(select).firstItem; li != kNoNode;
             li = t_.fields<ListItemFields>(li).next) {
            const auto& item = t_.fields<ListItemFields>(li);
            if (item.alias != kNoString && sameName(t_.text(item.alias), t_.text(c.name))) {
                return item.expression;
            }
        }
        return kNoNode;
    }

    MsgNo orderBy(NodeIndex select, const Scope& scope) {
        int count = 0;
        for (NodeIndex si = t_.fields<SelectFields>(select).firstOrder; si != kNoNode;
             si = t_.fields<SortItemFields>(si).next) {
            if (++count > kMaxOrderKeys) return kMsgOrderByTooMany;
            const NodeIndex key = t_.fields<SortItemFields>(si).expression;
            if (t_.node(key).kind == NodeKind::NumberLiteral &&
                t_.node(key).type.valueType == ValueType::Integer) {
                // An ordinal: the select item of that number, which must be a plain column.
                const double ordinal = t_.fields<NumberLiteralFields>(key).value;
                NodeIndex li = t_.fields<SelectFields>(select).firstItem;
                for (double i = 1; li != kNoNode && i < ordinal; ++i) {
                    li = t_.fields<ListItemFields>(li).next;
                }
                if (li == kNoNode || ordinal < 1) return kMsgOrderByOrdinal;
                const NodeIndex expr = t_.fields<ListItemFields>(li).expression;
                if (t_.node(expr).kind != NodeKind::ColumnRef) return kMsgOrderByExpression;
                t_.fields<SortItemFields>(si).expression = expr;
            } else if (const NodeIndex item = aliasedItem(select, key); item != kNoNode) {
                t_.fields<SortItemFields>(si).expression = item;
            } else if (MsgNo rc = expression(key, scope)) {
                return rc;
            }
            const NodeIndex expr = t_.fields<SortItemFields>(si).expression;
            if (keyWidth(t_.node(expr).type) == 0) return fail(kMsgOrderByColumn, keyName(expr));
        }
        return kMsgNone;
    }

    MsgNo select(NodeIndex sel, NodeIndex enclosing) {
        t_.fields<SelectFields>(sel).enclosingSelect = enclosing;
        levels_.emplace_back();
        Level& level = levels_.back();
        if (MsgNo rc = fromList(sel, level)) return rc;
        // ON conditions may name any table of the FROM list.
        const Scope plain{false, sel};
        for (NodeIndex ref : std::vector<NodeIndex>(level.tableRefs)) {
            if (MsgNo rc = condition(t_.fields<TableRefFields>(ref).on, plain)) return rc;
        }
        if (MsgNo rc = groupList(sel)) return rc;

        const auto& s = t_.fields<SelectFields>(sel);
        const bool grouped = s.firstGroup != kNoNode;
        if (!grouped) {
            bool aggregates = false;
            for (NodeIndex li = s.firstItem; li != kNoNode && !aggregates;
                 li = t_.fields<ListItemFields>(li).next) {
                aggregates = containsAggregate(t_, t_.fields<ListItemFields>(li).expression);
            }
            if (!aggregates && s.having != kNoNode) return kMsgHavingWithoutGroup;
            t_.fields<SelectFields>(sel).aggregateQuery = aggregates;
        } else if (s.firstItem == kNoNode) {
            return kMsgStarWithGroupBy;
        }
        if (MsgNo rc = expandStars(sel, levels_.back())) return rc;

        const bool aggregating = grouped || t_.fields<SelectFields>(sel).aggregateQuery;
        const Scope items{aggregating, sel};
        for (NodeIndex li = t_.fields<SelectFields>(sel).firstItem; li != kNoNode;
             li = t_.fields<ListItemFields>(li).next) {
            if (MsgNo rc = expression(t_.fields<ListItemFields>(li).expression, items)) return rc;
        }
        if (MsgNo rc = condition(t_.fields<SelectFields>(sel).where, plain)) return rc;
        if (MsgNo rc = condition(t_.fields<SelectFields>(sel).having, items)) return rc;
        if (MsgNo rc = orderBy(sel, items)) return rc;
        if (MsgNo rc = PlanSelect(t_, sel, arg_)) return rc;
        std::vector<NodeIndex> outer;
        for (std::size_t i = 0; i + 1 < levels_.size(); ++i) {
            outer.insert(outer.end(), levels_[i].tableRefs.begin(), levels_[i].tableRefs.end());
        }
        planSelectScans(t_, sel, outer, sel == t_.root().statement, c_.forwardOnly);
        levels_.pop_back();
        return kMsgNone;
    }

    // ---- INSERT, UPDATE, DELETE ----

    // A level holding the one table of a data-changing statement.
    MsgNo targetTable(NodeIndex tableRef) {
        if (MsgNo rc = bindTable(tableRef)) return rc;
        levels_.emplace_back();
        levels_.back().tableRefs.push_back(tableRef);
        levels_.back().fromItems.push_back(kNoNode);
        return kMsgNone;
    }

    MsgNo assign(NodeIndex column, NodeIndex value, const Scope& scope) {
        if (MsgNo rc = expression(value, scope)) return rc;
        if (t_.node(value).kind == NodeKind::NullLiteral) {
            t_.node(value).type = t_.node(column).type;
            return kMsgNone;
        }
        return typePair(Operator::Assignment, column, value);
    }

    MsgNo insert(NodeIndex n) {
        const auto ins = t_.fields<InsertFields>(n);
        if (MsgNo rc = targetTable(ins.tableRef)) return rc;
        if (ins.firstColumn == kNoNode) {
            // No column list: every column of the table, in table order.
            NodeIndex tail = kNoNode;
            for (std::uint16_t c = 0; c < tableOf(ins.tableRef).columnCount(); ++c) {
                NodeIndex column = kNoNode;
                if (MsgNo rc = newColumnRef(ins.tableRef, kNoNode, c, column)) return rc;
                const NodeIndex ic = t_.newNode(NodeKind::InsertColumn);
                if (ic == kNoNode) return kMsgMemory;
                t_.fields<InsertColumnFields>(ic).columnRef = column;
                if (tail == kNoNode) {
                    t_.fields<InsertFields>(n).firstColumn = ic;
                } else {
                    t_.fields<InsertColumnFields>(tail).next = ic;
                }
                tail = ic;
            }
        } else {
            for (NodeIndex ic = ins.firstColumn; ic != kNoNode;
                 ic = t_.fields<InsertColumnFields>(ic).next) {
                const NodeIndex column = t_.fields<InsertColumnFields>(ic).columnRef;
                if (MsgNo rc = resolveColumn(column)) return rc;
                for (NodeIndex other = ins.firstColumn; other != ic;
                     other = t_.fields<InsertColumnFields>(other).next) {
                    const NodeIndex o = t_.fields<InsertColumnFields>(other).columnRef;
                    if (t_.fields<ColumnRefFields>(o).column ==
                        t_.fields<ColumnRefFields>(column).column) {
                        return fail(kMsgColumnRepeated,
                                    t_.text(t_.fields<ColumnRefFields>(column).name));
                    }
                }
            }
        }
        const NodeIndex source = t_.fields<InsertFields>(n).source;
        const bool fromSelect = source != kNoNode && t_.node(source).kind == NodeKind::Select;
        NodeIndex item = source;
        if (fromSelect) {
            // The select is a statement of its own: it sees no table of the INSERT.
            std::vector<Level> saved;
            saved.swap(levels_);
            const MsgNo rc = select(source, kNoNode);
            levels_.swap(saved);
            if (rc != kMsgNone) return rc;
            item = t_.fields<SelectFields>(source).firstItem;
        }
        const Scope scope{false, kNoNode};
        NodeIndex ic = t_.fields<InsertFields>(n).firstColumn;
        for (; ic != kNoNode && item != kNoNode; ic = t_.fields<InsertColumnFields>(ic).next,
                                                 item = t_.fields<ListItemFields>(item).next) {
            const NodeIndex value = t_.fields<ListItemFields>(item).expression;
            const NodeIndex column = t_.fields<InsertColumnFields>(ic).columnRef;
            if (fromSelect) {
                if (MsgNo rc = typePair(Operator::Assignment, column, value)) return rc;
                continue;
            }
            if (!isSimpleValue(t_, value)) return kMsgInsertNotSimple;
            if (MsgNo rc = assign(column, value, scope)) return rc;
        }
        if (ic != kNoNode || item != kNoNode) return kMsgInsertCountMismatch;
        return kMsgNone;
    }

    MsgNo update(NodeIndex n) {
        const auto u = t_.fields<UpdateFields>(n);
        if (MsgNo rc = targetTable(u.tableRef)) return rc;
        const Scope scope{false, kNoNode};
        for (NodeIndex a = u.firstAssignment; a != kNoNode;
             a = t_.fields<AssignmentFields>(a).next) {
            const auto as = t_.fields<AssignmentFields>(a);
            if (MsgNo rc = resolveColumn(as.columnRef)) return rc;
            if (MsgNo rc = assign(as.columnRef, as.value, scope)) return rc;
        }
        if (MsgNo rc = condition(u.where, scope)) return rc;
        planTargetScan(t_, u.tableRef, u.where);
        return kMsgNone;
    }

    MsgNo remove(NodeIndex n) {
        const auto d = t_.fields<DeleteFields>(n);
        if (MsgNo rc = targetTable(d.tableRef)) return rc;
        if (MsgNo rc = condition(d.where, Scope{false, kNoNode})) return rc;
        planTargetScan(t_, d.tableRef, d.where);
        return kMsgNone;
    }

    // ---- data definition ----

    static std::size_t countItems(std::string_view list) {
        if (trimBlanks(list).empty()) return 0;
        return static_cast<std::size_t>(std::count(list.begin(), list.end(), ',')) + 1;
    }

    MsgNo createTable(NodeIndex n) {
        const auto ct = t_.fields<CreateTableFields>(n);
        if (MsgNo rc = checkLength(t_.text(ct.name), kMaxIdentifierLength, kMsgInvalidTableName)) {
            return rc;
        }
        for (NodeIndex cd = ct.firstColumnDef; cd != kNoNode;
             cd = t_.fields<ColumnDefFields>(cd).next) {
            auto& d = t_.fields<ColumnDefFields>(cd);
            if (MsgNo rc =
                    checkLength(t_.text(d.name), kMaxIdentifierLength, kMsgInvalidColumnName)) {
                return rc;
            }
            const std::string_view typeName = t_.text(d.typeName);
            const auto types = typeTable();
            const auto found = std::find_if(types.begin(), types.end(), [&](const TypeInfoRow& r) {
                return r.listed && equalsIgnoreCase(r.name, typeName);
            });
            if (found == types.end()) return fail(kMsgNoSuchType, typeName);
            if (d.sizeCount != countItems(found->createParams)) {
                return fail(kMsgTypeParamCount, typeName);
            }
            d.typeIndex = static_cast<std::int32_t>(found - types.begin());
        }
        return kMsgNone;
    }

    MsgNo createIndex(NodeIndex n) {
        const auto ci = t_.fields<CreateIndexFields>(n);
        if (MsgNo rc = checkLength(t_.text(ci.name), kMaxIndexNameLength, kMsgInvalidIndexName)) {
            return rc;
        }
        if (MsgNo rc = targetTable(ci.tableRef)) return rc;
        int count = 0;
        for (NodeIndex si = ci.firstSortItem; si != kNoNode;
             si = t_.fields<SortItemFields>(si).next) {
            if (++count > kMaxIndexKeys) return kMsgIndexKeysTooMany;
            if (MsgNo rc = resolveColumn(t_.fields<SortItemFields>(si).expression)) return rc;
        }
        return kMsgNone;
    }
};

}  // namespace

MsgNo AnalyzeStatement(ParseTree& tree, AnalysisContext& context, std::string& argument) {
    if (tree.empty()) return kMsgInternalError;
    try {
        return Analyzer(tree, context, argument).statement();
    } catch (const std::bad_alloc&) {
        return kMsgMemory;
    }
}

}  // namespace kelvra
