// Temporary files of fixed-length records: the result rows a Select materialises (sorted,
// grouped, distinct and keyset rows) and the runs of the sort engine.
//
// A file is made with mkstemp in tempDirectory() and unlinked at once: it has no name from
// the moment it exists, so nothing is left in the directory when the result ends, when a
// statement fails, or when the process is killed. Records are appended through a write buffer
// and read back by position through a read window holding many consecutive records, so that
// fetching rows in order (forwards or backwards) costs one read per window, not per row.
//
// Every failure (create, write, read, a position out of range, memory) is message 1046
// "Unable to do ORDER BY"; nothing throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "resources/messages.h"
#include "sql/parse_tree.h"

namespace kelvra {

class TempFile final : public ResultFile {
  public:
    // An empty file of records of `recordLength` (at least 1) bytes.
    static MsgNo create(std::size_t recordLength, std::unique_ptr<TempFile>& out);
    ~TempFile() override;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    std::size_t recordLength() const { return recordLength_; }
    // Bytes written so far, buffered ones included.
    std::uint64_t byteSize() const { return flushedSize_ + writeBuffer_.size(); }
    // Whole records written so far.
    std::int64_t recordCount() const {
        return static_cast<std::int64_t>(byteSize() / recordLength_);
    }

    // Appends `count` bytes: a whole record, or a record in pieces.
    MsgNo write(const void* bytes, std::size_t count);
    // Hands the buffered bytes to the file (reading does this itself).
    MsgNo flush();

    // Points `record` at record `row` (0-based) inside the read window. The pointer stays
    // valid until the next call that reads, writes or clears.
    MsgNo read(std::int64_t row, const char*& record);
    // Copies `count` bytes from byte `offset` into `out`, past the read window.
    MsgNo readBytes(std::uint64_t offset, void* out, std::size_t count);
    // Empties the file and sets a new record length (at least 1).
    MsgNo clear(std::size_t recordLength);

  private:
    TempFile(int fd, std::size_t recordLength) : fd_(fd), recordLength_(recordLength) {}

    int fd_;
    std::size_t recordLength_;
    std::uint64_t flushedSize_ = 0;
    std::vector<char> writeBuffer_;  // reserved at the first write
    std::vector<char> window_;       // records windowFirst_ .. windowFirst_ + windowRows_ - 1
    std::int64_t windowFirst_ = 0;
    std::int64_t windowRows_ = 0;
};

}  // namespace kelvra
