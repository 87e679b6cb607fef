// A reply parsed into a document, as the session verifies it and the table layer reads it: the
// reply of a login, of a search by name, or of a schema that name resolution and the column
// mapping read (an application's schema is refused with the list of its tables). Input: a byte
// choosing the call, then the reply.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "qbapi/qb_session.h"
#include "qbtable/qb_table.h"
#include "scripted_channel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvra;
    if (size < 1) return 0;
    const std::string reply(reinterpret_cast<const char*>(data) + 1, size - 1);
    auto channel = std::make_unique<test::ScriptedChannel>();
    // The same reply for a repeated request (a wrong DBID type asks twice).
    channel->answer(test::qbReply(reply));
    channel->answer(test::qbReply(reply));
    QbSession session(std::move(channel));
    session.username = "fuzz@example.com";
    session.password = "pw";
    switch (data[0] % 3) {
        case 0: {
            TableLayerState state;
            std::unique_ptr<QbTable> table;
            // A failed open hands out no table.
            if (openTable(session, state, "Fuzz bqaaaaaa2", table) != kMsgNone && table) {
                std::abort();
            }
            break;
        }
        case 1:
            if (!session.authenticate().empty() && !session.ok()) std::abort();
            break;
        default:
            session.findDbByName("Fuzz");
            break;
    }
    if (session.ticket.find_first_of("\r\n;") != std::string::npos) std::abort();
    return 0;
}
