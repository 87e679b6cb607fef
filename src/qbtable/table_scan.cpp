// Scans of a QbTable: restrictions and order, the record-id list of a scan, the paged reading of
// records into the DBID's cache, the keyed mode, and column reads.
#include "qbtable/table_scan.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <optional>
#include <set>
#include <unordered_set>

#include "convert/number_text.h"
#include "qbapi/qb_session.h"
#include "qbtable/qb_table.h"
#include "qbtable/record_reads.h"
#include "resources/ascii.h"

namespace kelvra {
namespace {

constexpr std::size_t kSmallestPage = 64;
constexpr std::string_view kTooLarge = "75";  // QuickBase: the reply would be too large

// What a keyed scan compares: the value as the driver compares it (text without regard to ASCII
// case and trailing blanks; numbers as doubles; dates and times by their parts), in bytes.
std::optional<std::string> matchKey(const Value& v) {
    if (v.isNull) return std::nullopt;
    std::string key;
    auto put = [&key](char tag, const auto& part) {
        key.push_back(tag);
        key.append(reinterpret_cast<const char*>(&part), sizeof part);
    };
    switch (v.type) {
        case ValueType::Char: {
            std::string_view t = v.text;
            while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
            key = "C" + toLowerAscii(t);
            return key;
        }
        case ValueType::Integer:
        case ValueType::Double:
        case ValueType::Numeric: {
            double d = v.number;
            if (v.type == ValueType::Numeric && parseNumber(v.text, d) != kMsgNone)
                return std::nullopt;
            if (d == 0.0) d = 0.0;  // one key for -0 and 0
            put('N', d);
            return key;
        }
        case ValueType::Date:
            put('D', v.date);
            return key;
        case ValueType::Time:
            put('T', v.time);
            return key;
        case ValueType::Timestamp:
            put('S', v.timestamp);
            return key;
        default:
            return std::nullopt;
    }
}

// The type a column's values are read in for a keyed scan; None when it has no key.
ValueType keyType(const QbField& f) {
    switch (f.kind) {
        case FieldKind::Text:
        case FieldKind::Email:
        case FieldKind::Phone:
        case FieldKind::Url:
        case FieldKind::UserId:
            return ValueType::Char;
        case FieldKind::RecordId:
        case FieldKind::Float:
        case FieldKind::Duration:
        case FieldKind::Boolean:
            return ValueType::Double;
        case FieldKind::Date:
            return ValueType::Date;
        case FieldKind::TimeStamp:
            return f.sqlType == SQL_TIME ? ValueType::Time : ValueType::Timestamp;
        default:
            return ValueType::None;
    }
}

bool sortable(const QbField& f) {
    return f.kind != FieldKind::File && f.kind != FieldKind::VCardButton &&
           f.kind != FieldKind::ICalendarButton;
}

}  // namespace

// The scan operations of a QbTable, over its TableScan and its DBID's record cache.
class ScanRunner {
  public:
    explicit ScanRunner(QbTable& table)
        : t_(table), s_(*table.scan_), state_(table.state_), session_(table.session_) {}

    MsgNo startScan(bool forwardOnly) {
        s_.forwardOnly = forwardOnly;
        s_.position = -1;
        s_.currentId = 0;
        s_.currentIndex = IdIndex::kNone;
        s_.currentRead = false;
        s_.droppedUpTo = 0;
        if (t_.dbid() == kIdentityTableName) return identityScan();
        if (t_.dbid() == kConfigTableName) {
            // Its name is no DBID: there is nothing to ask QuickBase.
            state_.error = TableError{kMsgSession, "16", "Invalid DBID"};
            return kMsgSession;
        }
        RecordCache& cache = records();
        std::string query = queryText(s_.criteria, s_.join);
        bool sameOrder = s_.listed && s_.slist == s_.listSlist && s_.letters == s_.listLetters;
        if (sameOrder && query == s_.query && s_.join == s_.listJoin &&
            s_.listGeneration == cache.generation) {
            return kMsgNone;  // the same scan again: the list and the records stand
        }
        std::optional<std::size_t> changed = keyedChange(sameOrder);
        if (!changed) changed = varyingKey();
        if (changed) return keyedScan(*changed, query);
        s_.keyed = false;
        s_.listed = false;
        if (MsgNo rc = listIds(query, s_.ids)) return rc;
        s_.fromQuickBase = s_.ids.size();
        addPending();
        remember(std::move(query));
        return kMsgNone;
    }

