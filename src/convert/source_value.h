// A value on its way to conversion, decoded from wherever it comes from: a driver value of an SQL
// type (a column, a catalog value), a client buffer of a C type (a parameter), or a Value. Shared
// by the result and the parameter converters; not used outside this module.
#pragma once

#include <string_view>

#include <sql.h>
#include <sqlext.h>

#include "convert/decimal.h"
#include "convert/value.h"
#include "resources/messages.h"

namespace kelvra {

enum class SourceKind { Exact, Floating, Decimal, Text, Bytes, Date, Time, Timestamp };

struct SourceValue {
    SourceKind kind = SourceKind::Text;
    // Driver values: the SQL type that SQL_C_DEFAULT goes by (client values leave SQL_CHAR).
    SQLSMALLINT sqlType = SQL_CHAR;
    bool isUnsigned = false;
    bool isNull = false;
    __int128 exact = 0;     // Exact: integers up to 64-bit unsigned
    double floating = 0.0;  // Floating
    Decimal decimal;        // Decimal
    // Text and Bytes: the bytes. For a client value of a fixed-size C type: its raw bytes.
    std::string_view bytes;
    DateValue date;
    TimeValue time;
    TimestampValue timestamp;

    // Every field as a new value has it, the decimal's digits keeping their buffer: a value is
    // decoded per column and row, and assigning a new SourceValue costs more than the decoding.
    void reset() {
        kind = SourceKind::Text;
        sqlType = SQL_CHAR;
        isUnsigned = isNull = false;
        exact = 0;
        floating = 0.0;
        decimal.negative = false;
        decimal.digits.clear();
        decimal.scale = 0;
        bytes = {};
        date = {};
        time = {};
        timestamp = {};
    }
};

// A driver value of an SQL type: 0, 1010 for an SQL type the converters do not take, 1019 for a
// negative length other than SQL_NULL_DATA and SQL_NTS. A null pointer or SQL_NULL_DATA is NULL.
MsgNo decodeSqlValue(SQLSMALLINT sqlType, bool isUnsigned, const void* data, SQLLEN length,
                     SourceValue& out);

// A client buffer of a C type: 0, 1009 for a C type that is not a value type, 1012 for an
// invalid length of character or binary data. A null pointer or SQL_NULL_DATA is NULL.
MsgNo decodeClientValue(SQLSMALLINT cType, const void* data, SQLLEN length, SourceValue& out);

// A Value: CHAR and NUMERIC as text, INTEGER (SQL type integer) and DOUBLE as numbers, the
// dates and times as themselves, BINARY as bytes. 1019 for an untyped value that is not NULL.
MsgNo decodeValue(const Value& value, SourceValue& out);

// The text of a source for a character target: numbers as decimal or number text (at most
// maxChars before falling back to the exponent form), dates and times in their text forms,
// text and bytes as they are.
std::string sourceText(const SourceValue& source, std::size_t maxChars = std::string::npos);

}  // namespace kelvra
