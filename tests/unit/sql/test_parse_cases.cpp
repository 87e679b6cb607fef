// Runs parse_cases.txt: statements with the tree they parse to, or the message and argument
// they fail with. The file's first lines say how it is written.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "render_tree.h"
#include "sql/parser.h"

namespace kelvra {
namespace {

struct ParseCase {
    int line = 0;
    std::string text;
    std::string tree;   // "= ..."
    std::string error;  // "! number argument"
    std::string facts;  // "+ ..."
};

// \t, \n, \r, \0 and \\ stand for themselves in a case's statement.
std::string unescape(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        switch (text[++i]) {
            case 't':
                out += '\t';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case '0':
                out += '\0';
                break;
            case '\\':
                out += '\\';
                break;
            default:
                out += '\\';
                out += text[i];
                break;
        }
    }
    return out;
}

std::vector<ParseCase> readCases() {
    std::ifstream file(KELVRA_PARSE_CASES);
    std::vector<ParseCase> cases;
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        if (line.size() < 2 || line[1] != ' ') continue;
        const std::string rest = line.substr(2);
        switch (line[0]) {
            case '>':
                cases.push_back({number, unescape(rest), {}, {}, {}});
                break;
            case '=':
                cases.back().tree = rest;
                break;
            case '!':
                cases.back().error = rest;
                break;
            case '+':
                cases.back().facts = rest;
                break;
            default:
                break;
        }
    }
    return cases;
}

std::string renderFacts(const StatementFacts& facts, const ParseTree& tree) {
    return std::string("oq=") + (facts.openQuery ? "1" : "0") +
           " params=" + renderParameters(tree) + " rest='" + facts.remainingBatch + "'";
}

TEST(ParseCases, EveryStatementParsesAsWritten) {
    const auto cases = readCases();
    ASSERT_GT(cases.size(), 150u) << "no cases read from " << KELVRA_PARSE_CASES;
    ParseTree tree;
    for (const ParseCase& c : cases) {
        SCOPED_TRACE("parse_cases.txt:" + std::to_string(c.line) + ": " + c.text);
        ASSERT_NE(c.tree.empty(), c.error.empty()) << "a case needs one '=' or one '!' line";
        StatementFacts facts;
        const MsgNo result = ParseStatement(c.text, tree, facts);
        if (!c.error.empty()) {
            EXPECT_EQ(std::to_string(result) + " " + facts.argument, c.error);
            // A failure leaves nothing behind.
            EXPECT_TRUE(tree.empty());
            EXPECT_FALSE(facts.openQuery);
            EXPECT_TRUE(facts.remainingBatch.empty());
            continue;
        }
        ASSERT_EQ(result, kMsgNone) << facts.argument;
        EXPECT_EQ(renderStatement(tree), c.tree);
        if (!c.facts.empty()) {
            EXPECT_EQ(renderFacts(facts, tree), c.facts);
        }
    }
}

}  // namespace
}  // namespace kelvra
