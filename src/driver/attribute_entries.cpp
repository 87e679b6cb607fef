// Environment and connection attributes: SQLSetEnvAttr, SQLGetEnvAttr, SQLSetConnectOption,
// SQLGetConnectOption, SQLSetConnectAttr, SQLGetConnectAttr. Auto-commit may be turned off:
// changes then wait in the connection's write cache for a commit (driver/transactions.h).
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <string>

#include "driver/entry.h"
#include "driver/entry_calls.h"
#include "driver/export.h"
#include "driver/string_out.h"
#include "driver/text_args.h"
#include "driver/transactions.h"
#include "qbtable/write_cache.h"

using namespace kelvra;

namespace {

void storeInteger(SQLPOINTER value, SQLINTEGER* length, SQLUINTEGER answer) {
    if (value != nullptr) std::memcpy(value, &answer, sizeof answer);
    if (length != nullptr) *length = sizeof answer;
}

MsgNo setEnvAttr(DriverEnvironment& env, SQLINTEGER attribute, SQLULEN value) {
    switch (attribute) {
        case SQL_ATTR_ODBC_VERSION:
            if (!env.connections.empty()) return kMsgSequenceError;
            if (value != SQL_OV_ODBC2 && value != SQL_OV_ODBC3) return kMsgOptionChanged;
            env.odbcVersion = static_cast<std::int32_t>(value);
            return kMsgNone;
        case SQL_ATTR_CONNECTION_POOLING:
        case SQL_ATTR_CP_MATCH:
            return value != 0 ? kMsgOptionChanged : kMsgNone;
        case SQL_ATTR_OUTPUT_NTS:
            return value == SQL_FALSE ? kMsgFeatureNotImplemented : kMsgNone;
        default:
            return kMsgInvalidAttrId;
    }
}

MsgNo getEnvAttr(const DriverEnvironment& env, SQLINTEGER attribute, SQLPOINTER value,
                 SQLINTEGER* length) {
    switch (attribute) {
        case SQL_ATTR_ODBC_VERSION:
            storeInteger(value, length, env.odbcVersion);
            return kMsgNone;
        case SQL_ATTR_CONNECTION_POOLING:
        case SQL_ATTR_CP_MATCH:
            storeInteger(value, length, 0);
            return kMsgNone;
        case SQL_ATTR_OUTPUT_NTS:
            storeInteger(value, length, SQL_TRUE);
            return kMsgNone;
        default:
            return kMsgInvalidAttrId;
    }
}

// A cursor type or concurrency may change only while no statement holds a result made with
// another value.
MsgNo setStatementOption(DriverConnection& dbc, StatementDefault which,
                         std::uint16_t DriverStatement::*field, std::uint16_t value) {
    for (const auto& stmt : dbc.statements) {
        if (stmt->state != kStateNoResult && (*stmt).*field != value) {
            postMessage(stmt->diag, kMsgInvalidCursorState);
            return kMsgInvalidCursorState;
        }
    }
    setStatementDefault(dbc, which, value);
    return kMsgNone;
}

MsgNo setConnectOption(DriverConnection& dbc, SQLUSMALLINT option, SQLULEN value) {
    switch (option) {
        case SQL_QUERY_TIMEOUT:
        case SQL_MAX_ROWS:
        case SQL_MAX_LENGTH:
        case SQL_KEYSET_SIZE:
        case SQL_ACCESS_MODE:
        case SQL_OPT_TRACE:
        case SQL_TRANSLATE_DLL:
        case SQL_TRANSLATE_OPTION:
        case SQL_QUIET_MODE:
            return value != 0 ? kMsgOptionChanged : kMsgNone;
        case SQL_NOSCAN:
        case SQL_ASYNC_ENABLE:
            return value != 0 ? kMsgOptionalFeature : kMsgNone;
        case SQL_BIND_TYPE:
            dbc.defaultBindType = static_cast<std::int32_t>(value);
            for (auto& stmt : dbc.statements) stmt->ard->bindType = dbc.defaultBindType;
            return kMsgNone;
        case SQL_CURSOR_TYPE: {
            const bool known =
                value == SQL_CURSOR_FORWARD_ONLY || value == SQL_CURSOR_KEYSET_DRIVEN;
            const auto type = static_cast<std::uint16_t>(known ? value : SQL_CURSOR_KEYSET_DRIVEN);
            const MsgNo rc = setStatementOption(dbc, StatementDefault::kCursorType,
                                                &DriverStatement::cursorType, type);
            if (rc != kMsgNone) return rc;
            return known ? kMsgNone : kMsgOptionChanged;
        }
        case SQL_CONCURRENCY: {
            const bool known = value == SQL_CONCUR_READ_ONLY || value == SQL_CONCUR_LOCK;
            const auto concurrency = static_cast<std::uint16_t>(known ? value : SQL_CONCUR_LOCK);
            const MsgNo rc = setStatementOption(dbc, StatementDefault::kConcurrency,
                                                &DriverStatement::concurrency, concurrency);
            if (rc != kMsgNone) return rc;
            return known ? kMsgNone : kMsgOptionChanged;
        }
        case SQL_ROWSET_SIZE:
            return value != 1 ? kMsgOptionChanged : kMsgNone;
        case SQL_RETRIEVE_DATA:
            setStatementDefault(dbc, StatementDefault::kRetrieveData,
                                static_cast<std::uint16_t>(value));
            return kMsgNone;
        case SQL_USE_BOOKMARKS:
            setStatementDefault(dbc, StatementDefault::kUseBookmarks,
                                static_cast<std::uint16_t>(value));
            return kMsgNone;
        case SQL_AUTOCOMMIT:
            // Turning auto-commit on commits what is pending first.
            if (value == SQL_AUTOCOMMIT_ON && dbc.autocommit == SQL_AUTOCOMMIT_OFF) {
                if (const MsgNo rc = endTransaction(dbc, SQL_COMMIT)) return rc;
            } else if (value != SQL_AUTOCOMMIT_ON && value != SQL_AUTOCOMMIT_OFF) {
                return kMsgNotCapable;
            }
            dbc.autocommit = static_cast<std::uint32_t>(value);
            return kMsgNone;
        case SQL_LOGIN_TIMEOUT:
            dbc.loginTimeout = static_cast<std::uint32_t>(value);
            return kMsgNone;
        case SQL_OPT_TRACEFILE:
            return kMsgOptionChanged;
        case SQL_TXN_ISOLATION:
            // Reads see committed QuickBase data and the connection's own pending changes.
            if (value == static_cast<SQLULEN>(dbc.txnIsolation)) return kMsgNone;
            if (dbc.session && hasPendingWrites(dbc.tableState)) return kMsgTransactionActive;
            if ((value & SQL_TXN_READ_COMMITTED) == 0) return kMsgTableNotSupported;
            dbc.txnIsolation = SQL_TXN_READ_COMMITTED;
            return kMsgNone;
        case SQL_ATTR_CONNECTION_TIMEOUT:
        case SQL_ATTR_METADATA_ID:
            return setConnectAttr(dbc, option, reinterpret_cast<SQLPOINTER>(value), {});
        default:
            return kMsgNotCapable;
    }
}

MsgNo getConnectOption(const DriverConnection& dbc, SQLUSMALLINT option, SQLPOINTER value) {
    switch (option) {
        case SQL_LOGIN_TIMEOUT:
            storeInteger(value, nullptr, dbc.loginTimeout);
            return kMsgNone;
        case SQL_ACCESS_MODE:
        case SQL_OPT_TRACE:
        case SQL_TRANSLATE_OPTION:
        case SQL_QUIET_MODE:
            storeInteger(value, nullptr, 0);
            return kMsgNone;
        case SQL_AUTOCOMMIT:
            storeInteger(value, nullptr, dbc.autocommit);
            return kMsgNone;
        case SQL_TXN_ISOLATION:
            storeInteger(value, nullptr, static_cast<SQLUINTEGER>(dbc.txnIsolation));
            return kMsgNone;
        case SQL_OPT_TRACEFILE:
        case SQL_TRANSLATE_DLL:
        case SQL_CURRENT_QUALIFIER:
            if (value != nullptr) std::memset(value, 0, 4);
            return kMsgNone;
        default:
            return kMsgNotCapable;
    }
}

MsgNo getConnectAttr(const DriverConnection& dbc, SQLINTEGER attribute, const TextOut& out) {
    SQLPOINTER value = out.buffer;
    SQLINTEGER* length = out.longLength;
    switch (attribute) {
        case SQL_ATTR_CURRENT_CATALOG:
            return putText(out, dbc.currentCatalog);
        case SQL_ATTR_CONNECTION_DEAD:
            storeInteger(value, length, 0);
            return kMsgNone;
        case SQL_ATTR_CONNECTION_TIMEOUT:
            storeInteger(value, length, dbc.connectionTimeout);
            return kMsgNone;
        case SQL_ATTR_AUTO_IPD:
            storeInteger(value, length, SQL_TRUE);
            return kMsgNone;
        case SQL_ATTR_METADATA_ID:
            storeInteger(value, length, dbc.metadataId);
            return kMsgNone;
        default:
            break;
    }
    if (attribute == SQL_ASYNC_ENABLE || (attribute >= 101 && attribute <= 108) ||
        (attribute >= 110 && attribute <= 112)) {
        const MsgNo rc = getConnectOption(dbc, static_cast<SQLUSMALLINT>(attribute), value);
        if (rc == kMsgNone && length != nullptr) *length = 4;
        return rc;
    }
    return kMsgInvalidAttrId;
}

}  // namespace

