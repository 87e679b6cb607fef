// Resolving an SQL table name to the DBID of a QuickBase table and its schema. Internal to the
// table layer; openTable uses it.
#pragma once

#include <string>
#include <string_view>

#include "qbtable/table_state.h"
#include "resources/messages.h"

namespace kelvra {

class QbSession;
class XmlDocument;

// Tries, in order: the last blank-separated word of the name (without a leading "DBID"), the
// part after the last "_", and the DBID QuickBase finds for the whole name. 0 with `dbid` and
// `schema` (owned by the session's schema cache) set; otherwise the error is in state.error.
// An application DBID fails with 999 and a text that lists its child tables.
MsgNo resolveTable(QbSession& session, TableLayerState& state, std::string_view name,
                   std::string& dbid, const XmlDocument*& schema);

// The refusal text of an application: its child tables as "name DBID" in quotes.
std::string parentTableText(const XmlDocument& applicationSchema);

}  // namespace kelvra
