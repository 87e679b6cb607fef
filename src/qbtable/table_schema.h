// TableSchema: a QuickBase table's fields mapped to SQL columns, with the key and role fields.
// Mapped once per connection and DBID (for the options it was mapped with) and shared by every
// QbTable of that DBID, so that opening a table again does no XML work.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "qbtable/qb_field.h"

namespace kelvra {

struct TableSchema {
    // The key text: the DBID, or the name of a special table.
    std::string key;
    // The table's own name from its schema (empty for the special tables).
    std::string name;
    std::vector<QbField> fields;
    // Field id to column position (the first column of a repeated id).
    std::map<std::int32_t, std::uint16_t> positions;
    // The key field and the fields that hold the roles; 0 when the schema names none.
    std::int32_t keyFid = 0;
    std::string keyColumnName;
    std::int32_t createdFid = 0;
    std::int32_t modifiedFid = 0;
    std::int32_t modifierFid = 0;
    std::int32_t ownerFid = 0;
    // The options the columns were mapped with: a table opened after they change is mapped
    // again.
    bool useFids = false;
    bool fileOption = false;

    // The position of the column of a field id; -1 when the table has none.
    int positionOfFid(std::int32_t fid) const {
        auto found = positions.find(fid);
        return found == positions.end() ? -1 : found->second;
    }
};

}  // namespace kelvra
