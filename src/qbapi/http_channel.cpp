#include "qbapi/http_channel.h"

#include "resources/ascii.h"

namespace kelvra {

std::string_view HttpReply::header(std::string_view name) const {
    for (const HttpHeader& h : headers) {
        if (equalsIgnoreCase(h.name, name)) return h.value;
    }
    return {};
}

}  // namespace kelvra
