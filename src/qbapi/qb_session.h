// QbSession: a connection's QuickBase client. It holds the credentials, the ticket and the
// server, sends XML requests over its HTTP channel, verifies the replies and keeps the outcome
// of the last call in its error state (errcode, errtext, errdetail: texts, "0" is success).
// No operation throws: every failure ends in the error state, and msgNo() says how the driver
// reports it (999 for a QuickBase or transport error, 1001 when memory ran out).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "qbapi/http_channel.h"
#include "qbapi/reply_limits.h"
#include "qbapi/session_options.h"
#include "qbapi/stream_reader.h"
#include "qbapi/xml_document.h"
#include "resources/messages.h"

namespace kelvra {

class RequestDocument;

inline constexpr std::string_view kDefaultServer = "www.quickbase.com";
// The 32 characters of a DBID: no "l", "o", "0" or "1", no upper case.
inline constexpr std::string_view kDbidAlphabet = "abcdefghijkmnpqrstuvwxyz23456789";

// Field values of a record write by field id, sent in ascending field id order.
using FieldValues = std::map<std::int32_t, std::string>;

// How long one exchange may take, connecting and the whole reply included (0: no limit), and the
// message its expiry is reported as: the login timeout while logging in, the connection timeout
// after.
struct ExchangeDeadline {
    std::uint32_t seconds = 0;
    MsgNo expiry = kMsgConnectionTimeout;
};

class QbSession {
  public:
    // A session over libcurl. useMta (THREADMODEL "MTA") is kept and selects nothing here;
    // useServerRequest (WINHTTP) makes the channel ignore the server's certificate errors.
    // Check errcode() afterwards: "1000" when the libcurl or libxml2 objects could not be made.
    QbSession(bool useMta, bool useServerRequest);
    // A session over the given channel (tests use a scripted one).
    explicit QbSession(std::unique_ptr<HttpChannel> channel);
    ~QbSession();
    QbSession(const QbSession&) = delete;
    QbSession& operator=(const QbSession&) = delete;

    // Set by connecting; the ticket is also renewed by replies and emptied by the ticket retry.
    std::string username;
    std::string password;
    std::string server{kDefaultServer};
    std::string userAgent;  // no User-Agent header while empty
    std::string ticket;     // sent as cookie and "ticket" element while not empty
    std::string userid;     // from API_Authenticate
    bool useMta = false;
    ExchangeDeadline deadline;
    OptionMap options;
    // Filled by recordIds(), in reply order.
    std::vector<std::int32_t> recordIdList;

    // The error state of the last call.
    const std::string& errcode() const { return errcode_; }
    const std::string& errtext() const { return errtext_; }
    const std::string& errdetail() const { return errdetail_; }
    bool ok() const { return errcode_ == "0"; }
    MsgNo msgNo() const { return msgNo_; }
    void setError(std::string code, std::string text, std::string detail);
    // "0", "No Error", "No Error".
    void clearError();

    // Transport. post() sends the request document to the URL; when the service refuses the
    // ticket (code "4") it sends it once more with user name and password instead. Returns the
    // HTTP status, a non-zero failure code of the channel, or -1 when no status could be read.
    // A reply longer than maxReplyBytes, or one that takes longer than the deadline, fails.
    int post(const std::string& url, bool sendContentType,
             std::size_t maxReplyBytes = kMaxStreamedReplyBytes);
    // POSTs to "https://" server "/db/" dbid "?a=" action; an empty server or the bare domain
    // "quickbase.com" becomes the default host first.
    int postToTable(std::string_view dbid, std::string_view action, bool sendContentType,
                    std::size_t maxReplyBytes = kMaxStreamedReplyBytes);
    // Fetches a file attachment by its URL with the ticket cookie; false with the error state
    // set when that fails. A refused ticket is renewed with user name and password once.
    bool download(const std::string& url, std::string& content);
    // Content-Length of the last reply with status 200 (0 when absent).
    std::int32_t lastReplyLength() const { return lastReplyLength_; }
    // The body of the last reply, as received.
    const std::string& replyText() const { return reply_.body; }

    // Request building: beginRequest() empties the request document and adds the credentials
    // (the ticket, else user name and password when there is a user name).
    void beginRequest();
    void addParam(std::string_view name, std::string_view value);
    void addFieldParam(std::int32_t fid, std::string_view value, std::string_view filename);

    // Posts the request and verifies the reply document; on success replyDocument() is the
    // reply. Returns the result of post().
    int callApi(std::string_view target, std::string_view action);
    // Posts the request and streams the reply through the reader; a refused ticket is
    // answered with one more exchange with user name and password.
    void callApiStreaming(std::string_view target, std::string_view action, EnvelopeReader& reader);
    // The last verified reply; null before the first.
    const XmlDocument* replyDocument() const { return replyDocument_.get(); }

