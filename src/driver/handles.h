// The four handle objects the driver hands to the driver manager, how they are allocated,
// chained to their owners and freed, and the lock each call holds. Handles are plain pointers to
// these objects; the driver manager passes only live handles of the right kind.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <forward_list>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "connect/session_start.h"
#include "driver/diagnostics.h"
#include "driver/result_set.h"
#include "engine/scalar_functions.h"
#include "qbapi/qb_session.h"
#include "qbtable/table_state.h"
#include "sql/parse_tree.h"

namespace kelvra {

struct DriverEnvironment;
struct DriverConnection;
struct DriverStatement;

// One binding of a descriptor: a bound column (record 0 is the bookmark column) or parameter.
struct DescRecord {
    std::uint16_t recordNumber = 0;
    std::int16_t cType = SQL_C_DEFAULT;
    std::int16_t precision = 0;
    std::int16_t scale = 0;
    SQLPOINTER dataPtr = nullptr;
    SQLLEN octetLength = 0;
    SQLLEN* octetLengthPtr = nullptr;
    SQLLEN* indicatorPtr = nullptr;
};

struct DriverDescriptor {
    const std::int16_t handleType = SQL_HANDLE_DESC;
    DiagRecord diag;
    std::int16_t allocType;  // SQL_DESC_ALLOC_AUTO (implicit) or SQL_DESC_ALLOC_USER
    DriverConnection* connection;
    std::int32_t bindType = SQL_BIND_BY_COLUMN;
    // SQL_DESC_ARRAY_SIZE: the rows of a rowset (ARD) or the parameter sets of an execution
    // (APD); 1 on the implementation descriptors.
    SQLULEN arraySize = 1;
    SQLULEN* rowsProcessedPtr = nullptr;
    SQLUSMALLINT* arrayStatusPtr = nullptr;
    SQLLEN zeroOffset = 0;
    // Points at zeroOffset while the application has set none, so that readers can always add
    // the offset; reported as null then.
    SQLLEN* bindOffsetPtr = &zeroOffset;
    // The statement an implementation descriptor (IRD, IPD) describes; null for application
    // descriptors.
    DriverStatement* owner = nullptr;
    std::forward_list<DescRecord> records;  // newest first

    DriverDescriptor(std::int16_t allocType, DriverConnection* connection, DriverStatement* owner);
    DriverDescriptor(const DriverDescriptor&) = delete;
    DriverDescriptor& operator=(const DriverDescriptor&) = delete;

