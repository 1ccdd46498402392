// Values as a column's field stores them, in the fixed or the variable area
// of a row.
//
// | Type            | Field                                                      |
// |-----------------|------------------------------------------------------------|
// | Yes/No          | no bytes: the null-mask bit is the value                   |
// | Byte, Integer,  | 1, 2, 4 bytes, signed except Byte                          |
// | Long            |                                                            |
// | Currency        | 8 bytes, signed, ten-thousandths                           |
// | Single, Double  | IEEE 754, 4 and 8 bytes                                    |
// | Date/Time       | 8-byte double: days since 30 December 1899, time as the    |
// |                 | fraction                                                   |
// | Decimal         | 17 bytes: sign (0x80 negative), then the 96-bit magnitude  |
// |                 | as four 32-bit words, most significant first, scaled by    |
// |                 | the column's scale                                         |
// | GUID            | 16 bytes                                                   |
// | Text            | format/text.h: UCS-2LE or compressed (J4), code page (J3); |
// |                 | a fixed-length field is padded with blanks                 |
// | Memo, OLE       | format/long_value.h                                        |
// | Binary          | the bytes                                                  |
#pragma once

#include <string>

#include "format/bytes.h"
#include "format/format.h"
#include "format/storage.h"

namespace jet {

// A Decimal field's number as text ("-12.50"), with `scale` decimals.
std::string decimalText(ByteView field, int scale);

// The value of a field of fixed size (numbers, dates, Currency, Decimal,
// GUID); other types come back as their bytes.
Value decodeScalar(const ColumnDef& column, ByteView field);

// Bytes of a value as stored in a column's field (fixed or variable area).
// `present` receives false for a null. Conversion error for text the
// column cannot hold; NotSupported for long values that do not fit inline.
Bytes encodeField(const Value& value, const ColumnDef& column, const Format& format, int codePage,
                  bool& present);

}  // namespace jet
