#include "resources/messages.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace kelvra {
namespace {

struct MessageEntry {
    MsgNo number;
    std::string_view entry;
};

// Sorted by number.
constexpr std::array<MessageEntry, 103> kMessages = {{
    {0, "00000 00000 "},
    {1, "S0000 S0000 [Kelvra ODBC]No data found"},
    {2, "01004 01004 [Kelvra ODBC]Data truncated"},
    {3, "S0000 S0000 [Kelvra ODBC]Not supported"},
    {4, "S0000 S0000 [Kelvra ODBC]error"},
    {5, "S0000 S0000 [Kelvra ODBC]No MSysConf table available"},
    {6, "S0000 S0000 [Kelvra ODBC]client/server version mismatch error"},
    {7, "S0000 S0000 [Kelvra ODBC]rizERU parameter error"},
    {1001, "S1001 HY001 [Kelvra ODBC]Memory allocation error"},
    {1002, "01004 01004 [Kelvra ODBC]Data truncated"},
    {1003, "IM001 IM001 [Kelvra ODBC]Not supported: %s"},
    {1004, "34000 34000 [Kelvra ODBC]Invalid cursor name"},
    {1005, "3C000 3C000 [Kelvra ODBC]Cursor name in use"},
    {1006, "08002 08002 [Kelvra ODBC]Connection in use"},
    {1007, "24000 24000 [Kelvra ODBC]Invalid cursor state"},
    {1008, "S1002 07009 [Kelvra ODBC]Invalid column id"},
    {1009, "07006 07006 [Kelvra ODBC]Conversion error"},
    {1010, "S1C00 IM001 [Kelvra ODBC]Driver not capable"},
    {1011, "22003 22003 [Kelvra ODBC]Out of range"},
    {1012, "22005 22018 [Kelvra ODBC]Assignment error"},
    {1013, "37000 42000 [Kelvra ODBC]Unexpected end of SQL statement"},
    {1014, "37000 42000 [Kelvra ODBC]Lexical element too large: %s"},
    {1015, "37000 42000 [Kelvra ODBC]SQL statement element missing: %s"},
    {1016, "37000 42000 [Kelvra ODBC]Malformed number: %s"},
    {1017, "37000 42000 [Kelvra ODBC]Unexpected extra token: %s"},
    {1018, "37000 42000 [Kelvra ODBC]Malformed escape clause: %s"},
    {1019, "S0000 S0000 [Kelvra ODBC]Internal error"},
    {1020, "S0000 S0000 [Kelvra ODBC]QuickBase error"},
    {1021, "S0000 S0000 [Kelvra ODBC]Column not found: %s"},
    {1022, "S0000 S0000 [Kelvra ODBC]Table not found: %s"},
    {1023, "S0000 S0000 [Kelvra ODBC]Data type of parameter cannot be determined"},
    {1024, "S0000 S0000 [Kelvra ODBC]Invalid operand for operator: %s"},
    {1025, "S0000 S0000 [Kelvra ODBC]Invalid table name: %s"},
    {1026, "S0000 S0000 [Kelvra ODBC]ORDER BY ordinal greater than select list count"},
    {1027, "S0000 S0000 [Kelvra ODBC]ORDER BY contains too many columns"},
    {1028, "S0000 S0000 [Kelvra ODBC]Cannot ORDER BY an expression"},
    {1029, "S0000 S0000 [Kelvra ODBC]Unequal number of insert columns and insert values"},
    {1030, "S0000 S0000 [Kelvra ODBC]Insert value must be a simple value"},
    {1031, "S0000 S0000 [Kelvra ODBC]Value in an IN expression must be a simple value"},
    {1032, "S0000 S0000 [Kelvra ODBC]Table alias used multiple times: %s"},
    {1033, "S0000 S0000 [Kelvra ODBC]Column on list multiple times: %s"},
    {1034, "S0000 S0000 [Kelvra ODBC]Invalid column name: %s"},
    {1035, "S0000 S0000 [Kelvra ODBC]No such type: %s"},
    {1036, "S0000 S0000 [Kelvra ODBC]Invalid number of parameters for type: %s"},
    {1037, "S0000 S0000 [Kelvra ODBC]Column found in multiple tables: %s"},
    {1038, "S0000 S0000 [Kelvra ODBC]No data found"},
    {1039, "S0000 S0000 [Kelvra ODBC]Invalid connection string"},
    {1040, "08001 08001 [Kelvra ODBC]Unable to connect"},
    {1041, "07001 07002 [Kelvra ODBC]Parameter missing"},
    {1042, "S1091 HY091 [Kelvra ODBC]Descriptor type out of range"},
    {1043, "S1092 HY092 [Kelvra ODBC]Option type out of range"},
    {1044, "S1096 HY096 [Kelvra ODBC]Info type out of range"},
    {1045, "S0000 S0000 [Kelvra ODBC]Unable to ORDER BY this column: %s"},
    {1046, "S0000 S0000 [Kelvra ODBC]Unable to do ORDER BY"},
    {1047, "S0000 S0000 [Kelvra ODBC]GROUP BY contains too many columns"},
    {1048, "S0000 S0000 [Kelvra ODBC]Unable to GROUP BY this column: %s"},
    {1049, "S0000 S0000 [Kelvra ODBC]Aggregate function not allowed in this context: %s"},
    {1050, "S0000 S0000 [Kelvra ODBC]SELECT * not allowed if there is a GROUP BY"},
    {1051, "S0000 S0000 [Kelvra ODBC]Unable to do GROUP BY"},
    {1052, "S0000 S0000 [Kelvra ODBC]HAVING specified without a GROUP BY"},
    {1053, "S1096 22012 [Kelvra ODBC]Division by zero"},
    {1054, "S0000 S0000 [Kelvra ODBC]Parameter cannot be used in select list"},
    {1055, "S0000 S0000 [Kelvra ODBC]String concatenation overflow"},
    {1056, "S0000 S0000 [Kelvra ODBC]Invalid index name: %s"},
    {1057, "S0000 S0000 [Kelvra ODBC]To many key columns for index"},
    {1058, "S0000 S0000 [Kelvra ODBC]Scalar function not found: %s"},
    {1059, "S0000 S0000 [Kelvra ODBC]Invalid argument to scalar function: %s"},
    {1060, "S0000 S0000 [Kelvra ODBC]Scalar function not supported: %s"},
    {1061, "25000 25000 [Kelvra ODBC]Transaction still active"},
    {1062, "S0000 S0000 [Kelvra ODBC]DDL statement encountered within a transaction"},
    {1063, "01000 01000 [Kelvra ODBC]DDL statement has been ignored"},
    {1064, "01000 01000 [Kelvra ODBC]Transaction committed before DDL statement was executed"},
    {1065,
     "S0000 S0000 [Kelvra ODBC]Prepared DDL statement deleted (due to commit) before it could be "
     "executed."},
    {1066, "S0000 S0000 [Kelvra ODBC]SELECT sub-query returns more than one column."},
    {1067, "S0000 S0000 [Kelvra ODBC]SELECT sub-query returned more than one row."},
    {1068, "S1093 07009 [Kelvra ODBC]Invalid parameter number."},
    {1069, "01S02 01S02 [Kelvra ODBC]Option value changed."},
    {1070, "S0000 S0000 [Kelvra ODBC]Unable to create keyset."},
    {1071, "S1106 HY106 [Kelvra ODBC]Fetch type out of range."},
    {1072, "S1111 HY111 [Kelvra ODBC]Invalid bookmark value."},
    {1073, "S1107 S1107 [Kelvra ODBC]Row value out of range."},
    {1074, "S1109 S1109 [Kelvra ODBC]Invalid cursor position."},
    {1075, "S0000 S0000 [Kelvra ODBC]Cursor is read-only."},
    {1076, "S0000 S0000 [Kelvra ODBC]Cannot assign value to an expression."},
    {1077, "S1C00 HYC00 [Kelvra ODBC]Optional feature not implemented."},
    {1078, "S0000 HY007 [Kelvra ODBC]Associated statement is not prepared."},
    {1079, "S1010 HY010 [Kelvra ODBC]Function sequence error."},
    {1080, "S0000 HY016 [Kelvra ODBC]Cannot modify an implementation row descriptor."},
    {1081, "S0000 HY017 [Kelvra ODBC]Invalid use of an automatically allocated descriptor handle."},
    {1082, "S1009 HY024 [Kelvra ODBC]Invalid attribute value."},
    {1083, "S1009 HY091 [Kelvra ODBC]Invalid descriptor field identifier."},
    {1084, "S1009 HY092 [Kelvra ODBC]Invalid attribute identifier."},
    {1085, "S1C00 HYC00 [Kelvra ODBC]Optional feature not implemented."},
    {1086, "S0000 22002 [Kelvra ODBC]Indicator variable required but not supplied."},
    {1087, "S0000 07009 [Kelvra ODBC]Invalid descriptor index."},
    {1088, "S0000 S0000 [Kelvra ODBC]Cannot position to a row you added to the row set."},
    {1089,
     "S0000 S0000 [Kelvra ODBC]Unable to do LIKE or NOT LIKE on columns with a size greater than "
     "255: %s"},
    {1090, "S0000 S0000 [Kelvra ODBC]No previous INSERT that would have created a new Record ID#."},
    {1091, "S1T00 HYT00 [Kelvra ODBC]Timeout expired: %s"},
    {1092, "S1T00 HYT01 [Kelvra ODBC]Connection timeout expired: %s"},
    {1093, "28000 28000 [Kelvra ODBC]Invalid credentials: %s"},
    {1094, "01S06 01S06 [Kelvra ODBC]Fetch stopped at the first row of the result."},
    {1095, "22021 22021 [Kelvra ODBC]Invalid text encoding: %s"},
}};

}  // namespace

std::string_view messageEntry(MsgNo number) {
    auto it = std::lower_bound(kMessages.begin(), kMessages.end(), number,
                               [](const MessageEntry& e, MsgNo n) { return e.number < n; });
    if (it == kMessages.end() || it->number != number) return {};
    return it->entry;
}

}  // namespace kelvra
