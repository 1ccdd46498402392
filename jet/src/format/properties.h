// Object properties: what Access keeps about a table and its columns outside
// the table definition (Required, Default value, Caption, ...), as a blob in
// the table's MSysObjects row, column LvProp.
//
// | Offset | Size | Meaning                                                  |
// |--------|------|----------------------------------------------------------|
// | 0      | 4    | "MR2\0" (Jet 4) or "KKD\0" (Jet 3)                       |
// | 4      | ...  | chunks, each: length (4, header included), type (2)      |
//
// Chunk types: 0x80 the property names, each a 2-byte byte length and the
// name (UTF-16LE in Jet 4, the code page in Jet 3); 0x00 the properties of
// the object itself, 0x01 those of one of its columns. A value chunk starts
// with a name block (4-byte length, the block included, then the column's
// name as above; a block of 6 bytes or less names nothing) and holds
// entries: entry length (2, itself included), DDL flag (1), data type (1,
// the column type codes), index into the name list (2), data length (2),
// data.
//
// Pure functions over bytes; safe from any thread. A blob that breaks these
// rules raises jet::Error(Corrupt).
#pragma once

#include <map>
#include <string>

#include "format/bytes.h"
#include "format/storage.h"

namespace jet {

struct PropertyValue {
    std::uint8_t type = 0;  // column type code
    Bytes data;

    // A Yes/No property (any other type: false).
    bool asBool() const {
        return type == static_cast<std::uint8_t>(ColumnType::Boolean) && !data.empty() &&
               data[0] != 0;
    }
};

// Properties by name, as written (look-ups fold the case).
using PropertyMap = std::map<std::u16string, PropertyValue>;

struct ObjectProperties {
    PropertyMap object;                             // the table's own
    std::map<std::u16string, PropertyMap> columns;  // by folded column name
};

ObjectProperties parseProperties(ByteView blob, const Format& format, int codePage);

// The property `name` (case-insensitive) of a map, or nullptr.
const PropertyValue* findProperty(const PropertyMap& map, const std::u16string& name);

}  // namespace jet
