// One-time set-up of libcurl and libxml2 for the whole process, and the scope that keeps
// libxml2's error reports inside the driver. The driver lives inside arbitrary host programs:
// the set-up runs once, lazily and thread-safely, and is never undone, and libxml2 never writes
// to the host's stderr.
#pragma once

#include <libxml/xmlerror.h>

namespace kelvra {

// True when libcurl's global set-up succeeded.
bool initializeXmlAndHttp();

// While it lives, libxml2's error reports on this thread go to the driver, which drops them
// (a failure shows in the result of the call that met it); the thread's own handlers, which
// the host program may have set, are put back afterwards. Every libxml2 call that parses,
// evaluates or writes runs inside one.
class XmlErrorScope {
  public:
    XmlErrorScope();
    ~XmlErrorScope();
    XmlErrorScope(const XmlErrorScope&) = delete;
    XmlErrorScope& operator=(const XmlErrorScope&) = delete;

  private:
    xmlGenericErrorFunc generic_;
    void* genericContext_;
    xmlStructuredErrorFunc structured_;
    void* structuredContext_;
};

}  // namespace kelvra
