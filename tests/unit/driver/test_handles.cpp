// Handle allocation, chaining and freeing through the exported entry points.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <algorithm>

#include "driver/entry.h"
#include "driver/handles.h"

using namespace kelvra;

namespace {

template <typename T>
bool contains(const std::list<std::unique_ptr<T>>& list, const void* item) {
    return std::any_of(list.begin(), list.end(),
                       [item](const std::unique_ptr<T>& p) { return p.get() == item; });
}

struct Handles {
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;

    Handles() {
        EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env), SQL_SUCCESS);
        EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
    }
    ~Handles() {
        if (env != nullptr) SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
    DriverEnvironment& environment() { return *static_cast<DriverEnvironment*>(env); }
    DriverConnection& connection() { return *static_cast<DriverConnection*>(dbc); }
    DriverStatement& newStatement() {
        SQLHSTMT stmt = nullptr;
        EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
        return *static_cast<DriverStatement*>(stmt);
    }
};

TEST(Handles, NewEnvironmentIsOdbc3WhicheverCallMadeIt) {
    SQLHENV a = nullptr;
    SQLHENV b = nullptr;
    ASSERT_EQ(SQLAllocEnv(&a), SQL_SUCCESS);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &b), SQL_SUCCESS);
    EXPECT_EQ(static_cast<DriverEnvironment*>(a)->odbcVersion, SQL_OV_ODBC3);
    EXPECT_EQ(static_cast<DriverEnvironment*>(b)->odbcVersion, SQL_OV_ODBC3);
    EXPECT_EQ(static_cast<DriverEnvironment*>(a)->handleType, SQL_HANDLE_ENV);
    EXPECT_EQ(SQLFreeEnv(a), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, b), SQL_SUCCESS);
}

TEST(Handles, ChildrenAreChainedNewestFirstAndFreedInAnyOrder) {
    Handles h;
    SQLHDBC dbc2 = nullptr;
    ASSERT_EQ(SQLAllocConnect(h.env, &dbc2), SQL_SUCCESS);
    auto& env = h.environment();
    ASSERT_EQ(env.connections.size(), 2u);
    EXPECT_EQ(env.connections.front().get(), dbc2);
    EXPECT_EQ(static_cast<DriverConnection*>(dbc2)->environment, &env);

    SQLHSTMT s1 = nullptr, s2 = nullptr, s3 = nullptr;
    SQLHDESC d1 = nullptr;
    ASSERT_EQ(SQLAllocStmt(h.dbc, &s1), SQL_SUCCESS);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, h.dbc, &s2), SQL_SUCCESS);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, h.dbc, &d1), SQL_SUCCESS);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc2, &s3), SQL_SUCCESS);
    auto& dbc = h.connection();
    EXPECT_EQ(dbc.statements.front().get(), s2);
    EXPECT_EQ(dbc.statements.size(), 2u);
    auto* desc = static_cast<DriverDescriptor*>(d1);
    EXPECT_EQ(desc->allocType, SQL_DESC_ALLOC_USER);
    EXPECT_EQ(desc->owner, nullptr);
    EXPECT_EQ(desc->connection, &dbc);

    // Statement first, then a connection with a live statement, then the environment with
    // the remaining connection, its statement and descriptor.
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, s1), SQL_SUCCESS);
    EXPECT_FALSE(contains(dbc.statements, s1));
    EXPECT_EQ(dbc.statements.size(), 1u);
    EXPECT_EQ(SQLFreeConnect(dbc2), SQL_SUCCESS);
    EXPECT_EQ(env.connections.size(), 1u);
    EXPECT_FALSE(contains(env.connections, dbc2));
    EXPECT_EQ(SQLFreeEnv(h.env), SQL_SUCCESS);
    h.env = nullptr;  // sanitizers report any leak or use after free
}

