// Preparing statements and what surrounds it: SQLPrepare, SQLNativeSql, SQLNumParams,
// SQLDescribeParam, SQLBindParameter, SQLParamOptions, SQLSetCursorName, SQLGetCursorName,
// SQLCancel, SQLEndTran and SQLTransact.
#include <sql.h>
#include <sqlext.h>

#include <string>

#include "convert/type_codes.h"
#include "convert/type_table.h"
#include "driver/entry.h"
#include "driver/entry_calls.h"
#include "driver/export.h"
#include "driver/handles.h"
#include "driver/positioned_change.h"
#include "driver/statement_prepare.h"
#include "driver/string_out.h"
#include "driver/transactions.h"
#include "sql/parser.h"

using namespace kelvra;

namespace {

// The signed or unsigned integer C type the type table gives an SQL integer type.
SQLSMALLINT signedIntegerCType(SQLSMALLINT sqlType) {
    const TypeInfoRow* row = findTypeRow(sqlType);
    const bool isUnsigned = row != nullptr && row->unsignedAttribute == SQL_TRUE;
    switch (sqlType) {
        case SQL_TINYINT:
            return isUnsigned ? SQL_C_UTINYINT : SQL_C_STINYINT;
        case SQL_SMALLINT:
            return isUnsigned ? SQL_C_USHORT : SQL_C_SSHORT;
        default:
            return isUnsigned ? SQL_C_ULONG : SQL_C_SLONG;
    }
}

// The C type a binding uses: SQL_C_DEFAULT by the SQL type, sign-neutral integers made signed or
// unsigned. 0 when the SQL type has no default.
SQLSMALLINT bindingCType(SQLSMALLINT cType, SQLSMALLINT sqlType) {
    if (cType == SQL_C_DEFAULT) {
        switch (sqlType) {
            case SQL_BIT:
                return SQL_C_BIT;
            case SQL_BIGINT:
            case SQL_LONGVARCHAR:
            case SQL_CHAR:
            case SQL_NUMERIC:
            case SQL_DECIMAL:
            case SQL_VARCHAR:
                return SQL_C_CHAR;
            case SQL_LONGVARBINARY:
            case SQL_VARBINARY:
            case SQL_BINARY:
                return SQL_C_BINARY;
            case SQL_FLOAT:
            case SQL_DOUBLE:
                return SQL_C_DOUBLE;
            case SQL_REAL:
                return SQL_C_FLOAT;
            case SQL_DATE:
            case SQL_TIME:
            case SQL_TIMESTAMP:
            case SQL_TYPE_DATE:
            case SQL_TYPE_TIME:
            case SQL_TYPE_TIMESTAMP:
                return sqlType;
            case SQL_TINYINT:
            case SQL_SMALLINT:
            case SQL_INTEGER:
                return signedIntegerCType(sqlType);
            default:
                return 0;
        }
    }
    switch (cType) {
        case SQL_C_TINYINT:
            return signedIntegerCType(SQL_TINYINT);
        case SQL_C_SHORT:
            return signedIntegerCType(SQL_SMALLINT);
        case SQL_C_LONG:
            return signedIntegerCType(SQL_INTEGER);
        default:
            return cType;
    }
}

SQLRETURN transact(SQLHENV henv, SQLHDBC hdbc, SQLUSMALLINT completion) {
    const auto kind = static_cast<SQLSMALLINT>(completion);
    if (hdbc != SQL_NULL_HDBC) {
        return runEntry<DriverConnection>(hdbc, [&](DriverConnection& dbc) -> SQLRETURN {
            return finish(dbc.diag, endTransaction(dbc, kind));
        });
    }
    // Every connection of the environment, each under its own lock (environment first).
    return runEntry<DriverEnvironment>(henv, [&](DriverEnvironment& env) -> SQLRETURN {
        for (auto& dbc : env.connections) {
            EntryLock lock(*dbc);
            if (endTransaction(*dbc, kind) != kMsgNone) {
                env.diag = dbc->diag;
                return SQL_ERROR;
            }
        }
        return SQL_SUCCESS;
    });
}

}  // namespace

