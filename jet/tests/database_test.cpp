// The tool's statements through jet::Database on generated store databases.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "format/index_page.h"
#include "format/storage.h"
#include "index/collation.h"
#include "jet/jet.h"
#include "shared_fixtures.h"
#include "sql/eval.h"
#include "sql/parser.h"
#include "sql/select.h"
#include "store_files.h"

namespace jet {
namespace {

namespace fs = std::filesystem;

using testing::storeFile;
using testing::storeOptions;

const fs::path kFixtures = testing::sharedFixturesDir();

std::string fixture(const std::string& name) { return (kFixtures / name).string(); }

// A private copy of a generated store variant.
class TempCopy {
  public:
    explicit TempCopy(const std::string& name) {
        dir_ = fs::temp_directory_path() /
               ("jet_db_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "_" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
        fs::create_directories(dir_);
        path_ = dir_ / name;
        fs::copy_file(storeFile(name), path_, fs::copy_options::overwrite_existing);
    }
    ~TempCopy() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    std::string path() const { return path_.string(); }

  private:
    fs::path dir_, path_;
};

std::string searchStatement(const std::string& text) {
    std::string quoted;
    for (char c : text) {
        quoted += c;
        if (c == '\'') quoted += '\'';
    }
    return "select referencia,descripcion,[Tipo Impuesto] from articulos where descripcion "
           "like('%" +
           quoted + "%') \r\n order by descripcion";
}

const char* kBase =
    "select referencia,descripcion,[Tipo Impuesto] from articulos order by descripcion";

std::string utf8(const Value& v) {
    if (v.isNull()) return "<NULL>";
    return utf16ToUtf8(std::get<std::u16string>(v.v));
}

// All rows of a query, each as its column values.
std::vector<std::vector<Value>> all(Database& db, const std::string& sql,
                                    const std::vector<Value>& p = {}) {
    auto c = db.query(sql, p);
    std::vector<std::vector<Value>> rows;
    while (c->next()) rows.push_back(c->row());
    return rows;
}

// Letters in upper case, as far as the store's texts need (Latin-1).
std::u16string upper(std::u16string s) {
    for (char16_t& c : s)
        if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
            c = char16_t(c - 0x20);
    return s;
}

// Every description that is not NULL, in upper case, read by a plain select.
std::vector<std::u16string> described(Database& db) {
    std::vector<std::u16string> out;
    for (const auto& r : all(db, "select Descripcion from Articulos"))
        if (!r[0].isNull()) out.push_back(upper(std::get<std::u16string>(r[0].v)));
    return out;
}

class StoreDb : public ::testing::Test {
  protected:
    void SetUp() override { db_ = Database::open(storeFile("store.mdb"), OpenMode::ReadOnly); }
    std::unique_ptr<Database> db_;
};

TEST_F(StoreDb, BaseStatementListsNullsFirstInAccessOrder) {
    auto c = db_->query(kBase);
    ASSERT_EQ(c->columns().size(), 3u);
    EXPECT_EQ(c->columns()[0].name, "referencia");
    EXPECT_EQ(c->columns()[0].type, ColumnType::Text);
    EXPECT_EQ(c->columns()[0].size, 25);
    EXPECT_EQ(c->columns()[2].name, "Tipo Impuesto");
    EXPECT_EQ(c->columns()[2].type, ColumnType::Long);
    std::vector<std::vector<Value>> rows;
    while (c->next()) rows.push_back(c->row());
    ASSERT_EQ(rows.size(), std::size_t(storeOptions().items));
    EXPECT_TRUE(rows[0][1].isNull());
    EXPECT_TRUE(rows[1][1].isNull());
    EXPECT_FALSE(rows[2][1].isNull());
    // Non-decreasing in the database's own key order.
    for (std::size_t i = 3; i < rows.size(); ++i)
        EXPECT_LE(compareText(std::get<std::u16string>(rows[i - 1][1].v),
                              std::get<std::u16string>(rows[i][1].v), SortOrder::General4),
                  0)
            << utf8(rows[i - 1][1]) << " / " << utf8(rows[i][1]);
}

// The index walk and the scan-and-sort path must agree on Access's order.
// ORDER BY descripcion, referencia cannot use the one-column index.
TEST_F(StoreDb, IndexOrderEqualsSortedOrder) {
    auto viaIndex = all(*db_, kBase);
    auto viaSort =
        all(*db_, "select referencia,descripcion from articulos order by descripcion, referencia");
    ASSERT_EQ(viaIndex.size(), viaSort.size());
    // Equal keys ("Arena Fina" and "ARENA FINA") may come in either order.
    auto sameKey = [](const Value& a, const Value& b) {
        if (a.isNull() || b.isNull()) return a.isNull() && b.isNull();
        return compareText(std::get<std::u16string>(a.v), std::get<std::u16string>(b.v),
                           SortOrder::General4) == 0;
    };
    for (std::size_t i = 0; i < viaIndex.size(); ++i)
        EXPECT_TRUE(sameKey(viaIndex[i][1], viaSort[i][1])) << i << " " << utf8(viaIndex[i][1]);
    // Descending is the exact reverse of the description order.
    auto desc = all(*db_, "select descripcion from articulos order by descripcion desc");
    ASSERT_EQ(desc.size(), viaIndex.size());
    for (std::size_t i = 0; i < desc.size(); ++i)
        EXPECT_EQ(utf8(desc[i][0]), utf8(viaIndex[viaIndex.size() - 1 - i][1])) << i;
    // Ties sorted by the second key on the sort path.
    auto dup =
        all(*db_,
            "select referencia from articulos where descripcion = 'saco escombro rafia 90x60' "
            "order by descripcion, referencia desc");
    ASSERT_EQ(dup.size(), 3u);
    EXPECT_EQ(utf8(dup[0][0]), "T00001");
    EXPECT_EQ(utf8(dup[1][0]), "D00002");
    EXPECT_EQ(utf8(dup[2][0]), "D00001");
}

TEST_F(StoreDb, SearchesOfTheTool) {
    auto refs = [&](const std::string& text) {
        std::vector<std::string> out;
        for (auto& r : all(*db_, searchStatement(text))) out.push_back(utf8(r[0]));
        return out;
    };
    EXPECT_EQ(refs("D'ARCO"), (std::vector<std::string>{"E00001", "E00002"}));
    const auto ab = refs("A_B");
    EXPECT_NE(std::find(ab.begin(), ab.end(), "E00004"), ab.end());
    EXPECT_NE(std::find(ab.begin(), ab.end(), "E00005"), ab.end());
    // An empty text leaves "%%": every row but the NULL descriptions.
    EXPECT_EQ(refs("").size(), described(*db_).size());
    // '%' keeps its meaning; [%] is a literal percent sign.
    EXPECT_GT(refs("10%").size(), 1u);
    EXPECT_EQ(all(*db_, "select referencia from articulos where descripcion like '%10[%]%'").size(),
              1u);
    const auto mixed = refs("CEMENTO");
    EXPECT_NE(std::find(mixed.begin(), mixed.end(), "E00006"),
              mixed.end());  // "Cemento cola flexible"
    EXPECT_EQ(refs("CUÑA"), (std::vector<std::string>{"E00015", "E00016"}));

    // Plain substrings, letter case ignored, accents significant, counted
    // over the stored descriptions.
    const auto descriptions = described(*db_);
    for (const char* text :
         {"CEMENTO", "TORNILLO", "AZULEJO", "ARENA", "TUBO", "PVC", "BLANCO", "M8X40", "25KG",
          "D'ARCO", "CONECTOR", "CAÑERÍA", "ÁNGULO", "ANGULO", "CUÑA", "XYZXYZ"}) {
        const std::u16string wanted = upper(utf8ToUtf16(text));
        std::size_t n = 0;
        for (const std::u16string& d : descriptions) n += d.find(wanted) != std::u16string::npos;
        EXPECT_EQ(refs(text).size(), n) << text;
    }
}

TEST_F(StoreDb, SearchResultIsInDescriptionOrder) {
    auto rows = all(*db_, searchStatement("TORNILLO"));
    ASSERT_GT(rows.size(), 1u);
    // The same rows, in the same order, as the base statement filtered by hand.
    std::vector<Value> expected;
    for (auto& r : all(*db_, kBase))
        if (!r[1].isNull()) {
            std::string s = utf8(r[1]);
            for (char& ch : s) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            if (s.find("TORNILLO") != std::string::npos) expected.push_back(r[0]);
        }
    ASSERT_EQ(expected.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i][0], expected[i]);
}

// Past the first screenfuls a large index-ordered result is finished by one
// scan: the ticket table (3000 rows) takes that path, and must give the
// same rows in the same order as reading each row by its id would.
TEST_F(StoreDb, LargeIndexOrderedResultsKeepOrderAndFilter) {
    auto byDate =
        all(*db_, "select Fecha, Serie, Numero from [Cabecera Tickets de Venta] order by Fecha");
    const std::size_t tickets = std::size_t(storeOptions().tickets);
    ASSERT_EQ(byDate.size(), tickets);
    auto sorted = all(*db_,
                      "select Fecha, Serie, Numero from [Cabecera Tickets de Venta] order by "
                      "Fecha, Serie, Numero");
    ASSERT_EQ(sorted.size(), tickets);
    std::map<std::pair<std::string, std::int64_t>, int> seen;
    for (std::size_t i = 0; i < byDate.size(); ++i) {
        EXPECT_EQ(byDate[i][0], sorted[i][0]) << i;
        if (i > 0) {
            EXPECT_LE(*sql::compareValues(byDate[i - 1][0], byDate[i][0], SortOrder::General4), 0);
        }
        ++seen[{utf8(byDate[i][1]), std::get<std::int64_t>(byDate[i][2].v)}];
    }
    EXPECT_EQ(seen.size(), tickets);  // every ticket once
    auto invoiced = all(
        *db_,
        "select Fecha, [Forma de Pago] from [Cabecera Tickets de Venta] where [Forma de Pago] = "
        "'facturado' order by Fecha");
    std::size_t facturados = 0;
    for (const auto& r : all(*db_, "select [Forma de Pago] from [Cabecera Tickets de Venta]"))
        facturados += r[0] == Value(std::u16string(u"Facturado"));
    ASSERT_GT(facturados, 1u);
    ASSERT_EQ(invoiced.size(), facturados);
    for (std::size_t i = 1; i < invoiced.size(); ++i)
        EXPECT_LE(*sql::compareValues(invoiced[i - 1][0], invoiced[i][0], SortOrder::General4), 0);
    auto late = all(*db_, "select Fecha from [Cabecera Tickets de Venta] order by Fecha desc");
    ASSERT_EQ(late.size(), tickets);
    EXPECT_EQ(late.front()[0], byDate.back()[0]);
    EXPECT_EQ(late.back()[0], byDate.front()[0]);
}

// The key pre-filter must not lose rows: each WHERE gives the same rows
// through the index walk (filtered by keys) as through the plain scan
// (ORDER BY two columns cannot use the index).
TEST_F(StoreDb, KeyFilterLosesNoRows) {
    auto count = [&](const std::string& where, const std::string& order) {
        const std::string base = "select referencia from articulos where " + where;
        const std::size_t viaIndex = all(*db_, base + " order by descripcion " + order).size();
        const std::size_t viaScan = all(*db_, base + " order by descripcion, referencia").size();
        EXPECT_EQ(viaIndex, viaScan) << where;
        return viaIndex;
    };
    const auto descriptions = described(*db_);
    auto containing = [&](const std::u16string& text) {
        return std::size_t(std::count_if(descriptions.begin(), descriptions.end(), [&](auto& d) {
            return d.find(text) != std::u16string::npos;
        }));
    };
    EXPECT_EQ(count("descripcion like '%TORNILLO%'", "desc"), containing(u"TORNILLO"));
    EXPECT_EQ(count("descripcion like '%cemento %'", ""),
              count("descripcion like '%CEMENTO %'", "desc"));
    EXPECT_GT(count("descripcion like '%ÁNGULO%' and descripcion like '%ACERO%'", ""), 0u);
    EXPECT_EQ(count("descripcion like '%ángulo%'", ""), containing(u"\u00C1NGULO"));
    EXPECT_EQ(count("descripcion like 'SACO ESCOMBRO RAFIA 90X60   '", ""), 0u);
    const auto sacks = std::count_if(descriptions.begin(), descriptions.end(), [](auto& d) {
        return d.starts_with(u"SACO") && d.ends_with(u"90X60");
    });
    EXPECT_GE(sacks, 3);  // SACO ESCOMBRO RAFIA 90X60 three times
    EXPECT_EQ(count("descripcion like 'SACO%90X60'", ""), std::size_t(sacks));
    EXPECT_EQ(count("descripcion like '%D''ARCO%' or referencia = 'A00001'", ""),
              containing(u"D'ARCO") + 1);
    EXPECT_EQ(count("descripcion like '%O-A%'", ""), count("descripcion like '%O[-]A%'", ""));
    EXPECT_EQ(count("not descripcion like '%O%'", ""), count("descripcion not like '%O%'", "desc"));
}

// Jet 3 files use the Access 97 order (and no key pre-filter).
TEST(Jet3, SearchAndOrder) {
    if (!fs::exists(fixture("access/testV1997.mdb"))) GTEST_SKIP() << "fixtures not present";
    auto db = Database::open(fixture("access/testV1997.mdb"), OpenMode::ReadOnly);
    EXPECT_EQ(db->jetVersion(), 3);
    auto rows = all(*db, "select A, C from Table1 where A like '%CD%' order by A");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(utf8(rows[0][0]), "abcdefg");
    auto ordered = all(*db, "select A from Table1 order by A desc");
    ASSERT_EQ(ordered.size(), 2u);
    EXPECT_EQ(utf8(ordered[0][0]), "abcdefg");
}

TEST_F(StoreDb, LookupListsAndParameters) {
    auto c = db_->query("select * from [Tipos de Impuestos] order by [Codigo]");
    ASSERT_EQ(c->columns().size(), 5u);
    EXPECT_EQ(c->columns()[1].name, "Nombre");
    ASSERT_TRUE(c->next());
    EXPECT_EQ(c->row()[0], Value(std::int64_t{1}));
    EXPECT_EQ(c->row()[1], Value(std::u16string(u"General")));
    auto prov = all(*db_, "select * from proveedores order by [Razon Social]");
    ASSERT_GT(prov.size(), 4u);
    auto p = all(*db_, "select codigo from proveedores where [Razon Social] = ? or codigo = ?",
                 {std::u16string(u"FERRETERÍA EL CRUCE"), std::int64_t{4}});
    ASSERT_EQ(p.size(), 2u);
    // A column named twice, and a name qualified by the table.
    auto twice = all(*db_,
                     "select codigo, [Tipos de Impuestos].nombre, Codigo from [tipos de impuestos] "
                     "where [TIPOS DE IMPUESTOS].[Codigo] = 3");
    ASSERT_EQ(twice.size(), 1u);
    EXPECT_EQ(twice[0][0], Value(std::int64_t{3}));
    EXPECT_EQ(twice[0][1], Value(std::u16string(u"Superreducido")));
    EXPECT_EQ(twice[0][2], Value(std::int64_t{3}));
    auto nulls = all(
        *db_, "select referencia from articulos where [Tipo Impuesto] is null order by referencia");
    ASSERT_EQ(nulls.size(), 3u);
    EXPECT_EQ(utf8(nulls[0][0]), "T00001");
    std::size_t otherRates = 0;  // NULL compares with nothing
    for (const auto& r : all(*db_, "select [Tipo Impuesto] from articulos"))
        otherRates += !r[0].isNull() && r[0] != Value(std::int64_t{1});
    EXPECT_GT(otherRates, 10u);
    EXPECT_EQ(all(*db_, "select referencia from articulos where [Tipo Impuesto] <> 1").size(),
              otherRates);
}

TEST_F(StoreDb, ErrorsHaveKinds) {
    auto kindOf = [&](const std::string& sql) {
        try {
            all(*db_, sql);
        } catch (const Error& e) {
            return e.kind();
        }
        return ErrorKind::Generic;
    };
    EXPECT_EQ(kindOf("select x from articulos"), ErrorKind::NotFound);
    EXPECT_EQ(kindOf("select referencia from nada"), ErrorKind::NotFound);
    EXPECT_EQ(kindOf("select otra.referencia from articulos"), ErrorKind::NotFound);
    EXPECT_EQ(kindOf("select referencia from articulos where"), ErrorKind::Syntax);
    EXPECT_EQ(kindOf("select referencia from articulos where descripcion = 1"),
              ErrorKind::Conversion);
    EXPECT_EQ(kindOf("update articulos set descripcion = 'x'"), ErrorKind::InvalidArgument);
    EXPECT_EQ(kindOf("select referencia from articulos where referencia = ?"),
              ErrorKind::InvalidArgument);
}

// Statements A, B and C of the ticket status change: the rows they select.
TEST(TicketUpdates, SelectTheRightRows) {
    TempCopy copy("store.mdb");
    auto storage = Storage::open(copy.path(), false);
    const std::string t = "[Cabecera Tickets de Venta]";
    auto statement = [&](const std::string& status, const std::string& from, const std::string& to,
                         bool c) {
        std::string s = "UPDATE " + t + " SET " + t + ".Documento = '', " + t +
                        ".[Forma de Pago] = '" + status + "'\r\n WHERE (((" + t + ".Fecha)>=#" +
                        from + "#)\r\n AND ((" + t + ".Fecha)<=#" + to;
        if (!c) return s + "#))";
        return s + "#)\r\n AND ((" + t + ".[Forma de Pago])<>'Facturado'))";
    };
    struct Range {
        const char *from, *to;
        double fromDay, toDay;
    };
    using testing::oleDay;
    const Range ranges[] = {
        {"3/5/2024", "4/12/2024", oleDay(2024, 3, 5), oleDay(2024, 4, 12)},
        {"6/14/2024", "6/14/2024", oleDay(2024, 6, 14), oleDay(2024, 6, 14)},
        {"1/1/2024", "12/31/2024", oleDay(2024, 1, 1), oleDay(2024, 12, 31)},
        {"4/12/2024", "3/5/2024", oleDay(2024, 4, 12), oleDay(2024, 3, 5)},
    };
    for (const auto& r : ranges) {
        const testing::TicketRange expected = testing::ticketRange(copy.path(), r.fromDay, r.toDay);
        auto a = sql::prepareUpdate(
            *storage,
            std::get<sql::UpdateStmt>(sql::parse(statement("Facturado", r.from, r.to, false))), {});
        auto b = sql::prepareUpdate(
            *storage,
            std::get<sql::UpdateStmt>(sql::parse(statement("Pendiente", r.from, r.to, false))), {});
        auto c = sql::prepareUpdate(
            *storage,
            std::get<sql::UpdateStmt>(sql::parse(statement("Pendiente", r.from, r.to, true))), {});
        EXPECT_EQ(a.rows.size(), std::size_t(expected.inRange)) << r.from;
        EXPECT_EQ(b.rows.size(), std::size_t(expected.inRange)) << r.from;
        EXPECT_EQ(c.rows.size(), std::size_t(expected.notInvoiced)) << r.from;
        ASSERT_EQ(c.changes.size(), 2u);
        EXPECT_EQ(c.changes[0].value, Value(std::u16string()));
        EXPECT_EQ(c.changes[1].value, Value(std::u16string(u"Pendiente")));
    }
    // With the writer in place, execute() applies the statement.
    auto db = Database::open(copy.path());
    EXPECT_EQ(db->execute(statement("Facturado", "3/5/2024", "4/12/2024", false)),
              testing::ticketRange(copy.path(), oleDay(2024, 3, 5), oleDay(2024, 4, 12)).inRange);
}

TEST(UpdateValues, ConvertedToTheColumnType) {
    auto storage = Storage::open(storeFile("store.mdb"), false);
    auto prep = [&](const std::string& set, const std::vector<Value>& p = {}) {
        return sql::prepareUpdate(
            *storage,
            std::get<sql::UpdateStmt>(
                sql::parse("update articulos set " + set + " where referencia = 'PRUEBA1'")),
            p);
    };
    auto u =
        prep("[PVP 1] = 12, [Tipo Impuesto] = 2.5, descripcion = ?", {std::u16string(u"NUEVA")});
    ASSERT_EQ(u.rows.size(), 1u);
    EXPECT_EQ(u.changes[0].value, Value(12.0));
    EXPECT_EQ(u.changes[1].value, Value(std::int64_t{2}));  // half to even
    EXPECT_EQ(u.changes[2].value, Value(std::u16string(u"NUEVA")));
    auto kindOf = [&](const std::string& set) {
        try {
            prep(set);
        } catch (const Error& e) {
            return e.kind();
        }
        return ErrorKind::Generic;
    };
    EXPECT_EQ(kindOf("[PVP 1] = 'doce'"), ErrorKind::Conversion);
    EXPECT_EQ(kindOf("referencia = '01234567890123456789012345'"), ErrorKind::InvalidArgument);
    EXPECT_EQ(kindOf("[Tipo Impuesto] = 3000000000"), ErrorKind::Arithmetic);
    EXPECT_EQ(kindOf("descripcion = referencia"), ErrorKind::NotSupported);
    EXPECT_EQ(kindOf("descripcion = 'a', descripcion = 'b'"), ErrorKind::InvalidArgument);
}

// Another program rewrites the file between two statements: the second
// statement must see the new content, not the definitions read before.
TEST(Freshness, StatementsSeeTheFileAsItIsNow) {
    TempCopy copy("store.mdb");
    auto db = Database::open(copy.path(), OpenMode::ReadOnly);
    const std::string sql = "select descripcion from articulos where referencia = 'L00001'";
    EXPECT_EQ(utf8(all(*db, sql).at(0)[0]).size(), 60u);
    EXPECT_EQ(db->table("Articulos").columns[1].size, 60);
    // Rewritten in place: only the pages say what changed.
    // (Written through a stream, not copy_file: MinGW's copy_file refuses to
    // overwrite a file that exists.)
    {
        std::ifstream in(storeFile("store-desc40.mdb"), std::ios::binary);
        std::ofstream out(copy.path(), std::ios::binary | std::ios::trunc);
        out << in.rdbuf();
        ASSERT_TRUE(out.good());
    }
    EXPECT_EQ(utf8(all(*db, sql).at(0)[0]).size(), 40u);
    EXPECT_EQ(db->table("Articulos").columns[1].size, 40);
}

}  // namespace
}  // namespace jet
