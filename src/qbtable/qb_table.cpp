// Opening a table: the special tables, or a QuickBase table whose schema fields become columns.
#include "qbtable/qb_table.h"

#include <map>
#include <new>
#include <optional>
#include <utility>

#include "qbapi/qb_session.h"
#include "qbapi/xml_document.h"
#include "qbtable/dbid_resolution.h"
#include "qbtable/field_mapping.h"
#include "qbtable/table_scan.h"

namespace kelvra {
namespace {

// Relationship links and virtual URL fields (the links QuickBase draws) are no columns.
constexpr std::string_view kColumnFields =
    "/*/table/fields/field[@field_type != 'dblink' and "
    "not(@field_type = 'url' and @mode = 'virtual')]";
constexpr std::string_view kTextSizeVariable = "KELVRA_TEXT_SIZE_";
constexpr std::size_t kMaxColumns = 65535;

// The application's variables by name (the first of a name wins).
std::map<std::string, std::string, std::less<>> readVariables(const XmlDocument& schema) {
    std::map<std::string, std::string, std::less<>> variables;
    for (const XmlNode& var : schema.nodes("/*/table/variables/var")) {
        variables.emplace(var.attribute("name"), var.text());
    }
    return variables;
}

}  // namespace

// Builds the QbTable of an open; the state is written only once the table is complete.
class TableOpener {
  public:
    TableOpener(QbSession& session, TableLayerState& state) : session_(session), state_(state) {}

    MsgNo open(std::string_view sqlTableName, std::unique_ptr<QbTable>& out) {
        state_.clearError();
        std::shared_ptr<const TableSchema> schema;
        if (sqlTableName == kConfigTableName) {
            schema = configTable();
        } else if (sqlTableName == kIdentityTableName) {
            schema = identityTable();
        } else if (!(schema = mappedBefore(sqlTableName))) {
            std::string dbid;
            const XmlDocument* document = nullptr;
            if (MsgNo status = resolveTable(session_, state_, sqlTableName, dbid, document)) {
                return status;
            }
            schema = mappedFor(dbid);
            if (!schema) {
                auto built = std::make_shared<TableSchema>();
                built->key = std::move(dbid);
                if (MsgNo status = buildColumns(*document, *built)) return status;
                schema = std::move(built);
            }
            remember(sqlTableName, schema);
        }
        auto table = std::make_unique<QbTable>(session_, state_, std::move(schema));
        table->textNull_ = session_.options.contains("TEXTNULL");
        out = std::move(table);
        return kMsgNone;
    }

  private:
    // Bounds the names kept per connection; names are SQL text, so they could be many.
    static constexpr std::size_t kMaxResolvedNames = 4096;

    bool useFids() const { return session_.options.contains("USEFIDS"); }
    bool fileOption() const { return session_.options.contains("FILE"); }

    // The columns of a name opened before, when the options they were mapped with still hold.
    std::shared_ptr<const TableSchema> mappedBefore(std::string_view sqlTableName) const {
        auto name = state_.resolvedNames.find(sqlTableName);
        return name == state_.resolvedNames.end() ? nullptr : mappedFor(name->second);
    }

    std::shared_ptr<const TableSchema> mappedFor(std::string_view key) const {
        auto dbid = state_.tables.find(key);
        if (dbid == state_.tables.end() || !dbid->second.schema) return nullptr;
        const auto& schema = dbid->second.schema;
        if (schema->useFids != useFids() || schema->fileOption != fileOption()) return nullptr;
        return schema;
    }

    // The per-DBID state learns the columns and the fields every query needs.
    void remember(std::string_view sqlTableName, const std::shared_ptr<const TableSchema>& schema) {
        DbidState& shared = state_.tables[schema->key];
        shared.schema = schema;
        shared.records.requestField(kRecordIdFid);
        if (schema->keyFid != 0) shared.records.requestField(schema->keyFid);
        if (state_.resolvedNames.size() >= kMaxResolvedNames) state_.resolvedNames.clear();
        state_.resolvedNames.insert_or_assign(std::string(sqlTableName), schema->key);
    }

    static void indexPositions(TableSchema& schema) {
        for (std::size_t i = 0; i < schema.fields.size(); ++i) {
            schema.positions.emplace(schema.fields[i].fid, static_cast<std::uint16_t>(i));
        }
    }

