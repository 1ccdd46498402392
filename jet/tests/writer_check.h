// Checks the write tests run after every scenario: the file read back by the
// engine equals mdb-export's reading; every index holds exactly one correctly
// encoded entry per row, in order, with exact page encodings and node
// entries; data pages keep their slot and free-space invariants.
#pragma once

#include <gtest/gtest.h>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include "fixtures.h"
#include "format/index_page.h"
#include "format/storage.h"
#include "index/collation.h"
#include "index/index_key.h"
#include "index/index_write.h"

namespace jet::testing {

// Distinguishes the scratch files of test runs going on at the same time.
inline int processId() {
#ifdef _WIN32
    return ::_getpid();
#else
    return static_cast<int>(::getpid());
#endif
}

// Whether this read-only file really stops this process from writing: POSIX
// permissions do not stop root, nor does the read-only attribute when wine
// runs as root. Asking the system is the only sure way.
inline bool readOnlyStopsWrites(const std::filesystem::path& file) {
    return !std::fstream(file, std::ios::in | std::ios::out | std::ios::binary).is_open();
}

// Makes a file read-only (mode 0444 on POSIX, the read-only attribute on
// Windows).
inline void makeReadOnly(const std::filesystem::path& file) {
    namespace fs = std::filesystem;
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
}

// A private copy in a fresh temporary folder of a generated store variant
// or, for any other name, of a file of the shared folder.
class TempCopy {
  public:
    explicit TempCopy(const std::string& fixtureName, const std::string& from = "") {
        static int counter = 0;
        dir_ = std::filesystem::temp_directory_path() /
               ("jet-write-" + std::to_string(processId()) + "-" + std::to_string(++counter));
        std::filesystem::create_directories(dir_);
        path_ = (dir_ / std::filesystem::path(fixtureName).filename()).string();
        std::filesystem::copy_file(from.empty() ? databaseFile(fixtureName) : from, path_);
        // The shared fixtures are read-only and a copy keeps that (on Windows
        // even for an administrator).
        std::filesystem::permissions(
            path_, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                       std::filesystem::perms::group_read | std::filesystem::perms::others_read);
    }
    ~TempCopy() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(dir_, ec);
    }
    const std::string& path() const { return path_; }

  private:
    std::filesystem::path dir_;
    std::string path_;
};

// Whether a real index holds an entry for a row with these key values: an
// index that ignores nulls has none when every key column is null (Yes/No
// columns are never null).
inline bool indexHasEntry(const RealIndexDef& index, const std::vector<Value>& key) {
    if (!(index.flags & kIndexIgnoreNulls)) return true;
    for (const Value& v : key)
        if (!v.isNull()) return true;
    return false;
}

inline std::string runCommand(const std::string& cmd) {
    std::string out;
#ifdef _WIN32
    FILE* p = ::_popen(cmd.c_str(), "rb");
#else
    FILE* p = ::popen(cmd.c_str(), "r");
#endif
    if (!p) return out;
    char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
#ifdef _WIN32
    ::_pclose(p);
#else
    ::pclose(p);
#endif
    return out;
}

// mdbtools is the independent reader on Linux; a Windows build has none.
inline bool haveMdbExport() {
#ifdef _WIN32
    return false;
#else
    return std::system("mdb-export --version > /dev/null 2>&1") == 0;
#endif
}

inline std::vector<std::string> splitBy(const std::string& s, const std::string& sep) {
    std::vector<std::string> out;
    std::size_t from = 0;
    for (std::size_t at; (at = s.find(sep, from)) != std::string::npos; from = at + sep.size())
        out.push_back(s.substr(from, at - from));
    if (from < s.size()) out.push_back(s.substr(from));
    return out;
}

inline std::string numberText(double d) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.10g", d);
    return std::string(buf) == "-0" ? "0" : buf;
}

inline std::string civilDate(double d) {
    long long days = static_cast<long long>(std::floor(d));
    long long secs = std::llround((d - std::floor(d)) * 86400.0);
    if (secs >= 86400) secs -= 86400, ++days;
    long long z = days - 25569 + 719468;
    long long era = (z >= 0 ? z : z - 146096) / 146097;
    long long doe = z - era * 146097;
    long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long long mp = (5 * doy + 2) / 153;
    long long day = doy - (153 * mp + 2) / 5 + 1;
    long long month = mp < 10 ? mp + 3 : mp - 9;
    long long year = yoe + era * 400 + (month <= 2);
    char buf[160];
    std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld", year, month, day,
                  secs / 3600, secs / 60 % 60, secs % 60);
    return buf;
}

