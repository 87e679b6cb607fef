// The calls that give a statement a result of the driver's own (the catalog functions and
// SQLGetTypeInfo) share their frame: the statement must hold no result and no pending
// parameter data, whatever is left of an earlier execution is released, and the rows the
// builder makes become the statement's result.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <memory>

#include "driver/entry.h"
#include "driver/handles.h"
#include "driver/rows_result.h"

namespace kelvra {

// `build(stmt, rows)` returns 0 with `rows` filled, or a message (posted on the statement
// when it carries an argument or a QuickBase error).
template <typename Build>
SQLRETURN produceResult(SQLHSTMT hstmt, StmtState state, Build&& build) {
    return runEntry<DriverStatement>(hstmt, [&](DriverStatement& stmt) -> SQLRETURN {
        stmt.diagRowCount = 0;
        if (stmt.state != kStateNoResult || stmt.needData) {
            return finish(stmt.diag, kMsgInvalidCursorState);
        }
        closeStatement(stmt);
        stmt.rowCount = -1;
        if (stmt.ird.rowsProcessedPtr != nullptr) {
            *stmt.ird.rowsProcessedPtr = static_cast<SQLULEN>(-1);
        }
        std::unique_ptr<RowsResult> rows;
        if (const MsgNo rc = build(stmt, rows)) return finish(stmt.diag, rc);
        stmt.result = std::move(rows);
        stmt.state = state;
        return SQL_SUCCESS;
    });
}

}  // namespace kelvra
