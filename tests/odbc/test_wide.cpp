// The wide (W) entry points through the unixODBC driver manager, as a Unicode application calls
// them: UTF-16 text in and out, lengths in characters where ODBC counts characters and in bytes
// where it counts bytes, and cuts that never leave half a surrogate pair. Runs against the
// emulator serving the SQL corpus fixture (with_emulator.py --data), whose Maße table has
// non-ASCII labels and values beyond the Basic Multilingual Plane.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

using WText = std::basic_string<SQLWCHAR>;

WText w(std::u16string_view text) {
    return WText(text.begin(), text.end());
}

std::u16string u(const SQLWCHAR* text) {
    std::u16string out;
    for (; *text != 0; ++text) out.push_back(static_cast<char16_t>(*text));
    return out;
}

// For failure messages.
std::string utf8(const std::u16string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += {char(0xC0 | (c >> 6)), char(0x80 | (c & 0x3F))};
        } else if (c < 0x10000) {
            out +=
                {char(0xE0 | (c >> 12)), char(0x80 | ((c >> 6) & 0x3F)), char(0x80 | (c & 0x3F))};
        } else {
            out += {char(0xF0 | (c >> 18)), char(0x80 | ((c >> 12) & 0x3F)),
                    char(0x80 | ((c >> 6) & 0x3F)), char(0x80 | (c & 0x3F))};
        }
    }
    return out;
}

bool isHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

const std::u16string kUser = u"Ren\u00E9e M\u00FCller";

class WideCalls : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env), SQL_SUCCESS);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
    }
    void TearDown() override {
        if (stmt != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }

    static std::u16string server() {
        const std::string s = std::getenv("KELVRA_QBEMU_SERVER");
        return std::u16string(s.begin(), s.end());
    }
    static std::u16string driver() {
        const std::string s = KELODBC_PATH;
        return std::u16string(s.begin(), s.end());
    }
    std::u16string connectionString() const {
        return u"DRIVER=" + driver() + u";QUICKBASESERVER=" + server() + u";UID=" + kUser +
               u";PWD=kelvra-demo-3";
    }

    void connect() {
        const WText in = w(connectionString());
        SQLWCHAR out[1024];
        SQLSMALLINT length = 0;
        ASSERT_EQ(SQLDriverConnectW(dbc, nullptr, const_cast<SQLWCHAR*>(in.c_str()), SQL_NTS, out,
                                    1024, &length, SQL_DRIVER_NOPROMPT),
                  SQL_SUCCESS)
            << utf8(diagnostic(SQL_HANDLE_DBC, dbc));
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
    }

    // SQLSTATE and message of a handle's diagnostic, read through SQLGetDiagRecW.
    static std::u16string diagnostic(SQLSMALLINT type, SQLHANDLE handle) {
        SQLWCHAR state[6] = {}, text[512] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        SQLGetDiagRecW(type, handle, 1, state, &native, text, 512, &length);
        return u(state) + u" " + u(text);
    }

    SQLRETURN execDirect(std::u16string_view sql) {
        const WText text = w(sql);
        return SQLExecDirectW(stmt, const_cast<SQLWCHAR*>(text.c_str()), SQL_NTS);
    }

    // Column `column` of every row, read through SQLGetData(SQL_C_WCHAR).
    std::vector<std::u16string> column(SQLUSMALLINT number) {
        std::vector<std::u16string> values;
        while (SQL_SUCCEEDED(SQLFetch(stmt))) {
            SQLWCHAR value[256];
            SQLLEN length = 0;
            EXPECT_EQ(SQLGetData(stmt, number, SQL_C_WCHAR, value, sizeof value, &length),
                      SQL_SUCCESS);
            values.push_back(u(value));
        }
        SQLFreeStmt(stmt, SQL_CLOSE);
        return values;
    }

    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
};

