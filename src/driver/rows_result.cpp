#include "driver/rows_result.h"

#include <sqlext.h>

namespace kelvra {

MsgNo RowsResult::next(DiagRecord& /*diag*/) {
    if (next_ >= rows_.size()) {
        next_ = rows_.size() + 1;
        return kMsgNoDataFound;
    }
    ++next_;
    return kMsgNone;
}

MsgNo RowsResult::value(size_t column, DiagRecord& /*diag*/, const Value*& out) {
    static const Value kNull = Value::null(ValueType::Char);
    out = &kNull;
    if (next_ == 0 || next_ > rows_.size()) return kMsgNone;
    const std::vector<Value>& row = rows_[next_ - 1];
    if (column >= 1 && column <= row.size()) out = &row[column - 1];
    return kMsgNone;
}

namespace {

ResultColumn column(std::string name, SQLSMALLINT type, std::int32_t size, std::int32_t octets,
                    bool nullable) {
    return ResultColumn{std::move(name),
                        type,
                        size,
                        octets,
                        size,
                        0,
                        nullable ? SQLSMALLINT(SQL_NULLABLE) : SQLSMALLINT(SQL_NO_NULLS),
                        ""};
}

}  // namespace

ResultColumn varcharColumn(std::string name, std::int32_t size, bool nullable) {
    return column(std::move(name), SQL_VARCHAR, size, size, nullable);
}
ResultColumn charColumn(std::string name, std::int32_t size, bool nullable) {
    return column(std::move(name), SQL_CHAR, size, size, nullable);
}
ResultColumn smallintColumn(std::string name, bool nullable) {
    return column(std::move(name), SQL_SMALLINT, 5, 2, nullable);
}
ResultColumn integerColumn(std::string name, bool nullable) {
    return column(std::move(name), SQL_INTEGER, 10, 4, nullable);
}

Value textValue(std::string_view text) {
    return Value::ofChar(text);
}
Value nullText() {
    return Value::null(ValueType::Char);
}
Value smallValue(std::int64_t n) {
    return Value::ofInteger(static_cast<double>(n));
}
Value nullNumber() {
    return Value::null(ValueType::Integer);
}

}  // namespace kelvra
