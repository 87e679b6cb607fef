// Streamed reading of the large replies (API_DoQuery records, the API_GrantedDBs list) through
// Expat, without building a document. Replies are parsed in the encoding they declare (UTF-8
// when none); a document type declaration is refused, so no entity is ever declared or expanded.
// The readers hold no more than reply_limits.h allows: a longer text or more entries stop the
// parse, and the reply is refused.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "qbapi/http_channel.h"

namespace kelvra {

// The envelope elements met in a streamed reply; each is set only when its element occurred.
struct ReplyEnvelope {
    std::optional<std::string> errcode;
    std::optional<std::string> errtext;
    std::optional<std::string> errdetail;
    std::optional<std::string> ticket;
};

// The handlers Expat calls while a reply streams through.
class StreamReader {
  public:
    virtual ~StreamReader() = default;
    // `attributes` holds name and value pairs and ends with a null name.
    virtual void startElement(std::string_view name, const char** attributes) = 0;
    virtual void endElement(std::string_view name) = 0;
    virtual void characters(std::string_view text) = 0;

    // Set when the reader takes no more of the reply (it reached a limit): what it would not
    // take, as "a text of more than 4194304 bytes". The parse stops there.
    const std::string& refusal() const { return refusal_; }
    void clearRefusal() { refusal_.clear(); }

  protected:
    void refuse(std::string what) { refusal_ = std::move(what); }

  private:
    std::string refusal_;
};

enum class StreamOutcome { parsed, noParser, malformed, refused };

// What the Expat handlers of an XmlStream reach.
struct XmlStreamContext {
    void* parser = nullptr;  // the Expat parser
    StreamReader* reader = nullptr;
    bool refusedDoctype = false;
};

// Parses a reply through Expat into the reader as its bytes arrive: begin() before each reply,
// feed() or gather() with each piece in order, finish() after the last. A malformed reply stops
// the parsing; finish() then gives "XML Parse error at line N " and Expat's description in
// `detail`. A reader's refusal stops it too; finish() then gives the refusal in `detail`. The
// parser and its buffer serve every reply begun on the stream.
class XmlStream {
  public:
    XmlStream() = default;
    explicit XmlStream(StreamReader& reader) { context_.reader = &reader; }
    ~XmlStream();
    XmlStream(const XmlStream&) = delete;
    XmlStream& operator=(const XmlStream&) = delete;

    // Starts a new reply (read by `reader` when one is given); whatever was fed before is
    // forgotten.
    void begin();
    void begin(StreamReader& reader) {
        context_.reader = &reader;
        begin();
    }
    // Parses the piece at once.
    void feed(std::string_view piece);
    // Copies the piece into the parser's own buffer, and parses what the buffer holds once that
    // is `block` bytes or more: the reply is copied once, and parsed in blocks.
    void gather(std::string_view piece, std::size_t block);
    StreamOutcome finish(std::string& detail);
    // True once the reply is known malformed or refused: nothing more will be parsed.
    bool stopped() const { return failed_; }

  private:
    void release();
    void parseHeld();

    XmlStreamContext context_;
    bool failed_ = false;
    // The part of the parser's buffer that gather() writes to: its size, and the bytes held.
    char* window_ = nullptr;
    std::size_t room_ = 0;
    std::size_t held_ = 0;
};

// Streams a whole text through the reader (an XmlStream fed at once).
StreamOutcome streamXml(std::string_view text, StreamReader& reader, std::string& detail);

// Gathers character data between element boundaries (at most kMaxReplyTextBytes of it) and
// picks up the envelope elements.
class EnvelopeReader : public StreamReader {
  public:
    const ReplyEnvelope& envelope() const { return envelope_; }
    // Forgets the envelope of an earlier reply before the next one streams through.
    void startReply() {
        envelope_ = {};
        gathered_.clear();
    }
    void characters(std::string_view text) override { gather(text); }

  protected:
    void gather(std::string_view text);
    // Stores the gathered text when `name` is an envelope element; true when it was one.
    bool takeEnvelopeElement(std::string_view name);

    std::string gathered_;

  private:
    ReplyEnvelope envelope_;
};

// A reply body streamed into an envelope reader while it arrives, through a parser that the
// caller keeps for its next replies. start() begins each reply (the ticket retry makes two
// exchanges of one call). The pieces the network delivers are parsed in blocks of an eighth of
// what came before, at least 1 MiB and at most 16 MiB: Expat scans a token that is not complete
// yet again with every block, so small blocks would make one long token cost time quadratic in
// its length. A reply known malformed or refused stops the transfer.
class ReplyStream final : public BodySink {
  public:
    ReplyStream(EnvelopeReader& reader, XmlStream& xml) : reader_(reader), xml_(xml) {}
    void start();
    bool piece(std::string_view bytes) override;
    StreamOutcome finish(std::string& detail);

  private:
    EnvelopeReader& reader_;
    XmlStream& xml_;
    std::size_t received_ = 0;
};

// Where the values and user names of an API_DoQuery reply go as they are read. The texts may be
// moved from (or swapped with, so that their buffers are used again).
class QuerySink {
  public:
    virtual ~QuerySink() = default;
    virtual void value(std::int32_t rid, std::int32_t fid, std::string& text) = 0;
    // A user id's number part and the user's name.
    virtual void user(std::int32_t uid, std::string& name) = 0;
};

// The records and user names of an API_DoQuery reply, as maps.
struct QueryResult final : QuerySink {
    std::map<std::int32_t, std::map<std::int32_t, std::string>> records;  // rid -> fid -> value
    std::map<std::int32_t, std::string> users;  // user id (its number part) -> name

    void value(std::int32_t rid, std::int32_t fid, std::string& text) override {
        records[rid][fid] = std::move(text);
    }
    void user(std::int32_t uid, std::string& name) override { users[uid] = std::move(name); }
};

// Reads a structured API_DoQuery reply. Field 3 is the record id: values land under the record
// id in force when their field ends, which changes when a record's field 3 ends. A file field's
// value is its download URL; a <BR/> inside a field is a line feed of the value. At most
// kMaxQueryValues values and user names are taken.
class QueryReader final : public EnvelopeReader {
  public:
    explicit QueryReader(QuerySink& sink) : sink_(sink) {}
    void startElement(std::string_view name, const char** attributes) override;
    void endElement(std::string_view name) override;

  private:
    // Counts one more value or user name; false (and the reply refused) beyond the limit.
    bool admit();

    QuerySink& sink_;
    std::size_t stored_ = 0;
    std::int32_t fieldId_ = 0;
    std::int32_t recordId_ = 0;
    std::int32_t userId_ = 0;
    bool inField_ = false;
    bool inUrl_ = false;
};

// One entry of an API_GrantedDBs reply.
struct DbInfo {
    std::string dbname;
    std::string dbid;
};

// Reads an API_GrantedDBs reply: at most kMaxGrantedEntries entries.
class GrantedReader final : public EnvelopeReader {
  public:
    explicit GrantedReader(std::vector<DbInfo>& list) : list_(list) {}
    void startElement(std::string_view name, const char** attributes) override;
    void endElement(std::string_view name) override;

  private:
    std::vector<DbInfo>& list_;
};

}  // namespace kelvra
