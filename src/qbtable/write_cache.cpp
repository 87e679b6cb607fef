// Flushing the write cache: CSV imports of the saved records, one per field list (so that no
// record's unread fields are sent empty and cleared), split at kMaxImportBytes; purges by id;
// saved imports; discarding.
#include "qbtable/write_cache.h"

#include <algorithm>
#include <map>
#include <new>
#include <unordered_set>

#include "qbapi/qb_session.h"
#include "qbapi/xml_document.h"
#include "qbtable/csv_text.h"
#include "qbtable/field_mapping.h"
#include "qbtable/record_reads.h"
#include "qbtable/written_text.h"

namespace kelvra {
namespace {

constexpr std::string_view kSaveOption = "SAVE_WRITES_UNTIL_CONNECTION_CLOSE";
constexpr std::string_view kFlushOption = "FLUSH_THIS_DBID_CACHE_TO_QUICKBASE";
constexpr std::size_t kIdsPerPurge = 100;
constexpr std::size_t kCsvReserve = 1000000;

// The failures of one flush: the first one's code, every table's text.
class Failures {
  public:
    explicit Failures(TableLayerState& state) : state_(state) {}

    void add(const QbSession& session, const std::string& text) {
        if (state_.error.number == kMsgNone) {
            state_.failWithText(session, text);
        } else {
            state_.error.detail += "; " + text;
        }
    }
    MsgNo result() const { return state_.error.number; }

  private:
    TableLayerState& state_;
};

std::string countText(std::size_t sent, std::size_t total, const char* what) {
    return std::to_string(sent) + " of " + std::to_string(total) + " " + what + " were sent";
}

// Sends or saves the CSV imports and purges of one table.
class TableFlush {
  public:
    TableFlush(QbSession& session, TableLayerState& state, const std::string& dbid, DbidState& d,
               Failures& failures)
        : session_(session),
          state_(state),
          dbid_(dbid),
          d_(d),
          cache_(d.records),
          w_(d.writes),
          failures_(failures) {}

    void run() {
        if (!d_.schema) return;
        abandonUnsaved();
        if (sendWriteSet()) purge();
        ++cache_.generation;
    }

  private:
    bool saving() const {
        auto option = session_.options.find(kSaveOption);
        return option != session_.options.end() && option->second == "TRUE";
    }

    void fail(const std::string& what) {
        failures_.add(session_, session_.errdetail() + " (table " + dbid_ + ": " + what + ")");
    }

    // Records changed but never saved (a statement failed half way) are not sent.
    void abandonUnsaved() {
        for (std::int32_t id : w_.touched) {
            const CachedRecord* record = cache_.find(id);
            if (record != nullptr && record->pending && !record->queued) cache_.drop(id);
        }
        w_.touched.clear();
    }

    std::int32_t keyFid() const {
        return d_.schema->keyFid != 0 ? d_.schema->keyFid : kRecordIdFid;
    }

    // The saved records by the fields each changed (with the key field), in the order saved.
    std::map<std::vector<std::int32_t>, std::vector<std::int32_t>> groups() {
        std::map<std::vector<std::int32_t>, std::vector<std::int32_t>> byFields;
        std::unordered_set<std::int32_t> seen;
        const std::vector<std::int32_t>& slots = cache_.slotFields();
        for (std::int32_t id : w_.writeSet) {
            const CachedRecord* record = cache_.find(id);
            if (record == nullptr || !record->queued || !seen.insert(id).second) continue;
            std::vector<std::int32_t> fids = {keyFid()};
            for (std::size_t slot = 0; slot < record->changed.size(); ++slot) {
                if (record->changed[slot]) fids.push_back(slots[slot]);
            }
            std::sort(fids.begin(), fids.end());
            fids.erase(std::unique(fids.begin(), fids.end()), fids.end());
            byFields[fids].push_back(id);
        }
        return byFields;
    }

    // A key other than the record id must be known for every record QuickBase has.
    bool readKeys() {
        if (keyFid() == kRecordIdFid) return true;
        std::vector<std::int32_t> unread;
        for (std::int32_t id : w_.writeSet) {
            const CachedRecord* record = cache_.find(id);
            if (id > 0 && record != nullptr && record->filled == 0) unread.push_back(id);
        }
        if (readRecordsById(session_, state_, dbid_, cache_, unread) == kMsgNone) return true;
        state_.clearError();
        fail("the key values could not be read: nothing was sent");
        return false;
    }

