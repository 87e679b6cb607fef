// Result retrieval: SQLNumResultCols, SQLDescribeCol, SQLColAttributes, SQLColAttribute,
// SQLBindCol, SQLFetch, SQLFetchScroll, SQLExtendedFetch, SQLGetData, SQLRowCount,
// SQLMoreResults, SQLCloseCursor, SQLSetPos and SQLBulkOperations.
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <string>

#include "convert/type_codes.h"
#include "driver/block_fetch.h"
#include "driver/entry.h"
#include "driver/entry_calls.h"
#include "driver/export.h"
#include "driver/positioned_change.h"
#include "driver/retrieval.h"

using namespace kelvra;

namespace {

// The checks SQLFetch, SQLFetchScroll and SQLExtendedFetch share, then the rowset. A catalog or
// type result moves forward only; a query's cursor scrolls when it is keyset-driven.
SQLRETURN fetchChecked(DriverStatement& stmt, FetchRequest request, const char* call) {
    if (request.statuses != nullptr) request.statuses[0] = SQL_ROW_NOROW;
    if (request.rowsFetched != nullptr) *request.rowsFetched = 0;
    if (stmt.state > kStateCursor) {
        postMessage(stmt.diag, kMsgNotSupported, call);
        return SQL_ERROR;
    }
    if (stmt.state == kStateNoResult) {
        // An INSERTOQ, UPDATEOQ or DELETEOQ statement has an empty result.
        return stmt.oqStatement ? SQL_NO_DATA : finish(stmt.diag, kMsgInvalidCursorState);
    }
    const bool scrolls = request.orientation != FetchOrientation::Next;
    if (stmt.state != kStateCursor) {
        if (scrolls) {
            postMessage(stmt.diag, kMsgNotSupported, call);
            return SQL_ERROR;
        }
    } else {
        if (scrolls && stmt.cursorType != SQL_CURSOR_KEYSET_DRIVEN) {
            return finish(stmt.diag, kMsgFetchTypeRange);
        }
        if (stmt.needData) return finish(stmt.diag, kMsgInvalidCursorState);
    }
    stmt.positionedRow = kNoPositionedRow;
    return fetchRowset(stmt, request);
}

// A bookmark fetch starts from the bookmarked row, which must be a row of the result.
MsgNo bookmarkTarget(DriverStatement& stmt, SQLLEN bookmark, FetchRequest& request) {
    if (bookmark == kAddedRow) return kMsgPositionAddedRow;
    const std::int64_t rows = stmt.result ? stmt.result->scrollableRows() : -1;
    if (bookmark < 1 || bookmark > rows) return kMsgInvalidBookmark;
    request.offset += bookmark;
    return kMsgNone;
}

FetchOrientation orientationOf(SQLSMALLINT orientation) {
    return static_cast<FetchOrientation>(orientation);
}

bool knownOrientation(SQLSMALLINT orientation) {
    return orientation >= SQL_FETCH_NEXT && orientation <= SQL_FETCH_BOOKMARK && orientation != 7;
}

}  // namespace

KELVRA_EXPORT SQLRETURN SQLNumResultCols(SQLHSTMT hstmt, SQLSMALLINT* pccol) {
    return runEntry<DriverStatement>(hstmt, [&](DriverStatement& stmt) -> SQLRETURN {
        SQLLEN count = 0;
        const MsgNo rc = describeColumn(stmt, 0, SQL_COLUMN_COUNT, {}, &count);
        if (pccol != nullptr) *pccol = static_cast<SQLSMALLINT>(count);
        return finish(stmt.diag, rc);
    });
}

