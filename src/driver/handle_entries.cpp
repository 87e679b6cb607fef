// Allocating and freeing handles: SQLAllocEnv, SQLAllocConnect, SQLAllocStmt, SQLAllocHandle,
// SQLFreeStmt, SQLFreeConnect, SQLFreeEnv, SQLFreeHandle.
#include "driver/entry.h"
#include "driver/export.h"
#include "driver/handles.h"

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
    auto& env = *static_cast<DriverEnvironment*>(henv);
    env.diag.clear();
    return guarded(env.diag, [&] {
        if (out == nullptr) return SQL_ERROR;
        *out = SQL_NULL_HDBC;
        *out = allocConnection(env);
        return SQL_SUCCESS;
    });
}

SQLRETURN allocStmt(SQLHDBC hdbc, SQLHSTMT* out) noexcept {
    auto& dbc = *static_cast<DriverConnection*>(hdbc);
    dbc.diag.clear();
    return guarded(dbc.diag, [&] {
        if (out == nullptr) return SQL_ERROR;
        *out = SQL_NULL_HSTMT;
        *out = allocStatement(dbc);
        return SQL_SUCCESS;
    });
}

SQLRETURN allocDesc(SQLHDBC hdbc, SQLHDESC* out) noexcept {
    auto& dbc = *static_cast<DriverConnection*>(hdbc);
    dbc.diag.clear();
    dbc.diag.detail.clear();
    return guarded(dbc.diag, [&] {
        if (out == nullptr) return SQL_ERROR;
        *out = SQL_NULL_HDESC;
        *out = allocDescriptor(dbc);
        return SQL_SUCCESS;
    });
}

SQLRETURN freeStmt(SQLHSTMT hstmt, SQLUSMALLINT option) noexcept {
    auto& stmt = *static_cast<DriverStatement*>(hstmt);
    stmt.diag.clear();
    stmt.diagRowCount = 0;
    switch (option) {
        case SQL_CLOSE:
            return guarded(stmt.diag, [&] { return finish(stmt.diag, closeStatement(stmt)); });
        case SQL_UNBIND:
            return guarded(stmt.diag, [&] { return finish(stmt.diag, unbindColumns(stmt)); });
        case SQL_RESET_PARAMS:
            return guarded(stmt.diag, [&] { return finish(stmt.diag, resetParams(stmt)); });
        case SQL_DROP:
            dropStatement(stmt);
            return SQL_SUCCESS;
        default:
            return SQL_SUCCESS;
    }
}

SQLRETURN freeConnect(SQLHDBC hdbc) noexcept {
    freeConnection(*static_cast<DriverConnection*>(hdbc));
    return SQL_SUCCESS;
}

SQLRETURN freeEnv(SQLHENV henv) noexcept {
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
    return freeStmt(hstmt, option);
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
        case SQL_HANDLE_STMT: {
            auto& stmt = *static_cast<DriverStatement*>(handle);
            stmt.ard = &stmt.implicitArd;
            stmt.apd = &stmt.implicitApd;
            return freeStmt(handle, SQL_DROP);
        }
        case SQL_HANDLE_DESC: {
            auto& desc = *static_cast<DriverDescriptor*>(handle);
            desc.diag.clear();
            return guarded(desc.diag, [&] { return finish(desc.diag, freeDescriptor(desc)); });
        }
        default:
            return SQL_ERROR;
    }
}
