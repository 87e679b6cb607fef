#include "driver/statement_prepare.h"

#include <sqlext.h>

#include "driver/query_columns.h"
#include "resources/ascii.h"
#include "resources/utf8.h"
#include "sql/analysis.h"
#include "sql/parser.h"

namespace kelvra {
namespace {

// The probe some clients send for a server configuration table.
constexpr std::string_view kMSysConfProbe = "SELECT Config, nValue FROM MSysConf";
constexpr std::string_view kIdentityQuery = "select @@identity";
constexpr std::string_view kIdentityReplacement = "SELECT * FROM \"@@identity\"";
constexpr std::size_t kMaxCursorName = 18;

MsgNo failPrepare(DriverStatement& stmt, MsgNo rc) {
    releasePrepared(stmt);
    return rc;
}

}  // namespace

void releasePrepared(DriverStatement& stmt) {
    stmt.tree.clear();
    stmt.prepared = false;
    stmt.passThrough = false;
    stmt.preparedColumns.clear();
}

std::vector<NodeIndex> parameterNodes(const DriverStatement& stmt) {
    std::vector<NodeIndex> nodes;
    if (stmt.tree.empty()) return nodes;
    for (NodeIndex p = stmt.tree.root().firstParameter; p != kNoNode;
         p = stmt.tree.fields<ParameterFields>(p).next) {
        nodes.push_back(p);
    }
    return nodes;
}

MsgNo prepareStatement(DriverStatement& stmt, std::string_view text) {
    if (stmt.state != kStateNoResult || stmt.needData) {
        postMessage(stmt.diag, kMsgInvalidCursorState);
        return kMsgInvalidCursorState;
    }
    releasePrepared(stmt);
    stmt.resetExecutionState();
    stmt.rowCount = -1;
    if (stmt.ird.rowsProcessedPtr != nullptr) {
        *stmt.ird.rowsProcessedPtr = static_cast<SQLULEN>(-1);
    }
    DriverConnection& dbc = *stmt.connection;
    if (!dbc.session) {
        postMessage(stmt.diag, kMsgUnableToConnect);
        return kMsgUnableToConnect;
    }

    // The statements answered before parsing.
    if (text == kMSysConfProbe) {
        postMessage(stmt.diag, kMsgNoMSysConf);
        return kMsgNoMSysConf;
    }
    if (equalsIgnoreCase(text, kIdentityQuery)) {
        text = kIdentityReplacement;
        stmt.passThrough = true;
    }

    StatementFacts facts;
    if (const MsgNo rc = ParseStatement(text, stmt.tree, facts)) {
        postMessage(stmt.diag, rc, facts.argument);
        return failPrepare(stmt, rc);
    }
    stmt.oqStatement = facts.openQuery;
    stmt.remainingBatch = std::move(facts.remainingBatch);

    dbc.tableState.clearError();
    AnalysisContext context{*dbc.session, dbc.tableState};
    context.odbcVersion = odbcVersionOf(stmt);
    context.userNameLength = dbc.session->username.size();
    context.forwardOnly = stmt.cursorType == SQL_CURSOR_FORWARD_ONLY;
    std::string argument;
    if (const MsgNo rc = AnalyzeStatement(stmt.tree, context, argument)) {
        if (dbc.tableState.error.number == rc) {
            postTableError(stmt.diag, dbc.tableState.error);
        } else {
            postMessage(stmt.diag, rc, argument);
        }
        return failPrepare(stmt, rc);
    }
    for (NodeIndex p : parameterNodes(stmt)) {
        if (stmt.tree.node(p).type.valueType == ValueType::None) {
            postMessage(stmt.diag, kMsgParamInSelectList);
            return failPrepare(stmt, kMsgParamInSelectList);
        }
    }
    const NodeIndex statement = stmt.tree.root().statement;
    if (stmt.tree.node(statement).kind == NodeKind::Select) {
        ensureCursorName(stmt);
        stmt.preparedColumns = describeSelect(stmt.tree, statement);
    }
    stmt.prepared = true;
    return kMsgNone;
}

void ensureCursorName(DriverStatement& stmt) {
    for (unsigned n = 0; stmt.cursorName.empty(); ++n) {
        setCursorName(stmt, "SQL_CUR_" + std::to_string(n));
    }
}

MsgNo setCursorName(DriverStatement& stmt, std::string_view name) {
    if (name.empty() || utf8CharCount(name) > kMaxCursorName) return kMsgInvalidCursorName;
    for (const auto& other : stmt.connection->statements) {
        if (other.get() != &stmt && equalsIgnoreCase(other->cursorName, name)) {
            return kMsgCursorNameInUse;
        }
    }
    stmt.cursorName = name;
    return kMsgNone;
}

}  // namespace kelvra
