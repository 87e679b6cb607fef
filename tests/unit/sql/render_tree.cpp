#include "render_tree.h"

#include <cmath>
#include <cstdlib>

#include "convert/datetime_text.h"

namespace kelvra {

namespace {

class Renderer {
  public:
    explicit Renderer(const ParseTree& tree) : tree_(tree) {}

    std::string out;

    void name(StringIndex index) {
        const std::string_view text = tree_.text(index);
        bool plain = !text.empty();
        for (char c : text) {
            const bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                              (c >= '0' && c <= '9') || c == '_';
            plain = plain && word;
        }
        if (plain) {
            out += text;
        } else {
            out += '[';
            out += text;
            out += ']';
        }
    }

    // A chain of ListItems (a select list or a value list).
    void items(NodeIndex first) {
        out += '[';
        for (NodeIndex i = first; i != kNoNode; i = tree_.fields<ListItemFields>(i).next) {
            const auto& item = tree_.fields<ListItemFields>(i);
            if (i != first) out += ", ";
            if (item.expression == kNoNode) {
                name(item.alias);
                out += ".*";
                continue;
            }
            node(item.expression);
            if (item.alias != kNoString) {
                out += " AS ";
                name(item.alias);
            }
        }
        out += ']';
    }

    void table(NodeIndex ref) {
        const auto& t = tree_.fields<TableRefFields>(ref);
        name(t.name);
        if (t.alias != kNoString) {
            out += " AS ";
            name(t.alias);
        }
    }

    void from(NodeIndex first) {
        out += '[';
        for (NodeIndex i = first; i != kNoNode; i = tree_.fields<FromItemFields>(i).next) {
            if (i != first) out += ", ";
            const NodeIndex ref = tree_.fields<FromItemFields>(i).tableRef;
            const auto& t = tree_.fields<TableRefFields>(ref);
            if (t.on == kNoNode && t.leftFirstFromItem == kNoNode) {
                table(ref);
                continue;
            }
            out += t.joinKind == JoinKind::LeftOuter ? "(LEFT " : "(INNER ";
            table(ref);
            out += " ^";
            if (t.leftFirstFromItem != kNoNode) {
                name(tree_
                         .fields<TableRefFields>(
                             tree_.fields<FromItemFields>(t.leftFirstFromItem).tableRef)
                         .name);
            }
            out += " ON ";
            node(t.on);
            out += ')';
        }
        out += ']';
    }

    void clause(const char* keyword, NodeIndex condition) {
        if (condition == kNoNode) return;
        out += keyword;
        node(condition);
    }

    void sortItems(NodeIndex first) {
        out += '[';
        for (NodeIndex i = first; i != kNoNode; i = tree_.fields<SortItemFields>(i).next) {
            if (i != first) out += ", ";
            node(tree_.fields<SortItemFields>(i).expression);
            if (tree_.fields<SortItemFields>(i).descending) out += " DESC";
        }
        out += ']';
    }

    void select(NodeIndex index) {
        const auto& s = tree_.fields<SelectFields>(index);
        out += "(SELECT ";
        if (s.distinct) out += "DISTINCT ";
        if (s.top >= 0) out += "TOP " + std::to_string(s.top) + " ";
        if (s.firstItem == kNoNode) {
            out += '*';
        } else {
            items(s.firstItem);
        }
        out += " FROM ";
        from(s.firstFrom);
        clause(" WHERE ", s.where);
        if (s.firstGroup != kNoNode) {
            out += " GROUP BY [";
            for (NodeIndex i = s.firstGroup; i != kNoNode;
                 i = tree_.fields<GroupItemFields>(i).next) {
                if (i != s.firstGroup) out += ", ";
                node(tree_.fields<GroupItemFields>(i).columnRef);
            }
            out += ']';
        }
        clause(" HAVING ", s.having);
        if (s.firstOrder != kNoNode) {
            out += " ORDER BY ";
            sortItems(s.firstOrder);
        }
        out += ')';
    }

    void number(NodeIndex index) {
        const auto& n = tree_.fields<NumberLiteralFields>(index);
        const TypeDesc& type = tree_.node(index).type;
        const std::string text(tree_.text(n.text));
        out += text;
        if (type.valueType == ValueType::Numeric) {
            out +=
                ":num(" + std::to_string(type.columnSize) + "," + std::to_string(type.scale) + ")";
        } else if (type.valueType == ValueType::Double) {
            out += ":dbl";
        } else if (!(type == TypeDesc{ValueType::Integer, 4, 10, 0})) {
            out += ":?type";
        }
        // The value shows only when it is not what the text says.
        const double written = std::strtod(text.c_str(), nullptr);
        if (!(std::fabs(n.value - written) <= 1e-12 * std::fabs(written))) {
            out += "=" + std::to_string(n.value);
        }
    }

