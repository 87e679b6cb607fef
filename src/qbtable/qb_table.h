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

#include "qbtable/qb_field.h"
#include "qbtable/table_schema.h"
#include "qbtable/table_state.h"
#include "resources/messages.h"

namespace kelvra {

class QbSession;

// The special tables: the connection's configuration and the newest record id.
inline constexpr std::string_view kConfigTableName = "KELVRA CONNECTION CONFIG";
inline constexpr std::string_view kIdentityTableName = "@@identity";

class QbTable {
  public:
    QbTable(QbSession& session, TableLayerState& state, std::shared_ptr<const TableSchema> schema);
    QbTable(const QbTable&) = delete;
    QbTable& operator=(const QbTable&) = delete;

    QbSession& session() const { return session_; }
    TableLayerState& state() const { return state_; }
    const TableSchema& schema() const { return *schema_; }
    // The key text: the DBID, or the name of a special table.
    const std::string& dbid() const { return schema_->key; }
    // The table's own name from its schema (empty for the special tables).
    const std::string& name() const { return schema_->name; }
    DbidState& shared() const;

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

  private:
    friend class TableOpener;

    QbSession& session_;
    TableLayerState& state_;
    std::shared_ptr<const TableSchema> schema_;
    bool textNull_ = false;
};

// Opens the table named `sqlTableName`: a special table's exact name; or a name whose last
// blank-separated word is the DBID (the catalog's "Name DBID"), optionally written with
// "DBID" in front; or a name whose part after the last "_" is the DBID; or the name of a
// QuickBase database. An application DBID is refused with 999 and a text naming its child
// tables. On success `table` receives the new table; on failure it is left as it was.
MsgNo openTable(QbSession& session, TableLayerState& state, std::string_view sqlTableName,
                std::unique_ptr<QbTable>& table);

}  // namespace kelvra