    // The special tables are made anew at each open: they have no schema to map.
    static std::shared_ptr<const TableSchema> configTable() {
        auto schema = std::make_shared<TableSchema>();
        schema->key = kConfigTableName;
        schema->fields.resize(2);
        schema->fields[0].name = "qPARAMETER";
        schema->fields[1].name = "qVALUE";
        return schema;
    }

    static std::shared_ptr<const TableSchema> identityTable() {
        auto schema = std::make_shared<TableSchema>();
        schema->key = kIdentityTableName;
        QbField& id = schema->fields.emplace_back();
        id.name = "Newest Record ID";
        id.fid = kRecordIdFid;
        id.fidText = std::to_string(kRecordIdFid);
        id.sqlType = SQL_INTEGER;
        id.columnSize = 10;
        id.restrictRank = 1000;
        id.kind = FieldKind::RecordId;
        indexPositions(*schema);
        return schema;
    }

    MsgNo buildColumns(const XmlDocument& document, TableSchema& table) {
        table.name = document.text("/*/table/name");
        std::string keyText = document.text("/*/table/original/key_fid");
        if (keyText.empty())
            keyText = document.text("/*/table/fields/field[@field_type='recordid']/@id");
        table.keyFid = leadingInteger32(keyText);
        table.modifiedFid = roleFid(document, "modified");
        table.createdFid = roleFid(document, "created");
        table.modifierFid = roleFid(document, "modifier");
        table.ownerFid = roleFid(document, "owner");
        table.useFids = useFids();
        table.fileOption = fileOption();
        MappingOptions mapping{state_.sqlServerHost(), table.fileOption};
        auto variables = readVariables(document);
        std::string variablePrefix = std::string(kTextSizeVariable) + table.key + "_";

        std::vector<XmlNode> nodes = document.nodes(kColumnFields);
        // Columns are numbered in 16 bits; a larger schema keeps its first 65535 fields.
        if (nodes.size() > kMaxColumns) nodes.erase(nodes.begin() + kMaxColumns, nodes.end());
        table.fields.reserve(nodes.size());
        bool keyTaken = table.keyFid == 0;  // 0: the schema names no key
        for (const XmlNode& node : nodes) {
            QbField& field = table.fields.emplace_back();
            field.fidText = node.attribute("id");
            field.fid = leadingInteger32(field.fidText);
            if (table.useFids) {
                field.name = "fid" + field.fidText.substr(0, kMaxColumnNameLength - 3);
            } else {
                field.name = cleanLabel(node.text("label"));
            }
            // One key column only, should the schema repeat the key's id.
            bool isKey = !keyTaken && field.fid == table.keyFid;
            if (isKey) {
                keyTaken = true;
                field.keySeq = 1;
                table.keyColumnName = field.name;
            }
            std::string baseType = node.attribute("base_type");
            std::string fieldType = node.attribute("field_type");
            std::string role = node.attribute("role");
            std::string mode = node.attribute("mode");
            std::string numLines = node.text("num_lines");
            std::string decimalPlaces = node.text("decimal_places");
            FieldAttributes attributes{baseType, fieldType,     role,  mode,
                                       numLines, decimalPlaces, isKey, std::nullopt};
            auto variable = variables.find(variablePrefix + std::to_string(field.fid));
            if (variable != variables.end()) {
                attributes.textSizeVariable = leadingInteger(variable->second);
            }
            if (!mapFieldType(attributes, mapping, field)) return state_.fail(kMsgTableError);
        }
        indexPositions(table);
        return kMsgNone;
    }

    static std::int32_t roleFid(const XmlDocument& schema, std::string_view role) {
        return leadingInteger32(
            schema.text("/*/table/fields/field[@role='" + std::string(role) + "']/@id"));
    }

    QbSession& session_;
    TableLayerState& state_;
};

QbTable::QbTable(QbSession& session, TableLayerState& state,
                 std::shared_ptr<const TableSchema> schema)
    : session_(session), state_(state), schema_(std::move(schema)) {
    bindShared();
}

void QbTable::bindShared() const {
    shared_ = &state_.tables[schema_->key];
    sharedSerial_ = state_.serial;
}

MsgNo openTable(QbSession& session, TableLayerState& state, std::string_view sqlTableName,
                std::unique_ptr<QbTable>& table) {
    try {
        return TableOpener(session, state).open(sqlTableName, table);
    } catch (const std::bad_alloc&) {
        return state.fail(kMsgMemory);
    } catch (...) {
        return state.fail(kMsgInternalError);
    }
}

}  // namespace kelvra
