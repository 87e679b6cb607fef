// Splitting connection strings and building the string handed back.
#include <gtest/gtest.h>

#include "connect/connection_string.h"

using namespace kelvra;

namespace {

ConnectionValues parse(std::string_view text, MsgNo expected = kMsgNone) {
    ConnectionValues v;
    EXPECT_EQ(parseConnectionString(text, v), expected) << text;
    return v;
}

TEST(ConnectionString, PairsKeywordsAndPrecedence) {
    auto v = parse("DSN=Projects;UID=pat;PWD=secret;");
    EXPECT_EQ(v.dsn, "Projects");
    EXPECT_EQ(v.uid, "pat");
    EXPECT_EQ(v.pwd, "secret");

    // The last pair counts without a trailing ";" (pyodbc and most clients build them so).
    v = parse("DSN=Projects;UID=pat;PWD=secret");
    EXPECT_EQ(v.pwd, "secret");

    // Keywords in any case; first UID wins, last THREADMODEL wins; values keep case and
    // blanks; unknown keywords are ignored.
    v = parse(
        "uid=first;Uid=second;threadmodel=STA;THREADMODEL=mta;Server=x;pwd= a b ;"
        "quickbaseserver=Realm.QuickBase.com;winhttp=0;USEFIDS=1;TextNull=1;file=1");
    EXPECT_EQ(v.uid, "first");
    EXPECT_EQ(v.threadModel, "mta");
    EXPECT_EQ(v.pwd, " a b ");
    EXPECT_EQ(v.server, "Realm.QuickBase.com");
    EXPECT_EQ(v.winHttp, "0");
    EXPECT_EQ(v.useFids, "1");
    EXPECT_EQ(v.textNull, "1");
    EXPECT_EQ(v.file, "1");

    // An empty value and a trailing keyword without "=".
    v = parse("DSN=;UID=u;junk");
    EXPECT_EQ(v.dsn, "");
    EXPECT_EQ(v.uid, "u");
    EXPECT_TRUE(parse("").uid.empty());
}

TEST(ConnectionString, EmptyPairsAndBlanksAroundKeywords) {
    // Empty pairs are skipped and blanks around a keyword do not count; values stay as written.
    const struct {
        const char* text;
        const char* uid;
        const char* pwd;
    } cases[] = {
        {"DSN=a;;UID=u;PWD=p", "u", "p"},
        {";;;UID=u;;;PWD=p;;", "u", "p"},
        {"UID = u;  PWD\t=p", " u", "p"},
        {" ; UID=u ; pwd= p ", "u ", " p "},
    };
    for (const auto& c : cases) {
        auto v = parse(c.text);
        EXPECT_EQ(v.uid, c.uid) << c.text;
        EXPECT_EQ(v.pwd, c.pwd) << c.text;
    }
    parse("UID=u;; =x", kMsgInvalidConnectString);
    std::uint32_t seconds = 7;
    EXPECT_TRUE(parseTimeoutSeconds(" 30 ", seconds));
    EXPECT_EQ(seconds, 30u);
    for (const char* bad : {"", "-1", "1.5", "abc", "12s", "9999999999"}) {
        EXPECT_FALSE(parseTimeoutSeconds(bad, seconds)) << bad;
    }
}

TEST(ConnectionString, EmptyKeywordIsRefused) {
    parse("=x;UID=u;", kMsgInvalidConnectString);
    parse("UID=u;=x", kMsgInvalidConnectString);
}

TEST(ConnectionString, BracedValues) {
    auto v = parse("DRIVER={Kelvra ODBC};PWD={a;b=c};UID=u");
    EXPECT_EQ(v.driver, "Kelvra ODBC");
    EXPECT_EQ(v.pwd, "a;b=c");
    EXPECT_EQ(v.uid, "u");
    EXPECT_EQ(parse("PWD={x}}y}").pwd, "x}y");
    EXPECT_EQ(parse("PWD={}").pwd, "");
    // Braces that do not close a value are taken as written, as before.
    EXPECT_EQ(parse("PWD={abc;UID=u").pwd, "{abc");
    EXPECT_EQ(parse("PWD={a}b;UID=u").pwd, "{a}b");
}

TEST(ConnectionString, OutString) {
    ConnectionValues v;
    v.driver = "/usr/lib/libkelodbc.so";
    v.server = "realm.quickbase.com";
    v.uid = "pat";
    v.pwd = "secret";
    EXPECT_EQ(buildOutConnectionString(v),
              "DRIVER=/usr/lib/libkelodbc.so;QUICKBASESERVER=realm.quickbase.com;UID=pat;"
              "PWD=secret;SERVER=QuickBase");
    v.dsn = "Projects";
    v.server.clear();
    v.pwd = "a;b}c";
    EXPECT_EQ(buildOutConnectionString(v), "DSN=Projects;UID=pat;PWD={a;b}}c};SERVER=QuickBase");
    // What is handed back splits into the same values.
    auto back = parse(buildOutConnectionString(v));
    EXPECT_EQ(back.pwd, "a;b}c");
    EXPECT_EQ(back.dsn, "Projects");
    v.uid.clear();
    EXPECT_EQ(buildOutConnectionString(v), "DSN=Projects;SERVER=QuickBase");
}

}  // namespace
