// Cross-reader check: every row of every user table, as decoded by the
// storage layer, must equal what mdbtools' mdb-export prints for the same
// file. Both sides are brought to one canonical text per cell: numbers with
// 10 significant digits (Single: 6, mdb-export prints 8), dates as
// "YYYY-MM-DD hh:mm:ss" (those before 1899-12-30 only as such, which is all
// mdb-export can say), bytes as upper-case hex, empty text as NULL (a
// known mdb-export fault). Rows are compared as sorted lists because
// mdb-export visits moved rows where their data lies.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "fixtures.h"
#include "format/storage.h"

namespace jet {
namespace {

// Separators no fixture value contains (testUnicodeComp holds every control
// character).
const std::string kColSep = "~|\x01~";
const std::string kRowSep = "~#\x01~\n";

std::string shellQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string run(const std::string& cmd) {
    std::string out;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    ::pclose(p);
    return out;
}

bool haveMdbTools() { return std::system("mdb-export --version > /dev/null 2>&1") == 0; }

std::vector<std::string> split(const std::string& s, const std::string& sep) {
    std::vector<std::string> out;
    std::size_t from = 0;
    for (std::size_t at; (at = s.find(sep, from)) != std::string::npos; from = at + sep.size())
        out.push_back(s.substr(from, at - from));
    if (from < s.size()) out.push_back(s.substr(from));
    return out;
}

std::string number(double d, bool single) {
    char buf[64];
    std::snprintf(buf, sizeof buf, single ? "%.6g" : "%.10g", d);
    return std::string(buf) == "-0" ? "0" : buf;
}

// Days since 1899-12-30 as Access shows them; before the base date the
// fraction counts forward from the (truncated) day.
std::string dateText(double d) {
    double whole = std::trunc(d);
    long long days = static_cast<long long>(whole);
    long long secs = std::llround(std::fabs(d - whole) * 86400.0);
    if (secs >= 86400) {
        secs -= 86400;
        days += 1;
    }
    long long z = days - 25569 + 719468;  // days from 0000-03-01
    long long era = (z >= 0 ? z : z - 146096) / 146097;
    long long doe = z - era * 146097;
    long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long long mp = (5 * doy + 2) / 153;
    long long day = doy - (153 * mp + 2) / 5 + 1;
    long long month = mp < 10 ? mp + 3 : mp - 9;
    long long year = yoe + era * 400 + (month <= 2);
    char buf[128];
    std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld", year, month, day,
                  secs / 3600, secs / 60 % 60, secs % 60);
    return buf;
}

std::string hex(const std::uint8_t* p, std::size_t n) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
    return out;
}

// mdb-export prints every date before 1899-12-30 as this impossible date.
const std::string kBeforeBase = "(before 1899-12-30)";

// mdb-export's own limits: it ends text at a NUL character, and it prints
// the five bytes that code page 1252 leaves undefined as '?' (we keep them as
// the C1 controls, as Windows does).
std::string asMdbToolsShows(std::u16string s, bool jet3) {
    s = s.substr(0, s.find(u'\0'));
    if (jet3)
        for (char16_t& c : s)
            if (c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D) c = u'?';
    return utf16ToUtf8(s);
}

// GUIDs: mdb-export prints the braced text form; compare hex digits only.
std::string guidDigits(const std::string& text) {
    std::string out;
    for (char c : text)
        if (std::isxdigit(static_cast<unsigned char>(c))) out += static_cast<char>(std::toupper(c));
    return out;
}

bool isNumeric(ColumnType t) {
    switch (t) {
        case ColumnType::Byte:
        case ColumnType::Integer:
        case ColumnType::Long:
        case ColumnType::Currency:
        case ColumnType::Single:
        case ColumnType::Double:
        case ColumnType::Numeric:
            return true;
        default:
            return false;
    }
}

std::string ours(const ColumnDef& c, const Value& v, bool jet3) {
    const bool single = c.column.type == ColumnType::Single;
    if (v.isNull()) return "";
    if (auto* b = std::get_if<bool>(&v.v)) return *b ? "1" : "0";
    if (auto* i = std::get_if<std::int64_t>(&v.v)) return number(static_cast<double>(*i), single);
    if (auto* d = std::get_if<double>(&v.v)) return number(*d, single);
    if (auto* m = std::get_if<Currency>(&v.v)) return number(m->scaled / 10000.0, false);
    if (auto* t = std::get_if<DateTime>(&v.v)) return t->days < 0 ? kBeforeBase : dateText(t->days);
    if (auto* s = std::get_if<std::u16string>(&v.v)) return asMdbToolsShows(*s, jet3);
    if (auto* x = std::get_if<Decimal>(&v.v))
        return number(std::strtod(x->text.c_str(), nullptr), false);
    const Bytes& b = std::get<Bytes>(v.v);
    if (c.column.type == ColumnType::Guid) {
        ByteView g(b.data(), b.size());
        char buf[40];
        std::snprintf(buf, sizeof buf, "%08X%04X%04X", g.u32(0), g.u16(4), g.u16(6));
        return buf + hex(b.data() + 8, 8);
    }
    return hex(b.data(), b.size());
}

