// The session itself: construction, the error state and request building.
#include "qbapi/qb_session.h"

#include "qbapi/curl_channel.h"
#include "qbapi/request_document.h"

namespace kelvra {

namespace {

std::unique_ptr<HttpChannel> makeCurlChannel(bool ignoreCertificates) noexcept {
    try {
        return createCurlChannel(ignoreCertificates);
    } catch (...) {
        return nullptr;
    }
}

}  // namespace

QbSession::QbSession(bool mta, bool useServerRequest)
    : QbSession(makeCurlChannel(useServerRequest)) {
    useMta = mta;
}

QbSession::QbSession(std::unique_ptr<HttpChannel> channel) : channel_(std::move(channel)) {
    guarded(0, [&] {
        clearError();
        request_ = RequestDocument::create();
        if (!channel_) {
            setError("1000", "Could not create libcurl objects.",
                     "Could not create the libcurl easy handle of the HTTP request object.");
        } else if (!request_) {
            setError("1000", "Could not create libxml2 objects.",
                     "Could not create the libxml2 request document.");
        }
        return 0;
    });
}

QbSession::~QbSession() = default;

void QbSession::setError(std::string code, std::string text, std::string detail) {
    msgNo_ = code == "0" ? kMsgNone : kMsgSession;
    errcode_ = std::move(code);
    errtext_ = std::move(text);
    errdetail_ = std::move(detail);
}

void QbSession::clearError() {
    setError("0", "No Error", "No Error");
}

void QbSession::failWith(MsgNo msgNo, const char* code, const char* text) noexcept {
    msgNo_ = msgNo;
    try {
        errcode_ = code;
        errtext_ = text;
        errdetail_ = text;
    } catch (...) {
        errcode_.clear();  // still not "0": the failure shows
    }
}

void QbSession::beginRequest() {
    guarded(0, [&] {
        clearError();
        if (!request_) return 0;
        request_->clear();
        if (!ticket.empty()) {
            request_->addParam("ticket", ticket);
        } else if (!username.empty()) {
            request_->addParam("username", username);
            request_->addParam("password", password);
        }
        return 0;
    });
}

void QbSession::addParam(std::string_view name, std::string_view value) {
    guarded(0, [&] {
        if (request_) request_->addParam(name, value);
        return 0;
    });
}

void QbSession::addFieldParam(std::int32_t fid, std::string_view value, std::string_view filename) {
    guarded(0, [&] {
        if (request_) request_->addFieldParam(fid, value, filename);
        return 0;
    });
}

void QbSession::useCredentialsInsteadOfTicket() {
    ticket.clear();
    if (!request_) return;
    // The refused ticket goes, and so does any earlier retry's pair: the request ends with
    // exactly one user name and password.
    request_->removeParams("ticket");
    request_->removeParams("username");
    request_->removeParams("password");
    request_->addParam("username", username);
    request_->addParam("password", password);
}

}  // namespace kelvra
