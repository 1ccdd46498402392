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
// Corrupt through corrupt() (bytes.h) naming the page and offset.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "bytes.h"
#include "jet/jet.h"

namespace jet {

// A row's address: data page and slot in that page's row offset table.
struct RowId {
    std::uint32_t page = 0;
    std::uint16_t slot = 0;
    friend bool operator==(const RowId&, const RowId&) = default;
    friend auto operator<=>(const RowId&, const RowId&) = default;
};

// Everything that differs between Jet 3 and Jet 4, as data. Decoders take
// every offset and size from here and never use literals of their own.
struct Format {
    int version = 4;  // 3 or 4
    std::size_t pageSize = 4096;
    bool unicodeText = true;  // J4: UCS-2 text; J3: code-page bytes

    // Page 0 (section: file header).
    std::size_t headerMaskedStart = 0x18;
    std::size_t headerMaskedLength = 128;
    std::size_t headerCodePage = 0x3C;
    std::size_t headerEncodingKey = 0x3E;
    std::size_t headerPassword = 0x42;
    std::size_t headerPasswordLength = 40;
    std::size_t headerCreationDate = 0x72;  // J4 only
    std::size_t headerSortOrder = 0x6E;     // J4 0x6E, J3 0x3A

    // Data pages.
    std::size_t dataFreeSpace = 0x02;
    std::size_t dataOwner = 0x04;
    std::size_t dataRowCount = 0x0C;
    std::size_t dataRowTable = 0x0E;

    // Table definition: header block.
    std::size_t tdefNextPage = 0x04;
    std::size_t tdefPageHeader = 8;  // bytes skipped on continuation pages
    std::size_t tdefLength = 0x08;
    std::size_t tdefRowCount = 0x10;
    std::size_t tdefAutoNumber = 0x14;
    std::size_t tdefTableType = 0x28;
    std::size_t tdefMaxColumns = 0x29;
    std::size_t tdefVarColumns = 0x2B;
    std::size_t tdefColumnCount = 0x2D;
    std::size_t tdefLogicalIndexCount = 0x2F;
    std::size_t tdefRealIndexCount = 0x33;
    std::size_t tdefOwnedMap = 0x37;
    std::size_t tdefFreeMap = 0x3B;
    std::size_t tdefIndexBlocks = 0x3F;
    std::size_t realIndexBlockSize = 12;

    // Column descriptor.
    std::size_t columnDescSize = 25;
    std::size_t colType = 0x00;
    std::size_t colNumber = 0x05;
    std::size_t colVarIndex = 0x07;
    std::size_t colSortOrder = 0x0B;
    std::size_t colCodePage = 0;      // J3 only (0 = absent)
    std::size_t colPrecision = 0x0B;  // J4 Decimal
    std::size_t colScale = 0x0C;      // J4 Decimal
    std::size_t colFlags = 0x0F;
    std::size_t colExtraFlags = 0x10;  // J4 only (0 = absent)
    std::size_t colFixedOffset = 0x15;
    std::size_t colLength = 0x17;
    std::size_t nameLengthSize = 2;  // J3 1-byte lengths, J4 2-byte

    // Real-index descriptor.
    std::size_t realIndexDescSize = 52;
    std::size_t riColumns = 0x04;  // 10 x {column number (2), order (1)}
    std::size_t riUsageMap = 0x22;
    std::size_t riRootPage = 0x26;
    std::size_t riFlags = 0x2E;

    // Logical-index descriptor.
    std::size_t logicalIndexDescSize = 28;
    std::size_t liNumber = 0x04;
    std::size_t liRealIndex = 0x08;
    std::size_t liRelTableType = 0x0C;
    std::size_t liRelIndex = 0x0D;
    std::size_t liRelTable = 0x11;
    std::size_t liCascadeUpdate = 0x15;
    std::size_t liCascadeDelete = 0x16;
    std::size_t liType = 0x17;

    // Rows: width of the column count, variable offsets, eod and var count.
    std::size_t rowCountSize = 2;

    // Index pages (for the index walker).
    std::size_t ixPrevPage = 0x0C;
    std::size_t ixNextPage = 0x10;
    std::size_t ixTailPage = 0x14;
    std::size_t ixPrefixLength = 0x18;
    std::size_t ixPrefixLengthSize = 2;
    std::size_t ixBitmap = 0x1B;
    std::size_t ixEntryStart = 0x1E0;
    std::size_t ixMaxEntryArea = 3616;

    // Long values: the largest single-row LVAL (writer's choice).
    std::size_t lvalSingleRowMax = 4076;
};

const Format& jet3Format();
const Format& jet4Format();

// The bytes of a file. The real implementation uses POSIX I/O (and a
// read-only memory map for fast page access); MemoryFile holds the bytes in
// memory so tests can truncate, corrupt and fail writes.
class File {
  public:
    virtual ~File();
    virtual std::uint64_t size() const = 0;
    // Reads exactly n bytes; a range past the end raises Corrupt, an
    // operating-system failure raises Io.
    virtual void read(std::uint64_t offset, std::uint8_t* dst, std::size_t n) = 0;
    virtual void write(std::uint64_t offset, const std::uint8_t* src, std::size_t n) = 0;
    // Writes the buffers one after the other from `offset`: consecutive
    // pages in one call where the system can.
    struct Buffer {
        const std::uint8_t* data;
        std::size_t size;
    };
    virtual void writeGather(std::uint64_t offset, const std::vector<Buffer>& buffers);
    // Makes the written data durable (the contents and the length).
    virtual void sync() = 0;
    virtual bool writable() const = 0;
    // The whole file as memory, or nullptr when the file cannot provide it.
    // Covers mappedSize() bytes; pages beyond go through read().
    virtual const std::uint8_t* mapping() const { return nullptr; }
    virtual std::uint64_t mappedSize() const { return 0; }
    // A name for messages (the path for real files).
    const std::string& name() const { return name_; }

