// The request document: a "qdbapi" root whose children are the call's parameters, built with
// libxml2 and sent as its UTF-8 text. The session keeps one and reuses it for every request.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace kelvra {

class RequestDocument {
  public:
    // Null when libxml2 could not create the document.
    static std::unique_ptr<RequestDocument> create();
    ~RequestDocument();
    RequestDocument(const RequestDocument&) = delete;
    RequestDocument& operator=(const RequestDocument&) = delete;

    // Removes every parameter, leaving the bare root.
    void clear();
    // Appends an element `name` holding `value` as text.
    void addParam(std::string_view name, std::string_view value);
    // Appends <field fid="FID" [filename="..."]>value</field>; no filename attribute when empty.
    void addFieldParam(long fid, std::string_view value, std::string_view filename);
    // Removes every parameter of that name.
    void removeParams(std::string_view name);
    // The whole document as UTF-8 XML text, with its declaration.
    std::string text() const;

  private:
    struct Impl;
    explicit RequestDocument(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace kelvra
