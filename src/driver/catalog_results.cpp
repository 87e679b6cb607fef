#include "driver/catalog_results.h"

#include <sqlext.h>

#include <algorithm>
#include <cstdlib>

#include "convert/type_codes.h"
#include "convert/type_table.h"
#include "engine/match_like.h"
#include "qbtable/qb_table.h"
#include "resources/ascii.h"
#include "resources/utf8.h"

namespace kelvra {
namespace {

constexpr size_t kMaxName = 127;
constexpr char kPatternEscape = '\\';

// A name cut to its first 127 characters.
std::string cut(std::string_view text) {
    return std::string(text.substr(0, utf8CharPrefix(text, kMaxName)));
}

// A QuickBase name as SQL shows it: "." is not allowed in an SQL name.
std::string sqlSafe(std::string_view name) {
    std::string out(name);
    for (char& c : out) {
        if (c == '.') c = '_';
    }
    return out;
}

// "Name DBID", the name the driver opens the table by.
std::string sqlTableName(const DbInfo& db) {
    return cut(sqlSafe(db.dbname) + " " + db.dbid);
}

// The application part of a granted name ("Application:Table").
std::string catalogText(const DbInfo& db) {
    const std::string name = sqlSafe(db.dbname);
    return name.substr(0, name.find(':'));
}

std::string unescapePattern(std::string_view pattern) {
    std::string out;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == kPatternEscape && i + 1 < pattern.size()) ++i;
        out += pattern[i];
    }
    return out;
}

// Whether a name matches a pattern argument; with the metadata-id flag the argument is a name,
// not a pattern.
bool matches(const DriverStatement& stmt, std::string_view name, const CatalogName& pattern) {
    if (!pattern.given || pattern.text.empty()) return true;
    if (stmt.metadataId == SQL_TRUE) return equalsIgnoreCase(name, unescapePattern(pattern.text));
    return matchLike(name, pattern.text, kPatternEscape, false);
}

MsgNo postSession(DriverStatement& stmt) {
    const QbSession& session = *stmt.connection->session;
    postSessionError(stmt.diag, session.msgNo(), session.errcode(), session.errdetail());
    return stmt.diag.number;
}

MsgNo requireSession(DriverStatement& stmt) {
    return stmt.connection->session ? kMsgNone : kMsgUnableToConnect;
}

// The connection's granted tables (or applications with their tables), fetched once.
MsgNo grantedList(DriverStatement& stmt, bool applications, const std::vector<DbInfo>*& list) {
    if (const MsgNo rc = requireSession(stmt)) return rc;
    DriverConnection& dbc = *stmt.connection;
    std::vector<DbInfo>& cached = applications ? dbc.grantedApplications : dbc.grantedTables;
    dbc.session->grantedDbs(applications, cached);
    if (!dbc.session->ok()) return postSession(stmt);
    list = &cached;
    return kMsgNone;
}

// Opens a table of a listing. A name that is no table (an application) is left out: 0 with
// `table` null. Any other failure fails the listing (the message is posted).
MsgNo openListed(DriverStatement& stmt, std::string_view name, std::unique_ptr<QbTable>& table) {
    DriverConnection& dbc = *stmt.connection;
    table.reset();
    if (openTable(*dbc.session, dbc.tableState, name, table) == kMsgNone) return kMsgNone;
    if (dbc.tableState.error.notATable) return kMsgNone;
    return postTableError(stmt.diag, dbc.tableState.error);
}

MsgNo openNamed(DriverStatement& stmt, std::string_view name, std::unique_ptr<QbTable>& table) {
    if (const MsgNo rc = requireSession(stmt)) return rc;
    DriverConnection& dbc = *stmt.connection;
    const MsgNo rc = openTable(*dbc.session, dbc.tableState, cut(name), table);
    return rc == kMsgNone ? rc : postTableError(stmt.diag, dbc.tableState.error);
}

// The SQL name and catalog text of an opened table, from the granted list when it names it.
struct TableNames {
    std::string sqlName;
    Value catalog;
};

