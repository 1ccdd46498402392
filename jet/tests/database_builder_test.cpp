// Databases built from nothing: the empty database against Access's own
// empty.mdb, a table of every store column type read back through the
// engine and mdb-export, index trees of a large table, refused input.
#include "database_builder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <map>

#include "database_builder_checks.h"
#include "fixtures.h"
#include "format/storage.h"
#include "io/memory_env.h"
#include "jet/jet.h"

namespace jet {
namespace {

using testing::catalogRows;
using testing::describeColumns;
using testing::describeIndexes;
using testing::TempFile;

std::unique_ptr<Storage> openImage(std::vector<std::uint8_t> image) {
    return Storage::open(std::make_unique<MemoryFile>(std::move(image)));
}

const char* const kSystemTables[] = {"MSysObjects", "MSysACEs", "MSysQueries", "MSysRelationships",
                                     "MSysAccessObjects"};

TEST(CreateEmpty, OpensWithSystemTablesAndConsistentStructure) {
    auto db = openImage(DatabaseBuilder().finish());
    EXPECT_EQ(db->format().version, 4);
    EXPECT_EQ(db->header().codePage, 1252);
    EXPECT_EQ(db->header().sortOrder, 1033);
    EXPECT_TRUE(db->tableNames().empty());
    for (const char* name : kSystemTables) {
        SCOPED_TRACE(name);
        const TableDef& def = db->tableDef(name);
        testing::checkDataPages(*db, def);
        testing::checkIndexes(*db, def);
        EXPECT_EQ(db->countRows(def), std::int64_t(def.rowCountHint));
    }
    // MSysDb carries the database properties, as Access writes them.
    const TableDef& cat = db->catalogDef();
    bool found = false;
    db->scan(cat, {cat.columnIndex("Name"), cat.columnIndex("LvProp")},
             [&](RowId, std::vector<Value>& row) {
                 if (row[0] != Value(std::u16string(u"MSysDb"))) return true;
                 const Bytes& blob = std::get<Bytes>(row[1].v);
                 EXPECT_EQ(std::string(blob.begin(), blob.begin() + 4), std::string("MR2\0", 4));
                 std::u16string text;
                 for (std::size_t i = 0; i + 1 < blob.size(); i += 2)
                     text += char16_t(blob[i] | blob[i + 1] << 8);
                 EXPECT_NE(text.find(u"AccessVersion"), std::u16string::npos);
                 found = true;
                 return false;
             });
    EXPECT_TRUE(found);
    // The global map marks every page of the file used and nothing else.
    for (std::uint32_t free : db->usageMapPages(1u << 8)) EXPECT_GE(free, db->pager().pageCount());
}

TEST(CreateEmpty, MatchesAccessEmptyDatabase) {
    JET_REQUIRE_FIXTURES();
    auto ours = openImage(DatabaseBuilder().finish());
    auto access = Storage::open(testing::fixture("access/empty.mdb"), false);
    EXPECT_EQ(ours->tableNames(), access->tableNames());
    for (const char* name : kSystemTables) {
        SCOPED_TRACE(name);
        const TableDef& a = access->tableDef(name);
        const TableDef& b = ours->tableDef(name);
        EXPECT_EQ(describeColumns(b), describeColumns(a));
        EXPECT_EQ(describeIndexes(b), describeIndexes(a));
        EXPECT_EQ(b.tableType, a.tableType);
        EXPECT_EQ(b.maxColumns, a.maxColumns);
        EXPECT_EQ(b.varColumns, a.varColumns);
    }
    // Same catalog rows, apart from the table ids.
    EXPECT_EQ(catalogRows(*ours), catalogRows(*access));
    EXPECT_EQ(ours->countRows(ours->tableDef("MSysACEs")),
              access->countRows(access->tableDef("MSysACEs")));
}

TEST(CreateEmpty, MdbToolsListsTheSystemTables) {
    if (!testing::haveMdbExport()) GTEST_SKIP() << "mdbtools not installed";
    TempFile file("empty");
    createEmptyDatabase(file.path());
    std::string listed = testing::runCommand("mdb-tables -S -1 " + testing::quoted(file.path()));
    for (const char* name : kSystemTables) EXPECT_NE(listed.find(name), std::string::npos) << name;
    auto rows = testing::mdbExport(file.path(), "MSysObjects");
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.size(), 1u + 18u);  // header and the 18 catalog rows of an empty database
}

// ---- a table of every store column type -------------------------------------

TableDesign everyTypeDesign() {
    using T = ColumnType;
    return TableDesign{"Prueba Tipos",
                       {{"Código", T::Text, 20},
                        {"Numero", T::Long},
                        {"Cantidad", T::Integer},
                        {"Nivel", T::Byte},
                        {"Precio", T::Double},
                        {"Peso", T::Single},
                        {"Importe", T::Currency},
                        {"Fecha", T::DateTime},
                        {"Activo", T::Boolean},
                        {"Notas", T::Memo},
                        {"Nombre", T::Text, 60}},
                       {{"PrimaryKey", {"Código"}, {}, IndexKind::PrimaryKey},
                        {"Numero", {"Numero"}, {}, IndexKind::Unique},
                        {"CantidadPrecio", {"Cantidad", "Precio"}, {false, true}, IndexKind::Plain},
                        {"Fecha", {"Fecha"}, {}, IndexKind::Plain},
                        {"Nombre", {"Nombre"}, {true}, IndexKind::Plain},
                        {"Activo", {"Activo"}, {}, IndexKind::Plain}}};
}

std::u16string repeatText(const std::u16string& piece, std::size_t length) {
    std::u16string out;
    while (out.size() < length) out += piece;
    out.resize(length);
    return out;
}

// Row i of the every-type table: nulls, signs, accents, text that cannot be
// compressed, memos inline, on one LVAL page and chained over several.
std::vector<Value> everyTypeRow(int i, int n) {
    std::vector<Value> r(11);
    char code[16];
    std::snprintf(code, sizeof code, "K%06d", int((std::int64_t(i) * 7919) % n));
    r[0] = utf8ToUtf16(code);
    if (i % 97 != 5) r[1] = std::int64_t(i) * 3 - 4000;
    if (i % 50 != 0) r[2] = std::int64_t((i * 37) % 2000 - 1000);
    r[3] = std::int64_t(i % 256);
    if (i % 41 != 0) r[4] = (i % 1000) * 1.25 - 300.5;
    r[5] = double(float(i) / 3.0f);
    r[6] = Currency{std::int64_t(i) * 12345 % 10000000 - 5000000};
    r[7] = DateTime{45000.0 + i % 400 + (i % 24) / 24.0};
    r[8] = i % 3 == 0;
    switch (i % 10) {
        case 0:
            break;
        case 1:
            r[9] = utf8ToUtf16("nota " + std::to_string(i));
            break;
        case 2:
            r[9] = repeatText(u"Cemento gris, saco de 25 kg; ", 300);
            break;
        case 3:
            r[9] = repeatText(u"Oferta 45€ – ", 2000);
            break;
        case 4:
            r[9] = i % 100 == 4 ? repeatText(u"línea de observación larga\r\n", 6000) : u"corta";
            break;
        case 5:
            r[9] = std::u16string();
            break;
        default:
            r[9] = utf8ToUtf16("Observación " + std::to_string(i));
            break;
    }
    if (i % 29 != 0)
        r[10] = i % 13 == 0 ? utf8ToUtf16("Precio en € nº " + std::to_string(i))
                            : utf8ToUtf16("Señal ÁRBOL cuña " + std::to_string(i % 500));
    return r;
}

class EveryType : public ::testing::Test {
  protected:
    static constexpr int kRows = 3000;
    static void SetUpTestSuite() {
        file_ = new TempFile("every-type");
        DatabaseBuilder b;
        int t = b.addTable(everyTypeDesign());
        for (int i = 0; i < kRows; ++i) b.insert(t, everyTypeRow(i, kRows));
        b.writeFile(file_->path());
    }
    static void TearDownTestSuite() {
        delete file_;
        file_ = nullptr;
    }
    static TempFile* file_;
};
TempFile* EveryType::file_ = nullptr;

TEST_F(EveryType, EngineReadsBackEveryValue) {
    auto db = Storage::open(file_->path(), false);
    ASSERT_EQ(db->tableNames(), std::vector<std::string>{"Prueba Tipos"});
    const TableDef& def = db->tableDef("Prueba Tipos");
    ASSERT_EQ(def.columns.size(), 11u);
    EXPECT_EQ(def.columns[0].column.name, "Código");
    EXPECT_EQ(def.columns[5].column.type, ColumnType::Single);
    EXPECT_EQ(def.columns[0].column.size, 20);
    std::vector<int> all(11);
    for (int i = 0; i < 11; ++i) all[std::size_t(i)] = i;
    std::map<std::u16string, std::vector<Value>> got;
    db->scan(def, all, [&](RowId, std::vector<Value>& row) {
        got[std::get<std::u16string>(row[0].v)] = row;
        return true;
    });
    ASSERT_EQ(got.size(), std::size_t(kRows));
    for (int i = 0; i < kRows; ++i) {
        std::vector<Value> want = everyTypeRow(i, kRows);
        const auto& row = got.at(std::get<std::u16string>(want[0].v));
        for (std::size_t c = 0; c < want.size(); ++c)
            ASSERT_EQ(row[c], want[c]) << "row " << i << " column " << def.columns[c].column.name;
    }
    EXPECT_EQ(std::int64_t(def.rowCountHint), kRows);
}

TEST_F(EveryType, PagesAndIndexesAreConsistent) {
    auto db = Storage::open(file_->path(), false);
    const TableDef& def = db->tableDef("Prueba Tipos");
    testing::checkDataPages(*db, def);
    testing::checkIndexes(*db, def);
    // Distinct-key statistics as Access keeps them.
    EXPECT_EQ(def.realIndexes[0].distinctKeys, std::uint32_t(kRows));
    EXPECT_EQ(def.realIndexes[5].distinctKeys, 2u);
}

std::string exportedNumber(double d) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6g", d);
    return buf;
}

