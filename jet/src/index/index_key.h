// Index entry keys: the bytes Access writes for a row in an index.
//
// A key is the concatenation, over the index's columns in order, of one
// segment per column: a flag byte (0x7F ascending / 0x80 descending when a
// value is present, 0x00 / 0xFF for a null) and the encoded value, with every
// value byte inverted for a descending column. Keys compare as unsigned byte
// strings; that is the index's order (equal keys are then ordered by row id).
//
// Pure functions over values; safe from any thread.
#pragma once

#include <string>
#include <vector>

#include "index/collation.h"
#include "jet/jet.h"

namespace jet {

// Appends the segment of one column value. Supported types: Yes/No, Byte,
// Integer, Long, Currency, Single, Double, Date/Time, Text and Memo (text
// keys per `order`), GUID, Binary and Decimal (`scale`: the column's scale;
// -1 takes the value's own fraction digits, as the row decoder writes them).
// Throws jet::Error(NotSupported) for OLE and a text character without a sort
// code, and jet::Error(InvalidArgument) when the value does not fit the type.
void appendIndexKey(std::string& out, const Value& v, ColumnType type, bool descending,
                    SortOrder order, int scale = -1);

// One column of an index, as the key builder needs it.
struct KeyColumn {
    ColumnType type{};
    bool descending = false;
    int scale = -1;  // Decimal columns
};

// The whole key of one row: values[i] belongs to columns[i].
std::string indexKey(const std::vector<Value>& values, const std::vector<KeyColumn>& columns,
                     SortOrder order);

}  // namespace jet
