"""SQLGetInfo's function bitmasks tell exactly what the driver does: a client tests single bits,
so every bit set must name a call that works, and every call that works must have its bit."""

import pytest

# Each bit of a function mask, with a call that uses it (over the Categories table).
STRING_FUNCTIONS = {  # SQL_STRING_FUNCTIONS
    0x000001: "{fn CONCAT(Label, 'x')}", 0x000002: "{fn INSERT(Label, 1, 2, 'x')}",
    0x000004: "{fn LEFT(Label, 2)}", 0x000008: "{fn LTRIM(Label)}",
    0x000010: "{fn LENGTH(Label)}", 0x000020: "{fn LOCATE('i', Label, 1)}",
    0x000040: "{fn LCASE(Label)}", 0x000080: "{fn REPEAT(Label, 2)}",
    0x000100: "{fn REPLACE(Label, 'i', 'y')}", 0x000200: "{fn RIGHT(Label, 2)}",
    0x000400: "{fn RTRIM(Label)}", 0x000800: "{fn SUBSTRING(Label, 2, 2)}",
    0x001000: "{fn UCASE(Label)}", 0x002000: "{fn ASCII(Label)}",
    0x004000: "{fn CHAR(65)}", 0x008000: "{fn DIFFERENCE(Label, 'Fruit')}",
    0x010000: "{fn LOCATE('i', Label)}", 0x020000: "{fn SOUNDEX(Label)}",
    0x040000: "{fn SPACE(2)}", 0x080000: "{fn BIT_LENGTH(Label)}",
    0x100000: "{fn CHAR_LENGTH(Label)}", 0x200000: "{fn CHARACTER_LENGTH(Label)}",
    0x400000: "{fn OCTET_LENGTH(Label)}", 0x800000: "{fn POSITION('i' IN Label)}",
}
NUMERIC_FUNCTIONS = {  # SQL_NUMERIC_FUNCTIONS
    0x000001: "{fn ABS(Rank)}", 0x000002: "{fn ACOS(Rank / 4)}", 0x000004: "{fn ASIN(Rank / 4)}",
    0x000008: "{fn ATAN(Rank)}", 0x000010: "{fn ATAN2(Rank, Rank)}", 0x000020: "{fn CEILING(Rank)}",
    0x000040: "{fn COS(Rank)}", 0x000080: "{fn COT(Rank)}", 0x000100: "{fn EXP(Rank)}",
    0x000200: "{fn FLOOR(Rank)}", 0x000400: "{fn LOG(Rank)}", 0x000800: "{fn MOD(7, 2)}",
    0x001000: "{fn SIGN(Rank)}", 0x002000: "{fn SIN(Rank)}", 0x004000: "{fn SQRT(Rank)}",
    0x008000: "{fn TAN(Rank)}", 0x010000: "{fn PI()}", 0x020000: "{fn RAND(7)}",
    0x040000: "{fn DEGREES(Rank)}", 0x080000: "{fn LOG10(Rank)}", 0x100000: "{fn POWER(Rank, 2)}",
    0x200000: "{fn RADIANS(Rank)}", 0x400000: "{fn ROUND(Rank, 1)}",
    0x800000: "{fn TRUNCATE(Rank, 1)}",
}
TIMEDATE_FUNCTIONS = {  # SQL_TIMEDATE_FUNCTIONS
    0x000001: "{fn NOW()}", 0x000002: "{fn CURDATE()}", 0x000004: "{fn DAYOFMONTH({d '2024-02-29'})}",
    0x000008: "{fn DAYOFWEEK({d '2024-02-29'})}", 0x000010: "{fn DAYOFYEAR({d '2024-02-29'})}",
    0x000020: "{fn MONTH({d '2024-02-29'})}", 0x000040: "{fn QUARTER({d '2024-02-29'})}",
    0x000080: "{fn WEEK({d '2024-02-29'})}", 0x000100: "{fn YEAR({d '2024-02-29'})}",
    0x000200: "{fn CURTIME()}", 0x000400: "{fn HOUR({t '10:11:12'})}",
    0x000800: "{fn MINUTE({t '10:11:12'})}", 0x001000: "{fn SECOND({t '10:11:12'})}",
    0x002000: "{fn TIMESTAMPADD(SQL_TSI_DAY, 1, {d '2024-02-29'})}",
    0x004000: "{fn TIMESTAMPDIFF(SQL_TSI_DAY, {d '2024-02-29'}, {d '2024-03-01'})}",
    0x008000: "{fn DAYNAME({d '2024-02-29'})}", 0x010000: "{fn MONTHNAME({d '2024-02-29'})}",
    0x020000: "{fn CURRENT_DATE()}", 0x040000: "{fn CURRENT_TIME()}",
    0x080000: "{fn CURRENT_TIMESTAMP()}", 0x100000: "{fn EXTRACT(YEAR FROM {d '2024-02-29'})}",
}
SYSTEM_FUNCTIONS = {  # SQL_SYSTEM_FUNCTIONS
    0x1: "{fn USER()}", 0x2: "{fn DATABASE()}", 0x4: "{fn IFNULL(Label, 'x')}",
}
INTERVALS = ["SQL_TSI_FRAC_SECOND", "SQL_TSI_SECOND", "SQL_TSI_MINUTE", "SQL_TSI_HOUR",
             "SQL_TSI_DAY", "SQL_TSI_WEEK", "SQL_TSI_MONTH", "SQL_TSI_QUARTER", "SQL_TSI_YEAR"]