bool kelvra::isTextAttribute(SQLINTEGER attribute) {
    return attribute == SQL_ATTR_CURRENT_CATALOG;
}

MsgNo kelvra::setConnectAttr(DriverConnection& dbc, SQLINTEGER attribute, SQLPOINTER value,
                             const TextArg& text) {
    const auto number = reinterpret_cast<SQLULEN>(value);
    if ((attribute >= 0 && attribute <= 12) || (attribute >= 101 && attribute <= 108) ||
        (attribute >= 110 && attribute <= 112)) {
        return setConnectOption(dbc, static_cast<SQLUSMALLINT>(attribute), number);
    }
    switch (attribute) {
        case SQL_ATTR_CURRENT_CATALOG:
            dbc.currentCatalog = text.text;
            return kMsgNone;
        case SQL_ATTR_CONNECTION_TIMEOUT:
            dbc.connectionTimeout = static_cast<std::uint32_t>(number);
            if (dbc.session) dbc.session->deadline = {dbc.connectionTimeout, kMsgConnectionTimeout};
            return kMsgNone;
        case SQL_ATTR_METADATA_ID:
            dbc.metadataId = static_cast<std::uint32_t>(number);
            for (auto& stmt : dbc.statements) stmt->metadataId = dbc.metadataId;
            return kMsgNone;
        default:
            return kMsgInvalidAttrId;
    }
}

