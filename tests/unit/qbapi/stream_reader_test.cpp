// API_DoQuery replies streamed through Expat: where values land, multi-line and file values,
// encodings, malformed and hostile replies, and the repeat of a refused ticket.
#include <gtest/gtest.h>

#include "session_fixture.h"

namespace kelvra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Fields = std::map<std::int32_t, std::string>;

const std::string kRecords =
    "<table><name>Orders</name>\n"
    "<lusers><luser id=\"61523471.ab3c\">Pat Doe</luser></lusers>\n"
    "<records>\n"
    "<record><f id=\"3\">17</f><f id=\"6\">Acme &amp; Sons<BR/>Building 2<br/>Floor 3</f>"
    "<f id=\"10\">61523471.ab3c</f>"
    "<f id=\"12\">contract.pdf<url>https://acme.quickbase.com/up/bqx7m2ab4/a/r17/e12/v0</url>"
    "</f></record>\n"
    "<record><f id=\"6\">Zo\xc3\xab</f><f id=\"3\">18</f><f id=\"9\"/><update_id>5</update_id>"
    "<f id=\"12\"/></record>\n"
    "</records></table>\n";

TEST_F(SessionTest, DoQueryValuesLandUnderTheRecordIdInForce) {
    wire->answer(qbApiReply("API_DoQuery", kRecords));
    QueryResult result;
    session->doQuery("bqx7m2ab4", "{'7'.EX.'Open'}", "3.6.10.12", "3", "num-2.skp-0", result);
    EXPECT_EQ(session->errcode(), "0");
    EXPECT_THAT(sentParams(0),
                ElementsAre("username", "password", "fmt", "query", "clist", "slist", "options"));
    EXPECT_EQ(wire->sent[0].url, "https://www.quickbase.com/db/bqx7m2ab4?a=API_DoQuery");

    // Field 6 of the second record ends before its field 3, so it lands under record 17.
    EXPECT_EQ(result.records[17],
              (Fields{{3, "17"},
                      {6, "Zo\xc3\xab"},
                      {10, "61523471.ab3c"},
                      {12, "https://acme.quickbase.com/up/bqx7m2ab4/a/r17/e12/v0"}}));
    EXPECT_EQ(result.records[18], (Fields{{3, "18"}, {9, ""}, {12, ""}}));
    EXPECT_EQ(result.users, (std::map<std::int32_t, std::string>{{61523471, "Pat Doe"}}));
}

TEST_F(SessionTest, MultiLineValuesKeepEveryLine) {
    wire->answer(qbApiReply("API_DoQuery",
                            "<records><record><f id=\"3\">1</f>"
                            "<f id=\"6\">Acme &amp; Sons<BR/>Building 2<br/>Floor 3<BR/></f>"
                            "</record></records>"));
    QueryResult result;
    session->doQuery("bqx7m2ab4", "", "3.6", "", "", result);
    EXPECT_EQ(result.records[1][6], "Acme & Sons\nBuilding 2\nFloor 3\n");
}

TEST_F(SessionTest, RepliesAreReadInTheEncodingTheyDeclare) {
    std::string latin1 =
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><qdbapi><errcode>0</errcode>"
        "<errtext>No error</errtext><records><record><f id=\"3\">1</f>"
        "<f id=\"6\">Z\xebnith</f></record></records></qdbapi>";
    wire->answer(qbReply(latin1));
    wire->answer(qbApiReply("API_DoQuery",
                            "<records><record><f id=\"3\">2</f><f id=\"6\">\xe6\x9d\xb1\xe4\xba"
                            "\xac \xc3\xa9</f></record></records>"));
    QueryResult result;
    session->doQuery("bqx7m2ab4", "", "3.6", "", "", result);
    session->doQuery("bqx7m2ab4", "", "3.6", "", "", result);
    EXPECT_EQ(result.records[1][6], "Z\xc3\xabnith");
    EXPECT_EQ(result.records[2][6], "\xe6\x9d\xb1\xe4\xba\xac \xc3\xa9");  // untouched UTF-8
}

TEST_F(SessionTest, MalformedReplyNamesTheLine) {
    wire->answer(
        qbReply("<?xml version=\"1.0\" ?>\n<qdbapi>\n<errcode>0</errcode>\n"
                "<records><record></f></records>\n</qdbapi>\n"));
    QueryResult result;
    session->doQuery("bqx7m2ab4", "", "3", "", "", result);
    EXPECT_EQ(session->errcode(), "1003");
    EXPECT_EQ(session->errtext(), "XML Parse error.");
    EXPECT_THAT(session->errdetail(), HasSubstr("XML Parse error at line 4 "));
    EXPECT_THAT(session->errdetail(), HasSubstr("mismatched tag"));
}

