// Execution of parsed statements over one table of an open Storage.
//
// A SELECT becomes a Cursor. When an index gives the ORDER BY, the index is
// walked in key order and rows are read one by one as the caller asks for
// them, so the first rows of a large result come at once; a constant LIKE
// on the indexed text column first rules out index entries whose key cannot
// contain the pattern's literal text. After the first screenfuls the rest
// of the walk is listed, and when it covers a large part of the table the
// rows are decoded by one sequential scan and given out in index order.
// A WHERE that pins every column of an index with `=` seeks that index
// and reads only the rows with that key (the WHERE still decides each).
// Without a usable index the table is scanned, filtered and sorted by the
// database's collation keys.
//
// Nothing is cached between statements: every statement reads the pages as
// the file holds them now (the pager maps the file, so another program's
// writes are seen). The cursor keeps references into the Storage, which
// must outlive it. One thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "format/storage.h"
#include "sql/ast.h"

namespace jet {
struct WriteStats;
}

namespace jet::sql {

std::unique_ptr<Cursor> runSelect(Storage& storage, SelectStmt stmt,
                                  const std::vector<Value>& params);

// How the last statement of this thread found its rows: by scanning the
// table, by walking an index in ORDER BY order, or by seeking an index
// whose every column the WHERE pins with `=` to a literal or parameter
// (text keys compare case-insensitively, as Access's equality does), or
// (UPDATE) by reading the entries of a Date/Time index between the bounds
// the WHERE gives its first column. For tests and benchmarks.
enum class AccessPath { Scan, IndexOrder, IndexSeek, IndexRange };
AccessPath lastAccessPath();

// One column change of an UPDATE, its value already converted to the
// column's type.
struct ColumnChange {
    int position = 0;  // in TableDef::columns
    Value value;
};

// A bound UPDATE: the rows its WHERE selects, all found before any change
// so that a moved row is not visited twice, and the converted new values.
struct PreparedUpdate {
    const TableDef* table = nullptr;
    std::vector<RowId> rows;
    std::vector<ColumnChange> changes;
};
PreparedUpdate prepareUpdate(Storage& storage, UpdateStmt stmt, const std::vector<Value>& params);

// prepareUpdate() then updateRows(). Returns the rows changed; `stats`, when
// given, receives what the write did.
std::int64_t runUpdate(Storage& storage, UpdateStmt stmt, const std::vector<Value>& params,
                       WriteStats* stats = nullptr);

// The row writer: applies `changes` to every row of `rows` and returns the
// number of rows changed. Committed and on disk when it returns.
std::int64_t updateRows(Storage& storage, const TableDef& table, const std::vector<RowId>& rows,
                        const std::vector<ColumnChange>& changes, WriteStats* stats = nullptr);

// Converts a value for storing in a column (text into Text/Memo, numbers
// into numeric columns, ...). Conversion error when it cannot be stored,
// Arithmetic when it is out of the column's range.
Value convertForColumn(const Value& v, const ColumnDef& column);
// A double as a Currency: scaled by 10,000 and rounded half to even, as
// Access stores it; Arithmetic error beyond the currency range.
Currency currencyFromDouble(double value, const Column& column);
// A decimal number (text: sign, digits, point, exponent) for a Decimal
// column: exactly, with the column's scale. Arithmetic error when it needs
// more digits after the point than the scale or before it than precision -
// scale allows; Conversion error for text that is not a number.
Decimal decimalForColumn(const std::string& text, const Column& column);

}  // namespace jet::sql