MsgNo namesOf(DriverStatement& stmt, const QbTable& table, TableNames& names) {
    const std::vector<DbInfo>* list = nullptr;
    if (const MsgNo rc = grantedList(stmt, false, list)) return rc;
    for (const DbInfo& db : *list) {
        if (db.dbid == table.dbid()) {
            names = {sqlTableName(db), textValue(catalogText(db))};
            return kMsgNone;
        }
    }
    names = {cut(sqlSafe(table.name()) + " " + table.dbid()), nullText()};
    return kMsgNone;
}

// The table argument of SQLTables and SQLColumns is a pattern over the listed names ("Name
// DBID"). One that matches none is taken for a name the per-table calls take (a bare DBID,
// "DBID..." or "..._DBID", a one-table application's name), unless it holds an unescaped "%":
// that asked for a search, and the search found nothing. With the metadata-id flag the argument
// is a name in any case.
bool mayBeNameForm(const DriverStatement& stmt, const CatalogName& pattern) {
    if (!pattern.given || pattern.text.empty()) return false;
    if (stmt.metadataId == SQL_TRUE) return true;
    for (size_t i = 0; i < pattern.text.size(); ++i) {
        if (pattern.text[i] == kPatternEscape) {
            ++i;
        } else if (pattern.text[i] == '%') {
            return false;
        }
    }
    return true;
}

// The QuickBase table a name form names, or null (no diagnostic) when it names none: a name
// that cannot be opened is left out of a listing, as a pattern that matches nothing.
std::unique_ptr<QbTable> openNameForm(DriverStatement& stmt, const CatalogName& pattern) {
    DriverConnection& dbc = *stmt.connection;
    std::unique_ptr<QbTable> table;
    const std::string name = unescapePattern(pattern.text);
    if (openTable(*dbc.session, dbc.tableState, cut(name), table) != kMsgNone ||
        table->dbid() == kConfigTableName || table->dbid() == kIdentityTableName) {
        table.reset();
    }
    dbc.tableState.clearError();
    return table;
}

bool isCharacterOrBinary(SQLSMALLINT t) {
    switch (t) {
        case SQL_CHAR:
        case SQL_VARCHAR:
        case SQL_LONGVARCHAR:
        case SQL_BINARY:
        case SQL_VARBINARY:
        case SQL_LONGVARBINARY:
            return true;
        default:
            return false;
    }
}

// COLUMN_SIZE of SQLColumns (and PRECISION of SQLSpecialColumns).
std::int64_t columnSizeOf(const QbField& f) {
    switch (odbc2TypeCode(f.sqlType)) {
        case SQL_BIT:
            return 1;
        case SQL_TINYINT:
            return 3;
        case SQL_SMALLINT:
            return 5;
        case SQL_INTEGER:
            return 10;
        case SQL_REAL:
            return 7;
        case SQL_FLOAT:
        case SQL_DOUBLE:
            return 15;
        case SQL_DATE:
            return 10;
        case SQL_TIME:
            return 8;
        case SQL_TIMESTAMP:
            return 23;
        case SQL_BIGINT:
        case SQL_NUMERIC:
        case SQL_DECIMAL:
            return f.columnSize;
        default:
            return isCharacterOrBinary(f.sqlType) ? f.columnSize : 0;
    }
}

// BUFFER_LENGTH of SQLColumns (and LENGTH of SQLSpecialColumns).
std::int64_t bufferLengthOf(const QbField& f) {
    switch (odbc2TypeCode(f.sqlType)) {
        case SQL_BIT:
        case SQL_TINYINT:
            return 1;
        case SQL_SMALLINT:
            return 2;
        case SQL_INTEGER:
        case SQL_REAL:
            return 4;
        case SQL_FLOAT:
        case SQL_DOUBLE:
            return 8;
        case SQL_DATE:
        case SQL_TIME:
            return 6;
        case SQL_TIMESTAMP:
            return 16;
        case SQL_NUMERIC:
        case SQL_DECIMAL:
            return std::int64_t{f.columnSize} + 2;
        case SQL_BIGINT:
            return std::int64_t{f.columnSize} + 1;  // signed
        default:
            return isCharacterOrBinary(f.sqlType) ? f.columnSize : 0;
    }
}

Value typeNameOf(const QbField& f) {
    const TypeInfoRow* row = findTypeRow(f.sqlType);
    return row != nullptr ? textValue(row->name) : nullText();
}

