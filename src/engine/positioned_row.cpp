// The table and columns behind a query's rows, for the changes SQLSetPos and SQLBulkOperations
// make through the cursor.
#include "engine/executor.h"
#include "engine/select_run.h"

namespace kelvra {

MsgNo Executor::rowTable(QbTable*& table) {
    const NodeIndex select = tree_.root().statement;
    if (tree_.node(select).kind != NodeKind::Select) return kMsgCursorReadOnly;
    const auto& s = tree_.fields<SelectFields>(select);
    const SelectRun& run = runOf(select);
    const bool records =
        run.rows == SelectRun::Rows::Streamed || run.rows == SelectRun::Rows::RecordIds;
    if (run.tables.size() != 1 || !records || s.firstGroup != kNoNode || s.aggregateQuery ||
        s.distinct) {
        return kMsgCursorReadOnly;
    }
    table = tree_.fields<TableRefFields>(run.tables.front()).table.get();
    return table != nullptr ? kMsgNone : kMsgCursorReadOnly;
}

MsgNo Executor::itemColumn(std::size_t item, std::uint16_t& column, TypeDesc& type) {
    if (item == 0 || item > items_.size()) return kMsgInvalidColumnId;
    const ParseNode& node = tree_.node(items_[item - 1]);
    if (node.kind != NodeKind::ColumnRef) return kMsgCursorReadOnly;
    const auto& c = node.as<ColumnRefFields>();
    const SelectRun& run = runOf(tree_.root().statement);
    if (node.slot.fromGroupRow || c.column < 0 || run.tables.size() != 1 ||
        c.tableRef != run.tables.front()) {
        return kMsgCursorReadOnly;
    }
    column = static_cast<std::uint16_t>(c.column);
    type = node.type;
    return kMsgNone;
}

}  // namespace kelvra
