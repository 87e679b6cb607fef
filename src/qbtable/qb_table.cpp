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

namespace kelvra {
namespace {

// Relationship links and virtual URL fields (the links QuickBase draws) are no columns.
constexpr std::string_view kColumnFields =
    "/*/table/fields/field[@field_type != 'dblink' and "
    "not(@field_type = 'url' and @mode = 'virtual')]";
constexpr std::string_view kTextSizeVariable = "KELVRA_TEXT_SIZE_";
constexpr std::size_t kMaxColumns = 65535;
constexpr std::int32_t kRecordIdFid = 3;

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
        std::unique_ptr<QbTable> table;
        if (sqlTableName == kConfigTableName) {
            table = configTable();
        } else if (sqlTableName == kIdentityTableName) {
            table = identityTable();
        } else {
            std::string dbid;
            const XmlDocument* schema = nullptr;
            if (MsgNo status = resolveTable(session_, state_, sqlTableName, dbid, schema)) {
                return status;
            }
            table = std::make_unique<QbTable>(session_, state_, std::move(dbid));
            if (MsgNo status = buildColumns(*schema, *table)) return status;
        }
        publish(*table);
        out = std::move(table);
        return kMsgNone;
    }

  private:
    std::unique_ptr<QbTable> configTable() {
        auto table = std::make_unique<QbTable>(session_, state_, std::string(kConfigTableName));
        table->fields_.resize(2);
        table->fields_[0].name = "qPARAMETER";
        table->fields_[1].name = "qVALUE";
        return table;
    }

    std::unique_ptr<QbTable> identityTable() {
        auto table = std::make_unique<QbTable>(session_, state_, std::string(kIdentityTableName));
        QbField& id = table->fields_.emplace_back();
        id.name = "Newest Record ID";
        id.fid = kRecordIdFid;
        id.fidText = std::to_string(kRecordIdFid);
        id.sqlType = SQL_INTEGER;
        id.columnSize = 10;
        id.restrictRank = 1000;
        id.kind = FieldKind::RecordId;
        return table;
    }

    MsgNo buildColumns(const XmlDocument& schema, QbTable& table) {
        table.name_ = schema.text("/*/table/name");
        std::string keyText = schema.text("/*/table/original/key_fid");
        if (keyText.empty())
            keyText = schema.text("/*/table/fields/field[@field_type='recordid']/@id");
        table.keyFid_ = leadingInteger32(keyText);
        table.modifiedFid_ = roleFid(schema, "modified");
        table.createdFid_ = roleFid(schema, "created");
        table.modifierFid_ = roleFid(schema, "modifier");
        table.ownerFid_ = roleFid(schema, "owner");
        bool useFids = session_.options.contains("USEFIDS");
        table.textNull_ = session_.options.contains("TEXTNULL");
        MappingOptions mapping{state_.sqlServerHost(), session_.options.contains("FILE")};
        auto variables = readVariables(schema);
        std::string variablePrefix = std::string(kTextSizeVariable) + table.key_ + "_";

        std::vector<XmlNode> nodes = schema.nodes(kColumnFields);
        // Columns are numbered in 16 bits; a larger schema keeps its first 65535 fields.
        if (nodes.size() > kMaxColumns) nodes.erase(nodes.begin() + kMaxColumns, nodes.end());
        table.fields_.reserve(nodes.size());
        bool keyTaken = table.keyFid_ == 0;  // 0: the schema names no key
        for (const XmlNode& node : nodes) {
            QbField& field = table.fields_.emplace_back();
            field.fidText = node.attribute("id");
            field.fid = leadingInteger32(field.fidText);
            if (useFids) {
                field.name = "fid" + field.fidText.substr(0, kMaxColumnNameLength - 3);
            } else {
                field.name = cleanLabel(node.text("label"));
            }
            // One key column only, should the schema repeat the key's id.
            bool isKey = !keyTaken && field.fid == table.keyFid_;
            if (isKey) {
                keyTaken = true;
                field.keySeq = 1;
                table.keyColumnName_ = field.name;
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
        return kMsgNone;
    }

    static std::int32_t roleFid(const XmlDocument& schema, std::string_view role) {
        return leadingInteger32(
            schema.text("/*/table/fields/field[@role='" + std::string(role) + "']/@id"));
    }

    // The per-DBID state learns the columns and the fields every query needs.
    void publish(const QbTable& table) {
        DbidState& shared = state_.tables[table.key_];
        std::map<std::int32_t, std::uint16_t> positions;
        for (std::size_t i = 0; i < table.fields_.size(); ++i) {
            positions.emplace(table.fields_[i].fid, static_cast<std::uint16_t>(i));
        }
        shared.fieldPositions = std::move(positions);
        if (table.key_ == kConfigTableName || table.key_ == kIdentityTableName) return;
        shared.requestedFields.insert(kRecordIdFid);
        if (table.keyFid_ != 0) shared.requestedFields.insert(table.keyFid_);
    }

    QbSession& session_;
    TableLayerState& state_;
};

QbTable::QbTable(QbSession& session, TableLayerState& state, std::string key)
    : session_(session), state_(state), key_(std::move(key)) {}

DbidState& QbTable::shared() const {
    return state_.tables[key_];
}

int QbTable::positionOfFid(std::int32_t fid) const {
    auto dbidState = state_.tables.find(key_);
    if (dbidState == state_.tables.end()) return -1;
    auto found = dbidState->second.fieldPositions.find(fid);
    return found == dbidState->second.fieldPositions.end() ? -1 : found->second;
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