    // Read calls.
    bool isValidDbid(std::string_view dbid) const;
    // The schema document of a table or application, fetched once per DBID and session; null
    // on failure. Valid as long as the session.
    const XmlDocument* getSchema(std::string_view dbid);
    // Logs in; returns the ticket (empty on failure) and fills userid.
    std::string authenticate();
    std::string findDbByName(std::string_view name);
    // The granted tables (applications false) or applications with their tables (true). A
    // list that already holds entries is kept as it is, without a call.
    void grantedDbs(bool applications, std::vector<DbInfo>& list);
    void doQuery(std::string_view dbid, std::string_view query, std::string_view clist,
                 std::string_view slist, std::string_view queryOptions, QuerySink& sink);
    // The reply is not verified; errcode comes from the reply header and replyText() is the
    // reply.
    int genResultsTable(std::string_view dbid, std::string_view query, std::string_view clist,
                        std::string_view slist, std::string_view queryOptions);
    // The DBID of the application a table belongs to, empty when not found; cached.
    std::string parentDbid(std::string_view dbid);

    // Write calls. With valuesAreContent a file field's value is the attachment's content;
    // otherwise it names a local file whose bytes are sent.
    // Returns the new record's id, empty on failure.
    std::string addRecord(std::string_view dbid, const FieldValues& values, bool valuesAreContent);
    // Returns the number of fields changed, empty on failure.
    std::string editRecord(std::string_view dbid, std::string_view rid, const FieldValues& values,
                           bool valuesAreContent);
    // Percent values in the CSV are fractions (decimalPercent).
    void importFromCsv(std::string_view dbid, std::string_view csvText, std::string_view clist);
    // errcode comes from the reply header.
    void purgeRecords(std::string_view dbid, std::string_view query);
    // Fills recordIdList with the ids of the records matching the query, in slist order.
    void recordIds(std::string_view dbid, std::string_view query, std::string_view slist,
                   std::string_view queryOptions);

  private:
    int exchange(const std::string& method, const std::string& url, bool sendContentType,
                 std::size_t maxReplyBytes);
    void recordTransportError(const std::string& url, const std::string& description);
    void recordStatusError(const std::string& url, int status);
    // "1004", "Reply too large.": the reply from `source` holds `what`.
    void refuseReply(const std::string& source, const std::string& what);
    // "200", "Non QuickBase Response.", with the ticket emptied: the reply is not QuickBase's.
    void recordForeignReply(std::string_view what);
    // The verification of a reply document: its envelope becomes the error state.
    void verifyReplyDocument();
    void applyEnvelope(const ReplyEnvelope& envelope);
    // Takes a ticket from a reply; a ticket that could not travel in a cookie header (control
    // characters, blanks, ";", too long) makes the reply a foreign one instead.
    void acceptTicket(std::string text);
    // Replaces the ticket credential of the request by user name and password.
    void useCredentialsInsteadOfTicket();
    // The request of API_DoQuery and API_GenResultsTable.
    void beginQueryRequest(std::string_view query, std::string_view clist, std::string_view slist,
                           std::string_view queryOptions);
    std::string tableUrl(std::string_view dbid, std::string_view action);
    bool addFields(const XmlDocument& schema, const FieldValues& values, bool valuesAreContent);
    void failWith(MsgNo msgNo, const char* code, const char* text) noexcept;

    // Runs a public operation so that no exception leaves it: running out of memory becomes
    // message 1001, anything else an internal error.
    template <typename Result, typename Body>
    Result guarded(Result failed, Body&& body) noexcept {
        try {
            return body();
        } catch (const std::bad_alloc&) {
            failWith(kMsgMemory, "1001", "Memory allocation error");
        } catch (...) {
            failWith(kMsgInternalError, "1019", "Internal error");
        }
        return failed;
    }

    std::unique_ptr<HttpChannel> channel_;
    std::unique_ptr<RequestDocument> request_;
    HttpReply reply_;
    // While a streamed call runs: where its exchanges deliver their replies.
    ReplyStream* stream_ = nullptr;
    // The parser of the streamed replies, kept with its buffer from one reply to the next.
    XmlStream replyXml_;
    std::shared_ptr<const XmlDocument> replyDocument_;
    std::map<std::string, std::shared_ptr<const XmlDocument>, std::less<>> schemaCache_;
    std::map<std::string, std::string, std::less<>> parentDbidCache_;
    std::string errcode_{"0"};
    std::string errtext_;
    std::string errdetail_;
    MsgNo msgNo_ = kMsgNone;
    std::int32_t lastReplyLength_ = 0;
};

}  // namespace kelvra
