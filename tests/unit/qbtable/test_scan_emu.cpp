// Scans against the QuickBase emulator: what they cost in requests, what they read, that every
// criterion sent selects a superset of what the driver's own predicate keeps, paging, faults,
// and the keyed mode.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "emulator.h"
#include "engine/match_like.h"
#include "qbapi/qb_session.h"
#include "qbtable/qb_table.h"
#include "resources/ascii.h"

namespace kelvra::test {
namespace {

using ::testing::ElementsAre;
using Ids = std::vector<std::int32_t>;

constexpr int kBenchRecords = 3000;

// The value type the engine reads a column in.
ValueType valueTypeOf(const QbField& f) {
    switch (f.sqlType) {
        case SQL_NUMERIC:
            return ValueType::Numeric;
        case SQL_DOUBLE:
            return ValueType::Double;
        case SQL_INTEGER:
        case SQL_BIT:
            return ValueType::Integer;
        case SQL_DATE:
            return ValueType::Date;
        case SQL_TIME:
            return ValueType::Time;
        case SQL_TIMESTAMP:
            return ValueType::Timestamp;
        case SQL_LONGVARBINARY:
            return ValueType::Binary;
        default:
            return ValueType::Char;
    }
}

class ScanEmuTest : public EmulatorSuite {
  protected:
    static void SetUpTestSuite() {
        startEmulator({"--bench-records", std::to_string(kBenchRecords)});
    }

    void SetUp() override {
        EmulatorSuite::SetUp();
        session = loggedInSession();
        emulator_->control("POST", "faults/clear");
    }

    std::unique_ptr<QbTable> open(std::string_view name) {
        std::unique_ptr<QbTable> table;
        EXPECT_EQ(openTable(*session, state, name, table), kMsgNone) << state.error.detail;
        if (table) {
            for (std::uint16_t c = 0; c < table->columnCount(); ++c) table->requestColumn(c);
        }
        return table;
    }

    // The QuickBase actions sent since the last call.
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

    Ids scanIds(QbTable& table, bool forwardOnly = false) {
        Ids ids;
        EXPECT_EQ(table.startScan(forwardOnly), kMsgNone) << state.error.detail;
        while (table.nextRecord() == kMsgNone) ids.push_back(table.currentRecordId());
        return ids;
    }

    Value read(QbTable& table, std::uint16_t column) {
        Value v;
        EXPECT_EQ(table.readColumn(column, valueTypeOf(table.field(column)), v), kMsgNone)
            << table.field(column).name << ": " << state.error.detail;
        return v;
    }

