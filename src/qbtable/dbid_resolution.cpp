#include "qbtable/dbid_resolution.h"

#include "qbapi/qb_session.h"
#include "qbapi/xml_document.h"

namespace kelvra {
namespace {

// QuickBase's code for a DBID of the wrong type; an application DBID may be answered with it
// on a first schema request, and the schema then comes with a second one.
constexpr std::string_view kWrongDbidType = "14";
// A candidate that names nothing: not a DBID at all (the session's own check) or one QuickBase
// does not know. Only then is the name tried another way; any other failure is the answer.
constexpr std::string_view kNotADbid = "16";
constexpr std::string_view kNoSuchDbid = "32";
// The child table names of an application schema start with "_dbid_".
constexpr std::size_t kChildNamePrefix = 6;

std::string_view afterLast(std::string_view text, char separator) {
    std::size_t at = text.rfind(separator);
    return at == std::string_view::npos ? text : text.substr(at + 1);
}

bool isApplication(const XmlDocument& schema) {
    return schema.has("/*/table/chdbids");
}

bool namesNothing(const QbSession& session) {
    return session.errcode() == kNotADbid || session.errcode() == kNoSuchDbid;
}

// The schema of a DBID that the reply verified, or the refusal of an application.
MsgNo accept(QbSession& session, TableLayerState& state, std::string_view candidate,
             const XmlDocument* found, std::string& dbid, const XmlDocument*& schema) {
    if (isApplication(*found)) return state.refuseApplication(session, parentTableText(*found));
    dbid.assign(candidate);
    schema = found;
    return kMsgNone;
}

}  // namespace

std::string parentTableText(const XmlDocument& applicationSchema) {
    std::string text =
        "Parent tables have no columns. Please use one of the following child tables: ";
    std::string_view separator = ", ";
    bool any = false;
    for (const XmlNode& child : applicationSchema.nodes("/*/table/chdbids/chdbid")) {
        std::string name = child.attribute("name");
        text += '"';
        if (name.size() > kChildNamePrefix) text.append(name, kChildNamePrefix);
        text += ' ';
        text += child.text();
        text += '"';
        text += separator;
        any = true;
    }
    if (any) text.resize(text.size() - separator.size());
    return text;
}

MsgNo resolveTable(QbSession& session, TableLayerState& state, std::string_view name,
                   std::string& dbid, const XmlDocument*& schema) {
    std::string_view candidate = afterLast(name, ' ');
    if (candidate.starts_with("DBID")) candidate.remove_prefix(4);
    const XmlDocument* found = session.getSchema(candidate);
    if (session.errcode() == kWrongDbidType) found = session.getSchema(candidate);
    if (found) return accept(session, state, candidate, found, dbid, schema);
    if (!namesNothing(session)) return state.failFromSession(session);

    if (name.find('_') != std::string_view::npos) {
        std::string_view suffix = afterLast(name, '_');
        found = session.getSchema(suffix);
        if (found) return accept(session, state, suffix, found, dbid, schema);
        if (!namesNothing(session)) return state.failFromSession(session);
    }
    std::string named = session.findDbByName(name);
    if (!session.ok()) return state.failFromSession(session);
    found = session.getSchema(named);
    if (!found) return state.failFromSession(session);
    return accept(session, state, named, found, dbid, schema);
}

}  // namespace kelvra
