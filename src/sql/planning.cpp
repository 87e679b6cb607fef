#include "sql/planning.h"

#include <algorithm>
#include <vector>

#include "sql/same_expression.h"
#include "sql/sort_layout.h"

namespace kelvra {
namespace {

struct SortKey {
    std::int32_t position;
    std::int32_t width;
    char type;
    bool descending;
};

class SpecText {
  public:
    void key(const SortKey& k) {
        text_ += keys_++ == 0 ? "S(" : ",";
        text_ += std::to_string(k.position) + "," + std::to_string(k.width) + "," + k.type + "," +
                 (k.descending ? 'D' : 'A');
    }
    std::string finish(std::int32_t recordLength, std::string_view dupo = {}) {
        if (keys_ == 0) text_ = "S(";
        text_ += ")";
        text_ += dupo;
        text_ += "F(FIX," + std::to_string(recordLength) + ")W(" + tempDirectory() + ")";
        return std::move(text_);
    }

  private:
    std::string text_;
    int keys_ = 0;
};

class Planner {
  public:
    Planner(ParseTree& tree, NodeIndex select, std::string& argument)
        : t_(tree), sel_(select), arg_(argument) {}

    MsgNo plan() {
        const auto& s = t_.fields<SelectFields>(sel_);
        MsgNo rc = kMsgNone;
        if (s.firstGroup != kNoNode || s.aggregateQuery) {
            rc = planGroups();
        } else if (s.firstOrder != kNoNode) {
            rc = planOrder();
        }
        if (rc == kMsgNone && t_.fields<SelectFields>(sel_).distinct) rc = planDistinct();
        return rc;
    }

  private:
    ParseTree& t_;
    NodeIndex sel_;
    std::string& arg_;
    std::vector<NodeIndex> groupKeys_;  // the grouping items' expressions

    SelectFields& select() { return t_.fields<SelectFields>(sel_); }

    MsgNo unsortable(NodeIndex n, MsgNo rc) {
        const bool column = t_.node(n).kind == NodeKind::ColumnRef;
        arg_ = column ? t_.text(t_.fields<ColumnRefFields>(n).name) : "<expression>";
        return rc;
    }

    MsgNo store(std::string text, StringIndex& where) {
        where = t_.addString(text);
        return where == kNoString ? kMsgMemory : kMsgNone;
    }

    void place(NodeIndex n, std::int32_t position, std::int32_t width) {
        RowSlot& slot = t_.node(n).slot;
        slot.owner = sel_;
        slot.sortPosition = position;
        slot.sortWidth = width;
    }

    // The grouping item an expression stands for, or kNoNode.
    NodeIndex groupKeyOf(NodeIndex n) const {
        for (NodeIndex g : groupKeys_) {
            if (sameExpression(t_, g, n)) return g;
        }
        return kNoNode;
    }

    // Outside aggregates, values read from the group row: each column must be a grouping
    // column, or stand inside an expression equal to a grouping expression; what is built
    // from those and literals is computed from them. Subqueries and aggregate arguments read
    // their own rows.
    MsgNo markGrouped(NodeIndex n) {
        if (n == kNoNode) return kMsgNone;
        ParseNode& node = t_.node(n);
        if (node.kind == NodeKind::ColumnRef || node.kind == NodeKind::ArithOp ||
            node.kind == NodeKind::ScalarFunction) {
            if (const NodeIndex g = groupKeyOf(n); g != kNoNode) {
                place(n, t_.node(g).slot.sortPosition, t_.node(g).slot.sortWidth);
                node.slot.fromGroupRow = true;
                return kMsgNone;
            }
        }
        switch (node.kind) {
            case NodeKind::ColumnRef:
                return unsortable(n, kMsgGroupByColumn);
            case NodeKind::ArithOp: {
                const auto a = node.as<ArithOpFields>();
                if (MsgNo rc = markGrouped(a.left)) return rc;
                return markGrouped(a.right);
            }
            case NodeKind::BoolOp: {
                // Chains of one operator are walked without recursion.
                for (NodeIndex b = n; b != kNoNode;) {
                    if (t_.node(b).kind != NodeKind::BoolOp) return markGrouped(b);
                    const auto f = t_.fields<BoolOpFields>(b);
                    if (MsgNo rc = markGrouped(f.left)) return rc;
                    b = f.right;
                }
                return kMsgNone;
            }
            case NodeKind::Predicate: {
                const auto p = node.as<PredicateFields>();
                if (p.op == Operator::Exists) return kMsgNone;
                if (MsgNo rc = markGrouped(p.left)) return rc;
                if (p.right != kNoNode && t_.node(p.right).kind == NodeKind::ListItem) {
                    for (NodeIndex li = p.right; li != kNoNode;
                         li = t_.fields<ListItemFields>(li).next) {
                        if (MsgNo rc = markGrouped(t_.fields<ListItemFields>(li).expression))
                            return rc;
                    }
                } else if (p.right != kNoNode && t_.node(p.right).kind != NodeKind::Select) {
                    if (MsgNo rc = markGrouped(p.right)) return rc;
                }
                return markGrouped(p.third);
            }
            case NodeKind::ScalarFunction:
                for (NodeIndex li = node.as<ScalarFunctionFields>().firstArgument; li != kNoNode;
                     li = t_.fields<ListItemFields>(li).next) {
                    if (MsgNo rc = markGrouped(t_.fields<ListItemFields>(li).expression)) return rc;
                }
                return kMsgNone;
            default:
                return kMsgNone;  // aggregates, literals, parameters, subqueries
        }
    }

