// Record writes with file attachments, imports, purges and record ids.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "session_fixture.h"

namespace kelvra::test {
namespace {

using ::testing::ElementsAre;

const std::string kSchema =
    "<table><name>Orders</name><fields>"
    "<field id='3' field_type='recordid' base_type='int32'><label>Record ID#</label></field>"
    "<field id='6' field_type='text' base_type='text'><label>Customer</label></field>"
    "<field id='7' field_type='file' base_type='text'><label>Contract</label></field>"
    "</fields></table>";

class WriteTest : public SessionTest {
  protected:
    WriteTest() {
        path_ = ::testing::TempDir() + "qbapi_attachment_" + std::to_string(::getpid()) + ".bin";
        std::ofstream(path_, std::ios::binary) << std::string("%PDF\0\xff", 6);
        session->ticket = "T1";
        wire->answer(qbApiReply("API_GetSchema", kSchema));
    }
    ~WriteTest() override { std::remove(path_.c_str()); }

    // The "field" parameters of the n-th request as fid, filename, text.
    std::vector<std::string> sentFields(std::size_t n) const {
        std::vector<std::string> out;
        if (auto doc = sentDocument(n)) {
            for (const XmlNode& f : doc->nodes("/qdbapi/field")) {
                out.push_back(f.attribute("fid") + "|" + f.attribute("filename") + "|" + f.text());
            }
        }
        return out;
    }

    std::string path_;
};

TEST_F(WriteTest, AddRecordUploadsTheNamedFile) {
    wire->answer(qbApiReply("API_AddRecord", "<rid>45</rid><update_id>1</update_id>"));
    EXPECT_EQ(session->addRecord("bqx7m2ab4", {{7, path_}, {6, "Initech & Co"}}, false), "45");
    ASSERT_EQ(wire->sent.size(), 2u);
    EXPECT_EQ(wire->sent[1].url, "https://www.quickbase.com/db/bqx7m2ab4?a=API_AddRecord");
    EXPECT_THAT(sentParams(1), ElementsAre("ticket", "field", "field"));
    EXPECT_THAT(sentFields(1), ElementsAre("6||Initech & Co", "7|" + path_ + "|JVBERgD/"));
}

TEST_F(WriteTest, AddRecordSendsContentAsGiven) {
    wire->answer(qbApiReply("API_AddRecord", "<rid>46</rid>"));
    EXPECT_EQ(session->addRecord("bqx7m2ab4", {{6, "Initech"}, {7, "QUJD"}}, true), "46");
    EXPECT_THAT(sentFields(1), ElementsAre("6||Initech", "7|FileAttachment.7|QUJD"));
}

TEST_F(WriteTest, MissingFileSendsNoRecord) {
    std::string missing = path_ + ".missing";
    EXPECT_EQ(session->addRecord("bqx7m2ab4", {{6, "Initech"}, {7, missing}}, false), "");
    EXPECT_EQ(session->errcode(), "15");
    EXPECT_EQ(session->errtext(), "File not found");
    EXPECT_EQ(session->errdetail(), "Could not open file: '" + missing + "'.");
    EXPECT_EQ(wire->sent.size(), 1u);  // the schema request only

    EXPECT_EQ(session->editRecord("bqx7m2ab4", "17", {{7, ::testing::TempDir()}}, false), "");
    EXPECT_EQ(session->errcode(), "15");  // a directory is no attachment
    EXPECT_EQ(wire->sent.size(), 1u);
}

TEST_F(WriteTest, EditRecordPutsTheRidAfterTheFields) {
    wire->answer(qbApiReply("API_EditRecord",
                            "<rid>17</rid><num_fields_changed>2"
                            "</num_fields_changed>"));
    EXPECT_EQ(session->editRecord("bqx7m2ab4", "17", {{7, "QUJD"}, {6, "Globex"}}, true), "2");
    EXPECT_THAT(sentParams(1), ElementsAre("ticket", "field", "field", "rid"));
    EXPECT_EQ(sentParam(1, "rid"), "17");

    wire->answer(qbApiReply("API_EditRecord", "", "30", "No such record"));
    EXPECT_EQ(session->editRecord("bqx7m2ab4", "99", {{6, "x"}}, true), "");
    EXPECT_EQ(session->errcode(), "30");
}

TEST_F(WriteTest, FailedSchemaStopsTheWrite) {
    QbSession& s = *session;
    EXPECT_EQ(s.addRecord("bqx7m2ab1", {{6, "x"}}, true), "");
    EXPECT_EQ(s.errcode(), "16");
    EXPECT_TRUE(wire->sent.empty());
}

TEST_F(WriteTest, ImportSendsTheCsvWithItsCarriageReturns) {
    session->getSchema("bqx7m2ab4");  // uses up the scripted schema reply
    std::string csv = "17,\"Acme ]]> & Sons\r\nBuilding 2\"\r\n,Globex <b>\r\n";
    wire->answer(qbApiReply("API_ImportFromCSV", "<num_recs_added>1</num_recs_added>"));
    session->importFromCsv("bqx7m2ab4", csv, "3.6");
    EXPECT_EQ(session->errcode(), "0");
    EXPECT_THAT(sentParams(1), ElementsAre("ticket", "records_csv", "clist", "decimalPercent"));
    EXPECT_EQ(sentParam(1, "records_csv"), csv);
    EXPECT_NE(wire->sent[1].body.find("&#13;"), std::string::npos);
    EXPECT_EQ(sentParam(1, "clist"), "3.6");
}

TEST_F(WriteTest, PurgeTrustsTheReplyHeader) {
    session->getSchema("bqx7m2ab4");
    wire->answer(qbReply("whatever the body holds", "0"));
    session->purgeRecords("bqx7m2ab4", "{'3'.EX.'17'}");
    EXPECT_EQ(session->errcode(), "0");
    EXPECT_EQ(wire->sent[1].url, "https://www.quickbase.com/db/bqx7m2ab4?a=API_PurgeRecords");
    EXPECT_THAT(sentParams(1), ElementsAre("ticket", "query"));

    wire->answer(qbReply("<qdbapi><errcode>0</errcode></qdbapi>", "3", "Access denied"));
    session->purgeRecords("bqx7m2ab4", "");
    EXPECT_EQ(session->errcode(), "3");
}

TEST_F(WriteTest, RecordIdsReadOneIdPerLine) {
    session->getSchema("bqx7m2ab4");
    wire->answer(qbReply("\"Record ID#\"\r\n17\r\n23\r\n"));
    session->recordIds("bqx7m2ab4", "{'6'.CT.'a'}", "6", "sortorder-D");
    EXPECT_THAT(session->recordIdList, ElementsAre(0, 17, 23, -1));
    EXPECT_EQ(sentParam(1, "clist"), "3");
    EXPECT_EQ(sentParam(1, "slist"), "6");
    EXPECT_EQ(sentParam(1, "options"), "sortorder-D.csv");

    wire->answer(qbReply("", "75", "View too large"));
    session->recordIds("bqx7m2ab4", "", "", "");
    EXPECT_EQ(session->errcode(), "75");
    EXPECT_TRUE(session->recordIdList.empty());
}

}  // namespace
}  // namespace kelvra::test