    std::unique_ptr<QbSession> session;
    TableLayerState state;
};

TEST_F(ScanEmuTest, AScanCostsOneIdRequestAndAPageAndIsReusedWhenRepeated) {
    auto table = open(kProjects);
    requests();
    EXPECT_THAT(scanIds(*table), ElementsAre(1, 2, 3, 4, 5));
    EXPECT_THAT(requests(), ElementsAre("API_GenResultsTable"));
    auto name = static_cast<std::uint16_t>(table->positionOfFid(6));
    ASSERT_EQ(table->positionOnRecord(2), kMsgNone);
    EXPECT_EQ(read(*table, name).text, "Mobile App");
    EXPECT_THAT(requests(), ElementsAre("API_DoQuery"));  // the page of all five

    // The same scan again sends nothing; another order or restriction sends a new id request.
    EXPECT_THAT(scanIds(*table), ElementsAre(1, 2, 3, 4, 5));
    SortColumn byBudget{static_cast<std::uint16_t>(table->positionOfFid(9)), true};
    ASSERT_EQ(table->setSortOrder({&byBudget, 1}), kMsgNone);
    EXPECT_THAT(scanIds(*table), ElementsAre(2, 3, 1, 5, 4));
    Restriction cheap{byBudget.column, RestrictionOp::Less, {Value::ofDouble(20000)}};
    ASSERT_EQ(table->setRestrictions({&cheap, 1}, RestrictionJoin::And), kMsgNone);
    EXPECT_THAT(scanIds(*table), ElementsAre(5, 4));
    EXPECT_THAT(requests(), ElementsAre("API_GenResultsTable", "API_GenResultsTable"));
    ASSERT_EQ(table->positionOnRecord(4), kMsgNone);
    EXPECT_EQ(read(*table, name).text, "Office Move");
    EXPECT_TRUE(requests().empty());  // read before
    // A record of another scan (as a sorted result keeps them) stands too, read from the cache.
    ASSERT_EQ(table->positionOnRecord(2), kMsgNone);
    EXPECT_EQ(read(*table, name).text, "Mobile App");
    EXPECT_TRUE(requests().empty());
    EXPECT_EQ(table->positionOnRecord(0), kMsgNoData);
}

// A table that outlives its connection's state (the handle connected again) reads anew.
TEST_F(ScanEmuTest, ATableOutlivesItsConnectionsState) {
    auto table = open(kProjects);
    auto name = static_cast<std::uint16_t>(table->positionOfFid(6));
    ASSERT_EQ(table->startScan(false), kMsgNone);
    ASSERT_EQ(table->nextRecord(), kMsgNone);
    EXPECT_EQ(read(*table, name).text, "Website Relaunch");
    state = TableLayerState{};
    EXPECT_EQ(read(*table, name).text, "Website Relaunch");
    EXPECT_THAT(scanIds(*table), ElementsAre(1, 2, 3, 4, 5));
}

// The driver's own predicate, as the executor evaluates it on what readColumn gives: text
// without regard to ASCII case and trailing blanks, NULL never true.
class LocalPredicate {
  public:
    static bool holds(const Value& v, const Restriction& r) {
        if (v.isNull) return false;
        auto cmp = [&](const Value& w, int& order) {
            if (w.isNull) return false;
            order = compare(v, w);
            return true;
        };
        int o = 0;
        switch (r.op) {
            case RestrictionOp::Equal:
                return cmp(r.values[0], o) && o == 0;
            case RestrictionOp::NotEqual:
                return cmp(r.values[0], o) && o != 0;
            case RestrictionOp::Less:
                return cmp(r.values[0], o) && o < 0;
            case RestrictionOp::LessEqual:
                return cmp(r.values[0], o) && o <= 0;
            case RestrictionOp::Greater:
                return cmp(r.values[0], o) && o > 0;
            case RestrictionOp::GreaterEqual:
                return cmp(r.values[0], o) && o >= 0;
            case RestrictionOp::In:
                return std::any_of(r.values.begin(), r.values.end(),
                                   [&](const Value& w) { return cmp(w, o) && o == 0; });
            case RestrictionOp::NotIn:
                return std::all_of(r.values.begin(), r.values.end(),
                                   [&](const Value& w) { return cmp(w, o) && o != 0; });
            case RestrictionOp::Between: {
                int lo = 0, hi = 0;
                return cmp(r.values[0], lo) && cmp(r.values[1], hi) && lo >= 0 && hi <= 0;
            }
            case RestrictionOp::Like:
                return matchLike(v.text, r.values[0].text, r.escape, false);
            default:
                return false;
        }
    }

  private:
    static double number(const Value& v) {
        return v.type == ValueType::Numeric ? std::stod(v.text) : v.number;
    }

