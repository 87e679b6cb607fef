// The analysis of a scalar function call: its special leading word (an interval, an EXTRACT
// field, a CONVERT target) taken off the argument list, the other arguments analysed, and the
// call resolved against the function library, which gives the node its type.
#pragma once

#include <functional>
#include <string>

#include "resources/messages.h"
#include "sql/parse_tree.h"

namespace kelvra {

// `analyze` analyses one argument expression in the caller's context.
MsgNo analyzeScalarFunction(ParseTree& tree, NodeIndex call,
                            std::string& argument,
                            const std::function<MsgNo(NodeIndex)>& analyze);

}  // namespace kelvra