// The key columns in key sequence order.
std::vector<const QbField*> keyColumns(const QbTable& table) {
    std::vector<const QbField*> keys;
    for (int seq = 1;; ++seq) {
        const QbField* found = nullptr;
        for (size_t i = 0; i < table.columnCount() && found == nullptr; ++i) {
            if (table.field(i).keySeq == seq) found = &table.field(i);
        }
        if (found == nullptr) return keys;
        keys.push_back(found);
    }
}

ResultColumn nameColumn(std::string name, bool nullable) {
    return varcharColumn(std::move(name), 128, nullable);
}

std::vector<ResultColumn> tablesColumns() {
    return {nameColumn("TABLE_CAT", true), nameColumn("TABLE_SCHEM", true),
            nameColumn("TABLE_NAME", false), nameColumn("TABLE_TYPE", false),
            varcharColumn("REMARKS", 254, true)};
}

}  // namespace

MsgNo tablesResult(DriverStatement& stmt, const CatalogName& catalog, const CatalogName& schema,
                   const CatalogName& table, const CatalogName& tableType,
                   std::unique_ptr<RowsResult>& result) {
    result = std::make_unique<RowsResult>(tablesColumns());
    // Views and system tables: QuickBase has none.
    if (tableType.text == "'SYSTEM TABLE'" || tableType.text == "VIEW") return kMsgNone;
    const bool noSchemaOrTable = schema.text.empty() && table.text.empty();
    if (catalog.text.empty() && noSchemaOrTable && tableType.text == "%") {
        result->addRow({nullText(), nullText(), nullText(), textValue("TABLE"), nullText()});
        return kMsgNone;
    }
    const std::vector<DbInfo>* list = nullptr;
    if (catalog.text == "%" && noSchemaOrTable) {
        // The catalogs: the applications, each once.
        if (const MsgNo rc = grantedList(stmt, true, list)) return rc;
        std::vector<std::string> seen;
        for (const DbInfo& db : *list) {
            const std::string name = catalogText(db);
            if (std::find(seen.begin(), seen.end(), name) != seen.end()) continue;
            seen.push_back(name);
            result->addRow({textValue(name), nullText(), nullText(), textValue("TABLE"),
                            textValue("from QuickBase")});
        }
        return kMsgNone;
    }
    if (const MsgNo rc = grantedList(stmt, false, list)) return rc;
    const auto addRow = [&](Value catalogValue, std::string name) {
        result->addRow({std::move(catalogValue), nullText(), textValue(name), textValue("TABLE"),
                        textValue("from QuickBase")});
    };
    for (const DbInfo& db : *list) {
        const std::string name = sqlTableName(db);
        if (matches(stmt, name, table)) addRow(textValue(catalogText(db)), name);
    }
    if (result->rowCount() == 0 && mayBeNameForm(stmt, table)) {
        if (const auto named = openNameForm(stmt, table)) {
            TableNames names;
            if (const MsgNo rc = namesOf(stmt, *named, names)) return rc;
            addRow(names.catalog, names.sqlName);
        }
    }
    return kMsgNone;
}

