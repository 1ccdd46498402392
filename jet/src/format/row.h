// Table rows: the parts of one stored row, decoded and encoded.
//
// Row layout (S = row start, E = row end, m = null-mask bytes):
//   J4: count c (2) | fixed area | variable data | eod (2) | offsets, last
//       slot first (2 each) | variable count v (2) | null mask (m)
//   J3: count c (1) | fixed area | variable data | eod (1) | offsets (1 each)
//       | jump table (1 each) | v (1) | null mask (m)
// Null-mask bit n (LSB first) belongs to column number n: 1 = has a value.
// Tables without variable slots have no variable part at all. Reading a
// field of a row in place (without taking it apart) is Storage's, in row.cpp.
#pragma once

#include <cstddef>
#include <vector>

#include "format/bytes.h"
#include "format/format.h"

namespace jet {

// The parts of one stored row (layout above):
// column count, fixed area, variable fields in slot order and the null mask
// (bit n = column number n has a value).
struct RowImage {
    unsigned columnCount = 0;
    Bytes fixed;
    std::vector<Bytes> vars;
    Bytes nullMask;
    bool hasVarArea = false;
    std::size_t padding = 0;  // J4: zero bytes between the data and the eod word

    bool hasValue(int number) const;
    void setHasValue(int number, bool present);
};

RowImage parseRowImage(ByteView row, const Format& format, bool hasVarArea);
// Encodes a row; throws NotSupported for a Jet 3 row whose trailer cannot
// be expressed (larger than about 1.7 KB).
Bytes encodeRowImage(const RowImage& row, const Format& format);

}  // namespace jet
