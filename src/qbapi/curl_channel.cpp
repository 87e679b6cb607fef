#include "qbapi/curl_channel.h"

#include <curl/curl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "qbapi/platform_init.h"
#include "resources/ascii.h"

namespace kelvra {

namespace {

// Besides the request's own time limit, never a hang: connecting gives up after a minute, and a
// reply that sends nothing for five minutes is abandoned.
constexpr long kConnectTimeoutSeconds = 60;
constexpr long kStallSeconds = 300;

// The CA file named by CURL_CA_BUNDLE, when that names a regular file.
const char* caBundleFromEnvironment() {
    const char* path = std::getenv("CURL_CA_BUNDLE");
    struct stat info {};
    if (path == nullptr || *path == '\0' || ::stat(path, &info) != 0 || !S_ISREG(info.st_mode)) {
        return nullptr;
    }
    return path;
}

struct ReplySink {
    HttpReply* reply;
    BodySink* streamed;  // takes the body as it arrives, when the request names one
    std::size_t limit;
    std::size_t received = 0;
    bool tooLarge = false;
    bool stoppedByStream = false;
};

// Returning less than n makes curl stop with a write error.
size_t onBody(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<ReplySink*>(user);
    size_t n = size * count;
    if (n > sink->limit - sink->received) {
        sink->tooLarge = true;
        return 0;
    }
    sink->received += n;
    if (sink->streamed != nullptr) {
        if (sink->streamed->piece(std::string_view(data, n))) return n;
        sink->stoppedByStream = true;
        return 0;
    }
    sink->reply->body.append(data, n);
    return n;
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() &&
           (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n')) {
        s.remove_suffix(1);
    }
    return s;
}

size_t onHeader(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<ReplySink*>(user);
    size_t n = size * count;
    std::string_view line(data, n);
    if (line.starts_with("HTTP/")) {
        sink->reply->headers.clear();  // a new response (after 100 Continue, for instance)
    } else if (auto colon = line.find(':'); colon != std::string_view::npos) {
        sink->reply->headers.push_back({std::string(trimBlanks(line.substr(0, colon))),
                                        std::string(trimBlanks(line.substr(colon + 1)))});
    }
    return n;
}

class CurlChannel final : public HttpChannel {
  public:
    CurlChannel(CURL* handle, bool ignoreCertificates)
        : handle_(handle), ignoreCertificates_(ignoreCertificates) {}
    ~CurlChannel() override { curl_easy_cleanup(handle_); }
    CurlChannel(const CurlChannel&) = delete;
    CurlChannel& operator=(const CurlChannel&) = delete;

    int exchange(const HttpRequest& request, HttpReply& reply, std::string& failure) override {
        reply = HttpReply{};
        ReplySink sink{&reply, request.bodySink, request.maxReplyBytes};
        curl_slist* headers = buildHeaders(request);
        errorBuffer_[0] = '\0';
        configure(request, headers, sink);
        CURLcode code = curl_easy_perform(handle_);
        curl_slist_free_all(headers);
        // Nothing may point at this call's locals once it returns.
        curl_easy_setopt(handle_, CURLOPT_HTTPHEADER, nullptr);
        curl_easy_setopt(handle_, CURLOPT_POSTFIELDS, nullptr);
        // A stream that stopped reading still leaves a reply: its status and headers stand.
        if (code != CURLE_OK && !(code == CURLE_WRITE_ERROR && sink.stoppedByStream)) {
            failure = errorBuffer_[0] != '\0' ? std::string(errorBuffer_)
                                              : std::string(curl_easy_strerror(code));
            if (sink.tooLarge || code == CURLE_FILESIZE_EXCEEDED) return kExchangeTooLarge;
            if (code == CURLE_OPERATION_TIMEDOUT) return kExchangeTimedOut;
            return static_cast<int>(code);
        }
        long status = 0;
        curl_easy_getinfo(handle_, CURLINFO_RESPONSE_CODE, &status);
        reply.status = static_cast<int>(status);
        return 0;
    }

  private:
    // The headers exactly as asked; curl's own Content-Type and Expect are suppressed.
    static curl_slist* buildHeaders(const HttpRequest& request) {
        curl_slist* list = nullptr;
        bool hasContentType = false;
        for (const HttpHeader& h : request.headers) {
            hasContentType = hasContentType || equalsIgnoreCase(h.name, "Content-Type");
            list = curl_slist_append(list, (h.name + ": " + h.value).c_str());
        }
        if (!hasContentType) list = curl_slist_append(list, "Content-Type:");
        list = curl_slist_append(list, "Expect:");
        return list;
    }

    void configure(const HttpRequest& request, curl_slist* headers, ReplySink& sink) {
        curl_easy_setopt(handle_, CURLOPT_URL, request.url.c_str());
        curl_easy_setopt(handle_, CURLOPT_PROTOCOLS_STR, "https");
        curl_easy_setopt(handle_, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(handle_, CURLOPT_ERRORBUFFER, errorBuffer_);
        curl_easy_setopt(handle_, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
        curl_easy_setopt(handle_, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(handle_, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
        curl_easy_setopt(handle_, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(request.maxReplyBytes));
        curl_easy_setopt(handle_, CURLOPT_TIMEOUT_MS, request.timeoutMs);
        curl_easy_setopt(handle_, CURLOPT_SSL_VERIFYPEER, ignoreCertificates_ ? 0L : 1L);
        curl_easy_setopt(handle_, CURLOPT_SSL_VERIFYHOST, ignoreCertificates_ ? 0L : 2L);
        if (!ignoreCertificates_) {
            if (const char* bundle = caBundleFromEnvironment()) {
                curl_easy_setopt(handle_, CURLOPT_CAINFO, bundle);
            }
        }
        curl_easy_setopt(handle_, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(handle_, CURLOPT_WRITEFUNCTION, onBody);
        curl_easy_setopt(handle_, CURLOPT_WRITEDATA, &sink);
        curl_easy_setopt(handle_, CURLOPT_HEADERFUNCTION, onHeader);
        curl_easy_setopt(handle_, CURLOPT_HEADERDATA, &sink);
        if (request.method == "GET") {
            curl_easy_setopt(handle_, CURLOPT_HTTPGET, 1L);
        } else {
            curl_easy_setopt(handle_, CURLOPT_POST, 1L);
            curl_easy_setopt(handle_, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.body.size()));
            curl_easy_setopt(handle_, CURLOPT_POSTFIELDS, request.body.data());
        }
    }

    CURL* handle_;
    bool ignoreCertificates_;
    char errorBuffer_[CURL_ERROR_SIZE] = {};
};

}  // namespace

std::unique_ptr<HttpChannel> createCurlChannel(bool ignoreCertificates) {
    if (!initializeXmlAndHttp()) return nullptr;
    CURL* handle = curl_easy_init();
    if (handle == nullptr) return nullptr;
    return std::make_unique<CurlChannel>(handle, ignoreCertificates);
}

}  // namespace kelvra
