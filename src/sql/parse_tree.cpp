#include "sql/parse_tree.h"

#include <new>

namespace kelvra {

namespace {

// The fields of a kind, default-constructed: the variant's alternatives are in kind order.
NodeFields defaultFields(NodeKind kind) {
    switch (kind) {
        case NodeKind::Root:
            return RootFields{};
        case NodeKind::CreateTable:
            return CreateTableFields{};
        case NodeKind::DropTable:
            return DropTableFields{};
        case NodeKind::Select:
            return SelectFields{};
        case NodeKind::Insert:
            return InsertFields{};
        case NodeKind::Delete:
            return DeleteFields{};
        case NodeKind::Update:
            return UpdateFields{};
        case NodeKind::PassThrough:
            return PassThroughFields{};
        case NodeKind::FromItem:
            return FromItemFields{};
        case NodeKind::ListItem:
            return ListItemFields{};
        case NodeKind::InsertColumn:
            return InsertColumnFields{};
        case NodeKind::SortItem:
            return SortItemFields{};
        case NodeKind::GroupItem:
            return GroupItemFields{};
        case NodeKind::Assignment:
            return AssignmentFields{};
        case NodeKind::ColumnDef:
            return ColumnDefFields{};
        case NodeKind::BoolOp:
            return BoolOpFields{};
        case NodeKind::Predicate:
            return PredicateFields{};
        case NodeKind::ArithOp:
            return ArithOpFields{};
        case NodeKind::Aggregate:
            return AggregateFields{};
        case NodeKind::TableRef:
            return TableRefFields{};
        case NodeKind::ColumnRef:
            return ColumnRefFields{};
        case NodeKind::StringLiteral:
            return StringLiteralFields{};
        case NodeKind::NumberLiteral:
            return NumberLiteralFields{};
        case NodeKind::Parameter:
            return ParameterFields{};
        case NodeKind::UserName:
            return UserNameFields{};
        case NodeKind::NullLiteral:
            return NullLiteralFields{};
        case NodeKind::DateLiteral:
            return DateLiteralFields{};
        case NodeKind::TimeLiteral:
            return TimeLiteralFields{};
        case NodeKind::TimestampLiteral:
            return TimestampLiteralFields{};
        case NodeKind::CreateIndex:
            return CreateIndexFields{};
        case NodeKind::DropIndex:
            return DropIndexFields{};
        case NodeKind::ScalarFunction:
            return ScalarFunctionFields{};
    }
    return PassThroughFields{};
}

}  // namespace

NodeIndex ParseTree::newNode(NodeKind kind) noexcept {
    try {
        nodes_.push_back(ParseNode{kind, {}, {}, {}, defaultFields(kind)});
        return static_cast<NodeIndex>(nodes_.size() - 1);
    } catch (const std::bad_alloc&) {
        return kNoNode;
    }
}

StringIndex ParseTree::addString(std::string_view text) noexcept {
    try {
        strings_.emplace_back(text);
        return static_cast<StringIndex>(strings_.size() - 1);
    } catch (const std::bad_alloc&) {
        return kNoString;
    }
}

StringIndex ParseTree::reserveString(std::size_t size) noexcept {
    try {
        strings_.emplace_back().reserve(size);
        return static_cast<StringIndex>(strings_.size() - 1);
    } catch (const std::bad_alloc&) {
        return kNoString;
    } catch (const std::length_error&) {
        return kNoString;
    }
}

std::string_view ParseTree::text(StringIndex index) const {
    if (index < 0 || static_cast<size_t>(index) >= strings_.size()) return {};
    return strings_[static_cast<size_t>(index)];
}

void ParseTree::truncate(std::int32_t nodeCount, std::int32_t stringCount) noexcept {
    if (nodeCount >= 0 && static_cast<size_t>(nodeCount) < nodes_.size()) {
        nodes_.erase(nodes_.begin() + nodeCount, nodes_.end());
    }
    if (stringCount >= 0 && static_cast<size_t>(stringCount) < strings_.size()) {
        strings_.erase(strings_.begin() + stringCount, strings_.end());
    }
}

void ParseTree::clear() noexcept {
    nodes_.clear();
    strings_.clear();
}

}  // namespace kelvra
