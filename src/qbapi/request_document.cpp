#include "qbapi/request_document.h"

#include <libxml/tree.h>

#include <new>
#include <string>

#include "qbapi/platform_init.h"

namespace kelvra {

namespace {

const xmlChar* xc(const std::string& s) {
    return reinterpret_cast<const xmlChar*>(s.c_str());
}

// libxml2 reports allocation failures as null results; the driver reports them as bad_alloc.
template <typename T>
T* checked(T* p) {
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

}  // namespace

struct RequestDocument::Impl {
    xmlDocPtr doc = nullptr;
    xmlNodePtr root = nullptr;
    ~Impl() { xmlFreeDoc(doc); }
};

RequestDocument::RequestDocument(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
RequestDocument::~RequestDocument() = default;

std::unique_ptr<RequestDocument> RequestDocument::create() {
    initializeXmlAndHttp();
    auto impl = std::make_unique<Impl>();
    impl->doc = xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0"));
    if (impl->doc == nullptr) return nullptr;
    impl->root =
        xmlNewDocNode(impl->doc, nullptr, reinterpret_cast<const xmlChar*>("qdbapi"), nullptr);
    if (impl->root == nullptr) return nullptr;
    xmlDocSetRootElement(impl->doc, impl->root);
    return std::unique_ptr<RequestDocument>(new RequestDocument(std::move(impl)));
}

void RequestDocument::clear() {
    xmlNodePtr child = impl_->root->children;
    while (child != nullptr) {
        xmlNodePtr next = child->next;
        xmlUnlinkNode(child);
        xmlFreeNode(child);
        child = next;
    }
}

void RequestDocument::addParam(std::string_view name, std::string_view value) {
    xmlNodePtr element =
        checked(xmlNewDocNode(impl_->doc, nullptr, xc(std::string(name)), nullptr));
    xmlAddChild(impl_->root, element);
    if (!value.empty()) {
        // A text node takes the value as it is; escaping happens when the document is written.
        xmlAddChild(element, checked(xmlNewDocTextLen(impl_->doc, xc(std::string(value)),
                                                      static_cast<int>(value.size()))));
    }
}

void RequestDocument::addFieldParam(long fid, std::string_view value, std::string_view filename) {
    addParam("field", value);
    xmlNodePtr element = impl_->root->last;
    checked(xmlNewProp(element, reinterpret_cast<const xmlChar*>("fid"), xc(std::to_string(fid))));
    if (!filename.empty()) {
        checked(xmlNewProp(element, reinterpret_cast<const xmlChar*>("filename"),
                           xc(std::string(filename))));
    }
}

void RequestDocument::removeParams(std::string_view name) {
    xmlNodePtr child = impl_->root->children;
    while (child != nullptr) {
        xmlNodePtr next = child->next;
        if (child->type == XML_ELEMENT_NODE &&
            std::string_view(reinterpret_cast<const char*>(child->name)) == name) {
            xmlUnlinkNode(child);
            xmlFreeNode(child);
        }
        child = next;
    }
}

std::string RequestDocument::text() const {
    XmlErrorScope quiet;
    xmlChar* buffer = nullptr;
    int size = 0;
    xmlDocDumpMemoryEnc(impl_->doc, &buffer, &size, "UTF-8");
    if (buffer == nullptr) throw std::bad_alloc();
    std::string out(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(size));
    xmlFree(buffer);
    return out;
}

}  // namespace kelvra
