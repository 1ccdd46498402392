// jetsql's output against mdb-export (an independent reader) for whole
// tables, and its refusals. Runs the jetsql built beside this test binary.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "index_property_files.h"
#include "store_files.h"

namespace {

namespace fs = std::filesystem;

struct Output {
    int status = -1;
    std::string out;
};

Output capture(const std::string& cmd) {
    Output r;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    r.status = pclose(p);
    return r;
}

std::string quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::vector<std::vector<std::string>> rows(const std::string& text) {
    std::vector<std::vector<std::string>> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::size_t start = 0;
        for (;;) {
            const std::size_t tab = line.find('\t', start);
            cells.push_back(line.substr(start, tab - start));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        out.push_back(std::move(cells));
    }
    return out;
}

// Equal as mdb-export and jetsql print them: numbers by value (mdb-export
// prints fewer digits), and NULL / empty text alike (mdb-export prints an
// empty string as NULL).
bool sameCell(const std::string& mdb, const std::string& ours) {
    if (mdb == ours) return true;
    if (mdb.empty() && (ours == "\\N" || ours.empty())) return true;
    char* e1 = nullptr;
    char* e2 = nullptr;
    const double a = std::strtod(mdb.c_str(), &e1);
    const double b = std::strtod(ours.c_str(), &e2);
    if (mdb.empty() || *e1 || *e2) return false;
    return a == b || std::abs(a - b) <= 1e-12 * std::abs(b);
}

class Jetsql : public ::testing::Test {
  protected:
    void SetUp() override {
        jetsql_ = fs::read_symlink("/proc/self/exe").parent_path() / "jetsql";
        if (!fs::exists(jetsql_)) GTEST_SKIP() << "jetsql not built";
        file_ = jet::testing::storeFile("store.mdb");
        if (std::system("command -v mdb-export > /dev/null") != 0) GTEST_SKIP() << "no mdbtools";
    }
    Output jetsql(const std::string& args) {
        return capture(quote(jetsql_.string()) + " " + quote(file_.string()) + " " + args +
                       " 2>&1");
    }
    fs::path jetsql_, file_;
};

TEST_F(Jetsql, WholeTablesMatchMdbExport) {
    for (const std::string table :
         {"Cabecera Tickets de Venta", "Tipos de Impuestos", "proveedores"}) {
        const Output mdb = capture("mdb-export -Q -d '\t' -T '%Y-%m-%d %H:%M:%S' " +
                                   quote(file_.string()) + " " + quote(table));
        const Output ours = jetsql(quote("select * from [" + table + "]"));
        ASSERT_EQ(ours.status, 0) << ours.out;
        const auto a = rows(mdb.out), b = rows(ours.out);
        ASSERT_EQ(a.size(), b.size()) << table;
        ASSERT_FALSE(a.empty());
        EXPECT_EQ(a[0], b[0]) << table;  // header: the table's column names
        int mismatches = 0;
        for (std::size_t i = 1; i < a.size() && mismatches < 5; ++i) {
            ASSERT_EQ(a[i].size(), b[i].size()) << table << " row " << i;
            for (std::size_t c = 0; c < a[i].size(); ++c)
                if (!sameCell(a[i][c], b[i][c]) && ++mismatches <= 5)
                    ADD_FAILURE() << table << " row " << i << " column " << a[0][c]
                                  << ": mdb-export '" << a[i][c] << "' jetsql '" << b[i][c] << "'";
        }
    }
}

TEST_F(Jetsql, FormatsCatalogAndErrors) {
    const Output t = jetsql("--tables");
    EXPECT_EQ(t.status, 0);
    EXPECT_EQ(t.out, "Articulos\nTipos de Impuestos\nproveedores\nCabecera Tickets de Venta\n");
    const Output c = jetsql("--columns " + quote("tipos de impuestos"));
    EXPECT_EQ(c.out,
              "name\ttype\tsize\nCodigo\tLong Integer\t4\nNombre\tText\t40\nIVA\tDouble\t8\n"
              "Recargo\tDouble\t8\nObservaciones\tMemo\t0\n");
    // 17 significant digits and NULL as \N.
    const Output r = jetsql(
        quote("select Recargo, IVA from [Tipos de Impuestos] where Codigo >= 2 order by Codigo"));
    EXPECT_EQ(r.out, "Recargo\tIVA\n1.3999999999999999\t10\n0.5\t4\n0\t0\n\\N\t\\N\n");
    const Output d =
        jetsql(quote("select Fecha from [Cabecera Tickets de Venta] where Fecha > #12/31/2024#"));
    EXPECT_EQ(d.out, "Fecha\n2024-12-31 23:59:59\n");
    const Output bad = jetsql(quote("select * from articulos where"));
    EXPECT_NE(bad.status, 0);
    EXPECT_NE(bad.out.find("position 30"), std::string::npos) << bad.out;
    const Output missing = capture(quote(jetsql_.string()) + " /nonexistent.mdb --tables 2>&1");
    EXPECT_NE(missing.status, 0);
    EXPECT_FALSE(missing.out.empty());
}

TEST_F(Jetsql, PrintsCurrencyAndDecimalAtTheirLimits) {
    file_ = jet::testing::indexPropertyFile(4);
    const Output r = jetsql(quote("select Cur, D28s10 from Limits where Id <= 3 order by Id"));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out,
              "Cur\tD28s10\n"
              "922337203685477.5807\t999999999999999999.9999999999\n"
              "-922337203685477.5808\t-999999999999999999.9999999999\n"
              "0.0000\t0.0000000000\n"
              "-0.0001\t0.0000000001\n");
}

}  // namespace

namespace {

TEST_F(Jetsql, IndexesAndCurrencyLimits) {
    const Output ix = jetsql("--indexes Articulos");
    ASSERT_EQ(ix.status, 0) << ix.out;
    EXPECT_NE(ix.out.find("name\tcolumns\tproperties\n"), std::string::npos) << ix.out;
    EXPECT_NE(ix.out.find("PrimaryKey\tReferencia ASC\tprimary key, unique, required\n"),
              std::string::npos)
        << ix.out;
    EXPECT_NE(ix.out.find("Descripcion\tDescripcion ASC\t-\n"), std::string::npos) << ix.out;

    // The currency limits print as their exact decimal text.
    const fs::path money =
        fs::temp_directory_path() / ("jetsql-money-" + std::to_string(getpid()) + ".mdb");
    {
        jet::DatabaseBuilder b;
        const int t = b.addTable(jet::TableDesign{"Money", {{"c", jet::ColumnType::Currency}}, {}});
        b.insert(t, {jet::Value(jet::Currency{INT64_MIN})});
        b.insert(t, {jet::Value(jet::Currency{INT64_MAX})});
        b.insert(t, {jet::Value(jet::Currency{-5})});
        b.writeFile(money.string());
    }
    const Output m = capture(quote(jetsql_.string()) + " " + quote(money.string()) +
                             " 'select c from Money' 2>&1");
    fs::remove(money);
    EXPECT_EQ(m.out, "c\n-922337203685477.5808\n922337203685477.5807\n-0.0005\n");
}

}  // namespace
