// Allocating and freeing handles: SQLAllocEnv, SQLAllocConnect, SQLAllocStmt, SQLAllocHandle,
// SQLFreeStmt, SQLFreeConnect, SQLFreeEnv, SQLFreeHandle.
#include "driver/entry.h"
#include "driver/export.h"

using namespace kelvra;

namespace {

SQLRETURN allocEnv(SQLHENV* out) noexcept {
    if (out == nullptr) return SQL_ERROR;
    try {
        *out = allocEnvironment();
        return SQL_SUCCESS;
    } catch (...) {
        *out = SQL_NULL_HENV;
        return SQL_ERROR;
    }
}

SQLRETURN allocConnect(SQLHENV henv, SQLHDBC* out) noexcept {
    return runEntry<DriverEnvironment>(henv, [&](DriverEnvironment& env) {
        if (out == nullptr) return SQL_ERROR;
        *out = SQL_NULL_HDBC;
        *out = allocConnection(env);
        return SQL_SUCCESS;
    });
}

SQLRETURN allocStmt(SQLHDBC hdbc, SQLHSTMT* out) noexcept {
    return runEntry<DriverConnection>(hdbc, [&](DriverConnection& dbc) {
        if (out == nullptr) return SQL_ERROR;
        *out = SQL_NULL_HSTMT;
        *out = allocStatement(dbc);
        return SQL_SUCCESS;
    });
}

SQLRETURN allocDesc(SQLHDBC hdbc, SQLHDESC* out) noexcept {
    return runEntry<DriverConnection>(hdbc, [&](DriverConnection& dbc) {
        dbc.diag.detail.clear();
        if (out == nullptr) return SQL_ERROR;
        *out = SQL_NULL_HDESC;
        *out = allocDescriptor(dbc);
        return SQL_SUCCESS;
    });
}

// SQLFreeStmt's work, in the statement's entry frame.
SQLRETURN freeStatement(DriverStatement& stmt, SQLUSMALLINT option) {
    stmt.diagRowCount = 0;
    switch (option) {
        case SQL_CLOSE:
            return finish(stmt.diag, closeStatement(stmt));
        case SQL_UNBIND:
            return finish(stmt.diag, unbindColumns(stmt));
        case SQL_RESET_PARAMS:
            return finish(stmt.diag, resetParams(stmt));
        case SQL_DROP:
            dropStatement(stmt);  // the statement is gone: nothing may touch it now
            return SQL_SUCCESS;
        default:
            return SQL_SUCCESS;
    }
}

SQLRETURN freeConnect(SQLHDBC hdbc) noexcept {
    if (hdbc == nullptr) return SQL_INVALID_HANDLE;
    auto& dbc = *static_cast<DriverConnection*>(hdbc);
    // The environment's list changes: its lock first, then (in freeConnection) the connection's.
    return runEntry<DriverEnvironment>(
        dbc.environment,
        [&](DriverEnvironment&) {
            freeConnection(dbc);
            return SQL_SUCCESS;
        },
        EntryDiagnostic::keep);
}

SQLRETURN freeEnv(SQLHENV henv) noexcept {
    if (henv == nullptr) return SQL_INVALID_HANDLE;
    freeEnvironment(*static_cast<DriverEnvironment*>(henv));
    return SQL_SUCCESS;
}

}  // namespace

KELVRA_EXPORT SQLRETURN SQLAllocEnv(SQLHENV* phenv) {
    return allocEnv(phenv);
}

KELVRA_EXPORT SQLRETURN SQLAllocConnect(SQLHENV henv, SQLHDBC* phdbc) {
    return allocConnect(henv, phdbc);
}

KELVRA_EXPORT SQLRETURN SQLAllocStmt(SQLHDBC hdbc, SQLHSTMT* phstmt) {
    return allocStmt(hdbc, phstmt);
}

KELVRA_EXPORT SQLRETURN SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
    switch (type) {
        case SQL_HANDLE_ENV: {
            const SQLRETURN rc = allocEnv(output);
            if (SQL_SUCCEEDED(rc))
                static_cast<DriverEnvironment*>(*output)->odbcVersion = SQL_OV_ODBC3;
            return rc;
        }
        case SQL_HANDLE_DBC:
            return allocConnect(input, output);
        case SQL_HANDLE_STMT:
            return allocStmt(input, output);
        case SQL_HANDLE_DESC:
            return allocDesc(input, output);
        default:
            return SQL_ERROR;
    }
}

KELVRA_EXPORT SQLRETURN SQLFreeStmt(SQLHSTMT hstmt, SQLUSMALLINT option) {
    return runEntry<DriverStatement>(
        hstmt, [&](DriverStatement& stmt) { return freeStatement(stmt, option); });
}

KELVRA_EXPORT SQLRETURN SQLFreeConnect(SQLHDBC hdbc) {
    return freeConnect(hdbc);
}

KELVRA_EXPORT SQLRETURN SQLFreeEnv(SQLHENV henv) {
    return freeEnv(henv);
}

KELVRA_EXPORT SQLRETURN SQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle) {
    switch (type) {
        case SQL_HANDLE_ENV:
            return freeEnv(handle);
        case SQL_HANDLE_DBC:
            return freeConnect(handle);
        case SQL_HANDLE_STMT:
            return runEntry<DriverStatement>(handle, [](DriverStatement& stmt) {
                stmt.ard = &stmt.implicitArd;
                stmt.apd = &stmt.implicitApd;
                return freeStatement(stmt, SQL_DROP);
            });
        case SQL_HANDLE_DESC:
            return runEntry<DriverDescriptor>(handle, [](DriverDescriptor& desc) {
                return finish(desc.diag, freeDescriptor(desc));
            });
        default:
            return SQL_ERROR;
    }
}
