// What SQLConnect and SQLDriverConnect share with their wide (W) twins (see
// driver/entry_calls.h): the connect bodies over UTF-8 text, and templates over the character
// type that read the arguments and run them in the entry frame.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <type_traits>

#include "driver/entry.h"
#include "driver/string_out.h"
#include "driver/text_args.h"

namespace kelvra {

// SQLConnect: the data source's settings, with the user name and password given (when not
// empty) instead of the data source's.
SQLRETURN connectDataSource(DriverConnection& dbc, const std::string& dsn, std::string user,
                            std::string password);

// SQLDriverConnect: the connection string `in`; the completed string goes to `out`.
SQLRETURN connectWithString(DriverConnection& dbc, const std::string& in, const TextOut& out,
                            SQLUSMALLINT completion);

// A connect argument. ANSI text is taken as it is: the user name and password are checked
// where the session starts (1093, before anything is sent), and the data source name and the
// server never travel to QuickBase as text. Wide text must convert.
template <typename Char>
TextArg connectText(TextArgs& in, const Char* text, SQLSMALLINT length, const char* what) {
    if constexpr (std::is_same_v<Char, SQLCHAR>) {
        return ansiText(text, length);
    } else {
        return in.read(text, length, what);
    }
}

template <typename Char>
SQLRETURN connectCall(SQLHDBC hdbc, const Char* dsn, SQLSMALLINT dsnLength, const Char* user,
                      SQLSMALLINT userLength, const Char* password, SQLSMALLINT passwordLength) {
    return runEntry<DriverConnection>(hdbc, [&](DriverConnection& dbc) -> SQLRETURN {
        TextArgs in(dbc.diag);
        const TextArg d = connectText(in, dsn, dsnLength, "the data source name");
        TextArg u = connectText(in, user, userLength, "the user name");
        TextArg p = connectText(in, password, passwordLength, "the password");
        if (in.status()) return SQL_ERROR;
        return connectDataSource(dbc, d.text, std::move(u.text), std::move(p.text));
    });
}

// The output's buffer length and length count characters.
template <typename Char>
SQLRETURN driverConnectCall(SQLHDBC hdbc, const Char* in, SQLSMALLINT inLength, Char* out,
                            SQLSMALLINT outMax, SQLSMALLINT* outLength, SQLUSMALLINT completion) {
    return runEntry<DriverConnection>(hdbc, [&](DriverConnection& dbc) -> SQLRETURN {
        TextArgs args(dbc.diag);
        const TextArg text = connectText(args, in, inLength, "the connection string");
        if (args.status()) return SQL_ERROR;
        return connectWithString(dbc, text.text, {out, outMax, outLength, kCharsForm<Char>},
                                 completion);
    });
}

// SQLBrowseConnect and its twin: refused.
SQLRETURN browseConnectCall(SQLHDBC hdbc);

}  // namespace kelvra
