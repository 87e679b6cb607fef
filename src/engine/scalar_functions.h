// The ODBC scalar function library: the function table, the resolution of a call against it
// (overload, special leading word, result type) and the evaluation of a resolved call. It works
// on types and values only, not on the parse tree: analysis and the executor adapt to it.
//
// Texts are UTF-8. LENGTH, CHAR_LENGTH, SUBSTRING, LEFT, RIGHT, LOCATE, POSITION, INSERT and the
// result sizes count characters; OCTET_LENGTH and BIT_LENGTH count bytes. ASCII and CHAR work on
// Unicode code points. LCASE and UCASE fold ASCII and the letters of Latin-1, Latin Extended-A,
// Greek (U+0386..U+03CE) and Cyrillic (U+0400..U+045F) whose case partner is a single two-byte
// character; other characters (ß, ſ, ı, İ, the rest of Unicode) stay as they are.
//
// Date and time arithmetic is calendar arithmetic on the values as written (they are local
// times already), for years 0 to 9999. NOW, CURDATE, CURTIME and CURRENT_* read the local clock
// (TZ).
//
// A double result that is not a finite number (SQRT(-1), LOG(0), ACOS(2), POWER(0, -1),
// EXP(1000)) is NULL.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "convert/value.h"
#include "resources/messages.h"

namespace kelvra {

// The resolved call, kept on the ScalarFunction node by analysis.
struct ScalarCall {
    std::int16_t function = -1;  // the entry of the function table
    std::int16_t interval = 0;   // TIMESTAMPADD, TIMESTAMPDIFF: 1 SQL_TSI_SECOND .. 8 SQL_TSI_YEAR
    char extractField = 0;       // EXTRACT: Y, M, D, H, N (minute) or S
    TypeDesc source;             // CONVERT: the type of the converted argument
};

// An argument as analysis saw it.
struct ScalarArgument {
    TypeDesc type;
    bool isParameter = false;  // a ? marker
    bool isNullLiteral = false;
};

// The number of entries of the function table.
inline constexpr std::size_t kScalarFunctionCount = 114;

// The table name of an entry ("LOCATE"), for messages; empty for a number outside the table.
std::string_view scalarFunctionName(std::int16_t function);

// Which argument (0-based) of a call of `name` with `count` arguments is a special leading word
// (the interval of TIMESTAMPADD/TIMESTAMPDIFF, the field of EXTRACT, the type of CONVERT), or
// -1. Analysis takes that argument off the list instead of analysing it as a column, and passes
// its bare word (or an empty word when the argument was not a bare word) to resolution.
int scalarWordArgument(std::string_view name, std::size_t count);

// The checks that come before the arguments are analysed: the name (1058) and the special word
// (1059, 1003 for SQL_TSI_FRAC_SECOND and the long CONVERT targets). Analysis may call it first
// so that these messages win over those of the arguments; resolution repeats it.
MsgNo checkScalarFunctionHead(std::string_view name, std::string_view word,
                              std::string& messageArgument);

// Resolution: the function table entry, the result type (its sqlType in the codes of
// `odbcVersion`, 2 or 3), and 0, or a message number with `messageArgument` set: 1058 (no such
// function), 1059 (no fitting overload, a NULL literal or long argument, a bad special word),
// 1023 (a parameter argument), 1003 (an unsupported interval, CONVERT target or source), 1009
// (CONVERT between numbers and dates). `args` are the arguments without the special word.
MsgNo resolveScalarFunction(std::string_view name, std::string_view word,
                            std::span<const ScalarArgument> args, int odbcVersion, ScalarCall& call,
                            TypeDesc& result, std::string& messageArgument);

// RAND's generator state. One per connection: a connection is used by one thread at a time,
// so it needs no lock, and each connection repeats its own sequence for a given seed.
struct RandState {
    std::int32_t seed = 0;
    std::int32_t previous = 0;
    unsigned fallback = 1;  // drives the reseeding when the sequence would repeat itself
};

// What a function reads from the connection.
struct FunctionContext {
    std::string_view database;             // DATABASE
    std::string_view user;                 // USER
    std::optional<std::int32_t> identity;  // IDENTITY: the connection's newest record id
    std::string_view lastError;            // LASTERROR: the statement's, else the connection's
    RandState* rand = nullptr;             // RAND
};

// Evaluation: the arguments (special word removed) in order, of the types resolution saw;
// `out` (not one of the arguments) receives the value in the result type. 0, or a message
// number with `messageArgument` set to the function's name: 1059 (an invalid argument value),
// 1053 (MOD by 0, COT of 0), 1055 (CONCAT beyond its size), 1009 (a failed CONVERT), 1001, 1019
// (arguments that do not match the resolved call). Nothing is allocated when the result fits
// the capacity `out` already has, except for NUMERIC arithmetic and CONVERT.
MsgNo evaluateScalarFunction(const ScalarCall& call, const TypeDesc& result,
                             std::span<const Value* const> args, FunctionContext& context,
                             Value& out, std::string& messageArgument);

}  // namespace kelvra
