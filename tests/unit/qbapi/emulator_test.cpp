// Every call of the client against the QuickBase emulator, over real HTTPS on loopback.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>

#include "emulator.h"
#include "qbapi/base64.h"
#include "qbapi/qb_session.h"

namespace kelvra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

class EmulatorTest : public EmulatorSuite {
  protected:
    void SetUp() override {
        EmulatorSuite::SetUp();
        if (HasFatalFailure()) return;
        emulator_->control("POST", "reset");
        emulator_->control("POST", "faults/clear");
        emulator_->control("POST", "log/clear");
    }

    // A session that has logged in as the demo user.
    std::unique_ptr<QbSession> connect(bool useServerRequest = false) {
        return loggedInSession(useServerRequest);
    }

    // The values of one numeric key of every entry of the emulator's request log.
    static std::vector<std::string> logged(const std::string& key) {
        std::string log = emulator_->control("GET", "log");
        std::regex pattern("\"" + key + "\": \"?([^,\"\\n]*)");
        std::vector<std::string> out;
        for (auto it = std::sregex_iterator(log.begin(), log.end(), pattern);
             it != std::sregex_iterator(); ++it) {
            out.push_back((*it)[1]);
        }
        return out;
    }

    static void expectNoSecret(const QbSession& s) {
        for (const std::string* t : {&s.errcode(), &s.errtext(), &s.errdetail()}) {
            EXPECT_EQ(t->find(kPassword), std::string::npos) << *t;
            if (!s.ticket.empty()) {
                EXPECT_EQ(t->find(s.ticket), std::string::npos) << *t;
            }
        }
    }
};

TEST_F(EmulatorTest, CertificateIsCheckedUnlessWinHttp) {
    std::string bundle = std::getenv("CURL_CA_BUNDLE");
    ::unsetenv("CURL_CA_BUNDLE");
    QbSession plain(false, false);
    plain.server = emulator_->host();
    plain.username = kUser;
    plain.password = kPassword;
    EXPECT_EQ(plain.authenticate(), "");
    EXPECT_EQ(plain.errcode(), "17");
    EXPECT_THAT(plain.errdetail(), StartsWith("Communication with https://" + emulator_->host() +
                                              "/db/main?a=API_Authenticate failed: "));
    EXPECT_THAT(plain.errdetail(), HasSubstr("certificate"));
    expectNoSecret(plain);

    auto winHttp = connect(true);
    EXPECT_FALSE(winHttp->ticket.empty());

    ::setenv("CURL_CA_BUNDLE", bundle.c_str(), 1);
    EXPECT_NE(plain.authenticate(), "");
    EXPECT_EQ(plain.errcode(), "0");
    EXPECT_EQ(plain.userid, "61523471.ab3c");
}

TEST_F(EmulatorTest, WrongPasswordIsTheServiceError) {
    QbSession session(false, false);
    session.server = emulator_->host();
    session.username = kUser;
    session.password = "not-the-password";
    EXPECT_EQ(session.authenticate(), "");
    EXPECT_EQ(session.errcode(), "20");
    EXPECT_EQ(session.msgNo(), kMsgSession);
    EXPECT_EQ(session.errdetail().find("not-the-password"), std::string::npos);
}

