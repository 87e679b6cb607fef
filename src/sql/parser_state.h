// Inside the parser: the state of one parse, shared by the statement grammar (parser.cpp) and
// the expression and search-condition grammar (expression_parser.cpp), and their productions,
// one function per production. Not for use outside src/sql; ParseStatement is the entry.
//
// Alternatives are tried in order from a saved mark; a failed try is undone completely (cursor,
// nodes, strings, parameter chain). Only 1015 ("element missing") lets the next alternative
// try: every other failure (a broken token, a malformed escape, nesting too deep, memory) ends
// the parse, since no other reading of the same text could succeed.
#pragma once

#include <string_view>

#include "sql/lexer.h"
#include "sql/parse_tree.h"
#include "sql/parser.h"

namespace kelvra {

class Parser {
  public:
    Parser(std::string_view text, ParseTree& tree, StatementFacts& facts);

    // The statement, from its first keyword to its end or ";".
    MsgNo parseStatement();

    Lexer lx;

  private:
    struct Mark {
        SqlCursor cursor;
        std::int32_t nodes;
        std::int32_t strings;
        NodeIndex lastParameter;
    };
    Mark mark() const;
    void rewind(const Mark& m);

    // Counts levels of nesting (one to begin with) for as long as it lives.
    class Nesting {
      public:
        explicit Nesting(Parser& p, int levels = 1) : p_(p), levels_(levels) {
            p_.depth_ += levels;
        }
        ~Nesting() { p_.depth_ -= levels_; }
        Nesting(const Nesting&) = delete;
        Nesting& operator=(const Nesting&) = delete;
        bool tooDeep() const { return p_.depth_ > kMaxNestingDepth; }
        // One level more; whether that is too deep.
        bool deeper() {
            ++levels_;
            ++p_.depth_;
            return tooDeep();
        }

      private:
        Parser& p_;
        int levels_;
    };
    MsgNo tooDeep();

    MsgNo newNode(NodeKind kind, NodeIndex& out);
    template <typename F>
    F& at(NodeIndex index) {
        return tree_.fields<F>(index);
    }
    MsgNo fail(MsgNo number, std::string_view argument);
    MsgNo newParameter(NodeIndex& out);
    MsgNo newColumnRef(StringIndex qualifier, StringIndex name, NodeIndex& out);

    // Optional elements: read the token and keep it when it is the one named, else put it back.
    bool acceptSymbol(std::string_view symbol);
    bool acceptKeyword(std::string_view keyword);
    // The keyword the next token is ("" when it is none), without reading it.
    std::string_view peekKeyword();

    // The escape brackets shared by {oj ...}, {fn ...} and {escape ...}: "{" or the vendor
    // comment "--(*vendor(Microsoft),product(ODBC)", and "}" or "*)--".
    MsgNo openEscape(bool& vendor);
    MsgNo closeEscape(bool vendor);

    // Statement grammar (parser.cpp).
    MsgNo ParseQuerySpec(NodeIndex& out);
    MsgNo ParseTop(NodeIndex select);
    MsgNo ParseSelectList(NodeIndex select);
    MsgNo ParseSelectItem(NodeIndex& out);
    MsgNo ParseFromList(NodeIndex& first);
    MsgNo ParseFromElement(NodeIndex& first, NodeIndex& last);
    MsgNo ParseJoinedTable(NodeIndex& first, NodeIndex& last);
    MsgNo ParseJoinOperand(NodeIndex& first, NodeIndex& last);
    MsgNo ParseJoinKeyword(bool& joined, JoinKind& kind);
    MsgNo ParseTableRef(NodeIndex& out);
    MsgNo ParseTableName(NodeIndex& tableRef);
    MsgNo ParseGroupBy(NodeIndex& first);
    MsgNo ParseOrderBy(NodeIndex& first);
    MsgNo ParseSortItem(NodeIndex& out);
    MsgNo ParseInsert(NodeIndex& out);
    MsgNo ParseUpdate(NodeIndex& out);
    MsgNo ParseDelete(NodeIndex& out);
    MsgNo ParseCreate(NodeIndex& out);
    MsgNo ParseColumnDef(NodeIndex& out);
    MsgNo ParseDrop(NodeIndex& out);

    // Expression and search-condition grammar (expression_parser.cpp).
    MsgNo ParseExpression(NodeIndex& out);
    MsgNo ParseTerm(NodeIndex& out);
    MsgNo ParseUnary(NodeIndex& out);
    MsgNo ParseFactor(NodeIndex& out);
    MsgNo ParseSimpleTerm(NodeIndex& out);
    MsgNo ParseNumeric(NodeIndex& out);
    MsgNo ParseEscapeLiteral(NodeIndex& out);
    MsgNo ParseAggregate(AggregateFunction function, NodeIndex& out);
    MsgNo ParseFunctionEscape(NodeIndex& out);
    MsgNo ParseFunctionCall(std::string_view name, NodeIndex& out);
    MsgNo ParseColumnRef(NodeIndex& out);
    // NULL or an expression, repeated with `separator` ("," or a keyword) between them.
    MsgNo ParseValueList(NodeIndex& first, std::string_view separator);
    MsgNo ParseSearchCondition(NodeIndex& out);
    MsgNo ParseBooleanTerm(NodeIndex& out);
    MsgNo ParseBooleanFactor(NodeIndex& out);
    MsgNo ParsePredicate(NodeIndex& out);
    MsgNo ParseComparison(NodeIndex predicate);
    MsgNo ParseLikePattern(NodeIndex& out);
    MsgNo ParseLikeEscape(NodeIndex predicate);
    MsgNo ParseSubquery(NodeIndex& out);
    // One operator's chain, right-nested: first op (second op (third ...)).
    MsgNo ParseBoolChain(Operator op, std::string_view keyword,
                         MsgNo (Parser::*operand)(NodeIndex&), NodeIndex& out);

    ParseTree& tree_;
    StatementFacts& facts_;
    int depth_ = 0;
    NodeIndex lastParameter_ = kNoNode;
};

}  // namespace kelvra
