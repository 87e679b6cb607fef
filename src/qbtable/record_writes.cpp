// The writes of a QbTable: new records, values, saving (file attachments written at once) and
// deleting, into the DBID's pending writes and cached records.
#include <new>

#include "convert/value_text.h"
#include "qbapi/base64.h"
#include "qbapi/qb_session.h"
#include "qbtable/field_mapping.h"
#include "qbtable/qb_table.h"
#include "qbtable/table_scan.h"
#include "qbtable/written_text.h"

namespace kelvra {

class RecordWriter {
  public:
    explicit RecordWriter(QbTable& table)
        : t_(table),
          s_(scanOf(table)),
          state_(table.state_),
          session_(table.session_),
          cache_(table.shared().records),
          w_(table.shared().writes) {}

    bool config() const { return t_.dbid() == kConfigTableName; }
    bool identity() const { return t_.dbid() == kIdentityTableName; }

    MsgNo newRecord() {
        t_.filePending_ = false;
        if (config() || identity()) return kMsgNone;
        std::int32_t id = w_.nextTemporaryId--;
        CachedRecord& record = cache_.obtain(id);
        record.pending = true;
        record.changed.assign(record.values.size(), false);
        record.filled = static_cast<std::uint32_t>(cache_.slotFields().size());
        record.values[static_cast<std::size_t>(cache_.slotOf(kRecordIdFid))] = std::to_string(id);
        w_.touched.insert(id);
        ++cache_.generation;
        s_.ids.push_back(id);
        s_.positionsValid = false;
        standOn(s_.ids.size() - 1);
        return kMsgNone;
    }

    MsgNo putColumnValue(std::uint16_t column, const Value& value) {
        if (config()) {
            // The name first, then its value (the order of the INSERT's columns matters).
            if (column == 0) t_.configParameter_ = valueToText(value);
            if (column == 1)
                session_.options.insert_or_assign(t_.configParameter_, valueToText(value));
            return kMsgNone;
        }
        if (column >= t_.columnCount()) return state_.fail(kMsgInternalError);
        const QbField& field = t_.field(column);
        if (field.updatable == 0 || identity()) {
            return state_.failWithText(session_,
                                       "Cannot write to read-only field: '" + field.name + "'");
        }
        if (!onRecord()) return state_.fail(kMsgTableError);
        cache_.requestField(field.fid);
        auto slot = static_cast<std::size_t>(cache_.slotOf(field.fid));
        CachedRecord& record = cache_.obtain(s_.currentId);
        if (!record.pending) {
            record.pending = true;
            record.changed.assign(record.values.size(), false);
            w_.touched.insert(record.id);
        }
        record.changed[slot] = true;
        record.values[slot] = cachedText(field, value);
        if (field.kind == FieldKind::File && !record.values[slot].empty()) t_.filePending_ = true;
        return kMsgNone;
    }

    MsgNo saveRecord() {
        if (config() || identity() || !onRecord()) return kMsgNone;
        CachedRecord* record = cache_.find(s_.currentId);
        if (record == nullptr || !record->pending) return kMsgNone;
        ++cache_.generation;
        w_.touched.erase(record->id);
        if (!t_.filePending_) {
            if (!record->queued) {
                record->queued = true;
                w_.writeSet.push_back(record->id);
            }
            return kMsgNone;
        }
        t_.filePending_ = false;
        return writeAtOnce(*record);
    }

    MsgNo deleteRecord() {
        t_.filePending_ = false;
        if (config() || identity() || !onRecord()) return kMsgNone;
        std::int32_t id = s_.currentId;
        if (id > 0) w_.deleted.insert(id);
        w_.touched.erase(id);
        // Its changes go with it; a new record is simply forgotten.
        cache_.drop(id);
        ++cache_.generation;
        return kMsgNone;
    }

  private:
    static TableScan& scanOf(QbTable& table) {
        if (!table.scan_) table.scan_ = std::make_unique<TableScan>();
        return *table.scan_;
    }

    bool onRecord() const {
        return s_.position >= 0 && s_.position < static_cast<std::ptrdiff_t>(s_.ids.size()) &&
               s_.currentId != 0;
    }

    void standOn(std::size_t position) {
        s_.position = static_cast<std::ptrdiff_t>(position);
        s_.currentId = s_.ids[position];
        s_.currentIndex = IdIndex::kNone;
        s_.currentRead = false;
    }

    // A record with a new file attachment: added or changed now with every changed value. It
    // then leaves the cache (a read takes it as QuickBase keeps it, the file as its URL).
    MsgNo writeAtOnce(CachedRecord& record) {
        bool content = session_.options.contains("FILE");
        FieldValues values;
        const std::vector<std::int32_t>& slots = cache_.slotFields();
        for (std::size_t slot = 0; slot < record.changed.size(); ++slot) {
            if (!record.changed[slot] || slots[slot] == kRecordIdFid) continue;
            int position = t_.positionOfFid(slots[slot]);
            if (position < 0) continue;
            const QbField& field = t_.field(position);
            std::string text = sentText(field, record.values[slot]);
            // With FILE a file field's value is its content, which travels in Base64.
            if (content && field.kind == FieldKind::File) text = encodeBase64(text);
            values[slots[slot]] = std::move(text);
        }
        std::int32_t id = record.id;
        if (id < 0) {
            std::string rid = session_.addRecord(t_.dbid(), values, content);
            if (!session_.ok()) return state_.failFromSession(session_);
            std::int32_t newId = leadingInteger32(rid);
            s_.ids[static_cast<std::size_t>(s_.position)] = newId;
            s_.positionsValid = false;
            standOn(static_cast<std::size_t>(s_.position));
        } else {
            session_.editRecord(t_.dbid(), std::to_string(id), values, content);
            if (!session_.ok()) return state_.failFromSession(session_);
        }
        cache_.drop(id);
        return kMsgNone;
    }

    QbTable& t_;
    TableScan& s_;
    TableLayerState& state_;
    QbSession& session_;
    RecordCache& cache_;
    PendingWrites& w_;
};

MsgNo QbTable::newRecord() {
    return freshTableCall(state_, [&] { return RecordWriter(*this).newRecord(); });
}

MsgNo QbTable::putColumnValue(std::uint16_t column, const Value& value) {
    return freshTableCall(state_,
                          [&] { return RecordWriter(*this).putColumnValue(column, value); });
}

MsgNo QbTable::saveRecord() {
    return freshTableCall(state_, [&] { return RecordWriter(*this).saveRecord(); });
}

MsgNo QbTable::deleteRecord() {
    return freshTableCall(state_, [&] { return RecordWriter(*this).deleteRecord(); });
}

}  // namespace kelvra