TEST_F(WideCalls, ConnectAsReneeByConnectionStringAndByDataSource) {
    // SQLDriverConnectW: the completed string counts characters; a short buffer gets whole ones.
    const WText in = w(connectionString());
    SQLWCHAR out[12];
    SQLSMALLINT length = 0;
    ASSERT_EQ(SQLDriverConnectW(dbc, nullptr, const_cast<SQLWCHAR*>(in.c_str()), SQL_NTS, out, 12,
                                &length, SQL_DRIVER_NOPROMPT),
              SQL_SUCCESS_WITH_INFO)
        << utf8(diagnostic(SQL_HANDLE_DBC, dbc));
    EXPECT_EQ(u(out), u"DRIVER=" + driver().substr(0, 4));
    EXPECT_GT(length, 11);
    // SQLGetInfoW counts bytes: the user name is 12 characters, 24 bytes.
    SQLWCHAR name[32];
    SQLSMALLINT bytes = 0;
    ASSERT_EQ(SQLGetInfoW(dbc, SQL_USER_NAME, name, sizeof name, &bytes), SQL_SUCCESS);
    EXPECT_EQ(u(name), kUser);
    EXPECT_EQ(bytes, 24);
    EXPECT_EQ(SQLGetInfoW(dbc, SQL_USER_NAME, name, 9, &bytes), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(u(name), u"Ren");  // 9 bytes: four units, one of them the terminator
    EXPECT_EQ(bytes, 24);
    ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);

    // SQLConnectW with a data source of the tests' odbc.ini.
    std::ofstream(std::getenv("ODBCINI")) << "[KelvraWide]\nDriver=Kelvra ODBC\nQUICKBASESERVER="
                                          << std::getenv("KELVRA_QBEMU_SERVER") << "\n";
    const WText dsn = w(u"KelvraWide"), user = w(kUser), password = w(u"kelvra-demo-3");
    ASSERT_EQ(SQLConnectW(dbc, const_cast<SQLWCHAR*>(dsn.c_str()), SQL_NTS,
                          const_cast<SQLWCHAR*>(user.c_str()), SQL_NTS,
                          const_cast<SQLWCHAR*>(password.c_str()), SQL_NTS),
              SQL_SUCCESS)
        << utf8(diagnostic(SQL_HANDLE_DBC, dbc));
    ASSERT_EQ(SQLGetInfoW(dbc, SQL_DATA_SOURCE_NAME, name, sizeof name, &bytes), SQL_SUCCESS);
    EXPECT_EQ(u(name), u"KelvraWide");
}

