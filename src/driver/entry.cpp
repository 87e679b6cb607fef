#include "driver/entry.h"

namespace kelvra {

SQLRETURN returnCodeFor(MsgNo number) {
    switch (number) {
        case kMsgNone:
            return SQL_SUCCESS;
        case kMsgTruncated:
        case kMsgOptionChanged:
        case kMsgDdlIgnored:
        case kMsgCommittedBeforeDdl:
        case kMsgBeforeFirstRowset:
            return SQL_SUCCESS_WITH_INFO;
        default:
            return SQL_ERROR;
    }
}

SQLRETURN finish(DiagRecord& diag, MsgNo number) {
    // An operation that needed an argument text has posted the message itself.
    if (number != kMsgNone && diag.number != number) postMessage(diag, number);
    return returnCodeFor(number);
}

}  // namespace kelvra
