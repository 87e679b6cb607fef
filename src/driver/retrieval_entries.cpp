// Result retrieval: SQLNumResultCols, SQLDescribeCol, SQLColAttributes, SQLColAttribute,
// SQLBindCol, SQLFetch, SQLFetchScroll, SQLExtendedFetch, SQLGetData, SQLRowCount,
// SQLMoreResults and SQLCloseCursor.
#include <sql.h>
#include <sqlext.h>

#include <string>

#include "convert/type_codes.h"
#include "driver/entry.h"
#include "driver/entry_calls.h"
#include "driver/export.h"
#include "driver/retrieval.h"

using namespace kelvra;

namespace {

// SQLFetch, and the catalog branch of SQLFetchScroll and SQLExtendedFetch.
SQLRETURN fetch(DriverStatement& stmt) {
    if (stmt.state == kStateNoResult) {
        return stmt.oqStatement ? SQL_NO_DATA : finish(stmt.diag, kMsgInvalidCursorState);
    }
    if (stmt.state == kStateCursor) {
        if (stmt.needData) return finish(stmt.diag, kMsgInvalidCursorState);
        // The statement's maximum rows (TOP is the query's own, kept as it runs).
        const SQLULEN limit = stmt.maxRows;
        if (limit != 0 && stmt.currentRow >= 0 && static_cast<SQLULEN>(stmt.currentRow) >= limit) {
            stmt.currentRow = 0;
            return SQL_NO_DATA;
        }
    }
    const MsgNo rc = fetchNextRow(stmt);
    if (rc == kMsgNoDataFound) return SQL_NO_DATA;
    return finish(stmt.diag, rc);
}

SQLRETURN fetchScroll(DriverStatement& stmt, SQLSMALLINT orientation) {
    if (stmt.state > kStateCursor) {
        postMessage(stmt.diag, kMsgNotSupported, "SQLFetchScroll");
        return SQL_ERROR;
    }
    if (stmt.state == kStateNoResult) return finish(stmt.diag, kMsgInvalidCursorState);
    if (orientation != SQL_FETCH_NEXT) {
        postMessage(stmt.diag, kMsgNotSupported,
                    "fetch orientation " + std::to_string(orientation));
        return SQL_ERROR;
    }
    stmt.positionedRow = kNoPositionedRow;
    return fetch(stmt);
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
    return runEntry<DriverStatement>(
        hstmt, [&](DriverStatement& stmt) -> SQLRETURN { return fetch(stmt); });
}

KELVRA_EXPORT SQLRETURN SQLFetchScroll(SQLHSTMT hstmt, SQLSMALLINT FetchOrientation,
                                       SQLLEN /*FetchOffset*/) {
    return runEntry<DriverStatement>(hstmt, [&](DriverStatement& stmt) -> SQLRETURN {
        return fetchScroll(stmt, FetchOrientation);
    });
}

KELVRA_EXPORT SQLRETURN SQLExtendedFetch(SQLHSTMT hstmt, SQLUSMALLINT fFetchType, SQLLEN /*irow*/,
                                         SQLULEN* pcrow, SQLUSMALLINT* rgfRowStatus) {
    return runEntry<DriverStatement>(hstmt, [&](DriverStatement& stmt) -> SQLRETURN {
        if (pcrow != nullptr) *pcrow = 0;
        if (rgfRowStatus != nullptr) rgfRowStatus[0] = SQL_ROW_NOROW;
        stmt.operationRowStatus = rgfRowStatus;
        const SQLRETURN rc = fetchScroll(stmt, static_cast<SQLSMALLINT>(fFetchType));
        if (SQL_SUCCEEDED(rc)) {
            if (pcrow != nullptr) *pcrow = 1;
            if (rgfRowStatus != nullptr) {
                rgfRowStatus[0] = rc == SQL_SUCCESS ? SQL_ROW_SUCCESS : SQL_ROW_SUCCESS_WITH_INFO;
            }
        }
        return rc;
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
        const MsgNo rc =
            transferColumn(stmt, icol, {cType, rgbValue, cbValueMax, pcbValue, pcbValue}, true);
        if (rc == kMsgNoDataFound) return SQL_NO_DATA;
        return finish(stmt.diag, rc);
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
