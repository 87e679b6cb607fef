// The exchange with the service: headers, status and reply-header checks, transport errors,
// the ticket retry and the URL rules.
#include "qbapi/qb_session.h"

#include "qbapi/decimal_text.h"
#include "qbapi/request_document.h"

namespace kelvra {

namespace {

constexpr std::string_view kBareDomain = "quickbase.com";

}  // namespace

void QbSession::recordTransportError(const std::string& url, const std::string& description) {
    setError("17", "HTTP error", "Communication with " + url + " failed: " + description);
}

void QbSession::refuseReply(const std::string& source, const std::string& what) {
    setError("1004", "Reply too large.",
             "The reply from " + source + " holds " + what + ", more than the driver accepts.");
}

void QbSession::recordStatusError(const std::string& url, int status) {
    std::string code = std::to_string(status);
    setError(code, "xmlHTTP error " + code,
             "While attempting to connect with " + url +
                 " the xmlHTTP object failed with an error code of " + code);
}

int QbSession::exchange(const std::string& method, const std::string& url, bool sendContentType,
                        std::size_t maxReplyBytes) {
    clearError();
    if (!channel_ || !request_) {
        setError("17", "xmlHTTP COM error on xmlHTTP->status.",
                 "While attempting to connect with " + url +
                     " the xmlHTTP object failed to return a status.");
        return -1;
    }
    HttpRequest request;
    request.method = method;
    request.url = url;
    if (!userAgent.empty()) request.headers.push_back({"User-Agent", userAgent});
    if (sendContentType) request.headers.push_back({"Content-Type", "text/xml"});
    if (!ticket.empty()) request.headers.push_back({"Cookie", "TICKET=" + ticket + ";"});
    if (method == "POST") request.body = request_->text();
    if (stream_ != nullptr) {
        stream_->start();
        request.bodySink = stream_;
    }
    request.maxReplyBytes = maxReplyBytes;
    request.timeoutMs = static_cast<long>(deadline.seconds) * 1000;

    std::string failure;
    int failed = channel_->exchange(request, reply_, failure);
    if (failed == kExchangeTimedOut) {
        // Without a deadline of its own the channel still gives up on a server that stalls.
        const std::string within = deadline.seconds == 0 ? " before the server stalled"
                                   : deadline.seconds == 1
                                       ? " within 1 second"
                                       : " within " + std::to_string(deadline.seconds) + " seconds";
        setError("17", "Timeout expired.", "No complete reply from " + url + within);
        msgNo_ = deadline.expiry;
        return failed;
    }
    if (failed == kExchangeTooLarge) {
        refuseReply(url, "more than " + std::to_string(maxReplyBytes) + " bytes");
        return failed;
    }
    if (failed != 0) {
        recordTransportError(url, failure);
        return failed;
    }
    int status = reply_.status;
    if (status == 0) {
        setError("17", "xmlHTTP COM error on xmlHTTP->status.",
                 "While attempting to connect with " + url +
                     " the xmlHTTP object failed to return a status.");
        return -1;
    }
    if (status != 200) {
        recordStatusError(url, status);
        return status;
    }
    lastReplyLength_ = readLeadingInt(reply_.header("Content-Length"));
    std::string_view code = reply_.header("QUICKBASE-ERRCODE");
    if (code.empty()) {
        recordStatusError(url, 200);
        return 200;
    }
    std::string text(reply_.header("QUICKBASE-ERRTEXT"));
    setError(std::string(code), text, text);
    return 200;
}

int QbSession::post(const std::string& url, bool sendContentType, std::size_t maxReplyBytes) {
    return guarded(-1, [&] {
        int result = exchange("POST", url, sendContentType, maxReplyBytes);
        if (errcode_ == "4") {
            useCredentialsInsteadOfTicket();
            result = exchange("POST", url, sendContentType, maxReplyBytes);
        }
        return result;
    });
}

std::string QbSession::tableUrl(std::string_view dbid, std::string_view action) {
    if (server.empty() || server == kBareDomain) server = kDefaultServer;
    std::string url = "https://";
    url.append(server).append("/db/").append(dbid).append("?a=").append(action);
    return url;
}

int QbSession::postToTable(std::string_view dbid, std::string_view action, bool sendContentType,
                           std::size_t maxReplyBytes) {
    return guarded(-1,
                   [&] { return post(tableUrl(dbid, action), sendContentType, maxReplyBytes); });
}

bool QbSession::download(const std::string& url, std::string& content) {
    return guarded(false, [&] {
        content.clear();
        int result = exchange("GET", url, false, kMaxStreamedReplyBytes);
        // A GET has no body to carry user name and password: a refused ticket is renewed by
        // logging in again, then the download is repeated once.
        if (errcode_ == "4" && !username.empty()) {
            ticket.clear();
            if (authenticate().empty()) return false;
            result = exchange("GET", url, false, kMaxStreamedReplyBytes);
        }
        if (result != 200 || !ok()) return false;
        content.swap(reply_.body);
        return true;
    });
}

}  // namespace kelvra