    MsgNo nextRecord() {
        const std::set<std::int32_t>& deleted = t_.shared().writes.deleted;
        do {
            if (s_.position + 1 >= static_cast<std::ptrdiff_t>(s_.ids.size())) {
                s_.position = static_cast<std::ptrdiff_t>(s_.ids.size());
                s_.currentId = 0;
                return kMsgNoData;
            }
            ++s_.position;
        } while (!deleted.empty() && deleted.count(s_.ids[static_cast<std::size_t>(s_.position)]));
        standOn(s_.ids[static_cast<std::size_t>(s_.position)]);
        return kMsgNone;
    }

    MsgNo positionOnRecord(std::int32_t recordId) {
        if (!s_.positionsValid) {
            s_.positions.clear();
            for (std::size_t i = s_.ids.size(); i-- > 0;) {
                s_.positions.insert(s_.ids[i], static_cast<std::uint32_t>(i));
            }
            s_.positionsValid = true;
        }
        std::uint32_t at = s_.positions.find(recordId);
        if (t_.shared().writes.deleted.count(recordId)) return kMsgNoData;
        if (at == IdIndex::kNone) {
            // A record of another scan of this table (rows a sort keeps by record id): it
            // joins this scan's list, which no later scan may then take as its own. A new
            // record's temporary id is known only while the write cache holds it.
            if (recordId == 0) return kMsgNoData;
            if (recordId < 0 && records().find(recordId) == nullptr) return kMsgNoData;
            at = static_cast<std::uint32_t>(s_.ids.size());
            s_.ids.push_back(recordId);
            s_.positions.insert(recordId, at);
            s_.listed = false;
        }
        s_.position = static_cast<std::ptrdiff_t>(at);
        standOn(recordId);
        // A record QuickBase no longer has (purged since the rows were found) is a deleted row.
        if (recordId > 0 && current() == nullptr) {
            if (MsgNo rc = readAround(at)) return rc;
            s_.currentRead = true;
            s_.readEpoch = records().epoch();
            if (current() == nullptr) return kMsgNoData;
        }
        return kMsgNone;
    }

    MsgNo readColumn(std::uint16_t column, ValueType type, Value& out) {
        if (column >= t_.columnCount()) return state_.fail(kMsgInternalError);
        if (s_.position < 0 || s_.position >= static_cast<std::ptrdiff_t>(s_.ids.size())) {
            return state_.fail(kMsgTableError);  // not on a record
        }
        const QbField& field = t_.field(column);
        int slot = slotOf(column);
        const CachedRecord* record = current();
        bool tried = s_.currentRead && s_.readEpoch == records().epoch();
        if ((record == nullptr || needsRead(*record)) && !tried) {
            if (MsgNo rc = readAround(static_cast<std::size_t>(s_.position))) return rc;
            s_.currentRead = true;
            s_.readEpoch = records().epoch();
            record = current();
        }
        if (record == nullptr || static_cast<std::size_t>(slot) >= record->values.size()) {
            setNull(out, type);  // QuickBase no longer has the record
            return kMsgNone;
        }
        // A record not yet sent has no record id.
        std::string_view text =
            record->id < 0 && field.fid == kRecordIdFid ? std::string_view() : record->values[slot];
        if (type == ValueType::Binary && field.kind == FieldKind::File && !text.empty()) {
            return download(std::string(text), out);
        }
        ReadContext context{t_.textNull(), &state_.userNames};
        if (MsgNo rc = readFieldText(field, text, type, context, out)) return state_.fail(rc);
        return kMsgNone;
    }