    void predicate(NodeIndex index) {
        static const char* const kOps[] = {"<assignment>",
                                           "=",
                                           "<>",
                                           "<=",
                                           "<",
                                           ">=",
                                           ">",
                                           "BETWEEN",
                                           "NOT BETWEEN",
                                           "IN",
                                           "NOT IN",
                                           "LIKE",
                                           "NOT LIKE",
                                           "neg",
                                           "+",
                                           "-",
                                           "*",
                                           "/",
                                           "NOT",
                                           "AND",
                                           "OR",
                                           "EXISTS"};
        static const char* const kQuantifiers[] = {"", " ALL", " ANY", " ONE", ""};
        const auto& p = tree_.fields<PredicateFields>(index);
        out += '(';
        out += kOps[static_cast<int>(p.op)];
        out += kQuantifiers[static_cast<int>(p.quantifier)];
        if ((p.op == Operator::Exists) != (p.quantifier == Quantifier::Exists)) out += "?quant";
        out += ' ';
        node(p.left);
        if (p.right != kNoNode) {
            out += ' ';
            if (tree_.node(p.right).kind == NodeKind::ListItem) {
                items(p.right);
            } else {
                node(p.right);
            }
        }
        if (p.third != kNoNode) {
            out += ' ';
            node(p.third);
        }
        if (p.escape != kNoNode) {
            out += " ESCAPE ";
            node(p.escape);
        }
        out += ')';
    }

