// Access 97 (Jet 3) databases built from nothing: the header and system
// tables against Access's own Jet 3 files, mdbtools reading them, code page
// text and long values, and a table large enough for multi-level indexes
// and reference usage maps.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "database_builder.h"
#include "database_builder_checks.h"
#include "fixtures.h"
#include "format/index_page.h"
#include "format/storage.h"
#include "io/memory_env.h"
#include "jet/jet.h"

namespace jet {
namespace {

using testing::TempFile;

CreateOptions jet3() {
    CreateOptions o;
    o.jetVersion = 3;
    return o;
}

std::unique_ptr<Storage> openImage(std::vector<std::uint8_t> image) {
    return Storage::open(std::make_unique<MemoryFile>(std::move(image)));
}

const char* const kSystemTables[] = {"MSysObjects", "MSysACEs", "MSysQueries", "MSysRelationships"};

// MSysACEs as (object name, SID, mask, inheritable), objects named through
// the catalog: table ids are TDEF pages and differ between files.
std::multiset<std::string> permissions(Storage& db) {
    const TableDef& cat = db.catalogDef();
    std::map<std::int64_t, std::string> names;
    db.scan(cat, {cat.columnIndex("Id"), cat.columnIndex("Name")},
            [&](RowId, std::vector<Value>& row) {
                names[std::get<std::int64_t>(row[0].v)] =
                    utf16ToUtf8(std::get<std::u16string>(row[1].v));
                return true;
            });
    const TableDef& aces = db.tableDef("MSysACEs");
    std::multiset<std::string> out;
    db.scan(aces, {0, 1, 2, 3}, [&](RowId, std::vector<Value>& row) {
        std::string sid;
        for (std::uint8_t b : std::get<Bytes>(row[1].v)) sid += std::to_string(b) + ".";
        auto name = names.find(std::get<std::int64_t>(row[0].v));
        out.insert((name == names.end() ? "?" : name->second) + "|" + sid + "|" +
                   std::to_string(std::get<std::int64_t>(row[2].v)) + "|" +
                   (std::get<bool>(row[3].v) ? "inherit" : ""));
        return true;
    });
    return out;
}

TEST(CreateJet3, EmptyDatabaseHasAccess97HeaderAndSystemTables) {
    std::vector<std::uint8_t> image = DatabaseBuilder(jet3()).finish();
    ASSERT_EQ(image.size() % 2048, 0u);
    EXPECT_EQ(image[0x14], 0x00);  // the version byte, outside the masked region
    auto db = openImage(image);
    EXPECT_EQ(db->format().version, 3);
    EXPECT_EQ(db->format().pageSize, 2048u);
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
    EXPECT_THROW(db->tableDef("MSysAccessObjects"), Error);  // an Access 2000 table
    // MSysDb's properties: a Jet 3 blob naming the Access 97 version.
    const TableDef& cat = db->catalogDef();
    std::string blob;
    db->scan(cat, {cat.columnIndex("Name"), cat.columnIndex("LvProp")},
             [&](RowId, std::vector<Value>& row) {
                 if (row[0] != Value(std::u16string(u"MSysDb"))) return true;
                 const Bytes& b = std::get<Bytes>(row[1].v);
                 blob.assign(b.begin(), b.end());
                 return false;
             });
    EXPECT_EQ(blob.substr(0, 4), std::string("KKD\0", 4));
    EXPECT_NE(blob.find("AccessVersion"), std::string::npos);
    EXPECT_NE(blob.find("07.53"), std::string::npos);
    for (std::uint32_t free : db->usageMapPages(1u << 8)) EXPECT_GE(free, db->pager().pageCount());
}

TEST(CreateJet3, SystemTablesMatchAccess97) {
    JET_REQUIRE_FIXTURES();
    auto ours = openImage(DatabaseBuilder(jet3()).finish());
    auto access = Storage::open(testing::fixture("access/testV1997.mdb"), false);
    ASSERT_EQ(access->format().version, 3);
    for (const char* name : kSystemTables) {
        SCOPED_TRACE(name);
        const TableDef& a = access->tableDef(name);
        const TableDef& b = ours->tableDef(name);
        EXPECT_EQ(testing::describeColumns(b), testing::describeColumns(a));
        EXPECT_EQ(testing::describeIndexes(b), testing::describeIndexes(a));
        EXPECT_EQ(b.tableType, a.tableType);
        EXPECT_EQ(b.maxColumns, a.maxColumns);
        EXPECT_EQ(b.varColumns, a.varColumns);
    }
    // Every catalog row and permission we write, Access wrote too (Access
    // has more: its VBA tables, a data access pages container, user tables).
    std::multiset<std::string> theirs = testing::catalogRows(*access);
    for (const std::string& row : testing::catalogRows(*ours))
        EXPECT_TRUE(theirs.count(row)) << row;
    std::multiset<std::string> accessAces = permissions(*access);
    for (const std::string& ace : permissions(*ours)) EXPECT_TRUE(accessAces.count(ace)) << ace;
}

TEST(CreateJet3, MdbToolsReadTheCatalog) {
    if (!testing::haveMdbExport()) GTEST_SKIP() << "mdbtools not installed: Jet 3 file not read";
    TempFile file("jet3-empty");
    createEmptyDatabase(file.path(), jet3());
    std::string listed = testing::runCommand("mdb-tables -S -1 " + testing::quoted(file.path()));
    for (const char* name : kSystemTables) EXPECT_NE(listed.find(name), std::string::npos) << name;
    auto rows = testing::mdbExport(file.path(), "MSysObjects");
    EXPECT_EQ(rows.size(), 1u + 15u);  // header and the catalog rows of an empty Access 97 file
    std::string version = testing::runCommand("mdb-ver " + testing::quoted(file.path()));
    EXPECT_EQ(version, "JET3\n");
}

// ---- code page text, long values, a large table -----------------------------

TableDesign textDesign() {
    using T = ColumnType;
    return TableDesign{"Artículos",
                       {{"Código", T::Text, 12},
                        {"Descripción", T::Text, 255},
                        {"Notas", T::Memo},
                        {"Foto", T::Ole},
                        {"Precio", T::Currency}},
                       {{"PrimaryKey", {"Código"}, {}, IndexKind::PrimaryKey},
                        {"Descripción", {"Descripción"}, {true}}}};
}

std::vector<Value> textRow(int i) {
    std::u16string notes;
    switch (i % 5) {
        case 0:
            break;
        case 1:
            notes = u"corta";
            break;
        case 2:
            while (notes.size() < 1500) notes += u"Cerámica esmaltada, 20×20 € ";  // one LVAL row
            break;
        default:
            while (notes.size() < 7000) notes += u"Línea de observación ñ; ";  // a chain
            break;
    }
    Bytes photo(std::size_t(i % 4 == 0 ? 5000 : i % 4 * 10), std::uint8_t(i));
    std::u16string text = utf8ToUtf16("Azulejo «Sevilla» nº " + std::to_string(i) + " – ¡oferta!");
    if (i % 7 == 0) text.resize(255, u'ü');
    return {Value(utf8ToUtf16("ÁB-" + std::to_string(i))), Value(text),
            notes.empty() ? Value() : Value(notes), Value(photo),
            Value(Currency{std::int64_t(i) * 99999})};
}

TEST(CreateJet3, CodePageTextAndLongValuesReadBack) {
    TempFile file("jet3-text");
    {
        DatabaseBuilder b(jet3());
        const int t = b.addTable(textDesign());
        for (int i = 0; i < 200; ++i) b.insert(t, textRow(i));
        b.writeFile(file.path());
    }
    auto db = Storage::open(file.path(), false);
    const TableDef& def = db->tableDef("Artículos");
    EXPECT_EQ(def.columns[1].column.size, 255);
    EXPECT_EQ(def.columns[1].length, 255);  // Jet 3: one byte per character
    std::vector<std::vector<Value>> rows;
    db->scan(def, {0, 1, 2, 3, 4}, [&](RowId, std::vector<Value>& row) {
        rows.push_back(row);
        return true;
    });
    ASSERT_EQ(rows.size(), 200u);
    for (int i = 0; i < 200; ++i) ASSERT_EQ(rows[std::size_t(i)], textRow(i)) << "row " << i;
    testing::checkDataPages(*db, def);
    testing::checkIndexes(*db, def);
    testing::expectIndexesExact(file.path(), "Artículos");
    if (!testing::haveMdbExport())
        GTEST_SKIP() << "mdbtools not installed: mdb-export not compared";
    testing::expectSameAsMdbExport(file.path(), "Artículos");
}

TEST(CreateJet3, RowsPastTheJet3RowSizeAreRefused) {
    DatabaseBuilder b(jet3());
    std::vector<ColumnDesign> columns;
    for (int i = 0; i < 9; ++i) columns.push_back({"T" + std::to_string(i), ColumnType::Text, 255});
    const int t = b.addTable(TableDesign{"Ancha", columns, {}});
    std::vector<Value> row(9, Value(std::u16string(240, u'a')));  // more than 2 KB of text
    try {
        b.insert(t, row);
        ADD_FAILURE() << "a row of more than 2 KB was accepted";
    } catch (const Error& e) {
        EXPECT_TRUE(e.kind() == ErrorKind::InvalidArgument || e.kind() == ErrorKind::NotSupported)
            << e.what();
    }
    for (std::size_t i = 5; i < 9; ++i) row[i] = Value();  // about 1.2 KB: fits
    b.insert(t, row);
    EXPECT_EQ(b.rowCount(t), 1);
}

class LargeJet3Table : public ::testing::Test {
  protected:
    static constexpr int kRows = 60000;
    static void SetUpTestSuite() {
        file_ = new TempFile("jet3-large");
        DatabaseBuilder b(jet3());
        const int t = b.addTable(TableDesign{"Grande",
                                             {{"Id", ColumnType::Long},
                                              {"Texto", ColumnType::Text, 40},
                                              {"Fecha", ColumnType::DateTime}},
                                             {{"PrimaryKey", {"Id"}, {}, IndexKind::PrimaryKey},
                                              {"Texto", {"Texto"}, {true}},
                                              {"FechaId", {"Fecha", "Id"}, {true, false}}}});
        for (int i = 0; i < kRows; ++i) {
            const std::int64_t id = (std::int64_t(i) * 7919) % kRows;  // not in key order
            b.insert(t, {Value(id),
                         Value(utf8ToUtf16("ARTÍCULO " + std::to_string(id % 3000) + " ÑANDÚ")),
                         Value(DateTime{35000.0 + double(id % 500) + double(id % 48) / 48.0})});
        }
        b.writeFile(file_->path());
    }
    static void TearDownTestSuite() {
        delete file_;
        file_ = nullptr;
    }
    static TempFile* file_;
};
TempFile* LargeJet3Table::file_ = nullptr;

TEST_F(LargeJet3Table, IndexesHaveSeveralLevelsAndTheWritersPageEncoding) {
    auto db = Storage::open(file_->path(), false);
    const TableDef& def = db->tableDef("Grande");
    EXPECT_EQ(db->countRows(def), kRows);
    for (const IndexDef& ix : def.indexes)
        EXPECT_GE(testing::indexDepth(*db, ix.rootPage), 3) << ix.index.name;
    testing::checkIndexes(*db, def);
    testing::checkDataPages(*db, def);
    // The write path re-encodes every page to the same bytes.
    testing::expectIndexesExact(file_->path(), "Grande");
}

TEST_F(LargeJet3Table, OwnedPagesNeedAReferenceMap) {
    auto db = Storage::open(file_->path(), false);
    const TableDef& def = db->tableDef("Grande");
    const auto pages = db->usageMapPages(def.ownedMap);
    EXPECT_GT(pages.back() - pages.front(), 1024u);  // beyond a 133-byte inline map
    std::set<std::uint32_t> unique(pages.begin(), pages.end());
    EXPECT_EQ(unique.size(), pages.size());
    testing::expectDataPagesSound(file_->path(), "Grande");
}

TEST_F(LargeJet3Table, MdbExportReadsEveryRow) {
    if (!testing::haveMdbExport())
        GTEST_SKIP() << "mdbtools not installed: mdb-export not compared";
    testing::expectSameAsMdbExport(file_->path(), "Grande");
}

}  // namespace
}  // namespace jet