// Checks the syntax with the parser and hands the text back as it is: the driver's SQL needs no
// translation.
SQLRETURN kelvra::nativeSql(DriverConnection& dbc, std::string_view text, const TextOut& out) {
    ParseTree scratch;
    StatementFacts facts;
    if (const MsgNo rc = ParseStatement(text, scratch, facts)) {
        postMessage(dbc.diag, rc, facts.argument);
        return SQL_ERROR;
    }
    return finish(dbc.diag, putText(out, text));
}

SQLRETURN kelvra::getCursorNameCall(SQLHSTMT hstmt, const TextOut& name) {
    return runEntry<DriverStatement>(hstmt, [&](DriverStatement& stmt) -> SQLRETURN {
        ensureCursorName(stmt);
        return finish(stmt.diag, putText(name, stmt.cursorName));
    });
}

KELVRA_EXPORT SQLRETURN SQLPrepare(SQLHSTMT hstmt, SQLCHAR* szSqlStr, SQLINTEGER cbSqlStr) {
    return prepareCall(hstmt, szSqlStr, cbSqlStr);
}

KELVRA_EXPORT SQLRETURN SQLNativeSql(SQLHDBC hdbc, SQLCHAR* szSqlStrIn, SQLINTEGER cbSqlStrIn,
                                     SQLCHAR* szSqlStr, SQLINTEGER cbSqlStrMax,
                                     SQLINTEGER* pcbSqlStr) {
    return nativeSqlCall(hdbc, szSqlStrIn, cbSqlStrIn, szSqlStr, cbSqlStrMax, pcbSqlStr);
}

KELVRA_EXPORT SQLRETURN SQLNumParams(SQLHSTMT hstmt, SQLSMALLINT* pcpar) {
    return runEntry<DriverStatement>(hstmt, [&](DriverStatement& stmt) -> SQLRETURN {
        if (stmt.tree.empty()) return finish(stmt.diag, kMsgInvalidCursorState);
        if (pcpar != nullptr) *pcpar = static_cast<SQLSMALLINT>(parameterNodes(stmt).size());
        return SQL_SUCCESS;
    });
}

KELVRA_EXPORT SQLRETURN SQLDescribeParam(SQLHSTMT hstmt, SQLUSMALLINT ipar, SQLSMALLINT* pfSqlType,
                                         SQLULEN* pcbParamDef, SQLSMALLINT* pibScale,
                                         SQLSMALLINT* pfNullable) {
    return runEntry<DriverStatement>(hstmt, [&](DriverStatement& stmt) -> SQLRETURN {
        if (stmt.tree.empty()) return finish(stmt.diag, kMsgInvalidCursorState);
        const auto markers = parameterNodes(stmt);
        if (ipar < 1 || ipar > markers.size()) return finish(stmt.diag, kMsgInvalidParamNumber);
        const TypeDesc& type = stmt.tree.node(markers[ipar - 1]).type;
        if (pfSqlType != nullptr) *pfSqlType = mapDateTimeCode(type.sqlType, odbcVersionOf(stmt));
        if (pcbParamDef != nullptr) *pcbParamDef = type.columnSize;
        if (pibScale != nullptr) *pibScale = std::max<SQLSMALLINT>(type.scale, 0);
        if (pfNullable != nullptr) *pfNullable = SQL_NULLABLE_UNKNOWN;
        return SQL_SUCCESS;
    });
}

