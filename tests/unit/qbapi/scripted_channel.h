// A scripted HTTP channel: answers requests from a queue and keeps every request it was
// given, so that tests can state exactly what went out.
#pragma once

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "qbapi/http_channel.h"

namespace kelvra::test {

class ScriptedChannel final : public HttpChannel {
  public:
    std::vector<HttpRequest> sent;
    // The sizes of the pieces a streamed body arrives in, used in turn (none may be 0).
    std::vector<std::size_t> pieceBytes{7};

    void answer(HttpReply reply) { answers_.push_back({0, {}, std::move(reply)}); }
    void fail(int code, std::string description) {
        answers_.push_back({code, std::move(description), {}});
    }
    std::size_t pending() const { return answers_.size(); }

    int exchange(const HttpRequest& request, HttpReply& reply, std::string& failure) override {
        sent.push_back(request);
        if (answers_.empty()) {
            failure = "no scripted answer";
            return 7;
        }
        Answer next = std::move(answers_.front());
        answers_.pop_front();
        reply = std::move(next.reply);
        failure = std::move(next.failure);
        if (request.bodySink != nullptr && next.code == 0) {
            // As the network delivers it: in pieces that split elements and characters, until
            // the sink wants no more.
            std::string_view body = reply.body;
            for (std::size_t i = 0; !body.empty(); ++i) {
                const std::size_t n = std::min(pieceBytes[i % pieceBytes.size()], body.size());
                if (!request.bodySink->piece(body.substr(0, n))) break;
                body.remove_prefix(n);
            }
            reply.body.clear();
        }
        return next.code;
    }

  private:
    struct Answer {
        int code;
        std::string failure;
        HttpReply reply;
    };
    std::deque<Answer> answers_;
};

// A reply with status 200 and the QuickBase headers.
inline HttpReply qbReply(std::string body, std::string errcode = "0",
                         std::string errtext = "No error") {
    HttpReply reply;
    reply.status = 200;
    reply.headers = {{"Content-Type", "text/xml"},
                     {"Content-Length", std::to_string(body.size())},
                     {"QUICKBASE-ERRCODE", std::move(errcode)},
                     {"QUICKBASE-ERRTEXT", std::move(errtext)}};
    reply.body = std::move(body);
    return reply;
}

// A QuickBase XML reply document with the given envelope and call-specific content.
inline std::string qbXml(const std::string& action, const std::string& errcode,
                         const std::string& errtext, const std::string& content = "") {
    return "<?xml version=\"1.0\" ?>\n<qdbapi>\n<action>" + action + "</action>\n<errcode>" +
           errcode + "</errcode>\n<errtext>" + errtext + "</errtext>\n" + content + "</qdbapi>\n";
}

// A verified reply: the same code in the headers and the document.
inline HttpReply qbApiReply(const std::string& action, const std::string& content = "",
                            const std::string& errcode = "0",
                            const std::string& errtext = "No error") {
    return qbReply(qbXml(action, errcode, errtext, content), errcode, errtext);
}

}  // namespace kelvra::test
