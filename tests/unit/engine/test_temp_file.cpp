// Temporary record files: buffered appends, reads by position in any order with records stored
// as they are or trimmed, record layouts, failures, no name left in the temporary directory,
// and the layout helpers planning shares with the engine.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <random>

#include "sort_test_support.h"
#include "sql/sort_layout.h"

namespace kelvra {
namespace {

// Record `row`: its number, then a 10-byte text field holding row % 12 characters (blanks at
// its end, some of them part of the value), then a marker.
std::string numbered(std::int64_t row) {
    char text[16];
    std::snprintf(text, sizeof text, "%012lld:", static_cast<long long>(row));
    std::string record = text;
    std::string field = std::string(static_cast<std::size_t>(row % 12), 'x') + "          ";
    if (row % 5 == 0 && row % 12 > 1) field[0] = ' ';
    return record + field.substr(0, 10) + "|";
}

class TempFileTest : public TempDirTest {};

TEST_F(TempFileTest, RecordsReadBackInAnyOrderAsTheyAreOrTrimmed) {
    constexpr std::int64_t kRows = 30000;  // more than one write buffer and many read windows
    const RecordLayout layouts[] = {RecordLayout(24), RecordLayout(24, {{13, 10}})};
    for (const RecordLayout& layout : layouts) {
        std::unique_ptr<TempFile> file;
        ASSERT_EQ(TempFile::create(layout, file), kMsgNone);
        EXPECT_EQ(entries(), 0);  // unlinked as soon as it exists
        for (std::int64_t row = 0; row < kRows; ++row) {
            ASSERT_EQ(file->write(numbered(row).data()), kMsgNone);
        }
        EXPECT_EQ(file->recordCount(), kRows);
        EXPECT_EQ(file->byteSize() < std::uint64_t(kRows) * 24, !layout.storesAsIs());
        std::mt19937 random(7);
        std::vector<std::int64_t> order;
        for (std::int64_t row = 0; row < kRows; ++row) order.push_back(row);
        for (std::int64_t row = kRows; row-- > 0;) order.push_back(row);
        for (int i = 0; i < 2000; ++i) order.push_back(std::int64_t(random() % kRows));
        const char* record = nullptr;
        for (std::int64_t row : order) {
            ASSERT_EQ(file->read(row, record), kMsgNone);
            ASSERT_EQ(std::string(record, 24), numbered(row));
        }
        EXPECT_EQ(file->read(-1, record), kMsgOrderByUnable);
        EXPECT_EQ(file->read(kRows, record), kMsgOrderByUnable);

        ASSERT_EQ(file->write(numbered(kRows).data()), kMsgNone);  // appending after reading
        ASSERT_EQ(file->read(kRows, record), kMsgNone);
        EXPECT_EQ(std::string(record, 24), numbered(kRows));
    }
}

TEST_F(TempFileTest, ClearedFileTakesANewLayout) {
    std::unique_ptr<TempFile> file;
    ASSERT_EQ(TempFile::create(RecordLayout(24, {{13, 10}}), file), kMsgNone);
    ASSERT_EQ(file->write(numbered(3).data()), kMsgNone);
    ASSERT_EQ(file->clear(RecordLayout(4)), kMsgNone);
    const char* record = nullptr;
    EXPECT_EQ(file->read(0, record), kMsgOrderByUnable);
    ASSERT_EQ(file->write("abcd"), kMsgNone);
    ASSERT_EQ(file->write("efgh"), kMsgNone);
    EXPECT_EQ(records(*file), (std::vector<std::string>{"abcd", "efgh"}));
    char bytes[3];
    EXPECT_EQ(file->readBytes(5, bytes, 3), kMsgNone);
    EXPECT_EQ(std::string(bytes, 3), "fgh");
    EXPECT_EQ(file->readBytes(6, bytes, 3), kMsgOrderByUnable);
}

// Stored records come back exactly, and compare in place as the records they stand for.
TEST(RecordLayout, StoresRestoresAndComparesAsTheRecords) {
    std::mt19937 random(11);
    const RecordLayout asIs(30);
    // Fields given out of order, one overlapping another and one too long: both left whole.
    const RecordLayout layout(30, {{20, 9}, {2, 8}, {5, 4}, {12, 19}, {11, 6}});
    ASSERT_EQ(layout.trimmed().size(), 3u);
    EXPECT_TRUE(layout.isStoredWhole({0, 2}));
    EXPECT_FALSE(layout.isStoredWhole({9, 3}));
    for (int i = 0; i < 3000; ++i) {
        std::string records[2];
        std::string stored[2];
        for (int r = 0; r < 2; ++r) {
            for (int c = 0; c < 30; ++c) {
                records[r] += random() % 3 ? ' ' : "aAbZ\x01\xE9 "[random() % 7];
            }
            stored[r].resize(layout.maxStoredLength());
            stored[r].resize(layout.store(records[r].data(), stored[r].data()));
            ASSERT_EQ(layout.storedLength(stored[r].data(), stored[r].size()), stored[r].size());
            EXPECT_EQ(layout.storedLength(stored[r].data(), stored[r].size() - 1), 0u);
            std::string restored(30, '?');
            layout.restore(stored[r].data(), restored.data());
            ASSERT_EQ(restored, records[r]);
        }
        const std::uint32_t offset = random() % 30;
        const ByteRange range{offset, std::uint32_t(random() % (31 - offset))};
        for (bool fold : {false, true}) {
            const int expected = asIs.compare(records[0].data(), records[1].data(), range, fold);
            const int got = layout.compare(stored[0].data(), stored[1].data(), range, fold);
            ASSERT_EQ((got > 0) - (got < 0), (expected > 0) - (expected < 0))
                << "[" << records[0] << "] [" << records[1] << "] " << range.offset << "+"
                << range.length << (fold ? " folded" : "");
        }
        std::string bytes(range.length, '?');
        layout.copyBytes(stored[0].data(), range.offset, range.length, bytes.data());
        ASSERT_EQ(bytes, records[0].substr(range.offset, range.length));
    }
    // A count larger than its field is no stored record.
    std::string damaged(layout.maxStoredLength(), ' ');
    const std::uint16_t tooMany = 9;
    std::memcpy(damaged.data(), &tooMany, 2);
    EXPECT_EQ(layout.storedLength(damaged.data(), damaged.size()), 0u);
}

TEST_F(TempFileTest, FailuresAreReported) {
    std::unique_ptr<TempFile> file;
    EXPECT_EQ(TempFile::create(0, file), kMsgOrderByUnable);

    // A file size limit makes the kernel refuse writes past it (with SIGXFSZ ignored).
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 100000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    ASSERT_EQ(TempFile::create(1000, file), kMsgNone);
    const std::string record(1000, 'x');
    MsgNo result = kMsgNone;
    for (int i = 0; i < 400 && result == kMsgNone; ++i) result = file->write(record.data());
    if (result == kMsgNone) result = file->flush();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(result, kMsgOrderByUnable);

    file.reset();
    ::setenv("TMPDIR", (dir_ + "/missing").c_str(), 1);
    EXPECT_EQ(TempFile::create(8, file), kMsgOrderByUnable);
    EXPECT_EQ(file, nullptr);
}

TEST(SortLayout, TempDirectoryAndSequenceField) {
    const struct {
        const char* tmpdir;  // nullptr: unset
        const char* expected;
    } cases[] = {{nullptr, "/tmp/"}, {"", "/tmp/"}, {"/var/x", "/var/x/"}, {"/var/x/", "/var/x/"}};
    for (const auto& c : cases) {
        c.tmpdir ? ::setenv("TMPDIR", c.tmpdir, 1) : ::unsetenv("TMPDIR");
        EXPECT_EQ(tempDirectory(), c.expected) << (c.tmpdir ? c.tmpdir : "(unset)");
    }
    ::unsetenv("TMPDIR");

    char field[kSequenceFieldWidth];
    writeSequenceField(100000, field);
    EXPECT_EQ(std::string(field, sizeof field), "0000000000000100000 ");
    writeSequenceField(INT64_MAX, field);
    EXPECT_EQ(std::string(field, sizeof field), "9223372036854775807 ");
}

}  // namespace
}  // namespace kelvra