TEST_F(EveryType, MdbExportReadsTheSameRows) {
    if (!testing::haveMdbExport()) GTEST_SKIP() << "mdbtools not installed";
    auto rows = testing::mdbExport(file_->path(), "Prueba Tipos");
    ASSERT_EQ(rows.size(), std::size_t(kRows) + 1);
    ASSERT_EQ(rows[0].size(), 11u);
    EXPECT_EQ(rows[0][0], "Código");
    std::map<std::string, std::vector<std::string>> byCode;
    for (std::size_t r = 1; r < rows.size(); ++r) {
        rows[r].resize(11);
        byCode[rows[r][0]] = rows[r];
    }
    for (int i = 0; i < kRows; ++i) {
        std::vector<Value> want = everyTypeRow(i, kRows);
        const auto& cells = byCode.at(utf16ToUtf8(std::get<std::u16string>(want[0].v)));
        SCOPED_TRACE("row " + std::to_string(i));
        auto num = [&](std::size_t c) {
            return cells[c].empty() ? std::string()
                                    : exportedNumber(std::strtod(cells[c].c_str(), nullptr));
        };
        auto wantNum = [&](std::size_t c) -> std::string {
            const Value& v = want[c];
            if (v.isNull()) return "";
            if (auto x = std::get_if<std::int64_t>(&v.v)) return exportedNumber(double(*x));
            if (auto x = std::get_if<double>(&v.v)) return exportedNumber(*x);
            return exportedNumber(double(std::get<Currency>(v.v).scaled) / 10000.0);
        };
        for (std::size_t c : {1, 2, 3, 4, 5, 6}) ASSERT_EQ(num(c), wantNum(c)) << "column " << c;
        double days = std::get<DateTime>(want[7].v).days - 45000.0;
        int day = int(days), hour = int(std::lround((days - day) * 24));
        // 45000 = 2023-03-15
        std::tm tm{};
        tm.tm_year = 123;
        tm.tm_mon = 2;
        tm.tm_mday = 15 + day;
        tm.tm_hour = hour;
        tm.tm_isdst = -1;
#ifdef _WIN32
        std::time_t tt = _mkgmtime(&tm);
#else
        std::time_t tt = timegm(&tm);
#endif
        std::tm norm = *gmtime(&tt);
        char date[32];
        std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", &norm);
        ASSERT_EQ(cells[7], date);
        ASSERT_EQ(cells[8], std::get<bool>(want[8].v) ? "1" : "0");
        auto text = [](const Value& v) {
            return v.isNull() ? std::string() : utf16ToUtf8(std::get<std::u16string>(v.v));
        };
        ASSERT_EQ(cells[9],
                  text(want[9]));  // mdb-export prints an empty memo as nothing, like NULL
        ASSERT_EQ(cells[10], text(want[10]));
    }
}

