#include "engine/sort_file.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

#include "engine/sort_spec.h"

namespace kelvra {

namespace {

// The least buffer a run gets in a merge: below it, merging more runs at once costs more in
// small reads than another pass over the data.
constexpr std::size_t kMergeBufferFloor = 4096;

struct Run {
    std::uint64_t offset = 0;  // stored bytes into the run file
    std::uint64_t bytes = 0;
};

// Appends stored records to a file, dropping those whose DUPO bytes repeat the last one kept.
class RecordSink {
  public:
    RecordSink(TempFile& out, const SortSpec& sortSpec, const RecordLayout& layout, bool dedupe)
        : out_(out), sortSpec_(sortSpec), layout_(layout), dedupe_(dedupe && sortSpec.dedupe) {}

    MsgNo put(const char* stored, std::size_t length) {
        if (dedupe_) {
            const ByteRange dupo = sortSpec_.duplicates;
            if (count_ > 0 && layout_.compare(stored, last_.data(), dupo, false) == 0) {
                return kMsgNone;
            }
            last_.assign(stored, stored + length);
        }
        ++count_;
        return out_.writeStored(stored, length);
    }

    std::uint64_t count() const { return count_; }

  private:
    TempFile& out_;
    const SortSpec& sortSpec_;
    const RecordLayout& layout_;
    bool dedupe_;
    std::vector<char> last_;
    std::uint64_t count_ = 0;
};

// A record to sort, with the prefix that decides most comparisons without reading it.
struct SortEntry {
    std::uint64_t prefix;
    std::uint32_t offset;  // into the sorted bytes, which are kept below kMaxSortedBytes
    std::uint32_t length;
};

constexpr std::size_t kMaxSortedBytes = UINT32_MAX;

// Finds the whole stored records at the start of `data` (`size` bytes) and orders them (stable:
// equal records keep their order in memory). Returns the bytes they take.
std::size_t sortRecords(const SortSpec& sortSpec, const RecordLayout& layout, const char* data,
                        std::size_t size, std::vector<SortEntry>& order) {
    order.clear();
    std::size_t at = 0;
    while (at < size) {
        const std::size_t length = layout.storedLength(data + at, size - at);
        if (length == 0) break;
        order.push_back(SortEntry{sortPrefix(sortSpec, layout, data + at),
                                  static_cast<std::uint32_t>(at),
                                  static_cast<std::uint32_t>(length)});
        at += length;
    }
    std::sort(order.begin(), order.end(),
              [&sortSpec, &layout, data](const SortEntry& a, const SortEntry& b) {
                  if (a.prefix != b.prefix) return a.prefix < b.prefix;
                  const int result =
                      compareRecords(sortSpec, layout, data + a.offset, data + b.offset);
                  return result < 0 || (result == 0 && a.offset < b.offset);
              });
    return at;
}

// Reads the stored records of one run through a buffer.
class RunReader {
  public:
    RunReader(TempFile& file, const RecordLayout& layout, const Run& run, std::size_t bufferBytes)
        : file_(file),
          layout_(layout),
          next_(run.offset),
          end_(run.offset + run.bytes),
          buffer_(std::max(bufferBytes, layout.maxStoredLength())) {}

    // Moves to the next record; false at the run's end.
    MsgNo advance(bool& more) {
        pos_ += length_;
        length_ = layout_.storedLength(buffer_.data() + pos_, filled_ - pos_);
        if (length_ == 0) {
            // Keep the part of a record at the buffer's end, and read what follows it.
            const std::size_t kept = filled_ - pos_;
            std::memmove(buffer_.data(), buffer_.data() + pos_, kept);
            const auto count = static_cast<std::size_t>(
                std::min<std::uint64_t>(buffer_.size() - kept, end_ - next_));
            if (count > 0) {
                if (MsgNo msg = file_.readBytes(next_, buffer_.data() + kept, count)) return msg;
            }
            next_ += count;
            filled_ = kept + count;
            pos_ = 0;
            more = filled_ > 0;
            if (!more) return kMsgNone;
            length_ = layout_.storedLength(buffer_.data(), filled_);
            if (length_ == 0) return kMsgOrderByUnable;  // not a whole record: a damaged run
        }
        more = true;
        return kMsgNone;
    }

    const char* current() const { return buffer_.data() + pos_; }
    std::size_t length() const { return length_; }

