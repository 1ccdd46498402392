// Generated store databases: every variant opens with the declared columns,
// the demo's rows read the same through the engine, the SQL layer and
// mdb-export, its documented special rows and tickets are there, and the
// same options give the same bytes.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>

#include "database_builder_checks.h"
#include "fixtures.h"
#include "io/memory_env.h"
#include "store_content.h"

namespace jet {
namespace {

using store::StoreOptions;

std::unique_ptr<Storage> openStore(const StoreOptions& o) {
    return Storage::open(std::make_unique<MemoryFile>(store::buildStore(o)));
}

std::vector<std::string> columnNames(const TableDef& def) {
    std::vector<std::string> out;
    for (const ColumnDef& c : def.columns) out.push_back(c.column.name);
    return out;
}

// The demo store, built once for the tests that only read it.
class Demo : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        file_ = new testing::TempFile("demo-store");
        store::writeStore(file_->path(), store::demoOptions());
    }
    static void TearDownTestSuite() {
        delete file_;
        file_ = nullptr;
    }
    static testing::TempFile* file_;
};
testing::TempFile* Demo::file_ = nullptr;

TEST_F(Demo, HasTheFourTablesWithDeclaredColumnsAndIndexes) {
    auto db = Storage::open(file_->path(), false);
    EXPECT_EQ(db->tableNames(),
              (std::vector<std::string>{"Articulos", "Tipos de Impuestos", "proveedores",
                                        "Cabecera Tickets de Venta"}));
    const TableDef& items = db->tableDef("articulos");
    ASSERT_EQ(items.columns.size(), 77u);
    EXPECT_EQ(items.columns[0].column.name, "Referencia");
    EXPECT_EQ(items.columns[60].column.name, "Tamaño");
    EXPECT_EQ(items.columns[60].column.type, ColumnType::Integer);
    EXPECT_EQ(items.columns[76].column.name, "Trazabilidad");
    EXPECT_EQ(items.columns[1].column.size, 60);
    EXPECT_EQ(items.columns[28].column.type, ColumnType::Memo);
    EXPECT_EQ(db->tableDef("proveedores").columns.size(), 50u);
    EXPECT_EQ(db->tableDef("Tipos de Impuestos").columns.size(), 5u);
    EXPECT_EQ(columnNames(db->tableDef("Cabecera Tickets de Venta")),
              (std::vector<std::string>{"Serie", "Numero", "Fecha", "Cliente", "Total", "Documento",
                                        "Forma de Pago"}));
    std::map<std::string, std::string> indexes;
    for (const char* t : store::kTables) {
        for (const IndexDef& ix : db->tableDef(t).indexes) {
            std::string cols;
            for (const auto& c : ix.index.columns) cols += (cols.empty() ? "" : ",") + c;
            indexes[std::string(t) + "." + ix.index.name] =
                cols + (ix.index.primaryKey ? " pk" : "");
        }
    }
    EXPECT_EQ(indexes, (std::map<std::string, std::string>{
                           {"Articulos.PrimaryKey", "Referencia pk"},
                           {"Articulos.Descripcion", "Descripcion"},
                           {"Articulos.Familia", "Familia"},
                           {"Articulos.Proveedor 1", "Proveedor 1"},
                           {"Articulos.Tipo Impuesto", "Tipo Impuesto"},
                           {"Tipos de Impuestos.PrimaryKey", "Codigo pk"},
                           {"proveedores.PrimaryKey", "Codigo pk"},
                           {"proveedores.Razon Social", "Razon Social"},
                           {"Cabecera Tickets de Venta.PrimaryKey", "Serie,Numero pk"},
                           {"Cabecera Tickets de Venta.Fecha", "Fecha"},
                           {"Cabecera Tickets de Venta.Forma de Pago", "Forma de Pago"},
                       }));
}

TEST_F(Demo, PagesAndIndexesAreConsistent) {
    auto db = Storage::open(file_->path(), false);
    for (const char* t : store::kTables) {
        SCOPED_TRACE(t);
        const TableDef& def = db->tableDef(t);
        testing::checkDataPages(*db, def);
        testing::checkIndexes(*db, def);
        EXPECT_EQ(std::int64_t(def.rowCountHint), db->countRows(def));
    }
    EXPECT_GE(
        testing::indexDepth(*db, db->tableDef("Cabecera Tickets de Venta").indexes[0].rootPage), 2);
}