TEST_F(EveryType, MdbSchemaShowsTypesAndIndexes) {
    if (!testing::haveMdbExport()) GTEST_SKIP() << "mdbtools not installed";
    std::string schema =
        testing::runCommand("mdb-schema " + testing::quoted(file_->path()) + " 2>/dev/null");
    for (const char* s :
         {"[Código]\t\t\tText (20)", "[Numero]\t\t\tLong Integer", "[Cantidad]\t\t\tInteger",
          "[Nivel]\t\t\tByte", "[Precio]\t\t\tDouble", "[Peso]\t\t\tSingle",
          "[Importe]\t\t\tCurrency", "[Fecha]\t\t\tDateTime", "[Activo]\t\t\tBoolean",
          "[Notas]\t\t\tMemo/Hyperlink (255)", "[Nombre]\t\t\tText (60)"})
        EXPECT_NE(schema.find(s), std::string::npos) << s << "\n" << schema;
    std::string indexes = testing::runCommand(
        "mdb-schema --indexes " + testing::quoted(file_->path()) + " postgres 2>/dev/null");
    for (const char* s :
         {"PRIMARY KEY (\"código\")",
          "CREATE UNIQUE INDEX \"prueba tipos_numero_idx\" ON \"prueba tipos\" (\"numero\")",
          "(\"cantidad\", \"precio\" DESC)", "(\"nombre\" DESC)", "(\"fecha\")", "(\"activo\")"})
        EXPECT_NE(indexes.find(s), std::string::npos) << s << "\n" << indexes;
}

