// What an ANSI entry point and its wide (W) twin share: the bodies of the calls that take or
// return text, each run by both twins in their entry frame. Text arguments are read into the
// driver's UTF-8 by TextArgs (text_args.h); text answers leave through a TextOut in the twin's
// form (string_out.h). The calls that read text are templates over the character type (SQLCHAR
// or SQLWCHAR), so that both twins run one body; the others take the TextOut their entry point
// makes. The connect calls are in connect/connect_calls.h.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string_view>
#include <type_traits>

#include "driver/catalog_results.h"
#include "driver/driver_result.h"
#include "driver/entry.h"
#include "driver/statement_execute.h"
#include "driver/statement_prepare.h"
#include "driver/string_out.h"
#include "driver/text_args.h"

namespace kelvra {

// Diagnostics (diag_entries.cpp). `state` receives the SQLSTATE (6 characters with the NUL).
SQLRETURN errorCall(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt, const TextOut& state,
                    SQLINTEGER* native, const TextOut& message);
SQLRETURN diagRecCall(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, const TextOut& state,
                      SQLINTEGER* native, const TextOut& message);
SQLRETURN diagFieldCall(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record,
                        SQLSMALLINT identifier, const TextOut& info);

// Driver information (info_entries.cpp).
SQLRETURN getInfoCall(SQLHDBC hdbc, SQLUSMALLINT type, const TextOut& value);

// Connection attributes and options (attribute_entries.cpp). The options' text values (trace
// file, translation library, current qualifier) are never read, and answered as an empty text
// of four zero bytes (empty in either form), so both twins of SQLSetConnectOption and
// SQLGetConnectOption share the option calls as they are.
bool isTextAttribute(SQLINTEGER attribute);
// `text` is the value of a text attribute, `value` that of any other.
MsgNo setConnectAttr(DriverConnection& dbc, SQLINTEGER attribute, SQLPOINTER value,
                     const TextArg& text);
SQLRETURN getConnectAttrCall(SQLHDBC hdbc, SQLINTEGER attribute, const TextOut& value);
SQLRETURN setConnectOptionCall(SQLHDBC hdbc, SQLUSMALLINT option, SQLULEN value);
SQLRETURN getConnectOptionCall(SQLHDBC hdbc, SQLUSMALLINT option, SQLPOINTER value);

// The length of a text attribute's value counts bytes in both twins.
template <typename Char>
SQLRETURN setConnectAttrCall(SQLHDBC hdbc, SQLINTEGER attribute, SQLPOINTER value,
                             SQLINTEGER length) {
    return runEntry<DriverConnection>(hdbc, [&](DriverConnection& dbc) -> SQLRETURN {
        TextArgs in(dbc.diag);
        TextArg text;
        if (isTextAttribute(attribute)) {
            const SQLINTEGER count = length >= 0 ? length / SQLINTEGER{sizeof(Char)} : length;
            text = in.read(static_cast<const Char*>(value), count, "the attribute value");
            if (in.status()) return SQL_ERROR;
        }
        return finish(dbc.diag, setConnectAttr(dbc, attribute, value, text));
    });
}

// Statements (statement_entries.cpp, execute_entries.cpp).
SQLRETURN nativeSql(DriverConnection& dbc, std::string_view text, const TextOut& out);
SQLRETURN getCursorNameCall(SQLHSTMT hstmt, const TextOut& name);

template <typename Char>
SQLRETURN prepareCall(SQLHSTMT hstmt, const Char* text, SQLINTEGER length) {
    return runEntry<DriverStatement>(hstmt, [&](DriverStatement& stmt) -> SQLRETURN {
        TextArgs in(stmt.diag);
        const TextArg sql = in.read(text, length, "the SQL statement");
        if (in.status()) return SQL_ERROR;
        return prepareStatement(stmt, sql.text) == kMsgNone ? SQL_SUCCESS : SQL_ERROR;
    });
}

template <typename Char>
SQLRETURN execDirectCall(SQLHSTMT hstmt, const Char* text, SQLINTEGER length) {
    return runEntry<DriverStatement>(hstmt, [&](DriverStatement& stmt) -> SQLRETURN {
        TextArgs in(stmt.diag);
        const TextArg sql = in.read(text, length, "the SQL statement");
        if (in.status()) return SQL_ERROR;
        return executeDirect(stmt, sql.text);
    });
}

// The output's buffer length and length count characters.
template <typename Char>
SQLRETURN nativeSqlCall(SQLHDBC hdbc, const Char* text, SQLINTEGER length, Char* out,
                        SQLINTEGER outMax, SQLINTEGER* outLength) {
    return runEntry<DriverConnection>(hdbc, [&](DriverConnection& dbc) -> SQLRETURN {
        TextArgs in(dbc.diag);
        const TextArg sql = in.read(text, length, "the SQL statement");
        if (in.status()) return SQL_ERROR;
        return nativeSql(dbc, sql.text, {out, outMax, outLength, kCharsForm<Char>});
    });
}

template <typename Char>
SQLRETURN setCursorNameCall(SQLHSTMT hstmt, const Char* name, SQLSMALLINT length) {
    return runEntry<DriverStatement>(hstmt, [&](DriverStatement& stmt) -> SQLRETURN {
        TextArgs in(stmt.diag);
        const TextArg text = in.read(name, length, "the cursor name");
        if (in.status()) return SQL_ERROR;
        return finish(stmt.diag, setCursorName(stmt, text.text));
    });
}

// Result descriptions (retrieval_entries.cpp).
SQLRETURN describeColCall(SQLHSTMT hstmt, SQLUSMALLINT column, const TextOut& name,
                          SQLSMALLINT* sqlType, SQLULEN* columnSize, SQLSMALLINT* digits,
                          SQLSMALLINT* nullable);
SQLRETURN colAttributesCall(SQLHSTMT hstmt, SQLUSMALLINT column, SQLUSMALLINT identifier,
                            const TextOut& text, SQLLEN* number);
SQLRETURN colAttributeCall(SQLHSTMT hstmt, SQLUSMALLINT column, SQLUSMALLINT field,
                           const TextOut& text, SQLLEN* number);

// The catalog functions (catalog_entries.cpp): the table, column and type arguments are read;
// the catalog and schema arguments of the per-table calls play no part.
SQLRETURN refusedCall(SQLHSTMT hstmt, const char* function);

template <typename Char>
SQLRETURN tablesCall(SQLHSTMT hstmt, const Char* catalog, SQLSMALLINT catalogLength,
                     const Char* schema, SQLSMALLINT schemaLength, const Char* table,
                     SQLSMALLINT tableLength, const Char* type, SQLSMALLINT typeLength) {
    return produceResult(hstmt, kStateTables, [&](DriverStatement& stmt, auto& rows) {
        TextArgs in(stmt.diag);
        const CatalogName c = in.read(catalog, catalogLength, "the catalog name");
        const CatalogName s = in.read(schema, schemaLength, "the schema name");
        const CatalogName t = in.read(table, tableLength, "the table name");
        const CatalogName y = in.read(type, typeLength, "the table type");
        return in.status() ? in.status() : tablesResult(stmt, c, s, t, y, rows);
    });
}

template <typename Char>
SQLRETURN columnsCall(SQLHSTMT hstmt, const Char* table, SQLSMALLINT tableLength,
                      const Char* column, SQLSMALLINT columnLength) {
    return produceResult(hstmt, kStateColumns, [&](DriverStatement& stmt, auto& rows) {
        TextArgs in(stmt.diag);
        const CatalogName t = in.read(table, tableLength, "the table name");
        const CatalogName c = in.read(column, columnLength, "the column name");
        return in.status() ? in.status() : columnsResult(stmt, t, c, rows);
    });
}

template <typename Char>
SQLRETURN statisticsCall(SQLHSTMT hstmt, const Char* table, SQLSMALLINT tableLength) {
    return produceResult(hstmt, kStateStatistics, [&](DriverStatement& stmt, auto& rows) {
        TextArgs in(stmt.diag);
        const CatalogName t = in.read(table, tableLength, "the table name");
        return in.status() ? in.status() : statisticsResult(stmt, t, rows);
    });
}

template <typename Char>
SQLRETURN specialColumnsCall(SQLHSTMT hstmt, SQLUSMALLINT identifierType, const Char* table,
                             SQLSMALLINT tableLength) {
    return produceResult(hstmt, kStateSpecialColumns, [&](DriverStatement& stmt, auto& rows) {
        TextArgs in(stmt.diag);
        const CatalogName t = in.read(table, tableLength, "the table name");
        return in.status() ? in.status() : specialColumnsResult(stmt, identifierType, t, rows);
    });
}

template <typename Char>
SQLRETURN primaryKeysCall(SQLHSTMT hstmt, const Char* table, SQLSMALLINT tableLength) {
    return produceResult(hstmt, kStatePrimaryKeys, [&](DriverStatement& stmt, auto& rows) {
        TextArgs in(stmt.diag);
        const CatalogName t = in.read(table, tableLength, "the table name");
        return in.status() ? in.status() : primaryKeysResult(stmt, t, rows);
    });
}

template <typename Char>
SQLRETURN foreignKeysCall(SQLHSTMT hstmt, const Char* pkTable, SQLSMALLINT pkLength,
                          const Char* fkTable, SQLSMALLINT fkLength) {
    return produceResult(hstmt, kStateForeignKeys, [&](DriverStatement& stmt, auto& rows) {
        TextArgs in(stmt.diag);
        const CatalogName pk = in.read(pkTable, pkLength, "the primary-key table name");
        const CatalogName fk = in.read(fkTable, fkLength, "the foreign-key table name");
        return in.status() ? in.status() : foreignKeysResult(stmt, pk, fk, rows);
    });
}

// SQLGetTypeInfo (type_info_entry.cpp): no text in, its result read as any other.
SQLRETURN typeInfoCall(SQLHSTMT hstmt, SQLSMALLINT type);

}  // namespace kelvra
