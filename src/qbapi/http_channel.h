// The HTTP channel: one synchronous exchange with the QuickBase service. The session talks
// through this interface only, so that tests can put a scripted channel in place of libcurl and
// state exactly which requests went out.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kelvra {

struct HttpHeader {
    std::string name;
    std::string value;
};

// Takes a reply's body piece by piece as it arrives, instead of the reply holding it whole.
class BodySink {
  public:
    virtual ~BodySink() = default;
    virtual void piece(std::string_view bytes) = 0;
};

struct HttpRequest {
    std::string method;  // "POST" or "GET"
    std::string url;
    std::vector<HttpHeader> headers;  // exactly the headers to send, in order
    std::string body;
    // When set, the reply's body goes here as it arrives and HttpReply::body stays empty.
    BodySink* bodySink = nullptr;
};

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
    // its status; otherwise a non-zero failure code of the channel (never an HTTP status), with
    // `failure` describing what went wrong.
    virtual int exchange(const HttpRequest& request, HttpReply& reply, std::string& failure) = 0;
};

}  // namespace kelvra