SQLRETURN kelvra::describeColCall(SQLHSTMT hstmt, SQLUSMALLINT icol, const TextOut& name,
                                  SQLSMALLINT* pfSqlType, SQLULEN* pcbColDef, SQLSMALLINT* pibScale,
                                  SQLSMALLINT* pfNullable) {
    return runEntry<DriverStatement>(hstmt, [&](DriverStatement& stmt) -> SQLRETURN {
        SQLLEN n = 0;
        const struct {
            SQLUSMALLINT identifier;
            bool wanted;
        } numbers[] = {{SQL_COLUMN_TYPE, pfSqlType != nullptr},
                       {SQL_COLUMN_PRECISION, pcbColDef != nullptr},
                       {SQL_COLUMN_SCALE, pibScale != nullptr},
                       {SQL_COLUMN_NULLABLE, pfNullable != nullptr}};
        for (const auto& item : numbers) {
            if (!item.wanted) continue;
            if (const MsgNo rc = describeColumn(stmt, icol, item.identifier, {}, &n)) {
                return finish(stmt.diag, rc);
            }
            switch (item.identifier) {
                case SQL_COLUMN_TYPE:
                    *pfSqlType = static_cast<SQLSMALLINT>(n);
                    break;
                case SQL_COLUMN_PRECISION:
                    *pcbColDef = static_cast<SQLULEN>(n);
                    break;
                case SQL_COLUMN_SCALE:
                    *pibScale = static_cast<SQLSMALLINT>(n);
                    break;
                default:
                    *pfNullable = static_cast<SQLSMALLINT>(n);
                    break;
            }
        }
        if (name.buffer == nullptr && name.shortLength == nullptr) return SQL_SUCCESS;
        return finish(stmt.diag, describeColumn(stmt, icol, SQL_COLUMN_NAME, name, nullptr));
    });
}

SQLRETURN kelvra::colAttributesCall(SQLHSTMT hstmt, SQLUSMALLINT column, SQLUSMALLINT identifier,
                                    const TextOut& text, SQLLEN* number) {
    return runEntry<DriverStatement>(hstmt, [&](DriverStatement& stmt) -> SQLRETURN {
        return finish(stmt.diag, describeColumn(stmt, column, identifier, text, number));
    });
}

SQLRETURN kelvra::colAttributeCall(SQLHSTMT hstmt, SQLUSMALLINT column, SQLUSMALLINT field,
                                   const TextOut& text, SQLLEN* number) {
    return runEntry<DriverStatement>(hstmt, [&](DriverStatement& stmt) -> SQLRETURN {
        return finish(stmt.diag, describeColumnField(stmt, column, field, text, number));
    });
}

KELVRA_EXPORT SQLRETURN SQLDescribeCol(SQLHSTMT hstmt, SQLUSMALLINT icol, SQLCHAR* szColName,
                                       SQLSMALLINT cbColNameMax, SQLSMALLINT* pcbColName,
                                       SQLSMALLINT* pfSqlType, SQLULEN* pcbColDef,
                                       SQLSMALLINT* pibScale, SQLSMALLINT* pfNullable) {
    return describeColCall(hstmt, icol, {szColName, cbColNameMax, pcbColName}, pfSqlType, pcbColDef,
                           pibScale, pfNullable);
}

KELVRA_EXPORT SQLRETURN SQLColAttributes(SQLHSTMT hstmt, SQLUSMALLINT icol, SQLUSMALLINT fDescType,
                                         SQLPOINTER rgbDesc, SQLSMALLINT cbDescMax,
                                         SQLSMALLINT* pcbDesc, SQLLEN* pfDesc) {
    return colAttributesCall(hstmt, icol, fDescType, {rgbDesc, cbDescMax, pcbDesc}, pfDesc);
}

KELVRA_EXPORT SQLRETURN SQLColAttribute(SQLHSTMT hstmt, SQLUSMALLINT ColumnNumber,
                                        SQLUSMALLINT FieldIdentifier,
                                        SQLPOINTER CharacterAttributePtr, SQLSMALLINT BufferLength,
                                        SQLSMALLINT* StringLengthPtr, SQLLEN* NumericAttributePtr) {
    return colAttributeCall(hstmt, ColumnNumber, FieldIdentifier,
                            {CharacterAttributePtr, BufferLength, StringLengthPtr},
                            NumericAttributePtr);
}