    MsgNo planGroups() {
        std::int32_t position = 1;
        int count = 0;
        for (NodeIndex g = select().firstGroup; g != kNoNode;
             g = t_.fields<GroupItemFields>(g).next) {
            if (++count > kMaxOrderKeys) return kMsgGroupByTooMany;
            const NodeIndex key = t_.fields<GroupItemFields>(g).expression;
            const std::int32_t width = sortKeyWidth(t_.node(key).type);
            if (width == 0) return unsortable(key, kMsgGroupByColumn);
            place(key, position, width);
            groupKeys_.push_back(key);
            position += width + 1;
        }
        select().groupKeyLength = position - 1;
        for (NodeIndex a = select().firstAggregate; a != kNoNode;
             a = t_.fields<AggregateFields>(a).nextAggregate) {
            const std::int32_t width = t_.fields<AggregateFields>(a).accumulatorWidth;
            place(a, position, width);
            position += width + 1;
        }

        for (NodeIndex li = select().firstItem; li != kNoNode;
             li = t_.fields<ListItemFields>(li).next) {
            if (MsgNo rc = markGrouped(t_.fields<ListItemFields>(li).expression)) return rc;
        }
        if (MsgNo rc = markGrouped(select().having)) return rc;
        for (NodeIndex si = select().firstOrder; si != kNoNode;
             si = t_.fields<SortItemFields>(si).next) {
            if (MsgNo rc = markGrouped(t_.fields<SortItemFields>(si).expression)) return rc;
        }
        // An ORDER BY key computed from grouping values and aggregates (neither a grouping
        // item nor an aggregate) gets a field of its own, filled as each group row is made.
        for (NodeIndex si = select().firstOrder; si != kNoNode;
             si = t_.fields<SortItemFields>(si).next) {
            const NodeIndex key = t_.fields<SortItemFields>(si).expression;
            if (t_.node(key).slot.owner == sel_ || select().aggregateQuery) continue;
            const std::int32_t width = sortKeyWidth(t_.node(key).type);
            if (width == 0) return unsortable(key, kMsgOrderByColumn);
            place(key, position, width);
            position += width + 1;
        }
        select().sortRowLength = position - 1;
        if (select().aggregateQuery) return kMsgNone;  // one group: nothing to sort

        // Before grouping, rows sort by the grouping items: first those the ORDER BY begins
        // with, in its order and directions, then the others ascending. When the ORDER BY holds
        // more than that, the group rows are sorted again by it.
        SpecText before;
        std::vector<NodeIndex> used;
        NodeIndex si = select().firstOrder;
        for (; si != kNoNode; si = t_.fields<SortItemFields>(si).next) {
            const auto item = t_.fields<SortItemFields>(si);
            const NodeIndex g = groupKeyOf(item.expression);
            if (g == kNoNode) break;
            if (std::find(used.begin(), used.end(), g) != used.end()) continue;
            used.push_back(g);
            before.key(keyOf(g, item.descending));
        }
        const bool sortAgain = si != kNoNode;
        for (NodeIndex g : groupKeys_) {
            if (std::find(used.begin(), used.end(), g) == used.end()) before.key(keyOf(g, false));
        }
        if (MsgNo rc = store(before.finish(select().sortRowLength), select().orderSpec)) return rc;
        if (!sortAgain) return kMsgNone;

        SpecText after;
        for (si = select().firstOrder; si != kNoNode; si = t_.fields<SortItemFields>(si).next) {
            const auto item = t_.fields<SortItemFields>(si);
            after.key(keyOf(item.expression, item.descending));
        }
        return store(after.finish(select().sortRowLength), select().groupOrderSpec);
    }