    DescRecord* findRecord(std::uint16_t number);
    DescRecord& record(std::uint16_t number);  // finds or creates
};

// Statement states.
enum StmtState : std::int32_t {
    kStateNoResult = 0,
    kStateTables = 1,
    kStateColumns = 2,
    kStateStatistics = 3,
    kStateSpecialColumns = 4,
    kStateTypeInfo = 5,
    kStatePrimaryKeys = 6,
    kStateForeignKeys = 7,
    kStateCursor = 8,
};

constexpr std::uint16_t kNoPositionedRow = 65535;
// The current row number of a row added by a positioned operation.
constexpr std::int32_t kAddedRow = -3;

// A positioned change in progress (SQLSetPos, SQLBulkOperations): the rows it acts on and, for
// the row being written, the values of its bound columns. A value sent at execution waits,
// marked pending, until SQLParamData asks for it.
struct PositionedChange {
    enum class Kind : std::uint8_t { Update, Add, Delete, Refresh, Fetch };
    struct Row {
        SQLULEN arrayRow = 0;        // 0-based row of the bound arrays
        std::int64_t resultRow = 0;  // 1-based row of the result; 0 for a row to add
    };
    struct ColumnValue {
        std::uint16_t record = 0;  // the bound column
        std::uint16_t column = 0;  // the table's column it shows
        TypeDesc type;
        Value value;
        bool pending = false;
    };
    Kind kind = Kind::Update;
    std::vector<Row> rows;
    std::size_t next = 0;    // the row being worked on
    bool collected = false;  // its values are read from the bound buffers
    std::vector<ColumnValue> values;
    std::size_t filling = 0;  // the value SQLPutData fills (values.size(): none)
    SQLLEN offset = -1;       // SQLPutData's position in it; -1 before the first piece
    SQLUSMALLINT* statuses = nullptr;
    std::size_t changed = 0;  // rows done
    std::size_t failed = 0;
    bool warned = false;
    DiagRecord firstFailure;
};

struct DriverStatement {
    const std::int16_t handleType = SQL_HANDLE_STMT;
    std::string cursorName;
    DiagRecord diag;
    DriverConnection* connection;
    std::int32_t dynamicFunctionCode = 0;
    std::int32_t state = kStateNoResult;
    std::uint32_t metadataId;
    bool prepared = false;
    bool needData = false;
    std::int32_t dataAtExecNode = -1;  // current data-at-execution parameter
    SQLLEN dataAtExecOffset = -1;      // -1: the current one has not started
    SQLLEN diagRowCount = 0;
    SQLLEN rowCount = -1;
    SQLULEN maxRows = 0;
    std::uint16_t getDataColumn = 0;  // piecewise SQLGetData
    SQLLEN getDataOffset = 0;
    bool getDataDone = false;  // the get-data column's value was wholly returned
    DriverDescriptor ird;
    DriverDescriptor implicitArd;
    DriverDescriptor* ard;
    DriverDescriptor ipd;
    DriverDescriptor implicitApd;
    DriverDescriptor* apd;
    std::uint16_t concurrency;
    std::uint16_t cursorType;
    std::uint16_t retrieveData;
    std::uint16_t useBookmarks;
    std::int32_t currentRow = 0;  // 1-based row of the last fetch
    // The rowset of a block cursor: its first row (1-based; 0 before the first row, -1 after
    // the last), the rows it holds, the rowset size the fetch used, and the row within it that
    // SQLGetData reads (1-based; SQLSetPos(SQL_POSITION) chooses it). One row, row 1, unless the
    // client asked for larger rowsets.
    std::int64_t rowsetStart = 0;
    SQLULEN rowsetRows = 0;
    SQLULEN rowsetUsed = 1;
    SQLULEN rowsetRow = 1;
    SQLULEN rowsetSize = 1;      // SQL_ROWSET_SIZE: the rowset of SQLExtendedFetch
    std::int64_t resultRow = 0;  // the row the result stands on (0: none)
    SQLUSMALLINT* operationRowStatus = nullptr;
    // The row a positioned change addresses while it waits for data at execution (1-based).
    std::uint16_t positionedRow = kNoPositionedRow;
    PositionedChange change;
    std::uint32_t enableAutoIpd = SQL_TRUE;
    SQLPOINTER fetchBookmarkPtr = nullptr;
    bool oqStatement = false;  // INSERTOQ, UPDATEOQ, DELETEOQ
    std::string remainingBatch;
    // The prepared statement: its tree (empty when there is none), whether it is the identity
    // query answered with one row, and the description of a prepared SELECT's result.
    ParseTree tree;
    bool passThrough = false;
    std::vector<ResultColumn> preparedColumns;
    // The open result: a query's cursor (state 8), or the rows of a catalog function or
    // SQLGetTypeInfo (states 1 to 7).
    std::unique_ptr<ResultSet> result;

    explicit DriverStatement(DriverConnection* connection);
    DriverStatement(const DriverStatement&) = delete;
    DriverStatement& operator=(const DriverStatement&) = delete;

