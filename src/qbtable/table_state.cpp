#include "qbtable/table_state.h"

#include <atomic>
#include <utility>

#include "qbapi/qb_session.h"
#include "resources/ascii.h"

namespace kelvra {

std::uint64_t TableLayerState::nextSerial() {
    static std::atomic<std::uint64_t> serials{0};
    return ++serials;
}

bool TableLayerState::sqlServerHost() const {
    return equalsIgnoreCase(hostProgram, "sqlservr.exe");
}

MsgNo TableLayerState::fail(MsgNo number) {
    error = TableError{number, {}, {}};
    return number;
}

MsgNo TableLayerState::failWithText(const QbSession& session, std::string detail) {
    if (session.msgNo() != kMsgNone && session.msgNo() != kMsgSession) {
        return fail(session.msgNo());
    }
    error = TableError{kMsgSession, session.errcode(), std::move(detail)};
    lastQuickBaseError = error.detail;
    return kMsgSession;
}

MsgNo TableLayerState::failFromSession(const QbSession& session) {
    const MsgNo number = session.msgNo() != kMsgNone ? session.msgNo() : MsgNo{kMsgSession};
    error = TableError{number, session.errcode(), session.errdetail()};
    if (number == kMsgSession) lastQuickBaseError = error.detail;
    return number;
}

MsgNo TableLayerState::refuseApplication(const QbSession& session, std::string detail) {
    error = TableError{kMsgSession, session.errcode(), std::move(detail), true};
    return kMsgSession;
}

}  // namespace kelvra
