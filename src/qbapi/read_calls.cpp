// Reading replies (verified through the document, or streamed) and the read calls.
#include "qbapi/qb_session.h"

namespace kelvra {

namespace {

// A ticket travels in the Cookie header: only the characters a cookie value may hold.
bool isCookieSafe(std::string_view text) {
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7F || c == '"' || c == ',' || c == ';' || c == '\\') return false;
    }
    return true;
}

}  // namespace

void QbSession::recordForeignReply(std::string_view what) {
    setError("200", "Non QuickBase Response.",
             "The response back from " + server + " " + std::string(what) + ".");
    ticket.clear();
}

void QbSession::acceptTicket(std::string text) {
    if (text.size() > kMaxTicketBytes || !isCookieSafe(text)) {
        recordForeignReply("carries a ticket that is not in standard form");
        return;
    }
    ticket = std::move(text);
}

void QbSession::verifyReplyDocument() {
    if (!replyDocument_ || !replyDocument_->has("/qdbapi/errcode")) {
        recordForeignReply("is not in standard form");
        return;
    }
    const XmlDocument& doc = *replyDocument_;
    std::string text = doc.text("/*/errtext");
    std::string detail = doc.has("/*/errdetail") ? doc.text("/*/errdetail") : text;
    setError(doc.text("/*/errcode"), std::move(text), std::move(detail));
    if (doc.has("/*/ticket")) acceptTicket(doc.text("/*/ticket"));
}

int QbSession::callApi(std::string_view target, std::string_view action) {
    return guarded(-1, [&] {
        int result = postToTable(target, action, true, kMaxDocumentReplyBytes);
        if (result != 200) return result;
        ParseFailure failure = ParseFailure::none;
        replyDocument_ = XmlDocument::parse(reply_.body, &failure);
        if (failure == ParseFailure::tooLarge) {
            refuseReply(server, "more than " + std::to_string(kMaxDocumentNodes) + " nodes");
            return 200;
        }
        verifyReplyDocument();
        return 200;
    });
}

void QbSession::applyEnvelope(const ReplyEnvelope& envelope) {
    // The reply header said "0" too, but only the body says that this is QuickBase's reply.
    if (!envelope.errcode) {
        recordForeignReply("is not in standard form");
        return;
    }
    std::string text = envelope.errtext.value_or(std::string());
    std::string detail = envelope.errdetail.value_or(text);
    setError(*envelope.errcode, std::move(text), std::move(detail));
    if (envelope.ticket) acceptTicket(*envelope.ticket);
}

void QbSession::callApiStreaming(std::string_view target, std::string_view action,
                                 EnvelopeReader& reader) {
    guarded(0, [&] {
        for (int attempt = 0; attempt < 2; ++attempt) {
            // The reply is parsed while it arrives.
            ReplyStream stream(reader, replyXml_);
            int status;
            {
                struct Streaming {
                    ReplyStream*& slot;
                    ~Streaming() { slot = nullptr; }
                } streaming{stream_};
                stream_ = &stream;
                status = post(tableUrl(target, action), true);
            }
            // A failed exchange keeps the transport's error: its text names the URL and the
            // cause, which a parse error of an empty or foreign body would hide.
            if (status != 200) return 0;
            std::string detail;
            switch (stream.finish(detail)) {
                case StreamOutcome::noParser:
                    setError("1003", "Could not allocate memory for the parser.",
                             "Could not allocate memory for the parser.");
                    return 0;
                case StreamOutcome::malformed:
                    setError("1003", "XML Parse error.", std::move(detail));
                    return 0;
                case StreamOutcome::refused:
                    refuseReply(server, detail);
                    return 0;
                case StreamOutcome::parsed:
                    applyEnvelope(reader.envelope());
                    break;
            }
            if (errcode_ != "4") return 0;
            useCredentialsInsteadOfTicket();
        }
        return 0;
    });
}

