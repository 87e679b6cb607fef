#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "convert/calendar.h"
#include "convert/result_convert.h"
#include "convert/type_codes.h"
#include "int128_text.h"

namespace kelvra {
namespace {

// A client buffer that catches writes past its end: under the address sanitizer it is exactly
// `size` bytes and the sanitizer watches its end; in the plain build guard bytes follow it and
// must stay untouched.
#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t kGuard = 0;
#else
constexpr std::size_t kGuard = 16;
#endif

class Buffer {
  public:
    explicit Buffer(std::size_t size) : size_(size), bytes_(new unsigned char[size + kGuard]) {
        std::memset(bytes_.get(), 0xAB, size + kGuard);
    }
    void* data() { return bytes_.get(); }
    SQLLEN size() const { return SQLLEN(size_); }
    bool guardIntact() const {
        for (std::size_t i = size_; i < size_ + kGuard; ++i) {
            if (bytes_[i] != 0xAB) return false;
        }
        return true;
    }
    std::string text() const { return reinterpret_cast<const char*>(bytes_.get()); }
    template <typename T>
    T as() const {
        T value;
        std::memcpy(&value, bytes_.get(), sizeof value);
        return value;
    }

  private:
    std::size_t size_;
    std::unique_ptr<unsigned char[]> bytes_;
};

struct Outcome {
    MsgNo status;
    SQLLEN length;
};

Outcome convert(const SqlSource& source, SQLSMALLINT cType, Buffer& buffer, SQLLEN offset = 0,
                SQLLEN bufferLength = -1) {
    SQLLEN length = 12345;
    const ClientBuffer target{cType, buffer.data(), bufferLength < 0 ? buffer.size() : bufferLength,
                              &length};
    const MsgNo status = convertResult(source, target, offset);
    EXPECT_TRUE(buffer.guardIntact()) << "wrote past the buffer";
    return {status, length};
}

SqlSource text(const std::string& value) {
    return {SQL_VARCHAR, false, value.data(), SQLLEN(value.size())};
}

SqlSource number(const double& value) {
    return {SQL_DOUBLE, false, &value, 8};
}

constexpr SQLSMALLINT kAllCTypes[] = {
    SQL_C_UTINYINT,  SQL_C_UBIGINT,   SQL_C_STINYINT,       SQL_C_SBIGINT, SQL_C_ULONG,
    SQL_C_USHORT,    SQL_C_SLONG,     SQL_C_SSHORT,         SQL_C_BIT,     SQL_C_TINYINT,
    SQL_C_BINARY,    SQL_C_CHAR,      SQL_C_NUMERIC,        SQL_C_LONG,    SQL_C_SHORT,
    SQL_C_FLOAT,     SQL_C_DOUBLE,    SQL_C_DATE,           SQL_C_TIME,    SQL_C_TIMESTAMP,
    SQL_C_TYPE_DATE, SQL_C_TYPE_TIME, SQL_C_TYPE_TIMESTAMP, SQL_C_DEFAULT};

TEST(ResultConvert, EdgeCasesOfTheConverter) {
    Buffer buffer(32);
    const TimestampValue ts{2024, 2, 29, 13, 5, 9, 123456789};
    Outcome r = convert({SQL_TYPE_TIMESTAMP, false, &ts, 16}, SQL_C_CHAR, buffer);
    EXPECT_EQ(r.status, kMsgNone);
    EXPECT_EQ(buffer.text(), "2024-02-29 13:05:09.123");
    EXPECT_EQ(r.length, 23);

    Buffer twenty(20);
    r = convert(number(1e-7), SQL_C_CHAR, twenty);
    EXPECT_EQ(r.status, kMsgNone);
    EXPECT_EQ(twenty.text(), "1.000000E-07");

    r = convert(text(" -12.75 "), SQL_C_SLONG, buffer);
    EXPECT_EQ(r.status, kMsgTruncated);
    EXPECT_EQ(buffer.as<SQLINTEGER>(), -12);
    EXPECT_EQ(r.length, 4);
    EXPECT_EQ(convert(text("12x"), SQL_C_SLONG, buffer).status, kMsgAssignmentError);

    EXPECT_EQ(convert(number(300), SQL_C_UTINYINT, buffer).status, kMsgOutOfRange);
    EXPECT_EQ(convert(number(-1), SQL_C_ULONG, buffer).status, kMsgOutOfRange);

    const DateValue date{2001, 7, 4};
    EXPECT_EQ(convert({SQL_TYPE_DATE, false, &date, 6}, SQL_C_TIME, buffer).status,
              kMsgConversionError);

    Buffer eight(8);
    std::memset(eight.data(), 0x7F, 8);
    r = convert({SQL_DOUBLE, false, nullptr, SQL_NULL_DATA}, SQL_C_DOUBLE, eight);
    EXPECT_EQ(r.status, kMsgNone);
    EXPECT_EQ(eight.as<double>(), 0.0);
    EXPECT_EQ(r.length, SQL_NULL_DATA);
}

struct IntegerTarget {
    SQLSMALLINT cType;
    __int128 min;
    __int128 max;
    std::size_t size;
};

__int128 stored(const Buffer& buffer, const IntegerTarget& target) {
    const bool isSigned = target.min < 0;
    switch (target.size) {
        case 1:
            return isSigned ? __int128(buffer.as<std::int8_t>()) : buffer.as<std::uint8_t>();
        case 2:
            return isSigned ? __int128(buffer.as<std::int16_t>()) : buffer.as<std::uint16_t>();
        case 4:
            return isSigned ? __int128(buffer.as<std::int32_t>()) : buffer.as<std::uint32_t>();
        default:
            return isSigned ? __int128(buffer.as<std::int64_t>()) : buffer.as<std::uint64_t>();
    }
}

// One below, at and one above each end of every integer target, from text (exact) and, where a
// double holds the bounds exactly, from a double.
TEST(ResultConvert, IntegerTargetsCheckTheirRange) {
    const IntegerTarget targets[] = {
        {SQL_C_UTINYINT, 0, 255, 1},
        {SQL_C_STINYINT, -128, 127, 1},
        {SQL_C_TINYINT, -128, 127, 1},
        {SQL_C_BIT, 0, 1, 1},
        {SQL_C_USHORT, 0, 65535, 2},
        {SQL_C_SSHORT, -32768, 32767, 2},
        {SQL_C_SHORT, -32768, 32767, 2},
        {SQL_C_ULONG, 0, 4294967295LL, 4},
        {SQL_C_SLONG, -2147483648LL, 2147483647LL, 4},
        {SQL_C_LONG, -2147483648LL, 2147483647LL, 4},
        {SQL_C_UBIGINT, 0, __int128(UINT64_MAX), 8},
        {SQL_C_SBIGINT, __int128(INT64_MIN), __int128(INT64_MAX), 8},
    };
    for (const IntegerTarget& t : targets) {
        for (__int128 v : {t.min - 1, t.min, t.max, t.max + 1}) {
            const bool inside = v >= t.min && v <= t.max;
            const std::string digits = int128Text(v);
            Buffer buffer(t.size);
            const Outcome r = convert(text(digits), t.cType, buffer);
            ASSERT_EQ(r.status, inside ? kMsgNone : kMsgOutOfRange) << t.cType << " " << digits;
            if (inside) {
                EXPECT_EQ(stored(buffer, t), v) << t.cType << " " << digits;
                EXPECT_EQ(r.length, SQLLEN(t.size));
            }
            if (t.size < 8) {
                Buffer fromDouble(t.size);
                EXPECT_EQ(convert(number(double(v)), t.cType, fromDouble).status,
                          inside ? kMsgNone : kMsgOutOfRange)
                    << t.cType << " " << digits;
                if (inside) {
                    EXPECT_EQ(stored(fromDouble, t), v);
                }
            }
        }
    }
    Buffer big(8);
    // 2^63 as a double is just out of the signed 64-bit range; the largest double below it is in.
    EXPECT_EQ(convert(number(9223372036854775808.0), SQL_C_SBIGINT, big).status, kMsgOutOfRange);
    ASSERT_EQ(convert(number(9223372036854774784.0), SQL_C_SBIGINT, big).status, kMsgNone);
    EXPECT_EQ(big.as<std::int64_t>(), 9223372036854774784LL);
    EXPECT_EQ(convert(number(1.0 / 0.0), SQL_C_SBIGINT, big).status, kMsgOutOfRange);
    EXPECT_EQ(convert(number(0.0 / 0.0), SQL_C_SLONG, big).status, kMsgOutOfRange);
}

TEST(ResultConvert, FractionsAreTruncatedTowardZeroWithAWarning) {
    Buffer buffer(8);
    Outcome r = convert(number(-2.75), SQL_C_SSHORT, buffer);
    EXPECT_EQ(r.status, kMsgTruncated);
    EXPECT_EQ(buffer.as<std::int16_t>(), -2);
    r = convert(number(2.5), SQL_C_SBIGINT, buffer);
    EXPECT_EQ(r.status, kMsgTruncated);
    EXPECT_EQ(buffer.as<std::int64_t>(), 2);
    r = convert(number(0.5), SQL_C_BIT, buffer);
    EXPECT_EQ(r.status, kMsgTruncated);
    EXPECT_EQ(buffer.as<std::uint8_t>(), 0);
    r = convert(text("12.00"), SQL_C_SLONG, buffer);  // zeros after the point drop nothing
    EXPECT_EQ(r.status, kMsgNone);
    EXPECT_EQ(buffer.as<SQLINTEGER>(), 12);
    r = convert(text("1.5e1"), SQL_C_UTINYINT, buffer);
    EXPECT_EQ(r.status, kMsgNone);
    EXPECT_EQ(buffer.as<std::uint8_t>(), 15);
    EXPECT_EQ(convert(text("1e400"), SQL_C_SLONG, buffer).status, kMsgOutOfRange);
}

TEST(ResultConvert, FloatingTargets) {
    Buffer buffer(8);
    EXPECT_EQ(convert(number(1e39), SQL_C_FLOAT, buffer).status, kMsgOutOfRange);
    ASSERT_EQ(convert(number(-2.5), SQL_C_FLOAT, buffer).status, kMsgNone);
    EXPECT_EQ(buffer.as<float>(), -2.5f);
    ASSERT_EQ(convert(text(" 1.25E2 "), SQL_C_DOUBLE, buffer).status, kMsgNone);
    EXPECT_EQ(buffer.as<double>(), 125.0);
    EXPECT_EQ(convert(text("1e309"), SQL_C_DOUBLE, buffer).status, kMsgOutOfRange);
    EXPECT_EQ(convert(text("1,5"), SQL_C_DOUBLE, buffer).status, kMsgAssignmentError);
    const SQLINTEGER big = 2147483647;
    ASSERT_EQ(convert({SQL_INTEGER, false, &big, 4}, SQL_C_DOUBLE, buffer).status, kMsgNone);
    EXPECT_EQ(buffer.as<double>(), 2147483647.0);
}

TEST(ResultConvert, NumbersAsText) {
    Buffer buffer(16);
    const SQLUINTEGER big = 4294967295u;
    Outcome r = convert({SQL_INTEGER, true, &big, 4}, SQL_C_CHAR, buffer);
    EXPECT_EQ(buffer.text(), "4294967295");
    EXPECT_EQ(r.length, 10);
    const SQLSMALLINT negative = -32768;
    convert({SQL_SMALLINT, false, &negative, 2}, SQL_C_CHAR, buffer);
    EXPECT_EQ(buffer.text(), "-32768");
    const float real = 0.1f;
    convert({SQL_REAL, false, &real, 4}, SQL_C_CHAR, buffer);
    EXPECT_EQ(buffer.text(), "0.1");
    // Too long for the plain form, the exponent form fits; shorter still, it is cut.
    Buffer small(13);
    r = convert(number(123456789012345.0), SQL_C_CHAR, small);
    EXPECT_EQ(r.status, kMsgNone);
    EXPECT_EQ(small.text(), "1.234568E+14");
    Buffer tiny(5);
    r = convert(number(123456789012345.0), SQL_C_CHAR, tiny);
    EXPECT_EQ(r.status, kMsgTruncated);
    EXPECT_EQ(tiny.text(), "1.23");
    EXPECT_EQ(r.length, 12);
    SQLLEN length = 0;
    const double value = 123456789012345.0;
    EXPECT_EQ(convertResult(number(value), {SQL_C_CHAR, nullptr, 0, &length}), kMsgTruncated);
    EXPECT_EQ(length, 15);  // asked for the length alone: the plain form's
}

// Which C types each source SQL type goes to; every other pair is a conversion error.
TEST(ResultConvert, ConversionMatrix) {
    const std::set<SQLSMALLINT> numberTargets = {
        SQL_C_UTINYINT, SQL_C_UBIGINT, SQL_C_STINYINT, SQL_C_SBIGINT, SQL_C_ULONG,  SQL_C_USHORT,
        SQL_C_SLONG,    SQL_C_SSHORT,  SQL_C_BIT,      SQL_C_TINYINT, SQL_C_BINARY, SQL_C_CHAR,
        SQL_C_NUMERIC,  SQL_C_LONG,    SQL_C_SHORT,    SQL_C_FLOAT,   SQL_C_DOUBLE, SQL_C_DEFAULT};
    const std::set<SQLSMALLINT> dateTargets = {
        SQL_C_BINARY,    SQL_C_CHAR,           SQL_C_DATE,   SQL_C_TYPE_DATE,
        SQL_C_TIMESTAMP, SQL_C_TYPE_TIMESTAMP, SQL_C_DEFAULT};
    const std::set<SQLSMALLINT> timeTargets = {
        SQL_C_BINARY,    SQL_C_CHAR,           SQL_C_TIME,   SQL_C_TYPE_TIME,
        SQL_C_TIMESTAMP, SQL_C_TYPE_TIMESTAMP, SQL_C_DEFAULT};
    std::set<SQLSMALLINT> timestampTargets = dateTargets;
    timestampTargets.insert({SQL_C_TIME, SQL_C_TYPE_TIME});

    const std::uint8_t one8 = 1;
    const std::int16_t one16 = 1;
    const std::int32_t one32 = 1;
    const float oneF = 1;
    const double oneD = 1;
    const DateValue date{2001, 7, 4};
    const TimeValue time{13, 5, 9};
    const TimestampValue ts{2001, 7, 4, 13, 5, 9, 0};
    struct Source {
        SqlSource source;
        const std::set<SQLSMALLINT>* accepted;
    } sources[] = {
        {{SQL_BIT, false, &one8, 1}, &numberTargets},
        {{SQL_TINYINT, false, &one8, 1}, &numberTargets},
        {{SQL_SMALLINT, false, &one16, 2}, &numberTargets},
        {{SQL_INTEGER, false, &one32, 4}, &numberTargets},
        {{SQL_REAL, false, &oneF, 4}, &numberTargets},
        {{SQL_FLOAT, false, &oneD, 8}, &numberTargets},
        {{SQL_DOUBLE, false, &oneD, 8}, &numberTargets},
        {{SQL_DATE, false, &date, 6}, &dateTargets},
        {{SQL_TYPE_DATE, false, &date, 6}, &dateTargets},
        {{SQL_TIME, false, &time, 6}, &timeTargets},
        {{SQL_TYPE_TIME, false, &time, 6}, &timeTargets},
        {{SQL_TIMESTAMP, false, &ts, 16}, &timestampTargets},
        {{SQL_TYPE_TIMESTAMP, false, &ts, 16}, &timestampTargets},
    };
    for (const Source& s : sources) {
        for (SQLSMALLINT cType : kAllCTypes) {
            Buffer buffer(64);
            const MsgNo status = convert(s.source, cType, buffer).status;
            if (s.accepted->count(cType)) {
                EXPECT_EQ(status, kMsgNone) << s.source.sqlType << " to " << cType;
            } else {
                EXPECT_EQ(status, kMsgConversionError) << s.source.sqlType << " to " << cType;
            }
        }
        Buffer buffer(64);
        for (SQLSMALLINT unknown : std::initializer_list<SQLSMALLINT>{
                 SQL_C_GUID, SQL_C_INTERVAL_DAY, SQLSMALLINT(0)}) {
            EXPECT_EQ(convert(s.source, unknown, buffer).status, kMsgConversionError) << unknown;
        }
    }
    // Text and binary go to every C type that holds a value, and to no other.
    for (SQLSMALLINT sqlType : {SQL_VARCHAR, SQL_VARBINARY}) {
        Buffer buffer(64);
        EXPECT_EQ(convert({sqlType, false, "1", 1}, SQL_C_GUID, buffer).status,
                  kMsgConversionError);
    }
    // Source types the converter does not take, whatever the target.
    const std::int64_t big = 1;
    for (SQLSMALLINT sqlType : std::initializer_list<SQLSMALLINT>{
             SQL_BIGINT, SQL_NUMERIC, SQL_DECIMAL, SQL_WCHAR, SQLSMALLINT(0)}) {
        for (SQLSMALLINT cType : kAllCTypes) {
            Buffer buffer(64);
            EXPECT_EQ(convert({sqlType, false, &big, 8}, cType, buffer).status, kMsgNotCapable)
                << sqlType << " to " << cType;
        }
    }
}

TEST(ResultConvert, TextGoesEverywhere) {
    Buffer buffer(32);
    ASSERT_EQ(convert(text("{d '2001-07-04'}"), SQL_C_TYPE_DATE, buffer).status, kMsgNone);
    EXPECT_EQ(buffer.as<DateValue>(), (DateValue{2001, 7, 4}));
    ASSERT_EQ(convert(text("13:05:09"), SQL_C_TIME, buffer).status, kMsgNone);
    EXPECT_EQ(buffer.as<TimeValue>(), (TimeValue{13, 5, 9}));
    ASSERT_EQ(convert(text("2024-02-29 13:05:09.5"), SQL_C_TIMESTAMP, buffer).status, kMsgNone);
    EXPECT_EQ(buffer.as<TimestampValue>(), (TimestampValue{2024, 2, 29, 13, 5, 9, 500000000}));
    EXPECT_EQ(convert(text("2023-02-29"), SQL_C_DATE, buffer).status, kMsgConversionError);
    ASSERT_EQ(convert(text("1"), SQL_C_BIT, buffer).status, kMsgNone);
    EXPECT_EQ(buffer.as<std::uint8_t>(), 1);
    EXPECT_EQ(convert(text("2"), SQL_C_BIT, buffer).status, kMsgOutOfRange);
    Outcome r = convert(text("abc"), SQL_C_DEFAULT, buffer);
    EXPECT_EQ(buffer.text(), "abc");
    EXPECT_EQ(r.length, 3);
}

TEST(ResultConvert, DatesAndTimesBetweenEachOther) {
    Buffer buffer(32);
    const TimestampValue ts{2024, 2, 29, 13, 5, 9, 123456789};
    ASSERT_EQ(convert({SQL_TIMESTAMP, false, &ts, 16}, SQL_C_DATE, buffer).status, kMsgNone);
    EXPECT_EQ(buffer.as<DateValue>(), (DateValue{2024, 2, 29}));
    ASSERT_EQ(convert({SQL_TIMESTAMP, false, &ts, 16}, SQL_C_TYPE_TIME, buffer).status, kMsgNone);
    EXPECT_EQ(buffer.as<TimeValue>(), (TimeValue{13, 5, 9}));
    const DateValue date{2001, 7, 4};
    ASSERT_EQ(convert({SQL_DATE, false, &date, 6}, SQL_C_TYPE_TIMESTAMP, buffer).status, kMsgNone);
    EXPECT_EQ(buffer.as<TimestampValue>(), (TimestampValue{2001, 7, 4, 0, 0, 0, 0}));
    const TimeValue time{8, 30, 0};
    const DateValue before = currentLocalDate();
    ASSERT_EQ(convert({SQL_TIME, false, &time, 6}, SQL_C_TIMESTAMP, buffer).status, kMsgNone);
    const DateValue after = currentLocalDate();
    const TimestampValue got = buffer.as<TimestampValue>();
    EXPECT_TRUE(datePart(got) == before || datePart(got) == after);  // today, at the time
    EXPECT_EQ(timePart(got), time);
    Outcome r = convert({SQL_DATE, false, &date, 6}, SQL_C_DEFAULT, buffer);
    EXPECT_EQ(r.length, 6);
    EXPECT_EQ(buffer.as<DateValue>(), date);
    r = convert({SQL_TYPE_TIME, false, &time, 6}, SQL_C_CHAR, buffer);
    EXPECT_EQ(buffer.text(), "08:30:00");
    r = convert({SQL_TYPE_DATE, false, &date, 6}, SQL_C_BINARY, buffer);
    EXPECT_EQ(r.length, 6);
    EXPECT_EQ(buffer.as<DateValue>(), date);
}

// A 10-byte text read through a 4-byte character buffer, then a 4-byte binary buffer.
TEST(ResultConvert, PiecewiseTransfersAcrossBufferBoundaries) {
    const std::string value = "abcdefghij";
    // The source without a terminator: reading past its length would be seen by the sanitizer.
    std::unique_ptr<char[]> exact(new char[value.size()]);
    std::memcpy(exact.get(), value.data(), value.size());
    const SqlSource source{SQL_LONGVARCHAR, false, exact.get(), SQLLEN(value.size())};
    Buffer buffer(4);
    const struct {
        SQLLEN offset;
        const char* piece;
        SQLLEN length;
        MsgNo status;
    } chars[] = {{0, "abc", 10, kMsgTruncated}, {3, "def", 7, kMsgTruncated},
                 {6, "ghi", 4, kMsgTruncated},  {9, "j", 1, kMsgNone},
                 {10, "", 0, kMsgNone},         {25, "", 0, kMsgNone}};
    for (const auto& step : chars) {
        const Outcome r = convert(source, SQL_C_CHAR, buffer, step.offset);
        EXPECT_EQ(r.status, step.status) << step.offset;
        EXPECT_EQ(r.length, step.length) << step.offset;
        EXPECT_EQ(buffer.text(), step.piece) << step.offset;
    }
    const struct {
        SQLLEN offset;
        const char* piece;
        SQLLEN length;
        MsgNo status;
    } bytes[] = {
        {0, "abcd", 10, kMsgTruncated}, {4, "efgh", 6, kMsgTruncated}, {8, "ij", 2, kMsgNone}};
    for (const auto& step : bytes) {
        std::memset(buffer.data(), 0, 4);
        const Outcome r =
            convert({SQL_VARBINARY, false, exact.get(), 10}, SQL_C_BINARY, buffer, step.offset);
        EXPECT_EQ(r.status, step.status) << step.offset;
        EXPECT_EQ(r.length, step.length) << step.offset;
        EXPECT_EQ(std::string(static_cast<const char*>(buffer.data()), std::strlen(step.piece)),
                  step.piece);
    }
    // Buffer lengths of 1, 0 and below write nothing but the terminator (or nothing at all).
    Outcome r = convert(source, SQL_C_CHAR, buffer, 0, 1);
    EXPECT_EQ(r.status, kMsgTruncated);
    EXPECT_EQ(buffer.text(), "");
    std::memset(buffer.data(), 'x', 4);
    r = convert(source, SQL_C_CHAR, buffer, 0, 0);
    EXPECT_EQ(r.status, kMsgTruncated);
    EXPECT_EQ(r.length, 10);
    EXPECT_EQ(static_cast<const char*>(buffer.data())[0], 'x');
    r = convert(source, SQL_C_BINARY, buffer, 0, -5);
    EXPECT_EQ(r.status, kMsgTruncated);
    // No data pointer: only the length.
    SQLLEN length = 0;
    EXPECT_EQ(convertResult(source, {SQL_C_CHAR, nullptr, 0, &length}), kMsgTruncated);
    EXPECT_EQ(length, 10);
    // SQL_NTS: up to the terminator.
    r = convert({SQL_CHAR, false, "xyz\0tail", SQL_NTS}, SQL_C_CHAR, buffer);
    EXPECT_EQ(buffer.text(), "xyz");
    EXPECT_EQ(r.length, 3);
    EXPECT_EQ(convert({SQL_CHAR, false, "xyz", -7}, SQL_C_CHAR, buffer).status, kMsgInternalError);
}

TEST(ResultConvert, BinarySourcesCopyTheirBytes) {
    Buffer buffer(16);
    const SQLINTEGER value = -5;
    ASSERT_EQ(convert({SQL_BINARY, false, &value, 4}, SQL_C_SLONG, buffer).status, kMsgNone);
    EXPECT_EQ(buffer.as<SQLINTEGER>(), -5);
    EXPECT_EQ(convert({SQL_BINARY, false, &value, 3}, SQL_C_SLONG, buffer).status, kMsgOutOfRange);
    EXPECT_EQ(convert({SQL_BINARY, false, &value, 4}, SQL_C_DOUBLE, buffer).status, kMsgOutOfRange);
    // A number into a binary buffer: the bytes of its own C type.
    const std::int16_t small = 0x1234;
    const Outcome r = convert({SQL_SMALLINT, false, &small, 2}, SQL_C_BINARY, buffer);
    EXPECT_EQ(r.length, 2);
    EXPECT_EQ(buffer.as<std::int16_t>(), 0x1234);
}

TEST(ResultConvert, NumericStructs) {
    Buffer buffer(sizeof(SQL_NUMERIC_STRUCT));
    Outcome r = convert(text("-12.345"), SQL_C_NUMERIC, buffer);
    ASSERT_EQ(r.status, kMsgNone);
    EXPECT_EQ(r.length, 19);
    SQL_NUMERIC_STRUCT n = buffer.as<SQL_NUMERIC_STRUCT>();
    EXPECT_EQ(n.precision, 5);
    EXPECT_EQ(n.scale, 3);
    EXPECT_EQ(n.sign, 0);
    EXPECT_EQ(n.val[0], 12345 & 0xff);
    EXPECT_EQ(n.val[1], 12345 >> 8);
    EXPECT_EQ(n.val[2], 0);

    const SQLUINTEGER big = 4294967295u;
    ASSERT_EQ(convert({SQL_INTEGER, true, &big, 4}, SQL_C_NUMERIC, buffer).status, kMsgNone);
    n = buffer.as<SQL_NUMERIC_STRUCT>();
    EXPECT_EQ(n.sign, 1);
    EXPECT_EQ(n.scale, 0);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(n.val[i], 0xff);
    EXPECT_EQ(n.val[4], 0);

    // The largest magnitude that 16 bytes hold in 38 digits, and one digit more.
    ASSERT_EQ(convert(text("99999999999999999999999999999999999999"), SQL_C_NUMERIC, buffer).status,
              kMsgNone);
    n = buffer.as<SQL_NUMERIC_STRUCT>();
    EXPECT_EQ(n.precision, 38);
    EXPECT_EQ(n.val[15], 0x4b);  // 10^38 - 1 = 0x4B3B4CA85A86C47A098A223FFFFFFFFF
    EXPECT_EQ(n.val[0], 0xff);
    EXPECT_EQ(
        convert(text("999999999999999999999999999999999999999"), SQL_C_NUMERIC, buffer).status,
        kMsgOutOfRange);
    // A long fraction is rounded to 38 digits.
    r = convert(text("1.23456789012345678901234567890123456789"), SQL_C_NUMERIC, buffer);
    EXPECT_EQ(r.status, kMsgTruncated);
    EXPECT_EQ(buffer.as<SQL_NUMERIC_STRUCT>().scale, 37);

    r = convert({SQL_DOUBLE, false, nullptr, SQL_NULL_DATA}, SQL_C_NUMERIC, buffer);
    n = buffer.as<SQL_NUMERIC_STRUCT>();
    EXPECT_EQ(r.length, SQL_NULL_DATA);
    EXPECT_EQ(n.precision, 1);
    EXPECT_EQ(n.sign, 1);
    EXPECT_EQ(n.val[0], 0);
}

TEST(ResultConvert, NullsGiveTheZeroOfTheirType) {
    for (SQLSMALLINT cType : kAllCTypes) {
        Buffer buffer(32);
        const Outcome r = convert({SQL_VARCHAR, false, nullptr, SQL_NULL_DATA}, cType, buffer);
        EXPECT_EQ(r.status, kMsgNone) << cType;
        EXPECT_EQ(r.length, SQL_NULL_DATA) << cType;
    }
    Buffer buffer(32);
    std::memset(buffer.data(), 0x55, 32);
    convert({SQL_TIMESTAMP, false, nullptr, SQL_NULL_DATA}, SQL_C_TIMESTAMP, buffer);
    EXPECT_EQ(buffer.as<TimestampValue>(), TimestampValue{});
    convert({SQL_VARCHAR, false, nullptr, SQL_NULL_DATA}, SQL_C_CHAR, buffer);
    EXPECT_EQ(buffer.text(), "");
}

TEST(ResultConvert, ValuesOfTheEvaluator) {
    Buffer buffer(32);
    SQLLEN length = 0;
    const ClientBuffer asDefault{SQL_C_DEFAULT, buffer.data(), 32, &length};
    ASSERT_EQ(convertValueResult(Value::ofInteger(42), asDefault), kMsgNone);
    EXPECT_EQ(length, 4);
    EXPECT_EQ(buffer.as<SQLINTEGER>(), 42);
    EXPECT_EQ(convertValueResult(Value::ofInteger(3e9), asDefault), kMsgOutOfRange);
    ASSERT_EQ(convertValueResult(Value::ofDouble(2.5), asDefault), kMsgNone);
    EXPECT_EQ(length, 8);
    EXPECT_EQ(buffer.as<double>(), 2.5);
    ASSERT_EQ(convertValueResult(Value::ofNumeric("-123.45"), asDefault), kMsgNone);
    EXPECT_EQ(buffer.text(), "-123.45");
    ASSERT_EQ(
        convertValueResult(Value::ofNumeric("-123.45"), {SQL_C_SLONG, buffer.data(), 4, &length}),
        kMsgTruncated);
    EXPECT_EQ(buffer.as<SQLINTEGER>(), -123);
    ASSERT_EQ(convertValueResult(Value::ofTime({1, 2, 3}), asDefault), kMsgNone);
    EXPECT_EQ(buffer.as<TimeValue>(), (TimeValue{1, 2, 3}));
    ASSERT_EQ(convertValueResult(Value::ofBinary("\x01\x02"), asDefault), kMsgNone);
    EXPECT_EQ(length, 2);
    ASSERT_EQ(convertValueResult(Value::null(ValueType::None), asDefault), kMsgNone);
    EXPECT_EQ(length, SQL_NULL_DATA);
    Value untyped;
    untyped.isNull = false;
    EXPECT_EQ(convertValueResult(untyped, asDefault), kMsgInternalError);
}

TEST(TypeCodes, DateAndTimeCodesFollowTheVersion) {
    const SQLSMALLINT two[] = {SQL_DATE, SQL_TIME, SQL_TIMESTAMP};
    const SQLSMALLINT three[] = {SQL_TYPE_DATE, SQL_TYPE_TIME, SQL_TYPE_TIMESTAMP};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(mapDateTimeCode(two[i], 3), three[i]);
        EXPECT_EQ(mapDateTimeCode(three[i], 3), three[i]);
        EXPECT_EQ(mapDateTimeCode(three[i], 2), two[i]);
        EXPECT_EQ(mapDateTimeCode(two[i], 2), two[i]);
        EXPECT_EQ(defaultCType(three[i], false, 2), two[i]);
        EXPECT_EQ(defaultCType(two[i], false, 3), three[i]);
    }
    EXPECT_EQ(mapDateTimeCode(SQL_VARCHAR, 2), SQL_VARCHAR);
    EXPECT_EQ(defaultCType(SQL_TINYINT, true, 3), SQL_C_UTINYINT);
    EXPECT_EQ(defaultCType(SQL_SMALLINT, false, 3), SQL_C_SSHORT);
    EXPECT_EQ(defaultCType(SQL_LONGVARBINARY, false, 3), SQL_C_BINARY);
    EXPECT_EQ(defaultCType(SQL_BIGINT, false, 3), 0);
}

}  // namespace
}  // namespace kelvra
