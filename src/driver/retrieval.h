// Reading results: describing columns, moving to the next row and transferring column values
// into client buffers, shared by the fetch, get-data and description calls.
#pragma once

#include <sql.h>

#include "driver/handles.h"
#include "driver/string_out.h"

namespace kelvra {

// SQLColAttributes: an ODBC 2 identifier (0..18) of a result column; text answers go to
// `text`, numeric ones to `number`. Column 0 is the bookmark column.
MsgNo describeColumn(DriverStatement& stmt, SQLUSMALLINT column, SQLUSMALLINT identifier,
                     const TextOut& text, SQLLEN* number);

// SQLColAttribute: an ODBC 3 descriptor field of a result column.
MsgNo describeColumnField(DriverStatement& stmt, SQLUSMALLINT column, SQLUSMALLINT field,
                          const TextOut& text, SQLLEN* number);

// A client's binding or SQLGetData request.
struct Transfer {
    SQLSMALLINT cType;
    SQLPOINTER data;
    SQLLEN bufferLength;
    SQLLEN* lengthPtr;
    SQLLEN* indicatorPtr;
};

// Converts the current row's value of `column` into the client's buffer. With `piecewise`
// (SQLGetData) the value continues where the last call for the same column stopped.
MsgNo transferColumn(DriverStatement& stmt, SQLUSMALLINT column, Transfer transfer, bool piecewise);

}  // namespace kelvra