TEST_F(Demo, HoldsTheDocumentedSpecialRows) {
    auto db = Database::open(file_->path(), OpenMode::ReadOnly);
    std::map<std::string, std::vector<Value>> items;
    auto c = db->query(
        "select Referencia, Descripcion, [Tipo Impuesto], [Proveedor 1], [PVP 1], "
        "[Precio Compra Proveedor 1], Observaciones from Articulos");
    while (c->next()) items[utf16ToUtf8(std::get<std::u16string>(c->row()[0].v))] = c->row();
    EXPECT_EQ(items.size(), 600u);
    for (const std::string& ref : store::specialItemReferences())
        EXPECT_TRUE(items.count(ref)) << ref;
    auto text = [](const Value& v) {
        return v.isNull() ? std::string("NULL") : utf16ToUtf8(std::get<std::u16string>(v.v));
    };
    EXPECT_EQ(text(items["E00014"][1]), "CARRETILLA OBRA 90L – OFERTA 45€");
    EXPECT_EQ(text(items["Ñ-001"][1]), "TEJA ÁRABE ENVEJECIDA");
    EXPECT_TRUE(items["N00001"][1].isNull());
    EXPECT_TRUE(items["T00001"][2].isNull());
    EXPECT_EQ(items["T00098"][2], Value(std::int64_t(99)));
    EXPECT_TRUE(items["V00001"][3].isNull());
    EXPECT_TRUE(items["P00005"][4].isNull());
    EXPECT_EQ(items["P00001"][5], Value(0.0));
    EXPECT_EQ(items["PRUEBA1"][4], Value(12.5));
    EXPECT_EQ(std::get<std::u16string>(items["M00004"][6].v).size(), 5000u);
    EXPECT_EQ(std::get<std::u16string>(items["M00003"][6].v).size(), 1500u);
    EXPECT_EQ(items["M00007"][6], Value(std::u16string()));

    // Searches the item list runs.
    auto count = [&](const std::string& sql) {
        auto q = db->query(sql);
        int n = 0;
        while (q->next()) ++n;
        return n;
    };
    EXPECT_EQ(count("select referencia from articulos where descripcion like '%D''ARCO%'"), 2);
    std::set<std::string> underscore;
    auto q = db->query("select referencia from articulos where descripcion like '%A_B%'");
    while (q->next()) underscore.insert(utf16ToUtf8(std::get<std::u16string>(q->row()[0].v)));
    EXPECT_TRUE(underscore.count("E00004") && underscore.count("E00005"));
    EXPECT_EQ(count("select referencia from articulos where descripcion like '%cuña%'"), 2);
}

TEST_F(Demo, TicketsFollowTheDocumentedCalendar) {
    auto db = Database::open(file_->path(), OpenMode::ReadOnly);
    auto q = db->query(
        "select Serie, Numero, Fecha, [Forma de Pago] from [Cabecera Tickets de Venta] order by "
        "Fecha");
    std::map<std::string, std::vector<std::pair<double, std::int64_t>>> bySerie;
    std::map<std::string, int> jun14;
    int rows = 0;
    double first = 1e9, last = 0;
    while (q->next()) {
        ++rows;
        const auto& r = q->row();
        double days = std::get<DateTime>(r[2].v).days;
        first = std::min(first, days);
        last = std::max(last, days);
        bySerie[utf16ToUtf8(std::get<std::u16string>(r[0].v))].push_back(
            {days, std::get<std::int64_t>(r[1].v)});
        if (std::floor(days) == 45457) {  // 2024-06-14
            std::string forma =
                r[3].isNull() ? "NULL" : utf16ToUtf8(std::get<std::u16string>(r[3].v));
            double secs = std::round((days - 45457) * 86400);
            jun14[forma + (secs > 0 ? "@" + std::to_string(int(secs)) : "")]++;
        }
    }
    EXPECT_EQ(rows, 3000);
    EXPECT_EQ(first, 45292.0);                             // 2024-01-01 00:00
    EXPECT_EQ(std::round((last - 45657) * 86400), 86399);  // 2024-12-31 23:59:59
    EXPECT_EQ(jun14, (std::map<std::string, int>{{"Facturado", 2},
                                                 {"Pendiente", 2},
                                                 {"Contado", 1},
                                                 {"Tarjeta", 1},
                                                 {"NULL", 1},
                                                 {"Contado@36900", 1},
                                                 {"Facturado@63630", 1}}));
    for (auto& [serie, list] : bySerie) {
        std::sort(list.begin(), list.end(), [](auto a, auto b) { return a.second < b.second; });
        for (std::size_t i = 0; i < list.size(); ++i) {
            ASSERT_EQ(list[i].second, std::int64_t(i + 1)) << serie;  // no gaps
            if (i) {
                ASSERT_LE(list[i - 1].first, list[i].first) << serie;  // numbered in date order
            }
        }
    }
    // The statement the ticket tool issues for one day.
    auto db2 = Database::open(file_->path(), OpenMode::ReadOnly);
    auto in = db2->query(
        "select Numero from [Cabecera Tickets de Venta] where Fecha >= #6/14/2024# and Fecha <= "
        "#6/14/2024#");
    int n = 0;
    while (in->next()) ++n;
    EXPECT_EQ(n, 7);
}