    // Resets the data-at-execution, piecewise get-data and positioning state.
    void resetExecutionState();
};

// Statement options held at connection level as defaults for new statements.
enum class StatementDefault { kConcurrency, kCursorType, kRetrieveData, kUseBookmarks };

struct DriverConnection {
    const std::int16_t handleType = SQL_HANDLE_DBC;
    // Held by every call on the connection, its statements and its descriptors (EntryLock).
    std::mutex mutex;
    std::list<std::unique_ptr<DriverStatement>> statements;            // newest first
    std::list<std::unique_ptr<DriverDescriptor>> explicitDescriptors;  // newest first
    DiagRecord diag;
    DriverEnvironment* environment;
    std::string dataSourceName;  // empty while not connected; a single blank: no DSN
    // From a successful connect until the next connect on the handle or its freeing.
    std::unique_ptr<QbSession> session;
    // The session's granted tables and, for the catalog listing, its applications with their
    // tables: fetched once per session.
    std::vector<DbInfo> grantedTables;
    std::vector<DbInfo> grantedApplications;
    // What the session's tables share: field maps, the last table error, the host program.
    TableLayerState tableState;
    RandState rand;  // RAND's generator: one sequence per connection
    std::string currentCatalog;
    std::int32_t txnIsolation = -1;
    std::uint32_t autocommit = 0;
    std::int32_t defaultBindType = SQL_BIND_BY_COLUMN;
    std::uint16_t defaultConcurrency = SQL_CONCUR_READ_ONLY;
    std::uint16_t defaultCursorType = SQL_CURSOR_FORWARD_ONLY;
    std::uint16_t defaultRetrieveData = SQL_RD_ON;
    std::uint16_t defaultUseBookmarks = SQL_UB_OFF;
    std::uint32_t metadataId = SQL_FALSE;
    // Seconds (0: none): SQL_ATTR_LOGIN_TIMEOUT for the login, SQL_ATTR_CONNECTION_TIMEOUT (or
    // the TIMEOUT keyword) for each request to QuickBase.
    std::uint32_t loginTimeout = 0;
    std::uint32_t connectionTimeout = kDefaultConnectionTimeout;

    explicit DriverConnection(DriverEnvironment* environment) : environment(environment) {}
    DriverConnection(const DriverConnection&) = delete;
    DriverConnection& operator=(const DriverConnection&) = delete;
};

struct DriverEnvironment {
    const std::int16_t handleType = SQL_HANDLE_ENV;
    // Held by the calls on the environment and while its list of connections changes.
    std::mutex mutex;
    std::list<std::unique_ptr<DriverConnection>> connections;  // newest first
    std::int32_t odbcVersion = SQL_OV_ODBC3;
    DiagRecord diag;
};

// The lock a call holds from entry to return: the connection's for a connection, a statement or
// a descriptor (so one connection serves one call at a time, whatever thread makes it), the
// environment's for an environment. The mutex lives in the connection or the environment, never
// in a statement or descriptor, so a call that frees one of those still unlocks a live mutex.
// Locks are taken in the order environment, then connection. Entry points take it through
// runEntry (entry.h).
class EntryLock {
  public:
    explicit EntryLock(DriverEnvironment& env) : lock_(env.mutex) {}
    explicit EntryLock(DriverConnection& dbc) : lock_(dbc.mutex) {}
    explicit EntryLock(DriverStatement& stmt) : lock_(stmt.connection->mutex) {}
    explicit EntryLock(DriverDescriptor& desc) : lock_(desc.connection->mutex) {}

  private:
    std::lock_guard<std::mutex> lock_;
};

// The ODBC version (2 or 3) that selects SQLSTATEs and type codes for a handle.
int odbcVersionOf(const DriverEnvironment& env);
int odbcVersionOf(const DriverConnection& dbc);
int odbcVersionOf(const DriverStatement& stmt);
int odbcVersionOf(const DriverDescriptor& desc);

// Allocation. Each new handle is linked at the front of its owner's list.
DriverEnvironment* allocEnvironment();
DriverConnection* allocConnection(DriverEnvironment& env);
DriverStatement* allocStatement(DriverConnection& dbc);
DriverDescriptor* allocDescriptor(DriverConnection& dbc);

// Closing and freeing. Those that can fail return a message number, posted on the handle
// given, and leave that handle alive.
MsgNo closeStatement(DriverStatement& stmt);
MsgNo unbindColumns(DriverStatement& stmt);
MsgNo resetParams(DriverStatement& stmt);
// Closes, unbinds, resets and frees the statement. A failing close is answered by a second
// close; the statement is freed in any case.
void dropStatement(DriverStatement& stmt) noexcept;
// Drops the connection's statements under its lock, ends its session and frees it. The caller
// holds the environment's lock.
void freeConnection(DriverConnection& dbc) noexcept;
// Frees every connection and the environment; takes the environment's lock itself (and lets go
// of it before the environment, which holds it, is freed).
void freeEnvironment(DriverEnvironment& env) noexcept;
// Refuses (1081) a statement's own descriptor; frees an explicit one.
MsgNo freeDescriptor(DriverDescriptor& desc);

// Sets a statement default at connection level; every existing statement takes it too.
void setStatementDefault(DriverConnection& dbc, StatementDefault which, std::uint16_t value);

}  // namespace kelvra
