#include "qbapi/platform_init.h"

#include <curl/curl.h>
#include <libxml/parser.h>

namespace kelvra {

bool initializeXmlAndHttp() {
    static const bool ready = [] {
        xmlInitParser();
        return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    }();
    return ready;
}

}  // namespace kelvra
