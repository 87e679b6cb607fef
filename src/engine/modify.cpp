// INSERT, UPDATE and DELETE: each row's changes go to the table layer's write cache, which the
// driver flushes (in auto-commit at the end of the statement, else at commit).
#include "convert/param_convert.h"
#include "engine/executor.h"
#include "engine/select_run.h"
#include "qbtable/qb_table.h"

namespace kelvra {

// The value node's current value, in the column's type, written to the current record.
// 0, 1002 (digits rounded away) or a failure.
MsgNo Executor::assignValue(NodeIndex columnRef, NodeIndex value) {
    if (MsgNo rc = evaluate(value)) return rc;
    const ParseNode& column = tree_.node(columnRef);
    const auto& c = column.as<ColumnRefFields>();
    QbTable& table = *tree_.fields<TableRefFields>(c.tableRef).table;
    const Value& v = tree_.node(value).value;
    MsgNo warning = kMsgNone;
    const Value* written = &v;
    if (!v.isNull && v.type != column.type.valueType) {
        const MsgNo rc = convertValue(v, markerFor(column.type), converted_);
        if (rc == kMsgTruncated) {
            warning = rc;
        } else if (rc != kMsgNone) {
            return fail(rc, {});
        }
        written = &converted_;
    }
    if (MsgNo rc = table.putColumnValue(static_cast<std::uint16_t>(c.column), *written)) return rc;
    return warning;
}

MsgNo Executor::insert(NodeIndex n, ExecOutcome& outcome) {
    const auto ins = tree_.fields<InsertFields>(n);
    QbTable& table = *tree_.fields<TableRefFields>(ins.tableRef).table;
    const bool fromSelect =
        ins.source != kNoNode && tree_.node(ins.source).kind == NodeKind::Select;
    if (fromSelect) {
        if (MsgNo rc = runSelect(ins.source)) return rc;
    }
    MsgNo warning = kMsgNone;
    for (bool first = true;; first = false) {
        NodeIndex item = ins.source;
        if (fromSelect) {
            const MsgNo moved = nextSelectRow(ins.source);
            if (moved == kMsgNoDataFound) break;
            if (moved != kMsgNone) return moved;
            item = tree_.fields<SelectFields>(ins.source).firstItem;
        } else if (!first) {
            break;  // VALUES: one row
        }
        if (MsgNo rc = table.newRecord()) return rc;
        for (NodeIndex ic = ins.firstColumn; ic != kNoNode && item != kNoNode;
             ic = tree_.fields<InsertColumnFields>(ic).next,
                       item = tree_.fields<ListItemFields>(item).next) {
            const MsgNo rc = assignValue(tree_.fields<InsertColumnFields>(ic).columnRef,
                                         tree_.fields<ListItemFields>(item).expression);
            if (rc == kMsgTruncated) {
                warning = rc;
            } else if (rc != kMsgNone) {
                // No half-filled record reaches the write cache.
                table.deleteRecord();
                return rc;
            }
        }
        if (MsgNo rc = table.saveRecord()) {
            table.deleteRecord();
            return rc;
        }
        ++outcome.rowCount;
    }
    return warning;
}

// The records of the statement's one table that the WHERE clause keeps, one at a time:
// `change` is called on each.
template <typename Change>
MsgNo Executor::forEachTargetRecord(NodeIndex tableRef, NodeIndex where, Change&& change) {
    if (MsgNo rc = rewindTable(tableRef, true)) return rc;
    QbTable& table = *tree_.fields<TableRefFields>(tableRef).table;
    for (;;) {
        const MsgNo moved = table.nextRecord();
        if (moved == kMsgNoData) return kMsgNone;
        if (moved != kMsgNone) return moved;
        if (where != kNoNode) {
            if (MsgNo rc = evaluateCondition(where)) return rc;
            if (!isTrue(where)) continue;
        }
        if (MsgNo rc = change(table)) return rc;
    }
}

MsgNo Executor::update(NodeIndex n, ExecOutcome& outcome) {
    const auto u = tree_.fields<UpdateFields>(n);
    MsgNo warning = kMsgNone;
    const MsgNo rc = forEachTargetRecord(u.tableRef, u.where, [&](QbTable& table) -> MsgNo {
        for (NodeIndex a = u.firstAssignment; a != kNoNode;
             a = tree_.fields<AssignmentFields>(a).next) {
            const auto as = tree_.fields<AssignmentFields>(a);
            const MsgNo r = assignValue(as.columnRef, as.value);
            if (r == kMsgTruncated) {
                warning = r;
            } else if (r != kMsgNone) {
                return r;
            }
        }
        if (MsgNo r = table.saveRecord()) return r;
        ++outcome.rowCount;
        return kMsgNone;
    });
    return rc != kMsgNone ? rc : warning;
}

MsgNo Executor::remove(NodeIndex n, ExecOutcome& outcome) {
    const auto d = tree_.fields<DeleteFields>(n);
    return forEachTargetRecord(d.tableRef, d.where, [&](QbTable& table) -> MsgNo {
        if (MsgNo r = table.deleteRecord()) return r;
        ++outcome.rowCount;
        return kMsgNone;
    });
}

}  // namespace kelvra
