// A result set whose rows are made when the result is: the catalog functions and
// SQLGetTypeInfo. Column descriptions are built with the helpers below.
#pragma once

#include <vector>

#include "driver/result_set.h"

namespace kelvra {

class RowsResult final : public ResultSet {
  public:
    explicit RowsResult(std::vector<ResultColumn> columns) : columns_(std::move(columns)) {}

    const std::vector<ResultColumn>& columns() const override { return columns_; }
    MsgNo next(DiagRecord& diag) override;
    MsgNo value(size_t column, DiagRecord& diag, const Value*& out) override;

    // Adds a row of one value per column.
    void addRow(std::vector<Value> row) { rows_.push_back(std::move(row)); }
    size_t rowCount() const { return rows_.size(); }

  private:
    std::vector<ResultColumn> columns_;
    std::vector<std::vector<Value>> rows_;
    size_t next_ = 0;  // the row after the current one
};

// Column descriptions of catalog results: size, octet length and display size as the result
// tables give them.
ResultColumn varcharColumn(std::string name, std::int32_t size, bool nullable);
ResultColumn charColumn(std::string name, std::int32_t size, bool nullable);
ResultColumn smallintColumn(std::string name, bool nullable);
ResultColumn integerColumn(std::string name, bool nullable);

// Values of catalog rows.
Value textValue(std::string_view text);
Value nullText();
Value smallValue(std::int64_t n);
Value nullNumber();

}  // namespace kelvra
