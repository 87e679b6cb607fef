// Opening tables against a scripted QuickBase: how names resolve to DBIDs, how schemas become
// columns, and what a failed open leaves behind.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "driver/diagnostics.h"
#include "qbtable/qb_table.h"
#include "session_fixture.h"

namespace kelvra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr const char* kDbid = "bqaaaaaa2";

std::string field(const std::string& id, const std::string& fieldType, const std::string& baseType,
                  const std::string& label, const std::string& attributes = "",
                  const std::string& children = "") {
    return "<field id=\"" + id + "\" field_type=\"" + fieldType + "\" base_type=\"" + baseType +
           "\"" + attributes + "><label>" + label + "</label>" + children + "</field>\n";
}

// The built-in fields 1 to 5 as QuickBase describes them.
std::string builtinFields() {
    return field("1", "timestamp", "int64", "Date Created", " role=\"created\"") +
           field("2", "timestamp", "int64", "Date Modified", " role=\"modified\"") +
           field("3", "recordid", "int32", "Record ID#", " role=\"recordid\" mode=\"virtual\"") +
           field("4", "userid", "text", "Record Owner", " role=\"owner\"") +
           field("5", "userid", "text", "Last Modified By", " role=\"modifier\"");
}

std::string schema(const std::string& fields, const std::string& keyFid = "3",
                   const std::string& variables = "") {
    std::string original = keyFid.empty() ? "" : "<key_fid>" + keyFid + "</key_fid>";
    return "<table><name>Projects</name><original><table_id>" + std::string(kDbid) + "</table_id>" +
           original + "</original><variables>" + variables + "</variables><fields>\n" + fields +
           "</fields></table>\n";
}

HttpReply schemaReply(const std::string& content) {
    return qbApiReply("API_GetSchema", content);
}

std::string applicationSchema() {
    return "<table><name>Sales</name><original><app_id>bqx7m2aa9</app_id></original>"
           "<chdbids><chdbid name=\"_dbid_orders\">bqx7m2ab4</chdbid>"
           "<chdbid name=\"_dbid_time_cards\">bqx7m2ac2</chdbid></chdbids><fields/></table>";
}

class OpenTableTest : public SessionTest {
  protected:
    MsgNo open(std::string_view name) { return openTable(*session, state, name, table); }

    std::vector<std::string> columnNames() const {
        std::vector<std::string> names;
        for (std::size_t i = 0; i < table->columnCount(); ++i)
            names.push_back(table->field(i).name);
        return names;
    }

    // A new session, so that nothing is cached.
    void freshSession() {
        auto channel = std::make_unique<ScriptedChannel>();
        wire = channel.get();
        session = std::make_unique<QbSession>(std::move(channel));
        session->username = "pat@example.com";
        session->password = kPassword;
        state = TableLayerState{};
        table.reset();
    }

    void expectRefusedWith(MsgNo status, MsgNo number) {
        EXPECT_EQ(status, number);
        EXPECT_EQ(state.error.number, number);
        EXPECT_EQ(table, nullptr);
    }

    TableLayerState state;
    std::unique_ptr<QbTable> table;
};