  private:
    RecordCache& records() { return t_.shared().records; }

    void standOn(std::int32_t id) {
        s_.currentId = id;
        s_.currentIndex = IdIndex::kNone;
        s_.currentRead = false;
    }

    const CachedRecord* current() {
        RecordCache& cache = records();
        if (s_.currentIndex == IdIndex::kNone || s_.currentEpoch != cache.epoch()) {
            s_.currentIndex = cache.indexOf(s_.currentId);
            s_.currentEpoch = cache.epoch();
        }
        return s_.currentIndex == IdIndex::kNone ? nullptr : &cache.at(s_.currentIndex);
    }

    // A record QuickBase has that lacks a requested field. Records not yet sent have only
    // what was written to them.
    bool needsRead(const CachedRecord& record) {
        return record.id > 0 && !records().complete(record);
    }

    int slotOf(std::uint16_t column) {
        if (s_.columnSlots.size() != t_.columnCount()) s_.columnSlots.assign(t_.columnCount(), -1);
        int& slot = s_.columnSlots[column];
        RecordCache& cache = records();
        std::int32_t fid = t_.field(column).fid;
        // (A slot known before may belong to the cache of an earlier connection.)
        if (slot < 0 || static_cast<std::size_t>(slot) >= cache.slotFields().size() ||
            cache.slotFields()[static_cast<std::size_t>(slot)] != fid) {
            cache.requestField(fid);  // a column nobody asked for yet
            slot = cache.slotOf(fid);
        }
        return slot;
    }

    // The records changed here that QuickBase does not list (new ones, or changed so that
    // they may match now) follow QuickBase's; the executor's WHERE filters them all.
    void addPending() {
        const PendingWrites& w = t_.shared().writes;
        if (w.writeSet.empty() && w.touched.empty()) return;
        RecordCache& cache = records();
        std::unordered_set<std::int32_t> listed(s_.ids.begin(), s_.ids.end());
        auto add = [&](std::int32_t id) {
            const CachedRecord* record = cache.find(id);
            if (record != nullptr && record->pending && listed.insert(id).second)
                s_.ids.push_back(id);
        };
        for (std::int32_t id : w.writeSet) add(id);
        for (std::int32_t id : w.touched) add(id);
    }

    void remember(std::string query) {
        s_.listed = true;
        s_.query = std::move(query);
        s_.listCriteria = s_.criteria;
        s_.listJoin = s_.join;
        s_.listSlist = s_.slist;
        s_.listLetters = s_.letters;
        s_.listGeneration = records().generation;
        s_.positionsValid = false;
    }

    std::string sortOptions() const { return "sortorder-" + s_.letters; }

    // Appends the ids of the last id request; the first line of the CSV reply is its header,
    // whatever its digits, and ids are positive. Returns how many lines followed the header.
    std::size_t takeIds(std::vector<std::int32_t>& ids) {
        const std::vector<std::int32_t>& lines = session_.recordIdList;
        std::size_t count = 0;
        for (std::size_t i = 1; i < lines.size(); ++i) {
            if (lines[i] > 0) {
                ids.push_back(lines[i]);
                ++count;
            }
        }
        return count;
    }

