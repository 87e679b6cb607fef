#include "render_tree.h"

#include <cmath>
#include <cstdlib>
#include <stdexcept>

#include "convert/datetime_text.h"

namespace kelvra {

namespace {

const char* const kOperators[] = {
    "<assignment>", "=",      "<>",   "<=",       "<", ">=", ">", "BETWEEN", "NOT BETWEEN",
    "IN",           "NOT IN", "LIKE", "NOT LIKE", "-", "+",  "-", "*",       "/",
    "NOT",          "AND",    "OR",   "EXISTS"};
const char* const kQuantifiers[] = {"", " ALL", " ANY", " ONE", ""};
const char* const kAggregates[] = {"", "AVG(", "COUNT(", "MAX(", "MIN(", "SUM("};

[[noreturn]] void malformed(const std::string& what) {
    throw std::logic_error("malformed tree: " + what);
}

class Renderer {
  public:
    explicit Renderer(const ParseTree& tree) : t_(tree) {}
    std::string out;

    void node(NodeIndex index) {
        if (index == kNoNode) {
            out += '-';
            return;
        }
        const ParseNode& n = t_.node(index);
        switch (n.kind) {
            case NodeKind::Select:
                return select(n.as<SelectFields>());
            case NodeKind::Insert: {
                const auto& f = n.as<InsertFields>();
                out += "(INSERT ";
                table(f.tableRef);
                if (f.firstColumn != kNoNode) {
                    out += ' ';
                    list(f.firstColumn,
                         [&](NodeIndex i) { node(t_.fields<InsertColumnFields>(i).columnRef); });
                }
                out += t_.node(f.source).kind == NodeKind::Select ? " " : " VALUES ";
                node(f.source);
                out += ')';
                return;
            }
            case NodeKind::Update: {
                const auto& f = n.as<UpdateFields>();
                out += "(UPDATE ";
                table(f.tableRef);
                out += " SET ";
                list(f.firstAssignment, [&](NodeIndex i) {
                    node(t_.fields<AssignmentFields>(i).columnRef);
                    out += " = ";
                    node(t_.fields<AssignmentFields>(i).value);
                });
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
            case NodeKind::CreateTable:
                out += "(CREATE TABLE ";
                name(n.as<CreateTableFields>().name);
                out += ' ';
                list(n.as<CreateTableFields>().firstColumnDef, [&](NodeIndex i) {
                    const auto& d = t_.fields<ColumnDefFields>(i);
                    name(d.name);
                    out += ' ';
                    name(d.typeName);
                    if (d.sizeCount > 0) out += "(" + std::to_string(d.size1);
                    if (d.sizeCount > 1) out += "," + std::to_string(d.size2);
                    if (d.sizeCount > 0) out += ")";
                });
                out += ')';
                return;
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
            case NodeKind::DropIndex:
                out += n.kind == NodeKind::DropTable ? "(DROP TABLE " : "(DROP INDEX ";
                name(n.kind == NodeKind::DropTable ? n.as<DropTableFields>().name
                                                   : n.as<DropIndexFields>().name);
                out += ')';
                return;
            case NodeKind::PassThrough:
                out += "(SQL)";
                return;
            case NodeKind::ListItem:
                return items(index);
            case NodeKind::BoolOp: {
                const auto& f = n.as<BoolOpFields>();
                operation(kOperators[static_cast<int>(f.op)], {f.left, f.right});
                return;
            }
            case NodeKind::ArithOp: {
                const auto& f = n.as<ArithOpFields>();
                operation(kOperators[static_cast<int>(f.op)], {f.left, f.right});
                return;
            }
            case NodeKind::Predicate: {
                const auto& p = n.as<PredicateFields>();
                if ((p.op == Operator::Exists) != (p.quantifier == Quantifier::Exists)) {
                    malformed("EXISTS without its quantifier");
                }
                out += '(';
                out += kOperators[static_cast<int>(p.op)];
                out += kQuantifiers[static_cast<int>(p.quantifier)];
                for (NodeIndex operand : {p.left, p.right, p.third}) {
                    if (operand == kNoNode) continue;
                    out += ' ';
                    node(operand);
                }
                if (p.escape != kNoNode) {
                    out += " ESCAPE ";
                    node(p.escape);
                }
                out += ')';
                return;
            }
            case NodeKind::Aggregate: {
                const auto& f = n.as<AggregateFields>();
                out += kAggregates[static_cast<int>(f.function)];
                if (f.distinct) out += "DISTINCT ";
                if (f.argument == kNoNode) out += '*';
                if (f.argument != kNoNode) node(f.argument);
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
                for (char c : t_.text(n.as<StringLiteralFields>().text)) {
                    out += c;
                    if (c == '\'') out += c;
                }
                out += '\'';
                return;
            case NodeKind::NumberLiteral:
                return number(n);
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
                out += t_.text(n.as<ScalarFunctionFields>().name);
                out += '(';
                for (NodeIndex i = n.as<ScalarFunctionFields>().firstArgument; i != kNoNode;
                     i = t_.fields<ListItemFields>(i).next) {
                    if (i != n.as<ScalarFunctionFields>().firstArgument) out += ", ";
                    node(t_.fields<ListItemFields>(i).expression);
                }
                out += ')';
                return;
            default:
                malformed("node kind " + std::to_string(static_cast<int>(n.kind)));
        }
    }

  private:
    // A name as it is, or in brackets when it holds anything but letters, digits and "_".
    void name(StringIndex index) {
        const std::string_view text = t_.text(index);
        bool plain = !text.empty();
        for (char c : text) {
            plain = plain && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                              (c >= '0' && c <= '9') || c == '_');
        }
        out += plain ? "" : "[";
        out += text;
        out += plain ? "" : "]";
    }

    NodeIndex next(NodeIndex i) const {
        const ParseNode& n = t_.node(i);
        switch (n.kind) {
            case NodeKind::ListItem:
                return n.as<ListItemFields>().next;
            case NodeKind::FromItem:
                return n.as<FromItemFields>().next;
            case NodeKind::SortItem:
                return n.as<SortItemFields>().next;
            case NodeKind::GroupItem:
                return n.as<GroupItemFields>().next;
            case NodeKind::Assignment:
                return n.as<AssignmentFields>().next;
            case NodeKind::InsertColumn:
                return n.as<InsertColumnFields>().next;
            case NodeKind::ColumnDef:
                return n.as<ColumnDefFields>().next;
            default:
                return kNoNode;
        }
    }

    // A chain of list nodes as "[a, b, c]".
    template <typename Each>
    void list(NodeIndex first, Each each) {
        out += '[';
        for (NodeIndex i = first; i != kNoNode; i = next(i)) {
            if (i != first) out += ", ";
            each(i);
        }
        out += ']';
    }

    void operation(const char* op, std::initializer_list<NodeIndex> operands) {
        out += '(';
        out += op;
        for (NodeIndex operand : operands) {
            if (operand == kNoNode) continue;
            out += ' ';
            node(operand);
        }
        out += ')';
    }

    void items(NodeIndex first) {
        list(first, [&](NodeIndex i) {
            const auto& item = t_.fields<ListItemFields>(i);
            if (item.expression == kNoNode) {  // table.*
                name(item.alias);
                out += ".*";
                return;
            }
            node(item.expression);
            if (item.alias != kNoString) out += " AS ";
            if (item.alias != kNoString) name(item.alias);
        });
    }

    void table(NodeIndex ref) {
        const auto& t = t_.fields<TableRefFields>(ref);
        name(t.name);
        if (t.alias != kNoString) out += " AS ";
        if (t.alias != kNoString) name(t.alias);
    }

    void clause(const char* keyword, NodeIndex condition) {
        if (condition == kNoNode) return;
        out += keyword;
        node(condition);
    }

    void sortItems(NodeIndex first) {
        list(first, [&](NodeIndex i) {
            node(t_.fields<SortItemFields>(i).expression);
            if (t_.fields<SortItemFields>(i).descending) out += " DESC";
        });
    }

    // A joined table as (LEFT t ^x ON c): t joined to the side whose first table is x.
    void select(const SelectFields& s) {
        out += "(SELECT ";
        if (s.distinct) out += "DISTINCT ";
        if (s.top >= 0) out += "TOP " + std::to_string(s.top) + " ";
        if (s.firstItem == kNoNode) out += '*';
        if (s.firstItem != kNoNode) items(s.firstItem);
        out += " FROM ";
        list(s.firstFrom, [&](NodeIndex i) {
            const NodeIndex ref = t_.fields<FromItemFields>(i).tableRef;
            const auto& t = t_.fields<TableRefFields>(ref);
            if (t.on == kNoNode && t.leftFirstFromItem == kNoNode) return table(ref);
            out += t.joinKind == JoinKind::LeftOuter ? "(LEFT " : "(INNER ";
            table(ref);
            out += " ^";
            if (t.leftFirstFromItem != kNoNode) {
                name(t_.fields<TableRefFields>(
                           t_.fields<FromItemFields>(t.leftFirstFromItem).tableRef)
                         .name);
            }
            clause(" ON ", t.on);
            out += ')';
        });
        clause(" WHERE ", s.where);
        if (s.firstGroup != kNoNode) {
            out += " GROUP BY ";
            list(s.firstGroup, [&](NodeIndex i) { node(t_.fields<GroupItemFields>(i).expression); });
        }
        clause(" HAVING ", s.having);
        if (s.firstOrder != kNoNode) out += " ORDER BY ";
        if (s.firstOrder != kNoNode) sortItems(s.firstOrder);
        out += ')';
    }

    // The text as written, the type when it is not INTEGER, the value when the text does not
    // say it.
    void number(const ParseNode& n) {
        const auto& f = n.as<NumberLiteralFields>();
        const std::string text(t_.text(f.text));
        out += text;
        if (n.type.valueType == ValueType::Numeric) {
            out += ":num(" + std::to_string(n.type.columnSize) + "," +
                   std::to_string(n.type.scale) + ")";
        } else if (n.type.valueType == ValueType::Double) {
            out += ":dbl";
        } else if (!(n.type == TypeDesc{ValueType::Integer, 4, 10, 0})) {
            malformed("number type");
        }
        const double written = std::strtod(text.c_str(), nullptr);
        if (!(std::fabs(f.value - written) <= 1e-12 * std::fabs(written))) {
            out += "=" + std::to_string(f.value);
        }
    }

    const ParseTree& t_;
};

}  // namespace

std::string renderStatement(const ParseTree& tree) {
    if (tree.empty() || tree.node(0).kind != NodeKind::Root) malformed("no root");
    Renderer r(tree);
    r.node(tree.root().statement);
    return r.out;
}

std::string renderParameters(const ParseTree& tree) {
    int count = 0;
    for (NodeIndex i = tree.root().firstParameter; i != kNoNode;
         i = tree.fields<ParameterFields>(i).next) {
        if (tree.fields<ParameterFields>(i).number != ++count) return "!" + std::to_string(count);
    }
    return std::to_string(count);
}

}  // namespace kelvra
