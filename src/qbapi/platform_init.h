// One-time set-up of libcurl and libxml2 for the whole process. The driver lives inside
// arbitrary host programs, so this runs once, lazily and thread-safely, and is never undone.
#pragma once

namespace kelvra {

// True when libcurl's global set-up succeeded.
bool initializeXmlAndHttp();

}  // namespace kelvra
