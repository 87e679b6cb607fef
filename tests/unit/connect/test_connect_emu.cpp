// Connecting against the QuickBase emulator, below the driver manager: the session options,
// the login prompt and its cancelling, and connecting without a password.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <string>

#include "connect/login_prompt.h"
#include "driver/handles.h"
#include "emulator.h"
#include "qbtable/qb_table.h"
#include "qbtable/write_cache.h"

using namespace kelvra;

namespace {

class ConnectEmu : public test::EmulatorSuite {
  protected:
    void SetUp() override {
        EmulatorSuite::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
    }
    void TearDown() override {
        setLoginPrompt(nullptr);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
    DriverConnection& connection() { return *static_cast<DriverConnection*>(dbc); }

    SQLRETURN driverConnect(const std::string& text, SQLUSMALLINT completion,
                            std::string* out = nullptr, SQLSMALLINT outMax = 512) {
        SQLCHAR buffer[512] = {};
        SQLSMALLINT length = 0;
        const SQLRETURN rc = SQLDriverConnect(dbc, nullptr, (SQLCHAR*)text.c_str(), SQL_NTS, buffer,
                                              outMax, &length, completion);
        if (out != nullptr) *out = reinterpret_cast<char*>(buffer);
        return rc;
    }
    std::string state() {
        SQLCHAR s[6] = {};
        SQLGetDiagRec(SQL_HANDLE_DBC, dbc, 1, s, nullptr, nullptr, 0, nullptr);
        return reinterpret_cast<char*>(s);
    }
    std::string server() const { return "QUICKBASESERVER=" + emulator_->host(); }

    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
};

const std::string kPat = "UID=pat.doe@example.com;PWD=kelvra-demo;";

TEST_F(ConnectEmu, SessionOptionsFromTheConnectionString) {
    ASSERT_EQ(driverConnect(server() + ";" + kPat + "USEFIDS=1;TEXTNULL=yes;FILE=;threadmodel=sta",
                            SQL_DRIVER_NOPROMPT),
              SQL_SUCCESS)
        << state();
    const auto& options = connection().session->options;
    EXPECT_EQ(options.count("THREADMODEL"), 1u);
    EXPECT_EQ(options.at("THREADMODEL"), "sta");
    EXPECT_EQ(options.at("USEFIDS"), "1");
    EXPECT_EQ(options.at("TEXTNULL"), "yes");
    EXPECT_EQ(options.count("FILE"), 0u);  // empty values are not kept
    EXPECT_EQ(options.count("WINHTTP"), 0u);
    EXPECT_EQ(connection().dataSourceName, " ");
    EXPECT_EQ(connection().autocommit, SQLUINTEGER(SQL_AUTOCOMMIT_ON));
    EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
    EXPECT_TRUE(connection().dataSourceName.empty());
    EXPECT_NE(connection().session, nullptr);  // kept until the next connect or the free
}

TEST_F(ConnectEmu, CertificateCheckAndWinHttp) {
    const std::string bundle = std::getenv("CURL_CA_BUNDLE");
    ::unsetenv("CURL_CA_BUNDLE");
    // The emulator's certificate is its own: verified, it is refused ...
    EXPECT_EQ(driverConnect(server() + ";" + kPat, SQL_DRIVER_NOPROMPT), SQL_ERROR);
    EXPECT_EQ(state(), "IM017");
    // ... and with WINHTTP it is not checked.
    EXPECT_EQ(driverConnect(server() + ";" + kPat + "WINHTTP=0", SQL_DRIVER_NOPROMPT), SQL_SUCCESS);
    EXPECT_EQ(connection().session->options.at("WINHTTP"), "0");
    ::setenv("CURL_CA_BUNDLE", bundle.c_str(), 1);
}

LoginValues promptAnswer;
PromptResult promptResult = PromptResult::kOk;
int promptCalls = 0;
PromptResult scriptedPrompt(LoginValues& values) {
    ++promptCalls;
    if (promptResult == PromptResult::kOk) values = promptAnswer;
    return promptResult;
}

TEST_F(ConnectEmu, LoginPrompt) {
    setLoginPrompt(scriptedPrompt);
    promptCalls = 0;
    // Cancelled: no data, no session, not connected.
    promptResult = PromptResult::kCancelled;
    EXPECT_EQ(driverConnect(server() + ";UID=pat.doe@example.com", SQL_DRIVER_COMPLETE),
              SQL_NO_DATA);
    EXPECT_EQ(promptCalls, 1);
    EXPECT_TRUE(connection().dataSourceName.empty());
    EXPECT_EQ(connection().session, nullptr);

    // The answers replace what the string gave, trimmed.
    promptResult = PromptResult::kOk;
    promptAnswer = {" pat.doe@example.com ", "kelvra-demo", emulator_->host()};
    std::string out;
    EXPECT_EQ(driverConnect("DRIVER=x;UID=someone;PWD=wrong", SQL_DRIVER_PROMPT, &out), SQL_SUCCESS)
        << state();
    EXPECT_EQ(out, "DRIVER=x;QUICKBASESERVER=" + emulator_->host() +
                       ";UID=pat.doe@example.com;PWD=kelvra-demo;SERVER=QuickBase");
    EXPECT_EQ(promptCalls, 2);
    EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);

