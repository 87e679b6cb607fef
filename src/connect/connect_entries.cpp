// Connecting and disconnecting: SQLConnect, SQLDriverConnect, SQLDisconnect and the refused
// SQLBrowseConnect.
#include <sql.h>
#include <sqlext.h>

#include <string>

#include "connect/connect_calls.h"
#include "connect/connection_string.h"
#include "connect/data_source.h"
#include "connect/login_prompt.h"
#include "connect/session_start.h"
#include "driver/entry.h"
#include "driver/export.h"
#include "driver/string_out.h"
#include "qbtable/write_cache.h"
#include "resources/ascii.h"

using namespace kelvra;

namespace {

// The isolation level a QuickBase session reports (SQL_TXN_READ_COMMITTED); the driver has no
// transactions to isolate.
constexpr std::int32_t kSessionIsolation = SQL_TXN_READ_COMMITTED;

bool connected(const DriverConnection& dbc) {
    return !dbc.dataSourceName.empty();
}

void attach(DriverConnection& dbc, std::unique_ptr<QbSession> session, const std::string& dsn) {
    dbc.session = std::move(session);
    dbc.grantedTables.clear();
    dbc.grantedApplications.clear();
    dbc.tableState = TableLayerState{};
    dbc.tableState.hostProgram = hostProgramName();
    dbc.autocommit = SQL_AUTOCOMMIT_ON;
    dbc.txnIsolation = kSessionIsolation;
    dbc.dataSourceName = dsn.empty() ? " " : dsn;
}

// A TIMEOUT value, when one is given, becomes the connection timeout.
MsgNo takeTimeout(DriverConnection& dbc, const std::string& text) {
    if (text.empty()) return kMsgNone;
    std::uint32_t seconds = 0;
    if (!parseTimeoutSeconds(text, seconds)) return kMsgInvalidConnectString;
    dbc.connectionTimeout = seconds;
    return kMsgNone;
}

SessionRequest sessionRequest(const DriverConnection& dbc, std::string user, std::string password,
                              std::string server) {
    SessionRequest request{std::move(user), std::move(password), std::move(server)};
    request.loginTimeout = dbc.loginTimeout;
    request.connectionTimeout = dbc.connectionTimeout;
    return request;
}

}  // namespace

SQLRETURN kelvra::connectDataSource(DriverConnection& dbc, const std::string& dsn, std::string user,
                                    std::string password) {
    if (connected(dbc)) return finish(dbc.diag, kMsgConnectionInUse);
    if (user.empty()) user = readDataSourceValue(dsn, "UID");
    if (password.empty()) password = readDataSourceValue(dsn, "PWD");
    if (const MsgNo rc = takeTimeout(dbc, readDataSourceValue(dsn, "TIMEOUT"))) {
        return finish(dbc.diag, rc);
    }
    SessionRequest request = sessionRequest(dbc, std::move(user), std::move(password),
                                            readDataSourceValue(dsn, "QUICKBASESERVER"));
    request.useServerRequest = !readDataSourceValue(dsn, "WINHTTP").empty();
    request.useMta = toUpperAscii(readDataSourceValue(dsn, "THREADMODEL")) == "MTA";
    endSession(dbc.session);
    auto session = startSession(request, dbc.diag);
    if (!session) return SQL_ERROR;
    attach(dbc, std::move(session), dsn);
    return SQL_SUCCESS;
}

namespace {

void fillFromDataSource(ConnectionValues& v) {
    if (v.dsn.empty()) return;
    for (auto [field, key] :
         {std::pair{&ConnectionValues::uid, "UID"}, std::pair{&ConnectionValues::pwd, "PWD"},
          std::pair{&ConnectionValues::server, "QUICKBASESERVER"},
          std::pair{&ConnectionValues::winHttp, "WINHTTP"},
          std::pair{&ConnectionValues::threadModel, "THREADMODEL"},
          std::pair{&ConnectionValues::timeout, "TIMEOUT"}}) {
        if ((v.*field).empty()) v.*field = readDataSourceValue(v.dsn, key);
    }
}

void fillSessionOptions(QbSession& session, const ConnectionValues& v) {
    session.options["THREADMODEL"] = v.threadModel;
    for (auto [key, value] : {std::pair{"USEFIDS", &v.useFids}, std::pair{"TEXTNULL", &v.textNull},
                              std::pair{"WINHTTP", &v.winHttp}, std::pair{"FILE", &v.file}}) {
        if (!value->empty()) session.options[key] = *value;
    }
}

}  // namespace

