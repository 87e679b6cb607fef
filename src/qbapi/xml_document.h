// A reply document read with libxml2, and XPath 1.0 selection on it. Replies are hostile input:
// they are parsed without network access, without entity substitution and without loading a
// DTD, a reply that carries a document type declaration is refused outright, and a document of
// more than kMaxDocumentNodes elements, attributes, comments and processing instructions is
// refused before it is built further.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kelvra {

class XmlDocument;

// A node of a document, valid while its document lives.
class XmlNode {
  public:
    // The element or attribute name.
    std::string name() const;
    // All text content of the node (an attribute's value for an attribute node).
    std::string text() const;
    // The value of the attribute `name`; empty when absent.
    std::string attribute(std::string_view name) const;
    // The text of the first node matching a path relative to this node; empty when none.
    std::string text(std::string_view relativePath) const;

  private:
    friend class XmlDocument;
    explicit XmlNode(void* node) : node_(node) {}
    void* node_;
};

enum class ParseFailure { none, malformed, tooLarge };

class XmlDocument {
  public:
    // Parses a reply in the encoding it declares (UTF-8 when none). Null when the text is not
    // a well-formed document or declares a document type (`failure`: malformed), or holds more
    // nodes than the driver accepts (tooLarge).
    static std::unique_ptr<XmlDocument> parse(std::string_view text,
                                              ParseFailure* failure = nullptr);
    ~XmlDocument();
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;

    // True when at least one node matches the path.
    bool has(std::string_view path) const;
    // The text of the first node matching the path (the value of a string or number
    // expression); empty when nothing matches or the path is not valid XPath.
    std::string text(std::string_view path) const;
    // Every node matching the path, in document order.
    std::vector<XmlNode> nodes(std::string_view path) const;

  private:
    explicit XmlDocument(void* doc) : doc_(doc) {}
    void* doc_;
};

}  // namespace kelvra
