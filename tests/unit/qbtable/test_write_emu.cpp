// Writes against the QuickBase emulator, read back through the emulator's own records view
// (and through a fresh connection's scan): imports and their round trip, updates, deletes,
// split imports that fail half way, saved imports, file attachments, discarding.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "emulator.h"
#include "qbapi/qb_session.h"
#include "qbtable/qb_table.h"
#include "qbtable/write_cache.h"

namespace kelvra::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// A text as JSON writes it (the emulator's records view keeps non-ASCII as it is).
std::string jsonQuoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out + "\"";
}

class WriteEmuTest : public EmulatorSuite {
  protected:
    void SetUp() override {
        EmulatorSuite::SetUp();
        emulator_->control("POST", "reset");
        emulator_->control("POST", "faults/clear");
        session = loggedInSession();
    }

    std::unique_ptr<QbTable> open(std::string_view name, TableLayerState& in) {
        std::unique_ptr<QbTable> table;
        EXPECT_EQ(openTable(*session, in, name, table), kMsgNone) << in.error.detail;
        return table;
    }

    std::uint16_t column(const QbTable& table, int fid) {
        return static_cast<std::uint16_t>(table.positionOfFid(fid));
    }

    // Inserts one record of the given values (field id, value) and saves it.
    void insert(QbTable& table, const std::vector<std::pair<int, Value>>& values) {
        ASSERT_EQ(table.newRecord(), kMsgNone);
        for (const auto& [fid, value] : values) {
            ASSERT_EQ(table.putColumnValue(column(table, fid), value), kMsgNone)
                << fid << ": " << state.error.detail;
        }
        ASSERT_EQ(table.saveRecord(), kMsgNone) << state.error.detail;
    }

    // The emulator's view of one record (its part of the records dump).
    std::string recordView(const std::string& dbid, std::int32_t rid) {
        std::string dump = emulator_->control("GET", "tables/" + dbid + "/records");
        std::size_t at = dump.find("\"rid\": " + std::to_string(rid) + ",");
        if (at == std::string::npos) return {};
        return dump.substr(at, dump.find("\"rid\":", at + 1) - at);
    }

    std::size_t recordCount(const std::string& dbid) {
        std::string dump = emulator_->control("GET", "tables/" + dbid + "/records");
        std::size_t n = 0;
        for (std::size_t at = dump.find("\"rid\":"); at != std::string::npos;
             at = dump.find("\"rid\":", at + 1)) {
            ++n;
        }
        return n;
    }

    std::vector<std::string> requests() {
        std::string log = emulator_->control("GET", "log");
        emulator_->control("POST", "log/clear");
        std::vector<std::string> actions;
        const std::string key = "\"action\": \"";
        for (std::size_t at = log.find(key); at != std::string::npos; at = log.find(key, at + 1)) {
            std::size_t start = at + key.size();
            actions.push_back(log.substr(start, log.find('"', start) - start));
        }
        return actions;
    }

    // A fresh connection reads the values of a record back as they were written.
    void expectReadBack(const char* dbid, std::int32_t rid,
                        const std::vector<std::pair<int, Value>>& values) {
        TableLayerState fresh;
        auto table = open(dbid, fresh);
        for (std::uint16_t c = 0; c < table->columnCount(); ++c) table->requestColumn(c);
        ASSERT_EQ(table->startScan(false), kMsgNone);
        ASSERT_EQ(table->positionOnRecord(rid), kMsgNone);
        for (const auto& [fid, written] : values) {
            Value read;
            ASSERT_EQ(table->readColumn(column(*table, fid), written.type, read), kMsgNone)
                << fid << ": " << fresh.error.detail;
            Value expected = written;
            // QuickBase sends every line break as <BR/>, which reads as a line feed.
            for (std::size_t cr; (cr = expected.text.find('\r')) != std::string::npos;)
                expected.text.erase(cr, 1);
            if (table->field(column(*table, fid)).kind == FieldKind::UserId) {
                EXPECT_EQ(read.text, "Sam Lee") << fid;  // a user is read by name
            } else {
                EXPECT_EQ(read, expected) << dbid << " " << fid << ": " << read.text;
            }
        }
    }