MsgNo columnsResult(DriverStatement& stmt, const CatalogName& table, const CatalogName& column,
                    std::unique_ptr<RowsResult>& result) {
    result = std::make_unique<RowsResult>(std::vector<ResultColumn>{
        nameColumn("TABLE_CAT", true), nameColumn("TABLE_SCHEM", true),
        nameColumn("TABLE_NAME", false), nameColumn("COLUMN_NAME", false),
        smallintColumn("DATA_TYPE", false), nameColumn("TYPE_NAME", false),
        integerColumn("COLUMN_SIZE", true), integerColumn("BUFFER_LENGTH", true),
        smallintColumn("DECIMAL_DIGITS", true), smallintColumn("NUM_PREC_RADIX", true),
        smallintColumn("NULLABLE", false), varcharColumn("REMARKS", 254, true),
        varcharColumn("COLUMN_DEF", 254, true), smallintColumn("SQL_DATA_TYPE", false),
        smallintColumn("SQL_DATETIME_SUB", true), integerColumn("CHAR_OCTET_LENGTH", true),
        integerColumn("ORDINAL_POSITION", false), varcharColumn("IS_NULLABLE", 254, true)});
    const std::vector<DbInfo>* list = nullptr;
    if (const MsgNo rc = grantedList(stmt, false, list)) return rc;
    const int version = odbcVersionOf(stmt);
    DriverConnection& dbc = *stmt.connection;
    const auto addRows = [&](const Value& catalogValue, const std::string& tableName,
                             const QbTable& opened) {
        for (size_t i = 0; i < opened.columnCount(); ++i) {
            const QbField& f = opened.field(i);
            if (!matches(stmt, f.name, column)) continue;
            const SQLSMALLINT code = odbc2TypeCode(f.sqlType);
            const SQLSMALLINT type = mapDateTimeCode(f.sqlType, version);
            const bool datetime = code == SQL_DATE || code == SQL_TIME || code == SQL_TIMESTAMP;
            const bool numeric = code == SQL_TINYINT || code == SQL_BIGINT || code == SQL_NUMERIC ||
                                 code == SQL_DECIMAL || code == SQL_INTEGER ||
                                 code == SQL_SMALLINT || code == SQL_FLOAT || code == SQL_REAL ||
                                 code == SQL_DOUBLE;
            result->addRow(
                {catalogValue, nullText(), textValue(tableName), textValue(f.name),
                 smallValue(type), typeNameOf(f), smallValue(columnSizeOf(f)),
                 smallValue(bufferLengthOf(f)), smallValue(f.decimalDigits),
                 numeric ? smallValue(10) : nullNumber(), smallValue(f.nullable), nullText(),
                 textValue(f.defaultText), smallValue(datetime ? SQL_DATETIME : type),
                 datetime ? smallValue(code - SQL_DATE + SQL_CODE_DATE) : nullNumber(),
                 isCharacterOrBinary(f.sqlType) ? smallValue(f.columnSize) : nullNumber(),
                 smallValue(static_cast<std::int64_t>(i) + 1),
                 textValue(f.nullable == SQL_NO_NULLS ? "NO" : "YES")});
        }
    };
    bool matched = false;
    for (const DbInfo& db : *list) {
        const std::string tableName = sqlTableName(db);
        if (!matches(stmt, tableName, table)) continue;
        matched = true;
        std::unique_ptr<QbTable> opened;
        if (const MsgNo rc = openListed(stmt, tableName, opened)) return rc;
        if (opened) addRows(textValue(catalogText(db)), tableName, *opened);
    }
    dbc.tableState.clearError();
    if (!matched && mayBeNameForm(stmt, table)) {
        if (const auto named = openNameForm(stmt, table)) {
            TableNames names;
            if (const MsgNo rc = namesOf(stmt, *named, names)) return rc;
            addRows(names.catalog, names.sqlName, *named);
        }
    }
    return kMsgNone;
}

MsgNo statisticsResult(DriverStatement& stmt, const CatalogName& table,
                       std::unique_ptr<RowsResult>& result) {
    std::unique_ptr<QbTable> opened;
    if (const MsgNo rc = openNamed(stmt, table.text, opened)) return rc;
    result = std::make_unique<RowsResult>(std::vector<ResultColumn>{
        nameColumn("TABLE_CAT", true), nameColumn("TABLE_SCHEM", true),
        nameColumn("TABLE_NAME", false), smallintColumn("NON_UNIQUE", true),
        nameColumn("INDEX_QUALIFIER", true), nameColumn("INDEX_NAME", true),
        smallintColumn("TYPE", false), smallintColumn("ORDINAL_POSITION", true),
        nameColumn("COLUMN_NAME", true), charColumn("ASC_OR_DESC", 1, true),
        integerColumn("CARDINALITY", true), integerColumn("PAGES", true),
        nameColumn("FILTER_CONDITION", true)});
    TableNames names;
    if (const MsgNo rc = namesOf(stmt, *opened, names)) return rc;
    result->addRow({names.catalog, nullText(), textValue(names.sqlName), nullNumber(), nullText(),
                    nullText(), smallValue(SQL_TABLE_STAT), nullNumber(), nullText(), nullText(),
                    nullNumber(), nullNumber(), nullText()});
    std::int64_t seq = 0;
    for (const QbField* key : keyColumns(*opened)) {
        result->addRow({names.catalog, nullText(), textValue(names.sqlName), smallValue(0),
                        nullText(), textValue("PrimaryKey"), smallValue(SQL_INDEX_OTHER),
                        smallValue(++seq), textValue(key->name), textValue("A"), nullNumber(),
                        nullNumber(), nullText()});
    }
    return kMsgNone;
}

