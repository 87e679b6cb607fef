#include "sql/scalar_analysis.h"

namespace kelvra {

MsgNo analyzeScalarFunction(ParseTree& tree, NodeIndex call, int /*odbcVersion*/,
                            std::string& argument,
                            const std::function<MsgNo(NodeIndex)>& /*analyze*/) {
    // The function library is not part of the driver yet.
    argument = tree.text(tree.fields<ScalarFunctionFields>(call).name);
    return kMsgFunctionNotFound;
}

}  // namespace kelvra