# SQL_CONVERT_<type>: the info type of each source, and a value of it; the SQL_CVT_ bits in order.
CONVERT_SOURCES = {
    "BIGINT": 53, "BINARY": 54, "BIT": 55, "CHAR": 56, "DATE": 57, "DECIMAL": 58, "DOUBLE": 59,
    "FLOAT": 60, "INTEGER": 61, "LONGVARCHAR": 62, "NUMERIC": 63, "REAL": 64, "SMALLINT": 65,
    "TIME": 66, "TIMESTAMP": 67, "TINYINT": 68, "VARBINARY": 69, "VARCHAR": 70,
    "LONGVARBINARY": 71,
}
CVT_BITS = ["CHAR", "NUMERIC", "DECIMAL", "INTEGER", "SMALLINT", "FLOAT", "REAL", "DOUBLE",
            "VARCHAR", "LONGVARCHAR", "BINARY", "VARBINARY", "BIT", "TINYINT", "BIGINT", "DATE",
            "TIME", "TIMESTAMP", "LONGVARBINARY"]
TEMPORAL = {"DATE": "{d '2024-02-29'}", "TIME": "{t '10:11:12'}",
            "TIMESTAMP": "{ts '2024-02-29 10:11:12'}"}


def source_value(source, target):
    """An expression of the source type whose value converts to the target."""
    text = {"DATE": "'2024-02-29'", "TIME": "'10:11:12'",
            "TIMESTAMP": "'2024-02-29 10:11:12'"}.get(target, "'1'")
    if source in ("CHAR", "VARCHAR"):
        return f"{{fn CONVERT({text}, SQL_{source})}}"
    if source in ("BINARY", "VARBINARY"):
        # Binary data converts back to what it was made from; a number's digits must fit the
        # NUMERIC it becomes (as many digits as bytes, three of them decimals).
        inner = TEMPORAL.get(target, "'1.25'")
        return f"{{fn CONVERT({inner}, SQL_{source})}}"
    if source in TEMPORAL:
        return TEMPORAL[source]
    return f"{{fn CONVERT(1, SQL_{source})}}"


def working(connection, expression):
    cursor = connection.cursor()
    cursor.execute(f"SELECT {expression} FROM bsqtcat2a")
    assert len(cursor.fetchall()) == 4


@pytest.mark.parametrize("info, calls", [(50, STRING_FUNCTIONS), (49, NUMERIC_FUNCTIONS),
                                         (52, TIMEDATE_FUNCTIONS), (51, SYSTEM_FUNCTIONS)],
                         ids=["string", "numeric", "timedate", "system"])
def test_every_function_bit_is_a_working_call(corpus_connection, info, calls):
    assert corpus_connection.getinfo(info) == sum(calls)
    for bit, call in calls.items():
        working(corpus_connection, call)


@pytest.mark.parametrize("info, function", [(109, "TIMESTAMPADD(%s, 1, Day)"),
                                            (110, "TIMESTAMPDIFF(%s, Day, Day)")],
                         ids=["add", "diff"])
def test_every_interval_bit_is_a_working_call(corpus_connection, info, function):
    mask = corpus_connection.getinfo(info)
    for bit, interval in enumerate(INTERVALS):
        sql = f"SELECT {{fn {function % interval}}} FROM bsqtpur2a"
        if mask & (1 << bit):
            corpus_connection.cursor().execute(sql).fetchall()
        else:
            with pytest.raises(Exception, match="Not supported"):
                corpus_connection.cursor().execute(sql)


@pytest.mark.parametrize("source", CONVERT_SOURCES)
def test_every_conversion_bit_is_a_working_convert(corpus_connection, source):
    assert corpus_connection.getinfo(48) == 1  # SQL_FN_CVT_CONVERT
    mask = corpus_connection.getinfo(CONVERT_SOURCES[source])
    for bit, target in enumerate(CVT_BITS):
        if mask & (1 << bit):
            working(corpus_connection, f"{{fn CONVERT({source_value(source, target)}, "
                                       f"SQL_{target})}}")
        elif not source.startswith("LONG"):
            # Long sources have no expression to convert from; others must be refused.
            with pytest.raises(Exception):
                working(corpus_connection, f"{{fn CONVERT({source_value(source, target)}, "
                                           f"SQL_{target})}}")
    assert mask < (1 << len(CVT_BITS))