// One cell as both readers can say it (mdb-export prints empty text as
// NULL; numbers compared at 10 significant digits).
inline std::string cellText(const Value& v) {
    if (v.isNull()) return "";
    if (auto* b = std::get_if<bool>(&v.v)) return *b ? "1" : "0";
    if (auto* i = std::get_if<std::int64_t>(&v.v)) return numberText(static_cast<double>(*i));
    if (auto* d = std::get_if<double>(&v.v)) return numberText(*d);
    if (auto* c = std::get_if<Currency>(&v.v)) return numberText(c->scaled / 10000.0);
    if (auto* t = std::get_if<DateTime>(&v.v)) return civilDate(t->days);
    if (auto* s = std::get_if<std::u16string>(&v.v)) return utf16ToUtf8(*s);
    if (auto* d = std::get_if<Decimal>(&v.v)) return d->text;
    return "(bytes)";
}

inline std::string exportCell(const ColumnDef& c, const std::string& cell) {
    if (cell.empty()) return "";
    switch (c.column.type) {
        case ColumnType::Byte:
        case ColumnType::Integer:
        case ColumnType::Long:
        case ColumnType::Currency:
        case ColumnType::Single:
        case ColumnType::Double:
            return numberText(std::strtod(cell.c_str(), nullptr));
        case ColumnType::Binary:
        case ColumnType::Ole:
        case ColumnType::Guid:
            return "(bytes)";
        default:
            return cell;
    }
}

// A cell of ours as mdb-export shows it: an empty Binary or OLE value looks
// like NULL, and so does a Binary value that starts with a zero byte (it is
// printed as a C string).
inline std::string engineCell(const ColumnDef& c, const Value& v) {
    if (auto* b = std::get_if<Bytes>(&v.v)) {
        if (b->empty() && (c.column.type == ColumnType::Binary || c.column.type == ColumnType::Ole))
            return "";
        if (c.column.type == ColumnType::Binary && b->front() == 0) return "";
    }
    return cellText(v);
}

// Rows of a table as the engine reads them, as sorted cell texts.
inline std::vector<std::vector<std::string>> engineRows(Storage& s, const TableDef& def) {
    std::vector<int> all(def.columns.size());
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int>(i);
    std::vector<std::vector<std::string>> rows;
    s.scan(def, all, [&](RowId, std::vector<Value>& r) {
        std::vector<std::string> cells;
        for (std::size_t i = 0; i < r.size(); ++i)
            cells.push_back(engineCell(def.columns[i], r[i]));
        rows.push_back(std::move(cells));
        return true;
    });
    std::sort(rows.begin(), rows.end());
    return rows;
}

inline void expectSameAsMdbExport(const std::string& path, const std::string& table) {
    SCOPED_TRACE("mdb-export " + table);
    if (!haveMdbExport()) GTEST_SKIP() << "mdb-export not installed";
    auto s = Storage::open(path, false);
    const TableDef& def = s->tableDef(table);
    auto mine = engineRows(*s, def);
    const std::string colSep = "~|\x01~", rowSep = "~#\x01~\n";
    std::string out = runCommand("mdb-export -Q -d '" + colSep + "' -R '" + rowSep +
                                 "' -D '%Y-%m-%d %H:%M:%S' -T '%Y-%m-%d %H:%M:%S' '" + path +
                                 "' '" + table + "' 2>/dev/null");
    auto lines = splitBy(out, rowSep);
    ASSERT_FALSE(lines.empty());
    auto header = splitBy(lines[0], colSep);
    ASSERT_EQ(header.size(), def.columns.size());
    std::vector<std::vector<std::string>> theirs;
    for (std::size_t r = 1; r < lines.size(); ++r) {
        auto cells = splitBy(lines[r], colSep);
        cells.resize(header.size());
        std::vector<std::string> row(def.columns.size());
        for (std::size_t i = 0; i < header.size(); ++i) {
            const int at = def.columnIndex(header[i]);
            row[at] = exportCell(def.columns[at], cells[i]);
        }
        theirs.push_back(std::move(row));
    }
    std::sort(theirs.begin(), theirs.end());
    ASSERT_EQ(mine.size(), theirs.size());
    for (std::size_t r = 0; r < mine.size(); ++r) ASSERT_EQ(mine[r], theirs[r]) << "row " << r;
}

