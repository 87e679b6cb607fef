#include "sql/statement_plan.h"

#include <algorithm>

#include "qbtable/qb_table.h"

namespace kelvra {
namespace {

// The conjuncts of a condition's top-level AND chain (or the disjuncts of its OR chain).
std::vector<NodeIndex> chainTerms(const ParseTree& t, NodeIndex n, Operator op) {
    std::vector<NodeIndex> terms;
    while (n != kNoNode) {
        const ParseNode& node = t.node(n);
        if (node.kind != NodeKind::BoolOp || node.as<BoolOpFields>().op != op) {
            terms.push_back(n);
            break;
        }
        terms.push_back(node.as<BoolOpFields>().left);
        n = node.as<BoolOpFields>().right;
    }
    return terms;
}

Operator mirrored(Operator op) {
    switch (op) {
        case Operator::Less:
            return Operator::Greater;
        case Operator::LessEqual:
            return Operator::GreaterEqual;
        case Operator::Greater:
            return Operator::Less;
        case Operator::GreaterEqual:
            return Operator::LessEqual;
        default:
            return op;
    }
}

class ScanPlanner {
  public:
    explicit ScanPlanner(ParseTree& tree) : t_(tree) {}

    // Tables whose records are fixed while `table` is scanned.
    void setFixedTables(std::vector<NodeIndex> fixed) { fixed_ = std::move(fixed); }

    // A value known when the scan starts.
    bool fixedValue(NodeIndex n) const {
        if (n == kNoNode) return false;
        const ParseNode& node = t_.node(n);
        switch (node.kind) {
            case NodeKind::StringLiteral:
            case NodeKind::NumberLiteral:
            case NodeKind::DateLiteral:
            case NodeKind::TimeLiteral:
            case NodeKind::TimestampLiteral:
            case NodeKind::Parameter:
            case NodeKind::UserName:
                return true;
            case NodeKind::ArithOp: {
                const auto& a = node.as<ArithOpFields>();
                return a.op == Operator::Negate && fixedValue(a.left);
            }
            case NodeKind::ColumnRef: {
                const NodeIndex ref = node.as<ColumnRefFields>().tableRef;
                return std::find(fixed_.begin(), fixed_.end(), ref) != fixed_.end();
            }
            default:
                return false;
        }
    }

    bool columnOf(NodeIndex n, NodeIndex table) const {
        return n != kNoNode && t_.node(n).kind == NodeKind::ColumnRef &&
               t_.fields<ColumnRefFields>(n).tableRef == table;
    }

    // Whether the predicate can narrow `table`'s scan; a comparison with the column on the
    // right is turned round.
    bool restricts(NodeIndex n, NodeIndex table) {
        if (t_.node(n).kind != NodeKind::Predicate) return false;
        auto& p = t_.fields<PredicateFields>(n);
        if (p.quantifier != Quantifier::None) return false;
        if (isComparisonOp(p.op) && !columnOf(p.left, table) && columnOf(p.right, table) &&
            fixedValue(p.left)) {
            std::swap(p.left, p.right);
            p.op = mirrored(p.op);
        }
        if (!columnOf(p.left, table)) return false;
        const auto& column = t_.fields<ColumnRefFields>(p.left);
        const QbTable& qb = *t_.fields<TableRefFields>(table).table;
        if (qb.field(static_cast<std::size_t>(column.column)).restrictRank == 0) return false;
        switch (p.op) {
            case Operator::Equal:
            case Operator::NotEqual:
            case Operator::Less:
            case Operator::LessEqual:
            case Operator::Greater:
            case Operator::GreaterEqual:
            case Operator::Like:
            case Operator::NotLike:
                return fixedValue(p.right) && (p.escape == kNoNode || fixedValue(p.escape));
            case Operator::Between:
            case Operator::NotBetween:
                return fixedValue(p.right) && fixedValue(p.third);
            case Operator::In:
            case Operator::NotIn:
                for (NodeIndex li = p.right; li != kNoNode; li = t_.fields<ListItemFields>(li).next) {
                    const NodeIndex e = t_.fields<ListItemFields>(li).expression;
                    if (t_.node(e).kind != NodeKind::NullLiteral && !fixedValue(e)) return false;
                }
                return true;
            default:
                return false;
        }
    }

    static bool isComparisonOp(Operator op) { return op >= Operator::Equal && op <= Operator::Greater; }

    // Gives `table` its restrictions from the WHERE clause and its ON condition.
    void planTable(NodeIndex table, NodeIndex where, bool whereAllowed) {
        auto& f = t_.fields<TableRefFields>(table);
        std::vector<NodeIndex> chosen;
        bool alternatives = false;
        if (whereAllowed && where != kNoNode) {
            const auto disjuncts = chainTerms(t_, where, Operator::Or);
            if (disjuncts.size() > 1) {
                alternatives = std::all_of(disjuncts.begin(), disjuncts.end(),
                                           [&](NodeIndex d) { return restricts(d, table); });
                if (alternatives) chosen = disjuncts;
            } else {
                for (NodeIndex c : chainTerms(t_, where, Operator::And)) {
                    if (restricts(c, table)) chosen.push_back(c);
                }
            }
        }
        if (!alternatives && f.on != kNoNode) {
            for (NodeIndex c : chainTerms(t_, f.on, Operator::And)) {
                if (restricts(c, table)) chosen.push_back(c);
            }
        }
        // The columns QuickBase narrows by best come first.
        const QbTable& qb = *f.table;
        std::stable_sort(chosen.begin(), chosen.end(), [&](NodeIndex a, NodeIndex b) {
            auto rank = [&](NodeIndex p) {
                const NodeIndex column = t_.fields<PredicateFields>(p).left;
                return qb.field(static_cast<std::size_t>(t_.fields<ColumnRefFields>(column).column))
                    .restrictRank;
            };
            return rank(a) > rank(b);
        });
        auto& g = t_.fields<TableRefFields>(table);
        g.restrictions = std::move(chosen);
        g.restrictionsAreAlternatives = alternatives;
    }