TEST(Handles, StatementDescriptorsAndDefaults) {
    Handles h;
    auto& dbc = h.connection();
    dbc.defaultBindType = 24;
    setStatementDefault(dbc, StatementDefault::kConcurrency, SQL_CONCUR_LOCK);
    auto& stmt = h.newStatement();
    EXPECT_EQ(stmt.concurrency, SQL_CONCUR_LOCK);
    EXPECT_EQ(stmt.cursorType, SQL_CURSOR_FORWARD_ONLY);
    EXPECT_EQ(stmt.retrieveData, SQL_RD_ON);
    EXPECT_EQ(stmt.useBookmarks, SQL_UB_OFF);
    EXPECT_EQ(stmt.implicitArd.bindType, 24);
    EXPECT_EQ(stmt.implicitApd.bindType, 0);
    EXPECT_EQ(stmt.ird.owner, &stmt);
    EXPECT_EQ(stmt.ipd.owner, &stmt);
    EXPECT_EQ(stmt.implicitArd.owner, nullptr);
    EXPECT_EQ(stmt.ird.allocType, SQL_DESC_ALLOC_AUTO);
    EXPECT_EQ(stmt.ard, &stmt.implicitArd);
    EXPECT_EQ(stmt.apd, &stmt.implicitApd);
    EXPECT_EQ(stmt.ard->bindOffsetPtr, &stmt.ard->zeroOffset);
    EXPECT_EQ(stmt.rowCount, -1);
    EXPECT_EQ(stmt.positionedRow, kNoPositionedRow);

    auto& other = h.newStatement();
    setStatementDefault(dbc, StatementDefault::kCursorType, SQL_CURSOR_STATIC);
    setStatementDefault(dbc, StatementDefault::kRetrieveData, SQL_RD_OFF);
    setStatementDefault(dbc, StatementDefault::kUseBookmarks, SQL_UB_VARIABLE);
    for (DriverStatement* s : {&stmt, &other}) {
        EXPECT_EQ(s->cursorType, SQL_CURSOR_STATIC);
        EXPECT_EQ(s->retrieveData, SQL_RD_OFF);
        EXPECT_EQ(s->useBookmarks, SQL_UB_VARIABLE);
        EXPECT_EQ(s->concurrency, SQL_CONCUR_LOCK);
    }
    EXPECT_EQ(dbc.defaultUseBookmarks, SQL_UB_VARIABLE);
}

TEST(Handles, FreeStmtOptions) {
    Handles h;
    auto& stmt = h.newStatement();
    stmt.ard->record(0).dataPtr = &stmt;  // bookmark column
    stmt.ard->record(1);
    stmt.ard->record(2);
    stmt.apd->record(1);
    stmt.state = kStateCursor;
    stmt.currentRow = 5;
    stmt.getDataColumn = 2;

    // An unknown option changes nothing.
    EXPECT_EQ(SQLFreeStmt(&stmt, 4), SQL_SUCCESS);
    EXPECT_EQ(stmt.state, kStateCursor);

    EXPECT_EQ(SQLFreeStmt(&stmt, SQL_UNBIND), SQL_SUCCESS);
    ASSERT_NE(stmt.ard->findRecord(0), nullptr);
    EXPECT_EQ(stmt.ard->findRecord(0)->dataPtr, &stmt);
    EXPECT_EQ(stmt.ard->findRecord(1), nullptr);
    EXPECT_EQ(stmt.ard->findRecord(2), nullptr);

    EXPECT_EQ(SQLFreeStmt(&stmt, SQL_CLOSE), SQL_SUCCESS);
    EXPECT_EQ(stmt.state, kStateNoResult);
    EXPECT_EQ(stmt.currentRow, 0);
    EXPECT_EQ(stmt.getDataColumn, 0);
    EXPECT_EQ(SQLFreeStmt(&stmt, SQL_CLOSE), SQL_SUCCESS);  // closing in state 0 is fine

    // Parameters cannot be reset while data at execution is outstanding.
    stmt.needData = true;
    EXPECT_EQ(SQLFreeStmt(&stmt, SQL_RESET_PARAMS), SQL_ERROR);
    EXPECT_EQ(stmt.diag.number, kMsgInvalidCursorState);
    EXPECT_NE(stmt.apd->findRecord(1), nullptr);
    stmt.needData = false;
    EXPECT_EQ(SQLFreeStmt(&stmt, SQL_RESET_PARAMS), SQL_SUCCESS);
    EXPECT_EQ(stmt.diag.number, kMsgNone);  // the call cleared the slot on entry
    EXPECT_EQ(stmt.apd->findRecord(1), nullptr);
}

