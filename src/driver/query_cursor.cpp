#include "driver/query_cursor.h"

namespace kelvra {

MsgNo postExecutionError(DiagRecord& diag, MsgNo rc, const Executor& executor,
                         const TableLayerState& tables) {
    if (rc == kMsgNone || rc == kMsgNoDataFound) return rc;
    if (tables.error.number == rc) return postTableError(diag, tables.error);
    postMessage(diag, rc, executor.argument());
    return rc;
}

MsgNo QueryCursor::move(FetchOrientation orientation, std::int64_t offset, DiagRecord& diag) {
    evaluatedColumn_ = 0;
    tables_.clearError();
    const MsgNo rc = executor_->fetch(orientation, offset);
    if (rc == kMsgNoData) return rc;  // the row's record was deleted: the caller marks the row
    return postExecutionError(diag, rc, *executor_, tables_);
}

MsgNo QueryCursor::value(size_t column, DiagRecord& diag, const Value*& out) {
    if (column != evaluatedColumn_ || evaluated_ == nullptr) {
        tables_.clearError();
        if (const MsgNo rc = executor_->itemValue(column, evaluated_)) {
            evaluatedColumn_ = 0;
            return postExecutionError(diag, rc, *executor_, tables_);
        }
        evaluatedColumn_ = column;
    }
    out = evaluated_;
    return kMsgNone;
}

}  // namespace kelvra