std::string cell(const ColumnDef& c, const Value& v) {
    char buf[64];
    if (v.isNull()) return "";
    if (auto b = std::get_if<bool>(&v.v)) return *b ? "1" : "0";
    if (auto i = std::get_if<std::int64_t>(&v.v)) return std::to_string(*i);
    if (auto d = std::get_if<double>(&v.v)) {
        std::snprintf(buf, sizeof buf, c.column.type == ColumnType::Single ? "%.6g" : "%.10g", *d);
        return buf;
    }
    if (auto t = std::get_if<DateTime>(&v.v)) {
        std::time_t secs = std::time_t(std::llround((t->days - 25569) * 86400));
        std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", std::gmtime(&secs));
        return buf;
    }
    return utf16ToUtf8(std::get<std::u16string>(v.v));
}

std::string exported(const ColumnDef& c, const std::string& s) {
    if (s.empty()) return s;
    char buf[64];
    if (c.column.type == ColumnType::Double || c.column.type == ColumnType::Single) {
        std::snprintf(buf, sizeof buf, c.column.type == ColumnType::Single ? "%.6g" : "%.10g",
                      std::strtod(s.c_str(), nullptr));
        return buf;
    }
    return s;
}

TEST_F(Demo, MdbExportReadsTheSameRows) {
    if (!testing::haveMdbExport()) GTEST_SKIP() << "mdbtools not installed";
    auto db = Storage::open(file_->path(), false);
    for (const char* t : store::kTables) {
        SCOPED_TRACE(t);
        const TableDef& def = db->tableDef(t);
        std::vector<int> all(def.columns.size());
        for (std::size_t i = 0; i < all.size(); ++i) all[i] = int(i);
        std::vector<std::vector<std::string>> ours;
        db->scan(def, all, [&](RowId, std::vector<Value>& row) {
            std::vector<std::string> cells;
            for (std::size_t i = 0; i < row.size(); ++i) {
                cells.push_back(cell(def.columns[i], row[i]));
                if (auto s = std::get_if<std::u16string>(&row[i].v); s && s->empty())
                    cells.back() = "";
            }
            ours.push_back(std::move(cells));
            return true;
        });
        auto theirs = testing::mdbExport(file_->path(), t);
        ASSERT_FALSE(theirs.empty());
        EXPECT_EQ(theirs[0], columnNames(def));
        theirs.erase(theirs.begin());
        for (auto& r : theirs) {
            r.resize(def.columns.size());
            for (std::size_t i = 0; i < r.size(); ++i) r[i] = exported(def.columns[i], r[i]);
        }
        // mdb-export visits rows in storage order, as the engine's scan does.
        ASSERT_EQ(theirs.size(), ours.size());
        for (std::size_t r = 0; r < ours.size(); ++r) ASSERT_EQ(theirs[r], ours[r]) << "row " << r;
    }
}

