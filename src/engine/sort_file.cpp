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
    std::uint64_t first = 0;  // record index in the run file
    std::uint64_t count = 0;
};

// Appends records to a file, dropping those whose DUPO bytes repeat the last record kept.
class RecordSink {
  public:
    RecordSink(TempFile& out, const SortSpec& sortSpec, bool dedupe)
        : out_(out), sortSpec_(sortSpec), dedupe_(dedupe && sortSpec.dedupe) {
        // One byte more than the DUPO bytes, so that even an empty range has a valid pointer.
        if (dedupe_) last_.resize(sortSpec.duplicates.length + 1);
    }

    MsgNo put(const char* record) {
        if (dedupe_) {
            const char* bytes = record + sortSpec_.duplicates.offset;
            const std::size_t length = sortSpec_.duplicates.length;
            if (count_ > 0 && std::memcmp(bytes, last_.data(), length) == 0) return kMsgNone;
            std::memcpy(last_.data(), bytes, length);
        }
        ++count_;
        return out_.write(record, sortSpec_.recordLength);
    }

    std::uint64_t count() const { return count_; }

  private:
    TempFile& out_;
    const SortSpec& sortSpec_;
    bool dedupe_;
    std::vector<char> last_;
    std::uint64_t count_ = 0;
};

// A record to sort, with the prefix that decides most comparisons without reading it.
struct SortEntry {
    std::uint64_t prefix;
    const char* record;
};

// Orders the records of `data` (stable: equal records keep their order in memory).
void sortRecords(const SortSpec& sortSpec, const char* data, std::size_t count,
                 std::vector<SortEntry>& order) {
    order.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const char* record = data + i * sortSpec.recordLength;
        order[i] = SortEntry{sortPrefix(sortSpec, record), record};
    }
    std::sort(order.begin(), order.end(), [&sortSpec](const SortEntry& a, const SortEntry& b) {
        if (a.prefix != b.prefix) return a.prefix < b.prefix;
        const int result = compareRecords(sortSpec, a.record, b.record);
        return result < 0 || (result == 0 && a.record < b.record);
    });
}

// Reads one run through a buffer of whole records.
class RunReader {
  public:
    RunReader(TempFile& file, const Run& run, std::size_t bufferRecords, std::size_t length)
        : file_(file),
          length_(length),
          next_(run.first * length),
          end_((run.first + run.count) * length),
          buffer_(bufferRecords * length) {}

    // Loads the next part of the run; false at its end.
    MsgNo fill(bool& more) {
        more = next_ < end_;
        if (!more) return kMsgNone;
        filled_ = static_cast<std::size_t>(std::min<std::uint64_t>(buffer_.size(), end_ - next_));
        pos_ = 0;
        if (MsgNo msg = file_.readBytes(next_, buffer_.data(), filled_)) return msg;
        next_ += filled_;
        return kMsgNone;
    }

    MsgNo advance(bool& more) {
        pos_ += length_;
        if (pos_ < filled_) {
            more = true;
            return kMsgNone;
        }
        return fill(more);
    }

    const char* current() const { return buffer_.data() + pos_; }

  private:
    TempFile& file_;
    std::size_t length_;
    std::uint64_t next_;
    std::uint64_t end_;
    std::vector<char> buffer_;
    std::size_t filled_ = 0;
    std::size_t pos_ = 0;
};