    // With everything given, SQL_DRIVER_COMPLETE does not ask.
    EXPECT_EQ(driverConnect(server() + ";" + kPat, SQL_DRIVER_COMPLETE), SQL_SUCCESS);
    EXPECT_EQ(promptCalls, 2);
}

TEST_F(ConnectEmu, NoPromptWithoutPasswordAsksQuickBase) {
    setLoginPrompt(scriptedPrompt);
    promptCalls = 0;
    EXPECT_EQ(driverConnect(server() + ";UID=pat.doe@example.com", SQL_DRIVER_NOPROMPT), SQL_ERROR);
    EXPECT_EQ(promptCalls, 0);
    SQLINTEGER native = 0;
    SQLCHAR msg[256];
    SQLGetDiagRec(SQL_HANDLE_DBC, dbc, 1, nullptr, &native, msg, sizeof msg, nullptr);
    EXPECT_EQ(native, 999);
    EXPECT_EQ(std::string((char*)msg).rfind("[Kelvra][QuickBase]", 0), 0u) << msg;
    EXPECT_EQ(connection().session, nullptr);
}

TEST_F(ConnectEmu, ReturnedStringThatDoesNotFit) {
    const std::string text = server() + ";" + kPat;
    std::string out;
    const std::string full =
        "DRIVER=;" + server() + ";UID=pat.doe@example.com;PWD=kelvra-demo;SERVER=QuickBase";
    EXPECT_EQ(driverConnect(text, SQL_DRIVER_NOPROMPT, &out, SQLSMALLINT(full.size())),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(state(), "01004");
    EXPECT_EQ(out, full.substr(0, full.size() - 1));
    EXPECT_EQ(connection().dataSourceName, " ");  // connected all the same

    // A buffer of size 0 still learns the length.
    ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
    SQLCHAR none[1] = {'?'};
    SQLSMALLINT length = 0;
    EXPECT_EQ(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)text.c_str(), SQL_NTS, none, 0, &length,
                               SQL_DRIVER_NOPROMPT),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(length, SQLSMALLINT(full.size()));
    EXPECT_EQ(none[0], '?');
}

TEST_F(ConnectEmu, CredentialsThatCannotBeSentAreRefusedHere) {
    const struct {
        const char* credentials;
        const char* saying;
    } cases[] = {
        {"UID=pat\x01@example.com;PWD=kelvra-demo", "the user name holds a control character"},
        {"UID=pat\xff@example.com;PWD=kelvra-demo", "the user name is not valid UTF-8"},
        {"UID=pat.doe@example.com;PWD=se\ncret", "the password holds a control character"},
        {"UID=pat.doe@example.com;PWD=se\xc3"
         "(cret",
         "the password is not valid UTF-8"},
    };
    const std::string before = emulator_->control("GET", "log");
    for (const auto& c : cases) {
        EXPECT_EQ(driverConnect(server() + ";" + c.credentials, SQL_DRIVER_NOPROMPT), SQL_ERROR);
        SQLCHAR msg[256];
        SQLGetDiagRec(SQL_HANDLE_DBC, dbc, 1, nullptr, nullptr, msg, sizeof msg, nullptr);
        EXPECT_EQ(state(), "28000");
        EXPECT_EQ(std::string((char*)msg),
                  std::string("[Kelvra ODBC]Invalid credentials: ") + c.saying);
        EXPECT_EQ(connection().session, nullptr);
    }
    EXPECT_EQ(emulator_->control("GET", "log"), before);  // nothing was sent
}

}  // namespace

