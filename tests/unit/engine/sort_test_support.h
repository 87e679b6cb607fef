// Helpers of the sort engine tests: a private temporary directory that every test checks is
// empty at its end, and files made from and read back as lists of records.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/temp_file.h"

namespace kelvra {

class TempDirTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = "/tmp/kelvra-sort-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        ::setenv("TMPDIR", dir_.c_str(), 1);
    }

    void TearDown() override {
        EXPECT_EQ(entries(), 0) << "temporary files left in " << dir_;
        std::filesystem::remove_all(dir_);
        ::unsetenv("TMPDIR");
    }

    long entries() const {
        namespace fs = std::filesystem;
        return std::distance(fs::directory_iterator(dir_), fs::directory_iterator());
    }

    static std::unique_ptr<TempFile> makeFile(const std::vector<std::string>& records,
                                              const RecordLayout& layout) {
        std::unique_ptr<TempFile> file;
        EXPECT_EQ(TempFile::create(layout, file), kMsgNone);
        for (const std::string& record : records) {
            EXPECT_EQ(record.size(), layout.recordLength());
            EXPECT_EQ(file->write(record.data()), kMsgNone);
        }
        return file;
    }

    static std::unique_ptr<TempFile> makeFile(const std::vector<std::string>& records,
                                              std::size_t length) {
        return makeFile(records, RecordLayout(static_cast<std::uint32_t>(length)));
    }

    static std::vector<std::string> records(TempFile& file) {
        std::vector<std::string> out;
        const char* record = nullptr;
        for (std::int64_t row = 0; row < file.recordCount(); ++row) {
            EXPECT_EQ(file.read(row, record), kMsgNone);
            out.emplace_back(record, file.recordLength());
        }
        return out;
    }

    std::string dir_;
};

}  // namespace kelvra