TEST_F(WideCalls, PreparedSelectDescribesAndReadsInCharacters) {
    connect();
    const WText sql =
        w(u"SELECT Name, Gr\u00F6\u00DFe, Gr\u00FC\u00DFe, \"Notiz \U0001F4DD\" FROM bsqtumz2a "
          u"WHERE Name = 'Caf\u00E9 Z\u00FCrich'");
    ASSERT_EQ(SQLPrepareW(stmt, const_cast<SQLWCHAR*>(sql.c_str()), SQL_NTS), SQL_SUCCESS)
        << utf8(diagnostic(SQL_HANDLE_STMT, stmt));
    ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS) << utf8(diagnostic(SQL_HANDLE_STMT, stmt));

    // SQLDescribeColW counts characters: "Notiz 📝" is eight (the memo is a pair).
    struct Name {
        SQLUSMALLINT column;
        SQLSMALLINT buffer;  // characters
        SQLRETURN rc;
        std::u16string name;
    };
    for (const Name& c : {Name{2, 16, SQL_SUCCESS, u"Gr\u00F6\u00DFe"},
                          Name{3, 16, SQL_SUCCESS, u"Gr\u00FC\u00DFe"},
                          Name{4, 9, SQL_SUCCESS, u"Notiz \U0001F4DD"},
                          Name{4, 8, SQL_SUCCESS_WITH_INFO, u"Notiz "},
                          Name{4, 7, SQL_SUCCESS_WITH_INFO, u"Notiz "}}) {
        SQLWCHAR name[16];
        SQLSMALLINT length = 0, type = 0;
        SQLULEN size = 0;
        EXPECT_EQ(SQLDescribeColW(stmt, c.column, name, c.buffer, &length, &type, &size, nullptr,
                                  nullptr),
                  c.rc);
        EXPECT_EQ(u(name), c.name) << c.column << "/" << c.buffer;
        EXPECT_EQ(length, c.column == 4 ? 8 : 5);
    }
    // SQLColAttributeW counts bytes.
    struct Attribute {
        SQLUSMALLINT column, field;
        SQLSMALLINT buffer;  // bytes
        SQLRETURN rc;
        std::u16string text;
        SQLSMALLINT length;
    };
    for (const Attribute& c :
         {Attribute{2, SQL_DESC_NAME, 32, SQL_SUCCESS, u"Gr\u00F6\u00DFe", 10},
          Attribute{2, SQL_DESC_LABEL, 10, SQL_SUCCESS_WITH_INFO, u"Gr\u00F6\u00DF", 10},
          Attribute{4, SQL_DESC_BASE_COLUMN_NAME, 16, SQL_SUCCESS_WITH_INFO, u"Notiz ", 16},
          Attribute{4, SQL_DESC_TYPE_NAME, 32, SQL_SUCCESS, u"VARCHAR", 14}}) {
        SQLWCHAR text[16];
        SQLSMALLINT length = 0;
        EXPECT_EQ(SQLColAttributeW(stmt, c.column, c.field, text, c.buffer, &length, nullptr),
                  c.rc);
        EXPECT_EQ(u(text), c.text) << c.column << "/" << c.field;
        EXPECT_EQ(length, c.length);
    }

    // SQLGetData(SQL_C_WCHAR) in pieces of eight units: the first piece stops before the hand's
    // pair rather than in it; the lengths are the bytes that remain.
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    const std::u16string greeting = u"Gr\u00FCezi \U0001F44B aus Z\u00FCrich";
    std::u16string read;
    std::vector<SQLLEN> lengths;
    for (int piece = 0; piece < 10; ++piece) {
        SQLWCHAR buffer[9];
        SQLLEN length = 0;
        const SQLRETURN rc = SQLGetData(stmt, 3, SQL_C_WCHAR, buffer, sizeof buffer, &length);
        if (rc == SQL_NO_DATA) break;
        ASSERT_TRUE(SQL_SUCCEEDED(rc));
        const std::u16string part = u(buffer);
        if (rc == SQL_SUCCESS_WITH_INFO) {
            EXPECT_FALSE(isHighSurrogate(part.back())) << piece;
        }
        read += part;
        lengths.push_back(length);
    }
    EXPECT_EQ(read, greeting);
    EXPECT_EQ(lengths, (std::vector<SQLLEN>{40, 26, 10}));
    EXPECT_EQ(read.substr(0, 7), u"Gr\u00FCezi ");
    // "𝄞 Ständchen" (twelve units) into room for two: the clef's pair whole.
    SQLWCHAR memo[3];
    SQLLEN length = 0;
    EXPECT_EQ(SQLGetData(stmt, 4, SQL_C_WCHAR, memo, sizeof memo, &length), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(length, 24);
    EXPECT_EQ(u(memo), u"\U0001D11E");
}

TEST_F(WideCalls, CatalogFunctionsTakeTheTableByItsDbid) {
    connect();
    const WText dbid = w(u"bsqtumz2a"), pattern = w(u"Gr%");
    ASSERT_EQ(SQLTablesW(stmt, nullptr, 0, nullptr, 0, const_cast<SQLWCHAR*>(dbid.c_str()), SQL_NTS,
                         nullptr, 0),
              SQL_SUCCESS);
    EXPECT_EQ(column(3), std::vector<std::u16string>{u"SQL Tests:Ma\u00DFe bsqtumz2a"});
    ASSERT_EQ(SQLColumnsW(stmt, nullptr, 0, nullptr, 0, const_cast<SQLWCHAR*>(dbid.c_str()),
                          SQL_NTS, const_cast<SQLWCHAR*>(pattern.c_str()), SQL_NTS),
              SQL_SUCCESS);
    EXPECT_EQ(column(4), (std::vector<std::u16string>{u"Gr\u00F6\u00DFe", u"Gr\u00FC\u00DFe"}));
}