    std::unique_ptr<QbSession> session;
    TableLayerState state;
};

// Every kind of value goes out in one import and reads back the same, exactly.
TEST_F(WriteEmuTest, InsertsBecomeOneImportAndEveryValueRoundTrips) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    auto tasks = open(kTasks, state);
    const std::string title = "Line one, \"quoted\"\r\nZo\xc3\xab's caf\xc3\xa9 \xe2\x82\xac 100%";
    const std::vector<std::pair<int, Value>> values = {
        {6, Value::ofChar(title)},
        {7, Value::ofDouble(0.1)},
        {9, Value::ofDate({2024, 2, 29})},
        {10, Value::ofChar("sam.lee@example.com")},
        {11, Value::ofDouble(1.5)},
        {12, Value::ofInteger(1)},
        {13, Value::ofTime({23, 59, 58})},
        {14, Value::ofTimestamp({2024, 3, 31, 1, 30, 15, 0})},
        {15, Value::ofChar("first\nsecond\n")},
        {17, Value::ofDouble(-1234567.125)},
    };
    requests();
    for (int i = 0; i < 3; ++i) insert(*tasks, values);
    EXPECT_TRUE(requests().empty());  // nothing before the flush
    ASSERT_EQ(flushWrites(*session, state), kMsgNone) << state.error.detail;
    EXPECT_THAT(requests(), ::testing::ElementsAre("API_ImportFromCSV"));
    ASSERT_EQ(state.newestDbid, kTasks);
    std::int32_t newest = state.newestRecordId;
    EXPECT_EQ(newest, 15);  // the fixture's twelve, then three

    std::string view = recordView(kTasks, newest);
    EXPECT_THAT(view, HasSubstr("\"6\": " + jsonQuoted(title)));
    EXPECT_THAT(view, HasSubstr("\"9\": \"2024-02-29\""));
    EXPECT_THAT(view, HasSubstr("\"11\": 129600000"));
    EXPECT_THAT(view, HasSubstr("\"13\": \"23:59:58\""));
    EXPECT_THAT(view, HasSubstr("\"14\": \"2024-03-31 01:30:15\""));
    EXPECT_THAT(view, HasSubstr("\"15\": " + jsonQuoted("first\nsecond\n")));

    // A fresh connection reads every value back as it was written.
    expectReadBack(kTasks, newest, values);

    // The other kinds of the demo: choice, currency, percent, URL, e-mail, phone, timestamp.
    auto projects = open(kProjects, state);
    const std::vector<std::pair<int, Value>> more = {
        {6, Value::ofChar("Round Trip")},
        {7, Value::ofChar("Active")},
        {9, Value::ofNumeric("12345.67")},
        {12, Value::ofInteger(0)},
        {13, Value::ofChar("\xc3\x9c"
                           "n"
                           "\xc3\xaf"
                           "code, \"x\" & <y>")},
        {14, Value::ofDouble(0.25)},
        {15, Value::ofChar("https://example.com/a?b=c&d=e")},
        {16, Value::ofChar("who@example.com")},
        {17, Value::ofChar("2125550199x12")},
        {21, Value::ofTimestamp({2023, 12, 31, 23, 59, 59, 0})},
    };
    insert(*projects, more);
    ASSERT_EQ(flushWrites(*session, state), kMsgNone) << state.error.detail;
    EXPECT_EQ(state.newestDbid, kProjects);
    expectReadBack(kProjects, state.newestRecordId, more);
}