TEST_F(EmulatorTest, ReadCallsShareOneConnection) {
    auto session = connect();
    const XmlDocument* table = session->getSchema(kProjects);
    ASSERT_NE(table, nullptr) << session->errdetail();
    EXPECT_EQ(table->text("/*/table/name"), "Projects");
    EXPECT_EQ(table->text("/*/table/fields/field[@id='20']/@field_type"), "file");

    const XmlDocument* app = session->getSchema(kApp);
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(app->nodes("/*/table/chdbids/chdbid").size(), 3u);
    EXPECT_EQ(session->getSchema("bq8kx2mzz"), nullptr);
    EXPECT_EQ(session->errcode(), "32");

    EXPECT_EQ(session->findDbByName("Kelvra Projects"), kApp);
    EXPECT_EQ(session->findDbByName("Kelvra Contacts"), kContacts);  // its only table

    std::vector<DbInfo> tables, applications;
    session->grantedDbs(false, tables);
    session->grantedDbs(true, applications);
    std::set<std::string> tableNames, applicationIds;
    for (const DbInfo& t : tables) tableNames.insert(t.dbname);
    for (const DbInfo& a : applications) applicationIds.insert(a.dbid);
    EXPECT_TRUE(tableNames.count("Kelvra Projects:Projects"));
    EXPECT_FALSE(tableNames.count("Kelvra Projects"));
    EXPECT_TRUE(applicationIds.count(kApp));
    EXPECT_FALSE(applicationIds.count(kProjects));  // without embedded tables

    std::vector<std::string> connections = logged("conn");
    EXPECT_EQ(connections.size(), 8u);
    EXPECT_EQ(std::set<std::string>(connections.begin(), connections.end()).size(), 1u);
    EXPECT_THAT(logged("user-agent"), ::testing::Each(std::string("Kelvra ODBC/3.8.1.44 (Linux)")));
}

TEST_F(EmulatorTest, DoQuerySelectsSortsAndPages) {
    auto session = connect();
    QueryResult all;
    session->doQuery(kProjects, "", "3.6.11.13.20", "3", "", all);
    ASSERT_EQ(session->errcode(), "0") << session->errdetail();
    ASSERT_EQ(all.records.size(), 5u);
    EXPECT_EQ(all.records[1][13], "Caf\xc3\xa9 Z\xc3\xbcrich");
    EXPECT_EQ(all.records[1][11],
              "Rebuild the public site.\nNew CMS, new design.\nGo-live before summer.");
    EXPECT_THAT(all.records[1][20],
                StartsWith("https://" + emulator_->host() + "/up/" + kProjects + "/a/r1/e20"));

    QueryResult page;
    session->doQuery(kProjects, "{'3'.GT.'1'}", "3.6", "3", "sortorder-D.num-2.skp-1", page);
    ASSERT_EQ(session->errcode(), "0") << session->errdetail();
    std::vector<std::int32_t> ids;
    for (const auto& [rid, fields] : page.records) ids.push_back(rid);
    EXPECT_THAT(ids, ElementsAre(3, 4));  // 5, 4, 3, 2 descending; skip one, take two
    EXPECT_EQ(page.records[3].size(), 2u);

    QueryResult managers;
    session->doQuery(kProjects, "{'3'.EX.'1'}", "3.10", "", "", managers);
    EXPECT_EQ(managers.users[61523471], "Pat Doe");
}

TEST_F(EmulatorTest, RecordIdsComeFromGenResultsTable) {
    auto session = connect();
    session->recordIds(kProjects, "{'3'.LTE.'3'}", "3", "sortorder-D");
    ASSERT_EQ(session->errcode(), "0") << session->errdetail();
    EXPECT_THAT(session->recordIdList, ElementsAre(0, 3, 2, 1, -1));
    session->recordIds(kProjects, "", "", "");  // options of ".csv" alone
    ASSERT_EQ(session->errcode(), "0") << session->errdetail();
    EXPECT_EQ(session->recordIdList.size(), 7u);
}

TEST_F(EmulatorTest, ImportAddsAndUpdatesAndPurgeDeletes) {
    auto session = connect();
    session->importFromCsv(kContacts, ",Nia Okafor,nia@example.com\n1,Renamed \"One\",x@y.z\n",
                           "3.6.7");
    ASSERT_EQ(session->errcode(), "0") << session->errdetail();
    EXPECT_EQ(session->replyDocument()->text("/*/num_recs_added"), "1");
    EXPECT_EQ(session->replyDocument()->text("/*/num_recs_updated"), "1");

    QueryResult result;
    session->doQuery(kContacts, "", "3.6", "3", "", result);
    ASSERT_EQ(result.records.size(), 4u);
    EXPECT_EQ(result.records[1][6], "Renamed \"One\"");
    EXPECT_EQ(result.records.rbegin()->second[6], "Nia Okafor");

    session->purgeRecords(kContacts, "{'6'.SW.'Renamed'}");
    EXPECT_EQ(session->errcode(), "0");
    QueryResult after;
    session->doQuery(kContacts, "", "3.6", "3", "", after);
    EXPECT_EQ(after.records.size(), 3u);
    EXPECT_EQ(after.records.count(1), 0u);
}

