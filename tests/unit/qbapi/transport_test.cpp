// The exchange: status and header checks, transport failures, the ticket retry, the headers
// sent and the server rule.
#include <gtest/gtest.h>

#include "session_fixture.h"

namespace kelvra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

const std::string kUrl = "https://acme.quickbase.com/db/main?a=API_Authenticate";

TEST_F(SessionTest, StatusOtherThan200IsTheErrorCode) {
    HttpReply notFound;
    notFound.status = 404;
    notFound.body = "<html>gone</html>";
    wire->answer(notFound);
    EXPECT_EQ(session->post(kUrl, true), 404);
    EXPECT_EQ(session->errcode(), "404");
    EXPECT_EQ(session->errtext(), "xmlHTTP error 404");
    EXPECT_EQ(session->errdetail(), "While attempting to connect with " + kUrl +
                                        " the xmlHTTP object failed with an error code of 404");
    EXPECT_EQ(session->msgNo(), kMsgSession);
}

TEST_F(SessionTest, Status200WithoutQuickBaseHeaderFails) {
    HttpReply proxyPage;
    proxyPage.status = 200;
    proxyPage.headers = {{"Content-Length", "12"}};
    proxyPage.body = "<html></html>";
    wire->answer(proxyPage);
    EXPECT_EQ(session->post(kUrl, true), 200);
    EXPECT_EQ(session->errcode(), "200");
    EXPECT_EQ(session->errtext(), "xmlHTTP error 200");
    EXPECT_FALSE(session->ok());
}

TEST_F(SessionTest, QuickBaseHeadersBecomeTheErrorState) {
    HttpReply reply = qbReply("<qdbapi/>", "0", "No error");
    reply.headers[1].value = "  1234xyz";
    wire->answer(reply);
    EXPECT_EQ(session->post(kUrl, true), 200);
    EXPECT_EQ(session->errcode(), "0");
    EXPECT_EQ(session->errtext(), "No error");
    EXPECT_EQ(session->errdetail(), "No error");
    EXPECT_EQ(session->msgNo(), kMsgNone);
    EXPECT_EQ(session->lastReplyLength(), 1234);

    reply.headers[1].value = "99999999999";  // a claim is only recorded, and clamped
    reply.headers[2].value = "24";
    reply.headers[3].value = "Invalid application token";
    wire->answer(reply);
    session->post(kUrl, true);
    EXPECT_EQ(session->lastReplyLength(), 2147483647);
    EXPECT_EQ(session->errcode(), "24");
    EXPECT_EQ(session->errdetail(), "Invalid application token");
}

TEST_F(SessionTest, ChannelFailureIsError17NamingTheUrl) {
    wire->fail(60, "SSL certificate problem: self-signed certificate");
    int result = session->post(kUrl, true);
    EXPECT_NE(result, 0);
    EXPECT_NE(result, 200);
    EXPECT_EQ(session->errcode(), "17");
    EXPECT_EQ(session->errtext(), "HTTP error");
    EXPECT_EQ(
        session->errdetail(),
        "Communication with " + kUrl + " failed: SSL certificate problem: self-signed certificate");
}

TEST_F(SessionTest, MissingStatusIsError17AndMinusOne) {
    HttpReply noStatus;
    wire->answer(noStatus);
    EXPECT_EQ(session->post(kUrl, true), -1);
    EXPECT_EQ(session->errcode(), "17");
    EXPECT_EQ(session->errtext(), "xmlHTTP COM error on xmlHTTP->status.");
}

TEST(SessionWithoutChannel, ReportsError1000AndSendsNothing) {
    QbSession session(nullptr);
    EXPECT_EQ(session.errcode(), "1000");
    EXPECT_THAT(session.errdetail(), HasSubstr("libcurl"));
    EXPECT_EQ(session.post(kUrl, true), -1);
    EXPECT_EQ(session.errcode(), "17");
}

TEST_F(SessionTest, RefusedTicketIsRetriedOnceWithPassword) {
    session->ticket = kTicket;
    session->userAgent = "Kelvra ODBC/3.8.1.44 (Linux)";
    session->beginRequest();
    session->addParam("query", "{'7'.EX.'Open'}");
    wire->answer(qbReply("", "4", "Bad ticket"));
    wire->answer(qbReply("", "0", "No error"));
    EXPECT_EQ(session->post(kUrl, true), 200);
    ASSERT_EQ(wire->sent.size(), 2u);
    EXPECT_EQ(sentHeader(0, "Cookie"), std::string("TICKET=") + kTicket + ";");
    EXPECT_EQ(sentParam(0, "ticket"), kTicket);
    EXPECT_EQ(sentHeader(1, "Cookie"), "<absent>");
    EXPECT_EQ(sentHeader(1, "User-Agent"), "Kelvra ODBC/3.8.1.44 (Linux)");
    EXPECT_THAT(sentParams(1), ElementsAre("query", "username", "password"));
    EXPECT_EQ(sentParam(1, "password"), kPassword);
    EXPECT_EQ(session->errcode(), "0");
    EXPECT_TRUE(session->ticket.empty());

    // A second refusal is the caller's: no third request.
    wire->answer(qbReply("", "4", "Bad ticket"));
    wire->answer(qbReply("", "4", "Bad ticket"));
    session->post(kUrl, true);
    EXPECT_EQ(wire->sent.size(), 4u);
    EXPECT_EQ(session->errcode(), "4");
    EXPECT_THAT(sentParams(3), ElementsAre("query", "username", "password"));
}

