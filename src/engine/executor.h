// The statement executor: runs an analysed parse tree against the QuickBase table layer.
//
// A SELECT runs nested loops over the scans of its FROM list (the first table outermost): each
// table's scan is narrowed by the restrictions planning chose, evaluated with the values in
// force when the scan starts (so an inner table of a join is narrowed by the outer table's
// current record), and the ON and WHERE conditions are evaluated on every combination. Rows are
// streamed to the client one fetch at a time, or materialised first in a result file when they
// must be sorted, grouped, made distinct or scrolled. Every expression node holds its own
// current value: the evaluation walk writes it into the node and nothing is allocated per row
// once the values' buffers have grown.
//
// Failures are message numbers. When a table-layer operation failed, its error is in the
// table layer's state (TableLayerState::error, with the same number); otherwise argument()
// holds the text for a message's "%s".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "qbapi/qb_session.h"
#include "qbtable/restriction.h"
#include "qbtable/table_state.h"
#include "resources/messages.h"
#include "sql/parse_tree.h"

namespace kelvra {

class QbTable;
class TempFile;
struct RandState;

// What the executor reads from the connection and the statement.
struct ExecContext {
    QbSession* session = nullptr;
    TableLayerState* tables = nullptr;
    std::string userName;
    int odbcVersion = 3;
    bool forwardOnly = true;    // the cursor cannot scroll
    std::string database;       // DATABASE: the connection's current catalog
    RandState* rand = nullptr;  // RAND: the connection's generator
};

enum class FetchOrientation : std::uint8_t {
    Next = 1,
    First = 2,
    Last = 3,
    Prior = 4,
    Absolute = 5,
    Relative = 6,
    Bookmark = 8,
};

// What an execution leaves for the statement.
struct ExecOutcome {
    std::int64_t rowCount = 0;      // rows changed, or the rows of a materialised result
    std::int32_t functionCode = 0;  // SQL_DIAG_SELECT_CURSOR, SQL_DIAG_INSERT, ...
    bool cursorOpen = false;        // a query: rows are fetched next
};

class Executor {
  public:
    Executor(ParseTree& tree, ExecContext context);
    ~Executor();
    Executor(const Executor&) = delete;
    Executor& operator=(const Executor&) = delete;

    // Runs the tree's statement. The tree's parameter nodes hold their values.
    MsgNo execute(ExecOutcome& outcome);

    // Moves the query's cursor: 0 with a row current, kMsgNoDataFound when there is no row
    // there, or a failure.
    MsgNo fetch(FetchOrientation orientation, std::int64_t offset);
    // The 0-based position of the current row; -1 before the first, -2 after the last.
    std::int64_t rowPosition() const;
    // Rows of a materialised result; -1 while rows stream.
    std::int64_t rowCount() const;

    // The current row's value of select item `item` (1-based).
    MsgNo itemValue(std::size_t item, const Value*& out);

    // Positioned changes (positioned_row.cpp): a query's rows are one table's records when it
    // reads one table without grouping, aggregates or DISTINCT.
    //
    // The table whose records the rows are; after a fetch it stands on the current row's
    // record. 0, or 1075 (the rows are not one table's records).
    MsgNo rowTable(QbTable*& table);
    // The column of that table that select item `item` (1-based) shows, and its type: 0, 1008
    // for no such item, 1075 for an item that is not a plain column of the table.
    MsgNo itemColumn(std::size_t item, std::uint16_t& column, TypeDesc& type);

    const std::string& argument() const { return argument_; }

  private:
    struct SelectRun;

    // Scans and joins (executor.cpp).
    SelectRun& runOf(NodeIndex select);
    MsgNo rewindTable(NodeIndex tableRef, bool keepPages);
    MsgNo restrictionsOf(NodeIndex tableRef, std::vector<Restriction>& out);
    MsgNo stepTable(SelectRun& run, std::size_t level);
    MsgNo advanceJoin(SelectRun& run);
    MsgNo nextMatchingRow(NodeIndex select);
    MsgNo startScans(NodeIndex select);
    MsgNo runSelect(NodeIndex select);
    MsgNo nextSelectRow(NodeIndex select);
    MsgNo moveSelect(NodeIndex select, FetchOrientation orientation, std::int64_t offset);
    MsgNo firstSubqueryRow(NodeIndex select, bool& found);
    bool needsMaterializing(const SelectFields& select) const;

    // Materialised results (materialize.cpp).
    MsgNo materialize(NodeIndex select);
    MsgNo materializeRows(NodeIndex select);
    MsgNo sortStep(NodeIndex select, bool grouped, std::unique_ptr<TempFile>& out);
    MsgNo groupStep(NodeIndex select, TempFile& input, std::unique_ptr<TempFile>& out);
    MsgNo distinctStep(NodeIndex select);
    MsgNo keysetStep(NodeIndex select);
    MsgNo keysetFetchStep(NodeIndex select);
    MsgNo sortResult(TempFile& file, StringIndex sortSpec);
    MsgNo positionOnRow(NodeIndex select);
    MsgNo readSlot(NodeIndex node, std::int32_t position, std::int32_t width);

    // INSERT, UPDATE, DELETE (modify.cpp).
    MsgNo insert(NodeIndex statement, ExecOutcome& outcome);
    MsgNo update(NodeIndex statement, ExecOutcome& outcome);
    MsgNo remove(NodeIndex statement, ExecOutcome& outcome);
    MsgNo assignValue(NodeIndex columnRef, NodeIndex value);
    template <typename Change>
    MsgNo forEachTargetRecord(NodeIndex tableRef, NodeIndex where, Change&& change);

    // Evaluation (evaluate.cpp).
    MsgNo evaluate(NodeIndex node);
    MsgNo evaluateColumn(NodeIndex node);
    MsgNo evaluateArithmetic(NodeIndex node);
    MsgNo evaluateFunction(NodeIndex node);
    MsgNo evaluateCondition(NodeIndex node);
    MsgNo evaluatePredicate(NodeIndex node);
    MsgNo evaluateQuantified(NodeIndex node, bool& known, bool& truth);
    MsgNo subqueryValues(NodeIndex select, const std::vector<Value>*& values);
    MsgNo compareNodes(NodeIndex left, Operator op, NodeIndex right, bool& truth);
    bool newestRecordStandsIn(NodeIndex predicate, double& id);
    bool isTrue(NodeIndex node) const;

    MsgNo fail(MsgNo rc, std::string_view argument);

    ParseTree& tree_;
    ExecContext context_;
    std::string argument_;
    std::unordered_map<NodeIndex, std::unique_ptr<SelectRun>> runs_;
    std::vector<NodeIndex> items_;  // the statement's select items, in order
    Value converted_;               // a value converted to its column's type
};

}  // namespace kelvra
