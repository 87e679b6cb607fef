// The text of a value as QuickBase receives it, in query criteria and in written records: text
// and decimal text as they are, numbers as number text (integers without a point), dates and
// times in their text forms, binary values as their bytes, NULL as the empty text.
#pragma once

#include <string>

#include "convert/value.h"

namespace kelvra {

std::string valueToText(const Value& value);

// The number text of an INTEGER or DOUBLE value: an integral value within 64 bits as its
// integer digits, any other as numberText.
std::string numberValueText(double number);

}  // namespace kelvra