bool QbSession::isValidDbid(std::string_view dbid) const {
    return dbid.size() >= 6 && dbid.size() <= 13 &&
           dbid.find_first_not_of(kDbidAlphabet) == std::string_view::npos;
}

const XmlDocument* QbSession::getSchema(std::string_view dbid) {
    return guarded(static_cast<const XmlDocument*>(nullptr), [&]() -> const XmlDocument* {
        if (!isValidDbid(dbid)) {
            setError("16", "Invalid DBID",
                     "Database identifiers must be between 6 and 13 characters in length.");
            return nullptr;
        }
        if (auto cached = schemaCache_.find(dbid); cached != schemaCache_.end()) {
            clearError();
            return cached->second.get();
        }
        beginRequest();
        callApi(dbid, "API_GetSchema");
        if (!ok()) return nullptr;
        schemaCache_.emplace(std::string(dbid), replyDocument_);
        return replyDocument_.get();
    });
}

std::string QbSession::authenticate() {
    return guarded(std::string(), [&] {
        beginRequest();
        callApi("main", "API_Authenticate");
        if (!ok()) return std::string();
        if (replyDocument_->has("/*/userid")) userid = replyDocument_->text("/*/userid");
        return ticket;
    });
}

std::string QbSession::findDbByName(std::string_view name) {
    return guarded(std::string(), [&] {
        beginRequest();
        addParam("dbname", name);
        callApi("main", "API_FindDBByName");
        // Only this call's reply: after a failed exchange the reply document is an older one.
        return ok() ? replyDocument_->text("/*/dbid") : std::string();
    });
}

void QbSession::grantedDbs(bool applications, std::vector<DbInfo>& list) {
    guarded(0, [&] {
        if (!list.empty()) {
            clearError();
            return 0;
        }
        beginRequest();
        const char* flag = applications ? "0" : "1";
        addParam("withembeddedtables", flag);
        addParam("Excludeparents", flag);
        GrantedReader reader(list);
        callApiStreaming("main", "API_GrantedDBs", reader);
        // A failed call leaves no partial list behind, or it would be taken as complete.
        if (!ok()) list.clear();
        return 0;
    });
}

void QbSession::beginQueryRequest(std::string_view query, std::string_view clist,
                                  std::string_view slist, std::string_view queryOptions) {
    beginRequest();
    addParam("fmt", "structured");
    addParam("query", query);
    addParam("clist", clist);
    addParam("slist", slist);
    addParam("options", queryOptions);
}

void QbSession::doQuery(std::string_view dbid, std::string_view query, std::string_view clist,
                        std::string_view slist, std::string_view queryOptions, QuerySink& sink) {
    guarded(0, [&] {
        beginQueryRequest(query, clist, slist, queryOptions);
        QueryReader reader(sink);
        callApiStreaming(dbid, "API_DoQuery", reader);
        return 0;
    });
}

int QbSession::genResultsTable(std::string_view dbid, std::string_view query,
                               std::string_view clist, std::string_view slist,
                               std::string_view queryOptions) {
    return guarded(-1, [&] {
        beginQueryRequest(query, clist, slist, queryOptions);
        return postToTable(dbid, "API_GenResultsTable", true);
    });
}

std::string QbSession::parentDbid(std::string_view dbid) {
    return guarded(std::string(), [&] {
        if (auto cached = parentDbidCache_.find(dbid); cached != parentDbidCache_.end()) {
            return cached->second;
        }
        beginRequest();
        if (postToTable(dbid, "", true) != 200) return std::string();
        static constexpr std::string_view kMarker = "var gParentDBID\t\t\t= \"";
        const std::string& page = reply_.body;
        std::size_t start = page.find(kMarker);
        if (start == std::string::npos) return std::string();
        start += kMarker.size();
        std::size_t end = page.find('"', start);
        if (end == std::string::npos) return std::string();
        std::string parent = page.substr(start, end - start);
        parentDbidCache_.emplace(std::string(dbid), parent);
        return parent;
    });
}

}  // namespace kelvra
