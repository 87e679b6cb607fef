// The QuickBase table layer's chief header: QbTable, an opened QuickBase table shown as an SQL
// table whose columns are its fields (QbField), and openTable, which resolves an SQL table name
// to a DBID, reads the table's schema and maps its fields to columns.
//
// Table-layer operations take the connection's QbSession and its TableLayerState (see
// table_state.h) and return a message number: 0 on success; 999 with the QuickBase code and the
// text in state.error; otherwise a message-table number (4 for a field of an unknown base
// type, 1001 when memory ran out). No exception leaves them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <span>

#include "convert/value.h"
#include "qbtable/qb_field.h"
#include "qbtable/restriction.h"
#include "qbtable/table_schema.h"
#include "qbtable/table_state.h"
#include "resources/messages.h"

namespace kelvra {

class QbSession;
struct TableScan;

// The special tables: the connection's configuration and the newest record id.
inline constexpr std::string_view kConfigTableName = "KELVRA CONNECTION CONFIG";
inline constexpr std::string_view kIdentityTableName = "@@identity";

class QbTable {
  public:
    QbTable(QbSession& session, TableLayerState& state, std::shared_ptr<const TableSchema> schema);
    ~QbTable();
    QbTable(const QbTable&) = delete;
    QbTable& operator=(const QbTable&) = delete;

    QbSession& session() const { return session_; }
    TableLayerState& state() const { return state_; }
    const TableSchema& schema() const { return *schema_; }
    // The key text: the DBID, or the name of a special table.
    const std::string& dbid() const { return schema_->key; }
    // The table's own name from its schema (empty for the special tables).
    const std::string& name() const { return schema_->name; }
    DbidState& shared() const {
        if (sharedSerial_ != state_.serial) bindShared();
        return *shared_;
    }

    std::uint16_t columnCount() const { return static_cast<std::uint16_t>(schema_->fields.size()); }
    const QbField& field(std::size_t position) const { return schema_->fields.at(position); }
    // The position of the column of a field id; -1 when the table has none.
    int positionOfFid(std::int32_t fid) const { return schema_->positionOfFid(fid); }

    // The key field and the fields that hold the roles; 0 when the schema names none.
    std::int32_t keyFid() const { return schema_->keyFid; }
    const std::string& keyColumnName() const { return schema_->keyColumnName; }
    std::int32_t createdFid() const { return schema_->createdFid; }
    std::int32_t modifiedFid() const { return schema_->modifiedFid; }
    std::int32_t modifierFid() const { return schema_->modifierFid; }
    std::int32_t ownerFid() const { return schema_->ownerFid; }
    // With the option TEXTNULL an empty text reads as NULL.
    bool textNull() const { return textNull_; }

    // Scans. The executor evaluates its whole WHERE clause on every record a scan delivers:
    // restrictions only narrow what is asked of QuickBase, and any of them may go unsent.
    //
    // The restrictions of the next scans: what can be sent safely is kept (with Or, all or
    // nothing). 0.
    MsgNo setRestrictions(std::span<const Restriction> list, RestrictionJoin join);
    // The order of the next scans; none is QuickBase's record id order. 0, or 3 when the table
    // cannot deliver that order (a special table, a file column, changes QuickBase does not
    // know of yet): the executor then sorts itself.
    MsgNo setSortOrder(std::span<const SortColumn> columns);
    // Lists the records of a scan and stands before the first. A scan identical to the
    // previous one (same query and order, no records made or dropped since) sends nothing; a
    // rescan that changes only the value of one equality walks the records already read
    // (keyed mode). forwardOnly: records already passed may leave the cache.
    MsgNo startScan(bool forwardOnly);
    // 0, or 1 (kMsgNoData) after the last record.
    MsgNo nextRecord();
    // The current record's id; 0 when the scan stands on none.
    std::int32_t currentRecordId() const;
    // Stands on the record with that id: one of the scan's, or another record of the table
    // (a sorted result's rows keep record ids from many scans). 0, or 1 for no id.
    MsgNo positionOnRecord(std::int32_t recordId);
    // The current record's value of a column as `type` (see column_read.h); records are read
    // from QuickBase in pages when first needed. A file attachment read as BINARY is downloaded,
    // whole. A record that QuickBase no longer has reads as NULL.
    MsgNo readColumn(std::uint16_t column, ValueType type, Value& out);
    // Forgets the cached values of the current record, unless it holds changes not yet sent, so
    // that the next read asks QuickBase for it again (a refresh of the row).
    void rereadCurrentRecord();
    // Makes every query of this DBID ask for the column's field.
    void requestColumn(std::uint16_t column);

    // Writes. Changes stay in the connection's write cache (write_cache.h), where scans of the
    // DBID see them, until they are flushed or discarded.
    //
    // A new record with a temporary id (-2, -3, ...), appended to the scan and made current.
    MsgNo newRecord();
    // A value of the current record: 0, or 999 for a read-only column. The configuration table
    // takes a parameter name (column 0) and then its value (column 1) into the options.
    MsgNo putColumnValue(std::uint16_t column, const Value& value);
    // The current record joins the write set; one with a new file attachment is written at
    // once (API_AddRecord or API_EditRecord, the file's content or a local file by FILE).
    MsgNo saveRecord();
    // The current record is to be purged; a new one is simply forgotten.
    MsgNo deleteRecord();

  private:
    friend class TableOpener;
    friend class ScanRunner;
    friend class RecordWriter;

    QbSession& session_;
    TableLayerState& state_;
    std::shared_ptr<const TableSchema> schema_;
    void bindShared() const;
    // The connection's state of this DBID: map entries are never erased, but the whole state
    // is replaced when the handle connects again.
    mutable DbidState* shared_ = nullptr;
    mutable std::uint64_t sharedSerial_ = 0;
    bool textNull_ = false;
    std::unique_ptr<TableScan> scan_;
    bool filePending_ = false;     // a file field of the current record got a value
    std::string configParameter_;  // the configuration table: the name written last
};

// Opens the table named `sqlTableName`: a special table's exact name; or a name whose last
// blank-separated word is the DBID (the catalog's "Name DBID"), optionally written with
// "DBID" in front; or a name whose part after the last "_" is the DBID; or the name of a
// QuickBase database. An application DBID is refused with 999 and a text naming its child
// tables. On success `table` receives the new table; on failure it is left as it was.
MsgNo openTable(QbSession& session, TableLayerState& state, std::string_view sqlTableName,
                std::unique_ptr<QbTable>& table);

}  // namespace kelvra
