// SQL_NUMERIC_STRUCT and decimals: precision, scale, sign (1 positive, 0 negative) and the
// magnitude as a 16-byte little-endian integer.
#pragma once

#include <sqltypes.h>

#include "convert/decimal.h"
#include "resources/messages.h"

namespace kelvra {

// The value with its own digits and scale; precision is the digit count (at least the scale,
// at least 1). At most 38 digits travel: a longer fraction is rounded (1002 when digits other
// than zero are lost), a larger integer part gives 1011 and leaves `out` unchanged.
MsgNo decimalToNumericStruct(const Decimal& value, SQL_NUMERIC_STRUCT& out);

// The value the struct holds (its precision is not checked; a negative scale multiplies).
Decimal numericStructToDecimal(const SQL_NUMERIC_STRUCT& numeric);

}  // namespace kelvra
