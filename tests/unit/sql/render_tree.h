// Test helper: a parse tree as one line of text, every operator parenthesised with its operands
// so that associativity and nesting show. Names with anything but letters, digits and "_" are
// bracketed ([Last Modified By]).
#pragma once

#include <string>

#include "sql/parse_tree.h"

namespace kelvra {

// The root's statement, e.g. "(SELECT [a, (+ b 1) AS c] FROM [t] WHERE (= a ?1))". A tree
// whose links do not hold (a node of the wrong kind in a place) throws std::logic_error.
std::string renderStatement(const ParseTree& tree);

// The parameter chain: its length, or "!" and the position where the numbers stop running
// 1, 2, 3, ...
std::string renderParameters(const ParseTree& tree);

}  // namespace kelvra
