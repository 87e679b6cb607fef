// Descriptor fields: reading and setting the header and record fields of a statement's four
// descriptors and of explicit ones, and copying a descriptor. Application descriptors (ARD,
// APD) hold the client's bindings; the IRD describes the result columns of the statement's
// query and the IPD its parameter markers, both computed from the prepared statement.
#pragma once

#include <sql.h>

#include "driver/handles.h"
#include "driver/string_out.h"

namespace kelvra {

enum class DescKind { kApplication, kImplementationRow, kImplementationParam };

DescKind kindOf(const DriverDescriptor& desc);

// SQLGetDescField: 0, kMsgNoDataFound for a record beyond the descriptor's count, 1002 for a
// cut text, or a failure (posted on the descriptor when it carries an argument). A text field
// is written in `form` (the wide twins' buffers count bytes, SQLGetDescRecW's characters).
MsgNo getDescField(DriverDescriptor& desc, SQLSMALLINT record, SQLSMALLINT field, SQLPOINTER value,
                   SQLINTEGER bufferLength, SQLINTEGER* length, TextForm form = TextForm::ansi);

// SQLSetDescField: 0, 1069 for a value replaced, or a failure.
MsgNo setDescField(DriverDescriptor& desc, SQLSMALLINT record, SQLSMALLINT field, SQLPOINTER value,
                   SQLINTEGER length);

// SQLCopyDesc: the target's header and records become the source's (an IRD source gives one
// record per result column). 1080 for an IRD target; an IPD target is left as it is.
MsgNo copyDesc(DriverDescriptor& source, DriverDescriptor& target);

}  // namespace kelvra
