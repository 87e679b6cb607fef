#include "engine/select_run.h"

#include <algorithm>
#include <unordered_set>

namespace kelvra {

Executor::SelectRun::SelectRun(const ParseTree& tree, NodeIndex select) {
    std::vector<NodeIndex> fromItems;
    for (NodeIndex fi = tree.fields<SelectFields>(select).firstFrom; fi != kNoNode;
         fi = tree.fields<FromItemFields>(fi).next) {
        fromItems.push_back(fi);
        tables.push_back(tree.fields<FromItemFields>(fi).tableRef);
    }
    const std::size_t n = tables.size();
    nullWith.assign(n, {});
    completes.assign(n, {});
    for (std::size_t x = 0; x < n; ++x) {
        const auto& start = tree.fields<TableRefFields>(tables[x]);
        if (start.joinKind != JoinKind::LeftOuter || start.on == kNoNode) continue;
        // The right operand runs on while later tables join to something inside it.
        std::size_t end = x;
        for (std::size_t y = x + 1; y < n; ++y) {
            const auto left = std::find(fromItems.begin(), fromItems.end(),
                                        tree.fields<TableRefFields>(tables[y]).leftFirstFromItem);
            if (left == fromItems.end() || static_cast<std::size_t>(left - fromItems.begin()) < x) {
                break;
            }
            nullWith[y].push_back(x);
            end = y;
        }
        completes[end].push_back(x);
    }

    // Correlated: some column of the subquery (or of a subquery inside it) names a table of an
    // enclosing query.
    std::unordered_set<NodeIndex> own;
    std::vector<NodeIndex> columns;
    walkSubtree(tree, select, [&](NodeIndex node) {
        const ParseNode& p = tree.node(node);
        if (p.kind == NodeKind::TableRef) own.insert(node);
        if (p.kind == NodeKind::ColumnRef) columns.push_back(node);
    });
    correlated = std::any_of(columns.begin(), columns.end(), [&](NodeIndex c) {
        return own.count(tree.fields<ColumnRefFields>(c).tableRef) == 0;
    });
}

}  // namespace kelvra
