// jet: an embedded reader and writer for Microsoft Access (.mdb) files.
//
// This is the engine's only public header. A program opens a database with
// jet::Database::open(), runs statements of the small SQL dialect the tool
// needs (SELECT ... WHERE ... ORDER BY, UPDATE ... SET ... WHERE) and reads
// results through a jet::Cursor that fetches rows on demand.
//
// Ownership: Database is a non-copyable owning handle for one open file.
// A Cursor keeps a reference to its Database; the Database must outlive it.
// Threads: a Database and its cursors belong to one thread at a time.
// Errors: every failure is a jet::Error (derived from precios::Error); no
// function reports failure in-band.
//
// Standard library only: no Qt, no platform headers.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "precios/error.h"

namespace jet {

using precios::ErrorKind;

// An engine failure: corruption, unsupported format, syntax, I/O, lock...
class Error : public precios::Error {
  public:
    using precios::Error::Error;
};

// Access column types, by their on-disk type code.
enum class ColumnType : std::uint8_t {
    Boolean = 0x01,  // Yes/No
    Byte = 0x02,
    Integer = 0x03,  // 16-bit
    Long = 0x04,     // 32-bit (also AutoNumber, see Column::autoNumber)
    Currency = 0x05,
    Single = 0x06,
    Double = 0x07,
    DateTime = 0x08,
    Binary = 0x09,
    Text = 0x0A,
    Ole = 0x0B,
    Memo = 0x0C,
    Guid = 0x0F,     // Replication ID
    Numeric = 0x10,  // Decimal
};

// Access's own name for a type ("Long Integer", "Text", "Memo", ...).
std::string typeName(ColumnType type, bool autoNumber = false);

// A date as Access stores it: days since 1899-12-30 00:00 (OLE date).
struct DateTime {
    double days = 0;
    friend bool operator==(const DateTime&, const DateTime&) = default;
};

// Currency as Access stores it: a signed integer count of 1/10000.
struct Currency {
    std::int64_t scaled = 0;
    friend bool operator==(const Currency&, const Currency&) = default;
};

// A Decimal (Numeric) value kept exactly, as its decimal text ("-12.50").
struct Decimal {
    std::string text;
    friend bool operator==(const Decimal&, const Decimal&) = default;
};

using Bytes = std::vector<std::uint8_t>;

// One cell. Text and memo values are UTF-16 exactly as stored (Access keeps
// UCS-2, so unpaired surrogates survive a round trip). Integers of every
// width are held as int64; Single is widened to double (as the tool's
// connection maps it); OLE, Binary and GUID values are raw bytes.
struct Value {
    std::variant<std::monostate, bool, std::int64_t, double, Currency, DateTime, std::u16string,
                 Bytes, Decimal>
        v;

    Value() = default;
    template <class T>
    Value(T x) : v(std::move(x)) {}
    bool isNull() const { return std::holds_alternative<std::monostate>(v); }
    friend bool operator==(const Value&, const Value&) = default;
};

struct Column {
    std::string name;  // UTF-8
    ColumnType type{};
    int size = 0;       // Text: characters; fixed types: bytes
    int precision = 0;  // Decimal: digits in all
    int scale = 0;      // Decimal: digits after the point
    bool autoNumber = false;
    bool required = false;  // the column's Required property: NULL is refused
    bool nullable = true;   // false for Required columns and Yes/No (never NULL)
};

// What Access calls an index, with the properties its upkeep follows.
struct Index {
    std::string name;
    std::vector<std::string> columns;  // in key order
    std::vector<bool> descending;      // per key column
    bool primaryKey = false;           // implies unique and required
    bool unique = false;               // no two rows share a key (all-NULL keys never clash)
    bool ignoreNulls = false;          // a row whose key columns are all NULL has no entry
    bool required = false;             // no key column may be NULL
    bool foreignKey = false;           // a relationship's index
};

struct TableInfo {
    std::string name;
    std::vector<Column> columns;  // in the table's column order
    std::vector<Index> indexes;
    std::int64_t rowCount = 0;  // as counted, not as the header claims
};

// A column of a result: its name as the statement spells it (or as the
// table has it for *), its Access type and size.
struct ResultColumn {
    std::string name;
    ColumnType type{};
    int size = 0;
    bool autoNumber = false;
};

// The rows of a SELECT, fetched on demand. columns() is known before the
// first row. next() returns false at the end.
class Cursor {
  public:
    virtual ~Cursor() = default;
    virtual const std::vector<ResultColumn>& columns() const = 0;
    virtual bool next() = 0;
    virtual const std::vector<Value>& row() const = 0;
};

enum class OpenMode { ReadOnly, ReadWrite };

// Whether byte ranges of a file are locked by some other owner. A Database
// asks one before every write whether an Access user holds a user slot of
// the database's lock file (.ldb); the real probe uses the system's
// byte-range locks. Tests replace it with Database::setLockProbe().
class LockProbe {
  public:
    virtual ~LockProbe() = default;
    // True when any byte of [offset, offset + length) of `file` is locked by
    // another lock owner. Raises jet::Error (Io) when it cannot tell.
    virtual bool isHeld(const std::filesystem::path& file, std::uint64_t offset,
                        std::uint64_t length) = 0;
};

class Database {
  public:
    // Opens a .mdb file. Refuses, with a clear jet::Error, anything that is
    // not a Jet 3 / Jet 4 database: foreign, truncated, .accdb, password
    // protected, encoded, a directory, unreadable. ReadWrite falls back to
    // reading when the file is read-only; the first write then fails.
    static std::unique_ptr<Database> open(const std::string& path,
                                          OpenMode mode = OpenMode::ReadWrite);
    virtual ~Database() = default;
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    virtual int jetVersion() const = 0;                    // 3 or 4
    virtual std::vector<std::string> tableNames() = 0;     // user tables
    virtual TableInfo table(const std::string& name) = 0;  // case-insensitive

    // Runs a SELECT. '?' parameters are bound in order from params.
    virtual std::unique_ptr<Cursor> query(const std::string& sql,
                                          const std::vector<Value>& params = {}) = 0;
    // Runs an UPDATE; returns the number of rows changed. Committed and on
    // disk when it returns. Before anything changes, the database's lock
    // file is probed: while Access (or a program using its engine) has the
    // database open on any computer, the write is refused with a
    // jet::Error of kind OpenElsewhere whose names() are the computers.
    // A lock file left behind with no live user does not block writes. The
    // lock file is never deleted or rewritten.
    virtual std::int64_t execute(const std::string& sql, const std::vector<Value>& params = {}) = 0;

    // Replaces the probe execute() uses to find live Access users (for
    // tests); nullptr restores the system's byte-range lock probe.
    virtual void setLockProbe(std::shared_ptr<LockProbe> probe) = 0;

  protected:
    Database() = default;
};

}  // namespace jet