  private:
    TempFile& file_;
    const RecordLayout& layout_;
    std::uint64_t next_;
    std::uint64_t end_;
    std::vector<char> buffer_;
    std::size_t filled_ = 0;
    std::size_t pos_ = 0;
    std::size_t length_ = 0;
};

// Merges `runs` of `file` into `sink` through a heap of run readers; equal records come from
// the earlier run first, which keeps the sort stable.
MsgNo mergeRuns(const SortSpec& sortSpec, const RecordLayout& layout, TempFile& file,
                const Run* runs, std::size_t runCount, std::size_t memoryBudget,
                RecordSink& sink) {
    if (runCount == 0) return kMsgNone;
    const std::size_t bufferBytes = memoryBudget / runCount;
    std::vector<std::unique_ptr<RunReader>> readers;
    std::vector<std::size_t> heap;
    readers.reserve(runCount);
    heap.reserve(runCount);
    for (std::size_t i = 0; i < runCount; ++i) {
        readers.push_back(std::make_unique<RunReader>(file, layout, runs[i], bufferBytes));
        bool more = false;
        if (MsgNo msg = readers[i]->advance(more)) return msg;
        if (more) heap.push_back(i);
    }
    // `before(a, b)`: reader a's record comes out first.
    const auto before = [&](std::size_t a, std::size_t b) {
        const int result =
            compareRecords(sortSpec, layout, readers[a]->current(), readers[b]->current());
        return result < 0 || (result == 0 && a < b);
    };
    const auto siftDown = [&](std::size_t at) {
        const std::size_t size = heap.size();
        while (true) {
            std::size_t least = at;
            const std::size_t left = 2 * at + 1;
            if (left < size && before(heap[left], heap[least])) least = left;
            if (left + 1 < size && before(heap[left + 1], heap[least])) least = left + 1;
            if (least == at) return;
            std::swap(heap[at], heap[least]);
            at = least;
        }
    };
    for (std::size_t i = heap.size() / 2; i-- > 0;) siftDown(i);
    while (!heap.empty()) {
        RunReader& top = *readers[heap.front()];
        if (MsgNo msg = sink.put(top.current(), top.length())) return msg;
        bool more = false;
        if (MsgNo msg = top.advance(more)) return msg;
        if (!more) {
            heap.front() = heap.back();
            heap.pop_back();
        }
        if (!heap.empty()) siftDown(0);
    }
    return kMsgNone;
}

// Cuts the input into sorted runs of at most `chunkBytes` stored bytes in `runFile`.
MsgNo writeRuns(const SortSpec& sortSpec, const RecordLayout& layout, TempFile& input,
                std::size_t chunkBytes, TempFile& runFile, std::vector<Run>& runs) {
    const auto data = std::make_unique_for_overwrite<char[]>(chunkBytes);
    std::vector<SortEntry> order;
    RecordSink sink(runFile, sortSpec, layout, false);
    const std::uint64_t total = input.byteSize();
    std::uint64_t offset = 0;
    std::size_t carried = 0;  // the start of a record read with the last chunk
    while (offset < total || carried > 0) {
        const auto count =
            static_cast<std::size_t>(std::min<std::uint64_t>(chunkBytes - carried, total - offset));
        if (MsgNo msg = input.readBytes(offset, data.get() + carried, count)) return msg;
        offset += count;
        const std::size_t size = carried + count;
        const std::size_t used = sortRecords(sortSpec, layout, data.get(), size, order);
        if (used == 0) return kMsgOrderByUnable;  // not a whole record: a damaged input
        runs.push_back(Run{runFile.byteSize(), used});
        for (const SortEntry& entry : order) {
            if (MsgNo msg = sink.put(data.get() + entry.offset, entry.length)) return msg;
        }
        carried = size - used;
        std::memmove(data.get(), data.get() + used, carried);
    }
    return runFile.flush();
}

MsgNo sortRecordsInMemory(const SortSpec& sortSpec, const RecordLayout& layout, TempFile& input,
                          TempFile& output, std::uint64_t& written) {
    const auto size = static_cast<std::size_t>(input.byteSize());
    const std::int64_t count = input.recordCount();
    const auto data = std::make_unique_for_overwrite<char[]>(std::max<std::size_t>(size, 1));
    if (MsgNo msg = input.readBytes(0, data.get(), size)) return msg;
    std::vector<SortEntry> order;
    order.reserve(static_cast<std::size_t>(count));
    if (sortRecords(sortSpec, layout, data.get(), size, order) != size ||
        order.size() != static_cast<std::size_t>(count)) {
        return kMsgOrderByUnable;
    }
    if (MsgNo msg = output.clear(layout)) return msg;
    RecordSink sink(output, sortSpec, layout, true);
    for (const SortEntry& entry : order) {
        if (MsgNo msg = sink.put(data.get() + entry.offset, entry.length)) return msg;
    }
    written = sink.count();
    return output.flush();
}

MsgNo sortRecordsOnDisk(const SortSpec& sortSpec, const RecordLayout& layout, TempFile& input,
                        std::size_t chunkBytes, std::size_t memoryBudget, TempFile& output,
                        std::uint64_t& written) {
    std::unique_ptr<TempFile> runFile;
    if (MsgNo msg = TempFile::create(layout, runFile)) return msg;
    std::vector<Run> runs;
    if (MsgNo msg = writeRuns(sortSpec, layout, input, chunkBytes, *runFile, runs)) return msg;

    // A budget too small for a buffer per run merges groups of runs into longer runs first.
    const std::size_t fanIn = std::max<std::size_t>(
        2, memoryBudget / std::max(layout.maxStoredLength(), kMergeBufferFloor));
    while (runs.size() > fanIn) {
        std::unique_ptr<TempFile> nextFile;
        if (MsgNo msg = TempFile::create(layout, nextFile)) return msg;
        std::vector<Run> nextRuns;
        RecordSink sink(*nextFile, sortSpec, layout, false);
        for (std::size_t i = 0; i < runs.size(); i += fanIn) {
            const std::size_t group = std::min(fanIn, runs.size() - i);
            const std::uint64_t first = nextFile->byteSize();
            if (MsgNo msg =
                    mergeRuns(sortSpec, layout, *runFile, &runs[i], group, memoryBudget, sink)) {
                return msg;
            }
            nextRuns.push_back(Run{first, nextFile->byteSize() - first});
        }
        if (MsgNo msg = nextFile->flush()) return msg;
        runFile = std::move(nextFile);
        runs = std::move(nextRuns);
    }

    if (MsgNo msg = output.clear(layout)) return msg;
    RecordSink sink(output, sortSpec, layout, true);
    if (MsgNo msg = mergeRuns(sortSpec, layout, *runFile, runs.data(), runs.size(), memoryBudget,
                              sink)) {
        return msg;
    }
    written = sink.count();
    return output.flush();
}

}  // namespace

MsgNo sortFile(TempFile& input, TempFile& output, std::string_view specText,
               std::int64_t& recordCount, std::size_t memoryBudget) {
    try {
        SortSpec sortSpec;
        if (MsgNo msg = parseSortSpec(specText, sortSpec)) return msg;
        const RecordLayout layout = input.layout();  // the output's too, even when it is the input
        if (!bindLayout(sortSpec, layout)) return kMsgOrderByUnable;
        const auto count = static_cast<std::uint64_t>(input.recordCount());
        memoryBudget = std::min(memoryBudget, kMaxSortedBytes);
        const std::uint64_t inMemory = input.byteSize() + count * sizeof(SortEntry);
        // Chunks of runs leave room for the entries of their shortest possible records.
        std::size_t shortest = layout.recordLength() + 2 * layout.trimmed().size();
        for (const ByteRange& field : layout.trimmed()) shortest -= field.length;
        const std::size_t chunkBytes = std::max(
            layout.maxStoredLength(),
            static_cast<std::size_t>(static_cast<double>(memoryBudget) * double(shortest) /
                                     double(shortest + sizeof(SortEntry))));
        std::uint64_t written = 0;
        const MsgNo msg =
            inMemory <= memoryBudget
                ? sortRecordsInMemory(sortSpec, layout, input, output, written)
                : sortRecordsOnDisk(sortSpec, layout, input, chunkBytes, memoryBudget, output,
                                    written);
        if (msg != kMsgNone) return msg;
        recordCount = static_cast<std::int64_t>(written);
        return kMsgNone;
    } catch (const std::exception&) {
        return kMsgOrderByUnable;
    }
}

}  // namespace kelvra
