// Table definitions (TDEF): decoded for every table the engine reads,
// encoded for the tables a new database gets.
//
// A definition is one buffer spread over a chain of pages of type 0x02:
//   0x00  1  0x02            0x01  1  0x01
//   0x02  2  Jet 3 the letters "VC", Jet 4 the page's free space
//   0x04  4  next page of the chain (0 = last)
// The buffer is the first page whole followed by the bytes from
// Format::tdefPageHeader on of each continuation page; every offset below
// is into that buffer, named by the version's Format:
//   header block   length, row count, last AutoNumber, table type (0x4E
//                  user, 0x53 system), column counts (maximum, variable,
//                  present), logical and real index counts, owned and free
//                  usage-map pointers
//   per real index a statistics block: 4 unknown, 4 distinct keys (Jet 4:
//                  4 more unknown)
//   column descriptors (Format::col*), then the column names
//   real-index descriptors (Format::ri*: kRealIndexColumnSlots key columns
//                  of {column number (2), 1 ascending / 0 descending}, the
//                  usage map, the root page, the flags)
//   logical-index descriptors (Format::li*), then the index names
//   long-value map list: {column number (2), owned map (4), free map (4)}
//                  per Memo/OLE column, ending FF FF (older writers may
//                  leave it out)
// A name is its byte length (Jet 3 one byte, Jet 4 two) and its text (Jet 3
// the database's code page, Jet 4 UTF-16, possibly compressed).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "format/bytes.h"
#include "format/format.h"
#include "jet/jet.h"

namespace jet {

// Column descriptor flags.
enum ColumnFlag : std::uint8_t {
    kColumnFixed = 0x01,
    kColumnUpdatable = 0x02,
    kColumnAutoLong = 0x04,
    kColumnAutoGuid = 0x40,
    kColumnHyperlink = 0x80,
};

// Real-index flags.
enum IndexFlag : std::uint8_t {
    kIndexUnique = 0x01,
    kIndexIgnoreNulls = 0x02,
    kIndexRequired = 0x08,
};

// Logical-index types.
enum IndexType : std::uint8_t {
    kIndexNormal = 0,
    kIndexPrimaryKey = 1,
    kIndexForeignKey = 2,
};

struct ColumnDef {
    Column column;                // public description (name, type, size...)
    std::uint8_t typeCode = 0;    // on-disk type code (unknown codes read as Binary)
    int number = 0;               // storage number: null-mask bit
    int varIndex = 0;             // slot in the variable-offset table
    int fixedOffset = 0;          // offset in the fixed area (fixed columns)
    int length = 0;               // declared length in bytes
    std::uint8_t flags = 0;       // ColumnFlag bits
    std::uint8_t extraFlags = 0;  // J4: 0x01 Unicode compression allowed
    int sortOrder = 0;            // text: LCID (1033 General)
    int sortVersion = 0;          // J4 text: sort-order version byte
    int codePage = 0;             // J3 text: code page (0 = database's)
    int precision = 0;            // Decimal
    int scale = 0;                // Decimal
    // Memo/OLE: the column's LVAL usage maps (0 when the table has none).
    std::uint32_t lvalOwnedMap = 0;
    std::uint32_t lvalFreeMap = 0;

    bool fixed() const { return (flags & kColumnFixed) != 0; }
};

// A physical B-tree.
struct RealIndexDef {
    int number = 0;
    std::vector<int> columnNumbers;  // storage numbers, key order
    std::vector<bool> ascending;     // per key column
    std::uint32_t usageMap = 0;      // map pointer of the index's pages
    std::uint32_t rootPage = 0;
    std::uint8_t flags = 0;          // IndexFlag bits
    std::uint32_t distinctKeys = 0;  // statistics block
};

// A logical index (what Access shows), backed by a real index.
struct IndexDef {
    Index index;        // public description
    int number = 0;     // logical index number
    int realIndex = 0;  // position in TableDef::realIndexes
    int indexType = 0;  // 0 normal, 1 primary key, 2 foreign-key reference
    // Copies from the real index, for convenience.
    std::uint32_t rootPage = 0;
    std::uint32_t usageMap = 0;
    int flags = 0;
    std::vector<int> columnNumbers;    // storage numbers, key order
    std::vector<int> columnPositions;  // positions in TableDef::columns (-1: deleted column)
    // Foreign key (indexType 2).
    std::uint32_t relatedTable = 0;
    int relatedIndex = -1;
};

class TableDef {
  public:
    std::string name;
    std::uint32_t tdefPage = 0;
    std::vector<std::uint32_t> tdefPages;  // the TDEF chain, first page first
    std::uint8_t tableType = 0;            // 0x4E user, 0x53 system
    std::uint32_t rowCountHint = 0;        // as the TDEF says: do not trust
    std::uint32_t lastAutoNumber = 0;
    int maxColumns = 0;              // column numbers are below this
    int varColumns = 0;              // variable slots ever
    std::uint32_t ownedMap = 0;      // map pointer: data pages
    std::uint32_t freeMap = 0;       // map pointer: pages with room
    std::vector<ColumnDef> columns;  // descriptor (display) order
    std::vector<RealIndexDef> realIndexes;
    std::vector<IndexDef> indexes;  // logical, descriptor order

    // Position of a column in `columns`, case-insensitive; NotFound error.
    int columnIndex(const std::string& name) const;
    // Position of the column with storage number n, or nullptr.
    const ColumnDef* columnByNumber(int n) const;
};

// Fills `def` (whose name and pages the caller has set) from the joined
// buffer of its definition. `codePage` is the database's, for Jet 3 names.
// Impossible counts or offsets raise Corrupt.
void decodeTableDef(ByteView definition, const Format& f, int codePage, TableDef& def);

// The buffer Access writes for a new table with this definition: every
// field decodeTableDef() reads (logical index i on real index i), and the
// values Access stamps into fields no reader interprets.
Bytes encodeTableDef(const TableDef& def, const Format& f);

// The pages of an encoded definition, in chain order: the first holds the
// buffer's start whole, each further one the page header and the next
// bytes. The next-page fields are left 0 for the caller (linkTdefPage).
std::vector<Bytes> tdefPageImages(const Bytes& definition, const Format& f);
void linkTdefPage(ByteSpan page, const Format& f, std::uint32_t next);

// The public type of an on-disk column type code (unknown codes: Binary).
ColumnType publicColumnType(std::uint8_t code);

}  // namespace jet