TEST_F(EveryType, SqlLayerSeesTheTable) {
    auto db = Database::open(file_->path(), OpenMode::ReadOnly);
    auto c =
        db->query("select [Código], Numero from [Prueba Tipos] where Numero >= ? order by Numero",
                  {Value(std::int64_t(4000))});
    std::int64_t last = 0, count = 0;
    while (c->next()) {
        std::int64_t n = std::get<std::int64_t>(c->row()[1].v);
        EXPECT_GE(n, last);
        last = n;
        ++count;
    }
    // Numero = 3i - 4000 >= 4000 for i >= 2667, minus the rows whose Numero is null.
    std::int64_t want = 0;
    for (int i = 2667; i < kRows; ++i) want += i % 97 != 5;
    EXPECT_EQ(count, want);
}

// ---- a large table: multi-level trees ---------------------------------------

class LargeTable : public ::testing::Test {
  protected:
    static constexpr int kRows = 200000;
    static void SetUpTestSuite() {
        DatabaseBuilder b;
        int t = b.addTable(
            TableDesign{"Grande",
                        {{"Id", ColumnType::Long},
                         {"Texto", ColumnType::Text, 40},
                         {"Fecha", ColumnType::DateTime}},
                        {{"PrimaryKey", {"Id"}, {}, IndexKind::PrimaryKey},
                         {"Texto", {"Texto"}, {}, IndexKind::Plain},
                         {"FechaId", {"Fecha", "Id"}, {true, false}, IndexKind::Unique}}});
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kRows; ++i) {
            std::int64_t id = (std::int64_t(i) * 7919) % kRows;  // not in key order
            b.insert(
                t,
                {Value(id), Value(utf8ToUtf16("ARTÍCULO " + std::to_string(id % 5000) + " ÑANDÚ")),
                 Value(DateTime{45292.0 + double(id % 366) + double(id % 86400) / 86400.0})});
        }
        db_ = openImage(b.finish()).release();
        buildSeconds_ =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    static void TearDownTestSuite() {
        delete db_;
        db_ = nullptr;
    }
    static Storage* db_;
    static double buildSeconds_;
};
Storage* LargeTable::db_ = nullptr;
double LargeTable::buildSeconds_ = 0;

