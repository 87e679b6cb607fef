// libFuzzer target: ParseStatement on any text. A finding is a crash, a sanitizer report, or a
// broken promise of the parser: an internal error, a failure that leaves a tree, a success
// without a statement, parameters out of order, or a tree whose links do not hold (the test
// renderer walks the whole tree and throws on a node of the wrong kind; build with
// _GLIBCXX_ASSERTIONS so that an index out of range stops there too).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "render_tree.h"
#include "resources/messages.h"
#include "sql/parser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Longer texts only repeat what shorter ones reach, more slowly.
    if (size > 16384) return -1;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    kelvra::ParseTree tree;
    kelvra::StatementFacts facts;
    const kelvra::MsgNo result = kelvra::ParseStatement(text, tree, facts);
    if (result == kelvra::kMsgInternalError || kelvra::messageEntry(result).empty()) std::abort();
    if (result != kelvra::kMsgNone) {
        if (!tree.empty() || facts.openQuery) std::abort();
        return 0;
    }
    if (tree.empty() || tree.root().statement == kelvra::kNoNode) std::abort();
    kelvra::renderStatement(tree);
    if (kelvra::renderParameters(tree).front() == '!') std::abort();
    return 0;
}