MsgNo specialColumnsResult(DriverStatement& stmt, SQLUSMALLINT identifierType,
                           const CatalogName& table, std::unique_ptr<RowsResult>& result) {
    if (identifierType != SQL_BEST_ROWID && identifierType != SQL_ROWVER) {
        postMessage(stmt.diag, kMsgNotSupported,
                    "identifier type " + std::to_string(identifierType));
        return kMsgNotSupported;
    }
    result = std::make_unique<RowsResult>(
        std::vector<ResultColumn>{smallintColumn("SCOPE", true), nameColumn("COLUMNNAME", false),
                                  smallintColumn("TYPE", false), nameColumn("TYPENAME", false),
                                  integerColumn("PRECISION", true), integerColumn("LENGTH", true),
                                  smallintColumn("SCALE", true), smallintColumn("PSEUDO", true)});
    // QuickBase keeps no row versions.
    if (identifierType == SQL_ROWVER) return kMsgNone;
    std::unique_ptr<QbTable> opened;
    if (const MsgNo rc = openNamed(stmt, table.text, opened)) return rc;
    for (const QbField* key : keyColumns(*opened)) {
        result->addRow({smallValue(SQL_SCOPE_SESSION), textValue(key->name),
                        smallValue(mapDateTimeCode(key->sqlType, odbcVersionOf(stmt))),
                        typeNameOf(*key), smallValue(columnSizeOf(*key)),
                        smallValue(bufferLengthOf(*key)), smallValue(key->decimalDigits),
                        smallValue(SQL_PC_UNKNOWN)});
    }
    return kMsgNone;
}

MsgNo primaryKeysResult(DriverStatement& stmt, const CatalogName& table,
                        std::unique_ptr<RowsResult>& result) {
    std::unique_ptr<QbTable> opened;
    if (const MsgNo rc = openNamed(stmt, table.text, opened)) return rc;
    result = std::make_unique<RowsResult>(std::vector<ResultColumn>{
        nameColumn("TABLE_CAT", true), nameColumn("TABLE_SCHEM", true),
        nameColumn("TABLE_NAME", false), nameColumn("COLUMN_NAME", false),
        smallintColumn("KEY_SEQ", false), varcharColumn("PK_NAME", 254, true)});
    TableNames names;
    if (const MsgNo rc = namesOf(stmt, *opened, names)) return rc;
    const Value pkName =
        opened->keyColumnName().empty() ? nullText() : textValue(opened->keyColumnName());
    std::int64_t seq = 0;
    for (const QbField* key : keyColumns(*opened)) {
        result->addRow({names.catalog, nullText(), textValue(names.sqlName), textValue(key->name),
                        smallValue(++seq), pkName});
    }
    return kMsgNone;
}

namespace {

// One relationship: the parent's report link to the child table names the child's reference
// field (target_fid) and the parent field it holds (source_fid, normally the record id).
struct Relationship {
    std::string childDbid;
    std::int32_t childFid;
    std::int32_t parentFid;
};

MsgNo relationshipsOf(DriverStatement& stmt, const QbTable& parent,
                      std::vector<Relationship>& out) {
    QbSession& session = *stmt.connection->session;
    const XmlDocument* schema = session.getSchema(parent.dbid());
    if (schema == nullptr) return postSession(stmt);
    for (const XmlNode& link : schema->nodes("/*/table/fields/field[@field_type='dblink']")) {
        Relationship r{link.text("target_dbid"), std::atoi(link.text("target_fid").c_str()),
                       std::atoi(link.text("source_fid").c_str())};
        if (!r.childDbid.empty() && r.childFid > 0 && r.parentFid > 0) out.push_back(r);
    }
    return kMsgNone;
}

// The tables of the application a table belongs to (none when QuickBase names no application).
MsgNo siblingDbids(DriverStatement& stmt, const QbTable& table, std::vector<std::string>& out) {
    QbSession& session = *stmt.connection->session;
    const std::string app = session.parentDbid(table.dbid());
    if (!session.ok()) return postSession(stmt);
    if (app.empty()) return kMsgNone;
    const XmlDocument* schema = session.getSchema(app);
    if (schema == nullptr) return postSession(stmt);
    for (const XmlNode& child : schema->nodes("/*/table/chdbids/chdbid"))
        out.push_back(child.text());
    return kMsgNone;
}

}  // namespace