TEST_F(WriteEmuTest, ScansSeePendingChangesUntilTheyAreSentOrDiscarded) {
    auto projects = open(kProjects, state);
    auto name = column(*projects, 6);
    projects->requestColumn(name);
    insert(*projects, {{6, Value::ofChar("Pending One")}});
    ASSERT_EQ(projects->startScan(false), kMsgNone);
    std::vector<std::int32_t> ids;
    while (projects->nextRecord() == kMsgNone) ids.push_back(projects->currentRecordId());
    EXPECT_THAT(ids, ::testing::ElementsAre(1, 2, 3, 4, 5, -2));
    ASSERT_EQ(projects->positionOnRecord(-2), kMsgNone);
    Value v;
    ASSERT_EQ(projects->readColumn(name, ValueType::Char, v), kMsgNone);
    EXPECT_EQ(v.text, "Pending One");
    ASSERT_EQ(projects->readColumn(column(*projects, 3), ValueType::Integer, v), kMsgNone);
    EXPECT_TRUE(v.isNull);  // no record id yet

    // An update of record 2 and a delete of record 4, seen by the next scan.
    ASSERT_EQ(projects->positionOnRecord(2), kMsgNone);
    ASSERT_EQ(projects->putColumnValue(name, Value::ofChar("Renamed")), kMsgNone);
    ASSERT_EQ(projects->saveRecord(), kMsgNone);
    ASSERT_EQ(projects->positionOnRecord(4), kMsgNone);
    ASSERT_EQ(projects->deleteRecord(), kMsgNone);
    SortColumn byName{name, false};
    EXPECT_EQ(projects->setSortOrder({&byName, 1}), kMsgTableNotSupported);
    ASSERT_EQ(projects->setSortOrder({}), kMsgNone);
    ids.clear();
    ASSERT_EQ(projects->startScan(false), kMsgNone);
    while (projects->nextRecord() == kMsgNone) ids.push_back(projects->currentRecordId());
    EXPECT_THAT(ids, ::testing::ElementsAre(1, 2, 3, 5, -2));
    ASSERT_EQ(projects->positionOnRecord(2), kMsgNone);
    ASSERT_EQ(projects->readColumn(name, ValueType::Char, v), kMsgNone);
    EXPECT_EQ(v.text, "Renamed");

    // Rolled back: nothing reaches QuickBase and the records read as QuickBase has them.
    discardWrites(state);
    EXPECT_FALSE(hasPendingWrites(state));
    requests();
    ASSERT_EQ(flushWrites(*session, state), kMsgNone);
    EXPECT_THAT(requests(), Not(::testing::Contains("API_ImportFromCSV")));
    ASSERT_EQ(projects->startScan(false), kMsgNone);
    ASSERT_EQ(projects->positionOnRecord(2), kMsgNone);
    ASSERT_EQ(projects->readColumn(name, ValueType::Char, v), kMsgNone);
    EXPECT_EQ(v.text, "Mobile App");
    EXPECT_EQ(projects->positionOnRecord(-2), kMsgNoData);
    EXPECT_EQ(recordCount(kProjects), 5u);

    // Sent: the update changes only the field written; the delete purges by id.
    ASSERT_EQ(projects->positionOnRecord(2), kMsgNone);
    ASSERT_EQ(projects->putColumnValue(name, Value::ofChar("Renamed")), kMsgNone);
    ASSERT_EQ(projects->saveRecord(), kMsgNone);
    ASSERT_EQ(projects->positionOnRecord(4), kMsgNone);
    ASSERT_EQ(projects->deleteRecord(), kMsgNone);
    insert(*projects, {{6, Value::ofChar("Gone Before Sent")}});
    ASSERT_EQ(projects->deleteRecord(), kMsgNone);
    requests();
    ASSERT_EQ(flushWrites(*session, state), kMsgNone) << state.error.detail;
    EXPECT_THAT(requests(), ::testing::ElementsAre("API_ImportFromCSV", "API_PurgeRecords"));
    std::string record2 = recordView(kProjects, 2);
    EXPECT_THAT(record2, HasSubstr("\"6\": \"Renamed\""));
    EXPECT_THAT(record2, HasSubstr("\"7\": \"Planned\""));  // untouched
    EXPECT_EQ(recordView(kProjects, 4), "");
    EXPECT_EQ(recordCount(kProjects), 4u);
    EXPECT_FALSE(hasPendingWrites(state));
}