TEST_F(OpenTableTest, SchemaFieldsBecomeColumnsInOrder) {
    std::string fields =
        builtinFields() + field("6", "text", "text", "Name", "", "<num_lines>1</num_lines>") +
        field("7", "text", "text", "Notes ($)", "", "<num_lines>4</num_lines>") +
        field("8", "dblink", "text", "Tasks", " mode=\"virtual\"") +
        field("9", "url", "text", "Open Tasks", " mode=\"virtual\"") +
        field("10", "url", "text", "Website") +
        field("11", "currency", "float", "Budget", "", "<decimal_places>2</decimal_places>");
    wire->answer(schemaReply(schema(fields)));
    ASSERT_EQ(open(kDbid), kMsgNone);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(wire->sent.at(0).url, "https://www.quickbase.com/db/bqaaaaaa2?a=API_GetSchema");

    // Relationship links and virtual URL fields are left out.
    EXPECT_THAT(columnNames(),
                ElementsAre("Date Created", "Date Modified", "Record ID_", "Record Owner",
                            "Last Modified By", "Name", "Notes ___", "Website", "Budget"));
    EXPECT_EQ(table->dbid(), kDbid);
    EXPECT_EQ(table->name(), "Projects");
    EXPECT_EQ(table->keyFid(), 3);
    EXPECT_EQ(table->keyColumnName(), "Record ID_");
    EXPECT_EQ(table->createdFid(), 1);
    EXPECT_EQ(table->modifiedFid(), 2);
    EXPECT_EQ(table->ownerFid(), 4);
    EXPECT_EQ(table->modifierFid(), 5);
    EXPECT_FALSE(table->textNull());

    const QbField& key = table->field(2);
    EXPECT_EQ(key.keySeq, 1);
    EXPECT_EQ(key.updatable, 1);  // the key, though QuickBase computes it
    EXPECT_EQ(key.fidText, "3");
    for (std::size_t i = 0; i < table->columnCount(); ++i) {
        EXPECT_EQ(table->field(i).keySeq, i == 2 ? 1 : 0) << i;
    }
    EXPECT_EQ(table->field(0).updatable, 0);          // a role makes it read-only
    EXPECT_EQ(table->field(3).sqlType, SQL_VARCHAR);  // userid of base type text: short text
    EXPECT_EQ(table->field(6).sqlType, SQL_LONGVARCHAR);
    EXPECT_EQ(table->field(7).kind, FieldKind::Url);
    EXPECT_EQ(table->field(8).sqlType, SQL_NUMERIC);
    EXPECT_EQ(table->field(8).decimalDigits, 2);

    EXPECT_EQ(table->positionOfFid(10), 7);
    EXPECT_EQ(table->positionOfFid(11), 8);
    EXPECT_EQ(table->positionOfFid(8), -1);
    EXPECT_THAT(state.tables.at(kDbid).records.slotFields(), ElementsAre(3));
    EXPECT_EQ(state.error.number, kMsgNone);
}

TEST_F(OpenTableTest, CatalogNameAndDbidPrefixReachTheSameDbid) {
    for (const char* name : {"bqaaaaaa2", "Projects bqaaaaaa2", "DBIDbqaaaaaa2",
                             "My Projects DBIDbqaaaaaa2", "Projects_old bqaaaaaa2"}) {
        freshSession();
        wire->answer(schemaReply(schema(builtinFields())));
        ASSERT_EQ(open(name), kMsgNone) << name;
        EXPECT_EQ(table->dbid(), kDbid) << name;
        ASSERT_EQ(wire->sent.size(), 1u) << name;
        EXPECT_THAT(wire->sent[0].url, HasSubstr("/db/bqaaaaaa2?")) << name;
    }
}

TEST_F(OpenTableTest, PartAfterUnderscoreThenSearchByName) {
    // The last word "T_bqaaaaaa2" is no DBID (and is not sent); its part after "_" is.
    wire->answer(schemaReply(schema(builtinFields())));
    ASSERT_EQ(open("Old T_bqaaaaaa2"), kMsgNone);
    EXPECT_EQ(table->dbid(), kDbid);
    ASSERT_EQ(wire->sent.size(), 1u);

    // A DBID-like word that QuickBase does not know, then the search on the whole name.
    freshSession();
    wire->answer(qbApiReply("API_GetSchema", "", "32", "No such database"));
    wire->answer(qbApiReply("API_FindDBByName", "<dbid>bqaaaaaa2</dbid>"));
    wire->answer(schemaReply(schema(builtinFields())));
    ASSERT_EQ(open("bqzzzzzz2"), kMsgNone);
    EXPECT_EQ(table->dbid(), kDbid);
    ASSERT_EQ(wire->sent.size(), 3u);
    EXPECT_THAT(wire->sent[1].url, HasSubstr("/db/main?a=API_FindDBByName"));
    EXPECT_EQ(sentParam(1, "dbname"), "bqzzzzzz2");
    EXPECT_THAT(wire->sent[2].url, HasSubstr("/db/bqaaaaaa2?a=API_GetSchema"));
}

