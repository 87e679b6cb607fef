// The text arguments of the entry points, read into the driver's UTF-8: from an ANSI call the
// bytes as given, which must be UTF-8; from a wide (W) call the UTF-16 converted. Text the
// driver cannot take is refused here, before anything is sent to QuickBase. Every entry point
// that takes text reads it through TextArgs (the connect calls read ANSI text with ansiText:
// their user name and password are checked where the session starts).
//
// A length is SQL_NTS (the text ends at its NUL) or a count: of bytes for ANSI text, of
// characters (SQLWCHARs) for wide text; any other negative length reads as empty text.
#pragma once

#include <sql.h>

#include <string>

#include "driver/diagnostics.h"

namespace kelvra {

// A text argument as UTF-8; `given` is false for a null pointer.
struct TextArg {
    std::string text;
    bool given = false;
};

// The bytes of an ANSI argument as they are.
TextArg ansiText(const SQLCHAR* text, SQLINTEGER length);

// The arguments of one call. The first that cannot be read posts 1095 on the diagnostic,
// naming it by `what` ("the table name") and never showing its value; status() then
// returns 1095 and later arguments read as empty.
class TextArgs {
  public:
    explicit TextArgs(DiagRecord& diag) : diag_(diag) {}

    // ANSI text that is not UTF-8 is refused.
    TextArg read(const SQLCHAR* text, SQLINTEGER length, const char* what);
    // Wide text holding an unpaired surrogate (no character) is refused.
    TextArg read(const SQLWCHAR* text, SQLINTEGER length, const char* what);

    MsgNo status() const { return status_; }

  private:
    TextArg refuse(const char* what, const char* problem);

    DiagRecord& diag_;
    MsgNo status_ = kMsgNone;
};

}  // namespace kelvra
