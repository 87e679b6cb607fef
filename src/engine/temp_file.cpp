#include "engine/temp_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include "sql/sort_layout.h"

namespace kelvra {

namespace {

constexpr std::size_t kWriteBufferBytes = 256 * 1024;
constexpr std::size_t kReadWindowBytes = 64 * 1024;

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
    if (recordLength == 0) return kMsgOrderByUnable;
    try {
        std::string path = tempDirectory() + "kelvra-XXXXXX";
        const int fd = ::mkostemp(path.data(), O_CLOEXEC);
        if (fd < 0) return kMsgOrderByUnable;
        ::unlink(path.c_str());
        out.reset(new TempFile(fd, recordLength));
        return kMsgNone;
    } catch (const std::bad_alloc&) {
        return kMsgOrderByUnable;
    }
}

TempFile::~TempFile() {
    ::close(fd_);
}

MsgNo TempFile::write(const void* bytes, std::size_t count) {
    try {
        if (writeBuffer_.capacity() == 0) writeBuffer_.reserve(kWriteBufferBytes);
        const char* data = static_cast<const char*>(bytes);
        if (writeBuffer_.size() + count > kWriteBufferBytes) {
            if (MsgNo msg = flush()) return msg;
            if (count >= kWriteBufferBytes) {
                if (!writeAll(fd_, data, count, flushedSize_)) return kMsgOrderByUnable;
                flushedSize_ += count;
                return kMsgNone;
            }
        }
        writeBuffer_.insert(writeBuffer_.end(), data, data + count);
        return kMsgNone;
    } catch (const std::bad_alloc&) {
        return kMsgOrderByUnable;
    }
}

MsgNo TempFile::flush() {
    if (writeBuffer_.empty()) return kMsgNone;
    if (!writeAll(fd_, writeBuffer_.data(), writeBuffer_.size(), flushedSize_)) {
        return kMsgOrderByUnable;
    }
    flushedSize_ += writeBuffer_.size();
    writeBuffer_.clear();
    return kMsgNone;
}

MsgNo TempFile::read(std::int64_t row, const char*& record) {
    if (row >= windowFirst_ && row < windowFirst_ + windowRows_) {
        record = window_.data() + static_cast<std::size_t>(row - windowFirst_) * recordLength_;
        return kMsgNone;
    }
    if (MsgNo msg = flush()) return msg;
    const std::int64_t count = recordCount();
    if (row < 0 || row >= count) return kMsgOrderByUnable;
    try {
        const auto capacity =
            static_cast<std::int64_t>(std::max<std::size_t>(1, kReadWindowBytes / recordLength_));
        // Moving backwards just before the window: end the new window at the row, so that
        // fetching in reverse order also reads a whole window at a time.
        const bool backwards = row < windowFirst_ && row + capacity > windowFirst_;
        const std::int64_t first = backwards ? std::max<std::int64_t>(0, row - capacity + 1) : row;
        const std::int64_t rows = std::min(capacity, count - first);
        window_.resize(static_cast<std::size_t>(rows) * recordLength_);
        windowRows_ = 0;
        if (!readAll(fd_, window_.data(), window_.size(),
                     static_cast<std::uint64_t>(first) * recordLength_)) {
            return kMsgOrderByUnable;
        }
        windowFirst_ = first;
        windowRows_ = rows;
        record = window_.data() + static_cast<std::size_t>(row - first) * recordLength_;
        return kMsgNone;
    } catch (const std::bad_alloc&) {
        return kMsgOrderByUnable;
    }
}

MsgNo TempFile::readBytes(std::uint64_t offset, void* out, std::size_t count) {
    if (MsgNo msg = flush()) return msg;
    if (offset > flushedSize_ || count > flushedSize_ - offset) return kMsgOrderByUnable;
    return readAll(fd_, static_cast<char*>(out), count, offset) ? kMsgNone : kMsgOrderByUnable;
}

MsgNo TempFile::clear(std::size_t recordLength) {
    if (recordLength == 0) return kMsgOrderByUnable;
    writeBuffer_.clear();
    windowRows_ = 0;
    flushedSize_ = 0;
    recordLength_ = recordLength;
    return ::ftruncate(fd_, 0) == 0 ? kMsgNone : kMsgOrderByUnable;
}

}  // namespace kelvra
