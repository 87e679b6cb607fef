// Helpers of the sort engine tests: a private temporary directory that every test checks is
// empty at its end, and files made from and read back as lists of records.
#pragma once

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "engine/temp_file.h"

namespace kelvra {

// Points TMPDIR at a fresh directory for the test and looks at the end that no file was left.
class TempDirTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* old = std::getenv("TMPDIR");
        hadOld_ = old != nullptr;
        if (hadOld_) old_ = old;
        std::string pattern = "/tmp/kelvra-sort-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        ::setenv("TMPDIR", dir_.c_str(), 1);
    }

    void TearDown() override {
        EXPECT_EQ(entries(), 0u) << "temporary files left in " << dir_;
        ::rmdir(dir_.c_str());
        if (hadOld_) {
            ::setenv("TMPDIR", old_.c_str(), 1);
        } else {
            ::unsetenv("TMPDIR");
        }
    }

    std::size_t entries() const {
        std::size_t count = 0;
        if (DIR* dir = ::opendir(dir_.c_str())) {
            while (const dirent* entry = ::readdir(dir)) {
                if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..") {
                    ++count;
                }
            }
            ::closedir(dir);
        }
        return count;
    }

    static std::unique_ptr<TempFile> makeFile(const std::vector<std::string>& records,
                                              std::size_t length) {
        std::unique_ptr<TempFile> file;
        EXPECT_EQ(TempFile::create(length, file), kMsgNone);
        for (const std::string& record : records) {
            EXPECT_EQ(file->write(record.data(), record.size()), kMsgNone);
        }
        return file;
    }

    static std::vector<std::string> records(TempFile& file) {
        std::vector<std::string> out;
        for (std::int64_t row = 0; row < file.recordCount(); ++row) {
            const char* record = nullptr;
            EXPECT_EQ(file.read(row, record), kMsgNone);
            out.emplace_back(record, file.recordLength());
        }
        return out;
    }

    std::string dir_;

  private:
    bool hadOld_ = false;
    std::string old_;
};

}  // namespace kelvra
