#include "driver/text_args.h"

#include <cstring>

#include "convert/wide_text.h"
#include "resources/utf8.h"

namespace kelvra {

TextArg ansiText(const SQLCHAR* text, SQLINTEGER length) {
    if (text == nullptr) return {};
    const char* chars = reinterpret_cast<const char*>(text);
    if (length == SQL_NTS) return {std::string(chars), true};
    return {std::string(chars, length < 0 ? 0 : static_cast<size_t>(length)), true};
}

TextArg TextArgs::read(const SQLCHAR* text, SQLINTEGER length, const char* what) {
    if (status_ != kMsgNone) return {};
    TextArg arg = ansiText(text, length);
    if (!isValidUtf8(arg.text)) return refuse(what, " is not valid UTF-8");
    return arg;
}

TextArg TextArgs::read(const SQLWCHAR* text, SQLINTEGER length, const char* what) {
    if (status_ != kMsgNone || text == nullptr) return {};
    const size_t count = length == SQL_NTS ? wideLength(text)
                         : length < 0      ? 0
                                           : static_cast<size_t>(length);
    TextArg arg{{}, true};
    if (!wideToUtf8(text, count, arg.text)) return refuse(what, " holds an unpaired surrogate");
    return arg;
}

TextArg TextArgs::refuse(const char* what, const char* problem) {
    status_ = kMsgInvalidEncoding;
    postMessage(diag_, kMsgInvalidEncoding, std::string(what) + problem);
    return {};
}

}  // namespace kelvra