MsgNo foreignKeysResult(DriverStatement& stmt, const CatalogName& pkTable,
                        const CatalogName& fkTable, std::unique_ptr<RowsResult>& result) {
    result = std::make_unique<RowsResult>(std::vector<ResultColumn>{
        nameColumn("PKTABLE_CAT", true), nameColumn("PKTABLE_SCHEM", true),
        nameColumn("PKTABLE_NAME", false), nameColumn("PKCOLUMN_NAME", false),
        nameColumn("FKTABLE_CAT", true), nameColumn("FKTABLE_SCHEM", true),
        nameColumn("FKTABLE_NAME", false), nameColumn("FKCOLUMN_NAME", false),
        smallintColumn("KEY_SEQ", false), smallintColumn("UPDATE_RULE", true),
        smallintColumn("DELETE_RULE", true), varcharColumn("FK_NAME", 254, true),
        varcharColumn("PK_NAME", 254, true)});
    const bool hasPk = !pkTable.text.empty();
    const bool hasFk = !fkTable.text.empty();
    if (!hasPk && !hasFk) return kMsgNone;
    DriverConnection& dbc = *stmt.connection;

    std::unique_ptr<QbTable> fk;
    if (hasFk) {
        if (const MsgNo rc = openNamed(stmt, fkTable.text, fk)) return rc;
    }
    // The parents to look at: the one given, or every table of the child's application.
    std::vector<std::unique_ptr<QbTable>> parents;
    if (hasPk) {
        parents.emplace_back();
        if (const MsgNo rc = openNamed(stmt, pkTable.text, parents.back())) return rc;
    } else {
        std::vector<std::string> siblings;
        if (const MsgNo rc = siblingDbids(stmt, *fk, siblings)) return rc;
        for (const std::string& dbid : siblings) {
            std::unique_ptr<QbTable> parent;
            if (const MsgNo rc = openListed(stmt, dbid, parent)) return rc;
            if (parent) parents.push_back(std::move(parent));
        }
    }
    for (const auto& parent : parents) {
        TableNames parentNames{cut(pkTable.text), nullText()};
        if (!hasPk) {
            if (const MsgNo rc = namesOf(stmt, *parent, parentNames)) return rc;
        }
        std::vector<Relationship> relationships;
        if (const MsgNo rc = relationshipsOf(stmt, *parent, relationships)) return rc;
        for (const Relationship& r : relationships) {
            if (hasFk && r.childDbid != fk->dbid()) continue;
            std::unique_ptr<QbTable> child;
            if (!hasFk) {
                if (const MsgNo rc = openListed(stmt, r.childDbid, child)) return rc;
                if (!child) continue;
            }
            const QbTable& childTable = hasFk ? *fk : *child;
            const int parentPos = parent->positionOfFid(r.parentFid);
            const int childPos = childTable.positionOfFid(r.childFid);
            if (parentPos < 0 || childPos < 0) continue;
            TableNames childNames{cut(fkTable.text), nullText()};
            if (!hasFk) {
                if (const MsgNo rc = namesOf(stmt, childTable, childNames)) return rc;
            }
            result->addRow({nullText(), nullText(), textValue(parentNames.sqlName),
                            textValue(parent->field(size_t(parentPos)).name), nullText(),
                            nullText(), textValue(childNames.sqlName),
                            textValue(childTable.field(size_t(childPos)).name), smallValue(1),
                            nullNumber(), nullNumber(), nullText(), nullText()});
        }
    }
    dbc.tableState.clearError();
    return kMsgNone;
}

}  // namespace kelvra