    static int compare(const Value& a, const Value& b) {
        auto sign = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
        switch (a.type) {
            case ValueType::Char: {
                auto trim = [](std::string_view t) {
                    while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
                    return t;
                };
                return compareIgnoreCase(trim(a.text), trim(b.text));
            }
            case ValueType::Numeric:
                return sign(number(a), number(b));
            case ValueType::Date:
                return sign(std::tuple(a.date.year, a.date.month, a.date.day),
                            std::tuple(b.date.year, b.date.month, b.date.day));
            case ValueType::Time:
                return sign(std::tuple(a.time.hour, a.time.minute, a.time.second),
                            std::tuple(b.time.hour, b.time.minute, b.time.second));
            case ValueType::Timestamp: {
                auto key = [](const TimestampValue& t) {
                    return std::tuple(t.year, t.month, t.day, t.hour, t.minute, t.second,
                                      t.fraction);
                };
                return sign(key(a.timestamp), key(b.timestamp));
            }
            default:
                return sign(a.number, b.number);
        }
    }
};

// Restrictions to try on a column from the values its records hold.
std::vector<Restriction> restrictionsFor(std::uint16_t column, const std::vector<Value>& values) {
    using O = RestrictionOp;
    std::vector<Restriction> list;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const Value& v = values[i];
        const Value& other = values[(i + 1) % values.size()];
        for (O op : {O::Equal, O::NotEqual, O::Less, O::LessEqual, O::Greater, O::GreaterEqual}) {
            list.push_back({column, op, {v}});
        }
        list.push_back({column, O::In, {v, other, Value::null(v.type)}});
        list.push_back({column, O::NotIn, {v}});
        list.push_back({column, O::Between, {v, other}});
        list.push_back({column, O::Between, {other, v}});
        if (v.type == ValueType::Char && !v.text.empty()) {
            std::string upper = toUpperAscii(v.text);
            list.push_back({column, O::Equal, {Value::ofChar(upper + "  ")}});
            list.push_back({column, O::Like, {Value::ofChar(upper.substr(0, 3) + "%")}});
            list.push_back({column, O::Like, {Value::ofChar("%" + v.text.substr(1, 3) + "%")}});
        }
        if (v.type == ValueType::Numeric)
            list.push_back({column, O::Equal, {Value::ofDouble(std::stod(v.text))}});
    }
    return list;
}

// Every record the local predicate keeps is one the restricted scan lists, for every column of
// the demo tables; and restrictions do narrow where they are sent.
TEST_F(ScanEmuTest, EveryCriterionSentSelectsASupersetOfWhatThePredicateKeeps) {
    for (const char* dbid : {kProjects, kTasks}) {
        auto table = open(dbid);
        Ids all = scanIds(*table);
        ASSERT_FALSE(all.empty());
        for (std::uint16_t c = 0; c < table->columnCount(); ++c) {
            const QbField& field = table->field(c);
            if (valueTypeOf(field) == ValueType::Binary) continue;
            ASSERT_EQ(table->setRestrictions({}, RestrictionJoin::And), kMsgNone);
            ASSERT_EQ(scanIds(*table), all);
            std::vector<std::pair<std::int32_t, Value>> rows;
            std::vector<Value> distinct;
            for (std::int32_t id : all) {
                ASSERT_EQ(table->positionOnRecord(id), kMsgNone);
                Value v = read(*table, c);
                rows.emplace_back(id, v);
                if (!v.isNull && std::find(distinct.begin(), distinct.end(), v) == distinct.end())
                    distinct.push_back(v);
            }
            if (distinct.empty()) continue;
            int narrowed = 0;
            for (const Restriction& r : restrictionsFor(c, distinct)) {
                ASSERT_EQ(table->setRestrictions({&r, 1}, RestrictionJoin::And), kMsgNone);
                Ids sent = scanIds(*table);
                std::set<std::int32_t> got(sent.begin(), sent.end());
                for (const auto& [id, v] : rows) {
                    if (LocalPredicate::holds(v, r)) {
                        EXPECT_TRUE(got.count(id))
                            << dbid << " " << field.name << " op " << int(r.op) << " record " << id;
                    }
                }
                if (sent.size() < all.size()) ++narrowed;
            }
            // Every kind that can be restricted narrows, but the built-in fields: one owner for
            // all, creation times within minutes (timestamps are asked for in whole days).
            bool builtIn = field.fid <= 5 && field.fid != kRecordIdFid;
            if (field.restrictRank != 0 && field.kind != FieldKind::File && !builtIn) {
                EXPECT_GT(narrowed, 0) << dbid << " " << field.name;
            }
        }
    }
}

TEST_F(ScanEmuTest, AForwardScanHoldsAboutOnePageAndPagesHalveWhenTooLarge) {
    auto table = open(kBenchItems);
    requests();
    Ids ids = scanIds(*table, true);
    ASSERT_EQ(ids.size(), std::size_t(kBenchRecords));
    std::size_t most = 0;
    ASSERT_EQ(table->startScan(true), kMsgNone);
    for (int i = 0; table->nextRecord() == kMsgNone; ++i) {
        EXPECT_FALSE(read(*table, 0).isNull);
        most = std::max(most, table->shared().records.size());
    }
    EXPECT_LE(most, std::size_t(1024 + 1));
    EXPECT_THAT(requests(),
                ElementsAre("API_GenResultsTable", "API_DoQuery", "API_DoQuery", "API_DoQuery"));

    // QuickBase finds a page of more than 300 records too large: the page halves to 256.
    emulator_->control("POST", "faults", R"({"kind": "max_records", "limit": 300, "count": -1})");
    TableLayerState fresh;
    std::unique_ptr<QbTable> again;
    ASSERT_EQ(openTable(*session, fresh, kBenchItems, again), kMsgNone);
    again->requestColumn(0);
    ASSERT_EQ(again->startScan(true), kMsgNone);
    int count = 0;
    while (again->nextRecord() == kMsgNone) {
        Value v;
        ASSERT_EQ(again->readColumn(0, valueTypeOf(again->field(0)), v), kMsgNone)
            << fresh.error.detail;
        ++count;
    }
    EXPECT_EQ(count, kBenchRecords);
    std::vector<std::string> sent = requests();
    // The whole id list and a part of 512 refused, then 12 parts of 256 ids and 12 pages.
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "API_GenResultsTable"), 1 + 1 + 12);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "API_DoQuery"), 12);
}

