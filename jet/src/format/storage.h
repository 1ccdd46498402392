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
#include "format/header.h"
#include "format/tdef.h"
#include "format/text.h"
#include "io/pager.h"
#include "jet/jet.h"

namespace jet {

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
