// The HTTP channel: one synchronous exchange with the QuickBase service. The session talks
// through this interface only, so that tests can put a scripted channel in place of libcurl and
// state exactly which requests went out.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "qbapi/reply_limits.h"

namespace kelvra {

struct HttpHeader {
    std::string name;
    std::string value;
};

// Takes a reply's body piece by piece as it arrives, instead of the reply holding it whole.
class BodySink {
  public:
    virtual ~BodySink() = default;
    // False when the sink wants no more: the rest of the body is not read, and the exchange
    // still counts as a reply (status and headers stand); the sink knows the body was cut.
    virtual bool piece(std::string_view bytes) = 0;
};

struct HttpRequest {
    std::string method;  // "POST" or "GET"
    std::string url;
    std::vector<HttpHeader> headers;  // exactly the headers to send, in order
    std::string body;
    // When set, the reply's body goes here as it arrives and HttpReply::body stays empty.
    BodySink* bodySink = nullptr;
    // A longer body ends the exchange with kExchangeTooLarge.
    std::size_t maxReplyBytes = kMaxStreamedReplyBytes;
    // The whole exchange, connecting included, may take this long; 0: no limit of its own.
    long timeoutMs = 0;
};

// Failure codes of HttpChannel::exchange that the session reports in its own words.
inline constexpr int kExchangeTimedOut = -2;
inline constexpr int kExchangeTooLarge = -3;

struct HttpReply {
    int status = 0;  // 0 when no status could be read
    std::vector<HttpHeader> headers;
    std::string body;

    // The value of the first header of that name (ignoring case); empty when there is none.
    std::string_view header(std::string_view name) const;
};

class HttpChannel {
  public:
    virtual ~HttpChannel() = default;

    // Sends the request and waits for the whole reply. Returns 0 when a reply arrived, whatever
    // its status; otherwise a non-zero failure code of the channel (never an HTTP status):
    // kExchangeTimedOut, kExchangeTooLarge or another, with `failure` describing what went
    // wrong.
    virtual int exchange(const HttpRequest& request, HttpReply& reply, std::string& failure) = 0;
};

}  // namespace kelvra
