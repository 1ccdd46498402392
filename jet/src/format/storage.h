// Storage layer of the engine: pages, header, catalog, table definitions,
// usage maps, row decoding and long values of one Jet 3 / Jet 4 file.
//
// Internal to jet/. Storage is a non-copyable owning handle for one open
// file; it owns its Pager, which owns the File. Table definitions are parsed
// once and kept for the life of the Storage: references returned by
// tableDef() stay valid as long as the Storage lives. Views returned by
// Pager::page() point into the file's memory image or the pager's cache and
// stay valid until the pager is told that the file changed (the writer's
// concern; the reader never invalidates them).
// Threads: one thread at a time, like the Database that owns it.
// Errors: every failure is a jet::Error; damaged structures raise kind
// Corrupt through corrupt() (format/bytes.h) naming the page and offset.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "format/bytes.h"
#include "format/format.h"
#include "format/text.h"
#include "io/pager.h"
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

// Decoded header facts.
struct HeaderInfo {
    int version = 4;
    int codePage = 1252;
    int sortOrder = 1033;
    int sortVersion = 0;      // J4: 0 General legacy, 1 General 2010
    double creationDate = 0;  // J4
};

class Storage {
  public:
    using RowVisitor = std::function<bool(RowId, std::vector<Value>&)>;

    // Opens and checks the header and the catalog. Refuses foreign, .accdb,
    // password-protected, encoded and damaged files with a jet::Error.
    // Opened by path, the file's writes are journaled beside it in `env`;
    // a bare File (a buffer of a test or fuzzer) is written without one.
    static std::unique_ptr<Storage> open(const std::string& path, bool writable,
                                         Env& env = systemEnv());
    static std::unique_ptr<Storage> open(std::unique_ptr<File> file);
    ~Storage();
    Storage(const Storage&) = delete;
    Storage& operator=(const Storage&) = delete;

    const Format& format() const { return pager_->format(); }
    const HeaderInfo& header() const { return header_; }
    Pager& pager() { return *pager_; }
    const std::string& fileName() const { return pager_->file().name(); }
    // Where the file was opened (its journal goes there), or nullptr for a
    // bare File.
    Env* env() const { return env_; }

    // User tables, catalog order.
    std::vector<std::string> tableNames();
    // Any local table (user or system), case-insensitive; NotFound otherwise.
    const TableDef& tableDef(const std::string& name);
    // The catalog table itself.
    const TableDef& catalogDef() { return *catalog_; }
    // Every page the header facts and the catalog (table names and their
    // definition pages) were read from, ascending: the same bytes in these
    // pages (and the same file size) give the same catalog.
    const std::vector<std::uint32_t>& catalogSourcePages() const { return catalogPages_; }
    // Public description, with the rows counted by a scan.
    TableInfo tableInfo(const std::string& name);

    // Live rows in storage order (owned pages ascending, slots ascending),
    // decoding only the listed positions of def.columns into the vector
    // passed to visit (same order as `columns`). visit returns false to stop.
    // Moved rows are followed, deleted rows and moved-row targets skipped.
    // When `want` is given, rows it refuses are skipped before decoding.
    void scan(const TableDef& def, const std::vector<int>& columns, const RowVisitor& visit,
              const std::function<bool(RowId)>& want = nullptr);
    // Counts live rows without decoding any value.
    std::int64_t countRows(const TableDef& def);
    // One row by id (following a moved row), for index-ordered access.
    // NotFound when the slot is deleted.
    std::vector<Value> readRow(const TableDef& def, RowId id, const std::vector<int>& columns);
    // The set bits of a usage map, ascending.
    std::vector<std::uint32_t> usageMapPages(std::uint32_t mapPointer);

    // Lower level, for the writer and the index walker.
    // The bytes of the row at id after following moved-row pointers; the
    // view covers exactly the row. `finalId` receives where the data is.
    ByteView rowBytes(RowId id, RowId* finalId = nullptr);
    // Decodes one column of a row (as given by rowBytes) of def.
    Value decodeColumn(const TableDef& def, ByteView row, int position);
    // A whole long value (memo or OLE) from its 12-byte-header field bytes.
    Bytes readLongValue(ByteView field);

  private:
    explicit Storage(std::unique_ptr<Pager> pager, HeaderInfo header);
    void loadCatalog();
    std::unique_ptr<TableDef> parseTableDef(std::uint32_t page, const std::string& name);
    // Column properties kept in the catalog row (Required).
    void readColumnProperties(TableDef& def, RowId catalogRow);

    struct CatalogEntry {
        std::string name;
        std::uint32_t tdefPage = 0;
        bool user = false;
        RowId row;  // the table's MSysObjects row (its properties)
    };

    std::unique_ptr<Pager> pager_;
    HeaderInfo header_;
    Env* env_ = nullptr;
    std::unique_ptr<TableDef> catalog_;
    std::vector<std::uint32_t> catalogPages_;
    std::vector<CatalogEntry> entries_;
    std::map<std::u16string, std::size_t> byFoldedName_;                 // -> entries_ index
    std::unordered_map<std::uint32_t, std::unique_ptr<TableDef>> defs_;  // by TDEF page
};

}  // namespace jet