KELVRA_EXPORT SQLRETURN SQLBindCol(SQLHSTMT hstmt, SQLUSMALLINT icol, SQLSMALLINT fCType,
                                   SQLPOINTER rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) {
    return runEntry<DriverStatement>(hstmt, [&](DriverStatement& stmt) -> SQLRETURN {
        if (stmt.needData) return finish(stmt.diag, kMsgInvalidCursorState);
        DriverDescriptor& ard = *stmt.ard;
        if (rgbValue == nullptr) {
            ard.records.remove_if([icol](const DescRecord& r) { return r.recordNumber == icol; });
            return SQL_SUCCESS;
        }
        DescRecord& r = ard.record(icol);
        r.cType = mapDateTimeCode(fCType, odbcVersionOf(stmt));
        r.precision = fCType == SQL_C_NUMERIC || fCType == SQL_C_SBIGINT ? 19
                      : fCType == SQL_C_UBIGINT                          ? 20
                                                                         : 0;
        r.scale = 0;
        r.dataPtr = rgbValue;
        r.octetLength = cbValueMax;
        r.octetLengthPtr = pcbValue;
        r.indicatorPtr = pcbValue;
        return SQL_SUCCESS;
    });
}

KELVRA_EXPORT SQLRETURN SQLFetch(SQLHSTMT hstmt) {
    return runEntry<DriverStatement>(hstmt, [&](DriverStatement& stmt) -> SQLRETURN {
        return fetchChecked(stmt,
                            {FetchOrientation::Next, 0, stmt.ard->arraySize,
                             stmt.ird.arrayStatusPtr, stmt.ird.rowsProcessedPtr},
                            "SQLFetch");
    });
}

KELVRA_EXPORT SQLRETURN SQLFetchScroll(SQLHSTMT hstmt, SQLSMALLINT FetchOrientation,
                                       SQLLEN FetchOffset) {
    return runEntry<DriverStatement>(hstmt, [&](DriverStatement& stmt) -> SQLRETURN {
        FetchRequest request{orientationOf(FetchOrientation), FetchOffset, stmt.ard->arraySize,
                             stmt.ird.arrayStatusPtr, stmt.ird.rowsProcessedPtr};
        if (!knownOrientation(FetchOrientation)) {
            if (request.statuses != nullptr) request.statuses[0] = SQL_ROW_NOROW;
            return finish(stmt.diag, kMsgFetchTypeRange);
        }
        if (request.orientation == FetchOrientation::Bookmark && stmt.state == kStateCursor) {
            if (stmt.fetchBookmarkPtr == nullptr) return finish(stmt.diag, kMsgInvalidBookmark);
            std::int32_t bookmark = 0;
            std::memcpy(&bookmark, stmt.fetchBookmarkPtr, sizeof bookmark);
            if (const MsgNo rc = bookmarkTarget(stmt, bookmark, request)) {
                return finish(stmt.diag, rc);
            }
        }
        return fetchChecked(stmt, request, "SQLFetchScroll");
    });
}

KELVRA_EXPORT SQLRETURN SQLExtendedFetch(SQLHSTMT hstmt, SQLUSMALLINT fFetchType, SQLLEN irow,
                                         SQLULEN* pcrow, SQLUSMALLINT* rgfRowStatus) {
    return runEntry<DriverStatement>(hstmt, [&](DriverStatement& stmt) -> SQLRETURN {
        const auto orientation = static_cast<SQLSMALLINT>(fFetchType);
        FetchRequest request{orientationOf(orientation), irow, stmt.rowsetSize, rgfRowStatus,
                             pcrow};
        if (pcrow != nullptr) *pcrow = 0;
        if (rgfRowStatus != nullptr) rgfRowStatus[0] = SQL_ROW_NOROW;
        stmt.operationRowStatus = rgfRowStatus;
        if (!knownOrientation(orientation)) return finish(stmt.diag, kMsgFetchTypeRange);
        if (request.orientation == FetchOrientation::Bookmark && stmt.state == kStateCursor) {
            // The row argument is the bookmark itself.
            request.offset = 0;
            if (const MsgNo rc = bookmarkTarget(stmt, irow, request)) {
                return finish(stmt.diag, rc);
            }
        }
        return fetchChecked(stmt, request, "SQLExtendedFetch");
    });
}