TEST_F(EmulatorTest, AttachmentsAreUploadedAndDownloaded) {
    auto session = connect();
    std::string path =
        ::testing::TempDir() + "qbapi-charter-" + std::to_string(::getpid()) + ".bin";
    std::string bytes("charter\0\x01\xfe\xff text", 16);
    std::ofstream(path, std::ios::binary) << bytes;

    std::string rid = session->addRecord(kProjects, {{6, "Attachment Test"}, {20, path}}, false);
    std::remove(path.c_str());
    ASSERT_FALSE(rid.empty()) << session->errcode() << " " << session->errdetail();
    QueryResult result;
    session->doQuery(kProjects, "{'3'.EX.'" + rid + "'}", "3.20", "", "", result);
    std::string url = result.records[std::stoi(rid)][20];
    std::string content;
    ASSERT_TRUE(session->download(url, content)) << session->errdetail();
    EXPECT_EQ(content, bytes);

    EXPECT_EQ(session->editRecord(kProjects, rid, {{20, encodeBase64("second version")}}, true),
              "1");
    ASSERT_TRUE(session->download(url, content)) << session->errdetail();
    EXPECT_EQ(content, "second version");

    EXPECT_FALSE(session->download(
        "https://" + emulator_->host() + "/up/" + kProjects + "/a/r999/e20/v0", content));
    EXPECT_NE(session->errcode(), "0");
}

TEST_F(EmulatorTest, ExpiredTicketIsReplacedByPassword) {
    auto session = connect();
    std::string oldTicket = session->ticket;
    emulator_->control("POST", "tickets/expire", "{}");
    emulator_->control("POST", "log/clear");

    QueryResult result;
    session->doQuery(kProjects, "", "3", "", "", result);
    EXPECT_EQ(session->errcode(), "0") << session->errdetail();
    EXPECT_EQ(result.records.size(), 5u);
    EXPECT_THAT(logged("errcode"), ElementsAre("4", "0"));
    // The refused ticket went out once, as the first request's cookie; the retry had none.
    std::vector<std::string> cookies = logged("cookie");
    EXPECT_THAT(cookies, ElementsAre("TICKET=" + oldTicket + ";"));

    // Verified calls retry the same way.
    EXPECT_NE(session->getSchema(kContacts), nullptr);
    EXPECT_EQ(session->errcode(), "0");
}

TEST_F(EmulatorTest, ViewTooLargeIsReported) {
    auto session = connect();
    emulator_->control("POST", "faults",
                       R"({"kind": "error", "errcode": 75, "action": "API_DoQuery"})");
    QueryResult result;
    session->doQuery(kProjects, "", "3", "", "", result);
    EXPECT_EQ(session->errcode(), "75");
    EXPECT_EQ(session->msgNo(), kMsgSession);
    EXPECT_TRUE(result.records.empty());
    expectNoSecret(*session);
    session->doQuery(kProjects, "", "3", "", "", result);  // the fault fired once
    EXPECT_EQ(session->errcode(), "0");
}

TEST_F(EmulatorTest, ForeignRepliesAreNotTakenForQuickBase) {
    auto session = connect();
    emulator_->control("POST", "faults",
                       R"([{"kind": "http_status", "status": 503, "action": "API_GetSchema"},
                           {"kind": "not_quickbase", "action": "API_GetSchema"},
                           {"kind": "malformed_xml", "action": "API_DoQuery"}])");
    EXPECT_EQ(session->getSchema(kProjects), nullptr);
    EXPECT_EQ(session->errcode(), "503");
    EXPECT_EQ(session->getSchema(kProjects), nullptr);
    EXPECT_EQ(session->errcode(), "200");
    QueryResult result;
    session->doQuery(kProjects, "", "3", "", "", result);
    EXPECT_EQ(session->errcode(), "1003");
    EXPECT_THAT(session->errdetail(), StartsWith("XML Parse error at line "));
}

}  // namespace
}  // namespace kelvra::test
