// Opening the demo application's tables on the QuickBase emulator, over real HTTPS on loopback.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "emulator.h"
#include "qbapi/qb_session.h"
#include "qbtable/qb_table.h"

namespace kelvra::test {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

class OpenTableEmuTest : public EmulatorSuite {
  protected:
    std::unique_ptr<QbSession> connect() { return loggedInSession(); }

    // The columns of a table opened on a new connection, one text per column.
    std::vector<std::string> columnsOf(std::string_view name, std::string* dbid = nullptr) {
        auto session = connect();
        TableLayerState state;
        std::unique_ptr<QbTable> table;
        MsgNo status = openTable(*session, state, name, table);
        EXPECT_EQ(status, kMsgNone) << name << ": " << state.error.detail;
        std::vector<std::string> columns;
        if (!table) return columns;
        if (dbid) *dbid = table->dbid();
        for (std::size_t i = 0; i < table->columnCount(); ++i) {
            const QbField& f = table->field(i);
            columns.push_back(f.name + " " + f.fidText + " " + std::to_string(f.sqlType) + " " +
                              std::to_string(f.columnSize));
        }
        return columns;
    }
};

TEST_F(OpenTableEmuTest, EveryKindOfNameResolvesToTheSameColumns) {
    std::string dbid;
    std::vector<std::string> byDbid = columnsOf(kContacts, &dbid);
    ASSERT_EQ(dbid, kContacts);
    // Fields 1 to 5 and the five of the fixture.
    ASSERT_EQ(byDbid.size(), 10u);
    EXPECT_THAT(byDbid, Contains("Record ID_ 3 4 10"));
    EXPECT_THAT(byDbid, Contains("Full Name 6 12 255"));
    EXPECT_THAT(byDbid, Contains("VIP 10 -7 1"));
    for (const char* name :
         {"Contacts v1_2 bq8kx2mje", "DBIDbq8kx2mje", "Contacts_bq8kx2mje", "Kelvra Contacts"}) {
        EXPECT_EQ(columnsOf(name, &dbid), byDbid) << name;
        EXPECT_EQ(dbid, kContacts) << name;
    }
}

TEST_F(OpenTableEmuTest, ApplicationOfSeveralTablesIsRefused) {
    for (const char* name : {"bq8kx2md9", "Kelvra Projects"}) {
        auto session = connect();
        TableLayerState state;
        std::unique_ptr<QbTable> table;
        EXPECT_EQ(openTable(*session, state, name, table), kMsgSession) << name;
        EXPECT_EQ(table, nullptr);
        EXPECT_EQ(state.error.detail,
                  "Parent tables have no columns. Please use one of the following child tables: "
                  "\"projects bq8kx2mea\", \"tasks bq8kx2mfb\", \"team_members bq8kx2mgc\"")
            << name;
    }
}

TEST_F(OpenTableEmuTest, DemoProjectsColumns) {
    auto session = connect();
    TableLayerState state;
    state.hostProgram = "sqlservr.exe";
    std::unique_ptr<QbTable> table;
    ASSERT_EQ(openTable(*session, state, "Projects bq8kx2mea", table), kMsgNone)
        << state.error.detail;
    EXPECT_EQ(table->name(), "Projects");
    EXPECT_EQ(table->keyColumnName(), "Record ID_");
    // The Tasks link (18) is no column; the virtual formula field 19 is.
    EXPECT_EQ(table->positionOfFid(18), -1);
    ASSERT_GE(table->positionOfFid(19), 0);
    EXPECT_EQ(table->field(table->positionOfFid(19)).updatable, 0);
    const QbField& description = table->field(table->positionOfFid(11));
    EXPECT_EQ(description.sqlType, SQL_VARCHAR);  // its size variable says 4000
    EXPECT_EQ(description.columnSize, 4000);
    const QbField& client = table->field(table->positionOfFid(13));
    EXPECT_EQ(client.columnSize, 80);
    const QbField& budget = table->field(table->positionOfFid(9));
    EXPECT_EQ(budget.sqlType, SQL_NUMERIC);
    EXPECT_EQ(budget.decimalDigits, 2);
    EXPECT_EQ(table->field(table->positionOfFid(21)).sqlType, SQL_TIMESTAMP);
    EXPECT_EQ(table->field(table->positionOfFid(8)).sqlType, SQL_DATE);
    EXPECT_EQ(table->field(table->positionOfFid(10)).kind, FieldKind::UserId);
    EXPECT_EQ(table->createdFid(), 1);
    EXPECT_EQ(table->ownerFid(), 4);
}

TEST_F(OpenTableEmuTest, UnknownNameCarriesQuickBaseText) {
    auto session = connect();
    TableLayerState state;
    std::unique_ptr<QbTable> table;
    EXPECT_EQ(openTable(*session, state, "No Such Thing", table), kMsgSession);
    EXPECT_EQ(state.error.code, "2");
    EXPECT_THAT(state.error.detail, HasSubstr("No Such Thing"));
    EXPECT_EQ(state.error.detail.find(kPassword), std::string::npos);
}

}  // namespace
}  // namespace kelvra::test
