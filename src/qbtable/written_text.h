// The texts of written values. A value written to a record is kept in the cache in the form
// QuickBase's replies use, so that reading a record with pending changes reads as any other;
// it is sent to QuickBase in the form QuickBase reads. Only durations differ between the two
// (milliseconds in replies, days on input).
#pragma once

#include <string>
#include <string_view>

#include "convert/value.h"
#include "qbtable/qb_field.h"

namespace kelvra {

// The cached text of a value written to the field (NULL: empty).
std::string cachedText(const QbField& field, const Value& value);

// The text QuickBase receives for a field's cached text.
std::string sentText(const QbField& field, std::string_view cached);

}  // namespace kelvra
