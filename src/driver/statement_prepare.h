// Preparing a statement: the special statements answered before parsing, the parser, semantic
// analysis and planning, and what a prepared statement tells before it runs (its result columns
// and its parameters). Also the statement's cursor name.
#pragma once

#include <string_view>
#include <vector>

#include "driver/handles.h"

namespace kelvra {

// Prepares `text` on the statement (whose state must allow it). 0, or a message posted on the
// statement; the statement is then unprepared.
MsgNo prepareStatement(DriverStatement& stmt, std::string_view text);

// Forgets the prepared statement (its tree and description).
void releasePrepared(DriverStatement& stmt);

// The parameter markers of the prepared statement, in order (the first is number 1).
std::vector<NodeIndex> parameterNodes(const DriverStatement& stmt);

// Gives the statement a generated name ("SQL_CUR_" and a number) when it has none.
void ensureCursorName(DriverStatement& stmt);

// Names the cursor: 1004 for a name of the wrong length (1 to 18 characters), 1005 when another
// statement of the connection has it (letter case ignored).
MsgNo setCursorName(DriverStatement& stmt, std::string_view name);

}  // namespace kelvra