TEST_F(OpenTableTest, SchemaFailuresOtherThanNoSuchDbidAreTheAnswer) {
    // Only a DBID QuickBase does not know leads to the search by name; any other failure of
    // the schema request is reported as it is, not hidden behind the search's own error.
    struct Case {
        const char* what;
        std::function<void(ScriptedChannel&)> script;
        const char* code;
    };
    const Case cases[] = {
        {"application token",
         [](ScriptedChannel& w) {
             w.answer(qbApiReply("API_GetSchema", "", "24", "Invalid application token"));
         },
         "24"},
        {"no access",
         [](ScriptedChannel& w) {
             w.answer(qbApiReply("API_GetSchema", "", "2", "Invalid input"));
         },
         "2"},
        {"HTTP 503",
         [](ScriptedChannel& w) {
             HttpReply r;
             r.status = 503;
             w.answer(r);
         },
         "503"},
        {"no connection", [](ScriptedChannel& w) { w.fail(7, "Couldn't connect"); }, "17"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        freshSession();
        c.script(*wire);
        expectRefusedWith(open("Projects bqzzzzzz2"), kMsgSession);
        EXPECT_EQ(state.error.code, c.code);
        EXPECT_EQ(wire->sent.size(), 1u);  // no search by name followed
    }
}

TEST_F(OpenTableTest, UnresolvableNameFailsWithQuickBaseError) {
    wire->answer(qbApiReply("API_FindDBByName", "", "2", "Invalid input"));
    MsgNo status = open("No Such Table");
    expectRefusedWith(status, kMsgSession);
    EXPECT_EQ(state.error.code, "2");
    EXPECT_EQ(state.error.detail, session->errdetail());
    EXPECT_FALSE(state.error.detail.empty());
    EXPECT_EQ(state.tables.size(), 0u);
}

TEST_F(OpenTableTest, ApplicationIsRefusedWithItsChildTables) {
    wire->answer(schemaReply(applicationSchema()));
    auto before = std::make_unique<QbTable>(*session, state, std::make_shared<TableSchema>());
    QbTable* kept = before.get();
    table = std::move(before);
    EXPECT_EQ(open("bqx7m2aa9"), kMsgSession);
    EXPECT_EQ(table.get(), kept);  // untouched
    const std::string expected =
        "Parent tables have no columns. Please use one of the following child tables: "
        "\"orders bqx7m2ab4\", \"time_cards bqx7m2ac2\"";
    EXPECT_EQ(state.error.detail, expected);

    // The text reaches the client as the message.
    DiagRecord diag;
    postSessionError(diag, state.error.number, state.error.code, state.error.detail);
    EXPECT_THAT(buildDiagText(diag).message, HasSubstr(expected));
}

TEST_F(OpenTableTest, WrongDbidTypeIsAskedOnce) {
    wire->answer(qbApiReply("API_GetSchema", "", "14", "Missing DBID or DBID of wrong type"));
    wire->answer(schemaReply(applicationSchema()));
    expectRefusedWith(open("bqx7m2aa9"), kMsgSession);
    EXPECT_THAT(state.error.detail, HasSubstr("\"orders bqx7m2ab4\""));
    EXPECT_EQ(wire->sent.size(), 2u);

    freshSession();
    wire->answer(qbApiReply("API_GetSchema", "", "14", "Missing DBID or DBID of wrong type"));
    wire->answer(qbApiReply("API_GetSchema", "", "14", "Missing DBID or DBID of wrong type"));
    expectRefusedWith(open("bqx7m2aa9"), kMsgSession);
    EXPECT_EQ(state.error.code, "14");
    EXPECT_EQ(wire->sent.size(), 2u);  // no search by name after this
}

TEST_F(OpenTableTest, UnknownBaseTypeLeavesNoTable) {
    wire->answer(schemaReply(schema(builtinFields() + field("6", "text", "xml", "Odd"))));
    expectRefusedWith(open(kDbid), kMsgTableError);
    EXPECT_TRUE(state.error.code.empty());
    EXPECT_EQ(state.tables.count(kDbid), 0u);

    // The next open starts with a clear error.
    freshSession();
    wire->answer(schemaReply(schema(builtinFields())));
    state.error = TableError{kMsgTableError, {}, {}};
    EXPECT_EQ(open(kDbid), kMsgNone);
    EXPECT_EQ(state.error.number, kMsgNone);
}

TEST_F(OpenTableTest, OptionsAndKeyField) {
    session->options["usefids"] = "";
    session->options["TextNull"] = "1";
    std::string fields = builtinFields() + field("6", "text", "text", "Code");
    wire->answer(schemaReply(schema(fields, "6")));
    ASSERT_EQ(open(kDbid), kMsgNone);
    EXPECT_THAT(columnNames(), ElementsAre("fid1", "fid2", "fid3", "fid4", "fid5", "fid6"));
    EXPECT_TRUE(table->textNull());
    EXPECT_EQ(table->keyFid(), 6);
    EXPECT_EQ(table->keyColumnName(), "fid6");
    EXPECT_EQ(table->field(5).keySeq, 1);
    EXPECT_EQ(table->field(5).restrictRank, 1000);
    EXPECT_EQ(table->field(2).keySeq, 0);
    EXPECT_EQ(table->field(2).updatable, 0);  // the record id, no longer the key
    EXPECT_THAT(state.tables.at(kDbid).records.slotFields(), ElementsAre(3, 6));
}

TEST_F(OpenTableTest, KeyFromRecordIdFieldWhenSchemaNamesNone) {
    std::string fields = field("3", "recordid", "int32", "Record ID#") +
                         field("3", "recordid", "int32", "Again") +
                         field("7", "text", "text", "Title");
    wire->answer(schemaReply(schema(fields, "")));
    ASSERT_EQ(open(kDbid), kMsgNone);
    EXPECT_EQ(table->keyFid(), 3);
    EXPECT_EQ(table->keyColumnName(), "Record ID_");
    // Only one key column, and a field id maps to its first column.
    EXPECT_EQ(table->field(0).keySeq, 1);
    EXPECT_EQ(table->field(1).keySeq, 0);
    EXPECT_EQ(table->positionOfFid(3), 0);
    EXPECT_EQ(table->createdFid(), 0);
    EXPECT_EQ(table->ownerFid(), 0);
}

TEST_F(OpenTableTest, TextSizeVariablesOfThisTable) {
    state.hostProgram = "sqlservr.exe";
    std::string fields = field("7", "text", "text", "Notes", "", "<num_lines>6</num_lines>") +
                         field("8", "text", "text", "Memo", "", "<num_lines>6</num_lines>") +
                         field("9", "text", "text", "Code");
    std::string variables =
        "<var name=\"KELVRA_TEXT_SIZE_bqaaaaaa2_7\">4000</var>"
        "<var name=\"KELVRA_TEXT_SIZE_bqzzzzzz2_8\">100</var>"
        "<var name=\"KELVRA_TEXT_SIZE_bqaaaaaa2_9\">40</var>";
    wire->answer(schemaReply(schema(fields, "3", variables)));
    ASSERT_EQ(open(kDbid), kMsgNone);
    EXPECT_EQ(table->field(0).sqlType, SQL_VARCHAR);
    EXPECT_EQ(table->field(0).columnSize, 4000);
    // Another table's variable does not apply.
    EXPECT_EQ(table->field(1).columnSize, 8000);
    EXPECT_EQ(table->field(2).columnSize, 40);
}

TEST_F(OpenTableTest, EmptyAndHostileSchemas) {
    wire->answer(schemaReply(schema("")));
    ASSERT_EQ(open(kDbid), kMsgNone);
    EXPECT_EQ(table->columnCount(), 0);
    EXPECT_EQ(table->keyColumnName(), "");

    // Ids that are no numbers, a missing label, quotes and a huge id.
    freshSession();
    std::string fields = "<field id=\"x'7\" field_type=\"text\" base_type=\"text\"/>" +
                         field("99999999999", "text", "text", "Big") +
                         field("'", "text", "text", "Quote \"q\" &amp; 'a'");
    wire->answer(schemaReply(schema(fields, "")));
    ASSERT_EQ(open(kDbid), kMsgNone);
    ASSERT_EQ(table->columnCount(), 3);
    // No key named and no record id field: no key column, not even the field of id 0.
    EXPECT_EQ(table->keyFid(), 0);
    EXPECT_EQ(table->field(0).keySeq, 0);
    EXPECT_EQ(table->field(0).name, "");
    EXPECT_EQ(table->field(0).fid, 0);
    EXPECT_EQ(table->field(0).fidText, "x'7");
    EXPECT_EQ(table->field(1).fid, 2147483647);
    EXPECT_EQ(table->field(2).name, "Quote _q_ _ _a_");
}

TEST_F(OpenTableTest, SpecialTablesNeedNoRequest) {
    ASSERT_EQ(open("KELVRA CONNECTION CONFIG"), kMsgNone);
    EXPECT_EQ(table->dbid(), "KELVRA CONNECTION CONFIG");
    EXPECT_THAT(columnNames(), ElementsAre("qPARAMETER", "qVALUE"));
    EXPECT_EQ(table->field(1).sqlType, SQL_VARCHAR);
    EXPECT_EQ(table->field(1).defaultText, "NULL");

    ASSERT_EQ(open("@@identity"), kMsgNone);
    ASSERT_EQ(table->columnCount(), 1);
    const QbField& id = table->field(0);
    EXPECT_EQ(id.name, "Newest Record ID");
    EXPECT_EQ(id.fid, 3);
    EXPECT_EQ(id.sqlType, SQL_INTEGER);
    EXPECT_EQ(id.columnSize, 10);
    EXPECT_EQ(id.restrictRank, 1000);
    EXPECT_EQ(id.kind, FieldKind::RecordId);
    EXPECT_EQ(table->positionOfFid(3), 0);
    EXPECT_TRUE(wire->sent.empty());

    // The names are exact: another spelling is looked up at QuickBase.
    wire->answer(qbApiReply("API_FindDBByName", "", "2", "Invalid input"));
    EXPECT_EQ(open("@@IDENTITY"), kMsgSession);
    EXPECT_EQ(wire->sent.size(), 1u);
}

}  // namespace
}  // namespace kelvra::test