TEST(StoreContent, SameOptionsGiveSameBytes) {
    StoreOptions small = store::bigOptions(300, 500);
    EXPECT_EQ(store::buildStore(small), store::buildStore(small));
    StoreOptions other = small;
    other.seed = 7;
    EXPECT_NE(store::buildStore(small), store::buildStore(other));
}

TEST(StoreContent, EveryVariantOpensWithItsColumns) {
    struct Case {
        const char* fixture;
        std::function<void(Storage&)> check;
    };
    auto type = [](Storage& db, const char* table, const char* column) {
        const TableDef& d = db.tableDef(table);
        return d.columns[std::size_t(d.columnIndex(column))].column;
    };
    const Case cases[] = {
        {"store-no-trazabilidad.mdb",
         [&](Storage& db) {
             auto cols = columnNames(db.tableDef("Articulos"));
             EXPECT_EQ(cols.size(), 76u);
             EXPECT_EQ(std::count(cols.begin(), cols.end(), "Trazabilidad"), 0);
         }},
        {"store-no-iban.mdb",
         [&](Storage& db) {
             auto cols = columnNames(db.tableDef("proveedores"));
             EXPECT_EQ(cols.size(), 49u);
             EXPECT_EQ(cols.back(), "Margen Venta");
         }},
        {"store-extra-columns.mdb",
         [&](Storage& db) {
             for (const char* t : store::kTables) {
                 const TableDef& d = db.tableDef(t);
                 EXPECT_EQ(d.columns[2].column.name, "Campo Extra Texto");
                 EXPECT_EQ(d.columns.back().column.name, "Campo Extra Numero");
                 std::int64_t n = 0;
                 db.scan(d, {2, int(d.columns.size()) - 1}, [&](RowId, std::vector<Value>& row) {
                     ++n;
                     EXPECT_EQ(row[0], Value(utf8ToUtf16("EXTRA " + std::to_string(n))));
                     EXPECT_EQ(row[1], Value(7 * n));
                     return true;
                 });
                 EXPECT_GT(n, 0);
             }
         }},
        {"store-single.mdb",
         [&](Storage& db) {
             EXPECT_EQ(type(db, "Articulos", "Stock").type, ColumnType::Single);
             EXPECT_EQ(type(db, "Articulos", "PVP 3").type, ColumnType::Single);
             EXPECT_EQ(type(db, "Articulos", "PVP 1").type, ColumnType::Double);
         }},
        {"store-desc40.mdb",
         [&](Storage& db) {
             EXPECT_EQ(type(db, "Articulos", "Descripcion").size, 40);
             const TableDef& d = db.tableDef("Articulos");
             db.scan(d, {0, 1}, [&](RowId, std::vector<Value>& row) {
                 if (row[0] == Value(std::u16string(u"L00001"))) {
                     EXPECT_EQ(row[1],
                               Value(std::u16string(u"TUBO MULTICAPA PEX-AL-PEX 16X2 ROLLO 100")));
                 }
                 return true;
             });
         }},
        {"store-desc100.mdb",
         [&](Storage& db) { EXPECT_EQ(type(db, "Articulos", "Descripcion").size, 100); }},
        {"store-type-mismatch.mdb",
         [&](Storage& db) {
             EXPECT_EQ(type(db, "Articulos", "Familia").type, ColumnType::Text);
             EXPECT_EQ(type(db, "Articulos", "Familia").size, 10);
         }},
        {"store-no-tickets.mdb",
         [&](Storage& db) {
             EXPECT_EQ(db.tableNames(), (std::vector<std::string>{"Articulos", "Tipos de Impuestos",
                                                                  "proveedores"}));
         }},
        {"store-empty.mdb",
         [&](Storage& db) {
             EXPECT_EQ(db.countRows(db.tableDef("Articulos")), 0);
             EXPECT_EQ(db.countRows(db.tableDef("Cabecera Tickets de Venta")), 0);
             EXPECT_EQ(db.countRows(db.tableDef("Tipos de Impuestos")), 5);
             EXPECT_EQ(db.countRows(db.tableDef("proveedores")), 40);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fixture);
        auto db = openStore(store::fixtureVariant(c.fixture));
        c.check(*db);
        for (const std::string& t : db->tableNames()) {
            SCOPED_TRACE(t);
            testing::checkIndexes(*db, db->tableDef(t));
        }
    }
}

// The generated variants have the same tables, columns and indexes as the
// shared fixture files they stand in for.
TEST(StoreContent, VariantsMatchTheSharedFixturesShape) {
    JET_REQUIRE_FIXTURES();
    for (const char* name :
         {"store.mdb", "store-no-trazabilidad.mdb", "store-no-iban.mdb", "store-extra-columns.mdb",
          "store-single.mdb", "store-desc40.mdb", "store-desc100.mdb", "store-type-mismatch.mdb",
          "store-no-tickets.mdb", "store-empty.mdb"}) {
        SCOPED_TRACE(name);
        auto ours = openStore(store::fixtureVariant(name));
        auto shared = Storage::open(testing::fixture(name), false);
        ASSERT_EQ(ours->tableNames(), shared->tableNames());
        for (const std::string& t : shared->tableNames()) {
            SCOPED_TRACE(t);
            const TableDef& a = shared->tableDef(t);
            const TableDef& b = ours->tableDef(t);
            ASSERT_EQ(columnNames(b), columnNames(a));
            for (std::size_t i = 0; i < a.columns.size(); ++i) {
                EXPECT_EQ(b.columns[i].column.type, a.columns[i].column.type)
                    << a.columns[i].column.name;
                EXPECT_EQ(b.columns[i].column.size, a.columns[i].column.size)
                    << a.columns[i].column.name;
            }
            ASSERT_EQ(b.indexes.size(), a.indexes.size());
            for (std::size_t i = 0; i < a.indexes.size(); ++i) {
                EXPECT_EQ(b.indexes[i].index.name, a.indexes[i].index.name);
                EXPECT_EQ(b.indexes[i].index.columns, a.indexes[i].index.columns);
                EXPECT_EQ(b.indexes[i].flags, a.indexes[i].flags);
            }
            if (shared->countRows(a) == 0) {
                EXPECT_EQ(ours->countRows(b), 0);
            }
        }
    }
}

TEST(StoreContent, RefusesUnknownColumnsAndVariants) {
    StoreOptions o;
    o.missingColumns = {"Articulos.NoExiste"};
    EXPECT_THROW(store::buildStore(o), Error);
    EXPECT_THROW(store::fixtureVariant("otra.mdb"), Error);
}

TEST(StoreContent, Access97StoreHoldsTheSameRows) {
    StoreOptions o = store::demoOptions();
    auto access2000 = openStore(o);
    o.jetVersion = 3;
    auto access97 = openStore(o);
    EXPECT_EQ(access97->format().version, 3);
    ASSERT_EQ(access97->tableNames(), access2000->tableNames());
    for (const std::string& name : access2000->tableNames()) {
        SCOPED_TRACE(name);
        const TableDef& a = access2000->tableDef(name);
        const TableDef& b = access97->tableDef(name);
        ASSERT_EQ(columnNames(b), columnNames(a));
        ASSERT_EQ(b.indexes.size(), a.indexes.size());
        for (std::size_t i = 0; i < a.indexes.size(); ++i) {
            EXPECT_EQ(b.indexes[i].index.name, a.indexes[i].index.name);
            EXPECT_EQ(b.indexes[i].index.columns, a.indexes[i].index.columns);
            EXPECT_EQ(b.indexes[i].index.descending, a.indexes[i].index.descending);
            EXPECT_EQ(b.indexes[i].indexType, a.indexes[i].indexType);
            EXPECT_EQ(b.indexes[i].flags, a.indexes[i].flags & 0x7F);  // no Access 2000 mark
        }
        std::vector<int> all;
        for (std::size_t i = 0; i < a.columns.size(); ++i) all.push_back(int(i));
        std::vector<std::vector<Value>> rowsA, rowsB;
        access2000->scan(a, all, [&](RowId, std::vector<Value>& row) {
            rowsA.push_back(row);
            return true;
        });
        access97->scan(b, all, [&](RowId, std::vector<Value>& row) {
            rowsB.push_back(row);
            return true;
        });
        EXPECT_TRUE(rowsA == rowsB) << rowsA.size() << " rows against " << rowsB.size();
        testing::checkDataPages(*access97, b);
        testing::checkIndexes(*access97, b);
    }
}

}  // namespace
}  // namespace jet
