// The text of a value as QuickBase receives it, in query criteria and in written records: text
// and decimal text as they are, numbers as the shortest plain decimal that reads back as the
// same double (QuickBase ignores the letters of an exponent form), dates and times in their text
// forms, binary values as their bytes, NULL as the empty text.
#pragma once

#include <string>

#include "convert/value.h"

namespace kelvra {

std::string valueToText(const Value& value);

}  // namespace kelvra
