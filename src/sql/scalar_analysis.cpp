#include "sql/scalar_analysis.h"

#include <vector>

#include "engine/scalar_functions.h"

namespace kelvra {

MsgNo analyzeScalarFunction(ParseTree& tree, NodeIndex call,
                            std::string& argument,
                            const std::function<MsgNo(NodeIndex)>& analyze) {
    const std::string name(tree.text(tree.fields<ScalarFunctionFields>(call).name));
    std::vector<NodeIndex> items;
    for (NodeIndex li = tree.fields<ScalarFunctionFields>(call).firstArgument; li != kNoNode;
         li = tree.fields<ListItemFields>(li).next) {
        items.push_back(li);
    }
    // The special leading word (an interval, an EXTRACT field, a CONVERT target) is a bare
    // word, not a column: it leaves the argument list.
    std::string word;
    const int wordIndex = scalarWordArgument(name, items.size());
    if (wordIndex >= 0) {
        const auto at = static_cast<std::size_t>(wordIndex);
        const NodeIndex e = tree.fields<ListItemFields>(items[at]).expression;
        if (tree.node(e).kind == NodeKind::ColumnRef &&
            tree.fields<ColumnRefFields>(e).qualifier == kNoString) {
            word = tree.text(tree.fields<ColumnRefFields>(e).name);
        }
        const NodeIndex after = tree.fields<ListItemFields>(items[at]).next;
        if (at == 0) {
            tree.fields<ScalarFunctionFields>(call).firstArgument = after;
        } else {
            tree.fields<ListItemFields>(items[at - 1]).next = after;
        }
        items.erase(items.begin() + wordIndex);
    }
    if (MsgNo rc = checkScalarFunctionHead(name, word, argument)) return rc;

    std::vector<ScalarArgument> arguments;
    for (NodeIndex li : items) {
        const NodeIndex e = tree.fields<ListItemFields>(li).expression;
        if (MsgNo rc = analyze(e)) return rc;
        const ParseNode& node = tree.node(e);
        arguments.push_back(ScalarArgument{node.type, node.kind == NodeKind::Parameter,
                                           node.kind == NodeKind::NullLiteral});
    }
    ScalarCall resolved;
    TypeDesc result;
    // Types are held in ODBC 2 codes inside the driver; the boundary maps them.
    if (MsgNo rc = resolveScalarFunction(name, word, arguments, 2, resolved, result, argument)) {
        return rc;
    }
    auto& f = tree.fields<ScalarFunctionFields>(call);
    f.function = resolved.function;
    f.interval = resolved.interval;
    f.extractField = resolved.extractField;
    tree.node(call).type = result;
    return kMsgNone;
}

}  // namespace kelvra