    // The record ids of a query, in the scan's order. When QuickBase finds the list too large,
    // it is asked for in parts, halved while they still are; pages are then no larger.
    MsgNo listIds(const std::string& query, std::vector<std::int32_t>& ids) {
        ids.clear();
        session_.recordIds(t_.dbid(), query, s_.slist, sortOptions());
        if (session_.ok()) {
            takeIds(ids);
            return kMsgNone;
        }
        std::size_t part = s_.pageSize;
        for (std::size_t start = 0; session_.errcode() == kTooLarge || session_.ok();) {
            if (!session_.ok()) {
                if (part / 2 < kSmallestPage) break;
                part /= 2;
            }
            session_.recordIds(t_.dbid(), query, s_.slist,
                               "num-" + std::to_string(part) + ".skp-" + std::to_string(start) +
                                   "." + sortOptions());
            if (!session_.ok()) continue;
            s_.pageSize = std::min(s_.pageSize, part);
            if (takeIds(ids) < part) return kMsgNone;
            start += part;
        }
        ids.clear();
        return state_.failFromSession(session_);
    }

    // The page of the scan's query from `start`, halving the page while QuickBase finds the
    // reply too large.
    MsgNo readPage(const std::string& queryText, std::size_t start) {
        while (true) {
            std::string options = "num-" + std::to_string(s_.pageSize) + ".skp-" +
                                  std::to_string(start) + "." + sortOptions();
            queryIntoCache(session_, state_, t_.dbid(), records(), queryText, s_.slist, options);
            if (session_.ok()) return kMsgNone;
            if (session_.errcode() != kTooLarge || s_.pageSize / 2 < kSmallestPage)
                return state_.failFromSession(session_);
            s_.pageSize /= 2;
        }
    }

    // Forward only: the records the scan has passed leave the cache (unless changed here).
    void dropPassed(std::size_t position) {
        RecordCache& cache = records();
        for (std::size_t p = s_.droppedUpTo; p < position && p < s_.ids.size(); ++p) {
            const CachedRecord* record = cache.find(s_.ids[p]);
            if (record != nullptr && !record->pending) cache.drop(s_.ids[p]);
        }
        s_.droppedUpTo = std::max(s_.droppedUpTo, position);
    }

    // Reads the page of records from `position`: by position in QuickBase's order where the
    // list came from QuickBase, then by id whatever is still missing.
    MsgNo readAround(std::size_t position) {
        if (s_.forwardOnly && !s_.keyed) dropPassed(position);
        if (position < s_.fromQuickBase) {
            if (MsgNo rc = readPage(s_.query, position)) return rc;
        }
        RecordCache& cache = records();
        std::vector<std::int32_t> missing;
        std::size_t end = std::min(s_.ids.size(), position + s_.pageSize);
        for (std::size_t p = position; p < end; ++p) {
            const CachedRecord* record = cache.find(s_.ids[p]);
            if (s_.ids[p] > 0 && (record == nullptr || needsRead(*record)))
                missing.push_back(s_.ids[p]);
        }
        return readRecordsById(session_, state_, t_.dbid(), cache, missing);
    }

    MsgNo download(const std::string& url, Value& out) {
        if (!session_.download(url, out.text)) {
            setNull(out, ValueType::Binary);
            return state_.failFromSession(session_);
        }
        out.type = ValueType::Binary;
        out.isNull = false;
        return kMsgNone;
    }

    MsgNo identityScan() {
        if (state_.newestDbid.empty()) return state_.fail(kMsgNoIdentity);
        RecordCache& cache = records();
        CachedRecord& record = cache.obtain(state_.newestRecordId);
        record.values[static_cast<std::size_t>(cache.slotOf(kRecordIdFid))] =
            std::to_string(state_.newestRecordId);
        record.filled = static_cast<std::uint32_t>(cache.slotFields().size());
        s_.ids.assign(1, state_.newestRecordId);
        s_.fromQuickBase = 0;
        s_.keyed = false;
        s_.listed = false;
        s_.positionsValid = false;
        return kMsgNone;
    }