namespace {

// What the table layer holds at disconnect: saved imports are sent, and a failure is reported
// with the table and count and keeps the connection (and the imports) for another try; an open
// transaction's changes refuse the disconnect.
TEST_F(ConnectEmu, DisconnectSendsSavedImportsAndReportsWhatFailed) {
    emulator_->control("POST", "faults/clear");
    ASSERT_EQ(driverConnect(server() + ";" + kPat, SQL_DRIVER_NOPROMPT), SQL_SUCCESS) << state();
    DriverConnection& c = connection();
    c.session->options["SAVE_WRITES_UNTIL_CONNECTION_CLOSE"] = "TRUE";
    std::unique_ptr<QbTable> contacts;
    ASSERT_EQ(openTable(*c.session, c.tableState, test::kContacts, contacts), kMsgNone);
    auto name = static_cast<std::uint16_t>(contacts->positionOfFid(6));
    for (const char* who : {"Saved One", "Saved Two"}) {
        ASSERT_EQ(contacts->newRecord(), kMsgNone);
        ASSERT_EQ(contacts->putColumnValue(name, Value::ofChar(who)), kMsgNone);
        ASSERT_EQ(contacts->saveRecord(), kMsgNone);
    }
    ASSERT_EQ(flushWrites(*c.session, c.tableState), kMsgNone);

    emulator_->control("POST", "faults",
                       R"({"kind": "error", "action": "API_ImportFromCSV", "errcode": 2,)"
                       R"( "errtext": "Invalid input", "errdetail": "Refused"})");
    EXPECT_EQ(SQLDisconnect(dbc), SQL_ERROR);
    SQLCHAR text[512] = {};
    SQLGetDiagRec(SQL_HANDLE_DBC, dbc, 1, nullptr, nullptr, text, sizeof text, nullptr);
    EXPECT_NE(std::string(reinterpret_cast<char*>(text))
                  .find("Refused (table bq8kx2mje: 0 of 2 saved records were sent; the other 2 "
                        "are kept)"),
              std::string::npos)
        << text;
    EXPECT_FALSE(c.dataSourceName.empty());  // still connected
    EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS) << state();
    std::string records =
        emulator_->control("GET", std::string("tables/") + test::kContacts + "/records");
    EXPECT_NE(records.find("Saved Two"), std::string::npos);

    // Manual commit: pending changes are an open transaction.
    ASSERT_EQ(driverConnect(server() + ";" + kPat, SQL_DRIVER_NOPROMPT), SQL_SUCCESS) << state();
    connection().autocommit = SQL_AUTOCOMMIT_OFF;
    std::unique_ptr<QbTable> table;
    ASSERT_EQ(openTable(*connection().session, connection().tableState, test::kContacts, table),
              kMsgNone);
    ASSERT_EQ(table->newRecord(), kMsgNone);
    ASSERT_EQ(table->saveRecord(), kMsgNone);
    EXPECT_EQ(SQLDisconnect(dbc), SQL_ERROR);
    EXPECT_EQ(state(), "25000");
    discardWrites(connection().tableState);
    EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
}

}  // namespace