SQLRETURN kelvra::connectWithString(DriverConnection& dbc, const std::string& in,
                                    const TextOut& out, SQLUSMALLINT completion) {
    if (connected(dbc)) return finish(dbc.diag, kMsgConnectionInUse);
    ConnectionValues v;
    if (const MsgNo rc = parseConnectionString(in, v); rc != kMsgNone) return finish(dbc.diag, rc);
    fillFromDataSource(v);
    if (const MsgNo rc = takeTimeout(dbc, v.timeout)) return finish(dbc.diag, rc);

    const bool missing = v.uid.empty() || v.pwd.empty();
    if (completion == SQL_DRIVER_PROMPT || (missing && completion != SQL_DRIVER_NOPROMPT)) {
        LoginValues login{v.uid, v.pwd, v.server};
        switch (promptForLogin(login)) {
            case PromptResult::kCancelled:
                return SQL_NO_DATA;
            case PromptResult::kOk:
                v.uid = login.user;
                v.pwd = login.password;
                v.server = login.server;
                break;
            case PromptResult::kUnavailable:
                break;  // no terminal: go on with what we have
        }
    }

    endSession(dbc.session);
    SessionRequest request = sessionRequest(dbc, v.uid, v.pwd, v.server);
    request.useMta = v.threadModel == "MTA";
    request.useServerRequest = !v.winHttp.empty();
    auto session = startSession(request, dbc.diag);
    if (!session) return SQL_ERROR;
    fillSessionOptions(*session, v);
    attach(dbc, std::move(session), v.dsn);

    const std::string result = buildOutConnectionString(v);
    // The full length is reported whatever the buffer, a buffer of size 0 included.
    return finish(dbc.diag, putText(out, result));
}

namespace {

// What the table layer still holds for QuickBase. Changes of an open transaction refuse the
// disconnect (the client commits or rolls back first); in auto-commit they are what a failed
// flush kept, sent once more. Then the imports saved until the connection's end. A failure
// keeps the connection, and what was not sent with it, and names the tables and counts.
MsgNo sendWrites(DriverConnection& dbc) {
    if (!dbc.session) return kMsgNone;
    if (hasPendingWrites(dbc.tableState)) {
        if (dbc.autocommit != SQL_AUTOCOMMIT_ON) return kMsgTransactionActive;
        if (flushWrites(*dbc.session, dbc.tableState) != kMsgNone)
            return postTableError(dbc.diag, dbc.tableState.error);
    }
    if (sendSavedImports(*dbc.session, dbc.tableState) != kMsgNone)
        return postTableError(dbc.diag, dbc.tableState.error);
    return kMsgNone;
}

MsgNo disconnect(DriverConnection& dbc) {
    dbc.explicitDescriptors.clear();
    for (auto& stmt : dbc.statements) {
        // Statements stop using the descriptors just freed.
        stmt->ard = &stmt->implicitArd;
        stmt->apd = &stmt->implicitApd;
    }
    for (auto& stmt : dbc.statements) {
        if (const MsgNo rc = closeStatement(*stmt); rc != kMsgNone) {
            dbc.diag.number = stmt->diag.number;
            dbc.diag.detail = stmt->diag.detail;
            return rc;
        }
    }
    if (const MsgNo rc = sendWrites(dbc); rc != kMsgNone) return rc;
    // The session stays with the handle until it connects again or is freed.
    dbc.dataSourceName.clear();
    return kMsgNone;
}

}  // namespace

SQLRETURN kelvra::browseConnectCall(SQLHDBC hdbc) {
    return runEntry<DriverConnection>(hdbc, [](DriverConnection& dbc) {
        postMessage(dbc.diag, kMsgNotSupported, "SQLBrowseConnect");
        return SQL_ERROR;
    });
}

KELVRA_EXPORT SQLRETURN SQLConnect(SQLHDBC hdbc, SQLCHAR* szDSN, SQLSMALLINT cbDSN, SQLCHAR* szUID,
                                   SQLSMALLINT cbUID, SQLCHAR* szAuthStr, SQLSMALLINT cbAuthStr) {
    return connectCall(hdbc, szDSN, cbDSN, szUID, cbUID, szAuthStr, cbAuthStr);
}

KELVRA_EXPORT SQLRETURN SQLDriverConnect(SQLHDBC hdbc, SQLHWND /*hwnd*/, SQLCHAR* szConnStrIn,
                                         SQLSMALLINT cbConnStrIn, SQLCHAR* szConnStrOut,
                                         SQLSMALLINT cbConnStrOutMax, SQLSMALLINT* pcbConnStrOut,
                                         SQLUSMALLINT fDriverCompletion) {
    return driverConnectCall(hdbc, szConnStrIn, cbConnStrIn, szConnStrOut, cbConnStrOutMax,
                             pcbConnStrOut, fDriverCompletion);
}

KELVRA_EXPORT SQLRETURN SQLDisconnect(SQLHDBC hdbc) {
    return runEntry<DriverConnection>(
        hdbc, [](DriverConnection& dbc) { return finish(dbc.diag, disconnect(dbc)); });
}

KELVRA_EXPORT SQLRETURN SQLBrowseConnect(SQLHDBC hdbc, SQLCHAR* /*szConnStrIn*/,
                                         SQLSMALLINT /*cbConnStrIn*/, SQLCHAR* /*szConnStrOut*/,
                                         SQLSMALLINT /*cbConnStrOutMax*/,
                                         SQLSMALLINT* /*pcbConnStrOut*/) {
    return browseConnectCall(hdbc);
}