    // Keyed mode: the criterion that alone differs from the previous scan's, when it is an
    // equality on the same column and the rest is the same.
    std::optional<std::size_t> keyedChange(bool sameOrder) const {
        if (!sameOrder || s_.join != RestrictionJoin::And || s_.listJoin != RestrictionJoin::And ||
            s_.criteria.size() != s_.listCriteria.size()) {
            return std::nullopt;
        }
        std::optional<std::size_t> changed;
        for (std::size_t i = 0; i < s_.criteria.size(); ++i) {
            if (s_.criteria[i].sameAs(s_.listCriteria[i])) continue;
            if (changed) return std::nullopt;
            changed = i;
        }
        if (!changed) return std::nullopt;
        const Criterion& now = s_.criteria[*changed];
        const Criterion& before = s_.listCriteria[*changed];
        if (!now.keyable || !before.keyable || now.column != before.column) return std::nullopt;
        if (keyType(t_.field(now.column)) == ValueType::None) return std::nullopt;
        return changed;
    }

    // Keyed from the first scan: the equality whose value the caller says will change.
    std::optional<std::size_t> varyingKey() const {
        if (s_.join != RestrictionJoin::And) return std::nullopt;
        for (std::size_t i = 0; i < s_.criteria.size(); ++i) {
            const Criterion& c = s_.criteria[i];
            if (c.keyable && c.varies && keyType(t_.field(c.column)) != ValueType::None) return i;
        }
        return std::nullopt;
    }

    // Reads every record of the unchanged criteria once (per generation of the cache) and
    // indexes them by the changing column; each keyed scan then walks the records of its key.
    MsgNo keyedScan(std::size_t changed, std::string query) {
        std::vector<Criterion> base = s_.criteria;
        base.erase(base.begin() + static_cast<std::ptrdiff_t>(changed));
        std::string baseQuery = queryText(base, RestrictionJoin::And);
        const Criterion& key = s_.criteria[changed];
        KeyedIndex& k = s_.keyedIndex;
        RecordCache& cache = records();
        if (!k.ready || k.baseQuery != baseQuery || k.column != key.column || k.slist != s_.slist ||
            k.letters != s_.letters || k.generation != cache.generation) {
            if (MsgNo rc = buildKeyedIndex(std::move(baseQuery), key.column)) return rc;
        }
        std::optional<std::string> wanted = matchKey(key.value);
        Value probe;
        probe.type = keyType(t_.field(key.column));
        probe.isNull = false;
        // A value of another kind than the column's (a date against a timestamp) is compared
        // by the executor after a conversion: every record of the base may match.
        if (wanted && wanted->front() != matchKey(probe)->front()) wanted.reset();
        if (wanted) {
            auto hit = k.byKey.find(*wanted);
            if (hit == k.byKey.end()) {
                s_.ids.clear();
            } else {
                s_.ids = hit->second;
            }
        } else {
            s_.ids = k.all;  // a value the index cannot compare: every record of the base
        }
        s_.fromQuickBase = 0;
        s_.keyed = true;
        addPending();
        remember(std::move(query));
        return kMsgNone;
    }

    MsgNo buildKeyedIndex(std::string baseQuery, std::uint16_t column) {
        KeyedIndex& k = s_.keyedIndex;
        k.ready = false;
        k.byKey.clear();
        if (MsgNo rc = listIds(baseQuery, k.all)) return rc;
        for (std::size_t start = 0; start < k.all.size(); start += s_.pageSize) {
            if (MsgNo rc = readPage(baseQuery, start)) return rc;
        }
        RecordCache& cache = records();
        const QbField& field = t_.field(column);
        int slot = slotOf(column);
        ValueType type = keyType(field);
        ReadContext context{t_.textNull(), &state_.userNames};
        Value value;
        for (std::int32_t id : k.all) {
            const CachedRecord* record = cache.find(id);
            if (record == nullptr || static_cast<std::size_t>(slot) >= record->values.size())
                continue;
            if (readFieldText(field, record->values[slot], type, context, value) != kMsgNone)
                continue;
            if (std::optional<std::string> key = matchKey(value)) k.byKey[*key].push_back(id);
        }
        k.baseQuery = std::move(baseQuery);
        k.column = column;
        k.slist = s_.slist;
        k.letters = s_.letters;
        k.generation = cache.generation;
        k.ready = true;
        return kMsgNone;
    }

