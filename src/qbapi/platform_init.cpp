#include "qbapi/platform_init.h"

#include <curl/curl.h>
#include <libxml/globals.h>
#include <libxml/parser.h>

namespace kelvra {

namespace {

void dropGenericError(void*, const char*, ...) {}
void dropStructuredError(void*, xmlErrorPtr) {}

}  // namespace

bool initializeXmlAndHttp() {
    static const bool ready = [] {
        xmlInitParser();
        return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    }();
    return ready;
}

XmlErrorScope::XmlErrorScope()
    : generic_(xmlGenericError),
      genericContext_(xmlGenericErrorContext),
      structured_(xmlStructuredError),
      structuredContext_(xmlStructuredErrorContext) {
    xmlSetGenericErrorFunc(nullptr, dropGenericError);
    xmlSetStructuredErrorFunc(nullptr, dropStructuredError);
}

XmlErrorScope::~XmlErrorScope() {
    xmlSetGenericErrorFunc(genericContext_, generic_);
    xmlSetStructuredErrorFunc(structuredContext_, structured_);
}

}  // namespace kelvra
