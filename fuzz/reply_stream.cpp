// The streamed reply readers (API_DoQuery's and API_GrantedDBs') through Expat. The reply is
// read whole and in pieces of the sizes the input chooses, and both must read alike: the same
// outcome, values, user names, entries and envelope. The same reply also runs through a
// session's streamed call, to its error state. Input: a byte choosing the reader, eight bytes
// of piece sizes, then the reply.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "qbapi/qb_session.h"
#include "qbapi/stream_reader.h"
#include "scripted_channel.h"

namespace {

using namespace kelvra;

struct Read {
    StreamOutcome outcome = StreamOutcome::parsed;
    std::string detail;
    QueryResult query;
    std::vector<DbInfo> granted;
    ReplyEnvelope envelope;
};

bool sameEntries(const std::vector<DbInfo>& a, const std::vector<DbInfo>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].dbname != b[i].dbname || a[i].dbid != b[i].dbid) return false;
    }
    return true;
}

bool sameEnvelope(const ReplyEnvelope& a, const ReplyEnvelope& b) {
    return a.errcode == b.errcode && a.errtext == b.errtext && a.errdetail == b.errdetail &&
           a.ticket == b.ticket;
}

Read readInPieces(bool query, std::string_view reply, const std::vector<std::size_t>& pieces) {
    Read read;
    QueryReader queryReader(read.query);
    GrantedReader grantedReader(read.granted);
    EnvelopeReader& reader = query ? static_cast<EnvelopeReader&>(queryReader)
                                   : static_cast<EnvelopeReader&>(grantedReader);
    XmlStream xml(reader);
    xml.begin();
    for (std::size_t i = 0; !reply.empty(); ++i) {
        const std::size_t n = std::min(pieces[i % pieces.size()], reply.size());
        xml.feed(reply.substr(0, n));
        reply.remove_prefix(n);
    }
    read.outcome = xml.finish(read.detail);
    read.envelope = reader.envelope();
    return read;
}

void throughSession(bool query, std::string_view reply) {
    auto channel = std::make_unique<test::ScriptedChannel>();
    channel->answer(test::qbReply(std::string(reply)));
    QbSession session(std::move(channel));
    session.username = "fuzz@example.com";
    session.password = "pw";
    if (query) {
        QueryResult result;
        session.doQuery("bqaaaaaa2", "", "3.6", "", "", result);
    } else {
        std::vector<DbInfo> list;
        session.grantedDbs(true, list);
    }
    if (session.errcode().empty()) std::abort();  // the error state is always a code
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 9) return 0;
    const bool query = (data[0] & 1) != 0;
    std::vector<std::size_t> pieces;
    for (std::size_t i = 1; i < 9; ++i) pieces.push_back(1 + data[i] % 97);
    const std::string_view reply(reinterpret_cast<const char*>(data) + 9, size - 9);

    const Read whole = readInPieces(query, reply, {reply.size() + 1});
    const Read cut = readInPieces(query, reply, pieces);
    const bool same = whole.outcome == cut.outcome && whole.query.records == cut.query.records &&
                      whole.query.users == cut.query.users &&
                      sameEntries(whole.granted, cut.granted) &&
                      sameEnvelope(whole.envelope, cut.envelope);
    if (!same) std::abort();
    throughSession(query, reply);
    return 0;
}
