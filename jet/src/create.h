// Building new Jet 4 databases from nothing: the system tables and catalog
// of an empty Access 2000 database, user tables with their indexes, and rows.
//
// DatabaseBuilder lays the whole file out in memory: rows are encoded and
// placed on data pages (long values on the column's LVAL pages) as they are
// inserted, and every index is built bottom-up, fully packed, when the file
// is finished. This is the bulk path for a freshly created file; later
// changes go through the writer. The result uses the page, row, usage-map
// and index formats Access writes, so the engine, mdbtools and Jackcess read
// it like an Access file.
//
// Ownership: a builder owns its file image until finish() hands it over.
// Threads: one builder belongs to one thread.
// Errors: jet::Error(InvalidArgument) for a bad definition, a value that
// does not fit its column or a duplicate key in a unique index;
// jet::Error(NotSupported) past the sizes the builder handles (a file of
// more than 32,000 pages); jet::Error(Io) when the file cannot be written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/jet.h"

namespace jet {

struct ColumnDesign {
    std::string name;  // UTF-8
    ColumnType type{};
    int length = 0;          // Text: characters (1..255); Binary: bytes; others: ignored
    int flags = -1;          // descriptor flags; -1 = the usual ones for the type
    bool compressed = true;  // Text/Memo: "Unicode compression" on
};

enum class IndexKind { Plain, Unique, PrimaryKey };

struct IndexDesign {
    std::string name;
    std::vector<std::string> columns;  // key order
    std::vector<bool> descending;      // per column; empty = all ascending
    IndexKind kind = IndexKind::Plain;
    int flags = -1;  // real-index flags; -1 = from kind
};

struct TableDesign {
    std::string name;
    std::vector<ColumnDesign> columns;  // declaration order = storage order
    std::vector<IndexDesign> indexes;
    bool system = false;             // TDEF type 'S' and system column flags
    std::uint32_t catalogFlags = 0;  // MSysObjects.Flags
};

struct CreateOptions {
    // Creation date written to the header and the catalog rows, as an OLE
    // date. Fixed by default so that the same content gives the same bytes.
    double creationDate = 45292.5;  // 2024-01-01 12:00
};

class DatabaseBuilder {
  public:
    // Starts an empty Jet 4 database holding the system tables of Access 2000.
    explicit DatabaseBuilder(CreateOptions options = {});
    ~DatabaseBuilder();
    DatabaseBuilder(const DatabaseBuilder&) = delete;
    DatabaseBuilder& operator=(const DatabaseBuilder&) = delete;

    // Adds a user table (or a system table when design.system); returns the
    // handle insert() takes. Names are unique, case-insensitively.
    int addTable(const TableDesign& design);
    // Inserts one row; values in declaration order, a null Value for NULL.
    // Integers come as int64, Single/Double as double, dates as DateTime,
    // Currency as Currency, text and memo as UTF-16, Binary/OLE as Bytes.
    void insert(int table, const std::vector<Value>& row);
    std::int64_t rowCount(int table) const;

    // Builds the indexes and maps and returns the file image. The builder
    // is spent afterwards.
    std::vector<std::uint8_t> finish();
    // finish() and write the image to path (replacing any file there).
    void writeFile(const std::string& path);

  private:
    struct Impl;
    Impl* impl_;
};

// The system tables of an empty Access 2000 database, as the builder
// creates them (MSysObjects first).
std::vector<TableDesign> systemTableDesigns();

// Writes an empty database (system tables only) to path.
void createEmptyDatabase(const std::string& path, CreateOptions options = {});

}  // namespace jet