    // Marks the tables inside the right operand of each LEFT OUTER join.
    void markNullSupplying(const std::vector<NodeIndex>& tables,
                           const std::vector<NodeIndex>& fromItems) {
        auto indexOf = [&](NodeIndex fromItem) {
            auto it = std::find(fromItems.begin(), fromItems.end(), fromItem);
            return it == fromItems.end() ? -1 : static_cast<int>(it - fromItems.begin());
        };
        for (std::size_t x = 0; x < tables.size(); ++x) {
            if (t_.fields<TableRefFields>(tables[x]).joinKind != JoinKind::LeftOuter) continue;
            t_.fields<TableRefFields>(tables[x]).nullSupplying = true;
            // The operand goes on while later tables join to something inside it.
            for (std::size_t y = x + 1; y < tables.size(); ++y) {
                const int left = indexOf(t_.fields<TableRefFields>(tables[y]).leftFirstFromItem);
                if (left < static_cast<int>(x)) break;
                t_.fields<TableRefFields>(tables[y]).nullSupplying = true;
            }
        }
    }

    // The keyset pattern: ten OR terms, each the same AND of one to six "column = ?".
    bool keysetPattern(NodeIndex where, NodeIndex table) {
        const auto terms = chainTerms(t_, where, Operator::Or);
        if (terms.size() != 10) return false;
        std::vector<std::int32_t> firstColumns;
        for (std::size_t i = 0; i < terms.size(); ++i) {
            const auto equalities = chainTerms(t_, terms[i], Operator::And);
            if (equalities.empty() || equalities.size() > 6) return false;
            std::vector<std::int32_t> columns;
            for (NodeIndex e : equalities) {
                if (!restricts(e, table)) return false;
                const auto& p = t_.fields<PredicateFields>(e);
                if (p.op != Operator::Equal || t_.node(p.right).kind != NodeKind::Parameter) {
                    return false;
                }
                columns.push_back(t_.fields<ColumnRefFields>(p.left).column);
            }
            if (i == 0) {
                firstColumns = columns;
            } else if (columns != firstColumns) {
                return false;
            }
        }
        return true;
    }

  private:
    ParseTree& t_;
    std::vector<NodeIndex> fixed_;
};

}  // namespace

std::vector<NodeIndex> fromTables(const ParseTree& tree, NodeIndex select) {
    std::vector<NodeIndex> tables;
    for (NodeIndex fi = tree.fields<SelectFields>(select).firstFrom; fi != kNoNode;
         fi = tree.fields<FromItemFields>(fi).next) {
        tables.push_back(tree.fields<FromItemFields>(fi).tableRef);
    }
    return tables;
}

void planSelectScans(ParseTree& tree, NodeIndex select, std::span<const NodeIndex> outerTables,
                     bool topLevel, bool forwardOnly) {
    ScanPlanner planner(tree);
    std::vector<NodeIndex> fromItems;
    for (NodeIndex fi = tree.fields<SelectFields>(select).firstFrom; fi != kNoNode;
         fi = tree.fields<FromItemFields>(fi).next) {
        fromItems.push_back(fi);
    }
    const std::vector<NodeIndex> tables = fromTables(tree, select);
    planner.markNullSupplying(tables, fromItems);

    std::vector<NodeIndex> fixed(outerTables.begin(), outerTables.end());
    const NodeIndex where = tree.fields<SelectFields>(select).where;
    for (NodeIndex table : tables) {
        planner.setFixedTables(fixed);
        planner.planTable(table, where, !tree.fields<TableRefFields>(table).nullSupplying);
        fixed.push_back(table);
    }

    auto& s = tree.fields<SelectFields>(select);
    const bool plain = !s.distinct && s.firstGroup == kNoNode && !s.aggregateQuery;
    if (forwardOnly && plain && s.firstOrder != kNoNode && !tables.empty()) {
        bool firstTableOnly = true;
        for (NodeIndex si = s.firstOrder; si != kNoNode; si = tree.fields<SortItemFields>(si).next) {
            const NodeIndex key = tree.fields<SortItemFields>(si).expression;
            firstTableOnly = firstTableOnly && planner.columnOf(key, tables.front());
        }
        s.orderedByTable = firstTableOnly;
    }
    if (topLevel && plain && s.having == kNoNode && s.firstOrder == kNoNode && tables.size() == 1 &&
        where != kNoNode) {
        planner.setFixedTables({});
        tree.fields<SelectFields>(select).keysetFetch = planner.keysetPattern(where, tables.front());
    }
}

void planTargetScan(ParseTree& tree, NodeIndex tableRef, NodeIndex where) {
    ScanPlanner planner(tree);
    planner.planTable(tableRef, where, true);
}

}  // namespace kelvra
