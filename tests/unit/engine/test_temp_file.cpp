// Temporary record files: buffered appends, reads by position in any order, failures, no name
// left in the temporary directory, and the layout helpers planning shares with the engine.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <random>

#include "sort_test_support.h"
#include "sql/sort_layout.h"

namespace kelvra {
namespace {

std::string numbered(std::int64_t row) {
    char text[16];
    std::snprintf(text, sizeof text, "%012lld:", static_cast<long long>(row));
    return text;
}

class TempFileTest : public TempDirTest {};

TEST_F(TempFileTest, RecordsWrittenInPiecesReadBackInAnyOrder) {
    constexpr std::int64_t kRows = 30000;  // more than one write buffer and many read windows
    std::unique_ptr<TempFile> file;
    ASSERT_EQ(TempFile::create(13, file), kMsgNone);
    EXPECT_EQ(entries(), 0);  // unlinked as soon as it exists
    for (std::int64_t row = 0; row < kRows; ++row) {
        ASSERT_EQ(file->write(numbered(row).data(), 5), kMsgNone);
        ASSERT_EQ(file->write(numbered(row).data() + 5, 8), kMsgNone);
    }
    EXPECT_EQ(file->recordCount(), kRows);
    std::mt19937 random(7);
    std::vector<std::int64_t> order;
    for (std::int64_t row = 0; row < kRows; ++row) order.push_back(row);
    for (std::int64_t row = kRows; row-- > 0;) order.push_back(row);
    for (int i = 0; i < 2000; ++i) order.push_back(std::int64_t(random() % kRows));
    const char* record = nullptr;
    for (std::int64_t row : order) {
        ASSERT_EQ(file->read(row, record), kMsgNone);
        ASSERT_EQ(std::string(record, 13), numbered(row));
    }
    EXPECT_EQ(file->read(-1, record), kMsgOrderByUnable);
    EXPECT_EQ(file->read(kRows, record), kMsgOrderByUnable);

    ASSERT_EQ(file->write(numbered(kRows).data(), 13), kMsgNone);  // appending after reading
    ASSERT_EQ(file->read(kRows, record), kMsgNone);
    EXPECT_EQ(std::string(record, 13), numbered(kRows));
    ASSERT_EQ(file->clear(4), kMsgNone);
    EXPECT_EQ(file->read(0, record), kMsgOrderByUnable);
    ASSERT_EQ(file->write("abcdefgh", 8), kMsgNone);
    EXPECT_EQ(records(*file), (std::vector<std::string>{"abcd", "efgh"}));
    char bytes[3];
    EXPECT_EQ(file->readBytes(5, bytes, 3), kMsgNone);
    EXPECT_EQ(std::string(bytes, 3), "fgh");
    EXPECT_EQ(file->readBytes(6, bytes, 3), kMsgOrderByUnable);
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
    for (int i = 0; i < 400 && result == kMsgNone; ++i) result = file->write(record.data(), 1000);
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