TEST_F(ScanEmuTest, FaultsDuringAFetchEndInAnErrorAndTheScanCanStartAgain) {
    struct Fault {
        const char* json;
        const char* code;  // the QuickBase code the error carries
    };
    const Fault faults[] = {
        {R"({"kind": "error", "action": "API_DoQuery", "errcode": 2, "errtext": "Bad"})", "2"},
        {R"({"kind": "malformed_xml", "action": "API_DoQuery"})", "1003"},
        // Twice: libcurl sends a request once more when a kept-alive connection was closed.
        {R"({"kind": "disconnect", "action": "API_DoQuery", "count": 2})", nullptr},
        {R"({"kind": "http_status", "action": "API_DoQuery", "status": 502})", nullptr},
    };
    for (const Fault& fault : faults) {
        state = TableLayerState{};  // nothing cached from the fault before
        auto table = open(kBenchItems);
        ASSERT_EQ(table->startScan(true), kMsgNone);
        ASSERT_EQ(table->nextRecord(), kMsgNone);
        EXPECT_FALSE(read(*table, 0).isNull);
        emulator_->control("POST", "faults", fault.json);
        MsgNo rc = kMsgNone;
        Value v;
        for (int i = 0; i < 1100 && rc == kMsgNone; ++i) {
            if (table->nextRecord() != kMsgNone) break;
            rc = table->readColumn(0, valueTypeOf(table->field(0)), v);
        }
        EXPECT_EQ(rc, kMsgSession) << fault.json;
        EXPECT_FALSE(state.error.detail.empty()) << fault.json;
        if (fault.code) {
            EXPECT_EQ(state.error.code, fault.code) << fault.json;
        }
        // The scan starts again and reads every record.
        Ids ids = scanIds(*table);
        EXPECT_EQ(ids.size(), std::size_t(kBenchRecords)) << fault.json;
        ASSERT_EQ(table->positionOnRecord(ids[1500]), kMsgNone);
        EXPECT_FALSE(read(*table, 0).isNull) << fault.json;
    }
}

// A nested loop whose inner table is rescanned per outer row with one changed equality reads
// the inner table once and then walks the records read.
TEST_F(ScanEmuTest, KeyedRescansSendNoRequestPerOuterRow) {
    auto tasks = open(kTasks);
    auto related = static_cast<std::uint16_t>(tasks->positionOfFid(7));
    auto done = static_cast<std::uint16_t>(tasks->positionOfFid(12));
    auto scanFor = [&](double project) {
        Restriction r[] = {{related, RestrictionOp::Equal, {Value::ofDouble(project)}},
                           {done, RestrictionOp::Equal, {Value::ofInteger(0)}}};
        EXPECT_EQ(tasks->setRestrictions(r, RestrictionJoin::And), kMsgNone);
        Ids ids;
        EXPECT_EQ(tasks->startScan(false), kMsgNone);
        while (tasks->nextRecord() == kMsgNone) {
            Value v = read(*tasks, related);
            Value d = read(*tasks, done);
            if (v.number == project && d.number == 0.0) ids.push_back(tasks->currentRecordId());
        }
        return ids;
    };
    std::vector<Ids> expected;
    for (double p = 1; p <= 5; ++p) {
        TableLayerState other;
        std::unique_ptr<QbTable> direct;
        ASSERT_EQ(openTable(*session, other, kTasks, direct), kMsgNone);
        Restriction r[] = {{related, RestrictionOp::Equal, {Value::ofDouble(p)}},
                           {done, RestrictionOp::Equal, {Value::ofInteger(0)}}};
        direct->setRestrictions(r, RestrictionJoin::And);
        expected.push_back(scanIds(*direct));
    }
    requests();
    EXPECT_EQ(scanFor(1), expected[0]);
    EXPECT_EQ(requests().size(), 2u);  // its ids and its page
    EXPECT_EQ(scanFor(2), expected[1]);
    EXPECT_EQ(requests().size(), 2u);  // the unchanged restriction's ids and page, once
    for (double p = 3; p <= 5; ++p) EXPECT_EQ(scanFor(p), expected[std::size_t(p) - 1]);
    EXPECT_EQ(scanFor(1), expected[0]);
    EXPECT_TRUE(requests().empty());
    EXPECT_FALSE(expected[0].empty());
}

}  // namespace
}  // namespace kelvra::test
