// Shared helpers of the fuzz targets: walking every table of an open
// storage the way the tool reads it. Internal to fuzz/.
//
// A fuzz target may only see jet::Error (and the pricing errors) escape the
// code under test: any other exception, a crash, a hang or a leak is a
// finding. The helpers therefore catch precios::Error only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "format/index_page.h"
#include "format/storage.h"
#include "sql/parser.h"
#include "sql/select.h"

namespace fuzzing {

// Rows visited per table and per statement: enough to reach every page of
// a small file, bounded so that a huge claimed row count cannot turn into a
// timeout that hides a real hang.
inline constexpr int kRowLimit = 20000;

inline void drain(jet::Cursor& cursor) {
    int n = 0;
    while (n++ < kRowLimit && cursor.next()) (void)cursor.row();
}

// A SELECT over `table`, built from a template so that table and column
// names never need quoting.
inline void selectAll(jet::Storage& storage, const std::string& table, const std::string& orderBy,
                      bool withLike) {
    const char* text = withLike
                           ? "select * from t where c like '%a%' order by c"
                           : (orderBy.empty() ? "select * from t" : "select * from t order by c");
    jet::sql::Statement st = jet::sql::parse(text);
    auto& select = std::get<jet::sql::SelectStmt>(st);
    select.table = table;
    if (!orderBy.empty()) {
        select.orderBy.at(0).ref.column = orderBy;
        if (withLike) select.where->left->ref.column = orderBy;
    }
    auto cursor = jet::sql::runSelect(storage, std::move(select), {});
    drain(*cursor);
}

// Everything a reader does with a table: definition, counted rows, a full
// scan, each index walked in key order, and SELECTs by scan and by index.
inline void readTable(jet::Storage& storage, const std::string& name) {
    const jet::TableDef& def = storage.tableDef(name);
    (void)storage.tableInfo(name);
    std::vector<int> all(def.columns.size());
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int>(i);
    int rows = 0;
    storage.scan(def, all,
                 [&](jet::RowId, std::vector<jet::Value>&) { return ++rows < kRowLimit; });

    const auto& format = jet::IndexPageFormat::forJet(storage.format().version);
    for (const jet::IndexDef& index : def.indexes) {
        try {
            jet::IndexCursor cursor(jet::pagerSource(storage.pager()), index.rootPage, format);
            cursor.seekFirst();
            int n = 0;
            while (n++ < kRowLimit && cursor.next()) (void)cursor.entry();
        } catch (const precios::Error&) {
        }
    }

    selectAll(storage, name, "", false);
    for (const jet::IndexDef& index : def.indexes) {
        if (index.index.columns.empty()) continue;
        try {
            selectAll(storage, name, index.index.columns.front(), false);
            selectAll(storage, name, index.index.columns.front(), true);
        } catch (const precios::Error&) {
        }
    }
}

}  // namespace fuzzing
