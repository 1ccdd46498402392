// Building new Jet databases from nothing: the system tables and catalog of
// an empty Access 2000 (Jet 4) or Access 97 (Jet 3) database, user tables
// with their indexes and column properties, and rows.
//
// DatabaseBuilder lays the whole file out in memory: rows are encoded and
// placed on data pages (long values on the column's LVAL pages) as they are
// inserted, and every index is built bottom-up, fully packed, when the file
// is finished. This is the bulk path for a freshly created file; later
// changes go through the writer. The result uses the page, row, usage-map
// and index formats Access writes, so the engine, mdbtools and Jackcess read
// it like an Access file.
//
// Indexes behave as Access builds them: an index that ignores nulls has no
// entry for a row whose key columns are all null; a required index (and a
// primary key) refuses a row with any null key column; a unique index (and a
// primary key) refuses a second row with the same key unless every key
// column is null. A refused row leaves no trace in the file.
//
// Ownership: a builder owns its file image until finish() hands it over.
// Threads: one builder belongs to one thread.
// Errors: jet::Error(InvalidArgument) for a bad definition, a value that
// does not fit its column, a null where the column or an index requires a
// value, or a duplicate key in a unique index; jet::Error(NotSupported)
// past the sizes the builder handles (a file of more than 32,000 pages, a
// Jet 3 row too long for its row format); jet::Error(Io) when the file
// cannot be written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/jet.h"

namespace jet {

struct ColumnDesign {
    std::string name;  // UTF-8; Jet 3: code page 1252 characters only
    ColumnType type{};
    int length = 0;          // Text: characters (1..255); Binary: bytes; others: ignored
    int flags = -1;          // descriptor flags; -1 = the usual ones for the type
    bool compressed = true;  // Text/Memo: "Unicode compression" on (Jet 4)
    // The column's "Required" property: a row must give it a value. Access
    // keeps it in the table's property blob (MSysObjects.LvProp).
    bool required = false;
    // Decimal (Numeric, Jet 4 only): total digits 1..28, of which `scale`
    // (0..precision) after the decimal point.
    int precision = 18;
    int scale = 0;
};

// Unique and PrimaryKey indexes refuse duplicate keys; a primary key is also
// required and is the table's primary key (logical index type 1).
enum class IndexKind { Plain, Unique, PrimaryKey };

struct IndexDesign {
    std::string name;
    std::vector<std::string> columns;  // key order, 1 to 10 columns
    std::vector<bool> descending;      // per column; empty = all ascending
    IndexKind kind = IndexKind::Plain;
    // Real-index flags as written, overriding what kind, ignoreNulls and
    // required give (the system tables' own values); -1 = derived. The
    // builder then enforces what the flags say.
    int flags = -1;
    bool ignoreNulls = false;  // no entry for rows whose key columns are all null
    bool required = false;     // rows with a null key column are refused
};

struct TableDesign {
    std::string name;
    std::vector<ColumnDesign> columns;  // declaration order = storage order
    std::vector<IndexDesign> indexes;
    bool system = false;             // TDEF type 'S' and system column flags
    std::uint32_t catalogFlags = 0;  // MSysObjects.Flags
};

struct CreateOptions {
    // Creation date written to the header (Jet 4) and the catalog rows, as
    // an OLE date. Fixed by default so that the same content gives the same
    // bytes.
    double creationDate = 45292.5;  // 2024-01-01 12:00
    // 4: Access 2000 (4 KB pages, UCS-2 text); 3: Access 97 (2 KB pages,
    // code page 1252 text, no Decimal columns).
    int jetVersion = 4;
};

class DatabaseBuilder {
  public:
    // Starts an empty database holding the system tables of Access 2000
    // (Jet 4) or Access 97 (Jet 3). InvalidArgument for another version.
    explicit DatabaseBuilder(CreateOptions options = {});
    ~DatabaseBuilder();
    DatabaseBuilder(const DatabaseBuilder&) = delete;
    DatabaseBuilder& operator=(const DatabaseBuilder&) = delete;

    // Adds a user table (or a system table when design.system); returns the
    // handle insert() takes. Names are unique, case-insensitively.
    int addTable(const TableDesign& design);
    // Inserts one row; values in declaration order, a null Value for NULL.
    // Integers come as int64, Single/Double as double, dates as DateTime,
    // Currency as Currency, Decimal as Decimal (or int64), text and memo as
    // UTF-16, Binary/OLE/GUID as Bytes. A refused row changes nothing.
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

// The system tables of an empty Access 2000 (jetVersion 4) or Access 97
// (jetVersion 3) database, as the builder creates them (MSysObjects first).
std::vector<TableDesign> systemTableDesigns(int jetVersion = 4);

// Writes an empty database (system tables only) to path.
void createEmptyDatabase(const std::string& path, CreateOptions options = {});

}  // namespace jet
