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

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "format/bytes.h"
#include "format/storage.h"
#include "format/text.h"

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

// The 4 bytes a blob starts with: "MR2\0" (Jet 4) or "KKD\0" (Jet 3).
inline const char* propertyMagic(const Format& f) { return f.version >= 4 ? "MR2" : "KKD"; }

// Builds a blob (the database builder writes them; the tool never does).
//
//   PropertyBlob blob(format);
//   blob.addText(u"", u"AccessVersion", u"08.50", false);  // the object's own
//   blob.add(u"Name", u"Required", ColumnType::Boolean, {1}, true);  // a column's
//   Bytes lvProp = blob.bytes();
class PropertyBlob {
  public:
    explicit PropertyBlob(const Format& f) : f_(f) {}

    // A property of the object itself (owner empty) or of column `owner`.
    void add(const std::u16string& owner, const std::u16string& name, ColumnType type, Bytes data,
             bool ddl) {
        std::size_t index = 0;
        while (index < names_.size() && names_[index] != name) ++index;
        if (index == names_.size()) names_.push_back(name);
        auto chunk = std::find_if(chunks_.begin(), chunks_.end(),
                                  [&](const Chunk& c) { return c.owner == owner; });
        if (chunk == chunks_.end()) chunk = chunks_.insert(chunks_.end(), Chunk{owner, {}});
        Bytes& e = chunk->entries;
        appendU16(e, std::uint16_t(8 + data.size()));
        e.push_back(ddl ? 0x01 : 0x00);
        e.push_back(std::uint8_t(type));
        appendU16(e, std::uint16_t(index));
        appendU16(e, std::uint16_t(data.size()));
        e.insert(e.end(), data.begin(), data.end());
    }
    void addText(const std::u16string& owner, const std::u16string& name,
                 const std::u16string& value, bool ddl) {
        add(owner, name, ColumnType::Text, encodeNameText(f_, value), ddl);
    }
    bool empty() const { return chunks_.empty(); }

    Bytes bytes() const {
        Bytes out(propertyMagic(f_), propertyMagic(f_) + 4);
        Bytes names;
        for (const std::u16string& n : names_) {
            Bytes text = encodeNameText(f_, n);
            appendU16(names, std::uint16_t(text.size()));
            names.insert(names.end(), text.begin(), text.end());
        }
        appendU32(out, std::uint32_t(6 + names.size()));
        appendU16(out, 0x0080);
        out.insert(out.end(), names.begin(), names.end());
        for (const Chunk& c : chunks_) {
            Bytes owner = encodeNameText(f_, c.owner);
            appendU32(out, std::uint32_t(6 + 6 + owner.size() + c.entries.size()));
            appendU16(out, c.owner.empty() ? 0x0000 : 0x0001);
            appendU32(out, std::uint32_t(6 + owner.size()));
            appendU16(out, std::uint16_t(owner.size()));
            out.insert(out.end(), owner.begin(), owner.end());
            out.insert(out.end(), c.entries.begin(), c.entries.end());
        }
        return out;
    }

  private:
    struct Chunk {
        std::u16string owner;
        Bytes entries;
    };
    const Format& f_;
    std::vector<std::u16string> names_;
    std::vector<Chunk> chunks_;
};

}  // namespace jet