// Every real index: one entry per live row (rows with all key columns null
// left out where the index ignores nulls) with the key rebuilt from the
// row, strictly ordered along the leaves; every page's bytes re-encode to
// themselves; every node entry equals the last entry below its child.
inline void expectIndexesExact(const std::string& path, const std::string& table) {
    SCOPED_TRACE("indexes of " + table);
    auto s = Storage::open(path, false);
    const TableDef& def = s->tableDef(table);
    const IndexPageFormat& ipf = IndexPageFormat::forJet(s->format().version);
    const SortOrder order = sortOrderForJet(s->format().version);
    auto pages = pagerSource(s->pager());
    for (const RealIndexDef& ri : def.realIndexes) {
        SCOPED_TRACE("real index " + std::to_string(ri.number));
        std::vector<int> pos;
        std::vector<KeyColumn> kc;
        for (std::size_t i = 0; i < ri.columnNumbers.size(); ++i) {
            const ColumnDef* c = def.columnByNumber(ri.columnNumbers[i]);
            ASSERT_NE(c, nullptr);
            pos.push_back(static_cast<int>(c - def.columns.data()));
            kc.push_back(KeyColumn{c->column.type, !ri.ascending[i],
                                   c->column.type == ColumnType::Numeric ? c->scale : -1});
        }
        std::vector<std::pair<std::string, RowId>> expected;
        s->scan(def, pos, [&](RowId id, std::vector<Value>& v) {
            if (indexHasEntry(ri, v)) expected.emplace_back(indexKey(v, kc, order), id);
            return true;
        });
        std::sort(expected.begin(), expected.end());
        std::vector<std::pair<std::string, RowId>> actual;
        for (const IndexEntry& e : readIndex(pages, ri.rootPage, ipf))
            actual.emplace_back(e.key, e.row);
        ASSERT_EQ(actual.size(), expected.size());
        ASSERT_TRUE(actual == expected) << "index entries differ from the rows' keys";

        const auto owned = s->usageMapPages(ri.usageMap);
        const std::set<std::uint32_t> inMap(owned.begin(), owned.end());
        std::function<IndexEntry(std::uint32_t, int)> walk = [&](std::uint32_t n,
                                                                 int depth) -> IndexEntry {
            EXPECT_LT(depth, 10);
            ByteView bytes = s->pager().page(n);
            IndexPage p = parseIndexPage(bytes, n, ipf);
            EXPECT_TRUE(n == ri.rootPage || inMap.count(n))
                << "index page " << n << " not in its map";
            auto again = encodeIndexPage(p, bytes, ipf);
            EXPECT_TRUE(std::equal(again.begin(), again.end(), bytes.data()))
                << "page " << n << " not canonical";
            if (p.leaf) return p.entries.empty() ? IndexEntry{} : p.entries.back();
            IndexEntry last{};
            for (const IndexEntry& e : p.entries) {
                last = walk(e.child, depth + 1);
                EXPECT_EQ(last.key, e.key)
                    << "node " << n << " entry differs from its child's last";
                EXPECT_EQ(last.row, e.row);
            }
            if (p.tailPage) last = walk(p.tailPage, depth + 1);
            return last;
        };
        walk(ri.rootPage, 0);
    }
}

// Data pages of a table: rows back to back in slot order, exact free space.
inline void expectDataPagesSound(const std::string& path, const std::string& table) {
    SCOPED_TRACE("data pages of " + table);
    auto s = Storage::open(path, false);
    const Format& f = s->format();
    const TableDef& def = s->tableDef(table);
    for (std::uint32_t n : s->usageMapPages(def.ownedMap)) {
        ByteView p = s->pager().page(n);
        if (p.u8(0) != kPageData || p.u32(f.dataOwner) != def.tdefPage) continue;
        const std::size_t count = p.u16(f.dataRowCount);
        std::size_t prev = p.size();
        for (std::size_t k = 0; k < count; ++k) {
            const std::size_t st = p.u16(f.dataRowTable + 2 * k) & 0x1FFF;
            ASSERT_LE(st, prev) << "page " << n << " slot " << k;
            prev = st;
        }
        ASSERT_EQ(p.u16(f.dataFreeSpace), prev - (f.dataRowTable + 2 * count)) << "page " << n;
    }
}

inline void expectFileSound(const std::string& path, const std::string& table) {
    expectDataPagesSound(path, table);
    expectIndexesExact(path, table);
    expectSameAsMdbExport(path, table);
}

}  // namespace jet::testing
