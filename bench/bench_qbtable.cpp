// The table layer against the QuickBase emulator's bench table (qbtable_bench.sh starts it with
// --bench-records): a forward-only paged scan reading ten columns per record (requests and
// client CPU per record), readColumn alone on cached records, a join-like pattern of rescans
// that change one equality (requests per outer row), and a run of inserts flushed at once
// (imports and client CPU per record).
//
//   bench_qbtable HOST [OUTER_ROWS [INSERTS]]      (CURL_CA_BUNDLE names the emulator's CA)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

#include "qbapi/curl_channel.h"
#include "qbapi/qb_session.h"
#include "qbtable/qb_table.h"
#include "qbtable/write_cache.h"

using namespace kelvra;

namespace {

constexpr const char* kItems = "bqbench3t";
constexpr std::uint16_t kColumns = 10;

class CountingChannel final : public HttpChannel {
  public:
    explicit CountingChannel(std::unique_ptr<HttpChannel> inner) : inner_(std::move(inner)) {}
    int exchange(const HttpRequest& request, HttpReply& reply, std::string& failure) override {
        ++requests;
        return inner_->exchange(request, reply, failure);
    }
    long requests = 0;

  private:
    std::unique_ptr<HttpChannel> inner_;
};

double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

double wallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

ValueType typeOf(const QbField& f) {
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
        default:
            return ValueType::Char;
    }
}

void fail(const char* what, const TableLayerState& state) {
    std::fprintf(stderr, "%s failed: %s\n", what, state.error.detail.c_str());
    std::exit(1);
}

struct Reader {
    QbTable& table;
    std::uint16_t columns[kColumns];
    ValueType types[kColumns];
    Value value;

    explicit Reader(QbTable& t) : table(t) {
        for (std::uint16_t i = 0; i < kColumns; ++i) {
            columns[i] = static_cast<std::uint16_t>(t.positionOfFid(6 + i));
            types[i] = typeOf(t.field(columns[i]));
            t.requestColumn(columns[i]);
        }
    }
    // Reads every record of a started scan; returns the count.
    long readAll() {
        long n = 0;
        while (table.nextRecord() == kMsgNone) {
            for (std::uint16_t i = 0; i < kColumns; ++i) {
                if (table.readColumn(columns[i], types[i], value) != kMsgNone)
                    fail("readColumn", table.state());
            }
            ++n;
        }
        return n;
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s HOST [OUTER_ROWS]\n", argv[0]);
        return 2;
    }
    int outerRows = argc > 2 ? std::atoi(argv[2]) : 200;
    int inserts = argc > 3 ? std::atoi(argv[3]) : 10000;
    auto channel = std::make_unique<CountingChannel>(createCurlChannel(false));
    CountingChannel& counter = *channel;
    QbSession session(std::move(channel));
    session.server = argv[1];
    session.username = "pat.doe@example.com";
    session.password = "kelvra-demo";
    session.authenticate();
    if (!session.ok()) {
        std::fprintf(stderr, "login failed: %s\n", session.errdetail().c_str());
        return 1;
    }
    TableLayerState state;
    std::unique_ptr<QbTable> table;
    if (openTable(session, state, kItems, table) != kMsgNone) fail("openTable", state);
    Reader reader(*table);

    // A forward-only scan: one id request and the pages, reading ten columns per record.
    long before = counter.requests;
    double cpu0 = cpuSeconds(), wall0 = wallSeconds();
    if (table->startScan(true) != kMsgNone) fail("startScan", state);
    long records = reader.readAll();
    double cpu = cpuSeconds() - cpu0, wall = wallSeconds() - wall0;
    std::printf(
        "forward scan: %ld records, %ld requests, %.2f s wall, client CPU %.2f us/record"
        ", %zu records cached at the end\n",
        records, counter.requests - before, wall, cpu * 1e6 / double(records),
        table->shared().records.size());

    // readColumn alone: a scrollable scan read twice; the second pass reads the cache.
    if (table->startScan(false) != kMsgNone) fail("startScan", state);
    reader.readAll();
    before = counter.requests;
    cpu0 = cpuSeconds();
    if (table->startScan(false) != kMsgNone) fail("startScan", state);
    records = reader.readAll();
    cpu = cpuSeconds() - cpu0;
    std::printf("cached rescan: %ld requests, readColumn of %d columns %.0f ns/record\n",
                counter.requests - before, kColumns, cpu * 1e9 / double(records));

    // A join's inner table, rescanned per outer row with the outer row's Status.
    const char* statuses[] = {"Open", "In progress", "Blocked", "Done"};
    auto status = static_cast<std::uint16_t>(table->positionOfFid(14));
    auto done = static_cast<std::uint16_t>(table->positionOfFid(11));
    long inner = 0;
    before = counter.requests;
    long afterTwo = 0;
    cpu0 = cpuSeconds();
    for (int row = 0; row < outerRows; ++row) {
        Restriction r[] = {{status, RestrictionOp::Equal, {Value::ofChar(statuses[row % 4])}},
                           {done, RestrictionOp::Equal, {Value::ofInteger(1)}}};
        table->setRestrictions(r, RestrictionJoin::And);
        if (table->startScan(false) != kMsgNone) fail("startScan", state);
        while (table->nextRecord() == kMsgNone) {
            if (table->readColumn(status, ValueType::Char, reader.value) != kMsgNone)
                fail("readColumn", state);
            ++inner;
        }
        if (row == 1) afterTwo = counter.requests;
    }
    cpu = cpuSeconds() - cpu0;
    std::printf(
        "join rescans: %d outer rows, %ld inner records, %ld requests for the first two "
        "rows, %.3f requests per later row, CPU %.0f us per outer row\n",
        outerRows, inner, afterTwo - before,
        outerRows > 2 ? double(counter.requests - afterTwo) / (outerRows - 2) : 0.0,
        cpu * 1e6 / outerRows);

    // A run of inserts of ten values each, sent by one flush.
    table->setRestrictions({}, RestrictionJoin::And);
    Value values[kColumns] = {Value::ofChar("inserted item"),
                              Value::ofNumeric("1234.50"),
                              Value::ofDouble(2.5),
                              Value::ofDate({2024, 5, 17}),
                              Value::ofTimestamp({2024, 5, 17, 9, 30, 0, 0}),
                              Value::ofInteger(1),
                              Value::ofChar("pat.doe@example.com"),
                              Value::ofChar("a note\nof two lines, \"quoted\""),
                              Value::ofChar("Open"),
                              Value::ofDouble(0.75)};
    before = counter.requests;
    cpu0 = cpuSeconds();
    wall0 = wallSeconds();
    for (int i = 0; i < inserts; ++i) {
        table->newRecord();
        for (std::uint16_t c = 0; c < kColumns; ++c)
            table->putColumnValue(reader.columns[c], values[c]);
        if (table->saveRecord() != kMsgNone) fail("saveRecord", state);
    }
    double cacheCpu = cpuSeconds() - cpu0;
    if (flushWrites(session, state) != kMsgNone) fail("flushWrites", state);
    cpu = cpuSeconds() - cpu0;
    wall = wallSeconds() - wall0;
    std::printf(
        "inserts: %d records, %ld imports, %.2f s wall, client CPU %.2f us/record "
        "(%.2f us into the cache)\n",
        inserts, counter.requests - before, wall, cpu * 1e6 / inserts, cacheCpu * 1e6 / inserts);
    return 0;
}