// An import over 900,000 bytes goes in parts; when a later part is refused, exactly the
// records of the parts before were sent, and the rest stay pending.
TEST_F(WriteEmuTest, ASplitImportThatFailsHalfWayReportsWhatWasSent) {
    auto tasks = open(kTasks, state);
    const std::string notes(8000, 'n');
    for (int i = 0; i < 150; ++i) {
        // Record 130 names a user QuickBase does not know: its part is refused.
        Value user = Value::ofChar(i == 130 ? "nobody@example.com" : "pat.doe@example.com");
        insert(*tasks, {{6, Value::ofChar("Bulk " + std::to_string(i))},
                        {10, user},
                        {15, Value::ofChar(notes)}});
    }
    requests();
    EXPECT_EQ(flushWrites(*session, state), kMsgSession);
    EXPECT_EQ(state.error.code, "21");
    // 900,000 bytes hold 111 lines of about 8,040 bytes.
    EXPECT_THAT(state.error.detail,
                HasSubstr("table bq8kx2mfb: 111 of 150 changed records were sent; the other 39 "
                          "were not sent"));
    EXPECT_THAT(requests(), ::testing::ElementsAre("API_ImportFromCSV", "API_ImportFromCSV"));
    EXPECT_EQ(recordCount(kTasks), 12u + 111u);
    EXPECT_TRUE(hasPendingWrites(state));
    discardWrites(state);
    EXPECT_FALSE(hasPendingWrites(state));
}

TEST_F(WriteEmuTest, SavedImportsWaitForTheOptionOrTheEnd) {
    auto config = open("KELVRA CONNECTION CONFIG", state);
    auto setOption = [&](const char* name, const std::string& value) {
        ASSERT_EQ(config->newRecord(), kMsgNone);
        ASSERT_EQ(config->putColumnValue(0, Value::ofChar(name)), kMsgNone);
        ASSERT_EQ(config->putColumnValue(1, Value::ofChar(value)), kMsgNone);
        ASSERT_EQ(config->saveRecord(), kMsgNone);
    };
    setOption("SAVE_WRITES_UNTIL_CONNECTION_CLOSE", "TRUE");
    EXPECT_EQ(config->startScan(false), kMsgSession);  // the configuration table has no rows

    auto projects = open(kProjects, state);
    auto contacts = open(kContacts, state);
    requests();
    for (int i = 0; i < 3; ++i)
        insert(*projects, {{6, Value::ofChar("Saved " + std::to_string(i))}});
    ASSERT_EQ(flushWrites(*session, state), kMsgNone);
    insert(*contacts, {{6, Value::ofChar("Saved Contact")}});
    ASSERT_EQ(flushWrites(*session, state), kMsgNone);
    EXPECT_TRUE(requests().empty());
    EXPECT_EQ(recordCount(kProjects), 5u);

    // The option sends one table's saved imports, once.
    setOption("FLUSH_THIS_DBID_CACHE_TO_QUICKBASE", "Projects bq8kx2mea");
    ASSERT_EQ(flushWrites(*session, state), kMsgNone) << state.error.detail;
    EXPECT_EQ(recordCount(kProjects), 8u);
    EXPECT_FALSE(session->options.contains("FLUSH_THIS_DBID_CACHE_TO_QUICKBASE"));
    setOption("FLUSH_THIS_DBID_CACHE_TO_QUICKBASE", kProjects);
    EXPECT_EQ(flushWrites(*session, state), kMsgSession);
    EXPECT_EQ(state.error.code, "1001");
    EXPECT_EQ(state.error.detail, "Could not find the cache for 'bq8kx2mea' to flush.");

    // At the end: a refused import is named with its table and count, and stays saved.
    emulator_->control("POST", "faults",
                       R"({"kind": "error", "action": "API_ImportFromCSV", "errcode": 2})");
    EXPECT_EQ(sendSavedImports(*session, state), kMsgSession);
    EXPECT_THAT(state.error.detail,
                HasSubstr("table bq8kx2mje: 0 of 1 saved records were sent; the other 1 are kept"));
    ASSERT_EQ(sendSavedImports(*session, state), kMsgNone);
    EXPECT_THAT(recordView(kContacts, 4), HasSubstr("Saved Contact"));
    requests();
    ASSERT_EQ(sendSavedImports(*session, state), kMsgNone);
    EXPECT_TRUE(requests().empty());
}

