// The table layer's state of one connection. The connection owns it beside its QbSession and
// hands both to every table-layer operation: the QuickBase client knows nothing of tables, so
// what tables share per connection lives here rather than in the session.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "qbtable/column_read.h"
#include "qbtable/record_cache.h"
#include "qbtable/table_schema.h"
#include "resources/messages.h"

namespace kelvra {

class QbSession;

// The table layer's own message numbers (entries of the message table).
enum : MsgNo {
    kMsgNoData = 1,  // no more records
    kMsgTruncatedData = 2,
    kMsgTableNotSupported = 3,
    kMsgTableError = 4,  // among others: a field of a base type the driver does not know
    kMsgNoMSysConf = 5,
};

// The outcome of the last table-layer operation, as the driver frame's postSessionError takes
// it. For 999 (kMsgSession) `code` and `detail` are QuickBase's error code and the text for the
// client. Other numbers are entries of the message table; `detail` then fills an entry's "%s"
// (the session's text of a timeout, for instance) and may be empty.
struct TableError {
    MsgNo number = kMsgNone;
    std::string code;
    std::string detail;
    // The name is no table (an application): a listing leaves it out, where any other failure
    // to reach or read QuickBase fails the listing.
    bool notATable = false;
};

// CSV lines held back until the connection ends (SAVE_WRITES_UNTIL_CONNECTION_CLOSE), for one
// field list, in parts of at most an import's size.
struct SavedImport {
    std::string clist;
    std::vector<std::string> parts;
    std::vector<std::size_t> partRecords;  // the records of each part
};

// The changes of one DBID that QuickBase has not received. Changed values live in the cached
// records (marked pending); new records have temporary ids -2, -3, ... (-1 is how a keyset row
// marks a table on its NULL row).
struct PendingWrites {
    std::int32_t nextTemporaryId = -2;
    std::vector<std::int32_t> writeSet;        // saved records to send, in the order saved
    std::set<std::int32_t> deleted;            // records to purge
    std::unordered_set<std::int32_t> touched;  // records changed and not yet saved
    std::vector<SavedImport> saved;

    bool any() const { return !writeSet.empty() || !deleted.empty() || !touched.empty(); }
};

// What every QbTable of one DBID shares for the life of the connection.
struct DbidState {
    // The mapped columns, kept from the first open.
    std::shared_ptr<const TableSchema> schema;
    // The records read, with the fields every query of this DBID asks for.
    RecordCache records;
    PendingWrites writes;
};

struct TableLayerState {
    // Tells one connection's state from the next (connecting again replaces the state): a
    // QbTable that outlives its state finds its DBID's entry anew.
    std::uint64_t serial = nextSerial();
    TableError error;
    // The host program's executable name, lower-cased (set at connect). Under "sqlservr.exe"
    // long text columns are offered as VARCHAR(8000) rather than LONGVARCHAR.
    std::string hostProgram;
    // By key text: the DBID, or the name of a special table.
    std::map<std::string, DbidState, std::less<>> tables;
    // The DBID each table name opened so far resolved to.
    std::map<std::string, std::string, std::less<>> resolvedNames;
    // User names by the number part of their ids, from the replies that named them.
    UserNames userNames;
    // The record made last by an import on this connection (its DBID empty while none).
    std::string newestDbid;
    std::int32_t newestRecordId = 0;
    // The text of the connection's newest QuickBase error (LASTERROR): kept until the next one.
    std::string lastQuickBaseError;

    bool sqlServerHost() const;
    static std::uint64_t nextSerial();

    void clearError() { error = TableError{}; }
    // Records a message-table error; returns its number.
    MsgNo fail(MsgNo number);
    // Records a QuickBase error (999) with the given text for the client, the session's code
    // with it; the session's own message number instead when it has one other than 999.
    MsgNo failWithText(const QbSession& session, std::string detail);
    // Records the session's current error; returns 999, or the session's own message number
    // (1001 when it ran out of memory, 1091 or 1092 when a request took too long).
    MsgNo failFromSession(const QbSession& session);
    // Records the refusal of an application named where a table belongs, with the given text.
    MsgNo refuseApplication(const QbSession& session, std::string detail);
};

// Runs an operation of the table layer so that no exception leaves it: running out of memory
// records 1001, anything else an internal error.
template <typename Body>
MsgNo guardTableCall(TableLayerState& state, Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return state.fail(kMsgMemory);
    } catch (...) {
        return state.fail(kMsgInternalError);
    }
}

// guardTableCall for an operation that starts with no error left from before (writes, flushes).
template <typename Body>
MsgNo freshTableCall(TableLayerState& state, Body&& body) noexcept {
    state.clearError();
    return guardTableCall(state, body);
}

}  // namespace kelvra