    void node(NodeIndex index) {
        if (index == kNoNode) {
            out += "-";
            return;
        }
        const ParseNode& n = tree_.node(index);
        switch (n.kind) {
            case NodeKind::Select:
                return select(index);
            case NodeKind::Insert: {
                const auto& f = n.as<InsertFields>();
                out += "(INSERT ";
                table(f.tableRef);
                if (f.firstColumn != kNoNode) {
                    out += " [";
                    for (NodeIndex i = f.firstColumn; i != kNoNode;
                         i = tree_.fields<InsertColumnFields>(i).next) {
                        if (i != f.firstColumn) out += ", ";
                        node(tree_.fields<InsertColumnFields>(i).columnRef);
                    }
                    out += ']';
                }
                if (tree_.node(f.source).kind == NodeKind::Select) {
                    out += ' ';
                    node(f.source);
                } else {
                    out += " VALUES ";
                    items(f.source);
                }
                out += ')';
                return;
            }
            case NodeKind::Update: {
                const auto& f = n.as<UpdateFields>();
                out += "(UPDATE ";
                table(f.tableRef);
                out += " SET [";
                for (NodeIndex i = f.firstAssignment; i != kNoNode;
                     i = tree_.fields<AssignmentFields>(i).next) {
                    if (i != f.firstAssignment) out += ", ";
                    node(tree_.fields<AssignmentFields>(i).columnRef);
                    out += " = ";
                    node(tree_.fields<AssignmentFields>(i).value);
                }
                out += ']';
                clause(" WHERE ", f.where);
                out += ')';
                return;
            }
            case NodeKind::Delete:
                out += "(DELETE ";
                table(n.as<DeleteFields>().tableRef);
                clause(" WHERE ", n.as<DeleteFields>().where);
                out += ')';
                return;
            case NodeKind::CreateTable: {
                out += "(CREATE TABLE ";
                name(n.as<CreateTableFields>().name);
                out += " [";
                const NodeIndex first = n.as<CreateTableFields>().firstColumnDef;
                for (NodeIndex i = first; i != kNoNode; i = tree_.fields<ColumnDefFields>(i).next) {
                    const auto& def = tree_.fields<ColumnDefFields>(i);
                    if (i != first) out += ", ";
                    name(def.name);
                    out += ' ';
                    name(def.typeName);
                    if (def.sizeCount > 0) out += "(" + std::to_string(def.size1);
                    if (def.sizeCount > 1) out += "," + std::to_string(def.size2);
                    if (def.sizeCount > 0) out += ")";
                }
                out += "])";
                return;
            }
            case NodeKind::CreateIndex: {
                const auto& f = n.as<CreateIndexFields>();
                out += f.unique ? "(CREATE UNIQUE INDEX " : "(CREATE INDEX ";
                name(f.name);
                out += " ON ";
                table(f.tableRef);
                out += ' ';
                sortItems(f.firstSortItem);
                out += ')';
                return;
            }
            case NodeKind::DropTable:
                out += "(DROP TABLE ";
                name(n.as<DropTableFields>().name);
                out += ')';
                return;
            case NodeKind::DropIndex:
                out += "(DROP INDEX ";
                name(n.as<DropIndexFields>().name);
                out += ')';
                return;
            case NodeKind::PassThrough:
                out += "(SQL)";
                return;
            case NodeKind::BoolOp: {
                const auto& f = n.as<BoolOpFields>();
                out += f.op == Operator::Not ? "(NOT " : f.op == Operator::And ? "(AND " : "(OR ";
                node(f.left);
                if (f.op != Operator::Not) {
                    out += ' ';
                    node(f.right);
                }
                out += ')';
                return;
            }
            case NodeKind::Predicate:
                return predicate(index);
            case NodeKind::ArithOp: {
                static const char* const kArith[] = {"(- ", "(+ ", "(- ", "(* ", "(/ "};
                const auto& f = n.as<ArithOpFields>();
                out += kArith[static_cast<int>(f.op) - static_cast<int>(Operator::Negate)];
                node(f.left);
                if (f.op != Operator::Negate) {
                    out += ' ';
                    node(f.right);
                }
                out += ')';
                return;
            }
            case NodeKind::Aggregate: {
                static const char* const kNames[] = {"", "AVG(", "COUNT(", "MAX(", "MIN(", "SUM("};
                const auto& f = n.as<AggregateFields>();
                out += kNames[static_cast<int>(f.function)];
                if (f.distinct) out += "DISTINCT ";
                if (f.argument == kNoNode) {
                    out += '*';
                } else {
                    node(f.argument);
                }
                out += ')';
                return;
            }
            case NodeKind::ColumnRef:
                if (n.as<ColumnRefFields>().qualifier != kNoString) {
                    name(n.as<ColumnRefFields>().qualifier);
                    out += '.';
                }
                name(n.as<ColumnRefFields>().name);
                return;
            case NodeKind::StringLiteral:
                out += '\'';
                for (char c : tree_.text(n.as<StringLiteralFields>().text)) {
                    out += c;
                    if (c == '\'') out += c;
                }
                out += '\'';
                return;
            case NodeKind::NumberLiteral:
                return number(index);
            case NodeKind::Parameter:
                out += "?" + std::to_string(n.as<ParameterFields>().number);
                return;
            case NodeKind::UserName:
                out += "USER";
                return;
            case NodeKind::NullLiteral:
                out += "NULL";
                return;
            case NodeKind::DateLiteral:
                out += "{d " + dateText(n.as<DateLiteralFields>().date) + "}";
                return;
            case NodeKind::TimeLiteral:
                out += "{t " + timeText(n.as<TimeLiteralFields>().time) + "}";
                return;
            case NodeKind::TimestampLiteral:
                out += "{ts " + timestampText(n.as<TimestampLiteralFields>().timestamp) + "}";
                return;
            case NodeKind::ScalarFunction:
                out += "fn:";
                out += tree_.text(n.as<ScalarFunctionFields>().name);
                out += '(';
                for (NodeIndex i = n.as<ScalarFunctionFields>().firstArgument; i != kNoNode;
                     i = tree_.fields<ListItemFields>(i).next) {
                    if (i != n.as<ScalarFunctionFields>().firstArgument) out += ", ";
                    node(tree_.fields<ListItemFields>(i).expression);
                }
                out += ')';
                return;
            default:
                out += "?kind" + std::to_string(static_cast<int>(n.kind));
                return;
        }
    }

  private:
    const ParseTree& tree_;
};

}  // namespace

std::string renderStatement(const ParseTree& tree) {
    if (tree.empty() || tree.node(0).kind != NodeKind::Root) return "?no root";
    Renderer r(tree);
    r.node(tree.root().statement);
    return r.out;
}

std::string renderParameters(const ParseTree& tree) {
    int count = 0;
    for (NodeIndex i = tree.root().firstParameter; i != kNoNode;
         i = tree.fields<ParameterFields>(i).next) {
        if (tree.fields<ParameterFields>(i).number != ++count) {
            return "!" + std::to_string(count);
        }
    }
    return std::to_string(count);
}

}  // namespace kelvra
