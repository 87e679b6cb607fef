// Semantic analysis: binds every table name of a parsed statement to a QuickBase table of the
// connection (loading its schema once per DBID), resolves every column reference, expands "*",
// types every expression and parameter, checks the rules of the dialect and, for SELECT, lays
// out the rows that ordering, grouping and DISTINCT materialise. What it leaves on the tree is
// all the executor needs: nothing is looked up by name at run time.
#pragma once

#include <string>

#include "qbapi/qb_session.h"
#include "qbtable/table_state.h"
#include "resources/messages.h"
#include "sql/parse_tree.h"

namespace kelvra {

struct AnalysisContext {
    QbSession& session;
    TableLayerState& tables;
    int odbcVersion = 3;
    bool caseSensitiveNames = false;  // names compare ignoring ASCII case unless set
    std::size_t userNameLength = 0;   // the size of USER
    bool forwardOnly = true;          // the statement's cursor cannot scroll
};

// Analyses the tree's statement. 0, or a message number: with "%s" messages `argument` holds
// the name at fault; a table that failed to open left its error in context.tables.error.
MsgNo AnalyzeStatement(ParseTree& tree, AnalysisContext& context, std::string& argument);

// The longest table, column and index names the driver accepts.
inline constexpr std::size_t kMaxIdentifierLength = 127;
inline constexpr std::size_t kMaxIndexNameLength = 63;
// At most this many index key columns.
inline constexpr int kMaxIndexKeys = 15;

}  // namespace kelvra