std::string theirs(const ColumnDef& c, const std::string& cell) {
    if (cell.empty()) return "";
    if (c.column.type == ColumnType::Boolean) return cell;
    if (c.column.type == ColumnType::DateTime && cell == "1900-01-00 00:00:00") return kBeforeBase;
    if (isNumeric(c.column.type))
        return number(std::strtod(cell.c_str(), nullptr), c.column.type == ColumnType::Single);
    if (c.column.type == ColumnType::Guid) {
        std::string text;
        for (std::size_t i = 0; i + 1 < cell.size(); i += 2)
            text += static_cast<char>(std::stoi(cell.substr(i, 2), nullptr, 16));
        return guidDigits(text);
    }
    return cell;
}

void compareFile(const std::string& path) {
    SCOPED_TRACE(path);
    auto db = Storage::open(path, false);
    auto listed = split(run("mdb-tables -1 " + shellQuote(path)), "\n");
    std::set<std::string> theirTables(listed.begin(), listed.end());
    theirTables.erase("");
    auto names = db->tableNames();
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), theirTables);

    for (const auto& name : names) {
        SCOPED_TRACE(name);
        const TableDef& def = db->tableDef(name);
        std::vector<int> all(def.columns.size());
        for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int>(i);
        std::vector<std::vector<std::string>> mine;
        db->scan(def, all, [&](RowId, std::vector<Value>& row) {
            std::vector<std::string> cells;
            for (std::size_t i = 0; i < row.size(); ++i)
                cells.push_back(ours(def.columns[i], row[i], db->format().version == 3));
            mine.push_back(std::move(cells));
            return true;
        });

        std::string out = run("mdb-export -Q -d '" + kColSep + "' -R '" + kRowSep +
                              "' -b hex -D '%Y-%m-%d %H:%M:%S' -T '%Y-%m-%d %H:%M:%S' " +
                              shellQuote(path) + " " + shellQuote(name) + " 2>/dev/null");
        auto lines = split(out, kRowSep);
        ASSERT_FALSE(lines.empty());
        auto header = split(lines[0], kColSep);
        ASSERT_EQ(header.size(), def.columns.size());
        std::vector<int> where(header.size());
        for (std::size_t i = 0; i < header.size(); ++i) where[i] = def.columnIndex(header[i]);
        std::vector<std::vector<std::string>> expected;
        for (std::size_t r = 1; r < lines.size(); ++r) {
            auto cells = split(lines[r], kColSep);
            cells.resize(header.size());
            std::vector<std::string> row(def.columns.size());
            for (std::size_t i = 0; i < header.size(); ++i)
                row[where[i]] = theirs(def.columns[where[i]], cells[i]);
            expected.push_back(std::move(row));
        }
        std::sort(mine.begin(), mine.end());
        std::sort(expected.begin(), expected.end());
        ASSERT_EQ(mine.size(), expected.size());
        for (std::size_t r = 0; r < mine.size(); ++r) {
            for (std::size_t i = 0; i < def.columns.size(); ++i) {
                if (mine[r][i] != expected[r][i]) {
                    ADD_FAILURE() << "row " << r << " column " << def.columns[i].column.name
                                  << ": ours [" << mine[r][i] << "] mdb-export [" << expected[r][i]
                                  << "]";
                    return;
                }
            }
        }
    }
}

class ExportCompare : public ::testing::TestWithParam<std::string> {};

TEST_P(ExportCompare, RowsEqualMdbExport) {
    JET_REQUIRE_FIXTURES();
    if (!haveMdbTools()) GTEST_SKIP() << "mdb-export is not installed";
    compareFile(testing::fixture(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, ExportCompare,
    ::testing::Values("store.mdb", "store-v2003.mdb", "store-single.mdb", "store-extra-columns.mdb",
                      "store-empty.mdb", "store-type-mismatch.mdb", "access/testV1997.mdb",
                      "access/testV2000.mdb", "access/empty.mdb", "access/empty2003.mdb",
                      "access/indexTestV2000.mdb", "access/compIndexTestV2000.mdb",
                      "access/bigIndexTestV2000.mdb", "access/overflowTestV2000.mdb",
                      "access/delTestV2000.mdb", "access/fixedTextTestV2000.mdb",
                      "access/testUnicodeCompV2003.mdb", "access/testIndexCodesV1997.mdb",
                      "access/testIndexCodesV2000.mdb", "access-mdbreader/V1997-test.mdb",
                      "access-mdbreader/V2000-test.mdb", "access-mdbreader/V2003-test.mdb",
                      "access-mdbreader/V2000-numeric.mdb"),
    [](const ::testing::TestParamInfo<std::string>& info) {
        std::string n;
        for (char c : info.param) n += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return n;
    });

}  // namespace
}  // namespace jet
