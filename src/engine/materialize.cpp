// Materialised results: the rows of a Select written to a result file, sorted, grouped, made
// distinct or kept as record ids, and read back by position.
//
// - ORDER BY that QuickBase does not deliver: each row's keys and its tables' record ids, sorted;
//   fetching a row puts every table back on its record.
// - GROUP BY and aggregates: each row's grouping values and aggregate inputs, combined into one
//   group row per group (aggregates combined, HAVING applied) in a hash table or, for more
//   groups than it may hold, by sorting the rows by the grouping values; the group rows in the
//   grouping order, sorted again when the ORDER BY is not the grouping order.
// - DISTINCT: each row's sequence number and select-item values, sorted so that identical
//   rows meet and one of each is kept, then put back in their order.
// - Scrollable cursors: each row's record ids (the keyset); the keyset pattern: the records of
//   each OR term, each once, at its first position.
#include <cstring>
#include <deque>
#include <new>
#include <set>
#include <string_view>
#include <unordered_map>

#include "engine/executor.h"
#include "engine/row_codec.h"
#include "engine/select_run.h"
#include "engine/sort_file.h"
#include "engine/sort_spec.h"
#include "engine/temp_file.h"
#include "engine/value_ops.h"
#include "convert/numeric_text.h"
#include "qbtable/qb_table.h"
#include "sql/sort_layout.h"