    SortKey keyOf(NodeIndex n, bool descending) const {
        const ParseNode& node = t_.node(n);
        return SortKey{node.slot.sortPosition, node.slot.sortWidth, sortKeyType(node.type),
                       descending};
    }

    std::int32_t tableCount() {
        std::int32_t tables = 0;
        for (NodeIndex fi = select().firstFrom; fi != kNoNode;
             fi = t_.fields<FromItemFields>(fi).next) {
            ++tables;
        }
        return tables;
    }

    MsgNo planOrder() {
        SpecText sortSpec;
        std::int32_t position = 1;
        for (NodeIndex si = select().firstOrder; si != kNoNode;
             si = t_.fields<SortItemFields>(si).next) {
            const auto item = t_.fields<SortItemFields>(si);
            const std::int32_t width = sortKeyWidth(t_.node(item.expression).type);
            if (width == 0) return unsortable(item.expression, kMsgOrderByColumn);
            place(item.expression, position, width);
            sortSpec.key(keyOf(item.expression, item.descending));
            position += width + 1;
        }
        select().recordIdOffset = position;
        select().sortRowLength = position - 1 + 4 * tableCount();
        return store(sortSpec.finish(select().sortRowLength), select().orderSpec);
    }

    static bool isLiteral(NodeKind kind) {
        switch (kind) {
            case NodeKind::StringLiteral:
            case NodeKind::NumberLiteral:
            case NodeKind::DateLiteral:
            case NodeKind::TimeLiteral:
            case NodeKind::TimestampLiteral:
            case NodeKind::NullLiteral:
            case NodeKind::UserName:
            case NodeKind::Parameter:
                return true;
            default:
                return false;
        }
    }

    MsgNo planDistinct() {
        SpecText sortSpec;
        const auto start = static_cast<std::int32_t>(kDistinctFirstPosition);
        std::int32_t position = start;
        int keys = 0;
        for (NodeIndex li = select().firstItem; li != kNoNode;
             li = t_.fields<ListItemFields>(li).next) {
            const NodeIndex e = t_.fields<ListItemFields>(li).expression;
            if (isLiteral(t_.node(e).kind)) continue;
            if (++keys > kMaxOrderKeys) return kMsgOrderByTooMany;
            const std::int32_t width = sortKeyWidth(t_.node(e).type);
            if (width == 0) return unsortable(e, kMsgOrderByColumn);
            RowSlot& slot = t_.node(e).slot;
            slot.owner = sel_;
            slot.valuePosition = position;
            slot.valueWidth = width;
            sortSpec.key(SortKey{position, width, sortKeyType(t_.node(e).type), false});
            position += width + 1;
        }
        const std::int32_t length = position - 1;
        select().distinctRowLength = length;
        // Rows that repeat every value byte are dropped; without values, all rows repeat.
        const std::string dupo = "DUPO(B" + std::to_string(length) + "," + std::to_string(start) +
                                 "," + std::to_string(length - start + 1) + ")";
        return store(sortSpec.finish(length, dupo), select().distinctSpec);
    }
};

}  // namespace

std::int32_t sortKeyWidth(const TypeDesc& type) {
    switch (type.valueType) {
        case ValueType::Char:
            if (type.columnSize > 255) return 0;
            return textFieldBytes(std::max<std::uint32_t>(type.columnSize, 1));
        case ValueType::Binary:
            if (type.columnSize > 255) return 0;
            return static_cast<std::int32_t>(std::max<std::uint32_t>(type.columnSize, 1));
        case ValueType::Numeric:
            return static_cast<std::int32_t>(type.columnSize) + 2;
        case ValueType::Integer:
        case ValueType::Double:
            return 8;
        case ValueType::Date:
            return 10;
        case ValueType::Time:
            return 8;
        case ValueType::Timestamp:
            return 23;
        default:
            return 0;
    }
}

char sortKeyType(const TypeDesc& type) {
    switch (type.valueType) {
        case ValueType::Numeric:
            return 'N';
        case ValueType::Integer:
        case ValueType::Double:
            return 'E';
        default:
            return 'C';
    }
}

MsgNo PlanSelect(ParseTree& tree, NodeIndex select, std::string& argument) {
    return Planner(tree, select, argument).plan();
}

}  // namespace kelvra
