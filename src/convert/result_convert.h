// The result converter: a driver value (a column of a result row, a catalog value) into a client
// buffer of the C type the client asked for, with the conversion matrix, range checks,
// truncation and piecewise reading of character and binary data.
//
// Sources: bit, tiny, small and integer (signed or unsigned), real, float, double, the character
// and binary types, date, time and timestamp (either version's codes). Big integer, numeric and
// decimal sources give 1010. Numbers go to every integer C type, bit, float, double, char,
// binary and numeric; text and binary go to every C type; a date to date, timestamp, char and
// binary; a time to time, timestamp, char and binary; a timestamp to date, time, timestamp, char
// and binary. Any other pair gives 1009.
//
// Results: 0; 1001 (memory); 1002 (truncated: a character or binary value cut at the buffer, a
// fraction dropped going to an integer, digits rounded away going to a numeric struct; what fits
// is written); 1009 (also a text that is not a date or time); 1010; 1011 (out of range, or binary
// data whose length is not the size of the fixed-size C type it goes to); 1012 (a text that is
// not a number); 1019 (a negative length other than SQL_NULL_DATA and SQL_NTS). The converters
// write at most bufferLength bytes into character and binary buffers and the size of the C type
// into fixed-size ones (whose buffer length ODBC ignores); they read a character source only up to
// its length.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include "convert/value.h"
#include "resources/messages.h"

namespace kelvra {

// The client's buffer: C type (SQL_C_DEFAULT allowed, date and time codes of either version),
// data pointer (may be null: only the length is reported), buffer length, and the length
// output (may be null). The length output receives, for character and binary targets, the
// bytes remaining from the offset (before truncation), for fixed-size targets the size of the
// C type, and SQL_NULL_DATA for a NULL value. `deliveredOut` (may be null) receives, for
// character, wide-character and binary targets, the bytes of the value written (without the
// terminator): where the next piece of the value starts.
struct ClientBuffer {
    SQLSMALLINT cType = SQL_C_DEFAULT;
    SQLPOINTER data = nullptr;
    SQLLEN bufferLength = 0;
    SQLLEN* lengthOut = nullptr;
    SQLLEN* deliveredOut = nullptr;
};

// A driver value of an SQL type: data points at the value in its C layout (8-bit, 16-bit or
// 32-bit integer, float, double, the date and time structs, bytes); length is the byte length
// of character and binary data (SQL_NTS allowed) and SQL_NULL_DATA for NULL.
struct SqlSource {
    SQLSMALLINT sqlType = SQL_CHAR;
    bool isUnsigned = false;
    const void* data = nullptr;
    SQLLEN length = 0;
};

// `offset` is the piecewise position in character and binary data: the bytes delivered by
// earlier calls for the same value. A NULL source writes the zero value of the C type.
MsgNo convertResult(const SqlSource& source, const ClientBuffer& target, SQLLEN offset = 0);

// The same for a Value: CHAR and NUMERIC convert as character data, INTEGER as an SQL integer,
// DOUBLE as a double, BINARY as binary data.
MsgNo convertValueResult(const Value& value, const ClientBuffer& target, SQLLEN offset = 0);

// The bytes of a value of a fixed-size C type (date and time codes of either version); 0 for
// character, binary and unknown types, whose size is the client's buffer length.
std::size_t fixedCTypeSize(SQLSMALLINT cType);

}  // namespace kelvra
