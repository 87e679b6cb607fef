// Reply verification, the DBID rule, the caches and the read calls.
#include <gtest/gtest.h>
#include <libxml/globals.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "session_fixture.h"

namespace kelvra::test {
namespace {

using ::testing::ElementsAre;

const std::string kSchema =
    "<table><name>Orders</name><fields>"
    "<field id='3' field_type='recordid' base_type='int32'><label>Record ID#</label></field>"
    "<field id='7' field_type='file' base_type='text'><label>Contract</label></field>"
    "</fields></table>";

TEST_F(SessionTest, VerifiedReplyFillsErrorStateAndRenewsTicket) {
    wire->answer(
        qbApiReply("API_Authenticate", "<ticket>NEWTICKET</ticket><userid>61523471.ab3c</userid>"));
    EXPECT_EQ(session->authenticate(), "NEWTICKET");
    EXPECT_THAT(sentParams(0), ElementsAre("username", "password"));
    EXPECT_EQ(wire->sent[0].url, "https://www.quickbase.com/db/main?a=API_Authenticate");
    EXPECT_EQ(session->userid, "61523471.ab3c");
    EXPECT_EQ(session->errdetail(), "No error");  // no errdetail element: a copy of errtext

    // The next request carries the new ticket as cookie and element, and no password.
    wire->answer(qbApiReply("API_FindDBByName", "<dbid>bqx7m2aa9</dbid>"));
    EXPECT_EQ(session->findDbByName("Sales Tracker"), "bqx7m2aa9");
    EXPECT_EQ(sentHeader(1, "Cookie"), "TICKET=NEWTICKET;");
    EXPECT_THAT(sentParams(1), ElementsAre("ticket", "dbname"));
    EXPECT_EQ(sentParam(1, "dbname"), "Sales Tracker");
}

TEST_F(SessionTest, ServiceErrorsAreCopiedAndFailedCallsReturnNothing) {
    wire->answer(qbApiReply("API_FindDBByName", "<dbid>bqx7m2aa9</dbid>"));
    session->findDbByName("Sales Tracker");
    wire->answer(qbApiReply("API_FindDBByName", "<errdetail>No application named Nope.</errdetail>",
                            "2", "Invalid input"));
    EXPECT_EQ(session->findDbByName("Nope"), "");
    EXPECT_EQ(session->errcode(), "2");
    EXPECT_EQ(session->errtext(), "Invalid input");
    EXPECT_EQ(session->errdetail(), "No application named Nope.");
    // After a failed exchange the older reply document must not answer.
    HttpReply down;
    down.status = 503;
    wire->answer(down);
    EXPECT_EQ(session->findDbByName("Sales Tracker"), "");
    EXPECT_EQ(session->errcode(), "503");

    wire->answer(qbApiReply("API_Authenticate", "", "20", "Unknown username/password"));
    EXPECT_EQ(session->authenticate(), "");
    EXPECT_EQ(session->errcode(), "20");
}

TEST_F(SessionTest, NonQuickBaseReplyEmptiesTheTicket) {
    for (const char* body :
         {"<qdbapi><action>x</action></qdbapi>", "<html><body/></html>", "not xml at all", ""}) {
        session->ticket = "T1";
        wire->answer(qbReply(body));
        EXPECT_EQ(session->callApi("main", "API_Authenticate"), 200);
        EXPECT_EQ(session->errcode(), "200") << body;
        EXPECT_EQ(session->errtext(), "Non QuickBase Response.");
        EXPECT_EQ(session->errdetail(),
                  "The response back from www.quickbase.com is not in standard form.");
        EXPECT_TRUE(session->ticket.empty());
    }
}

TEST_F(SessionTest, ReplyWithDocumentTypeIsRefused) {
    wire->answer(
        qbReply("<?xml version=\"1.0\"?><!DOCTYPE qdbapi [<!ENTITY a \"aaaa\">]>"
                "<qdbapi><errcode>0</errcode><errtext>&a;</errtext></qdbapi>"));
    session->callApi("main", "API_Authenticate");
    EXPECT_EQ(session->errcode(), "200");
}

int hostReports = 0;
void hostHandler(void*, const char*, ...) {
    ++hostReports;
}

TEST(XmlErrors, NeverReachTheHostsStderrNorItsHandler) {
    // The host program has a libxml2 error handler of its own on this thread.
    xmlSetGenericErrorFunc(nullptr, hostHandler);
    std::fflush(stderr);
    const int savedStderr = ::dup(STDERR_FILENO);
    std::FILE* captured = std::tmpfile();
    ::dup2(::fileno(captured), STDERR_FILENO);
    // Bytes its declared encoding cannot convert make libxml2 report an "encoding error".
    auto doc = XmlDocument::parse(
        "<?xml version=\"1.0\" encoding=\"EUC-JP\"?><qdbapi>\xff\xff\xff</qdbapi>");
    std::fflush(stderr);
    ::dup2(savedStderr, STDERR_FILENO);
    ::close(savedStderr);
    EXPECT_EQ(doc, nullptr);
    struct stat written {};
    ::fstat(::fileno(captured), &written);
    EXPECT_EQ(written.st_size, 0);
    EXPECT_EQ(hostReports, 0);
    EXPECT_EQ(xmlGenericError, hostHandler);  // put back
    std::fclose(captured);
    xmlSetGenericErrorFunc(nullptr, nullptr);
}

TEST_F(SessionTest, InvalidDbidsFailWithoutTraffic) {
    for (const char* dbid : {"bqx7m2ab1", "Bqx7m2ab4", "bqx7l2ab4", "bqx7o", "bqx7m",
                             "bqx7m2ab4bqx7m", "bqx7m2ab4/../", ""}) {
        EXPECT_FALSE(session->isValidDbid(dbid)) << dbid;
        EXPECT_EQ(session->getSchema(dbid), nullptr);
        EXPECT_EQ(session->errcode(), "16");
        EXPECT_EQ(session->errtext(), "Invalid DBID");
    }
    EXPECT_TRUE(wire->sent.empty());
    EXPECT_TRUE(session->isValidDbid("abcdef"));
    EXPECT_TRUE(session->isValidDbid("bqx7m2ab4bqx7"));
}

TEST_F(SessionTest, SchemaIsFetchedOncePerDbid) {
    wire->answer(qbApiReply("API_GetSchema", kSchema));
    const XmlDocument* schema = session->getSchema("bqx7m2ab4");
    ASSERT_NE(schema, nullptr);
    EXPECT_EQ(schema->text("/*/table/name"), "Orders");
    EXPECT_EQ(wire->sent[0].url, "https://www.quickbase.com/db/bqx7m2ab4?a=API_GetSchema");

    session->setError("2", "Invalid input", "earlier failure");
    EXPECT_EQ(session->getSchema("bqx7m2ab4"), schema);
    EXPECT_EQ(wire->sent.size(), 1u);
    EXPECT_EQ(session->errcode(), "0");
    EXPECT_EQ(session->errtext(), "No Error");
    EXPECT_EQ(session->errdetail(), "No Error");

    // The cached document outlives later replies.
    wire->answer(qbApiReply("API_Authenticate", "<ticket>T</ticket>"));
    session->authenticate();
    EXPECT_EQ(schema->nodes("/*/table/fields/field").size(), 2u);
    EXPECT_EQ(schema->nodes("/*/table/fields/field")[1].attribute("field_type"), "file");
    EXPECT_EQ(schema->nodes("/*/table/fields/field")[1].text("label"), "Contract");

    // A failure is not cached.
    wire->answer(qbApiReply("API_GetSchema", "", "32", "No such application"));
    wire->answer(qbApiReply("API_GetSchema", kSchema));
    EXPECT_EQ(session->getSchema("bqx7m2ac2"), nullptr);
    EXPECT_EQ(session->errcode(), "32");
    EXPECT_NE(session->getSchema("bqx7m2ac2"), nullptr);
    EXPECT_EQ(wire->sent.size(), 4u);
}

TEST_F(SessionTest, GrantedDbsAsksForTablesOrApplications) {
    wire->answer(qbApiReply("API_GrantedDBs",
                            "<databases><dbinfo><dbname>Sales Tracker:Orders</dbname>"
                            "<dbid>bqx7m2ab4</dbid></dbinfo><dbinfo><dbid>bqx7m2ac2</dbid>"
                            "<dbname>Sales Tracker:Customers</dbname></dbinfo></databases>"));
    std::vector<DbInfo> tables;
    session->grantedDbs(false, tables);
    EXPECT_THAT(sentParams(0),
                ElementsAre("username", "password", "withembeddedtables", "Excludeparents"));
    EXPECT_EQ(sentParam(0, "withembeddedtables"), "1");
    EXPECT_EQ(sentParam(0, "Excludeparents"), "1");
    ASSERT_EQ(tables.size(), 2u);
    EXPECT_EQ(tables[0].dbname, "Sales Tracker:Orders");
    EXPECT_EQ(tables[1].dbid, "bqx7m2ac2");
    EXPECT_EQ(tables[1].dbname, "Sales Tracker:Customers");

    session->setError("2", "x", "x");
    session->grantedDbs(false, tables);  // already filled: no call
    EXPECT_EQ(wire->sent.size(), 1u);
    EXPECT_EQ(session->errcode(), "0");

    wire->answer(qbReply(qbXml("API_GrantedDBs", "0", "No error",
                               "<databases><dbinfo><dbname>A</dbname><dbid>bqx7m2aa9</dbid>"
                               "</dbinfo><dbinfo><dbname>B<")));
    std::vector<DbInfo> applications;
    session->grantedDbs(true, applications);
    EXPECT_EQ(sentParam(1, "withembeddedtables"), "0");
    EXPECT_EQ(session->errcode(), "1003");
    EXPECT_TRUE(applications.empty());  // no partial list survives a failure
}

TEST_F(SessionTest, GenResultsTableSendsTheQueryParametersInOrder) {
    session->ticket = "T1";
    wire->answer(qbReply("\"Record ID#\"\r\n", "0"));
    EXPECT_EQ(session->genResultsTable("bqx7m2ab4", "{'7'.EX.'Open'}", "3.6", "6", "csv"), 200);
    EXPECT_THAT(sentParams(0), ElementsAre("ticket", "fmt", "query", "clist", "slist", "options"));
    EXPECT_EQ(sentParam(0, "fmt"), "structured");
    EXPECT_EQ(sentParam(0, "options"), "csv");
    EXPECT_EQ(session->replyText(), "\"Record ID#\"\r\n");
}

TEST_F(SessionTest, ParentDbidIsFoundInThePageAndCached) {
    wire->answer(qbReply("<script>\nvar gParentDBID\t\t\t= \"bqx7m2aa9\";\n</script>"));
    EXPECT_EQ(session->parentDbid("bqx7m2ab4"), "bqx7m2aa9");
    EXPECT_EQ(wire->sent[0].url, "https://www.quickbase.com/db/bqx7m2ab4?a=");
    EXPECT_EQ(session->parentDbid("bqx7m2ab4"), "bqx7m2aa9");
    EXPECT_EQ(wire->sent.size(), 1u);

    wire->answer(qbReply("<html>var gParentDBID = \"bqx7m2aa9\";</html>"));
    wire->answer(qbReply("var gParentDBID\t\t\t= \"unterminated"));
    EXPECT_EQ(session->parentDbid("bqx7m2ac2"), "");
    EXPECT_EQ(session->parentDbid("bqx7m2ac2"), "");  // nothing cached: asked again
    EXPECT_EQ(wire->sent.size(), 3u);
}

}  // namespace
}  // namespace kelvra::test
