// The cursor of a query: a result set whose rows the executor produces one fetch at a time.
#pragma once

#include <memory>
#include <vector>

#include "driver/result_set.h"
#include "engine/executor.h"

namespace kelvra {

class QueryCursor final : public ResultSet {
  public:
    QueryCursor(std::unique_ptr<Executor> executor, std::vector<ResultColumn> columns,
                TableLayerState& tables)
        : executor_(std::move(executor)), columns_(std::move(columns)), tables_(tables) {}

    const std::vector<ResultColumn>& columns() const override { return columns_; }
    MsgNo next(DiagRecord& diag) override { return move(FetchOrientation::Next, 0, diag); }
    MsgNo value(size_t column, DiagRecord& diag, const Value*& out) override;
    std::int64_t scrollableRows() const override { return executor_->rowCount(); }
    MsgNo moveTo(std::int64_t row, DiagRecord& diag) override {
        return move(FetchOrientation::Absolute, row, diag);
    }

    // Moves the cursor: 0, kMsgNoDataFound, or a failure posted on `diag`.
    MsgNo move(FetchOrientation orientation, std::int64_t offset, DiagRecord& diag);
    Executor& executor() { return *executor_; }
    // The current row's record changed (a positioned change, a refresh): its values are read
    // again.
    void forgetValues() { evaluatedColumn_ = 0; }

  private:
    std::unique_ptr<Executor> executor_;
    std::vector<ResultColumn> columns_;
    TableLayerState& tables_;
    // The column whose value was last evaluated for the current row: reading it again in pieces
    // (SQLGetData) does not evaluate it again.
    std::size_t evaluatedColumn_ = 0;
    const Value* evaluated_ = nullptr;
};

// Posts the failure of an executor call: the table layer's error when it failed there, else
// the message with the executor's argument. Returns the number.
MsgNo postExecutionError(DiagRecord& diag, MsgNo rc, const Executor& executor,
                         const TableLayerState& tables);

}  // namespace kelvra