TEST_F(SessionTest, EntityDeclarationsAreRefused) {
    std::string laughs =
        "<?xml version=\"1.0\"?><!DOCTYPE qdbapi [<!ENTITY a \"aaaaaaaaaa\">"
        "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;\">]>"
        "<qdbapi><errcode>0</errcode><records><record><f id=\"3\">1</f><f id=\"6\">&c;</f>"
        "</record></records></qdbapi>";
    wire->answer(qbReply(laughs));
    QueryResult result;
    session->doQuery("bqx7m2ab4", "", "3.6", "", "", result);
    EXPECT_EQ(session->errcode(), "1003");
    EXPECT_THAT(session->errdetail(), HasSubstr("document type declarations are not accepted"));
    EXPECT_TRUE(result.records.empty());
}

TEST_F(SessionTest, FailedExchangeKeepsTheTransportError) {
    wire->fail(7, "Failed to connect to www.quickbase.com port 443");
    QueryResult result;
    session->doQuery("bqx7m2ab4", "", "3", "", "", result);
    EXPECT_EQ(session->errcode(), "17");
    EXPECT_THAT(session->errdetail(),
                HasSubstr("Communication with https://www.quickbase.com/db/bqx7m2ab4"));
}

TEST_F(SessionTest, StreamedCallRepeatsARefusedTicketOnce) {
    session->ticket = kTicket;
    // The exchange's own retry is refused too; the streaming call then tries once more.
    wire->answer(qbApiReply("API_DoQuery", "", "4", "Bad ticket"));
    wire->answer(qbApiReply("API_DoQuery", "", "4", "Bad ticket"));
    wire->answer(
        qbApiReply("API_DoQuery", "<records><record><f id=\"3\">5</f></record></records>"));
    QueryResult result;
    session->doQuery("bqx7m2ab4", "", "3", "", "", result);
    EXPECT_EQ(session->errcode(), "0");
    ASSERT_EQ(wire->sent.size(), 3u);
    EXPECT_THAT(sentParams(2),
                ElementsAre("fmt", "query", "clist", "slist", "options", "username", "password"));
    EXPECT_EQ(sentHeader(2, "Cookie"), "<absent>");
    EXPECT_EQ(result.records.count(5), 1u);

    // A password the service refuses ends with its error after a bounded number of requests.
    for (int i = 0; i < 4; ++i) wire->answer(qbApiReply("API_DoQuery", "", "4", "Bad ticket"));
    session->doQuery("bqx7m2ab4", "", "3", "", "", result);
    EXPECT_EQ(session->errcode(), "4");
    EXPECT_EQ(wire->sent.size(), 7u);
    EXPECT_EQ(wire->pending(), 0u);
}

TEST_F(SessionTest, BodyErrorOverridesTheHeaders) {
    wire->answer(qbReply(qbXml("API_DoQuery", "75", "View too large",
                               "<errdetail>Report too large</errdetail><ticket>T2</ticket>"),
                         "0", "No error"));
    QueryResult result;
    session->doQuery("bqx7m2ab4", "", "3", "", "", result);
    EXPECT_EQ(session->errcode(), "75");
    EXPECT_EQ(session->errtext(), "View too large");
    EXPECT_EQ(session->errdetail(), "Report too large");
    EXPECT_EQ(session->ticket, "T2");
    EXPECT_EQ(session->msgNo(), kMsgSession);
}

}  // namespace
}  // namespace kelvra::test

namespace kelvra::test {
namespace {

// A reply fed or gathered in pieces of any size, parsed in blocks of any size, reads the same as
// one fed whole, and a stream begun again (its parser reset) forgets a malformed reply before it.
TEST(XmlStreamTest, PiecesOfAnySizeAndAFreshBegin) {
    const std::string reply = qbXml("API_DoQuery", "0", "No error", kRecords);
    QueryResult whole;
    QueryReader wholeReader(whole);
    std::string detail;
    ASSERT_EQ(streamXml(reply, wholeReader, detail), StreamOutcome::parsed);

    QueryResult pieces;
    QueryReader reader(pieces);
    XmlStream stream(reader);
    // {piece size, block size}: a block of 0 feeds each piece at once.
    const std::pair<std::size_t, std::size_t> cuts[] = {{1, 0}, {1, 1}, {3, 7}, {5, 2}, {64, 1000}};
    for (const auto& [size, block] : cuts) {
        SCOPED_TRACE(testing::Message() << size << " " << block);
        stream.begin();
        stream.gather("<qdbapi><errcode>0</err", block + 1);  // cut short: malformed at the end
        EXPECT_EQ(stream.finish(detail), StreamOutcome::malformed);
        EXPECT_THAT(detail, HasSubstr("XML Parse error at line 1"));

        pieces = {};
        stream.begin();
        for (std::size_t at = 0; at < reply.size(); at += size) {
            const std::string_view piece = std::string_view(reply).substr(at, size);
            block == 0 ? stream.feed(piece) : stream.gather(piece, block);
        }
        EXPECT_EQ(stream.finish(detail), StreamOutcome::parsed);
        EXPECT_EQ(pieces.records, whole.records);
        EXPECT_EQ(pieces.users, whole.users);
        EXPECT_EQ(pieces.records.at(17).at(6), "Zo\xc3\xab");  // a character split across pieces
    }
}

}  // namespace
}  // namespace kelvra::test
