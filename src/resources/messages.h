// The driver's numbered messages. A message number travels up from every layer (0 means
// success); the entry points turn it into a return code and a diagnostic. Numbers up to 1000
// carry their whole text in the handle's detail text; 999 is a QuickBase or transport error
// held in the session's error state.
#pragma once

#include <cstdint>
#include <string_view>

namespace kelvra {

using MsgNo = std::uint16_t;

enum : MsgNo {
    kMsgNone = 0,
    kMsgSession = 999,
    kMsgMemory = 1001,              // [Kelvra ODBC]Memory allocation error
    kMsgTruncated = 1002,           // [Kelvra ODBC]Data truncated
    kMsgNotSupported = 1003,        // [Kelvra ODBC]Not supported: %s
    kMsgInvalidCursorName = 1004,   // [Kelvra ODBC]Invalid cursor name
    kMsgCursorNameInUse = 1005,     // [Kelvra ODBC]Cursor name in use
    kMsgConnectionInUse = 1006,     // [Kelvra ODBC]Connection in use
    kMsgInvalidCursorState = 1007,  // [Kelvra ODBC]Invalid cursor state
    kMsgInvalidColumnId = 1008,     // [Kelvra ODBC]Invalid column id
    kMsgConversionError = 1009,     // [Kelvra ODBC]Conversion error
    kMsgNotCapable = 1010,          // [Kelvra ODBC]Driver not capable
    kMsgOutOfRange = 1011,          // [Kelvra ODBC]Out of range
    kMsgAssignmentError = 1012,     // [Kelvra ODBC]Assignment error
    kMsgUnexpectedEnd = 1013,       // [Kelvra ODBC]Unexpected end of SQL statement
    kMsgElementTooLarge = 1014,     // [Kelvra ODBC]Lexical element too large: %s
    kMsgElementMissing = 1015,      // [Kelvra ODBC]SQL statement element missing: %s
    kMsgMalformedNumber = 1016,     // [Kelvra ODBC]Malformed number: %s
    kMsgExtraToken = 1017,          // [Kelvra ODBC]Unexpected extra token: %s
    kMsgMalformedEscape = 1018,     // [Kelvra ODBC]Malformed escape clause: %s
    kMsgInternalError = 1019,       // [Kelvra ODBC]Internal error
    kMsgQuickBaseError = 1020,      // [Kelvra ODBC]QuickBase error
    kMsgColumnNotFound = 1021,      // [Kelvra ODBC]Column not found: %s
    kMsgTableNotFound = 1022,       // [Kelvra ODBC]Table not found: %s
    kMsgParamTypeUnknown = 1023,    // [Kelvra ODBC]Data type of parameter cannot be determined
    kMsgInvalidOperand = 1024,      // [Kelvra ODBC]Invalid operand for operator: %s
    kMsgInvalidTableName = 1025,    // [Kelvra ODBC]Invalid table name: %s
    kMsgOrderByOrdinal = 1026,      // [Kelvra ODBC]ORDER BY ordinal greater than select list count
    kMsgOrderByTooMany = 1027,      // [Kelvra ODBC]ORDER BY contains too many columns
    kMsgOrderByExpression = 1028,   // [Kelvra ODBC]Cannot ORDER BY an expression
    kMsgInsertCountMismatch =
        1029,                    // [Kelvra ODBC]Unequal number of insert columns and insert values
    kMsgInsertNotSimple = 1030,  // [Kelvra ODBC]Insert value must be a simple value
    kMsgInNotSimple = 1031,      // [Kelvra ODBC]Value in an IN expression must be a simple value
    kMsgAliasRepeated = 1032,    // [Kelvra ODBC]Table alias used multiple times: %s
    kMsgColumnRepeated = 1033,   // [Kelvra ODBC]Column on list multiple times: %s
    kMsgInvalidColumnName = 1034,     // [Kelvra ODBC]Invalid column name: %s
    kMsgNoSuchType = 1035,            // [Kelvra ODBC]No such type: %s
    kMsgTypeParamCount = 1036,        // [Kelvra ODBC]Invalid number of parameters for type: %s
    kMsgColumnAmbiguous = 1037,       // [Kelvra ODBC]Column found in multiple tables: %s
    kMsgNoDataFound = 1038,           // [Kelvra ODBC]No data found
    kMsgInvalidConnectString = 1039,  // [Kelvra ODBC]Invalid connection string
    kMsgUnableToConnect = 1040,       // [Kelvra ODBC]Unable to connect
    kMsgParameterMissing = 1041,      // [Kelvra ODBC]Parameter missing
    kMsgDescTypeRange = 1042,         // [Kelvra ODBC]Descriptor type out of range
    kMsgOptionTypeRange = 1043,       // [Kelvra ODBC]Option type out of range
    kMsgInfoTypeRange = 1044,         // [Kelvra ODBC]Info type out of range
    kMsgOrderByColumn = 1045,         // [Kelvra ODBC]Unable to ORDER BY this column: %s
    kMsgOrderByUnable = 1046,         // [Kelvra ODBC]Unable to do ORDER BY
    kMsgGroupByTooMany = 1047,        // [Kelvra ODBC]GROUP BY contains too many columns
    kMsgGroupByColumn = 1048,         // [Kelvra ODBC]Unable to GROUP BY this column: %s
    kMsgAggregateContext = 1049,  // [Kelvra ODBC]Aggregate function not allowed in this context: %s
    kMsgStarWithGroupBy = 1050,   // [Kelvra ODBC]SELECT * not allowed if there is a GROUP BY
    kMsgGroupByUnable = 1051,     // [Kelvra ODBC]Unable to do GROUP BY
    kMsgHavingWithoutGroup = 1052,    // [Kelvra ODBC]HAVING specified without a GROUP BY
    kMsgDivisionByZero = 1053,        // [Kelvra ODBC]Division by zero
    kMsgParamInSelectList = 1054,     // [Kelvra ODBC]Parameter cannot be used in select list
    kMsgConcatOverflow = 1055,        // [Kelvra ODBC]String concatenation overflow
    kMsgInvalidIndexName = 1056,      // [Kelvra ODBC]Invalid index name: %s
    kMsgIndexKeysTooMany = 1057,      // [Kelvra ODBC]To many key columns for index
    kMsgFunctionNotFound = 1058,      // [Kelvra ODBC]Scalar function not found: %s
    kMsgFunctionArgument = 1059,      // [Kelvra ODBC]Invalid argument to scalar function: %s
    kMsgFunctionNotSupported = 1060,  // [Kelvra ODBC]Scalar function not supported: %s
    kMsgTransactionActive = 1061,     // [Kelvra ODBC]Transaction still active
    kMsgDdlInTransaction = 1062,      // [Kelvra ODBC]DDL statement encountered within a transaction
    kMsgDdlIgnored = 1063,            // [Kelvra ODBC]DDL statement has been ignored
    kMsgCommittedBeforeDdl =
        1064,  // [Kelvra ODBC]Transaction committed before DDL statement was executed
    kMsgPreparedDdlDeleted = 1065,  // [Kelvra ODBC]Prepared DDL statement deleted (due to commit)
                                    // before it could be executed.
    kMsgSubqueryColumns = 1066,     // [Kelvra ODBC]SELECT sub-query returns more than one column.
    kMsgSubqueryRows = 1067,        // [Kelvra ODBC]SELECT sub-query returned more than one row.
    kMsgInvalidParamNumber = 1068,  // [Kelvra ODBC]Invalid parameter number.
    kMsgOptionChanged = 1069,       // [Kelvra ODBC]Option value changed.
    kMsgKeysetFailed = 1070,        // [Kelvra ODBC]Unable to create keyset.
    kMsgFetchTypeRange = 1071,      // [Kelvra ODBC]Fetch type out of range.
    kMsgInvalidBookmark = 1072,     // [Kelvra ODBC]Invalid bookmark value.
    kMsgRowRange = 1073,            // [Kelvra ODBC]Row value out of range.
    kMsgInvalidCursorPosition = 1074,  // [Kelvra ODBC]Invalid cursor position.
    kMsgCursorReadOnly = 1075,         // [Kelvra ODBC]Cursor is read-only.
    kMsgAssignToExpression = 1076,     // [Kelvra ODBC]Cannot assign value to an expression.
    kMsgOptionalFeature = 1077,        // [Kelvra ODBC]Optional feature not implemented.
    kMsgNotPrepared = 1078,            // [Kelvra ODBC]Associated statement is not prepared.
    kMsgSequenceError = 1079,          // [Kelvra ODBC]Function sequence error.
    kMsgModifyIrd = 1080,  // [Kelvra ODBC]Cannot modify an implementation row descriptor.
    kMsgAutoDescriptor =
        1081,  // [Kelvra ODBC]Invalid use of an automatically allocated descriptor handle.
    kMsgInvalidAttrValue = 1082,       // [Kelvra ODBC]Invalid attribute value.
    kMsgInvalidDescField = 1083,       // [Kelvra ODBC]Invalid descriptor field identifier.
    kMsgInvalidAttrId = 1084,          // [Kelvra ODBC]Invalid attribute identifier.
    kMsgFeatureNotImplemented = 1085,  // [Kelvra ODBC]Optional feature not implemented.
    kMsgIndicatorRequired = 1086,      // [Kelvra ODBC]Indicator variable required but not supplied.
    kMsgInvalidDescIndex = 1087,       // [Kelvra ODBC]Invalid descriptor index.
    kMsgPositionAddedRow = 1088,  // [Kelvra ODBC]Cannot position to a row you added to the row set.
    kMsgLikeTooLong = 1089,  // [Kelvra ODBC]Unable to do LIKE or NOT LIKE on columns with a size
                             // greater than 255: %s
    kMsgNoIdentity =
        1090,  // [Kelvra ODBC]No previous INSERT that would have created a new Record ID#.
    kMsgTimeout = 1091,               // [Kelvra ODBC]Timeout expired: %s (the login timeout)
    kMsgConnectionTimeout = 1092,     // [Kelvra ODBC]Connection timeout expired: %s
    kMsgInvalidAuthorization = 1093,  // [Kelvra ODBC]Invalid credentials: %s
    kMsgBeforeFirstRowset = 1094,     // [Kelvra ODBC]Fetch stopped at the first row of the result.
    kMsgInvalidEncoding = 1095,       // [Kelvra ODBC]Invalid text encoding: %s
};

// The table entry of a message in its text form: ODBC 2 SQLSTATE, blank, ODBC 3 SQLSTATE,
// blank, message text ("S1001 HY001 [Kelvra ODBC]Memory allocation error"). Entries 0 to 7
// and 1001 to 1095 exist; any other number yields an empty view.
std::string_view messageEntry(MsgNo number);

}  // namespace kelvra