TEST(Handles, DropResetsTheRowsFetchedCounter) {
    Handles h;
    auto& stmt = h.newStatement();
    SQLULEN fetched = 7;
    stmt.ird.rowsProcessedPtr = &fetched;
    stmt.ard->record(0);
    EXPECT_EQ(SQLFreeStmt(&stmt, SQL_DROP), SQL_SUCCESS);
    EXPECT_EQ(fetched, static_cast<SQLULEN>(-1));
    EXPECT_TRUE(h.connection().statements.empty());
}

TEST(Handles, Descriptors) {
    Handles h;
    auto& stmt = h.newStatement();
    auto& keeper = h.newStatement();
    SQLHDESC hdesc = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, h.dbc, &hdesc), SQL_SUCCESS);
    auto* desc = static_cast<DriverDescriptor*>(hdesc);
    stmt.ard = desc;
    stmt.apd = desc;
    keeper.ard = desc;

    // A statement's own descriptor cannot be freed on its own.
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, &stmt.implicitArd), SQL_ERROR);
    EXPECT_EQ(stmt.implicitArd.diag.number, kMsgAutoDescriptor);

    // Freeing the statement puts its own descriptors back first; the explicit one lives on.
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, &stmt), SQL_SUCCESS);
    EXPECT_TRUE(contains(h.connection().explicitDescriptors, desc));

    // Freeing the explicit descriptor makes its users fall back to their implicit ones.
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, hdesc), SQL_SUCCESS);
    EXPECT_EQ(keeper.ard, &keeper.implicitArd);
    EXPECT_TRUE(h.connection().explicitDescriptors.empty());
}

TEST(Handles, UnknownHandleTypes) {
    Handles h;
    SQLHANDLE out = &h;
    EXPECT_EQ(SQLAllocHandle(7, h.env, &out), SQL_ERROR);
    EXPECT_EQ(SQLFreeHandle(0, h.env), SQL_ERROR);
    EXPECT_EQ(SQLFreeHandle(5, h.env), SQL_ERROR);
    EXPECT_EQ(h.environment().connections.size(), 1u);
}

TEST(Handles, EveryCallClearsItsHandlesDiagnostic) {
    Handles h;
    postMessage(h.environment().diag, kMsgInternalError);
    postMessage(h.connection().diag, kMsgInternalError);
    SQLHDBC dbc2 = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, h.env, &dbc2), SQL_SUCCESS);
    EXPECT_FALSE(h.environment().diag.pending());
    auto& stmt = h.newStatement();
    EXPECT_FALSE(h.connection().diag.pending());
    postMessage(stmt.diag, kMsgInternalError);
    stmt.diagRowCount = 3;
    EXPECT_EQ(SQLFreeStmt(&stmt, SQL_UNBIND), SQL_SUCCESS);
    EXPECT_FALSE(stmt.diag.pending());
    EXPECT_EQ(stmt.diagRowCount, 0);
}

TEST(Entry, ReturnCodesAndTheGuard) {
    EXPECT_EQ(returnCodeFor(0), SQL_SUCCESS);
    for (MsgNo info : {1002, 1069, 1063, 1064})
        EXPECT_EQ(returnCodeFor(info), SQL_SUCCESS_WITH_INFO);
    for (MsgNo error : {999, 1001, 1007, 1038, 1062}) EXPECT_EQ(returnCodeFor(error), SQL_ERROR);

    DiagRecord diag;
    EXPECT_EQ(guarded(diag, []() -> SQLRETURN { throw std::bad_alloc(); }), SQL_ERROR);
    EXPECT_EQ(diag.number, kMsgMemory);
    EXPECT_EQ(guarded(diag, []() -> SQLRETURN { throw 42; }), SQL_ERROR);
    EXPECT_EQ(diag.number, kMsgInternalError);

    // An operation that posted its own message with an argument keeps it.
    postMessage(diag, kMsgColumnNotFound, "NAME");
    EXPECT_EQ(finish(diag, kMsgColumnNotFound), SQL_ERROR);
    EXPECT_EQ(diag.argument, "NAME");
    EXPECT_EQ(finish(diag, kMsgOptionChanged), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(diag.number, kMsgOptionChanged);
}

}  // namespace
