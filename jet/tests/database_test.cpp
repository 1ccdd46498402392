// The tool's statements through jet::Database on the store fixtures.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "collation.h"
#include "index_page.h"
#include "jet/jet.h"
#include "sql_parser.h"
#include "sql_select.h"
#include "storage.h"

namespace jet {
namespace {

namespace fs = std::filesystem;

const fs::path kFixtures = PRECIOS_FIXTURES_DIR;

std::string fixture(const std::string& name) { return (kFixtures / name).string(); }

// A private copy of a fixture: the shared files are never opened for writing.
class TempCopy {
public:
    explicit TempCopy(const std::string& name) {
        dir_ = fs::temp_directory_path() /
               ("jet_db_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                std::to_string(reinterpret_cast<std::uintptr_t>(this)));
        fs::create_directories(dir_);
        path_ = dir_ / name;
        fs::copy_file(kFixtures / name, path_, fs::copy_options::overwrite_existing);
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
    return "select referencia,descripcion,[Tipo Impuesto] from articulos where descripcion like('%" + quoted +
           "%') \r\n order by descripcion";
}

const char* kBase = "select referencia,descripcion,[Tipo Impuesto] from articulos order by descripcion";

std::string utf8(const Value& v) {
    if (v.isNull()) return "<NULL>";
    return utf16ToUtf8(std::get<std::u16string>(v.v));
}

// All rows of a query, each as its column values.
std::vector<std::vector<Value>> all(Database& db, const std::string& sql, const std::vector<Value>& p = {}) {
    auto c = db.query(sql, p);
    std::vector<std::vector<Value>> rows;
    while (c->next()) rows.push_back(c->row());
    return rows;
}

class StoreDb : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(fixture("store.mdb"))) GTEST_SKIP() << "fixtures not present";
        db_ = Database::open(fixture("store.mdb"), OpenMode::ReadOnly);
    }
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
    ASSERT_EQ(rows.size(), 600u);
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
    auto viaSort = all(*db_, "select referencia,descripcion from articulos order by descripcion, referencia");
    ASSERT_EQ(viaIndex.size(), viaSort.size());
    // Equal keys ("Arena Fina" and "ARENA FINA") may come in either order.
    auto sameKey = [](const Value& a, const Value& b) {
        if (a.isNull() || b.isNull()) return a.isNull() && b.isNull();
        return compareText(std::get<std::u16string>(a.v), std::get<std::u16string>(b.v), SortOrder::General4) == 0;
    };
    for (std::size_t i = 0; i < viaIndex.size(); ++i)
        EXPECT_TRUE(sameKey(viaIndex[i][1], viaSort[i][1])) << i << " " << utf8(viaIndex[i][1]);
    // Descending is the exact reverse of the description order.
    auto desc = all(*db_, "select descripcion from articulos order by descripcion desc");
    ASSERT_EQ(desc.size(), viaIndex.size());
    for (std::size_t i = 0; i < desc.size(); ++i)
        EXPECT_EQ(utf8(desc[i][0]), utf8(viaIndex[viaIndex.size() - 1 - i][1])) << i;
    // Ties sorted by the second key on the sort path.
    auto dup = all(*db_, "select referencia from articulos where descripcion = 'saco escombro rafia 90x60' "
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
    // An empty text leaves "%%": every row but the two NULL descriptions.
    EXPECT_EQ(refs("").size(), 598u);
    // '%' keeps its meaning; [%] is a literal percent sign.
    EXPECT_GT(refs("10%").size(), 1u);
    EXPECT_EQ(all(*db_, "select referencia from articulos where descripcion like '%10[%]%'").size(), 1u);
    const auto mixed = refs("CEMENTO");
    EXPECT_NE(std::find(mixed.begin(), mixed.end(), "E00006"), mixed.end());  // "Cemento cola flexible"
    EXPECT_EQ(refs("CUÑA"), (std::vector<std::string>{"E00015", "E00016"}));

    // Counts of the fixture's search table (plain substrings, accents significant).
    const std::map<std::string, std::size_t> counts = {
        {"CEMENTO", 20}, {"TORNILLO", 82}, {"AZULEJO", 20}, {"ARENA", 16},  {"TUBO", 47},
        {"PVC", 26},     {"BLANCO", 28},   {"M8X40", 2},    {"25KG", 38},   {"D'ARCO", 2},
        {"CONECTOR", 2}, {"CAÑERÍA", 6},   {"ÁNGULO", 12},  {"ANGULO", 1},  {"CUÑA", 2},
        {"XYZXYZ", 0},
    };
    for (const auto& [text, n] : counts) EXPECT_EQ(refs(text).size(), n) << text;
}

TEST_F(StoreDb, SearchResultIsInDescriptionOrder) {
    auto rows = all(*db_, searchStatement("TORNILLO"));
    ASSERT_EQ(rows.size(), 82u);
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

TEST_F(StoreDb, LookupListsAndParameters) {
    auto c = db_->query("select * from [Tipos de Impuestos] order by [Codigo]");
    ASSERT_EQ(c->columns().size(), 5u);
    EXPECT_EQ(c->columns()[1].name, "Nombre");
    ASSERT_TRUE(c->next());
    EXPECT_EQ(c->row()[0], Value(std::int64_t{1}));
    EXPECT_EQ(c->row()[1], Value(std::u16string(u"General")));
    auto prov = all(*db_, "select * from proveedores order by [Razon Social]");
    ASSERT_EQ(prov.size(), 40u);
    auto p = all(*db_, "select codigo from proveedores where [Razon Social] = ? or codigo = ?",
                 {std::u16string(u"FERRETERÍA EL CRUCE"), std::int64_t{4}});
    ASSERT_EQ(p.size(), 2u);
    auto nulls = all(*db_, "select referencia from articulos where [Tipo Impuesto] is null order by referencia");
    ASSERT_EQ(nulls.size(), 3u);
    EXPECT_EQ(utf8(nulls[0][0]), "T00001");
    EXPECT_EQ(all(*db_, "select referencia from articulos where [Tipo Impuesto] <> 1").size(), 95u);
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
    EXPECT_EQ(kindOf("select referencia from articulos where descripcion = 1"), ErrorKind::Conversion);
    EXPECT_EQ(kindOf("update articulos set descripcion = 'x'"), ErrorKind::InvalidArgument);
    EXPECT_EQ(kindOf("select referencia from articulos where referencia = ?"), ErrorKind::InvalidArgument);
}

// Statements A, B and C of the ticket status change: the rows they select.
TEST(TicketUpdates, SelectTheRightRows) {
    if (!fs::exists(fixture("store.mdb"))) GTEST_SKIP() << "fixtures not present";
    TempCopy copy("store.mdb");
    auto storage = Storage::open(copy.path(), false);
    const std::string t = "[Cabecera Tickets de Venta]";
    auto statement = [&](const std::string& status, const std::string& from, const std::string& to, bool c) {
        std::string s = "UPDATE " + t + " SET " + t + ".Documento = '', " + t + ".[Forma de Pago] = '" + status +
                        "'\r\n WHERE (((" + t + ".Fecha)>=#" + from + "#)\r\n AND ((" + t + ".Fecha)<=#" + to;
        if (!c) return s + "#))";
        return s + "#)\r\n AND ((" + t + ".[Forma de Pago])<>'Facturado'))";
    };
    struct Range {
        const char *from, *to;
        std::size_t inRange, statementC;
    };
    const Range ranges[] = {
        {"3/5/2024", "4/12/2024", 331, 211},
        {"6/14/2024", "6/14/2024", 7, 4},
        {"1/1/2024", "12/31/2024", 2999, 1926},
        {"4/12/2024", "3/5/2024", 0, 0},
    };
    for (const auto& r : ranges) {
        auto a = sql::prepareUpdate(*storage, std::get<sql::UpdateStmt>(sql::parse(statement("Facturado", r.from, r.to, false))), {});
        auto b = sql::prepareUpdate(*storage, std::get<sql::UpdateStmt>(sql::parse(statement("Pendiente", r.from, r.to, false))), {});
        auto c = sql::prepareUpdate(*storage, std::get<sql::UpdateStmt>(sql::parse(statement("Pendiente", r.from, r.to, true))), {});
        EXPECT_EQ(a.rows.size(), r.inRange) << r.from;
        EXPECT_EQ(b.rows.size(), r.inRange) << r.from;
        EXPECT_EQ(c.rows.size(), r.statementC) << r.from;
        ASSERT_EQ(c.changes.size(), 2u);
        EXPECT_EQ(c.changes[0].value, Value(std::u16string()));
        EXPECT_EQ(c.changes[1].value, Value(std::u16string(u"Pendiente")));
    }
    // Until the writer exists, execute() refuses instead of pretending.
    auto db = Database::open(copy.path());
    try {
        db->execute(statement("Facturado", "3/5/2024", "4/12/2024", false));
        FAIL() << "an UPDATE claimed success without a writer";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::NotSupported);
    }
}

TEST(UpdateValues, ConvertedToTheColumnType) {
    if (!fs::exists(fixture("store.mdb"))) GTEST_SKIP() << "fixtures not present";
    auto storage = Storage::open(fixture("store.mdb"), false);
    auto prep = [&](const std::string& set, const std::vector<Value>& p = {}) {
        return sql::prepareUpdate(*storage, std::get<sql::UpdateStmt>(sql::parse("update articulos set " + set +
                                                                                " where referencia = 'PRUEBA1'")),
                                  p);
    };
    auto u = prep("[PVP 1] = 12, [Tipo Impuesto] = 2.5, descripcion = ?", {std::u16string(u"NUEVA")});
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
    if (!fs::exists(fixture("store-desc40.mdb"))) GTEST_SKIP() << "fixtures not present";
    TempCopy copy("store.mdb");
    auto db = Database::open(copy.path(), OpenMode::ReadOnly);
    const std::string sql = "select descripcion from articulos where referencia = 'L00001'";
    EXPECT_EQ(utf8(all(*db, sql).at(0)[0]).size(), 60u);
    EXPECT_EQ(db->table("Articulos").columns[1].size, 60);
    // Same size, rewritten in place: only the pages say what changed.
    fs::copy_file(kFixtures / "store-desc40.mdb", copy.path(), fs::copy_options::overwrite_existing);
    EXPECT_EQ(utf8(all(*db, sql).at(0)[0]).size(), 40u);
    EXPECT_EQ(db->table("Articulos").columns[1].size, 40);
}

}  // namespace
}  // namespace jet