TEST_F(LargeTable, IndexesHaveSeveralLevelsAndOneEntryPerRow) {
    const TableDef& def = db_->tableDef("Grande");
    EXPECT_EQ(db_->countRows(def), kRows);
    for (const IndexDef& ix : def.indexes)
        EXPECT_GE(testing::indexDepth(*db_, ix.rootPage), 3) << ix.index.name;
    testing::checkIndexes(*db_, def);
    testing::checkDataPages(*db_, def);
    RecordProperty("build_seconds", std::to_string(buildSeconds_));
}

TEST_F(LargeTable, OwnedPagesNeedAReferenceMap) {
    const TableDef& def = db_->tableDef("Grande");
    std::uint32_t mapPage = def.ownedMap >> 8;
    ByteView page = db_->pager().page(mapPage);
    std::size_t slot = def.ownedMap & 0xFF;
    EXPECT_EQ(page.u8(page.u16(0x0E + 2 * slot) & 0x1FFF), 0x01);  // the map row is a reference map
    auto pages = db_->usageMapPages(def.ownedMap);
    EXPECT_GT(pages.size(), 512u);
}

// ---- refused input ----------------------------------------------------------

TEST(CreateRefuses, BadDefinitionsAndValues) {
    DatabaseBuilder b;
    auto expectInvalid = [](auto&& f) {
        try {
            f();
            ADD_FAILURE() << "no error";
        } catch (const Error& e) {
            EXPECT_EQ(e.kind(), ErrorKind::InvalidArgument) << e.what();
        }
    };
    TableDesign design{
        "T",
        {{"A", ColumnType::Text, 5}, {"B", ColumnType::Long}},
        {{"PrimaryKey", {"A"}, {}, IndexKind::PrimaryKey}, {"B", {"B"}, {}, IndexKind::Unique}}};
    int t = b.addTable(design);
    expectInvalid([&] { b.addTable(design); });  // name taken
    expectInvalid([&] {
        b.addTable(TableDesign{"t2", {{"A", ColumnType::Text, 0}}, {}});
    });  // no length
    expectInvalid([&] {
        b.addTable(
            TableDesign{"t3", {{"A", ColumnType::Long}}, {{"X", {"Z"}, {}, IndexKind::Plain}}});
    });
    expectInvalid([&] { b.insert(t, {Value(u"toolong"), Value(std::int64_t(1))}); });
    expectInvalid([&] { b.insert(t, {Value(u"ab"), Value(u"text in a Long")}); });
    expectInvalid([&] { b.insert(t, {Value(u"ab"), Value(std::int64_t(1) << 40)}); });
    expectInvalid([&] { b.insert(t, {Value(), Value(std::int64_t(1))}); });  // null primary key
    expectInvalid([&] { b.insert(t, {Value(u"ab")}); });                     // too few values
    b.insert(t, {Value(u"ab"), Value()});
    b.insert(t, {Value(u"cd"), Value()});  // nulls never collide in a unique index
    expectInvalid([&] {
        b.insert(t, {Value(u"AB"), Value(std::int64_t(7))});  // same key as "ab": keys ignore case
    });
    EXPECT_EQ(b.rowCount(t), 2);
    auto db = openImage(b.finish());
    EXPECT_EQ(db->countRows(db->tableDef("T")), 2);
}

}  // namespace
}  // namespace jet
