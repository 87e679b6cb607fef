#include "driver/query_columns.h"

#include <sqlext.h>

#include "convert/type_table.h"
#include "qbtable/qb_table.h"

namespace kelvra {
namespace {

bool isSigned(std::int16_t sqlType) {
    const TypeInfoRow* row = findTypeRow(sqlType);
    return row == nullptr || row->unsignedAttribute != SQL_TRUE;
}

}  // namespace

ResultColumn describeType(std::string name, const TypeDesc& type) {
    ResultColumn c;
    c.name = std::move(name);
    // A value without a type of its own (a NULL) is shown as a one-character text.
    const std::int16_t sqlType =
        type.valueType == ValueType::None ? std::int16_t{SQL_VARCHAR} : odbc2TypeCode(type.sqlType);
    const auto size = static_cast<std::int32_t>(
        type.valueType == ValueType::None ? 1 : std::min<std::uint32_t>(type.columnSize, 0x7FFFFFFF));
    c.sqlType = sqlType;
    c.scale = std::max<std::int16_t>(type.scale, 0);
    auto set = [&c](std::int32_t columnSize, std::int32_t octets, std::int32_t display) {
        c.columnSize = columnSize;
        c.octetLength = octets;
        c.displaySize = display;
    };
    switch (sqlType) {
        case SQL_BIT:
            set(1, 1, 1);
            break;
        case SQL_TINYINT:
            set(3, 1, isSigned(sqlType) ? 4 : 3);
            break;
        case SQL_SMALLINT:
            set(5, 2, isSigned(sqlType) ? 6 : 5);
            break;
        case SQL_INTEGER:
            set(10, 4, isSigned(sqlType) ? 11 : 10);
            break;
        case SQL_BIGINT:
            set(size, size + 1, size + 1);
            break;
        case SQL_NUMERIC:
        case SQL_DECIMAL:
            set(size, size + 2, size + 2);
            break;
        case SQL_REAL:
            set(7, 4, 13);
            break;
        case SQL_FLOAT:
        case SQL_DOUBLE:
            set(15, 8, 22);
            break;
        case SQL_DATE:
            set(10, 6, 10);
            break;
        case SQL_TIME:
            set(8, 6, 8);
            break;
        case SQL_TIMESTAMP:
            set(23, 16, 23);
            break;
        case SQL_BINARY:
        case SQL_VARBINARY:
        case SQL_LONGVARBINARY:
            set(size, size, size > 0x3FFFFFFF ? 0x7FFFFFFF : 2 * size);
            break;
        default:  // the character types
            set(size, size, size);
            break;
    }
    c.updatable = SQL_ATTR_READWRITE_UNKNOWN;
    return c;
}

std::vector<ResultColumn> describeSelect(const ParseTree& tree, NodeIndex select) {
    std::vector<ResultColumn> columns;
    for (NodeIndex li = tree.fields<SelectFields>(select).firstItem; li != kNoNode;
         li = tree.fields<ListItemFields>(li).next) {
        const auto& item = tree.fields<ListItemFields>(li);
        const ParseNode& e = tree.node(item.expression);
        std::string name(tree.text(item.alias));
        if (e.kind != NodeKind::ColumnRef) {
            columns.push_back(describeType(std::move(name), e.type));
            continue;
        }
        const auto& ref = e.as<ColumnRefFields>();
        const auto& table = tree.fields<TableRefFields>(ref.tableRef);
        const QbField& field = table.table->field(static_cast<std::size_t>(ref.column));
        if (item.alias == kNoString) name = field.name;
        ResultColumn c = describeType(std::move(name), e.type);
        c.nullable = field.nullable;
        c.updatable = field.updatable != 0 ? SQL_ATTR_WRITE : SQL_ATTR_READONLY;
        c.tableName = tree.text(table.name);
        columns.push_back(std::move(c));
    }
    return columns;
}

}  // namespace kelvra
