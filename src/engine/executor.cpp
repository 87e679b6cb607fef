// Running statements: the dispatch, SELECT's scans and nested-loop joins, and the cursor.
#include "engine/executor.h"

#include <sqlext.h>

#include <algorithm>
#include <new>
#include <optional>

#include "engine/select_run.h"
#include "qbtable/qb_table.h"
#include "qbtable/restriction.h"
#include "sql/statement_plan.h"

namespace kelvra {

Executor::Executor(ParseTree& tree, ExecContext context)
    : tree_(tree), context_(std::move(context)) {}

Executor::~Executor() = default;

MsgNo Executor::fail(MsgNo rc, std::string_view argument) {
    argument_ = argument;
    return rc;
}

Executor::SelectRun& Executor::runOf(NodeIndex select) {
    auto& slot = runs_[select];
    if (!slot) slot = std::make_unique<SelectRun>(tree_, select);
    return *slot;
}

// ---- scans ----

MsgNo Executor::restrictionsOf(NodeIndex tableRef, std::vector<Restriction>& out) {
    const auto& ref = tree_.fields<TableRefFields>(tableRef);
    out.clear();
    for (NodeIndex p : ref.restrictions) {
        const auto predicate = tree_.fields<PredicateFields>(p);
        Restriction r{};
        r.column = static_cast<std::uint16_t>(tree_.fields<ColumnRefFields>(predicate.left).column);
        switch (predicate.op) {
            case Operator::Equal: r.op = RestrictionOp::Equal; break;
            case Operator::NotEqual: r.op = RestrictionOp::NotEqual; break;
            case Operator::LessEqual: r.op = RestrictionOp::LessEqual; break;
            case Operator::Less: r.op = RestrictionOp::Less; break;
            case Operator::GreaterEqual: r.op = RestrictionOp::GreaterEqual; break;
            case Operator::Greater: r.op = RestrictionOp::Greater; break;
            case Operator::Like: r.op = RestrictionOp::Like; break;
            case Operator::NotLike: r.op = RestrictionOp::NotLike; break;
            case Operator::In: r.op = RestrictionOp::In; break;
            case Operator::NotIn: r.op = RestrictionOp::NotIn; break;
            case Operator::Between: r.op = RestrictionOp::Between; break;
            case Operator::NotBetween: r.op = RestrictionOp::NotBetween; break;
            default: continue;
        }
        // The values in force now: literals, parameters, and the columns of tables whose
        // records are fixed while this one is scanned.
        auto take = [&](NodeIndex n) -> MsgNo {
            if (tree_.node(n).kind == NodeKind::NullLiteral) return kMsgNone;
            if (MsgNo rc = evaluate(n)) return rc;
            r.values.push_back(tree_.node(n).value);
            return kMsgNone;
        };
        if (r.op == RestrictionOp::Equal) {
            // An equality with another table's column: its value changes with that table's row.
            walkSubtree(tree_, predicate.right, [&](NodeIndex n) {
                if (tree_.node(n).kind == NodeKind::ColumnRef) r.varies = true;
            });
        }
        if (double newest = 0; newestRecordStandsIn(p, newest)) {
            r.values.push_back(Value::ofInteger(newest));
        } else if (r.op == RestrictionOp::In || r.op == RestrictionOp::NotIn) {
            for (NodeIndex li = predicate.right; li != kNoNode;
                 li = tree_.fields<ListItemFields>(li).next) {
                if (MsgNo rc = take(tree_.fields<ListItemFields>(li).expression)) return rc;
            }
        } else {
            if (MsgNo rc = take(predicate.right)) return rc;
            if (predicate.third != kNoNode) {
                if (MsgNo rc = take(predicate.third)) return rc;
            }
        }
        if (predicate.escape != kNoNode) {
            if (MsgNo rc = evaluate(predicate.escape)) return rc;
            const Value& e = tree_.node(predicate.escape).value;
            if (e.isNull || e.text.size() != 1) continue;  // the local test reports it
            r.escape = e.text[0];
        }
        out.push_back(std::move(r));
    }
    return kMsgNone;
}

MsgNo Executor::rewindTable(NodeIndex tableRef, bool keepPages) {
    std::vector<Restriction> restrictions;
    if (MsgNo rc = restrictionsOf(tableRef, restrictions)) return rc;
    auto& ref = tree_.fields<TableRefFields>(tableRef);
    QbTable& table = *ref.table;
    const RestrictionJoin join =
        ref.restrictionsAreAlternatives ? RestrictionJoin::Or : RestrictionJoin::And;
    if (MsgNo rc = table.setRestrictions(restrictions, join)) return rc;
    if (MsgNo rc = table.startScan(!keepPages)) return rc;
    ref.atStart = true;
    ref.nullRow = false;
    return kMsgNone;
}

// Moves table `level` of the join to its next record that meets its ON condition, or to its NULL
// row. kMsgNoDataFound when it has nothing more for the current records of the tables before it.
MsgNo Executor::stepTable(SelectRun& run, std::size_t level) {
    const NodeIndex tableRef = run.tables[level];
    auto& ref = tree_.fields<TableRefFields>(tableRef);
    if (ref.nullRow) return kMsgNoDataFound;
    // Inside the right operand of an outer join that has no match, every table is NULL too.
    for (std::size_t outer : run.nullWith[level]) {
        if (tree_.fields<TableRefFields>(run.tables[outer]).nullRow) {
            ref.nullRow = true;
            return kMsgNone;
        }
    }
    for (;;) {
        const MsgNo moved = ref.table->nextRecord();
        if (moved == kMsgNoData) {
            if (ref.joinKind == JoinKind::LeftOuter && ref.on != kNoNode && ref.atStart) {
                ref.nullRow = true;
                return kMsgNone;
            }
            return kMsgNoDataFound;
        }
        if (moved != kMsgNone) return moved;
        if (ref.on != kNoNode) {
            if (MsgNo rc = evaluateCondition(ref.on)) return rc;
            if (!isTrue(ref.on)) continue;
        }
        break;
    }
    // The outer joins whose right operand is complete here have found a match.
    for (std::size_t x : run.completes[level]) {
        auto& start = tree_.fields<TableRefFields>(run.tables[x]);
        if (!start.nullRow) start.atStart = false;
    }
    return kMsgNone;
}

// The next combination of records of the FROM list, the first table outermost.
MsgNo Executor::advanceJoin(SelectRun& run) {
    const std::size_t n = run.tables.size();
    if (run.finished || n == 0) return kMsgNoDataFound;
    std::size_t level = n - 1;
    if (!run.started) {
        run.started = true;
        level = 0;
    }
    for (;;) {
        const MsgNo rc = stepTable(run, level);
        if (rc == kMsgNone) {
            if (level + 1 == n) return kMsgNone;
            ++level;
            if (MsgNo r = rewindTable(run.tables[level], run.keepPages)) return r;
            continue;
        }
        if (rc != kMsgNoDataFound) return rc;
        if (level == 0) {
            run.finished = true;
            return kMsgNoDataFound;
        }
        --level;
    }
}

MsgNo Executor::nextMatchingRow(NodeIndex select) {
    SelectRun& run = runOf(select);
    const NodeIndex where = tree_.fields<SelectFields>(select).where;
    for (;;) {
        if (MsgNo rc = advanceJoin(run)) return rc;
        if (where == kNoNode) return kMsgNone;
        if (MsgNo rc = evaluateCondition(where)) return rc;
        if (isTrue(where)) return kMsgNone;
    }
}

// Starts a Select's scans: the first table's scan begins now, so that QuickBase's refusals
// reach the caller of the execution rather than its first fetch.
MsgNo Executor::startScans(NodeIndex select) {
    SelectRun& run = runOf(select);
    run.restart();
    auto& s = tree_.fields<SelectFields>(select);
    s.result.reset();
    s.valueRows = false;
    s.rowCount = -1;
    s.rowPosition = -1;
    if (run.tables.empty()) return kMsgNone;
    QbTable& first = *tree_.fields<TableRefFields>(run.tables.front()).table;
    if (s.orderedByTable) {
        std::vector<SortColumn> order;
        for (NodeIndex si = s.firstOrder; si != kNoNode; si = tree_.fields<SortItemFields>(si).next) {
            const auto item = tree_.fields<SortItemFields>(si);
            order.push_back(SortColumn{
                static_cast<std::uint16_t>(tree_.fields<ColumnRefFields>(item.expression).column),
                item.descending});
        }
        // A table that cannot deliver the order leaves it to the sort.
        if (first.setSortOrder(order) != kMsgNone) {
            first.setSortOrder({});
            s.orderedByTable = false;
        }
    }
    return rewindTable(run.tables.front(), run.keepPages);
}

// Starts a Select: its scans, and its rows materialised when they must be (ordered, grouped,
// distinct, fetched by key, or scrolled).
MsgNo Executor::runSelect(NodeIndex select) {
    SelectRun& run = runOf(select);
    const bool top = select == tree_.root().statement;
    const auto materialized = [&] {
        return needsMaterializing(tree_.fields<SelectFields>(select)) ||
               (top && !context_.forwardOnly);
    };
    // Only a top-level query whose rows stream may let its scans drop the pages they passed.
    const bool streamed = top && !materialized();
    run.keepPages = !streamed;
    if (MsgNo rc = startScans(select)) return rc;
    if (!materialized()) return kMsgNone;
    if (!run.keepPages) {
        // The first table could not deliver the order after all: sort, keeping the pages.
        run.keepPages = true;
        if (MsgNo rc = startScans(select)) return rc;
    }
    return materialize(select);
}

bool Executor::needsMaterializing(const SelectFields& s) const {
    return (s.firstOrder != kNoNode && !s.orderedByTable) || s.firstGroup != kNoNode ||
           s.aggregateQuery || s.distinct || s.keysetFetch;
}

MsgNo Executor::nextSelectRow(NodeIndex select) {
    if (runOf(select).rows != SelectRun::Rows::Streamed) {
        return moveSelect(select, FetchOrientation::Next, 0);
    }
    auto& s = tree_.fields<SelectFields>(select);
    if (s.rowPosition == -2) return kMsgNoDataFound;
    if (s.top >= 0 && s.rowPosition + 1 >= s.top) {  // TOP n: no row after the nth
        s.rowPosition = -2;
        return kMsgNoDataFound;
    }
    const MsgNo rc = nextMatchingRow(select);
    if (rc == kMsgNoDataFound) {
        s.rowPosition = -2;
        return rc;
    }
    if (rc != kMsgNone) return rc;
    ++s.rowPosition;
    return kMsgNone;
}

// Moves within a materialised result: the new position, then its row made current.
MsgNo Executor::moveSelect(NodeIndex select, FetchOrientation orientation, std::int64_t offset) {
    auto& s = tree_.fields<SelectFields>(select);
    const std::int64_t n = s.rowCount;
    std::int64_t p = s.rowPosition;
    std::int64_t target = 0;
    auto before = [&] {
        s.rowPosition = -1;
        return kMsgNoDataFound;
    };
    auto after = [&] {
        s.rowPosition = -2;
        return kMsgNoDataFound;
    };
    // A count from an end: 1 is the first row, -1 the last.
    auto fromEnds = [&](std::int64_t k) -> std::optional<std::int64_t> {
        if (k > 0 && k <= n) return k - 1;
        if (k < 0 && n + k >= 0) return n + k;
        return std::nullopt;
    };
    switch (orientation) {
        case FetchOrientation::Next:
        case FetchOrientation::First:
            if (orientation == FetchOrientation::First || p == -1) {
                if (n == 0) return after();
                target = 0;
            } else if (p == -2 || p + 1 >= n) {
                return after();
            } else {
                target = p + 1;
            }
            break;
        case FetchOrientation::Last:
        case FetchOrientation::Prior:
            if (orientation == FetchOrientation::Last || p == -2) {
                if (n == 0) return before();
                target = n - 1;
            } else if (p <= 0) {
                return before();
            } else {
                target = p - 1;
            }
            break;
        case FetchOrientation::Absolute:
        case FetchOrientation::Relative: {
            const bool fromEnd = orientation == FetchOrientation::Absolute || (p == -1 && offset > 0) ||
                                 (p == -2 && offset < 0);
            if (fromEnd) {
                if (offset == 0) return before();
                const auto row = fromEnds(offset);
                if (!row) return offset > 0 ? after() : before();
                target = *row;
            } else if (offset == 0) {
                if (p < 0) return kMsgNoDataFound;
                target = p;
            } else if (p < 0 || p + offset < 0) {
                return before();
            } else if (p + offset >= n) {
                return after();
            } else {
                target = p + offset;
            }
            break;
        }
        case FetchOrientation::Bookmark:
            if (offset < 1 || offset > n) return fail(kMsgInvalidBookmark, {});
            target = offset - 1;
            break;
        default:
            return fail(kMsgFetchTypeRange, {});
    }
    s.rowPosition = target;
    return positionOnRow(select);
}

MsgNo Executor::firstSubqueryRow(NodeIndex select, bool& found) {
    found = false;
    if (MsgNo rc = runSelect(select)) return rc;
    const MsgNo rc = nextSelectRow(select);
    if (rc == kMsgNoDataFound) return kMsgNone;
    found = rc == kMsgNone;
    return rc;
}

// ---- statements ----

MsgNo Executor::execute(ExecOutcome& outcome) {
    outcome = ExecOutcome{};
    argument_.clear();
    const NodeIndex statement = tree_.root().statement;
    try {
        switch (tree_.node(statement).kind) {
            case NodeKind::Select: {
                outcome.functionCode = SQL_DIAG_SELECT_CURSOR;
                items_.clear();
                for (NodeIndex li = tree_.fields<SelectFields>(statement).firstItem; li != kNoNode;
                     li = tree_.fields<ListItemFields>(li).next) {
                    items_.push_back(tree_.fields<ListItemFields>(li).expression);
                }
                if (MsgNo rc = runSelect(statement)) return rc;
                outcome.rowCount = tree_.fields<SelectFields>(statement).rowCount;
                outcome.cursorOpen = true;
                return kMsgNone;
            }
            case NodeKind::Insert:
                outcome.functionCode = SQL_DIAG_INSERT;
                return insert(statement, outcome);
            case NodeKind::Update:
                outcome.functionCode = SQL_DIAG_UPDATE_WHERE;
                return update(statement, outcome);
            case NodeKind::Delete:
                outcome.functionCode = SQL_DIAG_DELETE_WHERE;
                return remove(statement, outcome);
            case NodeKind::CreateTable:
                outcome.functionCode = SQL_DIAG_CREATE_TABLE;
                return kMsgTableNotSupported;
            case NodeKind::DropTable:
                outcome.functionCode = SQL_DIAG_DROP_TABLE;
                return kMsgTableNotSupported;
            case NodeKind::CreateIndex:
                outcome.functionCode = SQL_DIAG_CREATE_INDEX;
                return kMsgTableNotSupported;
            case NodeKind::DropIndex:
                outcome.functionCode = SQL_DIAG_DROP_INDEX;
                return kMsgTableNotSupported;
            case NodeKind::PassThrough:
                return kMsgNone;
            default:
                return kMsgInternalError;
        }
    } catch (const std::bad_alloc&) {
        return kMsgMemory;
    }
}

MsgNo Executor::fetch(FetchOrientation orientation, std::int64_t offset) {
    const NodeIndex select = tree_.root().statement;
    auto& s = tree_.fields<SelectFields>(select);
    try {
        if (runOf(select).rows == SelectRun::Rows::Streamed) {
            // Rows that stream move forward only.
            if (orientation == FetchOrientation::Relative && offset == 0) {
                return s.rowPosition >= 0 ? kMsgNone : kMsgNoDataFound;
            }
            if (orientation != FetchOrientation::Next) return kMsgInternalError;
            return nextSelectRow(select);
        }
        return moveSelect(select, orientation, offset);
    } catch (const std::bad_alloc&) {
        return kMsgMemory;
    }
}

std::int64_t Executor::rowPosition() const {
    return tree_.fields<SelectFields>(tree_.root().statement).rowPosition;
}

std::int64_t Executor::rowCount() const {
    return tree_.fields<SelectFields>(tree_.root().statement).rowCount;
}

MsgNo Executor::itemValue(std::size_t item, const Value*& out) {
    if (item == 0 || item > items_.size()) return kMsgInvalidColumnId;
    const NodeIndex e = items_[item - 1];
    try {
        if (MsgNo rc = evaluate(e)) return rc;
    } catch (const std::bad_alloc&) {
        return kMsgMemory;
    }
    out = &tree_.node(e).value;
    return kMsgNone;
}

}  // namespace kelvra
