// The HTTP channel over libcurl: one easy handle per session, reused so that the requests of a
// connection share one TCP and TLS connection.
#pragma once

#include <memory>

#include "qbapi/http_channel.h"

namespace kelvra {

// Creates the channel; null when libcurl could not create its handle. With ignoreCertificates
// (the WINHTTP option) the server's certificate and host name are not checked; otherwise they
// are, against the system's certificates, or those of the file named by CURL_CA_BUNDLE.
std::unique_ptr<HttpChannel> createCurlChannel(bool ignoreCertificates);

}  // namespace kelvra