TEST_F(SessionTest, HeadersOnlyWhenThereIsSomethingToSend) {
    session->beginRequest();
    wire->answer(qbReply(""));
    session->post(kUrl, false);
    EXPECT_EQ(sentHeader(0, "User-Agent"), "<absent>");
    EXPECT_EQ(sentHeader(0, "Cookie"), "<absent>");
    EXPECT_EQ(sentHeader(0, "Content-Type"), "<absent>");
    EXPECT_EQ(wire->sent[0].method, "POST");

    session->ticket = "T1";
    session->userAgent = "UA";
    wire->answer(qbReply(""));
    session->post(kUrl, true);
    EXPECT_EQ(sentHeader(1, "User-Agent"), "UA");
    EXPECT_EQ(sentHeader(1, "Cookie"), "TICKET=T1;");
    EXPECT_EQ(sentHeader(1, "Content-Type"), "text/xml");
}

TEST_F(SessionTest, BareDomainOrEmptyServerBecomesTheDefaultHost) {
    for (int i = 0; i < 3; ++i) wire->answer(qbReply(""));
    session->server = "";
    session->postToTable("main", "API_Authenticate", true);
    session->server = "quickbase.com";
    session->postToTable("bqx7m2ab4", "API_DoQuery", true);
    EXPECT_EQ(session->server, "www.quickbase.com");
    session->server = "acme.quickbase.com";
    session->postToTable("bqx7m2ab4", "", true);
    EXPECT_EQ(wire->sent[0].url, "https://www.quickbase.com/db/main?a=API_Authenticate");
    EXPECT_EQ(wire->sent[1].url, "https://www.quickbase.com/db/bqx7m2ab4?a=API_DoQuery");
    EXPECT_EQ(wire->sent[2].url, "https://acme.quickbase.com/db/bqx7m2ab4?a=");
}

TEST_F(SessionTest, RequestIsUtf8XmlWithEscapedValues) {
    session->beginRequest();
    session->addParam("query", "{'6'.CT.'Zoë & <Söhne>'}");
    session->addParam("clist", "");
    wire->answer(qbReply(""));
    session->post(kUrl, true);
    const std::string& body = wire->sent[0].body;
    EXPECT_THAT(body, HasSubstr("encoding=\"UTF-8\""));
    EXPECT_THAT(body, HasSubstr("Zo\xc3\xab &amp; &lt;S\xc3\xb6hne&gt;"));
    EXPECT_EQ(sentParam(0, "query"), "{'6'.CT.'Zoë & <Söhne>'}");
    EXPECT_THAT(sentParams(0), ElementsAre("username", "password", "query", "clist"));
}

TEST_F(SessionTest, SecretsAppearInNoErrorText) {
    session->ticket = kTicket;
    session->server = "acme.quickbase.com";
    auto expectNoSecret = [&] {
        for (const std::string* text :
             {&session->errcode(), &session->errtext(), &session->errdetail()}) {
            EXPECT_EQ(text->find(kPassword), std::string::npos) << *text;
            EXPECT_EQ(text->find(kTicket), std::string::npos) << *text;
        }
    };
    HttpReply notFound;
    notFound.status = 404;
    wire->answer(notFound);
    session->authenticate();
    expectNoSecret();
    wire->fail(7, "Failed to connect to acme.quickbase.com port 443");
    session->authenticate();
    expectNoSecret();
    wire->answer(qbReply("not xml"));
    session->authenticate();
    expectNoSecret();
}

TEST_F(SessionTest, DownloadIsAGetWithTheTicketCookie) {
    session->ticket = "T1";
    HttpReply file = qbReply(std::string("PDF\0bytes", 9));
    wire->answer(file);
    std::string content;
    ASSERT_TRUE(session->download("https://acme.quickbase.com/up/bqx7m2ab4/a/r17/e12/v0", content));
    EXPECT_EQ(content, std::string("PDF\0bytes", 9));
    EXPECT_EQ(wire->sent[0].method, "GET");
    EXPECT_EQ(sentHeader(0, "Cookie"), "TICKET=T1;");
    EXPECT_TRUE(wire->sent[0].body.empty());
}

TEST_F(SessionTest, DownloadWithRefusedTicketLogsInAgainOnce) {
    session->ticket = "OLD";
    wire->answer(qbReply("", "4", "Bad ticket"));
    wire->answer(qbApiReply("API_Authenticate", "<ticket>NEW</ticket><userid>1.ab3c</userid>"));
    wire->answer(qbReply("content"));
    std::string content;
    ASSERT_TRUE(session->download("https://acme.quickbase.com/up/x", content));
    EXPECT_EQ(content, "content");
    ASSERT_EQ(wire->sent.size(), 3u);
    EXPECT_THAT(sentParams(1), ElementsAre("username", "password"));
    EXPECT_EQ(sentHeader(2, "Cookie"), "TICKET=NEW;");

    HttpReply missing;
    missing.status = 404;
    wire->answer(missing);
    EXPECT_FALSE(session->download("https://acme.quickbase.com/up/y", content));
    EXPECT_EQ(session->errcode(), "404");
    EXPECT_TRUE(content.empty());
}

}  // namespace
}  // namespace kelvra::test