// Merges `runs` of `file` into `sink` through a heap of run readers; equal records come from
// the earlier run first, which keeps the sort stable.
MsgNo mergeRuns(const SortSpec& sortSpec, TempFile& file, const Run* runs, std::size_t runCount,
                std::size_t memoryBudget, RecordSink& sink) {
    if (runCount == 0) return kMsgNone;
    const std::size_t length = sortSpec.recordLength;
    const std::size_t bufferRecords = std::max<std::size_t>(1, memoryBudget / runCount / length);
    std::vector<std::unique_ptr<RunReader>> readers;
    std::vector<std::size_t> heap;
    readers.reserve(runCount);
    heap.reserve(runCount);
    for (std::size_t i = 0; i < runCount; ++i) {
        readers.push_back(std::make_unique<RunReader>(file, runs[i], bufferRecords, length));
        bool more = false;
        if (MsgNo msg = readers[i]->fill(more)) return msg;
        if (more) heap.push_back(i);
    }
    // `before(a, b)`: reader a's record comes out first.
    const auto before = [&](std::size_t a, std::size_t b) {
        const int result = compareRecords(sortSpec, readers[a]->current(), readers[b]->current());
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
        if (MsgNo msg = sink.put(top.current())) return msg;
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

// Cuts the input into sorted runs of at most `chunkRecords` records in `runFile`.
MsgNo writeRuns(const SortSpec& sortSpec, TempFile& input, std::uint64_t recordCount,
                std::size_t chunkRecords, TempFile& runFile, std::vector<Run>& runs) {
    const std::size_t length = sortSpec.recordLength;
    const auto data = std::make_unique_for_overwrite<char[]>(chunkRecords * length);
    std::vector<SortEntry> order;
    RecordSink sink(runFile, sortSpec, false);
    for (std::uint64_t first = 0; first < recordCount; first += chunkRecords) {
        const auto count =
            static_cast<std::size_t>(std::min<std::uint64_t>(chunkRecords, recordCount - first));
        if (MsgNo msg = input.readBytes(first * length, data.get(), count * length)) return msg;
        sortRecords(sortSpec, data.get(), count, order);
        runs.push_back(Run{sink.count(), count});
        for (const SortEntry& entry : order) {
            if (MsgNo msg = sink.put(entry.record)) return msg;
        }
    }
    return runFile.flush();
}

MsgNo sortRecordsInMemory(const SortSpec& sortSpec, TempFile& input, std::uint64_t recordCount,
                          TempFile& output, std::uint64_t& written) {
    const std::size_t length = sortSpec.recordLength;
    const auto count = static_cast<std::size_t>(recordCount);
    const auto data = std::make_unique_for_overwrite<char[]>(count * length);
    if (MsgNo msg = input.readBytes(0, data.get(), count * length)) return msg;
    std::vector<SortEntry> order;
    sortRecords(sortSpec, data.get(), count, order);
    if (MsgNo msg = output.clear(length)) return msg;
    RecordSink sink(output, sortSpec, true);
    for (const SortEntry& entry : order) {
        if (MsgNo msg = sink.put(entry.record)) return msg;
    }
    written = sink.count();
    return output.flush();
}

MsgNo sortRecordsOnDisk(const SortSpec& sortSpec, TempFile& input, std::uint64_t recordCount,
                        std::size_t chunkRecords, std::size_t memoryBudget, TempFile& output,
                        std::uint64_t& written) {
    const std::size_t length = sortSpec.recordLength;
    std::unique_ptr<TempFile> runFile;
    if (MsgNo msg = TempFile::create(length, runFile)) return msg;
    std::vector<Run> runs;
    if (MsgNo msg = writeRuns(sortSpec, input, recordCount, chunkRecords, *runFile, runs))
        return msg;

    // A budget too small for a buffer per run merges groups of runs into longer runs first.
    const std::size_t fanIn =
        std::max<std::size_t>(2, memoryBudget / std::max(length, kMergeBufferFloor));
    while (runs.size() > fanIn) {
        std::unique_ptr<TempFile> nextFile;
        if (MsgNo msg = TempFile::create(length, nextFile)) return msg;
        std::vector<Run> nextRuns;
        RecordSink sink(*nextFile, sortSpec, false);
        for (std::size_t i = 0; i < runs.size(); i += fanIn) {
            const std::size_t group = std::min(fanIn, runs.size() - i);
            const std::uint64_t first = sink.count();
            if (MsgNo msg = mergeRuns(sortSpec, *runFile, &runs[i], group, memoryBudget, sink)) {
                return msg;
            }
            nextRuns.push_back(Run{first, sink.count() - first});
        }
        if (MsgNo msg = nextFile->flush()) return msg;
        runFile = std::move(nextFile);
        runs = std::move(nextRuns);
    }

    if (MsgNo msg = output.clear(length)) return msg;
    RecordSink sink(output, sortSpec, true);
    if (MsgNo msg = mergeRuns(sortSpec, *runFile, runs.data(), runs.size(), memoryBudget, sink)) {
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
        const std::size_t length = sortSpec.recordLength;
        if (input.byteSize() % length != 0) return kMsgOrderByUnable;
        const std::uint64_t count = input.byteSize() / length;
        const std::size_t chunkRecords =
            std::max<std::size_t>(1, memoryBudget / (length + sizeof(SortEntry)));
        std::uint64_t written = 0;
        const MsgNo msg = count <= chunkRecords
                              ? sortRecordsInMemory(sortSpec, input, count, output, written)
                              : sortRecordsOnDisk(sortSpec, input, count, chunkRecords,
                                                  memoryBudget, output, written);
        if (msg != kMsgNone) return msg;
        recordCount = static_cast<std::int64_t>(written);
        return kMsgNone;
    } catch (const std::exception&) {
        return kMsgOrderByUnable;
    }
}

}  // namespace kelvra