KELVRA_EXPORT SQLRETURN SQLGetData(SQLHSTMT hstmt, SQLUSMALLINT icol, SQLSMALLINT fCType,
                                   SQLPOINTER rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) {
    return runEntry<DriverStatement>(hstmt, [&](DriverStatement& stmt) -> SQLRETURN {
        SQLSMALLINT cType = fCType;
        if (cType == SQL_ARD_TYPE) {
            const DescRecord* r = stmt.ard->findRecord(icol);
            cType = r != nullptr ? r->cType : SQLSMALLINT{SQL_C_DEFAULT};
        }
        // In a rowset of several rows, the row SQLSetPos chose (the first by default).
        if (const MsgNo rc = standOnRowsetRow(stmt)) return finish(stmt.diag, rc);
        const MsgNo rc =
            transferColumn(stmt, icol, {cType, rgbValue, cbValueMax, pcbValue, pcbValue}, true);
        if (rc == kMsgNoDataFound) return SQL_NO_DATA;
        return finish(stmt.diag, rc);
    });
}

namespace {

// What SQLSetPos and SQLBulkOperations both ask: no lock, an open cursor, no data outstanding.
MsgNo positionedChecks(DriverStatement& stmt, const char* call) {
    if (stmt.state != kStateCursor) {
        postMessage(stmt.diag, kMsgNotSupported, call);
        return kMsgNotSupported;
    }
    return stmt.needData ? MsgNo{kMsgInvalidCursorState} : MsgNo{kMsgNone};
}

}  // namespace

// SQL_POSITION chooses the row of the rowset that SQLGetData reads; the other operations
// refresh or change rows (positioned_change.h).
KELVRA_EXPORT SQLRETURN SQLSetPos(SQLHSTMT hstmt, SQLSETPOSIROW irow, SQLUSMALLINT fOption,
                                  SQLUSMALLINT fLock) {
    return runEntry<DriverStatement>(hstmt, [&](DriverStatement& stmt) -> SQLRETURN {
        if (fLock != SQL_LOCK_NO_CHANGE) return finish(stmt.diag, kMsgNotCapable);
        if (const MsgNo rc = positionedChecks(stmt, "SQLSetPos")) return finish(stmt.diag, rc);
        if (fOption != SQL_POSITION) return setPosChange(stmt, irow, fOption);
        const MsgNo rc = positionInRowset(stmt, irow);
        if (rc == kMsgNone) {
            const SQLULEN rows = stmt.rowsetRows;
            if (stmt.ird.rowsProcessedPtr != nullptr) *stmt.ird.rowsProcessedPtr = rows;
        }
        return finish(stmt.diag, rc);
    });
}

KELVRA_EXPORT SQLRETURN SQLBulkOperations(SQLHSTMT hstmt, SQLSMALLINT Operation) {
    return runEntry<DriverStatement>(hstmt, [&](DriverStatement& stmt) -> SQLRETURN {
        if (const MsgNo rc = positionedChecks(stmt, "SQLBulkOperations")) {
            return finish(stmt.diag, rc);
        }
        return bulkOperation(stmt, Operation);
    });
}

KELVRA_EXPORT SQLRETURN SQLRowCount(SQLHSTMT hstmt, SQLLEN* pcrow) {
    return runEntry<DriverStatement>(hstmt, [&](DriverStatement& stmt) {
        if (pcrow != nullptr) *pcrow = stmt.rowCount;
        return SQL_SUCCESS;
    });
}

KELVRA_EXPORT SQLRETURN SQLMoreResults(SQLHSTMT hstmt) {
    return runEntry<DriverStatement>(hstmt, [&](DriverStatement& stmt) -> SQLRETURN {
        // There is never a second result: closing the first is all there is to do.
        const MsgNo rc = closeStatement(stmt);
        return rc == kMsgNone ? SQL_NO_DATA : finish(stmt.diag, rc);
    });
}

KELVRA_EXPORT SQLRETURN SQLCloseCursor(SQLHSTMT hstmt) {
    return runEntry<DriverStatement>(hstmt, [&](DriverStatement& stmt) -> SQLRETURN {
        if (stmt.state == kStateNoResult) return finish(stmt.diag, kMsgInvalidCursorState);
        return finish(stmt.diag, closeStatement(stmt));
    });
}
