// ORDER BY and GROUP BY through the sort engine, fed directly: generated rows of a 30-byte text
// key and a double, laid out as planning lays out a sort row (key, marker, double, marker).
// ORDER BY sorts by the key ignoring case and reads every row back in order; GROUP BY sorts
// by the key and sums the double over each run of identical keys in one pass, writing one row
// per group. Prints key=value figures; bench/sort_vs_sqlite.py runs it beside SQLite.
//
//   bench_sort [rows] [--budget MB] [--dump FILE]   (FILE: the rows as "key<TAB>double" lines)
#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "engine/sort_file.h"
#include "engine/sort_spec.h"
#include "engine/temp_file.h"
#include "sql/sort_layout.h"

namespace {

using kelvra::TempFile;

constexpr std::size_t kKeyWidth = 30;
constexpr std::size_t kRowLength = kKeyWidth + 1 + sizeof(double) + 1;

std::uint64_t splitmix(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
}

// Row i: one of rows/4 keys of mixed-case letters (a key's letters and case depend only on
// which key it is), and a whole number below 1000, so sums are exact in any order.
void makeRow(std::uint64_t i, std::uint64_t keys, char* row) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::uint64_t state = i;
    std::uint64_t keyState = splitmix(state) % keys;
    for (std::size_t c = 0; c < kKeyWidth; ++c) row[c] = kLetters[splitmix(keyState) % 52];
    row[kKeyWidth] = kelvra::kValueMarker;
    const double value = double(splitmix(state) % 1000);
    std::memcpy(row + kKeyWidth + 1, &value, sizeof value);
    row[kRowLength - 1] = kelvra::kValueMarker;
}

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "bench_sort: %s failed\n", what);
    std::exit(1);
}

// Files stored as the driver stores rows sorted by `sortSpec`.
std::unique_ptr<TempFile> newFile(const std::string& sortSpec) {
    std::unique_ptr<TempFile> file;
    if (TempFile::create(kelvra::sortLayout(sortSpec, kRowLength), file)) {
        fail("creating a temporary file");
    }
    return file;
}

}  // namespace

int main(int argc, char** argv) {
    std::uint64_t rows = 1000000;
    std::size_t budget = kelvra::kDefaultSortMemory;
    const char* dump = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--dump") == 0 && i + 1 < argc) {
            dump = argv[++i];
        } else if (std::strcmp(argv[i], "--budget") == 0 && i + 1 < argc) {
            budget = std::size_t(std::strtoull(argv[++i], nullptr, 10)) << 20;
        } else {
            rows = std::strtoull(argv[i], nullptr, 10);
        }
    }
    const std::uint64_t keys = rows / 4 + 1;
    const std::string sortSpec = "S(1," + std::to_string(kKeyWidth) + ",C,A)F(FIX," +
                                 std::to_string(kRowLength) + ")W(" + kelvra::tempDirectory() + ")";
    char row[kRowLength];

    if (dump != nullptr) {
        std::FILE* out = std::fopen(dump, "w");
        if (out == nullptr) fail("opening the dump file");
        for (std::uint64_t i = 0; i < rows; ++i) {
            makeRow(i, keys, row);
            double value;
            std::memcpy(&value, row + kKeyWidth + 1, sizeof value);
            std::fprintf(out, "%.*s\t%.0f\n", int(kKeyWidth), row, value);
        }
        if (std::fclose(out) != 0) fail("writing the dump file");
    }

    auto start = std::chrono::steady_clock::now();
    auto input = newFile(sortSpec);
    for (std::uint64_t i = 0; i < rows; ++i) {
        makeRow(i, keys, row);
        if (input->write(row)) fail("writing a row");
    }
    if (input->flush()) fail("writing the rows");
    const double load = seconds(start);

    // ORDER BY: sort into a second file, then fetch every row in order.
    start = std::chrono::steady_clock::now();
    auto ordered = newFile(sortSpec);
    std::int64_t count = 0;
    if (kelvra::sortFile(*input, *ordered, sortSpec, count, budget)) fail("ORDER BY sort");
    const double orderSort = seconds(start);
    std::uint64_t checksum = 0;
    for (std::int64_t r = 0; r < count; ++r) {
        const char* record = nullptr;
        if (ordered->read(r, record)) fail("reading a row");
        checksum += static_cast<unsigned char>(record[0]);
    }
    const double orderTotal = seconds(start);
    ordered.reset();

    // GROUP BY: sort by the key, then combine runs of identical keys.
    start = std::chrono::steady_clock::now();
    auto sorted = newFile(sortSpec);
    if (kelvra::sortFile(*input, *sorted, sortSpec, count, budget)) fail("GROUP BY sort");
    const double groupSort = seconds(start);
    auto groups = newFile(sortSpec);
    char group[kRowLength];
    double sum = 0;
    double total = 0;
    std::int64_t groupCount = 0;
    const auto finishGroup = [&] {
        std::memcpy(group + kKeyWidth + 1, &sum, sizeof sum);
        if (groups->write(group)) fail("writing a group");
        ++groupCount;
        total += sum;
    };
    for (std::int64_t r = 0; r < count; ++r) {
        const char* record = nullptr;
        if (sorted->read(r, record)) fail("reading a row");
        if (r == 0 || std::memcmp(record, group, kKeyWidth + 1) != 0) {
            if (r > 0) finishGroup();
            std::memcpy(group, record, kRowLength);
            sum = 0;
        }
        double value;
        std::memcpy(&value, record + kKeyWidth + 1, sizeof value);
        sum += value;
    }
    if (count > 0) finishGroup();
    if (groups->flush()) fail("writing the groups");
    const double groupTotal = seconds(start);

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("rows=%llu\nrow_bytes=%zu\nbudget_mb=%zu\n", (unsigned long long)rows, kRowLength,
                budget >> 20);
    std::printf("load_s=%.3f\n", load);
    std::printf("order_by_sort_s=%.3f\norder_by_s=%.3f\norder_by_checksum=%llu\n", orderSort,
                orderTotal, (unsigned long long)checksum);
    std::printf("group_by_sort_s=%.3f\ngroup_by_s=%.3f\ngroups=%lld\ngroup_sum=%.0f\n", groupSort,
                groupTotal, (long long)groupCount, total);
    std::printf("peak_rss_mb=%.1f\n", usage.ru_maxrss / 1024.0);
    return 0;
}
