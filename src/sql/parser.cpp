// The statement grammar: the statements, the SELECT query body, the FROM clause with
// its joins, ORDER BY and GROUP BY, and the data-definition statements.
#include "sql/parser.h"

#include <limits>
#include <new>
#include <string>

#include "resources/ascii.h"
#include "sql/parser_state.h"

namespace kelvra {

Parser::Parser(std::string_view text, ParseTree& tree, StatementFacts& facts)
    : lx(text), tree_(tree), facts_(facts) {}

Parser::Mark Parser::mark() const {
    return {lx.cursor, tree_.nodeCount(), tree_.stringCount(), lastParameter_};
}

void Parser::rewind(const Mark& m) {
    lx.cursor = m.cursor;
    if (lastParameter_ != m.lastParameter) {
        lastParameter_ = m.lastParameter;
        if (m.lastParameter == kNoNode) {
            tree_.root().firstParameter = kNoNode;
        } else {
            at<ParameterFields>(m.lastParameter).next = kNoNode;
        }
    }
    tree_.truncate(m.nodes, m.strings);
}

MsgNo Parser::tooDeep() {
    return fail(kMsgElementTooLarge,
                "nesting deeper than " + std::to_string(kMaxNestingDepth) + " levels");
}

MsgNo Parser::newNode(NodeKind kind, NodeIndex& out) {
    out = tree_.newNode(kind);
    return out == kNoNode ? kMsgMemory : kMsgNone;
}

MsgNo Parser::fail(MsgNo number, std::string_view argument) {
    lx.argument.assign(argument);
    return number;
}

MsgNo Parser::newParameter(NodeIndex& out) {
    const unsigned number =
        lastParameter_ == kNoNode ? 1u : at<ParameterFields>(lastParameter_).number + 1u;
    if (number > std::numeric_limits<std::uint16_t>::max()) {
        return fail(kMsgElementTooLarge, "more than 65535 parameters");
    }
    if (MsgNo r = newNode(NodeKind::Parameter, out)) return r;
    at<ParameterFields>(out).number = static_cast<std::uint16_t>(number);
    if (lastParameter_ == kNoNode) {
        tree_.root().firstParameter = out;
    } else {
        at<ParameterFields>(lastParameter_).next = out;
    }
    lastParameter_ = out;
    return kMsgNone;
}

MsgNo Parser::newColumnRef(StringIndex qualifier, StringIndex name, NodeIndex& out) {
    if (MsgNo r = newNode(NodeKind::ColumnRef, out)) return r;
    auto& column = at<ColumnRefFields>(out);
    column.qualifier = qualifier;
    column.name = name;
    return kMsgNone;
}

bool Parser::acceptSymbol(std::string_view symbol) {
    const SqlCursor start = lx.cursor;
    if (NextToken(lx) == kMsgNone && lx.kind == TokenKind::Symbol && lx.token == symbol) {
        return true;
    }
    lx.cursor = start;
    return false;
}

bool Parser::acceptKeyword(std::string_view keyword) {
    const SqlCursor start = lx.cursor;
    if (NextToken(lx) == kMsgNone && lx.kind == TokenKind::Keyword &&
        equalsIgnoreCase(lx.token, keyword)) {
        return true;
    }
    lx.cursor = start;
    return false;
}

std::string_view Parser::peekKeyword() {
    const SqlCursor start = lx.cursor;
    const bool keyword = NextToken(lx) == kMsgNone && lx.kind == TokenKind::Keyword;
    lx.cursor = start;
    return keyword ? std::string_view(lx.token) : std::string_view();
}

MsgNo Parser::openEscape(bool& vendor) {
    if (MsgNo r = NextToken(lx)) return r;
    if (lx.kind != TokenKind::Symbol) return fail(kMsgElementMissing, "<symbol>");
    if (lx.token == "{") {
        vendor = false;
        return kMsgNone;
    }
    if (lx.token != "--") return fail(kMsgElementMissing, "--");
    vendor = true;
    // (*vendor(Microsoft),product(ODBC): the words are not compared.
    for (std::string_view piece :
         {"(", "*", "vendor", "(", "Microsoft", ")", ",", "product", "(", "ODBC", ")"}) {
        const bool word = piece.size() > 1;
        if (MsgNo r = word ? ExpectWord(lx, piece) : ExpectSymbol(lx, piece)) return r;
    }
    return kMsgNone;
}

MsgNo Parser::closeEscape(bool vendor) {
    if (!vendor) return ExpectSymbol(lx, "}");
    for (std::string_view symbol : {"*", ")", "--"}) {
        if (MsgNo r = ExpectSymbol(lx, symbol)) return r;
    }
    return kMsgNone;
}

MsgNo Parser::parseStatement() {
    if (MsgNo r = ExpectKeyword(lx, "")) return r;
    NodeIndex root = kNoNode;
    if (MsgNo r = newNode(NodeKind::Root, root)) return r;

    const std::string keyword = toUpperAscii(lx.token);
    NodeIndex statement = kNoNode;
    MsgNo r = kMsgNone;
    if (keyword == "SELECT") {
        r = ParseQuerySpec(statement);
        if (r == kMsgNone && equalsIgnoreCase(peekKeyword(), "ORDER")) {
            NodeIndex first = kNoNode;
            r = ParseOrderBy(first);
            if (r == kMsgNone) at<SelectFields>(statement).firstOrder = first;
        }
    } else if (keyword == "INSERT" || keyword == "INSERTOQ") {
        facts_.openQuery = keyword.size() == 8;
        r = ParseInsert(statement);
    } else if (keyword == "UPDATE" || keyword == "UPDATEOQ") {
        facts_.openQuery = keyword.size() == 8;
        r = ParseUpdate(statement);
    } else if (keyword == "DELETE" || keyword == "DELETEOQ") {
        facts_.openQuery = keyword.size() == 8;
        r = ParseDelete(statement);
    } else if (keyword == "CREATE") {
        r = ParseCreate(statement);
    } else if (keyword == "DROP") {
        r = ParseDrop(statement);
    } else if (keyword == "SQL") {
        r = newNode(NodeKind::PassThrough, statement);
    } else {
        lx.argument =
            "found '" + lx.token + "' instead of CREATE, DROP, SELECT, INSERT, UPDATE, or DELETE";
        return kMsgElementMissing;
    }
    if (r != kMsgNone) return r;

    if (MsgNo end = NextToken(lx)) return end;
    if (lx.kind == TokenKind::Symbol && lx.token == ";") {
        facts_.remainingBatch.assign(lx.text.substr(lx.cursor));
    } else if (lx.kind != TokenKind::EndOfText) {
        return fail(kMsgExtraToken, lx.token);
    }
    tree_.root().statement = statement;
    return kMsgNone;
}

MsgNo Parser::ParseQuerySpec(NodeIndex& out) {
    const Nesting nesting(*this);
    if (nesting.tooDeep()) return tooDeep();
    if (MsgNo r = newNode(NodeKind::Select, out)) return r;
    if (MsgNo r = ParseTop(out)) return r;
    if (MsgNo r = ParseSelectList(out)) return r;
    if (MsgNo r = ExpectKeyword(lx, "FROM")) return r;
    NodeIndex from = kNoNode;
    if (MsgNo r = ParseFromList(from)) return r;
    at<SelectFields>(out).firstFrom = from;
    if (acceptKeyword("WHERE")) {
        NodeIndex where = kNoNode;
        if (MsgNo r = ParseSearchCondition(where)) return r;
        at<SelectFields>(out).where = where;
    }
    if (acceptKeyword("GROUP")) {
        NodeIndex group = kNoNode;
        if (MsgNo r = ExpectKeyword(lx, "BY")) return r;
        if (MsgNo r = ParseGroupBy(group)) return r;
        at<SelectFields>(out).firstGroup = group;
    }
    if (acceptKeyword("HAVING")) {
        NodeIndex having = kNoNode;
        if (MsgNo r = ParseSearchCondition(having)) return r;
        at<SelectFields>(out).having = having;
    }
    return kMsgNone;
}

// TOP n: the query's own limit, which the executor keeps (TOP 0 returns no row).
MsgNo Parser::ParseTop(NodeIndex select) {
    if (!acceptKeyword("TOP")) return kMsgNone;
    NumericLiteral number;
    if (MsgNo r = ReadNumericLiteral(lx, number)) {
        return fail(r, "Could not find number after 'TOP' keyword");
    }
    if (number.value < 0) return fail(kMsgOutOfRange, {});
    constexpr double kMostRows = std::numeric_limits<std::uint32_t>::max();
    at<SelectFields>(select).top =
        static_cast<std::int64_t>(number.value < kMostRows ? number.value : kMostRows);
    return kMsgNone;
}

MsgNo Parser::ParseSelectList(NodeIndex select) {
    if (acceptKeyword("DISTINCT")) {
        at<SelectFields>(select).distinct = true;
    } else {
        acceptKeyword("ALL");
    }
    if (acceptSymbol("*")) return kMsgNone;
    NodeIndex last = kNoNode;
    do {
        NodeIndex item = kNoNode;
        if (MsgNo r = ParseSelectItem(item)) return r;
        if (last == kNoNode) {
            at<SelectFields>(select).firstItem = item;
        } else {
            at<ListItemFields>(last).next = item;
        }
        last = item;
    } while (acceptSymbol(","));
    return kMsgNone;
}

MsgNo Parser::ParseSelectItem(NodeIndex& out) {
    {
        const Mark m = mark();
        StringIndex table = kNoString;
        if (ExpectIdentifier(lx, tree_, table) == kMsgNone && acceptSymbol(".") &&
            acceptSymbol("*")) {
            if (MsgNo r = newNode(NodeKind::ListItem, out)) return r;
            at<ListItemFields>(out).alias = table;  // table.*
            return kMsgNone;
        }
        rewind(m);
    }
    NodeIndex expression = kNoNode;
    if (MsgNo r = ParseExpression(expression)) return r;
    StringIndex alias = kNoString;
    if (acceptKeyword("AS")) {
        if (MsgNo r = ExpectIdentifier(lx, tree_, alias)) return r;
    } else {
        const Mark m = mark();
        if (NextToken(lx) == kMsgNone && lx.kind == TokenKind::Identifier) {
            alias = tree_.addString(lx.token);
            if (alias == kNoString) return kMsgMemory;
        } else {
            rewind(m);
        }
    }
    if (MsgNo r = newNode(NodeKind::ListItem, out)) return r;
    auto& item = at<ListItemFields>(out);
    item.expression = expression;
    item.alias = alias;
    return kMsgNone;
}

MsgNo Parser::ParseFromList(NodeIndex& first) {
    NodeIndex last = kNoNode;
    do {
        NodeIndex elementFirst = kNoNode;
        NodeIndex elementLast = kNoNode;
        if (MsgNo r = ParseFromElement(elementFirst, elementLast)) return r;
        if (last == kNoNode) {
            first = elementFirst;
        } else {
            at<FromItemFields>(last).next = elementFirst;
        }
        last = elementLast;
    } while (acceptSymbol(","));
    return kMsgNone;
}

// One element of the FROM list: the {oj ...} escape (brace or vendor form) around a joined
// table, or a joined table (a single table included).
MsgNo Parser::ParseFromElement(NodeIndex& first, NodeIndex& last) {
    const Mark m = mark();
    bool vendor = false;
    MsgNo r = openEscape(vendor);
    if (r == kMsgNone) r = ExpectWord(lx, "oj");
    if (r == kMsgNone) r = ParseJoinedTable(first, last);
    if (r == kMsgNone) r = closeEscape(vendor);
    if (r != kMsgElementMissing) return r;
    rewind(m);
    return ParseJoinedTable(first, last);
}

// operand { join-keyword joined-table ON search-condition }. The loop makes unparenthesised
// chains left-associative; a right operand that continues with joins of its own before the ON
// (a JOIN b JOIN c ON y ON x) nests. The FromItems of both sides are linked in textual order,
// and the right side's first table carries the join.
MsgNo Parser::ParseJoinedTable(NodeIndex& first, NodeIndex& last) {
    const Nesting nesting(*this);
    if (nesting.tooDeep()) return tooDeep();
    if (MsgNo r = ParseJoinOperand(first, last)) return r;
    for (;;) {
        bool joined = false;
        JoinKind kind = JoinKind::Inner;
        if (MsgNo r = ParseJoinKeyword(joined, kind)) return r;
        if (!joined) return kMsgNone;
        NodeIndex rightFirst = kNoNode;
        NodeIndex rightLast = kNoNode;
        if (MsgNo r = ParseJoinedTable(rightFirst, rightLast)) return r;
        if (MsgNo r = ExpectKeyword(lx, "ON")) return r;
        NodeIndex on = kNoNode;
        if (MsgNo r = ParseSearchCondition(on)) return r;
        at<FromItemFields>(last).next = rightFirst;
        auto& right = at<TableRefFields>(at<FromItemFields>(rightFirst).tableRef);
        right.leftFirstFromItem = first;
        right.on = on;
        right.joinKind = kind;
        last = rightLast;
    }
}

MsgNo Parser::ParseJoinOperand(NodeIndex& first, NodeIndex& last) {
    if (acceptSymbol("(")) {
        if (MsgNo r = ParseJoinedTable(first, last)) return r;
        return ExpectSymbol(lx, ")");
    }
    NodeIndex table = kNoNode;
    if (MsgNo r = ParseTableRef(table)) return r;
    if (MsgNo r = newNode(NodeKind::FromItem, first)) return r;
    at<FromItemFields>(first).tableRef = table;
    last = first;
    return kMsgNone;
}

// JOIN and INNER JOIN join inner; LEFT JOIN and LEFT OUTER JOIN left outer. Anything else is
// put back, with `joined` false.
MsgNo Parser::ParseJoinKeyword(bool& joined, JoinKind& kind) {
    joined = false;
    const SqlCursor start = lx.cursor;
    if (NextToken(lx) != kMsgNone || lx.kind != TokenKind::Keyword) {
        lx.cursor = start;
        return kMsgNone;
    }
    if (equalsIgnoreCase(lx.token, "INNER")) {
        kind = JoinKind::Inner;
    } else if (equalsIgnoreCase(lx.token, "LEFT")) {
        kind = JoinKind::LeftOuter;
        acceptKeyword("OUTER");
    } else if (equalsIgnoreCase(lx.token, "JOIN")) {
        kind = JoinKind::Inner;
        joined = true;
        return kMsgNone;
    } else {
        lx.cursor = start;
        return kMsgNone;
    }
    if (MsgNo r = ExpectKeyword(lx, "JOIN")) return r;
    joined = true;
    return kMsgNone;
}

// table-name [ [AS] alias ]. Without AS the alias is a following identifier, read with
// multi-word mode off.
MsgNo Parser::ParseTableRef(NodeIndex& out) {
    if (MsgNo r = ParseTableName(out)) return r;
    StringIndex alias = kNoString;
    if (acceptKeyword("AS")) {
        if (MsgNo r = ExpectIdentifier(lx, tree_, alias)) return r;
    } else {
        const Mark m = mark();
        if (NextToken(lx) == kMsgNone && lx.kind == TokenKind::Identifier) {
            alias = tree_.addString(lx.token);
            if (alias == kNoString) return kMsgMemory;
        } else {
            rewind(m);
        }
    }
    at<TableRefFields>(out).alias = alias;
    return kMsgNone;
}

// name [ "." {"."} name ]: only the last name counts (owner.table, catalog..table). The dot
// must follow the first name at once.
MsgNo Parser::ParseTableName(NodeIndex& tableRef) {
    StringIndex name = kNoString;
    if (MsgNo r = ExpectIdentifier(lx, tree_, name, true)) return r;
    if (!lx.atEnd() && lx.text[lx.cursor] == '.') {
        while (acceptSymbol(".")) {
        }
        if (MsgNo r = ExpectIdentifier(lx, tree_, name, true)) return r;
    }
    if (MsgNo r = newNode(NodeKind::TableRef, tableRef)) return r;
    at<TableRefFields>(tableRef).name = name;
    return kMsgNone;
}

MsgNo Parser::ParseGroupBy(NodeIndex& first) {
    NodeIndex last = kNoNode;
    do {
        NodeIndex expression = kNoNode;
        NodeIndex item = kNoNode;
        if (MsgNo r = ParseExpression(expression)) return r;
        if (MsgNo r = newNode(NodeKind::GroupItem, item)) return r;
        at<GroupItemFields>(item).expression = expression;
        if (last == kNoNode) {
            first = item;
        } else {
            at<GroupItemFields>(last).next = item;
        }
        last = item;
    } while (acceptSymbol(","));
    return kMsgNone;
}

MsgNo Parser::ParseOrderBy(NodeIndex& first) {
    if (MsgNo r = ExpectKeyword(lx, "ORDER")) return r;
    if (MsgNo r = ExpectKeyword(lx, "BY")) return r;
    NodeIndex last = kNoNode;
    do {
        NodeIndex item = kNoNode;
        if (MsgNo r = ParseSortItem(item)) return r;
        if (last == kNoNode) {
            first = item;
        } else {
            at<SortItemFields>(last).next = item;
        }
        last = item;
    } while (acceptSymbol(","));
    return kMsgNone;
}

// ( ordinal | factor ) [ASC | DESC]. A key that begins with a number is an ordinal, so that a
// malformed or out-of-range ordinal (1.5, 4294967297) is refused rather than read otherwise.
MsgNo Parser::ParseSortItem(NodeIndex& out) {
    NodeIndex key = kNoNode;
    const SqlCursor start = lx.cursor;
    const bool ordinal = NextToken(lx) == kMsgNone && lx.kind == TokenKind::Number;
    lx.cursor = start;
    if (ordinal) {
        std::uint32_t value = 0;
        if (MsgNo r = ReadUnsignedInteger(lx, value)) return r;
        if (MsgNo r = newNode(NodeKind::NumberLiteral, key)) return r;
        tree_.node(key).type = {ValueType::Integer, 4, 10, 0};
        const StringIndex text = tree_.addString(lx.token);
        if (text == kNoString) return kMsgMemory;
        auto& number = at<NumberLiteralFields>(key);
        number.value = value;
        number.text = text;
    } else if (MsgNo r = ParseFactor(key)) {
        return r;
    }
    bool descending = false;
    const std::string_view direction = peekKeyword();
    if (equalsIgnoreCase(direction, "ASC") || equalsIgnoreCase(direction, "DESC")) {
        descending = equalsIgnoreCase(direction, "DESC");
        NextToken(lx);
    }
    if (MsgNo r = newNode(NodeKind::SortItem, out)) return r;
    auto& item = at<SortItemFields>(out);
    item.expression = key;
    item.descending = descending;
    return kMsgNone;
}

// INTO table-name [ "(" name { "," name } ")" ] ( SELECT query-body | VALUES "(" values ")" )
MsgNo Parser::ParseInsert(NodeIndex& out) {
    if (MsgNo r = ExpectKeyword(lx, "INTO")) return r;
    NodeIndex table = kNoNode;
    if (MsgNo r = ParseTableName(table)) return r;
    NodeIndex firstColumn = kNoNode;
    if (acceptSymbol("(")) {
        NodeIndex last = kNoNode;
        do {
            StringIndex name = kNoString;
            NodeIndex column = kNoNode;
            NodeIndex item = kNoNode;
            if (MsgNo r = ExpectIdentifier(lx, tree_, name, true)) return r;
            if (MsgNo r = newColumnRef(kNoString, name, column)) return r;
            if (MsgNo r = newNode(NodeKind::InsertColumn, item)) return r;
            at<InsertColumnFields>(item).columnRef = column;
            if (last == kNoNode) {
                firstColumn = item;
            } else {
                at<InsertColumnFields>(last).next = item;
            }
            last = item;
        } while (acceptSymbol(","));
        if (MsgNo r = ExpectSymbol(lx, ")")) return r;
    }
    NodeIndex source = kNoNode;
    if (acceptKeyword("SELECT")) {
        if (MsgNo r = ParseQuerySpec(source)) return r;
    } else {
        if (MsgNo r = ExpectKeyword(lx, "VALUES")) return r;
        if (MsgNo r = ExpectSymbol(lx, "(")) return r;
        if (MsgNo r = ParseValueList(source, ",")) return r;
        if (MsgNo r = ExpectSymbol(lx, ")")) return r;
    }
    if (MsgNo r = newNode(NodeKind::Insert, out)) return r;
    auto& insert = at<InsertFields>(out);
    insert.tableRef = table;
    insert.firstColumn = firstColumn;
    insert.source = source;
    return kMsgNone;
}

// table-name SET name "=" ( NULL | expression ) { "," ... } [WHERE search-condition]
MsgNo Parser::ParseUpdate(NodeIndex& out) {
    NodeIndex table = kNoNode;
    if (MsgNo r = ParseTableName(table)) return r;
    if (MsgNo r = ExpectKeyword(lx, "SET")) return r;
    NodeIndex first = kNoNode;
    NodeIndex last = kNoNode;
    do {
        StringIndex name = kNoString;
        NodeIndex column = kNoNode;
        NodeIndex value = kNoNode;
        NodeIndex assignment = kNoNode;
        if (MsgNo r = ExpectIdentifier(lx, tree_, name, true)) return r;
        if (MsgNo r = newColumnRef(kNoString, name, column)) return r;
        if (MsgNo r = ExpectSymbol(lx, "=")) return r;
        MsgNo r =
            acceptKeyword("NULL") ? newNode(NodeKind::NullLiteral, value) : ParseExpression(value);
        if (r == kMsgNone) r = newNode(NodeKind::Assignment, assignment);
        if (r != kMsgNone) return r;
        auto& fields = at<AssignmentFields>(assignment);
        fields.columnRef = column;
        fields.value = value;
        if (last == kNoNode) {
            first = assignment;
        } else {
            at<AssignmentFields>(last).next = assignment;
        }
        last = assignment;
    } while (acceptSymbol(","));
    NodeIndex where = kNoNode;
    if (acceptKeyword("WHERE")) {
        if (MsgNo r = ParseSearchCondition(where)) return r;
    }
    if (MsgNo r = newNode(NodeKind::Update, out)) return r;
    auto& update = at<UpdateFields>(out);
    update.tableRef = table;
    update.firstAssignment = first;
    update.where = where;
    return kMsgNone;
}

// FROM table-name [WHERE search-condition]
MsgNo Parser::ParseDelete(NodeIndex& out) {
    if (MsgNo r = ExpectKeyword(lx, "FROM")) return r;
    NodeIndex table = kNoNode;
    if (MsgNo r = ParseTableName(table)) return r;
    NodeIndex where = kNoNode;
    if (acceptKeyword("WHERE")) {
        if (MsgNo r = ParseSearchCondition(where)) return r;
    }
    if (MsgNo r = newNode(NodeKind::Delete, out)) return r;
    auto& del = at<DeleteFields>(out);
    del.tableRef = table;
    del.where = where;
    return kMsgNone;
}

// [UNIQUE] INDEX name ON table-name "(" name [ASC|DESC] { "," ... } ")"
// | TABLE name "(" column-def { "," column-def } ")"
MsgNo Parser::ParseCreate(NodeIndex& out) {
    bool unique = false;
    bool index = false;
    if (acceptKeyword("UNIQUE")) {
        if (MsgNo r = NextToken(lx)) return r;
        if (lx.kind != TokenKind::Keyword || !equalsIgnoreCase(lx.token, "INDEX")) {
            return fail(kMsgElementMissing, "found '" + lx.token + "' instead of UNIQUE");
        }
        unique = index = true;
    } else {
        index = acceptKeyword("INDEX");
    }
    if (!index) {
        if (MsgNo r = ExpectKeyword(lx, "TABLE")) return r;
    }
    StringIndex name = kNoString;
    if (MsgNo r = ExpectIdentifier(lx, tree_, name)) return r;
    NodeIndex table = kNoNode;
    if (index) {
        if (MsgNo r = ExpectKeyword(lx, "ON")) return r;
        if (MsgNo r = ParseTableName(table)) return r;
    }
    if (MsgNo r = ExpectSymbol(lx, "(")) return r;
    NodeIndex first = kNoNode;
    NodeIndex last = kNoNode;
    do {
        NodeIndex item = kNoNode;
        if (index) {
            StringIndex columnName = kNoString;
            NodeIndex column = kNoNode;
            if (MsgNo r = ExpectIdentifier(lx, tree_, columnName, true)) return r;
            if (MsgNo r = newColumnRef(kNoString, columnName, column)) return r;
            const bool descending = acceptKeyword("DESC");
            if (!descending) acceptKeyword("ASC");
            if (MsgNo r = newNode(NodeKind::SortItem, item)) return r;
            at<SortItemFields>(item).expression = column;
            at<SortItemFields>(item).descending = descending;
        } else if (MsgNo r = ParseColumnDef(item)) {
            return r;
        }
        if (last == kNoNode) {
            first = item;
        } else if (index) {
            at<SortItemFields>(last).next = item;
        } else {
            at<ColumnDefFields>(last).next = item;
        }
        last = item;
    } while (acceptSymbol(","));
    if (MsgNo r = ExpectSymbol(lx, ")")) return r;

    if (index) {
        if (MsgNo r = newNode(NodeKind::CreateIndex, out)) return r;
        auto& create = at<CreateIndexFields>(out);
        create.name = name;
        create.tableRef = table;
        create.firstSortItem = first;
        create.unique = unique;
    } else {
        if (MsgNo r = newNode(NodeKind::CreateTable, out)) return r;
        auto& create = at<CreateTableFields>(out);
        create.name = name;
        create.firstColumnDef = first;
    }
    return kMsgNone;
}

// name type-name [ "(" number [ "," number ] ")" ]
MsgNo Parser::ParseColumnDef(NodeIndex& out) {
    StringIndex name = kNoString;
    StringIndex typeName = kNoString;
    if (MsgNo r = ExpectIdentifier(lx, tree_, name)) return r;
    if (MsgNo r = ExpectIdentifier(lx, tree_, typeName)) return r;
    std::uint16_t count = 0;
    std::uint32_t sizes[2] = {0, 0};
    if (acceptSymbol("(")) {
        for (;;) {
            if (MsgNo r = ReadUnsignedInteger(lx, sizes[count])) return r;
            ++count;
            if (MsgNo r = NextToken(lx)) return r;
            if (count == 2 || lx.kind != TokenKind::Symbol || lx.token != ",") break;
        }
        if (lx.kind != TokenKind::Symbol || lx.token != ")") {
            return fail(kMsgElementMissing, "found '" + lx.token + "' instead of )");
        }
    }
    if (MsgNo r = newNode(NodeKind::ColumnDef, out)) return r;
    auto& def = at<ColumnDefFields>(out);
    def.name = name;
    def.typeName = typeName;
    def.sizeCount = count;
    def.size1 = sizes[0];
    def.size2 = sizes[1];
    return kMsgNone;
}

// INDEX name | TABLE name
MsgNo Parser::ParseDrop(NodeIndex& out) {
    const bool index = acceptKeyword("INDEX");
    if (!index) {
        if (MsgNo r = ExpectKeyword(lx, "TABLE")) return r;
    }
    StringIndex name = kNoString;
    if (MsgNo r = ExpectIdentifier(lx, tree_, name)) return r;
    if (index) {
        if (MsgNo r = newNode(NodeKind::DropIndex, out)) return r;
        at<DropIndexFields>(out).name = name;
    } else {
        if (MsgNo r = newNode(NodeKind::DropTable, out)) return r;
        at<DropTableFields>(out).name = name;
    }
    return kMsgNone;
}

MsgNo ParseStatement(std::string_view text, ParseTree& tree, StatementFacts& facts) {
    tree.clear();
    facts.openQuery = false;
    facts.remainingBatch.clear();
    facts.argument.clear();
    MsgNo result = kMsgNone;
    try {
        Parser parser(text, tree, facts);
        result = parser.parseStatement();
        // A message without "%s" takes no argument; what a failed alternative left is dropped.
        if (result != kMsgNone && messageEntry(result).find("%s") != std::string_view::npos) {
            facts.argument = std::move(parser.lx.argument);
        }
    } catch (const std::bad_alloc&) {
        result = kMsgMemory;
    } catch (...) {
        result = kMsgInternalError;
    }
    if (result != kMsgNone) {
        tree.clear();
        facts.openQuery = false;
        facts.remainingBatch.clear();
    }
    return result;
}

}  // namespace kelvra
