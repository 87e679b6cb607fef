// The arrays of bound values: how many rows a rowset or parameter set may hold, and where a
// bound column or parameter keeps the value of one row of an array: the one address
// function for every bound pointer. The bind offset is read when the value is used (clients
// change it between calls), a null pointer stays null, and the row's stride is the bind type
// for row-wise binding or, column-wise, the element's size (the buffer length for character
// and binary data, the C type's size for fixed-size types, an SQLLEN for lengths and
// indicators).
#pragma once

#include <sql.h>

#include "driver/handles.h"

namespace kelvra {

// The largest rowset and parameter set.
constexpr SQLULEN kMaxArraySize = 100000;

// Sets a rowset or parameter-set size: 0 is refused (1082); a size above kMaxArraySize becomes
// it (1069).
MsgNo setArraySize(SQLULEN& field, SQLULEN value);

struct BoundRow {
    SQLPOINTER data = nullptr;
    SQLLEN* length = nullptr;
    SQLLEN* indicator = nullptr;
};

// Row `row` (0-based) of the record's arrays in the descriptor's binding.
BoundRow boundRow(const DriverDescriptor& desc, const DescRecord& record, SQLULEN row);

}  // namespace kelvra
