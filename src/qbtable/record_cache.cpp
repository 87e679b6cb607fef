#include "qbtable/record_cache.h"

#include <algorithm>
#include <atomic>

namespace kelvra {
namespace {

// Field ids below this are slotted through a table; larger ones (rare) by a search.
constexpr std::int32_t kDirectFids = 4096;

}  // namespace

std::size_t IdIndex::slotOf(std::int32_t id) const {
    auto h = static_cast<std::uint64_t>(static_cast<std::uint32_t>(id)) * 0x9E3779B97F4A7C15ull;
    return static_cast<std::size_t>(h >> 32) & (entries_.size() - 1);
}

std::uint32_t IdIndex::find(std::int32_t id) const {
    if (entries_.empty()) return kNone;
    for (std::size_t i = slotOf(id);; i = (i + 1) & (entries_.size() - 1)) {
        const Entry& e = entries_[i];
        if (e.index == kNone) return kNone;
        if (e.id == id) return e.index;
    }
}

void IdIndex::grow() {
    std::vector<Entry> old = std::move(entries_);
    entries_.assign(old.empty() ? 64 : old.size() * 2, Entry{0, kNone});
    size_ = 0;
    for (const Entry& e : old) {
        if (e.index != kNone) insert(e.id, e.index);
    }
}

void IdIndex::insert(std::int32_t id, std::uint32_t index) {
    // At most half full, so that probes stay short.
    if ((size_ + 1) * 2 > entries_.size()) grow();
    for (std::size_t i = slotOf(id);; i = (i + 1) & (entries_.size() - 1)) {
        Entry& e = entries_[i];
        if (e.index == kNone) {
            e = Entry{id, index};
            ++size_;
            return;
        }
        if (e.id == id) {
            e.index = index;
            return;
        }
    }
}

void IdIndex::erase(std::int32_t id) {
    if (entries_.empty()) return;
    const std::size_t mask = entries_.size() - 1;
    std::size_t i = slotOf(id);
    while (entries_[i].index != kNone && entries_[i].id != id) i = (i + 1) & mask;
    if (entries_[i].index == kNone) return;
    // Backward shift: entries after the hole that may move closer to their home slot do.
    for (std::size_t j = (i + 1) & mask; entries_[j].index != kNone; j = (j + 1) & mask) {
        std::size_t home = slotOf(entries_[j].id);
        bool movable = (j > i) ? (home <= i || home > j) : (home <= i && home > j);
        if (movable) {
            entries_[i] = entries_[j];
            i = j;
        }
    }
    entries_[i].index = kNone;
    --size_;
}

void IdIndex::clear() {
    entries_.clear();
    size_ = 0;
}

RecordCache::RecordCache() {
    static std::atomic<std::uint64_t> caches{0};
    epoch_ = ++caches << 32;
    requestField(kRecordIdFid);
}

int RecordCache::slotOf(std::int32_t fid) const {
    if (fid >= 0 && fid < kDirectFids) {
        return static_cast<std::size_t>(fid) < slotByFid_.size() ? slotByFid_[fid] : -1;
    }
    auto at = std::find(slotFields_.begin(), slotFields_.end(), fid);
    return at == slotFields_.end() ? -1 : static_cast<int>(at - slotFields_.begin());
}

bool RecordCache::requestField(std::int32_t fid) {
    if (slotOf(fid) >= 0) return false;
    int slot = static_cast<int>(slotFields_.size());
    slotFields_.push_back(fid);
    if (fid >= 0 && fid < kDirectFids) {
        if (static_cast<std::size_t>(fid) >= slotByFid_.size()) slotByFid_.resize(fid + 1, -1);
        slotByFid_[fid] = slot;
    }
    for (CachedRecord& record : pool_) {
        record.values.resize(slotFields_.size());
        if (record.pending) record.changed.resize(slotFields_.size());
    }
    rebuildClist();
    return true;
}

void RecordCache::rebuildClist() {
    std::vector<std::int32_t> others;
    for (std::int32_t fid : slotFields_) {
        if (fid != kRecordIdFid) others.push_back(fid);
    }
    std::sort(others.begin(), others.end());
    clist_.assign(1, '3');  // (a string literal here trips a false GCC 12 warning)
    for (std::int32_t fid : others) {
        clist_ += '.';
        clist_ += std::to_string(fid);
    }
}

CachedRecord* RecordCache::find(std::int32_t id) {
    std::uint32_t index = index_.find(id);
    return index == IdIndex::kNone ? nullptr : &pool_[index];
}

const CachedRecord* RecordCache::find(std::int32_t id) const {
    std::uint32_t index = index_.find(id);
    return index == IdIndex::kNone ? nullptr : &pool_[index];
}

CachedRecord& RecordCache::obtain(std::int32_t id) {
    std::uint32_t index = index_.find(id);
    if (index != IdIndex::kNone) return pool_[index];
    if (!free_.empty()) {
        index = free_.back();
        free_.pop_back();
    } else {
        index = static_cast<std::uint32_t>(pool_.size());
        pool_.emplace_back();
        readMark_.push_back(0);
    }
    CachedRecord& record = pool_[index];
    record.id = id;
    record.filled = 0;
    record.pending = false;
    record.queued = false;
    record.changed.clear();
    record.values.resize(slotFields_.size());
    for (std::string& value : record.values) value.clear();  // keeps the buffers
    readMark_[index] = 0;
    index_.insert(id, index);
    return record;
}

void RecordCache::drop(std::int32_t id) {
    std::uint32_t index = index_.find(id);
    if (index == IdIndex::kNone) return;
    index_.erase(id);
    free_.push_back(index);
    ++epoch_;
    lastIndex_ = IdIndex::kNone;
}

void RecordCache::abandonRead() {
    for (std::uint32_t index : touched_) pool_[index].filled = 0;
    touched_.clear();
}

void RecordCache::storeRead(std::int32_t rid, std::int32_t fid, std::string& text) {
    if (rid <= 0) return;  // no record id yet: a reply without field 3 first
    if (rid != lastRid_ || lastIndex_ == IdIndex::kNone) {
        obtain(rid);
        lastIndex_ = index_.find(rid);
        lastRid_ = rid;
        if (readMark_[lastIndex_] != readSerial_) {
            // Met for the first time in this reply: it brings every requested field.
            readMark_[lastIndex_] = readSerial_;
            touched_.push_back(lastIndex_);
            CachedRecord& record = pool_[lastIndex_];
            for (std::size_t slot = 0; slot < record.values.size(); ++slot) {
                if (!record.pending || !record.changed[slot]) record.values[slot].clear();
            }
            record.filled = static_cast<std::uint32_t>(slotFields_.size());
        }
    }
    int slot = slotOf(fid);
    if (slot < 0) return;
    CachedRecord& record = pool_[lastIndex_];
    if (record.pending && record.changed[slot]) return;
    record.values[slot].swap(text);
}

}  // namespace kelvra
