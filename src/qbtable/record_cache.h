// RecordCache: the records of one DBID that a connection has read, kept for the life of the
// connection. A record's values sit in slots, one per requested field in the order the fields
// were requested, so that a column is read by its slot without a search. Records live in a pool
// whose entries (and their text buffers) are used again after a record is dropped, so that a
// forward-only scan of any length allocates nothing once its first page is in.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kelvra {

inline constexpr std::int32_t kRecordIdFid = 3;

struct CachedRecord {
    std::int32_t id = 0;
    // Slots QuickBase filled: fewer than the requested fields when fields were requested after
    // the record was read (the record is then incomplete).
    std::uint32_t filled = 0;
    // Values changed here and not yet sent: a page read later leaves them alone.
    bool pending = false;
    bool queued = false;              // in its DBID's write set
    std::vector<std::string> values;  // by slot
    std::vector<bool> changed;        // by slot, while pending
};

// Record id to pool index, open addressing with linear probing.
class IdIndex {
  public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
    std::uint32_t find(std::int32_t id) const;
    void insert(std::int32_t id, std::uint32_t index);
    void erase(std::int32_t id);
    void clear();
    std::size_t size() const { return size_; }

  private:
    struct Entry {
        std::int32_t id;
        std::uint32_t index;  // kNone: empty
    };
    std::size_t slotOf(std::int32_t id) const;
    void grow();

    std::vector<Entry> entries_;
    std::size_t size_ = 0;
};

class RecordCache {
  public:
    RecordCache();

    // Adds a field to the requested set; true when it was not in it (records read before are
    // then incomplete).
    bool requestField(std::int32_t fid);
    // The requested fields by slot, in the order they were requested.
    const std::vector<std::int32_t>& slotFields() const { return slotFields_; }
    // -1 when the field is not requested.
    int slotOf(std::int32_t fid) const;
    // The column list of a query: "3", then the other requested fields in ascending order.
    const std::string& clist() const { return clist_; }

    // The record of an id; null when it is not cached.
    CachedRecord* find(std::int32_t id);
    const CachedRecord* find(std::int32_t id) const;
    // The pool index of an id; IdIndex::kNone when it is not cached. Valid until the next drop
    // (see epoch()).
    std::uint32_t indexOf(std::int32_t id) const { return index_.find(id); }
    CachedRecord& at(std::uint32_t index) { return pool_[index]; }
    const CachedRecord& at(std::uint32_t index) const { return pool_[index]; }
    // The record of an id, made empty (every slot empty, nothing filled) when it is new.
    CachedRecord& obtain(std::int32_t id);
    // Forgets a record; its pool entry is used again.
    void drop(std::int32_t id);
    bool complete(const CachedRecord& record) const { return record.filled >= slotFields_.size(); }
    std::size_t size() const { return index_.size(); }
    // Changes whenever a record leaves the cache, so that pool indices held elsewhere are
    // looked up again; no two caches share a value (a scan may outlive its cache when the
    // connection is made again).
    std::uint64_t epoch() const { return epoch_; }

    // Stores a value QuickBase sent for a record that is being read (see beginRead): the
    // record's slot of the field, unless the value was changed here.
    void storeRead(std::int32_t rid, std::int32_t fid, std::string& text);
    // Marks the start of a reply: records met for the first time in it are reset first.
    void beginRead() {
        ++readSerial_;
        lastIndex_ = IdIndex::kNone;
        touched_.clear();
    }
    // After a reply that failed: the records it reached are incomplete again, so that nothing
    // half read is taken for a record.
    void abandonRead();

    // Changes when records are made or dropped, so that scans built on the records know.
    std::uint64_t generation = 0;

  private:
    void rebuildClist();

    std::vector<std::int32_t> slotFields_;
    // Slot by field id for the usual small ids; -1 where none.
    std::vector<std::int32_t> slotByFid_;
    std::string clist_;
    std::vector<CachedRecord> pool_;
    std::vector<std::uint32_t> free_;
    // The pool entries the current reply reached.
    std::vector<std::uint32_t> touched_;
    // The reply serial each pool entry was last reset in.
    std::vector<std::uint64_t> readMark_;
    IdIndex index_;
    std::uint64_t epoch_;
    std::uint64_t readSerial_ = 0;
    // The record the last stored value went to: values of a record come together.
    std::int32_t lastRid_ = 0;
    std::uint32_t lastIndex_ = IdIndex::kNone;
};

}  // namespace kelvra
