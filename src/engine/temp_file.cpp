#include "engine/temp_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#include "sql/sort_layout.h"

namespace kelvra {

namespace {

constexpr std::size_t kWriteBufferBytes = 256 * 1024;
constexpr std::size_t kReadWindowBytes = 64 * 1024;
// With trimmed records, the start of every this-many-th record is kept, so that reading a
// record by position reads at most this many records before it.
constexpr std::int64_t kCheckpointRows = 64;

bool writeAll(int fd, const char* bytes, std::size_t count, std::uint64_t offset) {
    while (count > 0) {
        const ssize_t n = ::pwrite(fd, bytes, count, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        count -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

bool readAll(int fd, char* out, std::size_t count, std::uint64_t offset) {
    while (count > 0) {
        const ssize_t n = ::pread(fd, out, count, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;  // a short file is a failure too
        out += n;
        count -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

}  // namespace

MsgNo TempFile::create(std::size_t recordLength, std::unique_ptr<TempFile>& out) {
    if (recordLength == 0 || recordLength > UINT32_MAX) return kMsgOrderByUnable;
    return create(RecordLayout(static_cast<std::uint32_t>(recordLength)), out);
}

MsgNo TempFile::create(const RecordLayout& layout, std::unique_ptr<TempFile>& out) {
    if (layout.recordLength() == 0) return kMsgOrderByUnable;
    try {
        std::string path = tempDirectory() + "kelvra-XXXXXX";
        const int fd = ::mkostemp(path.data(), O_CLOEXEC);
        if (fd < 0) return kMsgOrderByUnable;
        ::unlink(path.c_str());
        out.reset(new TempFile(fd, layout));
        return kMsgNone;
    } catch (const std::bad_alloc&) {
        return kMsgOrderByUnable;
    }
}

TempFile::~TempFile() {
    ::close(fd_);
}

MsgNo TempFile::reserve() {
    try {
        if (!writeBuffer_) {
            bufferCapacity_ = std::max(kWriteBufferBytes, layout_.maxStoredLength());
            writeBuffer_ = std::make_unique_for_overwrite<char[]>(bufferCapacity_);
        }
        if (buffered_ + layout_.maxStoredLength() > bufferCapacity_) {
            if (MsgNo msg = flush()) return msg;
        }
        if (!layout_.storesAsIs() && recordCount_ % kCheckpointRows == 0) {
            checkpoints_.push_back(byteSize());
        }
        return kMsgNone;
    } catch (const std::bad_alloc&) {
        return kMsgOrderByUnable;
    }
}

MsgNo TempFile::write(const char* record) {
    if (MsgNo msg = reserve()) return msg;
    char* out = writeBuffer_.get() + buffered_;
    if (layout_.storesAsIs()) {
        std::memcpy(out, record, layout_.recordLength());
        buffered_ += layout_.recordLength();
    } else {
        buffered_ += layout_.store(record, out);
    }
    ++recordCount_;
    return kMsgNone;
}

MsgNo TempFile::writeStored(const char* stored, std::size_t length) {
    if (length > layout_.maxStoredLength()) return kMsgOrderByUnable;
    if (MsgNo msg = reserve()) return msg;
    std::memcpy(writeBuffer_.get() + buffered_, stored, length);
    buffered_ += length;
    ++recordCount_;
    return kMsgNone;
}

MsgNo TempFile::flush() {
    if (buffered_ == 0) return kMsgNone;
    if (!writeAll(fd_, writeBuffer_.get(), buffered_, flushedSize_)) return kMsgOrderByUnable;
    flushedSize_ += buffered_;
    buffered_ = 0;
    return kMsgNone;
}

MsgNo TempFile::read(std::int64_t row, const char*& record) {
    const std::size_t length = layout_.recordLength();
    if (row >= windowFirst_ && row < windowFirst_ + windowRows_) {
        record = window_.data() + static_cast<std::size_t>(row - windowFirst_) * length;
        return kMsgNone;
    }
    if (MsgNo msg = flush()) return msg;
    if (row < 0 || row >= recordCount_) return kMsgOrderByUnable;
    try {
        const auto capacity =
            static_cast<std::int64_t>(std::max<std::size_t>(1, kReadWindowBytes / length));
        // Moving backwards just before the window: end the new window at the row, so that
        // fetching in reverse order also reads a whole window at a time.
        const bool backwards = row < windowFirst_ && row + capacity > windowFirst_;
        const std::int64_t first = backwards ? std::max<std::int64_t>(0, row - capacity + 1) : row;
        const std::int64_t rows = std::min(capacity, recordCount_ - first);
        window_.resize(static_cast<std::size_t>(rows) * length);
        windowRows_ = 0;
        if (layout_.storesAsIs()) {
            if (!readAll(fd_, window_.data(), window_.size(),
                         static_cast<std::uint64_t>(first) * length)) {
                return kMsgOrderByUnable;
            }
        } else if (MsgNo msg = readTrimmed(first, rows)) {
            return msg;
        }
        windowFirst_ = first;
        windowRows_ = rows;
        record = window_.data() + static_cast<std::size_t>(row - first) * length;
        return kMsgNone;
    } catch (const std::bad_alloc&) {
        return kMsgOrderByUnable;
    }
}

MsgNo TempFile::readTrimmed(std::int64_t first, std::int64_t rows) {
    const auto firstCheckpoint = static_cast<std::size_t>(first / kCheckpointRows);
    const auto endCheckpoint = static_cast<std::size_t>((first + rows - 1) / kCheckpointRows + 1);
    const std::uint64_t begin = checkpoints_[firstCheckpoint];
    const std::uint64_t end =
        endCheckpoint < checkpoints_.size() ? checkpoints_[endCheckpoint] : flushedSize_;
    stored_.resize(static_cast<std::size_t>(end - begin));
    if (!readAll(fd_, stored_.data(), stored_.size(), begin)) return kMsgOrderByUnable;
    std::size_t at = 0;
    for (std::int64_t r = static_cast<std::int64_t>(firstCheckpoint) * kCheckpointRows;
         r < first + rows; ++r) {
        const std::size_t length = layout_.storedLength(stored_.data() + at, stored_.size() - at);
        if (length == 0) return kMsgOrderByUnable;
        if (r >= first) {
            layout_.restore(stored_.data() + at,
                            window_.data() + static_cast<std::size_t>(r - first) *
                                                 layout_.recordLength());
        }
        at += length;
    }
    return kMsgNone;
}

MsgNo TempFile::readBytes(std::uint64_t offset, void* out, std::size_t count) {
    if (MsgNo msg = flush()) return msg;
    if (offset > flushedSize_ || count > flushedSize_ - offset) return kMsgOrderByUnable;
    return readAll(fd_, static_cast<char*>(out), count, offset) ? kMsgNone : kMsgOrderByUnable;
}

MsgNo TempFile::clear(const RecordLayout& layout) {
    if (layout.recordLength() == 0) return kMsgOrderByUnable;
    try {
        layout_ = layout;
        checkpoints_.clear();
    } catch (const std::bad_alloc&) {
        return kMsgOrderByUnable;
    }
    buffered_ = 0;
    windowRows_ = 0;
    flushedSize_ = 0;
    recordCount_ = 0;
    if (writeBuffer_ && bufferCapacity_ < layout_.maxStoredLength()) {
        writeBuffer_.reset();
        bufferCapacity_ = 0;
    }
    return ::ftruncate(fd_, 0) == 0 ? kMsgNone : kMsgOrderByUnable;
}

}  // namespace kelvra