    QbTable& t_;
    TableScan& s_;
    TableLayerState& state_;
    QbSession& session_;
};

QbTable::~QbTable() = default;

MsgNo QbTable::setRestrictions(std::span<const Restriction> list, RestrictionJoin join) {
    return guardTableCall(state_, [&]() -> MsgNo {
        state_.clearError();
        if (!scan_) scan_ = std::make_unique<TableScan>();
        bool special = dbid() == kConfigTableName || dbid() == kIdentityTableName;
        scan_->criteria =
            special ? std::vector<Criterion>() : translateRestrictions(*schema_, list, join);
        scan_->join = join;
        return kMsgNone;
    });
}

MsgNo QbTable::setSortOrder(std::span<const SortColumn> columns) {
    return guardTableCall(state_, [&]() -> MsgNo {
        state_.clearError();
        if (!scan_) scan_ = std::make_unique<TableScan>();
        if (columns.empty()) {
            scan_->slist = "3";
            scan_->letters = "A";
            return kMsgNone;
        }
        // QuickBase cannot order what it has not received.
        if (dbid() == kConfigTableName || dbid() == kIdentityTableName || shared().writes.any())
            return state_.fail(kMsgTableNotSupported);
        std::string slist, letters;
        for (const SortColumn& c : columns) {
            if (c.column >= columnCount() || !sortable(field(c.column)))
                return state_.fail(kMsgTableNotSupported);
            if (!slist.empty()) slist += '.';
            slist += field(c.column).fidText;
            letters += c.descending ? 'D' : 'A';
        }
        scan_->slist = std::move(slist);
        scan_->letters = std::move(letters);
        return kMsgNone;
    });
}

MsgNo QbTable::startScan(bool forwardOnly) {
    return guardTableCall(state_, [&]() -> MsgNo {
        state_.clearError();
        if (!scan_) scan_ = std::make_unique<TableScan>();
        MsgNo rc = ScanRunner(*this).startScan(forwardOnly);
        if (rc != kMsgNone) {
            // A failed scan is no list to reuse, and stands on nothing.
            scan_->listed = false;
            scan_->ids.clear();
        }
        return rc;
    });
}

MsgNo QbTable::nextRecord() {
    if (!scan_) return kMsgNoData;
    return ScanRunner(*this).nextRecord();
}

std::int32_t QbTable::currentRecordId() const {
    return scan_ ? scan_->currentId : 0;
}

void QbTable::rereadCurrentRecord() {
    const std::int32_t id = currentRecordId();
    if (id <= 0) return;
    RecordCache& cache = shared().records;
    const CachedRecord* record = cache.find(id);
    if (record != nullptr && !record->pending) cache.drop(id);
}

MsgNo QbTable::positionOnRecord(std::int32_t recordId) {
    return guardTableCall(state_, [&]() -> MsgNo {
        if (!scan_) return kMsgNoData;
        return ScanRunner(*this).positionOnRecord(recordId);
    });
}

MsgNo QbTable::readColumn(std::uint16_t column, ValueType type, Value& out) {
    return guardTableCall(state_, [&]() -> MsgNo {
        if (state_.error.number != kMsgNone) state_.clearError();
        if (!scan_) return state_.fail(kMsgTableError);
        return ScanRunner(*this).readColumn(column, type, out);
    });
}

void QbTable::requestColumn(std::uint16_t column) {
    if (column >= columnCount() || dbid() == kConfigTableName || dbid() == kIdentityTableName)
        return;
    try {
        shared().records.requestField(field(column).fid);
    } catch (...) {
        // Without the field in the request, a read asks for it later.
    }
}

}  // namespace kelvra
