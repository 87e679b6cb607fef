// The expression and search-condition grammar: arithmetic, literals, parameters, USER,
// aggregates, scalar-function escapes, value lists, and the conditions of WHERE, HAVING and ON.
#include <string>

#include "convert/datetime_text.h"
#include "convert/numeric_text.h"
#include "resources/ascii.h"
#include "sql/parser_state.h"

namespace kelvra {

namespace {

bool isSymbol(const Lexer& lx, std::string_view symbol) {
    return lx.kind == TokenKind::Symbol && lx.token == symbol;
}

bool isKeyword(const Lexer& lx, std::string_view keyword) {
    return lx.kind == TokenKind::Keyword && equalsIgnoreCase(lx.token, keyword);
}

bool aggregateFunction(std::string_view word, AggregateFunction& out) {
    static constexpr std::pair<std::string_view, AggregateFunction> kNames[] = {
        {"AVG", AggregateFunction::Avg}, {"COUNT", AggregateFunction::Count},
        {"MAX", AggregateFunction::Max}, {"MIN", AggregateFunction::Min},
        {"SUM", AggregateFunction::Sum},
    };
    for (const auto& [name, function] : kNames) {
        if (equalsIgnoreCase(word, name)) {
            out = function;
            return true;
        }
    }
    return false;
}

bool comparisonOperator(std::string_view symbol, Operator& out) {
    static constexpr std::pair<std::string_view, Operator> kSymbols[] = {
        {"=", Operator::Equal}, {"<>", Operator::NotEqual},     {"<=", Operator::LessEqual},
        {"<", Operator::Less},  {">=", Operator::GreaterEqual}, {">", Operator::Greater},
    };
    for (const auto& [text, op] : kSymbols) {
        if (symbol == text) {
            out = op;
            return true;
        }
    }
    return false;
}

}  // namespace

// term { ( "+" | "-" ) term }, left-associative. Each operator nests the chain one level
// deeper in the tree, so it counts toward the nesting depth.
MsgNo Parser::ParseExpression(NodeIndex& out) {
    Nesting nesting(*this);
    if (nesting.tooDeep()) return tooDeep();
    if (MsgNo r = ParseTerm(out)) return r;
    for (;;) {
        const SqlCursor start = lx.cursor;
        if (MsgNo r = NextToken(lx)) return r;
        const bool plus = isSymbol(lx, "+");
        if (!plus && !isSymbol(lx, "-")) {
            lx.cursor = start;
            return kMsgNone;
        }
        if (nesting.deeper()) return tooDeep();
        NodeIndex right = kNoNode;
        NodeIndex node = kNoNode;
        if (MsgNo r = ParseTerm(right)) return r;
        if (MsgNo r = newNode(NodeKind::ArithOp, node)) return r;
        at<ArithOpFields>(node) = {plus ? Operator::Add : Operator::Subtract, out, right};
        out = node;
    }
}

// unary { ( "*" | "/" ) unary }, left-associative, counted as in ParseExpression. A "*" right
// before ")" closes the vendor escape ("*)--") and is no product.
MsgNo Parser::ParseTerm(NodeIndex& out) {
    Nesting nesting(*this, 0);
    if (MsgNo r = ParseUnary(out)) return r;
    for (;;) {
        const SqlCursor start = lx.cursor;
        if (MsgNo r = NextToken(lx)) return r;
        const bool times = isSymbol(lx, "*") && (lx.atEnd() || lx.text[lx.cursor] != ')');
        if (!times && !isSymbol(lx, "/")) {
            lx.cursor = start;
            return kMsgNone;
        }
        if (nesting.deeper()) return tooDeep();
        NodeIndex right = kNoNode;
        NodeIndex node = kNoNode;
        if (MsgNo r = ParseUnary(right)) return r;
        if (MsgNo r = newNode(NodeKind::ArithOp, node)) return r;
        at<ArithOpFields>(node) = {times ? Operator::Multiply : Operator::Divide, out, right};
        out = node;
    }
}

// [ "-" | "+" ] factor: a minus makes a unary minus, a plus is dropped.
MsgNo Parser::ParseUnary(NodeIndex& out) {
    const SqlCursor start = lx.cursor;
    if (MsgNo r = NextToken(lx)) return r;
    if (isSymbol(lx, "-")) {
        NodeIndex operand = kNoNode;
        if (MsgNo r = ParseFactor(operand)) return r;
        if (MsgNo r = newNode(NodeKind::ArithOp, out)) return r;
        at<ArithOpFields>(out) = {Operator::Negate, operand, kNoNode};
        return kMsgNone;
    }
    if (!isSymbol(lx, "+")) lx.cursor = start;
    return ParseFactor(out);
}

// simple-term | aggregate | "(" expression ")" | column-ref | function-escape: the first token
// tells which can apply. An escape clause that is no date, time or timestamp may still be a
// function escape; when that fails too, its 1018 (or 1014) stands.
MsgNo Parser::ParseFactor(NodeIndex& out) {
    const Mark m = mark();
    if (MsgNo r = NextToken(lx)) return r;
    enum {
        SimpleTerm,
        Escape,
        Aggregate,
        Parenthesis,
        Column,
        Call,
        Nothing
    } alternative = Nothing;
    AggregateFunction function{};
    // A word right before "(" names a function called without the escape (LEFT and INSERT,
    // reserved words, too): no column or keyword stands there otherwise.
    const auto followedByParenthesis = [&] {
        const Mark after = mark();
        const bool call =
            NextToken(lx) == kMsgNone && lx.kind == TokenKind::Symbol && lx.token == "(";
        rewind(after);
        return call;
    };
    std::string word;
    switch (lx.kind) {
        case TokenKind::EndOfText:
            return kMsgUnexpectedEnd;
        case TokenKind::String:
        case TokenKind::Number:
            alternative = SimpleTerm;
            break;
        case TokenKind::Identifier:
            word = lx.token;
            alternative = followedByParenthesis() ? Call : Column;
            break;
        case TokenKind::Keyword:
            word = lx.token;
            if (isKeyword(lx, "USER")) alternative = SimpleTerm;
            if (aggregateFunction(lx.token, function)) alternative = Aggregate;
            if ((isKeyword(lx, "LEFT") || isKeyword(lx, "INSERT")) && followedByParenthesis()) {
                alternative = Call;
            }
            break;
        case TokenKind::Symbol:
            if (lx.token == "?" || lx.token == "-" || lx.token == "+") alternative = SimpleTerm;
            if (lx.token == "{" || lx.token == "--") alternative = Escape;
            if (lx.token == "(") alternative = Parenthesis;
            break;
    }
    MsgNo r = kMsgElementMissing;
    switch (alternative) {
        case SimpleTerm:
            rewind(m);
            r = ParseSimpleTerm(out);
            break;
        case Escape: {
            rewind(m);
            r = ParseSimpleTerm(out);
            if (r != kMsgMalformedEscape && r != kMsgElementTooLarge) break;
            // No date, time or timestamp (or longer than one token): perhaps a function.
            const MsgNo literal = r;
            const std::string argument = lx.argument;
            rewind(m);
            r = ParseFunctionEscape(out);
            if (r == kMsgElementMissing) return fail(literal, argument);
            break;
        }
        case Aggregate:
            r = ParseAggregate(function, out);
            break;
        case Parenthesis:
            r = ParseExpression(out);
            if (r == kMsgNone) r = ExpectSymbol(lx, ")");
            break;
        case Column:
            rewind(m);
            r = ParseColumnRef(out);
            break;
        case Call:
            r = ParseFunctionCall(word, out);
            break;
        case Nothing:
            break;
    }
    if (r == kMsgElementMissing) return fail(r, "<identifier>");
    return r;
}

// string literal | "?" | USER | escape clause | numeric, by the first token (the caller has
// seen that it begins one of them).
MsgNo Parser::ParseSimpleTerm(NodeIndex& out) {
    const SqlCursor start = lx.cursor;
    if (MsgNo r = NextToken(lx)) return r;
    if (lx.kind == TokenKind::String) {
        const StringIndex text = tree_.addString(lx.token);
        if (text == kNoString) return kMsgMemory;
        if (MsgNo r = newNode(NodeKind::StringLiteral, out)) return r;
        at<StringLiteralFields>(out).text = text;
        return kMsgNone;
    }
    if (isSymbol(lx, "?")) return newParameter(out);
    if (isKeyword(lx, "USER")) return newNode(NodeKind::UserName, out);
    const bool escape = isSymbol(lx, "{") || isSymbol(lx, "--");
    lx.cursor = start;
    return escape ? ParseEscapeLiteral(out) : ParseNumeric(out);
}

// A number literal, typed by how it is written: INTEGER, NUMERIC (DECIMAL of its digits, the
// text normalised to them) or DOUBLE. An integer of ten characters or more is a DOUBLE, since
// it may not fit an INTEGER.
MsgNo Parser::ParseNumeric(NodeIndex& out) {
    NumericLiteral number;
    if (MsgNo r = ReadNumericLiteral(lx, number)) return r;
    TypeDesc type{ValueType::Double, 8, 15, -1};
    std::string normalised;
    if (number.type == ValueType::Integer && lx.token.size() < 10) {
        type = {ValueType::Integer, 4, 10, 0};
    } else if (number.type == ValueType::Numeric) {
        const std::size_t digits = lx.token.size() - 1 - (lx.token[0] == '-' ? 1 : 0);
        type = {ValueType::Numeric, 3, static_cast<std::uint32_t>(digits), number.scale};
        if (formatNumericText(lx.token, static_cast<int>(digits), number.scale, normalised) !=
            kMsgNone) {
            return fail(kMsgMalformedNumber, lx.token);
        }
    }
    const StringIndex text = tree_.addString(normalised.empty() ? lx.token : normalised);
    if (text == kNoString) return kMsgMemory;
    if (MsgNo r = newNode(NodeKind::NumberLiteral, out)) return r;
    tree_.node(out).type = type;
    auto& literal = at<NumberLiteralFields>(out);
    literal.value = number.value;
    literal.text = text;
    return kMsgNone;
}

// {d '...'}, {t '...'}, {ts '...'} or their vendor forms: a date, else a time, else a
// timestamp; 1018 when it is none of them.
MsgNo Parser::ParseEscapeLiteral(NodeIndex& out) {
    if (MsgNo r = ReadEscapeClause(lx)) return r;
    DateValue date;
    TimeValue time;
    TimestampValue timestamp;
    if (parseDate(lx.token, date) == kMsgNone) {
        if (MsgNo r = newNode(NodeKind::DateLiteral, out)) return r;
        at<DateLiteralFields>(out).date = date;
    } else if (parseTime(lx.token, time) == kMsgNone) {
        if (MsgNo r = newNode(NodeKind::TimeLiteral, out)) return r;
        at<TimeLiteralFields>(out).time = time;
    } else if (parseTimestamp(lx.token, timestamp) == kMsgNone) {
        if (MsgNo r = newNode(NodeKind::TimestampLiteral, out)) return r;
        at<TimestampLiteralFields>(out).timestamp = timestamp;
    } else {
        return fail(kMsgMalformedEscape, lx.token);
    }
    return kMsgNone;
}

// The rest of ( COUNT | AVG | MAX | MIN | SUM ) "(" ( "*" | [DISTINCT] expression ) ")" after
// the name: "*" and DISTINCT only with COUNT.
MsgNo Parser::ParseAggregate(AggregateFunction function, NodeIndex& out) {
    if (MsgNo r = ExpectSymbol(lx, "(")) return r;
    NodeIndex argument = kNoNode;
    bool distinct = false;
    const bool count = function == AggregateFunction::Count;
    if (!(count && acceptSymbol("*"))) {
        distinct = count && acceptKeyword("DISTINCT");
        if (MsgNo r = ParseExpression(argument)) return r;
    }
    if (MsgNo r = ExpectSymbol(lx, ")")) return r;
    if (MsgNo r = newNode(NodeKind::Aggregate, out)) return r;
    auto& aggregate = at<AggregateFields>(out);
    aggregate.function = function;
    aggregate.argument = argument;
    aggregate.distinct = distinct;
    return kMsgNone;
}

// {fn name(args)} or its vendor form. The escape word is not compared; the name may be any
// word and is kept as written. POSITION separates its arguments with IN, EXTRACT with FROM.
MsgNo Parser::ParseFunctionEscape(NodeIndex& out) {
    bool vendor = false;
    if (MsgNo r = openEscape(vendor)) return r;
    if (MsgNo r = ExpectWord(lx, "fn")) return r;
    if (MsgNo r = ExpectWord(lx, "")) return r;
    const std::string name = lx.token;
    if (MsgNo r = ParseFunctionCall(name, out)) return r;
    return closeEscape(vendor);
}

// The parenthesised arguments of a function named `name`, the cursor after the name.
// POSITION separates its arguments with IN, EXTRACT with FROM.
MsgNo Parser::ParseFunctionCall(std::string_view name, NodeIndex& out) {
    const StringIndex nameIndex = tree_.addString(name);
    if (nameIndex == kNoString) return kMsgMemory;
    const std::string_view separator = equalsIgnoreCase(name, "POSITION")  ? "IN"
                                       : equalsIgnoreCase(name, "EXTRACT") ? "FROM"
                                                                           : ",";
    if (MsgNo r = ExpectSymbol(lx, "(")) return r;
    NodeIndex first = kNoNode;
    const Mark m = mark();
    if (MsgNo r = ParseValueList(first, separator)) {
        if (r != kMsgElementMissing) return r;
        rewind(m);  // no arguments
        first = kNoNode;
    }
    if (MsgNo r = ExpectSymbol(lx, ")")) return r;
    if (MsgNo r = newNode(NodeKind::ScalarFunction, out)) return r;
    auto& call = at<ScalarFunctionFields>(out);
    call.name = nameIndex;
    call.firstArgument = first;
    return kMsgNone;
}

// name [ "." name ]: the first name in multi-word mode, the second without. When no name
// follows the dot, the first name is the column and the dot is left.
MsgNo Parser::ParseColumnRef(NodeIndex& out) {
    StringIndex first = kNoString;
    if (MsgNo r = ExpectIdentifier(lx, tree_, first, true)) return r;
    StringIndex qualifier = kNoString;
    StringIndex name = first;
    const Mark m = mark();
    if (acceptSymbol(".")) {
        StringIndex second = kNoString;
        if (ExpectIdentifier(lx, tree_, second) == kMsgNone) {
            qualifier = first;
            name = second;
        } else {
            rewind(m);
        }
    }
    return newColumnRef(qualifier, name, out);
}

MsgNo Parser::ParseValueList(NodeIndex& first, std::string_view separator) {
    NodeIndex last = kNoNode;
    for (;;) {
        NodeIndex value = kNoNode;
        NodeIndex item = kNoNode;
        MsgNo r =
            acceptKeyword("NULL") ? newNode(NodeKind::NullLiteral, value) : ParseExpression(value);
        if (r == kMsgNone) r = newNode(NodeKind::ListItem, item);
        if (r != kMsgNone) return r;
        at<ListItemFields>(item).expression = value;
        if (last == kNoNode) {
            first = item;
        } else {
            at<ListItemFields>(last).next = item;
        }
        last = item;
        const bool more = separator == "," ? acceptSymbol(",") : acceptKeyword(separator);
        if (!more) return kMsgNone;
    }
}

// boolean-term [ OR search-condition ]
MsgNo Parser::ParseSearchCondition(NodeIndex& out) {
    const Nesting nesting(*this);
    if (nesting.tooDeep()) return tooDeep();
    return ParseBoolChain(Operator::Or, "OR", &Parser::ParseBooleanTerm, out);
}

// boolean-factor [ AND boolean-term ]
MsgNo Parser::ParseBooleanTerm(NodeIndex& out) {
    return ParseBoolChain(Operator::And, "AND", &Parser::ParseBooleanFactor, out);
}

// The right-nested chain a op (b op (c ...)) made in a loop: each new operator takes the right
// operand of the one before as its left.
MsgNo Parser::ParseBoolChain(Operator op, std::string_view keyword,
                             MsgNo (Parser::*operand)(NodeIndex&), NodeIndex& out) {
    if (MsgNo r = (this->*operand)(out)) return r;
    NodeIndex lastOp = kNoNode;
    while (acceptKeyword(keyword)) {
        NodeIndex next = kNoNode;
        NodeIndex node = kNoNode;
        if (MsgNo r = (this->*operand)(next)) return r;
        if (MsgNo r = newNode(NodeKind::BoolOp, node)) return r;
        if (lastOp == kNoNode) {
            at<BoolOpFields>(node) = {op, out, next};
            out = node;
        } else {
            at<BoolOpFields>(node) = {op, at<BoolOpFields>(lastOp).right, next};
            at<BoolOpFields>(lastOp).right = node;
        }
        lastOp = node;
    }
    return kMsgNone;
}

// [NOT] predicate
MsgNo Parser::ParseBooleanFactor(NodeIndex& out) {
    if (!acceptKeyword("NOT")) return ParsePredicate(out);
    NodeIndex operand = kNoNode;
    if (MsgNo r = ParsePredicate(operand)) return r;
    if (MsgNo r = newNode(NodeKind::BoolOp, out)) return r;
    at<BoolOpFields>(out) = {Operator::Not, operand, kNoNode};
    return kMsgNone;
}

// "(" search-condition ")" | EXISTS "(" SELECT query-body ")" | expression and the rest of a
// comparison, tried in this order.
MsgNo Parser::ParsePredicate(NodeIndex& out) {
    const Mark m = mark();
    if (MsgNo r = NextToken(lx)) return r;
    if (isSymbol(lx, "(")) {
        MsgNo r = ParseSearchCondition(out);
        if (r == kMsgNone) r = ExpectSymbol(lx, ")");
        if (r != kMsgElementMissing) return r;
    } else if (isKeyword(lx, "EXISTS")) {
        NodeIndex subquery = kNoNode;
        MsgNo r = ExpectSymbol(lx, "(");
        if (r == kMsgNone) r = ExpectKeyword(lx, "SELECT");
        if (r == kMsgNone) r = ParseSubquery(subquery);
        if (r == kMsgNone) r = newNode(NodeKind::Predicate, out);
        if (r == kMsgNone) {
            auto& exists = at<PredicateFields>(out);
            exists.op = Operator::Exists;
            exists.quantifier = Quantifier::Exists;
            exists.left = subquery;
        }
        if (r != kMsgElementMissing) return r;
    }
    rewind(m);
    NodeIndex left = kNoNode;
    if (MsgNo r = ParseExpression(left)) return r;
    if (MsgNo r = newNode(NodeKind::Predicate, out)) return r;
    at<PredicateFields>(out).left = left;
    return ParseComparison(out);
}

// query-body ")" after "(" SELECT.
MsgNo Parser::ParseSubquery(NodeIndex& out) {
    if (MsgNo r = ParseQuerySpec(out)) return r;
    return ExpectSymbol(lx, ")");
}

// What follows the left operand: IS [NOT] NULL, a comparison (with a value, or a subquery
// quantified by ALL, ANY or nothing), [NOT] BETWEEN, [NOT] IN, [NOT] LIKE.
MsgNo Parser::ParseComparison(NodeIndex predicate) {
    const SqlCursor start = lx.cursor;
    if (MsgNo r = NextToken(lx)) return r;
    Operator op = Operator::Equal;
    Quantifier quantifier = Quantifier::None;
    NodeIndex right = kNoNode;
    NodeIndex third = kNoNode;

    if (isKeyword(lx, "IS")) {
        if (MsgNo r = ExpectKeyword(lx, "")) return r;
        if (isKeyword(lx, "NOT")) {
            op = Operator::NotEqual;
            if (MsgNo r = ExpectKeyword(lx, "")) return r;
        }
        if (!isKeyword(lx, "NULL")) {
            return fail(kMsgElementMissing, "found '" + lx.token + "' instead of NULL");
        }
        if (MsgNo r = newNode(NodeKind::NullLiteral, right)) return r;
    } else if (lx.kind == TokenKind::Symbol) {
        if (!comparisonOperator(lx.token, op)) {
            return fail(kMsgElementMissing,
                        "found '" + lx.token + "' instead of =, <>, <, <=, >, or >=");
        }
        if (acceptKeyword("ALL")) {
            quantifier = Quantifier::All;
        } else if (acceptKeyword("ANY")) {
            quantifier = Quantifier::Any;
        }
        const Mark m = mark();
        if (acceptSymbol("(") && acceptKeyword("SELECT")) {
            if (MsgNo r = ParseSubquery(right)) return r;
            if (quantifier == Quantifier::None) quantifier = Quantifier::SingleRow;
        } else if (quantifier != Quantifier::None) {
            // ALL and ANY need a subquery.
            rewind(m);
            if (MsgNo r = ExpectSymbol(lx, "(")) return r;
            const MsgNo r = ExpectKeyword(lx, "SELECT");
            return r != kMsgNone ? r : MsgNo{kMsgInternalError};
        } else {
            rewind(m);
            if (MsgNo r = ParseExpression(right)) return r;
        }
    } else if (lx.kind == TokenKind::Keyword) {
        bool negated = false;
        if (isKeyword(lx, "NOT")) {
            negated = true;
            const SqlCursor afterNot = lx.cursor;
            if (MsgNo r = NextToken(lx)) return r;
            if (!isKeyword(lx, "LIKE") && !isKeyword(lx, "IN")) {
                lx.cursor = afterNot;
                if (MsgNo r = ExpectKeyword(lx, "BETWEEN")) return r;
            }
        }
        if (isKeyword(lx, "BETWEEN")) {
            op = negated ? Operator::NotBetween : Operator::Between;
            if (MsgNo r = ParseExpression(right)) return r;
            if (MsgNo r = ExpectKeyword(lx, "AND")) return r;
            if (MsgNo r = ParseExpression(third)) return r;
        } else if (isKeyword(lx, "IN")) {
            op = negated ? Operator::NotIn : Operator::In;
            if (MsgNo r = ExpectSymbol(lx, "(")) return r;
            if (acceptKeyword("SELECT")) {
                if (MsgNo r = ParseSubquery(right)) return r;
            } else {
                if (MsgNo r = ParseValueList(right, ",")) return r;
                if (MsgNo r = ExpectSymbol(lx, ")")) return r;
            }
        } else if (isKeyword(lx, "LIKE")) {
            op = negated ? Operator::NotLike : Operator::Like;
            if (MsgNo r = ParseLikePattern(right)) return r;
            if (MsgNo r = ParseLikeEscape(predicate)) return r;
        } else {
            return fail(kMsgElementMissing,
                        "found '" + lx.token +
                            "' instead of IN, NOT IN, LIKE, NOT LIKE, BETWEEN, NOT BETWEEN");
        }
    } else {
        // No operator at all: reported as a missing keyword.
        lx.cursor = start;
        const MsgNo r = ExpectKeyword(lx, "");
        return r != kMsgNone ? r : MsgNo{kMsgInternalError};
    }
    auto& fields = at<PredicateFields>(predicate);
    fields.op = op;
    fields.quantifier = quantifier;
    fields.right = right;
    fields.third = third;
    return kMsgNone;
}

// string literal | "?" | USER
MsgNo Parser::ParseLikePattern(NodeIndex& out) {
    const SqlCursor start = lx.cursor;
    if (MsgNo r = NextToken(lx)) return r;
    if (lx.kind == TokenKind::String || isSymbol(lx, "?") || isKeyword(lx, "USER")) {
        lx.cursor = start;
        return ParseSimpleTerm(out);
    }
    lx.cursor = start;
    const MsgNo r = ExpectKeyword(lx, "USER");  // a missing pattern is reported this way
    return r != kMsgNone ? r : MsgNo{kMsgInternalError};
}

// After a LIKE pattern: ESCAPE 'c', {escape 'c'} or its vendor form, with a string or a
// parameter. Anything else is left for the caller.
MsgNo Parser::ParseLikeEscape(NodeIndex predicate) {
    const Mark m = mark();
    if (NextToken(lx) != kMsgNone) {
        rewind(m);
        return kMsgNone;
    }
    const bool word = lx.kind == TokenKind::Identifier && equalsIgnoreCase(lx.token, "ESCAPE");
    const bool bracketed = isSymbol(lx, "{") || isSymbol(lx, "--");
    if (!word && !bracketed) {
        rewind(m);
        return kMsgNone;
    }
    bool vendor = false;
    if (bracketed) {
        rewind(m);
        if (MsgNo r = openEscape(vendor)) return r;
        if (MsgNo r = ExpectWord(lx, "escape")) return r;
        if (!equalsIgnoreCase(lx.token, "escape")) {
            return fail(kMsgElementMissing, "found '" + lx.token + "' instead of 'escape'");
        }
    }
    const Mark valueStart = mark();
    if (MsgNo r = NextToken(lx)) return r;
    const bool usable = lx.kind == TokenKind::String || isSymbol(lx, "?");
    rewind(valueStart);
    if (!usable) return fail(kMsgElementMissing, "<string>");
    NodeIndex escape = kNoNode;
    if (MsgNo r = ParseSimpleTerm(escape)) return r;
    if (bracketed) {
        if (MsgNo r = closeEscape(vendor)) return r;
    }
    at<PredicateFields>(predicate).escape = escape;
    return kMsgNone;
}

}  // namespace kelvra
