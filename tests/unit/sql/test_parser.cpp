// The parser on hostile and very large input: nesting ends in a diagnostic, long chains parse
// without recursion per element and keep their shape.
#include <gtest/gtest.h>

#include <string>

#include "render_tree.h"
#include "sql/parser.h"

namespace kelvra {
namespace {

std::string repeat(std::string_view text, int times) {
    std::string out;
    out.reserve(text.size() * static_cast<size_t>(times));
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

const std::string kTooDeep = "nesting deeper than " + std::to_string(kMaxNestingDepth) + " levels";

TEST(Parser, DeepNestingEndsInADiagnostic) {
    struct Form {
        const char* prefix;
        const char* open;
        const char* middle;
        const char* close;
        const char* suffix;
    };
    const Form forms[] = {
        {"SELECT ", "(", "a", ")", " FROM t"},
        {"SELECT a FROM t WHERE ", "(", "a = 1", ")", ""},
        {"SELECT a FROM t WHERE ", "NOT (", "a = 1", ")", ""},
        {"SELECT ", "- (", "a", ")", " FROM t"},
        {"SELECT ", "SUM(", "a", ")", " FROM t"},
        {"SELECT ", "{fn F(", "a", ")}", " FROM t"},
        {"SELECT ", "--(*vendor(Microsoft),product(ODBC) fn F(", "a", ") *)--", " FROM t"},
        {"SELECT a FROM t WHERE ", "a IN (SELECT a FROM t WHERE ", "a = 1", ")", ""},
        {"SELECT a FROM t WHERE ", "EXISTS (SELECT a FROM t WHERE ", "a = 1", ")", ""},
        {"SELECT a FROM ", "(", "t", ")", ""},
        {"SELECT a FROM ", "x JOIN ", "y", " ON a = b", ""},
        {"SELECT ", "a + ", "a", "", " FROM t"},
        {"SELECT ", "a * ", "a", "", " FROM t"},
    };
    ParseTree tree;
    for (const Form& f : forms) {
        for (const int levels : {20, 100000}) {
            const std::string text =
                f.prefix + repeat(f.open, levels) + f.middle + repeat(f.close, levels) + f.suffix;
            SCOPED_TRACE(std::string(f.open) + " x " + std::to_string(levels));
            StatementFacts facts;
            const MsgNo result = ParseStatement(text, tree, facts);
            if (levels == 20) {
                EXPECT_EQ(result, kMsgNone) << facts.argument;
            } else {
                EXPECT_EQ(result, kMsgElementTooLarge);
                EXPECT_EQ(facts.argument, kTooDeep);
                EXPECT_TRUE(tree.empty());
            }
        }
    }
}

TEST(Parser, NestingLimitIsExact) {
    // The statement's query is one level, the select item's expression one, each "(" one.
    ParseTree tree;
    StatementFacts facts;
    const auto nested = [](int n) {
        return "SELECT " + repeat("(", n) + "a" + repeat(")", n) + " FROM t";
    };
    EXPECT_EQ(ParseStatement(nested(kMaxNestingDepth - 2), tree, facts), kMsgNone);
    EXPECT_EQ(ParseStatement(nested(kMaxNestingDepth - 1), tree, facts), kMsgElementTooLarge);
}

// Follows a right-nested chain of one boolean operator; the number of operands.
int boolChainLength(const ParseTree& tree, NodeIndex node, Operator op) {
    int operands = 1;
    while (tree.node(node).kind == NodeKind::BoolOp && tree.fields<BoolOpFields>(node).op == op) {
        const auto& f = tree.fields<BoolOpFields>(node);
        if (tree.node(f.left).kind != NodeKind::Predicate) return -1;  // left is always a leaf
        ++operands;
        node = f.right;
    }
    return tree.node(node).kind == NodeKind::Predicate ? operands : -1;
}

TEST(Parser, LongChainsKeepTheirShape) {
    constexpr int n = 10000;
    ParseTree tree;
    StatementFacts facts;
    for (const auto& [keyword, op] : {std::pair{" OR ", Operator::Or}, {" AND ", Operator::And}}) {
        const std::string text =
            "SELECT a FROM t WHERE a = 1" + repeat(std::string(keyword) + "a = 1", n - 1);
        ASSERT_EQ(ParseStatement(text, tree, facts), kMsgNone) << keyword;
        const NodeIndex where = tree.fields<SelectFields>(tree.root().statement).where;
        EXPECT_EQ(boolChainLength(tree, where, op), n) << keyword;
    }

    // 100,000 values in one IN list; the most parameters, numbered in order.
    ASSERT_EQ(
        ParseStatement("SELECT a FROM t WHERE a IN (1" + repeat(", 1", 99999) + ")", tree, facts),
        kMsgNone);
    const NodeIndex list = tree.fields<SelectFields>(tree.root().statement).where;
    int values = 0;
    for (NodeIndex i = tree.fields<PredicateFields>(list).right; i != kNoNode;
         i = tree.fields<ListItemFields>(i).next) {
        ++values;
    }
    EXPECT_EQ(values, 100000);
    const std::string in = "SELECT a FROM t WHERE a IN (?" + repeat(", ?", 65534) + ")";
    ASSERT_EQ(ParseStatement(in, tree, facts), kMsgNone);
    EXPECT_EQ(renderParameters(tree), "65535");
    EXPECT_EQ(ParseStatement(in + " OR a = ?", tree, facts), kMsgElementTooLarge);
    EXPECT_EQ(facts.argument, "more than 65535 parameters");

    // An unparenthesised chain of joins: every table joined to the side the first table heads.
    const std::string joins = "SELECT a FROM t0" + repeat(" LEFT JOIN t ON a = b", n);
    ASSERT_EQ(ParseStatement(joins, tree, facts), kMsgNone);
    const NodeIndex first = tree.fields<SelectFields>(tree.root().statement).firstFrom;
    int tables = 0;
    for (NodeIndex i = first; i != kNoNode; i = tree.fields<FromItemFields>(i).next, ++tables) {
        const auto& t = tree.fields<TableRefFields>(tree.fields<FromItemFields>(i).tableRef);
        EXPECT_EQ(t.leftFirstFromItem, i == first ? kNoNode : first);
        if (tables > 0 && t.joinKind != JoinKind::LeftOuter) break;
    }
    EXPECT_EQ(tables, n + 1);
}

TEST(Parser, FailureLeavesNothingBehind) {
    ParseTree tree;
    StatementFacts facts;
    ASSERT_EQ(ParseStatement("SELECT a FROM t; x", tree, facts), kMsgNone);
    EXPECT_EQ(facts.remainingBatch, " x");
    // A statement that fails after the parts that set facts.
    EXPECT_EQ(ParseStatement("INSERTOQ INTO t SELECT TOP 3 a FROM u WHERE", tree, facts),
              kMsgUnexpectedEnd);
    EXPECT_TRUE(tree.empty());
    EXPECT_FALSE(facts.openQuery);
    EXPECT_TRUE(facts.remainingBatch.empty());
    EXPECT_TRUE(facts.argument.empty());  // 1013 takes no argument
    // And a success after a failure starts afresh.
    ASSERT_EQ(ParseStatement("SELECT ? FROM t", tree, facts), kMsgNone);
    EXPECT_EQ(renderStatement(tree), "(SELECT [?1] FROM [t])");
}

}  // namespace
}  // namespace kelvra
