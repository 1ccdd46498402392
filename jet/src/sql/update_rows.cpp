// The row writer behind UPDATE: hands the prepared changes to the engine's
// writer (writer.h), which encodes, indexes and commits them.
#include "sql/select.h"
#include "write/writer.h"

namespace jet::sql {

std::int64_t updateRows(Storage& storage, const TableDef& table, const std::vector<RowId>& rows,
                        const std::vector<ColumnChange>& changes, WriteStats* stats) {
    std::vector<FieldChange> fields;
    fields.reserve(changes.size());
    for (const ColumnChange& c : changes) fields.push_back(FieldChange{c.position, c.value});
    return updateTableRows(storage, table, rows, fields, stats);
}

}  // namespace jet::sql
