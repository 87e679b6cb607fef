// How the columns of a query's result are described to the client: a plain column from its
// QuickBase field, an expression from its type.
#pragma once

#include <vector>

#include "driver/result_set.h"
#include "sql/parse_tree.h"

namespace kelvra {

// The description of each select item of an analysed Select.
std::vector<ResultColumn> describeSelect(const ParseTree& tree, NodeIndex select);

// The description of a value of this type (octet length, precision and display size by the
// SQL type).
ResultColumn describeType(std::string name, const TypeDesc& type);

}  // namespace kelvra