KELVRA_EXPORT SQLRETURN SQLSetEnvAttr(SQLHENV henv, SQLINTEGER Attribute, SQLPOINTER Value,
                                      SQLINTEGER /*StringLength*/) {
    return runEntry<DriverEnvironment>(henv, [&](DriverEnvironment& env) {
        return finish(env.diag, setEnvAttr(env, Attribute, reinterpret_cast<SQLULEN>(Value)));
    });
}

KELVRA_EXPORT SQLRETURN SQLGetEnvAttr(SQLHENV henv, SQLINTEGER Attribute, SQLPOINTER Value,
                                      SQLINTEGER /*BufferLength*/, SQLINTEGER* StringLength) {
    return runEntry<DriverEnvironment>(henv, [&](DriverEnvironment& env) {
        return finish(env.diag, getEnvAttr(env, Attribute, Value, StringLength));
    });
}

SQLRETURN kelvra::setConnectOptionCall(SQLHDBC hdbc, SQLUSMALLINT option, SQLULEN value) {
    return runEntry<DriverConnection>(hdbc, [&](DriverConnection& dbc) {
        return finish(dbc.diag, setConnectOption(dbc, option, value));
    });
}

SQLRETURN kelvra::getConnectOptionCall(SQLHDBC hdbc, SQLUSMALLINT option, SQLPOINTER value) {
    return runEntry<DriverConnection>(hdbc, [&](DriverConnection& dbc) {
        return finish(dbc.diag, getConnectOption(dbc, option, value));
    });
}

SQLRETURN kelvra::getConnectAttrCall(SQLHDBC hdbc, SQLINTEGER attribute, const TextOut& value) {
    return runEntry<DriverConnection>(hdbc, [&](DriverConnection& dbc) {
        return finish(dbc.diag, getConnectAttr(dbc, attribute, value));
    });
}

KELVRA_EXPORT SQLRETURN SQLSetConnectOption(SQLHDBC hdbc, SQLUSMALLINT fOption, SQLULEN vParam) {
    return setConnectOptionCall(hdbc, fOption, vParam);
}

KELVRA_EXPORT SQLRETURN SQLGetConnectOption(SQLHDBC hdbc, SQLUSMALLINT fOption,
                                            SQLPOINTER pvParam) {
    return getConnectOptionCall(hdbc, fOption, pvParam);
}

KELVRA_EXPORT SQLRETURN SQLSetConnectAttr(SQLHDBC hdbc, SQLINTEGER Attribute, SQLPOINTER Value,
                                          SQLINTEGER StringLength) {
    return setConnectAttrCall<SQLCHAR>(hdbc, Attribute, Value, StringLength);
}

KELVRA_EXPORT SQLRETURN SQLGetConnectAttr(SQLHDBC hdbc, SQLINTEGER Attribute, SQLPOINTER Value,
                                          SQLINTEGER BufferLength, SQLINTEGER* StringLength) {
    return getConnectAttrCall(hdbc, Attribute, {Value, BufferLength, StringLength});
}
