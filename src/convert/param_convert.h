// The parameter converter: a client buffer of a C type into the value of a parameter marker (or
// of a column set by a positioned update), including the pieces of data at execution.
//
// Wide characters (SQL_C_WCHAR, UTF-16) are taken as the UTF-8 text they stand for.
// By the marker's value type:
// - CHAR: every C type, as text (integers in decimal, floats and doubles as number text, numeric
//   structs as decimal text, dates and times in their text forms, char and binary bytes as they
//   are);
// - BINARY: every C type, as the raw bytes of the C value;
// - NUMERIC: integers, bit, char, binary, numeric, float, double, as exact decimal text
//   normalised to the marker's precision and scale;
// - INTEGER, DOUBLE: the same C types, as a double;
// - DATE, TIME: binary, char, the same struct, timestamp (its part);
// - TIMESTAMP: binary, char, date (at midnight), time (today), timestamp.
// Results: 0; 1001 (memory); 1002 (digits rounded away for a NUMERIC marker); 1003 (a marker
// type that takes no client data); 1009 (a pair that does not convert, a text that is not a
// date or time, non-character data sent in pieces); 1011 (out of range, an invalid date or time
// struct, binary data of the wrong size for a date or time); 1012 (an invalid length); 1016 (a
// text that is not a number for a numeric marker).
#pragma once

#include <sql.h>
#include <sqlext.h>

#include "convert/value.h"
#include "resources/messages.h"

namespace kelvra {

// The client's value: C type (SQL_C_DEFAULT takes the marker's own type), data pointer, and
// the length or indicator: SQL_NULL_DATA (or a null pointer) binds NULL, SQL_NTS measures
// character data up to its NUL; fixed-size C types ignore it.
struct ParamSource {
    SQLSMALLINT cType = SQL_C_DEFAULT;
    const void* data = nullptr;
    SQLLEN lengthOrIndicator = SQL_NTS;
};

// The marker: its value type, and for NUMERIC its precision and scale (precision <= 0: no size
// check; scale < 0: the value's own scale).
struct ParamMarker {
    ValueType type = ValueType::Char;
    int precision = 0;
    int scale = -1;
};

// The marker a value of `type` takes: its value type, and for NUMERIC its precision and scale.
ParamMarker markerFor(const TypeDesc& type);

// Converts into `out`, which takes the marker's type. With `offset` (data at execution), CHAR
// and BINARY pieces are placed at *offset, which then advances by the piece's length: offset 0
// starts the value, later pieces append.
MsgNo convertParameter(const ParamSource& source, const ParamMarker& marker, Value& out,
                       SQLLEN* offset = nullptr);

// The same rules for a driver value (CONVERT): the value's own type stands for the C type, so
// text and decimal text read as text, numbers as numbers, binary data as its bytes.
MsgNo convertValue(const Value& source, const ParamMarker& marker, Value& out);

}  // namespace kelvra
