// Checks shared by the tests of created databases: structural invariants of
// data and index pages, index-versus-row consistency, and mdb-export as an
// independent reader.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "format/index_page.h"
#include "format/storage.h"
#include "index/index_key.h"
#include "writer_check.h"

namespace jet::testing {

inline std::string quoted(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

inline std::vector<std::string> splitOn(const std::string& s, const std::string& sep) {
    std::vector<std::string> out;
    std::size_t from = 0;
    for (std::size_t at; (at = s.find(sep, from)) != std::string::npos; from = at + sep.size())
        out.push_back(s.substr(from, at - from));
    if (from < s.size()) out.push_back(s.substr(from));
    return out;
}

// mdb-export of one table: header then rows, cells as mdb-export prints
// them (dates as "YYYY-MM-DD hh:mm:ss", no quotes).
inline std::vector<std::vector<std::string>> mdbExport(const std::string& path,
                                                       const std::string& table) {
    const std::string col = "~|\x01~", row = "~#\x01~\n";
    std::string out = runCommand("mdb-export -Q -d '" + col + "' -R '" + row +
                                 "' -D '%Y-%m-%d %H:%M:%S' -T '%Y-%m-%d %H:%M:%S' " + quoted(path) +
                                 " " + quoted(table) + " 2>/dev/null");
    std::vector<std::vector<std::string>> rows;
    for (const std::string& line : splitOn(out, row)) rows.push_back(splitOn(line, col));
    return rows;
}

// A temporary file removed at the end of the scope.
class TempFile {
  public:
    explicit TempFile(const std::string& stem) {
        path_ =
            (std::filesystem::temp_directory_path() / (stem + "-" + std::to_string(processId()) +
                                                       "-" + std::to_string(counter()++) + ".mdb"))
                .string();
    }
    ~TempFile() { std::filesystem::remove(path_); }
    const std::string& path() const { return path_; }

  private:
    static int& counter() {
        static int n = 0;
        return n;
    }
    std::string path_;
};

// Every owned page of the table is a data page of that table whose
// free-space field equals the real gap and whose rows lie back to back.
inline void checkDataPages(Storage& db, const TableDef& def) {
    for (std::uint32_t p : db.usageMapPages(def.ownedMap)) {
        const Format& f = db.format();
        ByteView page = db.pager().page(p);
        ASSERT_EQ(page.u8(0), kPageData) << "page " << p;
        ASSERT_EQ(page.u32(f.dataOwner), def.tdefPage) << "page " << p;
        std::size_t n = page.u16(f.dataRowCount);
        ASSERT_LE(n, 255u);
        std::size_t end = f.pageSize;
        for (std::size_t s = 0; s < n; ++s) {
            std::size_t start = page.u16(f.dataRowTable + 2 * s) & 0x1FFF;
            ASSERT_LT(start, end) << "page " << p << " slot " << s;
            end = start;
        }
        EXPECT_EQ(page.u16(f.dataFreeSpace), end - (f.dataRowTable + 2 * n))
            << "free space of page " << p;
    }
}

// Depth of an index tree: 1 for a single leaf.
inline int indexDepth(Storage& db, std::uint32_t root) {
    const auto& f = IndexPageFormat::forJet(db.format().version);
    int depth = 1;
    std::uint32_t page = root;
    for (;;) {
        IndexPage ip = parseIndexPage(db.pager().page(page), page, f);
        if (ip.leaf) return depth;
        page = ip.entries.empty() ? ip.tailPage : ip.entries.front().child;
        ++depth;
    }
}

// Every real index holds exactly one correctly encoded entry per row (none
// for a row whose key columns are all null when the index ignores nulls),
// in strictly rising order (the cursor checks the order), and every index
// page is in the index's usage map.
inline void checkIndexes(Storage& db, const TableDef& def) {
    const auto& format = IndexPageFormat::forJet(db.format().version);
    for (const IndexDef& ix : def.indexes) {
        SCOPED_TRACE("index " + ix.index.name);
        const RealIndexDef& real = def.realIndexes.at(std::size_t(ix.realIndex));
        std::vector<KeyColumn> keyColumns;
        for (std::size_t k = 0; k < ix.columnPositions.size(); ++k) {
            const ColumnDef& c = def.columns[std::size_t(ix.columnPositions[k])];
            keyColumns.push_back(KeyColumn{c.column.type, !real.ascending[k],
                                           c.column.type == ColumnType::Numeric ? c.scale : -1});
        }
        std::set<RowId> expected;
        db.scan(def, ix.columnPositions, [&](RowId id, std::vector<Value>& key) {
            if (!indexHasEntry(real, key)) return true;
            expected.insert(id);
            return true;
        });
        std::vector<IndexEntry> entries = readIndex(pagerSource(db.pager()), ix.rootPage, format);
        ASSERT_EQ(entries.size(), expected.size());
        std::set<RowId> seen;
        for (const IndexEntry& e : entries) {
            std::vector<Value> values = db.readRow(def, e.row, ix.columnPositions);
            ASSERT_EQ(indexKey(values, keyColumns, sortOrderForJet(db.format().version)), e.key)
                << "row " << e.row.page << "." << e.row.slot;
            seen.insert(e.row);
        }
        EXPECT_EQ(seen, expected);

        auto mapped = db.usageMapPages(ix.usageMap);
        std::set<std::uint32_t> inMap(mapped.begin(), mapped.end());
        std::vector<std::uint32_t> todo{ix.rootPage};
        while (!todo.empty()) {
            std::uint32_t p = todo.back();
            todo.pop_back();
            ASSERT_TRUE(inMap.count(p)) << "index page " << p << " missing from its usage map";
            IndexPage ip = parseIndexPage(db.pager().page(p), p, format);
            EXPECT_EQ(ip.tdefPage, def.tdefPage);
            if (ip.leaf) continue;
            for (const IndexEntry& e : ip.entries) todo.push_back(e.child);
            if (ip.tailPage) todo.push_back(ip.tailPage);
        }
    }
}

// Columns of a table definition by name: type code, number, length, flags,
// fixed offset (or "var") and extra flags.
inline std::string describeColumns(const TableDef& def) {
    std::map<std::string, std::string> byName;
    for (const ColumnDef& c : def.columns) {
        byName[c.column.name] = std::to_string(c.typeCode) + "/" + std::to_string(c.number) + "/" +
                                std::to_string(c.length) + "/" + std::to_string(c.flags) + "/" +
                                (c.fixed() ? std::to_string(c.fixedOffset) : "var") + "/" +
                                std::to_string(c.extraFlags);
    }
    std::string out;
    for (const auto& [name, d] : byName) out += name + "=" + d + " ";
    return out;
}

// Indexes of a table definition by name: key columns and order, flags, type.
inline std::string describeIndexes(const TableDef& def) {
    std::map<std::string, std::string> byName;
    for (const IndexDef& ix : def.indexes) {
        std::string d;
        for (std::size_t k = 0; k < ix.index.columns.size(); ++k)
            d += ix.index.columns[k] + (ix.index.descending[k] ? "-" : "+") + ",";
        d += "flags " + std::to_string(ix.flags) + " type " + std::to_string(ix.indexType);
        byName[ix.index.name] = d;
    }
    std::string out;
    for (const auto& [name, d] : byName) out += name + ": " + d + "; ";
    return out;
}

// Catalog rows as (Name, Type, ParentId, Flags); table ids differ between
// files (they are TDEF page numbers), so parents under Tables stay symbolic.
inline std::multiset<std::string> catalogRows(Storage& db) {
    const TableDef& cat = db.catalogDef();
    std::vector<int> cols{cat.columnIndex("Name"), cat.columnIndex("Type"),
                          cat.columnIndex("ParentId"), cat.columnIndex("Flags")};
    std::multiset<std::string> out;
    db.scan(cat, cols, [&](RowId, std::vector<Value>& row) {
        out.insert(utf16ToUtf8(std::get<std::u16string>(row[0].v)) + "|" +
                   std::to_string(std::get<std::int64_t>(row[1].v)) + "|" +
                   std::to_string(std::get<std::int64_t>(row[2].v)) + "|" +
                   std::to_string(std::get<std::int64_t>(row[3].v)));
        return true;
    });
    return out;
}

}  // namespace jet::testing
