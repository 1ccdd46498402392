// The row writer behind UPDATE. Writing pages (rows, long values, index
// entries, the commit order) belongs to the engine's writer; until it is
// part of the engine, an UPDATE finds its rows and then stops here with a
// clear error rather than pretending to have changed anything.
#include "sql_select.h"

namespace jet::sql {

std::int64_t updateRows(Storage&, const TableDef& table, const std::vector<RowId>& rows,
                        const std::vector<ColumnChange>&) {
    throw Error("writing is not available yet (UPDATE of " + std::to_string(rows.size()) +
                    " row(s) of '" + table.name + "' was not applied)",
                ErrorKind::NotSupported);
}

}  // namespace jet::sql