KELVRA_EXPORT SQLRETURN SQLBindParameter(SQLHSTMT hstmt, SQLUSMALLINT ipar, SQLSMALLINT fParamType,
                                         SQLSMALLINT fCType, SQLSMALLINT fSqlType, SQLULEN cbColDef,
                                         SQLSMALLINT /*ibScale*/, SQLPOINTER rgbValue,
                                         SQLLEN cbValueMax, SQLLEN* pcbValue) {
    return runEntry<DriverStatement>(hstmt, [&](DriverStatement& stmt) -> SQLRETURN {
        if (stmt.needData) return finish(stmt.diag, kMsgInvalidCursorState);
        const int version = odbcVersionOf(stmt);
        const SQLSMALLINT sqlType = mapDateTimeCode(fSqlType, version);
        const SQLSMALLINT cType = bindingCType(mapDateTimeCode(fCType, version), sqlType);
        if (cType == 0) {
            postMessage(stmt.diag, kMsgNotSupported, std::to_string(fSqlType));
            return SQL_ERROR;
        }
        // Output parameters have nothing to receive here: no statement returns values.
        if (fParamType == SQL_PARAM_OUTPUT) return SQL_SUCCESS;
        DescRecord& r = stmt.apd->record(ipar);
        r.cType = cType;
        r.precision = cType == SQL_C_NUMERIC   ? static_cast<std::int16_t>(cbColDef)
                      : cType == SQL_C_SBIGINT ? 19
                      : cType == SQL_C_UBIGINT ? 20
                                               : 0;
        r.scale = 0;
        r.dataPtr = rgbValue;
        r.octetLength = cbValueMax;
        r.octetLengthPtr = pcbValue;
        r.indicatorPtr = pcbValue;
        return SQL_SUCCESS;
    });
}

KELVRA_EXPORT SQLRETURN SQLParamOptions(SQLHSTMT hstmt, SQLULEN crow, SQLULEN* pirow) {
    return runEntry<DriverStatement>(hstmt, [&](DriverStatement& stmt) -> SQLRETURN {
        stmt.ipd.rowsProcessedPtr = pirow;
        return finish(stmt.diag, crow != 1 ? kMsgOptionChanged : kMsgNone);
    });
}

KELVRA_EXPORT SQLRETURN SQLSetCursorName(SQLHSTMT hstmt, SQLCHAR* szCursor, SQLSMALLINT cbCursor) {
    return setCursorNameCall(hstmt, szCursor, cbCursor);
}

KELVRA_EXPORT SQLRETURN SQLGetCursorName(SQLHSTMT hstmt, SQLCHAR* szCursor, SQLSMALLINT cbCursorMax,
                                         SQLSMALLINT* pcbCursor) {
    return getCursorNameCall(hstmt, {szCursor, cbCursorMax, pcbCursor});
}

KELVRA_EXPORT SQLRETURN SQLCancel(SQLHSTMT hstmt) {
    return runEntry<DriverStatement>(hstmt, [&](DriverStatement& stmt) -> SQLRETURN {
        if (!stmt.needData) return SQL_SUCCESS;
        if (stmt.positionedRow != kNoPositionedRow) return cancelPositionedChange(stmt);
        return finish(stmt.diag, closeStatement(stmt));
    });
}

KELVRA_EXPORT SQLRETURN SQLTransact(SQLHENV henv, SQLHDBC hdbc, SQLUSMALLINT fType) {
    return transact(henv, hdbc, fType);
}

KELVRA_EXPORT SQLRETURN SQLEndTran(SQLSMALLINT fHandleType, SQLHANDLE hHandle, SQLSMALLINT fType) {
    const auto completion = static_cast<SQLUSMALLINT>(fType);
    switch (fHandleType) {
        case SQL_HANDLE_ENV:
            return transact(hHandle, SQL_NULL_HDBC, completion);
        case SQL_HANDLE_DBC:
            return transact(SQL_NULL_HENV, hHandle, completion);
        case SQL_HANDLE_STMT:
            return runEntry<DriverStatement>(hHandle, [](DriverStatement& stmt) -> SQLRETURN {
                return finish(stmt.diag, kMsgInvalidAttrId);
            });
        case SQL_HANDLE_DESC:
            return runEntry<DriverDescriptor>(hHandle, [](DriverDescriptor& desc) -> SQLRETURN {
                return finish(desc.diag, kMsgInvalidAttrId);
            });
        default:
            return SQL_ERROR;
    }
}
