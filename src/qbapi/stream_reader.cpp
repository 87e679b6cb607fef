#include "qbapi/stream_reader.h"

#include <expat.h>

#include <algorithm>
#include <utility>

#include "qbapi/decimal_text.h"
#include "qbapi/reply_limits.h"
#include "resources/ascii.h"

namespace kelvra {

namespace {

// Expat takes a piece's length as an int: larger pieces go in parts.
constexpr std::size_t kChunkBytes = 1u << 30;
// The smallest and the largest block a reply stream hands to Expat.
constexpr std::size_t kFeedBytes = 1u << 20;
constexpr std::size_t kLargestFeedBytes = 16u << 20;

XmlStreamContext& contextOf(void* user) {
    return *static_cast<XmlStreamContext*>(user);
}

// A reader that refused more of the reply stops the parse.
void stopIfRefused(XmlStreamContext& ctx) {
    if (!ctx.reader->refusal().empty()) {
        XML_StopParser(static_cast<XML_Parser>(ctx.parser), XML_FALSE);
    }
}

void XMLCALL onStart(void* user, const XML_Char* name, const XML_Char** attributes) {
    contextOf(user).reader->startElement(name, attributes);
    stopIfRefused(contextOf(user));
}

void XMLCALL onEnd(void* user, const XML_Char* name) {
    contextOf(user).reader->endElement(name);
    stopIfRefused(contextOf(user));
}

void XMLCALL onText(void* user, const XML_Char* text, int length) {
    contextOf(user).reader->characters(std::string_view(text, static_cast<std::size_t>(length)));
    stopIfRefused(contextOf(user));
}

// QuickBase replies never declare a document type; one that does is hostile or not ours.
void XMLCALL onDoctype(void* user, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    XmlStreamContext& ctx = contextOf(user);
    ctx.refusedDoctype = true;
    XML_StopParser(static_cast<XML_Parser>(ctx.parser), XML_FALSE);
}

const char* attributeValue(const char** attributes, std::string_view name) {
    for (int i = 0; attributes != nullptr && attributes[i] != nullptr; i += 2) {
        if (name == attributes[i]) return attributes[i + 1];
    }
    return "";
}

}  // namespace

XmlStream::~XmlStream() {
    release();
}

void XmlStream::release() {
    if (context_.parser == nullptr) return;
    XML_ParserFree(static_cast<XML_Parser>(context_.parser));
    context_.parser = nullptr;
}

void XmlStream::begin() {
    failed_ = false;
    window_ = nullptr;
    room_ = held_ = 0;
    context_.refusedDoctype = false;
    context_.reader->clearRefusal();
    // A reset parser keeps its buffer; the handlers are set again.
    auto parser = static_cast<XML_Parser>(context_.parser);
    if (parser != nullptr && XML_ParserReset(parser, nullptr) == XML_FALSE) release();
    parser = static_cast<XML_Parser>(context_.parser);
    if (parser == nullptr) parser = XML_ParserCreate(nullptr);
    if (parser == nullptr) return;
    XML_SetUserData(parser, &context_);
    XML_SetElementHandler(parser, onStart, onEnd);
    XML_SetCharacterDataHandler(parser, onText);
    XML_SetStartDoctypeDeclHandler(parser, onDoctype);
    XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_NEVER);
    context_.parser = parser;
}

void XmlStream::feed(std::string_view piece) {
    auto parser = static_cast<XML_Parser>(context_.parser);
    if (parser != nullptr && !failed_ && held_ > 0) parseHeld();
    while (parser != nullptr && !failed_ && !piece.empty()) {
        const std::size_t n = std::min(kChunkBytes, piece.size());
        failed_ = XML_Parse(parser, piece.data(), static_cast<int>(n), XML_FALSE) != XML_STATUS_OK;
        piece.remove_prefix(n);
    }
}

void XmlStream::gather(std::string_view piece, std::size_t block) {
    auto parser = static_cast<XML_Parser>(context_.parser);
    while (parser != nullptr && !failed_ && !piece.empty()) {
        if (held_ > 0 && held_ + piece.size() > room_) parseHeld();
        if (failed_) break;
        if (window_ == nullptr) {
            room_ = std::min(std::max(block, piece.size()), kChunkBytes);
            window_ = static_cast<char*>(XML_GetBuffer(parser, static_cast<int>(room_)));
            if (window_ == nullptr) {
                failed_ = true;
                break;
            }
        }
        const std::size_t n = std::min(piece.size(), room_ - held_);
        std::copy_n(piece.data(), n, window_ + held_);
        held_ += n;
        piece.remove_prefix(n);
        if (held_ >= block) parseHeld();
    }
}