namespace kelvra {
namespace {

struct AggregateSlot {
    NodeIndex node;
    AggregateFunction function;
    bool distinct;
    NodeIndex argument;
    std::int32_t position;
    std::int32_t width;
    TypeDesc result;
    TypeDesc input;  // how the input of one row is held in the row
};

struct Accumulator {
    Value value;
    double sum = 0.0;
    std::int64_t count = 0;
    bool present = false;
    std::set<std::string> seen;  // COUNT(DISTINCT x): the values met, as their field bytes
};

std::vector<AggregateSlot> aggregatesOf(const ParseTree& t, NodeIndex select) {
    std::vector<AggregateSlot> slots;
    for (NodeIndex a = t.fields<SelectFields>(select).firstAggregate; a != kNoNode;
         a = t.fields<AggregateFields>(a).nextAggregate) {
        const auto& f = t.fields<AggregateFields>(a);
        const ParseNode& node = t.node(a);
        AggregateSlot slot{a,        f.function,          f.distinct,         f.argument,
                           node.slot.sortPosition, node.slot.sortWidth, node.type, node.type};
        if (f.function == AggregateFunction::Count) {
            slot.input = f.distinct ? t.node(f.argument).type
                                    : TypeDesc{ValueType::Double, SQL_DOUBLE, 15, -1};
        }
        slots.push_back(slot);
    }
    return slots;
}

// The most memory grouping through a hash table may take: each group's first row and its
// hash table entry.
constexpr std::size_t kHashedGroupsMemory = std::size_t{16} << 20;

// Combines the rows of `input` whose first `keyLength` bytes are the same in a hash table, in
// the order the rows come, then writes each group in the order first seen: its first row is
// put in `groupRow` and `finishGroup` called. `hashed` is false, with nothing written, when
// the groups outgrow kHashedGroupsMemory or an aggregate keeps values (COUNT(DISTINCT)).
template <class Accumulate, class Finish>
MsgNo hashGroups(TempFile& input, const std::vector<AggregateSlot>& aggregates,
                 std::size_t keyLength, std::vector<char>& groupRow, Accumulate& accumulate,
                 Finish& finishGroup, bool& hashed) {
    struct Group {
        std::string row;
        std::vector<Accumulator> acc;
    };
    hashed = false;
    for (const AggregateSlot& a : aggregates) {
        if (a.distinct) return kMsgNone;
    }
    const std::size_t length = groupRow.size();
    const std::size_t groupBytes = length + aggregates.size() * sizeof(Accumulator) + 64;
    std::deque<Group> groups;  // the keys below point into the rows, which never move
    std::unordered_map<std::string_view, std::size_t> index;
    for (std::int64_t r = 0; r < input.recordCount(); ++r) {
        const char* rec = nullptr;
        if (MsgNo rc = input.read(r, rec)) return rc;
        auto found = index.find(std::string_view(rec, keyLength));
        if (found == index.end()) {
            if ((groups.size() + 1) * groupBytes > kHashedGroupsMemory) return kMsgNone;
            groups.push_back(
                Group{std::string(rec, length), std::vector<Accumulator>(aggregates.size())});
            found = index.emplace(std::string_view(groups.back().row.data(), keyLength),
                                  groups.size() - 1)
                        .first;
        }
        if (MsgNo rc = accumulate(groups[found->second].acc, rec)) return rc;
    }
    hashed = true;
    for (Group& group : groups) {
        std::memcpy(groupRow.data(), group.row.data(), length);
        if (MsgNo rc = finishGroup(group.acc)) return rc;
    }
    return kMsgNone;
}

// The layout of rows sorted by `sortSpec`: stored as they are without one.
RecordLayout layoutFor(const ParseTree& t, StringIndex sortSpec, std::size_t length) {
    return sortSpec == kNoString ? RecordLayout(static_cast<std::uint32_t>(length))
                                 : sortLayout(t.text(sortSpec), length);
}

}  // namespace

MsgNo Executor::sortResult(TempFile& file, StringIndex sortSpec) {
    std::int64_t count = 0;
    return sortFile(file, file, tree_.text(sortSpec), count);
}

// Writes one row per matching combination: the grouping values and aggregate inputs of a
// grouped query, else the ORDER BY keys and the tables' record ids.
MsgNo Executor::sortStep(NodeIndex select, bool grouped, std::unique_ptr<TempFile>& out) {
    const auto& s = tree_.fields<SelectFields>(select);
    const auto length = static_cast<std::size_t>(std::max(s.sortRowLength, 1));
    if (MsgNo rc = TempFile::create(layoutFor(tree_, s.orderSpec, length), out)) return rc;
    std::vector<char> row(length, ' ');
    std::vector<NodeIndex> keys;
    if (grouped) {
        for (NodeIndex g = s.firstGroup; g != kNoNode; g = tree_.fields<GroupItemFields>(g).next) {
            keys.push_back(tree_.fields<GroupItemFields>(g).expression);
        }
    } else {
        for (NodeIndex si = s.firstOrder; si != kNoNode; si = tree_.fields<SortItemFields>(si).next) {
            keys.push_back(tree_.fields<SortItemFields>(si).expression);
        }
    }
    const std::vector<AggregateSlot> aggregates =
        grouped ? aggregatesOf(tree_, select) : std::vector<AggregateSlot>{};
    const SelectRun& run = runOf(select);
    Value input;
    for (;;) {
        const MsgNo moved = nextMatchingRow(select);
        if (moved == kMsgNoDataFound) break;
        if (moved != kMsgNone) return moved;
        for (NodeIndex k : keys) {
            if (MsgNo rc = evaluate(k)) return rc;
            const ParseNode& key = tree_.node(k);
            writeField(row.data() + key.slot.sortPosition - 1, key.slot.sortWidth, key.value);
        }
        for (const AggregateSlot& a : aggregates) {
            if (a.argument == kNoNode) {
                input = Value::ofDouble(1.0);  // COUNT(*)
            } else {
                if (MsgNo rc = evaluate(a.argument)) return rc;
                const Value& v = tree_.node(a.argument).value;
                if (v.isNull) {
                    input = Value::null(a.input.valueType);
                } else if (a.function == AggregateFunction::Count && !a.distinct) {
                    input = Value::ofDouble(1.0);
                } else if (a.input.valueType == ValueType::Double && v.type != ValueType::Double) {
                    input = Value::ofDouble(numberOf(v));
                } else {
                    input = v;
                }
            }
            writeField(row.data() + a.position - 1, a.width, input);
        }
        if (!grouped) {
            char* ids = row.data() + s.recordIdOffset - 1;
            for (std::size_t i = 0; i < run.tables.size(); ++i) {
                const auto& ref = tree_.fields<TableRefFields>(run.tables[i]);
                const std::int32_t id = ref.nullRow ? -1 : ref.table->currentRecordId();
                std::memcpy(ids + 4 * i, &id, 4);
            }
        }
        if (MsgNo rc = out->write(row.data())) return rc;
    }
    return out->flush();
}

// One group row per set of rows with the same grouping bytes, in the order of the grouping
// sort; an aggregate query without GROUP BY is one group, also over no rows at all. While the
// groups fit in kHashedGroupsMemory (and no COUNT(DISTINCT) keeps values per group) rows are
// combined in a hash table as they come, and only the group rows are sorted; else the rows are
// sorted and each run of equal groups combined. Both take a group's rows in the order they
// were found, so both give the same values.
MsgNo Executor::groupStep(NodeIndex select, TempFile& input, std::unique_ptr<TempFile>& out) {
    const auto& s = tree_.fields<SelectFields>(select);
    const auto length = static_cast<std::size_t>(std::max(s.sortRowLength, 1));
    const auto keyLength = static_cast<std::size_t>(s.groupKeyLength);
    const NodeIndex having = s.having;
    const RecordLayout layout = s.groupOrderSpec != kNoString
                                    ? layoutFor(tree_, s.groupOrderSpec, length)
                                    : input.layout();
    if (MsgNo rc = TempFile::create(layout, out)) return rc;
    const std::vector<AggregateSlot> aggregates = aggregatesOf(tree_, select);
    SelectRun& run = runOf(select);
    run.groupRow.assign(length, ' ');
    Value in;
    // ORDER BY keys computed from each group's values (planning gave them fields of their own).
    std::vector<NodeIndex> computedKeys;
    for (NodeIndex si = s.firstOrder; si != kNoNode; si = tree_.fields<SortItemFields>(si).next) {
        const NodeIndex key = tree_.fields<SortItemFields>(si).expression;
        const ParseNode& node = tree_.node(key);
        if (node.slot.owner == select && node.slot.sortPosition > 0 && !node.slot.fromGroupRow &&
            node.kind != NodeKind::Aggregate) {
            computedKeys.push_back(key);
        }
    }

    // Writes the group row held in run.groupRow with the aggregates of `acc`.
    const auto finishGroup = [&](std::vector<Accumulator>& acc) -> MsgNo {
        for (std::size_t i = 0; i < aggregates.size(); ++i) {
            const AggregateSlot& a = aggregates[i];
            Accumulator& x = acc[i];
            Value result = Value::null(a.result.valueType);
            switch (a.function) {
                case AggregateFunction::Count:
                    result = Value::ofInteger(static_cast<double>(a.distinct ? x.seen.size() : x.count));
                    break;
                case AggregateFunction::Avg:
                    if (x.present) result = Value::ofDouble(x.sum / static_cast<double>(x.count));
                    break;
                default:
                    if (x.present) result = x.value;
                    break;
            }
            writeField(run.groupRow.data() + a.position - 1, a.width, result);
        }
        run.row = run.groupRow.data();
        if (having != kNoNode) {
            if (MsgNo rc = evaluateCondition(having)) return rc;
            if (!isTrue(having)) return kMsgNone;
        }
        for (NodeIndex key : computedKeys) {
            if (MsgNo rc = evaluate(key)) return rc;
            const ParseNode& node = tree_.node(key);
            writeField(run.groupRow.data() + node.slot.sortPosition - 1, node.slot.sortWidth,
                       node.value);
        }
        return out->write(run.groupRow.data());
    };

    // Adds the aggregate inputs of row `rec` to `acc`.
    const auto accumulate = [&](std::vector<Accumulator>& acc, const char* rec) -> MsgNo {
        for (std::size_t i = 0; i < aggregates.size(); ++i) {
            const AggregateSlot& a = aggregates[i];
            Accumulator& x = acc[i];
            if (MsgNo rc = readField(rec + a.position - 1, a.width, a.input, in)) return rc;
            if (in.isNull) continue;
            switch (a.function) {
                case AggregateFunction::Count:
                    if (a.distinct) {
                        x.seen.emplace(rec + a.position - 1, static_cast<std::size_t>(a.width));
                    } else {
                        ++x.count;
                    }
                    break;
                case AggregateFunction::Avg:
                    x.sum += in.number;
                    ++x.count;
                    break;
                case AggregateFunction::Sum:
                    if (!x.present) {
                        x.value = in;
                    } else if (in.type == ValueType::Numeric) {
                        std::string sum;
                        const MsgNo rc = numericArithmetic(x.value.text, NumericOp::Add, in.text, 0,
                                                           a.result.scale, sum);
                        if (rc != kMsgNone && rc != kMsgTruncated) return rc;
                        x.value.text = std::move(sum);
                    } else {
                        x.value.number += in.number;
                    }
                    break;
                case AggregateFunction::Min:
                case AggregateFunction::Max: {
                    if (!x.present) {
                        x.value = in;
                        break;
                    }
                    int order = 0;
                    bool equalityOnly = false;
                    if (compareValues(in, x.value, order, equalityOnly) != kMsgNone) {
                        return fail(kMsgInternalError, {});
                    }
                    if ((a.function == AggregateFunction::Min) == (order < 0) && order != 0) {
                        x.value = in;
                    }
                    break;
                }
            }
            x.present = true;
        }
        return kMsgNone;
    };

    const std::int64_t n = input.recordCount();
    std::vector<Accumulator> acc(aggregates.size());
    if (n == 0) {
        if (!s.aggregateQuery) return out->flush();
        if (MsgNo rc = finishGroup(acc)) return rc;
        return out->flush();
    }
    if (!s.aggregateQuery) {
        bool hashed = false;
        if (MsgNo rc = hashGroups(input, aggregates, keyLength, run.groupRow, accumulate,
                                  finishGroup, hashed)) {
            return rc;
        }
        if (hashed) {
            if (MsgNo rc = out->flush()) return rc;
            return sortResult(*out, s.orderSpec);
        }
        if (MsgNo rc = sortResult(input, s.orderSpec)) return rc;
    }
    for (std::int64_t r = 0; r < n; ++r) {
        const char* rec = nullptr;
        if (MsgNo rc = input.read(r, rec)) return rc;
        if (r == 0 || std::memcmp(rec, run.groupRow.data(), keyLength) != 0) {
            if (r > 0) {
                if (MsgNo rc = finishGroup(acc)) return rc;
            }
            std::memcpy(run.groupRow.data(), rec, length);
            acc.assign(aggregates.size(), Accumulator{});
        }
        if (MsgNo rc = accumulate(acc, rec)) return rc;
    }
    if (MsgNo rc = finishGroup(acc)) return rc;
    return out->flush();
}

// The rows of the result (or of the scans) as sequence number and select-item values, one of
// each kept, back in their order.
MsgNo Executor::distinctStep(NodeIndex select) {
    auto& s = tree_.fields<SelectFields>(select);
    SelectRun& run = runOf(select);
    const auto length = static_cast<std::size_t>(s.distinctRowLength);
    std::unique_ptr<TempFile> file;
    if (MsgNo rc = TempFile::create(layoutFor(tree_, s.distinctSpec, length), file)) return rc;
    std::vector<char> row(length, ' ');
    std::vector<NodeIndex> values;
    for (NodeIndex li = s.firstItem; li != kNoNode; li = tree_.fields<ListItemFields>(li).next) {
        const NodeIndex e = tree_.fields<ListItemFields>(li).expression;
        if (tree_.node(e).slot.valuePosition > 0) values.push_back(e);
    }
    const bool ordered = static_cast<bool>(s.result);
    std::int64_t sequence = 0;
    const auto writeRow = [&]() -> MsgNo {
        writeSequenceField(sequence++, row.data());
        for (NodeIndex e : values) {
            if (MsgNo rc = evaluate(e)) return rc;
            const ParseNode& node = tree_.node(e);
            writeField(row.data() + node.slot.valuePosition - 1, node.slot.valueWidth, node.value);
        }
        return file->write(row.data());
    };
    if (ordered) {
        for (std::int64_t r = 0; r < s.rowCount; ++r) {
            s.rowPosition = r;
            if (MsgNo rc = positionOnRow(select)) return rc;
            if (MsgNo rc = writeRow()) return rc;
        }
    } else {
        for (;;) {
            const MsgNo moved = nextMatchingRow(select);
            if (moved == kMsgNoDataFound) break;
            if (moved != kMsgNone) return moved;
            if (MsgNo rc = writeRow()) return rc;
        }
    }
    if (MsgNo rc = file->flush()) return rc;
    std::int64_t count = 0;
    if (MsgNo rc = sortFile(*file, *file, tree_.text(s.distinctSpec), count)) return rc;
    if (ordered) {
        if (MsgNo rc = sortFile(*file, *file, sequenceOrderSpec(length), count)) return rc;
    }
    s.result = std::move(file);
    s.rowCount = count;
    s.rowPosition = -1;
    s.valueRows = true;
    run.rows = SelectRun::Rows::Values;
    run.row = nullptr;
    return kMsgNone;
}

// The keyset of a scrollable cursor: each row's record ids.
MsgNo Executor::keysetStep(NodeIndex select) {
    auto& s = tree_.fields<SelectFields>(select);
    SelectRun& run = runOf(select);
    const std::size_t length = std::max<std::size_t>(4 * run.tables.size(), 1);
    std::unique_ptr<TempFile> file;
    if (MsgNo rc = TempFile::create(length, file)) return rc;
    std::vector<char> row(length, ' ');
    // Rows in the order found: TOP n needs no more than n of them.
    for (std::int64_t found = 0; s.top < 0 || found < s.top; ++found) {
        const MsgNo moved = nextMatchingRow(select);
        if (moved == kMsgNoDataFound) break;
        if (moved != kMsgNone) return moved;
        for (std::size_t i = 0; i < run.tables.size(); ++i) {
            const auto& ref = tree_.fields<TableRefFields>(run.tables[i]);
            const std::int32_t id = ref.nullRow ? -1 : ref.table->currentRecordId();
            std::memcpy(row.data() + 4 * i, &id, 4);
        }
        if (MsgNo rc = file->write(row.data())) return rc;
    }
    if (MsgNo rc = file->flush()) return rc;
    s.rowCount = file->recordCount();
    s.result = std::move(file);
    s.rowPosition = -1;
    run.rows = SelectRun::Rows::RecordIds;
    run.idOffset = 0;
    return kMsgNone;
}

// The keyset pattern: the records each OR term selects, each record once, at its first place.
MsgNo Executor::keysetFetchStep(NodeIndex select) {
    auto& s = tree_.fields<SelectFields>(select);
    SelectRun& run = runOf(select);
    const NodeIndex tableRef = run.tables.front();
    std::unique_ptr<TempFile> file;
    if (MsgNo rc = TempFile::create(kKeysetFetchRowLength, file)) return rc;
    std::vector<char> row(kKeysetFetchRowLength, ' ');
    std::vector<NodeIndex> terms;
    for (NodeIndex n = s.where; n != kNoNode;) {
        const ParseNode& node = tree_.node(n);
        if (node.kind != NodeKind::BoolOp || node.as<BoolOpFields>().op != Operator::Or) {
            terms.push_back(n);
            break;
        }
        terms.push_back(node.as<BoolOpFields>().left);
        n = node.as<BoolOpFields>().right;
    }
    auto& ref = tree_.fields<TableRefFields>(tableRef);
    const std::vector<NodeIndex> planned = ref.restrictions;
    const bool alternatives = ref.restrictionsAreAlternatives;
    std::int64_t sequence = 0;
    MsgNo rc = kMsgNone;
    for (NodeIndex term : terms) {
        // This term's equalities narrow the scan; the term itself decides each record.
        std::vector<NodeIndex> conjuncts;
        for (NodeIndex n = term; n != kNoNode;) {
            const ParseNode& node = tree_.node(n);
            if (node.kind != NodeKind::BoolOp || node.as<BoolOpFields>().op != Operator::And) {
                conjuncts.push_back(n);
                break;
            }
            conjuncts.push_back(node.as<BoolOpFields>().left);
            n = node.as<BoolOpFields>().right;
        }
        tree_.fields<TableRefFields>(tableRef).restrictions = conjuncts;
        tree_.fields<TableRefFields>(tableRef).restrictionsAreAlternatives = false;
        rc = rewindTable(tableRef, true);
        while (rc == kMsgNone) {
            rc = tree_.fields<TableRefFields>(tableRef).table->nextRecord();
            if (rc == kMsgNoData) {
                rc = kMsgNone;
                break;
            }
            if (rc != kMsgNone) break;
            if ((rc = evaluateCondition(term)) != kMsgNone) break;
            if (!isTrue(term)) continue;
            writeSequenceField(sequence++, row.data());
            const std::int32_t id = tree_.fields<TableRefFields>(tableRef).table->currentRecordId();
            std::memcpy(row.data() + kKeysetFetchRecordIdPosition - 1, &id, 4);
            row[kKeysetFetchRowLength - 1] = kValueMarker;
            rc = file->write(row.data());
        }
        if (rc != kMsgNone) break;
    }
    tree_.fields<TableRefFields>(tableRef).restrictions = planned;
    tree_.fields<TableRefFields>(tableRef).restrictionsAreAlternatives = alternatives;
    if (rc != kMsgNone) return rc;
    if (MsgNo r = file->flush()) return r;
    std::int64_t count = 0;
    if (MsgNo r = sortFile(*file, *file, keysetFetchDedupeSpec(), count)) return r;
    if (MsgNo r = sortFile(*file, *file, sequenceOrderSpec(kKeysetFetchRowLength), count)) return r;
    s.result = std::move(file);
    s.rowCount = count;
    s.rowPosition = -1;
    run.rows = SelectRun::Rows::RecordIds;
    run.idOffset = kKeysetFetchRecordIdPosition - 1;
    return kMsgNone;
}

MsgNo Executor::materialize(NodeIndex select) {
    if (MsgNo rc = materializeRows(select)) return rc;
    auto& s = tree_.fields<SelectFields>(select);
    if (s.top >= 0 && s.rowCount > s.top) s.rowCount = s.top;  // TOP n: the first n rows
    return kMsgNone;
}

MsgNo Executor::materializeRows(NodeIndex select) {
    auto& s = tree_.fields<SelectFields>(select);
    SelectRun& run = runOf(select);
    const bool grouped = s.firstGroup != kNoNode || s.aggregateQuery;
    std::unique_ptr<TempFile> file;
    if (grouped) {
        if (MsgNo rc = sortStep(select, true, file)) return rc;
        std::unique_ptr<TempFile> groups;
        if (MsgNo rc = groupStep(select, *file, groups)) return rc;
        file = std::move(groups);
        if (s.groupOrderSpec != kNoString) {
            if (MsgNo rc = sortResult(*file, s.groupOrderSpec)) return rc;
        }
        run.rows = SelectRun::Rows::Groups;
    } else if (s.keysetFetch) {
        return keysetFetchStep(select);
    } else if (s.firstOrder != kNoNode && !s.orderedByTable) {
        if (MsgNo rc = sortStep(select, false, file)) return rc;
        if (MsgNo rc = sortResult(*file, s.orderSpec)) return rc;
        run.rows = SelectRun::Rows::RecordIds;
        run.idOffset = static_cast<std::size_t>(s.recordIdOffset - 1);
    } else if (!s.distinct) {
        return keysetStep(select);
    }
    if (file) {
        s.rowCount = file->recordCount();
        s.result = std::move(file);
        s.rowPosition = -1;
        run.row = nullptr;
    }
    if (s.distinct) return distinctStep(select);
    return kMsgNone;
}

// Makes the row at the Select's position current: its bytes, and for record-id rows every
// table back on its record (or its NULL row).
MsgNo Executor::positionOnRow(NodeIndex select) {
    auto& s = tree_.fields<SelectFields>(select);
    SelectRun& run = runOf(select);
    auto* file = static_cast<TempFile*>(s.result.get());
    const char* rec = nullptr;
    if (MsgNo rc = file->read(s.rowPosition, rec)) return rc;
    run.row = rec;
    if (run.rows != SelectRun::Rows::RecordIds) return kMsgNone;
    for (std::size_t i = 0; i < run.tables.size(); ++i) {
        std::int32_t id = 0;
        std::memcpy(&id, rec + run.idOffset + 4 * i, 4);
        auto& ref = tree_.fields<TableRefFields>(run.tables[i]);
        ref.nullRow = id == -1;
        if (ref.nullRow) continue;
        if (MsgNo rc = ref.table->positionOnRecord(id)) return rc;
    }
    return kMsgNone;
}

MsgNo Executor::readSlot(NodeIndex n, std::int32_t position, std::int32_t width) {
    ParseNode& node = tree_.node(n);
    const SelectRun& run = runOf(node.slot.owner);
    if (run.row == nullptr) return fail(kMsgInternalError, {});
    return readField(run.row + position - 1, width, node.type, node.value);
}

}  // namespace kelvra
