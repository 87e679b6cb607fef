// The evaluation walk: the value of a node for the current row, written into the node. Column
// values come from the current record of their table (or its NULL row); conditions follow
// SQL's three-valued logic; subqueries run when their predicate is evaluated, once per
// execution when they name nothing of an enclosing query.
#include <array>
#include <new>

#include "engine/executor.h"
#include "engine/match_like.h"
#include "engine/scalar_functions.h"
#include "engine/select_run.h"
#include "engine/value_ops.h"
#include "qbtable/qb_table.h"

namespace kelvra {
namespace {

void setBool(Value& v, bool truth) {
    v.type = ValueType::Integer;
    v.isNull = false;
    v.number = truth ? 1.0 : 0.0;
}

void setUnknown(Value& v) {
    v.type = ValueType::Integer;
    v.isNull = true;
    v.number = 0.0;
}

}  // namespace

bool Executor::isTrue(NodeIndex node) const {
    const Value& v = tree_.node(node).value;
    return !v.isNull && v.number == 1.0;
}

MsgNo Executor::evaluate(NodeIndex n) {
    ParseNode& node = tree_.node(n);
    Value& v = node.value;
    // What the owning Select's materialised rows hold is read from its current row: the
    // select items of DISTINCT rows, and the grouping values and aggregates of group rows.
    if (node.slot.owner != kNoNode) {
        const SelectRun& run = runOf(node.slot.owner);
        if (run.rows == SelectRun::Rows::Values && node.slot.valuePosition > 0) {
            return readSlot(n, node.slot.valuePosition, node.slot.valueWidth);
        }
        if (node.kind == NodeKind::Aggregate || node.slot.fromGroupRow)
            return readSlot(n, node.slot.sortPosition, node.slot.sortWidth);
    }
    switch (node.kind) {
        case NodeKind::ColumnRef:
            return evaluateColumn(n);
        case NodeKind::ArithOp:
            return evaluateArithmetic(n);
        case NodeKind::ScalarFunction:
            return evaluateFunction(n);
        case NodeKind::Predicate:
        case NodeKind::BoolOp:
            return evaluateCondition(n);
        case NodeKind::StringLiteral:
            if (v.type != ValueType::Char) {
                v = Value::ofChar(tree_.text(node.as<StringLiteralFields>().text));
            }
            return kMsgNone;
        case NodeKind::NumberLiteral: {
            const auto& f = node.as<NumberLiteralFields>();
            if (node.type.valueType == ValueType::Numeric) {
                if (v.type != ValueType::Numeric) v = Value::ofNumeric(tree_.text(f.text));
            } else {
                v = node.type.valueType == ValueType::Integer ? Value::ofInteger(f.value)
                                                              : Value::ofDouble(f.value);
            }
            return kMsgNone;
        }
        case NodeKind::DateLiteral:
            v = Value::ofDate(node.as<DateLiteralFields>().date);
            return kMsgNone;
        case NodeKind::TimeLiteral:
            v = Value::ofTime(node.as<TimeLiteralFields>().time);
            return kMsgNone;
        case NodeKind::TimestampLiteral:
            v = Value::ofTimestamp(node.as<TimestampLiteralFields>().timestamp);
            return kMsgNone;
        case NodeKind::UserName:
            if (v.type != ValueType::Char) v = Value::ofChar(context_.userName);
            return kMsgNone;
        case NodeKind::NullLiteral:
            setNull(v, node.type.valueType);
            return kMsgNone;
        case NodeKind::Parameter:
            return kMsgNone;  // execution put the value there
        default:
            return kMsgInternalError;
    }
}

MsgNo Executor::evaluateColumn(NodeIndex n) {
    ParseNode& node = tree_.node(n);
    const auto& f = node.as<ColumnRefFields>();
    const auto& ref = tree_.fields<TableRefFields>(f.tableRef);
    if (ref.nullRow) {
        setNull(node.value, node.type.valueType);
        return kMsgNone;
    }
    return ref.table->readColumn(static_cast<std::uint16_t>(f.column), node.type.valueType,
                                 node.value);
}

MsgNo Executor::evaluateArithmetic(NodeIndex n) {
    const auto a = tree_.fields<ArithOpFields>(n);
    if (MsgNo rc = evaluate(a.left)) return rc;
    if (a.right != kNoNode) {
        if (MsgNo rc = evaluate(a.right)) return rc;
    }
    ParseNode& node = tree_.node(n);
    const Value& left = tree_.node(a.left).value;
    const Value& right = a.right == kNoNode ? left : tree_.node(a.right).value;
    if (left.isNull || right.isNull) {
        setNull(node.value, node.type.valueType);
        return kMsgNone;
    }
    const MsgNo rc = arithmetic(a.op, left, right, node.type, node.value);
    if (rc == kMsgInternalError) return fail(rc, {});
    return rc;
}

MsgNo Executor::evaluateFunction(NodeIndex n) {
    // The function table's entries take at most four arguments.
    std::array<const Value*, 8> args{};
    std::size_t count = 0;
    TypeDesc source;
    for (NodeIndex li = tree_.fields<ScalarFunctionFields>(n).firstArgument; li != kNoNode;
         li = tree_.fields<ListItemFields>(li).next) {
        const NodeIndex e = tree_.fields<ListItemFields>(li).expression;
        if (MsgNo rc = evaluate(e)) return rc;
        if (count == args.size()) return fail(kMsgInternalError, {});
        if (count == 0) source = tree_.node(e).type;
        args[count++] = &tree_.node(e).value;
    }
    const auto& f = tree_.fields<ScalarFunctionFields>(n);
    ScalarCall call;
    call.function = f.function;
    call.interval = f.interval;
    call.extractField = f.extractField;
    call.source = source;
    FunctionContext functions;
    functions.database = context_.database;
    functions.user = context_.userName;
    functions.rand = context_.rand;
    if (context_.tables != nullptr) {
        if (!context_.tables->newestDbid.empty()) {
            functions.identity = context_.tables->newestRecordId;
        }
        functions.lastError = context_.tables->lastQuickBaseError;
    }
    ParseNode& node = tree_.node(n);
    return evaluateScalarFunction(call, node.type,
                                  std::span<const Value* const>(args.data(), count), functions,
                                  node.value, argument_);
}

// AND and OR chains are walked without recursion; the first false (AND) or true (OR) operand
// decides and the rest are not evaluated. Otherwise a NULL operand makes the result NULL.
MsgNo Executor::evaluateCondition(NodeIndex n) {
    ParseNode& head = tree_.node(n);
    if (head.kind == NodeKind::Predicate) return evaluatePredicate(n);
    if (head.kind != NodeKind::BoolOp) return kMsgInternalError;
    const Operator op = head.as<BoolOpFields>().op;
    if (op == Operator::Not) {
        const NodeIndex operand = head.as<BoolOpFields>().left;
        if (MsgNo rc = evaluateCondition(operand)) return rc;
        const Value& o = tree_.node(operand).value;
        if (o.isNull) {
            setUnknown(tree_.node(n).value);
        } else {
            setBool(tree_.node(n).value, o.number != 1.0);
        }
        return kMsgNone;
    }
    const bool decisive = op == Operator::Or;  // the operand value that decides the chain
    bool sawNull = false;
    NodeIndex current = n;
    for (;;) {
        const ParseNode& link = tree_.node(current);
        const bool chained = link.kind == NodeKind::BoolOp && link.as<BoolOpFields>().op == op;
        const NodeIndex operand = chained ? link.as<BoolOpFields>().left : current;
        if (MsgNo rc = evaluateCondition(operand)) return rc;
        const Value& o = tree_.node(operand).value;
        if (o.isNull) {
            sawNull = true;
        } else if ((o.number == 1.0) == decisive) {
            setBool(tree_.node(n).value, decisive);
            return kMsgNone;
        }
        if (!chained) break;
        current = link.as<BoolOpFields>().right;
    }
    if (sawNull) {
        setUnknown(tree_.node(n).value);
    } else {
        setBool(tree_.node(n).value, !decisive);
    }
    return kMsgNone;
}

MsgNo Executor::compareNodes(NodeIndex left, Operator op, NodeIndex right, bool& truth) {
    int order = 0;
    bool equalityOnly = false;
    if (compareValues(tree_.node(left).value, tree_.node(right).value, order, equalityOnly) !=
            kMsgNone ||
        (equalityOnly && op != Operator::Equal && op != Operator::NotEqual)) {
        return fail(kMsgInternalError, {});
    }
    truth = comparisonHolds(op, order);
    return kMsgNone;
}

// Under msaccess.exe, a record id compared equal to NULL (how Access looks for the record it
// has just inserted) means the connection's newest record, when it is this table's.
bool Executor::newestRecordStandsIn(NodeIndex predicate, double& id) {
    const auto& p = tree_.fields<PredicateFields>(predicate);
    const TableLayerState& tables = *context_.tables;
    if (p.op != Operator::Equal || tables.newestRecordId == 0 ||
        tables.hostProgram != "msaccess.exe")
        return false;
    const ParseNode& left = tree_.node(p.left);
    const ParseNode& right = tree_.node(p.right);
    const bool nullRight = right.kind == NodeKind::NullLiteral ||
                           (right.kind == NodeKind::Parameter && right.value.isNull);
    if (left.kind != NodeKind::ColumnRef || !nullRight) return false;
    const auto& c = left.as<ColumnRefFields>();
    const QbTable* table = tree_.fields<TableRefFields>(c.tableRef).table.get();
    if (table == nullptr || c.column < 0 ||
        table->field(static_cast<std::size_t>(c.column)).fid != kRecordIdFid ||
        table->dbid() != tables.newestDbid)
        return false;
    id = tables.newestRecordId;
    return true;
}

MsgNo Executor::evaluatePredicate(NodeIndex n) {
    const auto p = tree_.fields<PredicateFields>(n);
    Value& result = tree_.node(n).value;
    if (p.op == Operator::Exists) {
        SelectRun& run = runOf(p.left);
        if (run.correlated || !run.cachedExists) {
            bool found = false;
            if (MsgNo rc = firstSubqueryRow(p.left, found)) return rc;
            run.cachedExists = found;
        }
        setBool(tree_.node(n).value, *run.cachedExists);
        return kMsgNone;
    }
    if (MsgNo rc = evaluate(p.left)) return rc;
    const bool leftNull = tree_.node(p.left).value.isNull;

    if (p.quantifier != Quantifier::None) {
        if (leftNull) {
            setUnknown(result);
            return kMsgNone;
        }
        bool known = false;
        bool truth = false;
        if (MsgNo rc = evaluateQuantified(n, known, truth)) return rc;
        known ? setBool(tree_.node(n).value, truth) : setUnknown(tree_.node(n).value);
        return kMsgNone;
    }

    if (p.op == Operator::In || p.op == Operator::NotIn) {
        if (leftNull) {
            setUnknown(result);
            return kMsgNone;
        }
        bool found = false;
        for (NodeIndex li = p.right; li != kNoNode && !found;
             li = tree_.fields<ListItemFields>(li).next) {
            const NodeIndex e = tree_.fields<ListItemFields>(li).expression;
            if (MsgNo rc = evaluate(e)) return rc;
            if (tree_.node(e).value.isNull) continue;
            if (MsgNo rc = compareNodes(p.left, Operator::Equal, e, found)) return rc;
        }
        setBool(tree_.node(n).value, found == (p.op == Operator::In));
        return kMsgNone;
    }

    if (MsgNo rc = evaluate(p.right)) return rc;
    if (p.third != kNoNode) {
        if (MsgNo rc = evaluate(p.third)) return rc;
    }
    const ParseNode& right = tree_.node(p.right);
    if (double newest = 0; newestRecordStandsIn(n, newest)) {
        const Value& left = tree_.node(p.left).value;
        setBool(tree_.node(n).value, !leftNull && left.number == newest);
        return kMsgNone;
    }
    // "IS [NOT] NULL", and a comparison with a parameter whose value is NULL, test the left
    // operand's NULL flag.
    const bool nullTest = right.kind == NodeKind::NullLiteral ||
                          (right.kind == NodeKind::Parameter && right.value.isNull);
    if (nullTest && (p.op == Operator::Equal || p.op == Operator::NotEqual)) {
        setBool(tree_.node(n).value, leftNull == (p.op == Operator::Equal));
        return kMsgNone;
    }
    if (leftNull || right.value.isNull ||
        (p.third != kNoNode && tree_.node(p.third).value.isNull)) {
        setUnknown(tree_.node(n).value);
        return kMsgNone;
    }
    bool truth = false;
    switch (p.op) {
        case Operator::Between:
        case Operator::NotBetween: {
            // The bounds may come in either order: the value lies between them, inclusive.
            bool equalLow = false;
            if (MsgNo rc = compareNodes(p.left, Operator::Equal, p.right, equalLow)) return rc;
            truth = equalLow;
            if (!truth) {
                bool aboveLow = false;
                if (MsgNo rc = compareNodes(p.left, Operator::Greater, p.right, aboveLow))
                    return rc;
                const Operator toHigh = aboveLow ? Operator::LessEqual : Operator::GreaterEqual;
                if (MsgNo rc = compareNodes(p.left, toHigh, p.third, truth)) return rc;
            }
            if (p.op == Operator::NotBetween) truth = !truth;
            break;
        }
        case Operator::Like:
        case Operator::NotLike: {
            char escape = '\0';
            if (p.escape != kNoNode) {
                if (MsgNo rc = evaluate(p.escape)) return rc;
                const Value& e = tree_.node(p.escape).value;
                if (e.isNull || e.text.size() != 1) return fail(kMsgInvalidOperand, "ESCAPE");
                escape = e.text[0];
            }
            truth = matchLike(tree_.node(p.left).value.text, right.value.text, escape, false);
            if (p.op == Operator::NotLike) truth = !truth;
            break;
        }
        default:
            if (MsgNo rc = compareNodes(p.left, p.op, p.right, truth)) return rc;
            break;
    }
    setBool(tree_.node(n).value, truth);
    return kMsgNone;
}

MsgNo Executor::subqueryValues(NodeIndex select, const std::vector<Value>*& values) {
    SelectRun& run = runOf(select);
    if (!run.correlated && run.cachedValues) {
        values = &*run.cachedValues;
        return kMsgNone;
    }
    if (!run.cachedValues) run.cachedValues.emplace();
    std::vector<Value>& rows = *run.cachedValues;
    rows.clear();
    if (MsgNo rc = runSelect(select)) return rc;
    const NodeIndex item =
        tree_.fields<ListItemFields>(tree_.fields<SelectFields>(select).firstItem).expression;
    for (;;) {
        const MsgNo rc = nextSelectRow(select);
        if (rc == kMsgNoDataFound) break;
        if (rc != kMsgNone) return rc;
        if (MsgNo e = evaluate(item)) return e;
        rows.push_back(tree_.node(item).value);
    }
    values = &rows;
    return kMsgNone;
}

MsgNo Executor::evaluateQuantified(NodeIndex n, bool& known, bool& truth) {
    const auto p = tree_.fields<PredicateFields>(n);
    const std::vector<Value>* rows = nullptr;
    if (MsgNo rc = subqueryValues(p.right, rows)) return rc;
    if (p.quantifier == Quantifier::SingleRow && rows->size() > 1) return kMsgSubqueryRows;
    const Value& left = tree_.node(p.left).value;
    bool sawNull = false;
    for (const Value& row : *rows) {
        if (row.isNull) {
            sawNull = true;
            continue;
        }
        int order = 0;
        bool equalityOnly = false;
        if (compareValues(left, row, order, equalityOnly) != kMsgNone)
            return fail(kMsgInternalError, {});
        const bool r = comparisonHolds(p.op, order);
        if (p.quantifier == Quantifier::All && !r) {
            known = true;
            truth = false;
            return kMsgNone;
        }
        if (p.quantifier == Quantifier::Any && r) {
            known = true;
            truth = true;
            return kMsgNone;
        }
        if (p.quantifier == Quantifier::SingleRow) {
            known = true;
            truth = r;
            return kMsgNone;
        }
    }
    // No row decided: a NULL met leaves the answer unknown; otherwise ALL holds and ANY does not.
    // A single-row subquery without rows gives NULL.
    known = !sawNull && p.quantifier != Quantifier::SingleRow;
    truth = p.quantifier == Quantifier::All;
    return kMsgNone;
}

}  // namespace kelvra
