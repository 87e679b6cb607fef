#include "sql/same_expression.h"

namespace kelvra {

bool sameExpression(const ParseTree& tree, NodeIndex a, NodeIndex b) {
    if (a == kNoNode || b == kNoNode) return a == b;
    const ParseNode& x = tree.node(a);
    const ParseNode& y = tree.node(b);
    if (x.kind != y.kind || !(x.type == y.type)) return false;
    switch (x.kind) {
        case NodeKind::ColumnRef: {
            const auto& p = x.as<ColumnRefFields>();
            const auto& q = y.as<ColumnRefFields>();
            return p.tableRef == q.tableRef && p.column == q.column;
        }
        case NodeKind::ArithOp: {
            const auto& p = x.as<ArithOpFields>();
            const auto& q = y.as<ArithOpFields>();
            return p.op == q.op && sameExpression(tree, p.left, q.left) &&
                   sameExpression(tree, p.right, q.right);
        }
        case NodeKind::ScalarFunction: {
            const auto& p = x.as<ScalarFunctionFields>();
            const auto& q = y.as<ScalarFunctionFields>();
            if (p.function != q.function || p.interval != q.interval ||
                p.extractField != q.extractField) {
                return false;
            }
            NodeIndex i = p.firstArgument;
            NodeIndex j = q.firstArgument;
            for (; i != kNoNode && j != kNoNode;
                 i = tree.fields<ListItemFields>(i).next, j = tree.fields<ListItemFields>(j).next) {
                if (!sameExpression(tree, tree.fields<ListItemFields>(i).expression,
                                    tree.fields<ListItemFields>(j).expression)) {
                    return false;
                }
            }
            return i == j;
        }
        case NodeKind::StringLiteral:
            return tree.text(x.as<StringLiteralFields>().text) ==
                   tree.text(y.as<StringLiteralFields>().text);
        case NodeKind::NumberLiteral:
            return x.as<NumberLiteralFields>().value == y.as<NumberLiteralFields>().value &&
                   tree.text(x.as<NumberLiteralFields>().text) ==
                       tree.text(y.as<NumberLiteralFields>().text);
        case NodeKind::DateLiteral:
            return x.as<DateLiteralFields>().date == y.as<DateLiteralFields>().date;
        case NodeKind::TimeLiteral:
            return x.as<TimeLiteralFields>().time == y.as<TimeLiteralFields>().time;
        case NodeKind::TimestampLiteral:
            return x.as<TimestampLiteralFields>().timestamp ==
                   y.as<TimestampLiteralFields>().timestamp;
        case NodeKind::NullLiteral:
        case NodeKind::UserName:
            return true;
        default:
            return false;
    }
}

}  // namespace kelvra