TEST_F(WriteEmuTest, FileAttachmentsAreWrittenAtOnce) {
    auto projects = open(kProjects, state);
    auto charter = column(*projects, 20);
    // Without FILE the value names a local file.
    std::string path = ::testing::TempDir() + "kelvra-charter-" + std::to_string(::getpid());
    std::ofstream(path) << "charter text\n";
    requests();
    insert(*projects, {{6, Value::ofChar("With File")}, {20, Value::ofChar(path)}});
    EXPECT_THAT(requests(), ::testing::ElementsAre("API_AddRecord"));
    EXPECT_EQ(projects->currentRecordId(), 6);
    EXPECT_THAT(recordView(kProjects, 6), HasSubstr("\"6\": \"With File\""));
    Value file;
    ASSERT_EQ(projects->readColumn(charter, ValueType::Binary, file), kMsgNone)
        << state.error.detail;
    EXPECT_EQ(file.text, "charter text\n");
    std::remove(path.c_str());

    // With FILE the value is the content; a changed record is edited.
    session->options["FILE"] = "";
    requests();
    ASSERT_EQ(projects->positionOnRecord(6), kMsgNone);
    ASSERT_EQ(projects->putColumnValue(charter, Value::ofChar("new content")), kMsgNone);
    ASSERT_EQ(projects->saveRecord(), kMsgNone) << state.error.detail;
    EXPECT_THAT(requests(), ::testing::ElementsAre("API_EditRecord"));
    ASSERT_EQ(projects->readColumn(charter, ValueType::Binary, file), kMsgNone);
    EXPECT_EQ(file.text, "new content");
    EXPECT_FALSE(hasPendingWrites(state));

    // A file that is not there: QuickBase's error, nothing sent.
    session->options.erase("FILE");
    requests();
    ASSERT_EQ(projects->newRecord(), kMsgNone);
    ASSERT_EQ(projects->putColumnValue(charter, Value::ofChar("/no/such/file")), kMsgNone);
    EXPECT_EQ(projects->saveRecord(), kMsgSession);
    EXPECT_EQ(state.error.code, "15");
    EXPECT_TRUE(requests().empty());
}

TEST_F(WriteEmuTest, ReadOnlyColumnsAndTheIdentityTable) {
    auto projects = open(kProjects, state);
    EXPECT_EQ(projects->newRecord(), kMsgNone);
    EXPECT_EQ(projects->putColumnValue(column(*projects, 1), Value::ofChar("x")), kMsgSession);
    EXPECT_EQ(state.error.detail, "Cannot write to read-only field: 'Date Created'");
    EXPECT_EQ(projects->deleteRecord(), kMsgNone);

    auto identity = open("@@identity", state);
    EXPECT_EQ(identity->startScan(false), kMsgNoIdentity);
    insert(*projects, {{6, Value::ofChar("New")}});
    ASSERT_EQ(flushWrites(*session, state), kMsgNone);
    ASSERT_EQ(identity->startScan(false), kMsgNone);
    ASSERT_EQ(identity->nextRecord(), kMsgNone);
    Value id;
    ASSERT_EQ(identity->readColumn(0, ValueType::Integer, id), kMsgNone);
    EXPECT_EQ(id.number, 6.0);
    EXPECT_EQ(identity->nextRecord(), kMsgNoData);
}

}  // namespace
}  // namespace kelvra::test
