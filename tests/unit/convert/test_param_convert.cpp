#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "convert/calendar.h"
#include "convert/param_convert.h"

namespace kelvra {
namespace {

template <typename T>
MsgNo put(SQLSMALLINT cType, const T& value, const ParamMarker& marker, Value& out) {
    return convertParameter({cType, &value, SQLLEN(sizeof value)}, marker, out);
}

MsgNo putText(std::string_view text, const ParamMarker& marker, Value& out) {
    return convertParameter({SQL_C_CHAR, text.data(), SQLLEN(text.size())}, marker, out);
}

const ParamMarker kChar{ValueType::Char};
const ParamMarker kBinary{ValueType::Binary};
const ParamMarker kInteger{ValueType::Integer};
const ParamMarker kDouble{ValueType::Double};
const ParamMarker kDate{ValueType::Date};
const ParamMarker kTime{ValueType::Time};
const ParamMarker kTimestamp{ValueType::Timestamp};

TEST(ParamConvert, CharacterMarkersTakeTheTextOfEveryCType) {
    Value v;
    ASSERT_EQ(put(SQL_C_DATE, DateValue{2001, 7, 4}, kChar, v), kMsgNone);
    EXPECT_EQ(v, Value::ofChar("2001-07-04"));
    ASSERT_EQ(put(SQL_C_TYPE_TIMESTAMP, TimestampValue{2024, 2, 29, 13, 5, 9, 123456789}, kChar, v),
              kMsgNone);
    EXPECT_EQ(v.text, "2024-02-29 13:05:09.123");
    ASSERT_EQ(put(SQL_C_TIME, TimeValue{7, 0, 5}, kChar, v), kMsgNone);
    EXPECT_EQ(v.text, "07:00:05");
    ASSERT_EQ(put(SQL_C_UBIGINT, std::uint64_t(UINT64_MAX), kChar, v), kMsgNone);
    EXPECT_EQ(v.text, "18446744073709551615");
    ASSERT_EQ(put(SQL_C_SBIGINT, std::int64_t(INT64_MIN), kChar, v), kMsgNone);
    EXPECT_EQ(v.text, "-9223372036854775808");
    ASSERT_EQ(put(SQL_C_STINYINT, std::int8_t(-128), kChar, v), kMsgNone);
    EXPECT_EQ(v.text, "-128");
    ASSERT_EQ(put(SQL_C_DOUBLE, 12.5, kChar, v), kMsgNone);
    EXPECT_EQ(v.text, "12.5");
    ASSERT_EQ(put(SQL_C_FLOAT, 0.25f, kChar, v), kMsgNone);
    EXPECT_EQ(v.text, "0.25");
    SQL_NUMERIC_STRUCT n{};
    n.precision = 5;
    n.scale = 2;
    n.sign = 0;
    n.val[0] = 0x39;  // 12345
    n.val[1] = 0x30;
    ASSERT_EQ(put(SQL_C_NUMERIC, n, kChar, v), kMsgNone);
    EXPECT_EQ(v.text, "-123.45");
    n.scale = -2;
    n.sign = 1;
    ASSERT_EQ(put(SQL_C_NUMERIC, n, kChar, v), kMsgNone);
    EXPECT_EQ(v.text, "1234500");
    ASSERT_EQ(convertParameter({SQL_C_CHAR, "abc\0def", SQL_NTS}, kChar, v), kMsgNone);
    EXPECT_EQ(v.text, "abc");
    ASSERT_EQ(convertParameter({SQL_C_BINARY, "a\0b", 3}, kChar, v), kMsgNone);
    EXPECT_EQ(v.text, std::string("a\0b", 3));
    EXPECT_EQ(v.type, ValueType::Char);
    EXPECT_FALSE(v.isNull);
}

TEST(ParamConvert, NullAndLengths) {
    Value v = Value::ofChar("old");
    ASSERT_EQ(convertParameter({SQL_C_CHAR, "x", SQL_NULL_DATA}, kChar, v), kMsgNone);
    EXPECT_TRUE(v.isNull);
    EXPECT_EQ(v.type, ValueType::Char);
    v = Value::ofInteger(5);
    ASSERT_EQ(convertParameter({SQL_C_SLONG, nullptr, 4}, kInteger, v), kMsgNone);
    EXPECT_TRUE(v.isNull);
    EXPECT_EQ(convertParameter({SQL_C_CHAR, "x", -7}, kChar, v), kMsgAssignmentError);
    EXPECT_EQ(convertParameter({SQL_C_BINARY, "x", SQL_NTS}, kBinary, v), kMsgAssignmentError);
    // A length shorter than the text: only that many bytes (the source has no terminator).
    std::unique_ptr<char[]> exact(new char[4]);
    std::memcpy(exact.get(), "wxyz", 4);
    ASSERT_EQ(convertParameter({SQL_C_CHAR, exact.get(), 4}, kChar, v), kMsgNone);
    EXPECT_EQ(v.text, "wxyz");
    ASSERT_EQ(convertParameter({SQL_C_CHAR, exact.get(), 2}, kChar, v), kMsgNone);
    EXPECT_EQ(v.text, "wx");
}

// Data at execution: pieces appended at the running offset, the value growing past any fixed
// buffer size.
TEST(ParamConvert, PiecesAppendAtTheRunningOffset) {
    Value v;
    SQLLEN offset = 0;
    std::string expected;
    for (int i = 0; i < 40; ++i) {
        const std::string piece(37, char('a' + i % 26));
        ASSERT_EQ(
            convertParameter({SQL_C_CHAR, piece.data(), SQLLEN(piece.size())}, kChar, v, &offset),
            kMsgNone);
        expected += piece;
        EXPECT_EQ(offset, SQLLEN(expected.size()));
    }
    EXPECT_EQ(v.text, expected);
    // A number sent as a piece of a character value is appended as its text.
    ASSERT_EQ(convertParameter({SQL_C_SLONG, &offset, 4}, kChar, v, &offset), kMsgNone);
    EXPECT_EQ(v.text, expected + "1480");
    // A new value starts at offset 0 and replaces the old one.
    offset = 0;
    ASSERT_EQ(convertParameter({SQL_C_BINARY, "\x01\x02", 2}, kBinary, v, &offset), kMsgNone);
    ASSERT_EQ(convertParameter({SQL_C_BINARY, "\x03", 1}, kBinary, v, &offset), kMsgNone);
    EXPECT_EQ(v, Value::ofBinary("\x01\x02\x03"));
    EXPECT_EQ(offset, 3);
    // An offset beyond the value is a caller's fault, not a gap of garbage.
    offset = 10;
    EXPECT_EQ(convertParameter({SQL_C_BINARY, "\x04", 1}, kBinary, v, &offset), kMsgInternalError);
    // Other types come in one piece.
    offset = 0;
    ASSERT_EQ(convertParameter({SQL_C_CHAR, "12", 2}, kInteger, v, &offset), kMsgNone);
    EXPECT_EQ(v.number, 12.0);
    EXPECT_EQ(convertParameter({SQL_C_CHAR, "34", 2}, kInteger, v, &offset), kMsgConversionError);
    EXPECT_EQ(v.number, 12.0);
}

TEST(ParamConvert, BinaryMarkersTakeRawBytes) {
    Value v;
    const SQLINTEGER number = 0x01020304;
    ASSERT_EQ(put(SQL_C_SLONG, number, kBinary, v), kMsgNone);
    EXPECT_EQ(v.text.size(), 4u);
    EXPECT_EQ(std::memcmp(v.text.data(), &number, 4), 0);
    ASSERT_EQ(put(SQL_C_TIMESTAMP, TimestampValue{2001, 7, 4, 1, 2, 3, 4}, kBinary, v), kMsgNone);
    EXPECT_EQ(v.text.size(), 16u);
    ASSERT_EQ(put(SQL_C_NUMERIC, SQL_NUMERIC_STRUCT{}, kBinary, v), kMsgNone);
    EXPECT_EQ(v.text.size(), 19u);
    ASSERT_EQ(put(SQL_C_BIT, std::uint8_t(1), kBinary, v), kMsgNone);
    EXPECT_EQ(v, Value::ofBinary("\x01"));
}

TEST(ParamConvert, NumberMarkers) {
    Value v;
    ASSERT_EQ(put(SQL_C_UBIGINT, std::uint64_t(1) << 63, kDouble, v), kMsgNone);
    EXPECT_EQ(v.number, 9223372036854775808.0);
    EXPECT_EQ(v.type, ValueType::Double);
    ASSERT_EQ(putText(" -1.5e2 ", kInteger, v), kMsgNone);
    EXPECT_EQ(v.number, -150.0);
    EXPECT_EQ(v.type, ValueType::Integer);
    EXPECT_EQ(putText("12x", kInteger, v), kMsgMalformedNumber);
    EXPECT_EQ(putText("1.8E308", kDouble, v), kMsgOutOfRange);
    EXPECT_EQ(v.number, -150.0);  // unchanged by failures
    SQL_NUMERIC_STRUCT n{};
    n.scale = 1;
    n.sign = 1;
    n.val[0] = 25;
    ASSERT_EQ(put(SQL_C_NUMERIC, n, kDouble, v), kMsgNone);
    EXPECT_EQ(v.number, 2.5);
    EXPECT_EQ(put(SQL_C_DATE, DateValue{2001, 7, 4}, kDouble, v), kMsgConversionError);
    EXPECT_EQ(put(SQL_C_TIMESTAMP, TimestampValue{}, kInteger, v), kMsgConversionError);
    ASSERT_EQ(put(SQL_C_DEFAULT, SQLINTEGER(-7), kInteger, v), kMsgNone);  // default: SLONG
    EXPECT_EQ(v.number, -7.0);
}

TEST(ParamConvert, NumericMarkersKeepEveryDigit) {
    const ParamMarker numeric{ValueType::Numeric, 19, 2};
    Value v;
    ASSERT_EQ(putText("12345678901234567.891", numeric, v), kMsgTruncated);
    EXPECT_EQ(v, Value::ofNumeric("12345678901234567.89"));
    ASSERT_EQ(put(SQL_C_SBIGINT, std::int64_t(-12345678901234567), numeric, v), kMsgNone);
    EXPECT_EQ(v.text, "-12345678901234567.00");
    EXPECT_EQ(put(SQL_C_UBIGINT, std::uint64_t(UINT64_MAX), numeric, v), kMsgOutOfRange);
    ASSERT_EQ(put(SQL_C_DOUBLE, 0.125, numeric, v), kMsgTruncated);
    EXPECT_EQ(v.text, "0.13");
    EXPECT_EQ(putText("1..2", numeric, v), kMsgMalformedNumber);
    EXPECT_EQ(put(SQL_C_TIME, TimeValue{}, numeric, v), kMsgConversionError);
    // Without a precision the value keeps all its digits.
    ASSERT_EQ(putText("7", ParamMarker{ValueType::Numeric}, v), kMsgNone);
    EXPECT_EQ(v.text, "7");
    ASSERT_EQ(put(SQL_C_DOUBLE, 0.123456789, ParamMarker{ValueType::Numeric}, v), kMsgNone);
    EXPECT_EQ(v.text, "0.123456789");  // every digit of the double, not six places
}

TEST(ParamConvert, DateAndTimeMarkers) {
    Value v;
    ASSERT_EQ(putText("{d '2001-07-04'}", kDate, v), kMsgNone);
    EXPECT_EQ(v, Value::ofDate({2001, 7, 4}));
    ASSERT_EQ(put(SQL_C_TYPE_TIMESTAMP, TimestampValue{2024, 2, 29, 13, 5, 9, 1}, kDate, v),
              kMsgNone);
    EXPECT_EQ(v.date, (DateValue{2024, 2, 29}));
    ASSERT_EQ(put(SQL_C_TIMESTAMP, TimestampValue{2024, 2, 29, 13, 5, 9, 1}, kTime, v), kMsgNone);
    EXPECT_EQ(v, Value::ofTime({13, 5, 9}));
    ASSERT_EQ(put(SQL_C_BINARY, DateValue{2000, 2, 29}, kDate, v), kMsgNone);
    EXPECT_EQ(v.date, (DateValue{2000, 2, 29}));
    EXPECT_EQ(convertParameter({SQL_C_BINARY, "\x01\x02", 2}, kDate, v), kMsgOutOfRange);
    EXPECT_EQ(put(SQL_C_DATE, DateValue{2001, 2, 29}, kDate, v), kMsgOutOfRange);
    EXPECT_EQ(put(SQL_C_TIME, TimeValue{24, 0, 0}, kTime, v), kMsgOutOfRange);
    EXPECT_EQ(put(SQL_C_TIME, TimeValue{1, 0, 0}, kDate, v), kMsgConversionError);
    EXPECT_EQ(put(SQL_C_DATE, DateValue{2001, 1, 1}, kTime, v), kMsgConversionError);
    EXPECT_EQ(put(SQL_C_SLONG, SQLINTEGER(1), kDate, v), kMsgConversionError);
    EXPECT_EQ(putText("2001-07-04", kTime, v), kMsgConversionError);

    ASSERT_EQ(putText("--(*vendor(Microsoft),product(ODBC) ts '2024-02-29 23:59:59.999'*)--",
                      kTimestamp, v),
              kMsgNone);
    EXPECT_EQ(v, Value::ofTimestamp({2024, 2, 29, 23, 59, 59, 999000000}));
    ASSERT_EQ(put(SQL_C_DATE, DateValue{2001, 7, 4}, kTimestamp, v), kMsgNone);
    EXPECT_EQ(v.timestamp, (TimestampValue{2001, 7, 4, 0, 0, 0, 0}));
    const DateValue before = currentLocalDate();
    ASSERT_EQ(put(SQL_C_TIME, TimeValue{6, 7, 8}, kTimestamp, v), kMsgNone);
    const DateValue after = currentLocalDate();
    EXPECT_TRUE(datePart(v.timestamp) == before || datePart(v.timestamp) == after);
    EXPECT_EQ(timePart(v.timestamp), (TimeValue{6, 7, 8}));
    EXPECT_EQ(put(SQL_C_TIMESTAMP, TimestampValue{2024, 1, 1, 0, 0, 0, 1000000000}, kTimestamp, v),
              kMsgOutOfRange);
    EXPECT_EQ(put(SQL_C_DOUBLE, 1.0, kTimestamp, v), kMsgConversionError);
}

TEST(ParamConvert, MarkerAndCTypesThatTakeNothing) {
    Value v;
    EXPECT_EQ(putText("x", ParamMarker{ValueType::None}, v), kMsgNotSupported);
    EXPECT_EQ(putText("x", ParamMarker{ValueType(3)}, v), kMsgNotSupported);
    EXPECT_EQ(convertParameter({SQL_C_GUID, "x", 1}, kBinary, v), kMsgConversionError);
}

TEST(ParamConvert, WideCharactersAreTheirUtf8Text) {
    // "Zü" then U+1F600 as a surrogate pair, and a terminator.
    const SQLWCHAR wide[] = {0x5A, 0xFC, 0xD83D, 0xDE00, 0};
    Value v;
    ASSERT_EQ(convertParameter({SQL_C_WCHAR, wide, SQL_NTS}, kChar, v), kMsgNone);
    EXPECT_EQ(v.text, "Z\xC3\xBC\xF0\x9F\x98\x80");
    ASSERT_EQ(convertParameter({SQL_C_WCHAR, wide, 4}, kChar, v), kMsgNone);
    EXPECT_EQ(v.text, "Z\xC3\xBC");
    const SQLWCHAR digits[] = {'4', '2'};
    ASSERT_EQ(convertParameter({SQL_C_WCHAR, digits, 4}, ParamMarker{ValueType::Double}, v), kMsgNone);
    EXPECT_EQ(v.number, 42.0);
    // Half a code unit is no text.
    EXPECT_EQ(convertParameter({SQL_C_WCHAR, wide, 3}, kChar, v), kMsgAssignmentError);
}

}  // namespace
}  // namespace kelvra
