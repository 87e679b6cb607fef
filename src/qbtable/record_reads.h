// Reading records from QuickBase into a DBID's record cache: one query, or records by id.
// Internal to the table layer; scans and flushes use it.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "qbtable/table_state.h"

namespace kelvra {

class QbSession;

// One API_DoQuery whose records go into the cache (and user names into state.userNames). A
// reply that fails leaves the records it reached incomplete, so that nothing half read is taken
// for a record. The outcome is the session's error state.
void queryIntoCache(QbSession& session, TableLayerState& state, std::string_view dbid,
                    RecordCache& cache, std::string_view query, std::string_view slist,
                    std::string_view options);

// The records of the given ids (at most 100 per request). 0, or 999 with the error in state.
MsgNo readRecordsById(QbSession& session, TableLayerState& state, std::string_view dbid,
                      RecordCache& cache, std::span<const std::int32_t> ids);

}  // namespace kelvra