TEST_F(WideCalls, DiagnosticsAndRefusedText) {
    connect();
    // A message naming a non-ASCII column, read whole and cut (characters for SQLGetDiagRecW,
    // bytes for SQLGetDiagFieldW).
    ASSERT_EQ(execDirect(u"SELECT Gr\u00F6\u00DFenwahn FROM bsqtumz2a"), SQL_ERROR);
    const std::u16string expected = u"[Kelvra ODBC]Column not found: Gr\u00F6\u00DFenwahn";
    EXPECT_EQ(diagnostic(SQL_HANDLE_STMT, stmt), u"S0000 " + expected);
    SQLWCHAR state[6], text[40];
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    EXPECT_EQ(SQLGetDiagRecW(SQL_HANDLE_STMT, stmt, 1, state, &native, text, 36, &length),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(u(text), expected.substr(0, 35));
    EXPECT_EQ(length, SQLSMALLINT(expected.size()));
    EXPECT_EQ(SQLGetDiagFieldW(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_MESSAGE_TEXT, text, sizeof text,
                               &length),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(length, SQLSMALLINT(2 * expected.size()));
    EXPECT_EQ(u(text), expected.substr(0, 39));

    // An unpaired surrogate stands for no character: refused before anything is parsed.
    std::u16string broken = u"SELECT Name FROM bsqtumz2a WHERE Name = 'x";
    broken += char16_t(0xD83D);
    broken += u"'";
    EXPECT_EQ(execDirect(broken), SQL_ERROR);
    EXPECT_EQ(diagnostic(SQL_HANDLE_STMT, stmt),
              u"22021 [Kelvra ODBC]Invalid text encoding: the SQL statement holds an unpaired "
              u"surrogate");
}

TEST_F(WideCalls, NativeSqlCursorNamesAndTheCatalogAttribute) {
    connect();
    const WText sql = w(u"SELECT Gr\u00FC\u00DFe FROM bsqtumz2a");
    SQLWCHAR out[64];
    SQLINTEGER length = 0;
    ASSERT_EQ(SQLNativeSqlW(dbc, const_cast<SQLWCHAR*>(sql.c_str()), SQL_NTS, out, 64, &length),
              SQL_SUCCESS);
    EXPECT_EQ(u(out), u(sql.c_str()));
    EXPECT_EQ(length, SQLINTEGER(sql.size()));
    EXPECT_EQ(SQLNativeSqlW(dbc, const_cast<SQLWCHAR*>(sql.c_str()), SQL_NTS, out, 11, &length),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(u(out), u"SELECT Gr\u00FC");

    // A cursor name of 18 characters (more bytes in UTF-8) is taken; 19 are not.
    const WText name =
        w(u"C\u00FCrs\u00F6r \u00C4\u00D6\u00DC \u00E4\u00F6\u00FC \u00DF\u00DF\u00DF");
    ASSERT_EQ(name.size(), 18u);
    ASSERT_EQ(SQLSetCursorNameW(stmt, const_cast<SQLWCHAR*>(name.c_str()), SQL_NTS), SQL_SUCCESS)
        << utf8(diagnostic(SQL_HANDLE_STMT, stmt));
    SQLWCHAR cursor[32];
    SQLSMALLINT cursorLength = 0;
    ASSERT_EQ(SQLGetCursorNameW(stmt, cursor, 32, &cursorLength), SQL_SUCCESS);
    EXPECT_EQ(u(cursor), u(name.c_str()));
    EXPECT_EQ(cursorLength, 18);
    const WText longer = name + SQLWCHAR(u'x');
    EXPECT_EQ(SQLSetCursorNameW(stmt, const_cast<SQLWCHAR*>(longer.c_str()), SQL_NTS), SQL_ERROR);

    // SQL_ATTR_CURRENT_CATALOG: a text attribute, its lengths in bytes.
    const WText catalog = w(u"SQL T\u00E9sts");
    ASSERT_EQ(
        SQLSetConnectAttrW(dbc, SQL_ATTR_CURRENT_CATALOG, const_cast<SQLWCHAR*>(catalog.c_str()),
                           SQLINTEGER(2 * catalog.size())),
        SQL_SUCCESS);
    SQLWCHAR value[32];
    SQLINTEGER bytes = 0;
    ASSERT_EQ(SQLGetConnectAttrW(dbc, SQL_ATTR_CURRENT_CATALOG, value, sizeof value, &bytes),
              SQL_SUCCESS);
    EXPECT_EQ(u(value), u"SQL T\u00E9sts");
    EXPECT_EQ(bytes, 18);
}

}  // namespace