    void appendLine(std::string& csv, const CachedRecord& record,
                    const std::vector<std::int32_t>& fids) {
        bool first = true;
        for (std::int32_t fid : fids) {
            int position = d_.schema->positionOfFid(fid);
            const QbField* field = position >= 0 ? &d_.schema->fields[position] : nullptr;
            int slot = cache_.slotOf(fid);
            std::string_view cached =
                slot >= 0 && static_cast<std::size_t>(slot) < record.values.size()
                    ? std::string_view(record.values[slot])
                    : std::string_view();
            std::string value;
            if (fid == keyFid() && fid == kRecordIdFid) {
                // A new record has no id: QuickBase adds it; another is changed.
                if (record.id > 0) value = std::to_string(record.id);
            } else {
                value = field ? sentText(*field, cached) : std::string(cached);
            }
            appendCsvValue(csv, value, first, field && field->kind == FieldKind::UserId);
            first = false;
        }
        csv += kCsvLineEnd;
    }

    // The newest record: the last new record of an import, by the ids its reply lists.
    void noteNewest(const std::vector<std::int32_t>& ids) {
        auto last = std::find_if(ids.rbegin(), ids.rend(), [](std::int32_t id) { return id < 0; });
        if (last == ids.rend() || session_.replyDocument() == nullptr) return;
        std::vector<XmlNode> rids = session_.replyDocument()->nodes("/*/rids/rid");
        std::size_t index = static_cast<std::size_t>(ids.rend() - last) - 1;
        const XmlNode* rid = rids.size() == ids.size()                  ? &rids[index]
                             : index + 1 == ids.size() && !rids.empty() ? &rids.back()
                                                                        : nullptr;
        if (rid == nullptr) return;
        std::int32_t newest = leadingInteger32(rid->text());
        if (newest <= 0) return;
        state_.newestDbid = dbid_;
        state_.newestRecordId = newest;
    }

    void saveImport(const std::string& clist, std::string csv, std::size_t records) {
        auto saved = std::find_if(w_.saved.begin(), w_.saved.end(),
                                  [&](const SavedImport& s) { return s.clist == clist; });
        if (saved == w_.saved.end()) {
            saved = w_.saved.insert(w_.saved.end(), SavedImport{clist, {}, {}});
        }
        if (saved->parts.empty() || saved->parts.back().size() + csv.size() > kMaxImportBytes) {
            saved->parts.emplace_back();
            saved->partRecords.push_back(0);
        }
        saved->parts.back() += csv;
        saved->partRecords.back() += records;
    }

    // One import (or saved part). The records it carried leave the cache: QuickBase now has
    // them, and a later read takes them as QuickBase keeps them.
    bool emit(const std::string& clist, std::string& csv, std::vector<std::int32_t>& ids) {
        if (ids.empty()) return true;
        if (saving()) {
            saveImport(clist, std::move(csv), ids.size());
        } else {
            session_.importFromCsv(dbid_, csv, clist);
            if (!session_.ok()) return false;
            noteNewest(ids);
        }
        for (std::int32_t id : ids) cache_.drop(id);
        sent_ += ids.size();
        csv.clear();
        ids.clear();
        return true;
    }

    bool sendWriteSet() {
        if (w_.writeSet.empty()) return true;
        if (!readKeys()) return false;
        auto byFields = groups();
        std::size_t total = 0;
        for (const auto& entry : byFields) total += entry.second.size();
        std::string csv, line;
        csv.reserve(std::min(kCsvReserve, total * 64));
        std::vector<std::int32_t> partIds;
        bool failed = false;
        for (const auto& [fids, ids] : byFields) {
            std::string clist;
            for (std::int32_t fid : fids) {
                if (!clist.empty()) clist += '.';
                clist += std::to_string(fid);
            }
            for (std::int32_t id : ids) {
                line.clear();
                appendLine(line, *cache_.find(id), fids);
                if (!csv.empty() && csv.size() + line.size() > kMaxImportBytes &&
                    !emit(clist, csv, partIds)) {
                    failed = true;
                    break;
                }
                csv += line;
                partIds.push_back(id);
            }
            if (failed || !emit(clist, csv, partIds)) {
                fail(countText(sent_, total, "changed records") + "; the other " +
                     std::to_string(total - sent_) + " were not sent");
                keepUnsent();
                return false;
            }
        }
        w_.writeSet.clear();
        return true;
    }

    // After a failure: what was sent left the cache; the rest stays in the write set.
    void keepUnsent() {
        std::vector<std::int32_t> kept;
        for (std::int32_t id : w_.writeSet) {
            const CachedRecord* record = cache_.find(id);
            if (record != nullptr && record->queued) kept.push_back(id);
        }
        w_.writeSet.swap(kept);
    }