void XmlStream::parseHeld() {
    failed_ = XML_ParseBuffer(static_cast<XML_Parser>(context_.parser), static_cast<int>(held_),
                              XML_FALSE) != XML_STATUS_OK;
    window_ = nullptr;
    room_ = held_ = 0;
}

StreamOutcome XmlStream::finish(std::string& detail) {
    auto parser = static_cast<XML_Parser>(context_.parser);
    if (parser == nullptr) return StreamOutcome::noParser;
    if (!failed_ && held_ > 0) parseHeld();
    if (!failed_) failed_ = XML_Parse(parser, nullptr, 0, XML_TRUE) != XML_STATUS_OK;
    if (!failed_) return StreamOutcome::parsed;
    if (!context_.reader->refusal().empty()) {
        detail = context_.reader->refusal();
        return StreamOutcome::refused;
    }
    const char* message = context_.refusedDoctype ? "document type declarations are not accepted"
                                                  : XML_ErrorString(XML_GetErrorCode(parser));
    detail = "XML Parse error at line " + std::to_string(XML_GetCurrentLineNumber(parser)) + " " +
             (message != nullptr ? message : "");
    return StreamOutcome::malformed;
}

StreamOutcome streamXml(std::string_view text, StreamReader& reader, std::string& detail) {
    XmlStream stream(reader);
    stream.begin();
    stream.feed(text);
    return stream.finish(detail);
}

void ReplyStream::start() {
    reader_.startReply();
    xml_.begin(reader_);
    received_ = 0;
}

bool ReplyStream::piece(std::string_view bytes) {
    if (xml_.stopped()) return false;
    received_ += bytes.size();
    xml_.gather(bytes, std::clamp(received_ / 8, kFeedBytes, kLargestFeedBytes));
    return !xml_.stopped();
}

StreamOutcome ReplyStream::finish(std::string& detail) {
    return xml_.finish(detail);
}

void EnvelopeReader::gather(std::string_view text) {
    if (text.size() > kMaxReplyTextBytes - gathered_.size()) {
        refuse("a text of more than " + std::to_string(kMaxReplyTextBytes) + " bytes");
        return;
    }
    gathered_ += text;
}

bool EnvelopeReader::takeEnvelopeElement(std::string_view name) {
    std::optional<std::string>* slot = name == "errcode"     ? &envelope_.errcode
                                       : name == "errtext"   ? &envelope_.errtext
                                       : name == "errdetail" ? &envelope_.errdetail
                                       : name == "ticket"    ? &envelope_.ticket
                                                             : nullptr;
    if (slot == nullptr) return false;
    *slot = gathered_;
    return true;
}

void QueryReader::startElement(std::string_view name, const char** attributes) {
    // A line break of a multi-line text keeps the text around it.
    if (inField_ && !inUrl_ && equalsIgnoreCase(name, "BR")) {
        gather("\n");
        return;
    }
    gathered_.clear();
    if (name == "f") {
        inField_ = true;
        fieldId_ = readLeadingInt(attributeValue(attributes, "id"));
    } else if (name == "url" && inField_) {
        inUrl_ = true;
    } else if (name == "luser") {
        userId_ = readLeadingInt(attributeValue(attributes, "id"));
    }
}

void QueryReader::endElement(std::string_view name) {
    if (inField_ && !inUrl_ && equalsIgnoreCase(name, "BR")) return;
    if (name == "f") {
        inField_ = false;
        if (fieldId_ == 3) recordId_ = readLeadingInt(gathered_);
        if (inUrl_) {
            inUrl_ = false;  // the value was stored when the url ended
        } else if (admit()) {
            sink_.value(recordId_, fieldId_, gathered_);
        }
    } else if (name == "url" && inUrl_) {
        if (admit()) sink_.value(recordId_, fieldId_, gathered_);
    } else if (name == "luser") {
        if (admit()) sink_.user(userId_, gathered_);
    } else {
        takeEnvelopeElement(name);
    }
    gathered_.clear();  // also makes a moved-from or swapped text empty again
}

bool QueryReader::admit() {
    if (stored_ >= kMaxQueryValues) {
        refuse("more than " + std::to_string(kMaxQueryValues) + " values");
        return false;
    }
    ++stored_;
    return true;
}

void GrantedReader::startElement(std::string_view name, const char**) {
    gathered_.clear();
    if (name != "dbinfo") return;
    if (list_.size() >= kMaxGrantedEntries) {
        refuse("more than " + std::to_string(kMaxGrantedEntries) + " entries");
        return;
    }
    list_.emplace_back();
}

void GrantedReader::endElement(std::string_view name) {
    if ((name == "dbid" || name == "dbname") && !list_.empty()) {
        (name == "dbid" ? list_.back().dbid : list_.back().dbname) = gathered_;
    } else {
        takeEnvelopeElement(name);
    }
    gathered_.clear();
}

}  // namespace kelvra
