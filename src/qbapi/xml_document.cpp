#include "qbapi/xml_document.h"

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>

#include <climits>

#include "qbapi/platform_init.h"
#include "qbapi/reply_limits.h"

namespace kelvra {

namespace {

std::string ownedText(xmlChar* text) {
    if (text == nullptr) return {};
    std::string out(reinterpret_cast<const char*>(text));
    xmlFree(text);
    return out;
}

// Keeps XPath error reports off the host program's stderr.
void ignoreXmlError(void*, xmlErrorPtr) {}

// Evaluates a path with `context` as the context node; null for an invalid expression.
xmlXPathObjectPtr evaluate(xmlDocPtr doc, xmlNodePtr context, std::string_view path) {
    XmlErrorScope quiet;
    xmlXPathContextPtr ctx = xmlXPathNewContext(doc);
    if (ctx == nullptr) return nullptr;
    ctx->node = context;
    ctx->error = ignoreXmlError;
    std::string expr(path);
    xmlXPathObjectPtr result =
        xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(expr.c_str()), ctx);
    xmlXPathFreeContext(ctx);
    return result;
}

std::string firstText(xmlDocPtr doc, xmlNodePtr context, std::string_view path) {
    xmlXPathObjectPtr result = evaluate(doc, context, path);
    if (result == nullptr) return {};
    std::string out;
    if (result->type == XPATH_NODESET) {
        if (result->nodesetval != nullptr && result->nodesetval->nodeNr > 0) {
            out = ownedText(xmlNodeGetContent(result->nodesetval->nodeTab[0]));
        }
    } else {
        out = ownedText(xmlXPathCastToString(result));
    }
    xmlXPathFreeObject(result);
    return out;
}

// The nodes a parse may still make. The SAX handlers that make elements (with their
// attributes), comments and processing instructions spend from it; text nodes lie between
// those, so they are bounded too.
struct NodeBudget {
    std::size_t left = kMaxDocumentNodes;
    bool exceeded = false;
};

bool spend(void* ctx, std::size_t nodes) {
    auto ctxt = static_cast<xmlParserCtxtPtr>(ctx);
    auto* budget = static_cast<NodeBudget*>(ctxt->_private);
    if (nodes > budget->left) {
        budget->exceeded = true;
        xmlStopParser(ctxt);
        return false;
    }
    budget->left -= nodes;
    return true;
}

void countedStartElement(void* ctx, const xmlChar* localname, const xmlChar* prefix,
                         const xmlChar* uri, int namespaceCount, const xmlChar** namespaces,
                         int attributeCount, int defaultedCount, const xmlChar** attributes) {
    if (!spend(ctx, 1 + static_cast<std::size_t>(attributeCount))) return;
    xmlSAX2StartElementNs(ctx, localname, prefix, uri, namespaceCount, namespaces, attributeCount,
                          defaultedCount, attributes);
}

void countedComment(void* ctx, const xmlChar* value) {
    if (spend(ctx, 1)) xmlSAX2Comment(ctx, value);
}

void countedInstruction(void* ctx, const xmlChar* target, const xmlChar* data) {
    if (spend(ctx, 1)) xmlSAX2ProcessingInstruction(ctx, target, data);
}

}  // namespace

std::string XmlNode::name() const {
    auto node = static_cast<xmlNodePtr>(node_);
    return node->name != nullptr ? reinterpret_cast<const char*>(node->name) : "";
}

std::string XmlNode::text() const {
    return ownedText(xmlNodeGetContent(static_cast<xmlNodePtr>(node_)));
}

std::string XmlNode::attribute(std::string_view name) const {
    std::string n(name);
    return ownedText(
        xmlGetProp(static_cast<xmlNodePtr>(node_), reinterpret_cast<const xmlChar*>(n.c_str())));
}

std::string XmlNode::text(std::string_view relativePath) const {
    auto node = static_cast<xmlNodePtr>(node_);
    return firstText(node->doc, node, relativePath);
}

std::unique_ptr<XmlDocument> XmlDocument::parse(std::string_view text, ParseFailure* failure) {
    ParseFailure ignored;
    ParseFailure& outcome = failure != nullptr ? *failure : ignored;
    outcome = ParseFailure::malformed;
    initializeXmlAndHttp();
    if (text.size() > static_cast<std::size_t>(INT_MAX)) {
        outcome = ParseFailure::tooLarge;
        return nullptr;
    }
    XmlErrorScope quiet;
    xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
    if (ctxt == nullptr) return nullptr;
    NodeBudget budget;
    ctxt->_private = &budget;
    ctxt->sax->startElementNs = countedStartElement;
    ctxt->sax->comment = countedComment;
    ctxt->sax->processingInstruction = countedInstruction;
    // No XML_PARSE_NOENT (entities stay unsubstituted), no DTD loading, no network.
    xmlDocPtr doc = xmlCtxtReadMemory(
        ctxt, text.data(), static_cast<int>(text.size()), nullptr, nullptr,
        XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOCDATA);
    xmlFreeParserCtxt(ctxt);
    if (budget.exceeded) {
        xmlFreeDoc(doc);
        outcome = ParseFailure::tooLarge;
        return nullptr;
    }
    if (doc == nullptr) return nullptr;
    if (doc->intSubset != nullptr || doc->extSubset != nullptr ||
        xmlDocGetRootElement(doc) == nullptr) {
        xmlFreeDoc(doc);
        return nullptr;
    }
    outcome = ParseFailure::none;
    return std::unique_ptr<XmlDocument>(new XmlDocument(doc));
}

XmlDocument::~XmlDocument() {
    xmlFreeDoc(static_cast<xmlDocPtr>(doc_));
}

bool XmlDocument::has(std::string_view path) const {
    xmlXPathObjectPtr result = evaluate(static_cast<xmlDocPtr>(doc_), nullptr, path);
    bool found = result != nullptr && result->type == XPATH_NODESET &&
                 result->nodesetval != nullptr && result->nodesetval->nodeNr > 0;
    xmlXPathFreeObject(result);
    return found;
}

std::string XmlDocument::text(std::string_view path) const {
    return firstText(static_cast<xmlDocPtr>(doc_), nullptr, path);
}

std::vector<XmlNode> XmlDocument::nodes(std::string_view path) const {
    std::vector<XmlNode> out;
    xmlXPathObjectPtr result = evaluate(static_cast<xmlDocPtr>(doc_), nullptr, path);
    if (result != nullptr && result->type == XPATH_NODESET && result->nodesetval != nullptr) {
        for (int i = 0; i < result->nodesetval->nodeNr; ++i) {
            out.push_back(XmlNode(result->nodesetval->nodeTab[i]));
        }
    }
    xmlXPathFreeObject(result);
    return out;
}

}  // namespace kelvra