  protected:
    explicit File(std::string name) : name_(std::move(name)) {}

  private:
    std::string name_;
};

// Opens a real file. writable asks for read-write access; a file that may
// only be read is opened read-only instead (writable() then says false).
// Missing file: NotFound; directory, permissions, other failures: Io.
std::unique_ptr<File> openFile(const std::string& path, bool writable);

// A path given as UTF-8 text (as the engine takes them) for std::filesystem;
// on Windows a plain std::string would be read in the ANSI code page.
std::filesystem::path utf8Path(const std::string& path);

class MemoryFile : public File {
  public:
    explicit MemoryFile(std::vector<std::uint8_t> bytes, std::string name = "(memory)");
    std::uint64_t size() const override { return bytes_.size(); }
    void read(std::uint64_t offset, std::uint8_t* dst, std::size_t n) override;
    void write(std::uint64_t offset, const std::uint8_t* src, std::size_t n) override;
    void sync() override {}
    bool writable() const override { return true; }
    const std::uint8_t* mapping() const override { return bytes_.data(); }
    std::uint64_t mappedSize() const override { return bytes_.size(); }
    std::vector<std::uint8_t>& bytes() { return bytes_; }

  private:
    std::vector<std::uint8_t> bytes_;
};

// Page access by number. Every page number is checked against the file
// size; a page that is not in the memory image is read once and cached.
class Pager {
  public:
    Pager(std::unique_ptr<File> file, const Format& format);
    Pager(const Pager&) = delete;
    Pager& operator=(const Pager&) = delete;

    const Format& format() const { return *format_; }
    std::uint32_t pageCount() const { return pageCount_; }
    File& file() { return *file_; }

    // The whole page n; Corrupt when n is past the end of the file.
    ByteView page(std::uint32_t n);
    // The page, after checking its type byte; `what` names the structure
    // for the error message.
    ByteView page(std::uint32_t n, std::uint8_t type, const char* what);
    // A hint that page n will be read soon (no effect on pages not mapped).
    void prefetch(std::uint32_t n) const;
    // While `out` is set, every page number asked for is appended to it:
    // what a structure was built from, so that it can be checked later.
    void recordReads(std::vector<std::uint32_t>* out) { recording_ = out; }
    // Whether pages come from the file's shared memory image (and so always
    // show its current bytes) rather than from copies cached at first read.
    bool mapsWholeFile() const { return mappedPages_ >= pageCount_; }

    // Normally every read of a mapped page first asks the system for the
    // file's size: another program may have cut the file short, and touching
    // a mapped page past its end would kill the process. While the caller
    // holds the write lock no writer of this engine can shorten the file, so
    // a statement's many reads skip that question (the size is checked once
    // when the hold starts).
    class SizeHold {
      public:
        explicit SizeHold(Pager& pager);
        ~SizeHold();
        SizeHold(const SizeHold&) = delete;
        SizeHold& operator=(const SizeHold&) = delete;

      private:
        Pager& pager_;
        std::uint32_t previous_;
    };

  private:
    std::unique_ptr<File> file_;
    const Format* format_;
    std::uint32_t pageCount_ = 0;
    std::uint32_t mappedPages_ = 0;
    std::uint32_t heldPages_ = 0;  // mapped pages known to be backed (SizeHold)
    std::vector<std::uint32_t>* recording_ = nullptr;
    std::unordered_map<std::uint32_t, std::unique_ptr<std::uint8_t[]>> cache_;
};

// Page type bytes.
enum PageType : std::uint8_t {
    kPageHeader = 0x00,
    kPageData = 0x01,
    kPageTdef = 0x02,
    kPageIndexNode = 0x03,
    kPageIndexLeaf = 0x04,
    kPageUsageMap = 0x05,
};

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
    static std::unique_ptr<Storage> open(const std::string& path, bool writable);
    static std::unique_ptr<Storage> open(std::unique_ptr<File> file);
    ~Storage();
    Storage(const Storage&) = delete;
    Storage& operator=(const Storage&) = delete;

    const Format& format() const { return pager_->format(); }
    const HeaderInfo& header() const { return header_; }
    Pager& pager() { return *pager_; }
    const std::string& fileName() const { return pager_->file().name(); }

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
    std::unique_ptr<TableDef> catalog_;
    std::vector<std::uint32_t> catalogPages_;
    std::vector<CatalogEntry> entries_;
    std::map<std::u16string, std::size_t> byFoldedName_;                 // -> entries_ index
    std::unordered_map<std::uint32_t, std::unique_ptr<TableDef>> defs_;  // by TDEF page
};

// Text helpers shared by the engine.
std::u16string utf8ToUtf16(const std::string& s);
std::string utf16ToUtf8(const std::u16string& s);
// Decodes a J4 text field (UCS-2LE or FF FE compressed) to UTF-16. The
// overloads taking `out` replace its content and reuse its buffer.
std::u16string decodeJet4Text(ByteView bytes);
void decodeJet4Text(ByteView bytes, std::u16string& out);
// Decodes code-page bytes (1252; other code pages read as Latin-1) to UTF-16.
std::u16string decodeCodePageText(ByteView bytes, int codePage);
void decodeCodePageText(ByteView bytes, int codePage, std::u16string& out);
// Simple case folding used for table and column names.
std::u16string foldName(const std::u16string& s);

// RC4 key stream, used to unmask the header.
void rc4(const std::uint8_t* key, std::size_t keyLength, std::uint8_t* data, std::size_t n);

}  // namespace jet