namespace kelvra::test {
namespace {

// The columns are mapped once per connection and DBID, whatever name opens the table, and
// mapped again only when an option they depend on changed.
TEST_F(OpenTableTest, MappedColumnsAreSharedUntilAnOptionChanges) {
    wire->answer(schemaReply(schema(builtinFields() + field("6", "file", "text", "Doc"))));
    ASSERT_EQ(open("Projects bqaaaaaa2"), kMsgNone);
    const TableSchema* first = &table->schema();
    for (const char* name : {"Projects bqaaaaaa2", "bqaaaaaa2", "DBIDbqaaaaaa2"}) {
        ASSERT_EQ(open(name), kMsgNone) << name;
        EXPECT_EQ(&table->schema(), first) << name;
    }
    EXPECT_EQ(wire->sent.size(), 1u);

    // TEXTNULL belongs to the table, not to its columns.
    session->options["TEXTNULL"] = "";
    ASSERT_EQ(open("bqaaaaaa2"), kMsgNone);
    EXPECT_TRUE(table->textNull());
    EXPECT_EQ(&table->schema(), first);

    session->options["FILE"] = "";
    ASSERT_EQ(open("bqaaaaaa2"), kMsgNone);
    EXPECT_NE(&table->schema(), first);
    EXPECT_EQ(table->field(5).sqlType, SQL_LONGVARBINARY);
    session->options["USEFIDS"] = "";
    ASSERT_EQ(open("bqaaaaaa2"), kMsgNone);
    EXPECT_EQ(table->field(5).name, "fid6");
    EXPECT_EQ(wire->sent.size(), 1u);  // the schema document itself stays cached
}

}  // namespace
}  // namespace kelvra::test