    // Purges by id, at most 100 per request (a query would remove what QuickBase matched,
    // which is more than the driver deleted).
    bool purge() {
        std::size_t total = w_.deleted.size();
        std::vector<std::int32_t> ids(w_.deleted.begin(), w_.deleted.end());
        for (std::size_t i = 0; i < ids.size(); i += kIdsPerPurge) {
            std::string query = "{'3'.EX.'";
            std::size_t end = std::min(ids.size(), i + kIdsPerPurge);
            for (std::size_t k = i; k < end; ++k) {
                if (k > i) query += " OR ";
                query += std::to_string(ids[k]);
            }
            query += "'}";
            session_.purgeRecords(dbid_, query);
            if (!session_.ok()) {
                fail(countText(i, total, "deletions") + "; the other " + std::to_string(total - i) +
                     " were not sent");
                return false;
            }
            for (std::size_t k = i; k < end; ++k) w_.deleted.erase(ids[k]);
        }
        return true;
    }

    QbSession& session_;
    TableLayerState& state_;
    const std::string& dbid_;
    DbidState& d_;
    RecordCache& cache_;
    PendingWrites& w_;
    Failures& failures_;
    std::size_t sent_ = 0;
};

// Sends the saved imports of one table, part by part; the parts sent are forgotten.
bool sendSaved(QbSession& session, const std::string& dbid, PendingWrites& w, Failures& failures) {
    std::size_t total = 0, sent = 0;
    for (const SavedImport& s : w.saved) {
        for (std::size_t n : s.partRecords) total += n;
    }
    while (!w.saved.empty()) {
        SavedImport& s = w.saved.front();
        while (!s.parts.empty()) {
            session.importFromCsv(dbid, s.parts.front(), s.clist);
            if (!session.ok()) {
                failures.add(session, session.errdetail() + " (table " + dbid + ": " +
                                          countText(sent, total, "saved records") + "; the other " +
                                          std::to_string(total - sent) + " are kept)");
                return false;
            }
            sent += s.partRecords.front();
            s.parts.erase(s.parts.begin());
            s.partRecords.erase(s.partRecords.begin());
        }
        w.saved.erase(w.saved.begin());
    }
    return true;
}

// The option FLUSH_THIS_DBID_CACHE_TO_QUICKBASE: its table's saved imports are sent now.
void optionDirectedFlush(QbSession& session, TableLayerState& state, Failures& failures) {
    auto option = session.options.find(kFlushOption);
    if (option == session.options.end()) return;
    std::string value = option->second;
    session.options.erase(option);  // it acts once
    std::string dbid =
        value.substr(value.rfind(' ') == std::string::npos ? 0 : value.rfind(' ') + 1);
    auto d = state.tables.find(dbid);
    if (d == state.tables.end() || d->second.writes.saved.empty()) {
        session.setError("1001", "Could not flush " + dbid + ".",
                         "Could not find the cache for '" + dbid + "' to flush.");
        failures.add(session, session.errdetail());
        return;
    }
    sendSaved(session, dbid, d->second.writes, failures);
}

}  // namespace

bool hasPendingWrites(const TableLayerState& state) {
    return std::any_of(state.tables.begin(), state.tables.end(),
                       [](const auto& entry) { return entry.second.writes.any(); });
}

MsgNo flushWrites(QbSession& session, TableLayerState& state) {
    return freshTableCall(state, [&] {
        Failures failures(state);
        for (auto& [dbid, d] : state.tables) {
            if (d.writes.any()) TableFlush(session, state, dbid, d, failures).run();
        }
        optionDirectedFlush(session, state, failures);
        return failures.result();
    });
}

MsgNo flushDirected(QbSession& session, TableLayerState& state) {
    return freshTableCall(state, [&] {
        Failures failures(state);
        optionDirectedFlush(session, state, failures);
        return failures.result();
    });
}

MsgNo flushTableWrites(QbSession& session, TableLayerState& state, std::string_view dbid) {
    return freshTableCall(state, [&] {
        Failures failures(state);
        auto d = state.tables.find(dbid);
        if (d != state.tables.end() && d->second.writes.any()) {
            TableFlush(session, state, d->first, d->second, failures).run();
        }
        return failures.result();
    });
}

void discardWrites(TableLayerState& state) {
    for (auto& [dbid, d] : state.tables) {
        PendingWrites& w = d.writes;
        if (!w.any()) continue;
        for (std::int32_t id : w.writeSet) d.records.drop(id);
        for (std::int32_t id : w.touched) d.records.drop(id);
        w.writeSet.clear();
        w.touched.clear();
        w.deleted.clear();
        ++d.records.generation;
    }
}

MsgNo sendSavedImports(QbSession& session, TableLayerState& state) {
    return freshTableCall(state, [&] {
        Failures failures(state);
        for (auto& [dbid, d] : state.tables) {
            if (!d.writes.saved.empty()) sendSaved(session, dbid, d.writes, failures);
        }
        return failures.result();
    });
}

}  // namespace kelvra
