// Temporary files of fixed-length records: the result rows a Select materialises (sorted,
// grouped, distinct and keyset rows) and the runs of the sort engine.
//
// A file is made with mkstemp in tempDirectory() and unlinked at once: it has no name from
// the moment it exists, so nothing is left in the directory when the result ends, when a
// statement fails, or when the process is killed. Records are stored by the file's layout
// (engine/record_layout.h), so wide text fields cost only the bytes their values hold. They
// are appended through a write buffer and read back by position through a read window holding
// many consecutive records, so that fetching rows in order (forwards or backwards) costs one
// read per window, not per row.
//
// Every failure (create, write, read, a position out of range, memory) is message 1046
// "Unable to do ORDER BY"; nothing throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/record_layout.h"
#include "resources/messages.h"
#include "sql/parse_tree.h"

namespace kelvra {

class TempFile final : public ResultFile {
  public:
    // An empty file of records of `recordLength` (at least 1) bytes, stored as they are.
    static MsgNo create(std::size_t recordLength, std::unique_ptr<TempFile>& out);
    // An empty file of records stored by `layout`.
    static MsgNo create(const RecordLayout& layout, std::unique_ptr<TempFile>& out);
    ~TempFile() override;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const RecordLayout& layout() const { return layout_; }
    std::size_t recordLength() const { return layout_.recordLength(); }
    // Stored bytes written so far, buffered ones included.
    std::uint64_t byteSize() const { return flushedSize_ + buffered_; }
    // Records written so far.
    std::int64_t recordCount() const { return recordCount_; }

    // Appends a record of recordLength() bytes.
    MsgNo write(const char* record);
    // Appends a record already stored by this file's layout, `length` bytes of it.
    MsgNo writeStored(const char* stored, std::size_t length);
    // Hands the buffered bytes to the file (reading does this itself).
    MsgNo flush();

    // Points `record` at record `row` (0-based), restored, inside the read window. The pointer
    // stays valid until the next call that reads, writes or clears.
    MsgNo read(std::int64_t row, const char*& record);
    // Copies `count` stored bytes from byte `offset` into `out`, past the read window.
    MsgNo readBytes(std::uint64_t offset, void* out, std::size_t count);
    // Empties the file and gives it a new layout.
    MsgNo clear(const RecordLayout& layout);

  private:
    TempFile(int fd, const RecordLayout& layout) : fd_(fd), layout_(layout) {}
    // Room for one more stored record in the write buffer.
    MsgNo reserve();
    // Fills the window with records [first, first + rows) of a file whose records are trimmed.
    MsgNo readTrimmed(std::int64_t first, std::int64_t rows);

    int fd_;
    RecordLayout layout_;
    std::uint64_t flushedSize_ = 0;
    std::int64_t recordCount_ = 0;
    std::unique_ptr<char[]> writeBuffer_;  // made at the first write
    std::size_t bufferCapacity_ = 0;
    std::size_t buffered_ = 0;
    // With trimmed records: where every kCheckpointRows-th record starts.
    std::vector<std::uint64_t> checkpoints_;
    std::vector<char> stored_;  // the stored bytes behind the window
    std::vector<char> window_;  // records windowFirst_ .. windowFirst_ + windowRows_ - 1
    std::int64_t windowFirst_ = 0;
    std::int64_t windowRows_ = 0;
};

}  // namespace kelvra
