// Reading a field's text, as QuickBase sent it, as a value of the engine's types: user ids as
// the users' names, texts cut to the column size, TEXTNULL, float display rounding, and dates,
// times, timestamps, durations and checkboxes from QuickBase's forms. Internal to the table
// layer; QbTable::readColumn uses it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "convert/value.h"
#include "qbtable/qb_field.h"
#include "resources/messages.h"

namespace kelvra {

using UserNames = std::unordered_map<std::int32_t, std::string>;

struct ReadContext {
    bool textNull = false;             // the option TEXTNULL: an empty text is NULL
    const UserNames* users = nullptr;  // user names by the number part of their ids
};

// The text the driver shows for a field: a user id as its user's name when it is known, a text
// cut to the column size (at a character boundary). Views into `text` or the user names.
std::string_view shownText(const QbField& field, std::string_view text, const ReadContext& context);

// The value of a field's text as `type`. An empty text is NULL for every type but CHAR (where
// TEXTNULL decides; float columns are NULL then too). 0, or a message number for a text that
// cannot be read as the type (1009, 1011, 1012) or a type that cannot be read (4). A file
// attachment read as BINARY is the caller's (it is downloaded); here BINARY is the text's bytes.
MsgNo readFieldText(const QbField& field, std::string_view text, ValueType type,
                    const ReadContext& context, Value& out);

}  // namespace kelvra
