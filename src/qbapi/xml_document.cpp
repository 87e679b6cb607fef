#include "qbapi/xml_document.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>

#include <climits>

#include "qbapi/platform_init.h"

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

std::unique_ptr<XmlDocument> XmlDocument::parse(std::string_view text) {
    initializeXmlAndHttp();
    if (text.size() > static_cast<std::size_t>(INT_MAX)) return nullptr;
    xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
    if (ctxt == nullptr) return nullptr;
    // No XML_PARSE_NOENT (entities stay unsubstituted), no DTD loading, no network.
    xmlDocPtr doc = xmlCtxtReadMemory(
        ctxt, text.data(), static_cast<int>(text.size()), nullptr, nullptr,
        XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOCDATA);
    xmlFreeParserCtxt(ctxt);
    if (doc == nullptr) return nullptr;
    if (doc->intSubset != nullptr || doc->extSubset != nullptr ||
        xmlDocGetRootElement(doc) == nullptr) {
        xmlFreeDoc(doc);
        return nullptr;
    }
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
