#include "driver/handles.h"

#include <algorithm>

#include "connect/session_start.h"
#include "driver/statement_prepare.h"

namespace kelvra {
namespace {

template <typename T>
void unlink(std::list<std::unique_ptr<T>>& list, const T* item) {
    list.remove_if([item](const std::unique_ptr<T>& p) { return p.get() == item; });
}

}  // namespace

DriverDescriptor::DriverDescriptor(std::int16_t allocType, DriverConnection* connection,
                                   DriverStatement* owner)
    : allocType(allocType), connection(connection), owner(owner) {}

DescRecord* DriverDescriptor::findRecord(std::uint16_t number) {
    for (DescRecord& r : records) {
        if (r.recordNumber == number) return &r;
    }
    return nullptr;
}

DescRecord& DriverDescriptor::record(std::uint16_t number) {
    if (DescRecord* r = findRecord(number)) return *r;
    records.emplace_front();
    records.front().recordNumber = number;
    return records.front();
}

DriverStatement::DriverStatement(DriverConnection* dbc)
    : connection(dbc),
      metadataId(dbc->metadataId),
      ird(SQL_DESC_ALLOC_AUTO, dbc, this),
      implicitArd(SQL_DESC_ALLOC_AUTO, dbc, nullptr),
      ard(&implicitArd),
      ipd(SQL_DESC_ALLOC_AUTO, dbc, this),
      implicitApd(SQL_DESC_ALLOC_AUTO, dbc, nullptr),
      apd(&implicitApd),
      concurrency(dbc->defaultConcurrency),
      cursorType(dbc->defaultCursorType),
      retrieveData(dbc->defaultRetrieveData),
      useBookmarks(dbc->defaultUseBookmarks) {
    implicitArd.bindType = dbc->defaultBindType;
}

void DriverStatement::resetExecutionState() {
    needData = false;
    dataAtExecNode = -1;
    dataAtExecOffset = -1;
    getDataColumn = 0;
    getDataOffset = 0;
    getDataDone = false;
    currentRow = 0;
    rowsetStart = 0;
    rowsetRows = 0;
    rowsetRow = 1;
    resultRow = 0;
    operationRowStatus = nullptr;
    positionedRow = kNoPositionedRow;
    change = PositionedChange{};
}

int odbcVersionOf(const DriverEnvironment& env) {
    return env.odbcVersion == SQL_OV_ODBC2 ? 2 : 3;
}
int odbcVersionOf(const DriverConnection& dbc) {
    return odbcVersionOf(*dbc.environment);
}
int odbcVersionOf(const DriverStatement& stmt) {
    return odbcVersionOf(*stmt.connection);
}
int odbcVersionOf(const DriverDescriptor& desc) {
    return odbcVersionOf(*desc.connection);
}

DriverEnvironment* allocEnvironment() {
    return new DriverEnvironment();
}

DriverConnection* allocConnection(DriverEnvironment& env) {
    env.connections.push_front(std::make_unique<DriverConnection>(&env));
    return env.connections.front().get();
}

DriverStatement* allocStatement(DriverConnection& dbc) {
    dbc.statements.push_front(std::make_unique<DriverStatement>(&dbc));
    return dbc.statements.front().get();
}

DriverDescriptor* allocDescriptor(DriverConnection& dbc) {
    dbc.explicitDescriptors.push_front(
        std::make_unique<DriverDescriptor>(SQL_DESC_ALLOC_USER, &dbc, nullptr));
    return dbc.explicitDescriptors.front().get();
}

MsgNo closeStatement(DriverStatement& stmt) {
    stmt.state = kStateNoResult;
    stmt.result.reset();
    stmt.resetExecutionState();
    // A statement executed directly keeps its tree only while its cursor is open.
    if (!stmt.prepared) releasePrepared(stmt);
    return kMsgNone;
}

MsgNo unbindColumns(DriverStatement& stmt) {
    // The bookmark column (record 0) stays bound.
    stmt.ard->records.remove_if([](const DescRecord& r) { return r.recordNumber != 0; });
    return kMsgNone;
}

MsgNo resetParams(DriverStatement& stmt) {
    if (stmt.needData) {
        postMessage(stmt.diag, kMsgInvalidCursorState);
        return kMsgInvalidCursorState;
    }
    stmt.apd->records.remove_if([](const DescRecord& r) { return r.recordNumber != 0; });
    return kMsgNone;
}

void dropStatement(DriverStatement& stmt) noexcept {
    if (closeStatement(stmt) != kMsgNone) {
        // The connection has no transaction to roll back: close once more and free regardless.
        stmt.state = kStateNoResult;
        closeStatement(stmt);
    }
    stmt.rowCount = -1;
    if (stmt.ird.rowsProcessedPtr != nullptr) {
        // The client's rows-fetched counter says no rows any more.
        *stmt.ird.rowsProcessedPtr = static_cast<SQLULEN>(-1);
    }
    stmt.resetExecutionState();
    stmt.ard->records.clear();
    stmt.apd->records.clear();
    DriverConnection& dbc = *stmt.connection;
    unlink(dbc.statements, &stmt);
}

void freeConnection(DriverConnection& dbc) noexcept {
    {
        EntryLock lock(dbc);
        dbc.diag.clear();
        while (!dbc.statements.empty()) dropStatement(*dbc.statements.front());
        endSession(dbc.session);
    }
    // Unlinking destroys the connection with its mutex, which must no longer be held.
    unlink(dbc.environment->connections, &dbc);
}

void freeEnvironment(DriverEnvironment& env) noexcept {
    {
        EntryLock lock(env);
        env.diag.clear();
        while (!env.connections.empty()) freeConnection(*env.connections.front());
    }
    delete &env;
}

MsgNo freeDescriptor(DriverDescriptor& desc) {
    if (desc.allocType != SQL_DESC_ALLOC_USER) {
        postMessage(desc.diag, kMsgAutoDescriptor);
        return kMsgAutoDescriptor;
    }
    DriverConnection& dbc = *desc.connection;
    for (auto& stmt : dbc.statements) {
        if (stmt->ard == &desc) stmt->ard = &stmt->implicitArd;
        if (stmt->apd == &desc) stmt->apd = &stmt->implicitApd;
    }
    unlink(dbc.explicitDescriptors, &desc);
    return kMsgNone;
}

void setStatementDefault(DriverConnection& dbc, StatementDefault which, std::uint16_t value) {
    std::uint16_t DriverConnection::*connectionField = &DriverConnection::defaultUseBookmarks;
    std::uint16_t DriverStatement::*statementField = &DriverStatement::useBookmarks;
    switch (which) {
        case StatementDefault::kConcurrency:
            connectionField = &DriverConnection::defaultConcurrency;
            statementField = &DriverStatement::concurrency;
            break;
        case StatementDefault::kCursorType:
            connectionField = &DriverConnection::defaultCursorType;
            statementField = &DriverStatement::cursorType;
            break;
        case StatementDefault::kRetrieveData:
            connectionField = &DriverConnection::defaultRetrieveData;
            statementField = &DriverStatement::retrieveData;
            break;
        case StatementDefault::kUseBookmarks:
            break;
    }
    dbc.*connectionField = value;
    for (auto& stmt : dbc.statements) (*stmt).*statementField = value;
}

}  // namespace kelvra
