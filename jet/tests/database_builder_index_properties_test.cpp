// Files of every index property, column property and key type, built in
// Jet 3 and Jet 4 format (index_property_files.h): the engine reads every
// row back, every index holds exactly the entries its properties call for,
// mdbtools reads the same rows and sees the Required columns; and the
// builder refuses what Access refuses, leaving no trace of a refused row.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>
#include <stdexcept>

#include "database_builder.h"
#include "database_builder_checks.h"
#include "fixtures.h"
#include "format/storage.h"
#include "index_property_files.h"
#include "io/memory_env.h"
#include "jet/jet.h"

namespace jet {
namespace {

using testing::PropertyTable;

std::unique_ptr<Storage> openImage(std::vector<std::uint8_t> image) {
    return Storage::open(std::make_unique<MemoryFile>(std::move(image)));
}

template <class F>
void expectInvalid(F&& f, const char* what) {
    try {
        f();
        ADD_FAILURE() << what << ": no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::InvalidArgument) << what << ": " << e.what();
    }
}

class IndexProperties : public ::testing::TestWithParam<int> {
  protected:
    int version() const { return GetParam(); }
    std::string file() const { return testing::indexPropertyFile(version()); }
    std::vector<PropertyTable> tables() const { return testing::indexPropertyTables(version()); }
};

TEST_P(IndexProperties, EngineReadsBackEveryRow) {
    auto db = Storage::open(file(), false);
    EXPECT_EQ(db->format().version, version());
    EXPECT_EQ(db->header().codePage, 1252);
    EXPECT_EQ(db->header().sortOrder, 1033);
    std::vector<std::string> names;
    for (const PropertyTable& t : tables()) names.push_back(t.design.name);
    EXPECT_EQ(db->tableNames(), names);
    for (const PropertyTable& t : tables()) {
        SCOPED_TRACE(t.design.name);
        const TableDef& def = db->tableDef(t.design.name);
        ASSERT_EQ(def.columns.size(), t.design.columns.size());
        std::vector<int> all;
        for (std::size_t c = 0; c < def.columns.size(); ++c) {
            EXPECT_EQ(def.columns[c].column.name, t.design.columns[c].name);
            EXPECT_EQ(def.columns[c].column.type, t.design.columns[c].type);
            if (t.design.columns[c].type == ColumnType::Numeric) {
                EXPECT_EQ(def.columns[c].precision, t.design.columns[c].precision);
                EXPECT_EQ(def.columns[c].scale, t.design.columns[c].scale);
            }
            all.push_back(int(c));
        }
        std::vector<std::vector<Value>> got;
        db->scan(def, all, [&](RowId, std::vector<Value>& row) {
            got.push_back(row);
            return true;
        });
        ASSERT_EQ(got.size(), t.rows.size());
        for (std::size_t r = 0; r < got.size(); ++r)
            for (std::size_t c = 0; c < all.size(); ++c)
                ASSERT_EQ(got[r][c], t.rows[r][c])
                    << "row " << r << " column " << def.columns[c].column.name;
        EXPECT_EQ(def.rowCountHint, t.rows.size());
    }
}

TEST_P(IndexProperties, IndexesCarryTheDesignedProperties) {
    auto db = Database::open(file(), OpenMode::ReadOnly);
    auto storage = Storage::open(file(), false);
    for (const PropertyTable& t : tables()) {
        const TableDef& def = storage->tableDef(t.design.name);
        const TableInfo info = db->table(t.design.name);
        ASSERT_EQ(def.indexes.size(), t.design.indexes.size());
        for (std::size_t i = 0; i < def.indexes.size(); ++i) {
            const IndexDesign& want = t.design.indexes[i];
            const IndexDef& ix = def.indexes[i];
            SCOPED_TRACE(t.design.name + "." + want.name);
            const bool primary = want.kind == IndexKind::PrimaryKey;
            EXPECT_EQ(ix.index.name, want.name);
            EXPECT_EQ(ix.index.columns, want.columns);
            std::vector<bool> descending = want.descending;
            descending.resize(want.columns.size(), false);
            EXPECT_EQ(ix.index.descending, descending);
            EXPECT_EQ(ix.indexType, primary ? 1 : 0);
            EXPECT_EQ((ix.flags & kIndexUnique) != 0, want.kind != IndexKind::Plain);
            EXPECT_EQ((ix.flags & kIndexIgnoreNulls) != 0, want.ignoreNulls);
            EXPECT_EQ((ix.flags & kIndexRequired) != 0, primary || want.required);
            // Access 2000 marks every index it writes; Access 97 does not.
            EXPECT_EQ((ix.flags & 0x80) != 0, version() == 4);
            EXPECT_EQ(info.indexes[i].primaryKey, primary);
            EXPECT_EQ(info.indexes[i].unique, want.kind != IndexKind::Plain);
        }
    }
}

// How many entries an index must hold, counted from the designed rows
// without the engine: every row, less those whose key columns are all null
// when the index ignores nulls.
std::size_t entriesCalledFor(const PropertyTable& t, const IndexDesign& ix) {
    std::size_t n = 0;
    for (const std::vector<Value>& row : t.rows) {
        bool allNull = true;
        for (const std::string& name : ix.columns)
            for (std::size_t c = 0; c < t.design.columns.size(); ++c)
                if (t.design.columns[c].name == name &&
                    (!row[c].isNull() || t.design.columns[c].type == ColumnType::Boolean))
                    allNull = false;
        if (!(allNull && ix.ignoreNulls)) ++n;
    }
    return n;
}

TEST_P(IndexProperties, EveryRowHasTheEntriesItsIndexesCallFor) {
    auto db = Storage::open(file(), false);
    const auto& ipf = IndexPageFormat::forJet(version());
    for (const PropertyTable& t : tables()) {
        SCOPED_TRACE(t.design.name);
        const TableDef& def = db->tableDef(t.design.name);
        for (std::size_t i = 0; i < def.indexes.size(); ++i) {
            SCOPED_TRACE(def.indexes[i].index.name);
            std::vector<IndexEntry> entries =
                readIndex(pagerSource(db->pager()), def.indexes[i].rootPage, ipf);
            EXPECT_EQ(entries.size(), entriesCalledFor(t, t.design.indexes[i]));
        }
        testing::checkDataPages(*db, def);
        testing::checkIndexes(*db, def);
        testing::expectDataPagesSound(file(), t.design.name);
        testing::expectIndexesExact(file(), t.design.name);
    }
    // The rows whose key columns are all null are exactly the ones missing.
    const TableDef& def = db->tableDef("IgnoreNulls");
    const IndexDef& both = def.indexes[2];
    std::set<std::int64_t> indexed;
    for (const IndexEntry& e : readIndex(pagerSource(db->pager()), both.rootPage, ipf))
        indexed.insert(std::get<std::int64_t>(db->readRow(def, e.row, {0})[0].v));
    for (std::int64_t id = 1; id <= 40; ++id)
        EXPECT_EQ(indexed.count(id), (id - 1) % 15 == 0 ? 0u : 1u) << "Id " << id;
}

TEST_P(IndexProperties, MdbExportReadsTheSameRows) {
    if (!testing::haveMdbExport())
        GTEST_SKIP() << "mdbtools not installed: mdb-export not compared";
    for (const PropertyTable& t : tables()) testing::expectSameAsMdbExport(file(), t.design.name);
}

TEST_P(IndexProperties, LimitsReadBackExactly) {
    auto db = Database::open(file(), OpenMode::ReadOnly);
    auto c = db->query("select Cur from Limits where Cur > ? order by Cur desc",
                       {Value(Currency{INT64_MAX - 2})});
    ASSERT_TRUE(c->next());
    EXPECT_EQ(c->row()[0], Value(Currency{INT64_MAX}));
    ASSERT_TRUE(c->next());
    EXPECT_EQ(c->row()[0], Value(Currency{INT64_MAX - 1}));
    EXPECT_FALSE(c->next());
    if (!testing::haveMdbExport())
        GTEST_SKIP() << "mdbtools not installed: mdb-export not compared";
    auto rows = testing::mdbExport(file(), "Limits");
    ASSERT_EQ(rows.size(), 9u);
    EXPECT_EQ(rows[1][1], "922337203685477.5807");
    EXPECT_EQ(rows[2][1], "-922337203685477.5808");
    EXPECT_EQ(rows[4][1], "-0.0001");
    if (version() < 4) return;
    EXPECT_EQ(rows[1][2], "9999999999999999999999999999");
    EXPECT_EQ(rows[2][2], "-9999999999999999999999999999");
    EXPECT_EQ(rows[1][3], "999999999999999999.9999999999");
    EXPECT_EQ(rows[2][3], "-999999999999999999.9999999999");
    EXPECT_EQ(rows[5][3], "-0.0000000001");
    EXPECT_EQ(rows[7][4], "-0.50");
}

// The property blob of a table's catalog row, empty when it has none.
Bytes tableProperties(Storage& db, const std::string& table) {
    const TableDef& cat = db.catalogDef();
    Bytes out;
    db.scan(cat, {cat.columnIndex("Name"), cat.columnIndex("LvProp")},
            [&](RowId, std::vector<Value>& row) {
                if (row[0] != Value(utf8ToUtf16(table))) return true;
                if (auto* b = std::get_if<Bytes>(&row[1].v)) out = *b;
                return false;
            });
    return out;
}

TEST_P(IndexProperties, RequiredColumnsAreInTheTablesProperties) {
    auto db = Storage::open(file(), false);
    Bytes blob = tableProperties(*db, "RequiredColumns");
    ASSERT_GE(blob.size(), 4u);
    EXPECT_EQ(std::string(blob.begin(), blob.begin() + 4),
              std::string(version() == 4 ? "MR2" : "KKD", 4));
    EXPECT_TRUE(tableProperties(*db, "KeyTypes").empty());  // no Required column, no blob

    if (!testing::haveMdbExport()) GTEST_SKIP() << "mdbtools not installed: mdb-prop not run";
    // mdb-prop prints a block per column: "name: X", then "\tProperty: value".
    std::string out =
        testing::runCommand("mdb-prop " + testing::quoted(file()) + " RequiredColumns 2>&1");
    std::map<std::string, std::string> required;
    std::string column;
    for (const std::string& line : testing::splitOn(out, "\n")) {
        if (line.rfind("name: ", 0) == 0) column = line.substr(6);
        if (line == "\tRequired: yes" || line == "\tRequired: no")
            required[column] = line.substr(11);
    }
    EXPECT_EQ(required,
              (std::map<std::string, std::string>{
                  {"Id", "yes"}, {"Nombre", "yes"}, {"Precio", "yes"}, {"Activo", "yes"}}))
        << out;
    std::string schema =
        testing::runCommand("mdb-schema " + testing::quoted(file()) + " 2>/dev/null");
    for (const char* s : {"[Nombre]\t\t\tText (40) NOT NULL", "[Precio]\t\t\tCurrency NOT NULL",
                          "[Nota]\t\t\tText (60), "})
        EXPECT_NE(schema.find(s), std::string::npos) << s << "\n" << schema;
}

// A property blob read by the layout Access writes: column (empty for the
// object itself) -> property name -> "DDL flag/data type/data in hex". Every
// chunk and entry must end inside its parent and the chunks fill the blob.
std::map<std::string, std::map<std::string, std::string>> parseProperties(const Bytes& blob,
                                                                          bool unicode) {
    auto need = [&](std::size_t end) {
        if (end > blob.size()) throw std::runtime_error("property blob overrun");
    };
    auto u16 = [&](std::size_t at) {
        need(at + 2);
        return std::size_t(blob[at] | blob[at + 1] << 8);
    };
    auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
    auto text = [&](std::size_t at, std::size_t n) {
        need(at + n);
        ByteView bytes(blob.data() + at, n);
        return utf16ToUtf8(unicode ? decodeJet4Text(bytes) : decodeCodePageText(bytes, 1252));
    };
    std::map<std::string, std::map<std::string, std::string>> out;
    std::vector<std::string> names;
    std::size_t at = 4;
    while (at < blob.size()) {
        const std::size_t end = at + u32(at), type = u16(at + 4);
        need(end);
        std::size_t p = at + 6;
        if (type == 0x80) {
            for (; p < end; p += 2 + u16(p)) names.push_back(text(p + 2, u16(p)));
        } else {
            const std::string owner = text(p + 6, u16(p + 4));
            for (p += u32(p); p < end; p += u16(p)) {
                const std::size_t length = u16(p), dataLength = u16(p + 6);
                if (length != 8 + dataLength || p + length > end)
                    throw std::runtime_error("property entry of the wrong length");
                std::string d =
                    std::to_string(blob[p + 2]) + "/" + std::to_string(blob[p + 3]) + "/";
                for (std::size_t i = 0; i < dataLength; ++i) {
                    char hex[3];
                    std::snprintf(hex, sizeof hex, "%02x", blob[p + 8 + i]);
                    d += hex;
                }
                out[owner][names.at(u16(p + 4))] = d;
            }
        }
        if (p != end) throw std::runtime_error("property chunk of the wrong length");
        at = end;
    }
    return out;
}

TEST(RequiredProperty, BlobHasTheLayoutAccessWrites) {
    // Ours: one column chunk per required column, holding Required = yes.
    const std::map<std::string, std::string> yes{{"Required", "1/1/01"}};
    for (int version : {4, 3}) {
        SCOPED_TRACE("Jet " + std::to_string(version));
        auto db = Storage::open(testing::indexPropertyFile(version), false);
        auto ours = parseProperties(tableProperties(*db, "RequiredColumns"), version == 4);
        EXPECT_EQ(ours, (std::map<std::string, std::map<std::string, std::string>>{
                            {"Id", yes}, {"Nombre", yes}, {"Precio", yes}, {"Activo", yes}}));
    }
    // Access's: the same entry among its other column properties.
    JET_REQUIRE_FIXTURES();
    auto access2000 = Storage::open(testing::fixture("access/fixedTextTestV2000.mdb"), false);
    auto users = parseProperties(tableProperties(*access2000, "users"), true);
    ASSERT_EQ(users.count("c_user_login"), 1u);
    EXPECT_EQ(users["c_user_login"]["Required"], "1/1/01");
    auto access97 = Storage::open(testing::fixture("access/testV1997.mdb"), false);
    auto table1 = parseProperties(tableProperties(*access97, "Table1"), false);
    ASSERT_EQ(table1.count("A"), 1u);
    EXPECT_EQ(table1["A"]["Required"], "1/1/00");  // Required = no, the same shape
}

TEST_P(IndexProperties, MdbSchemaShowsTheIndexes) {
    if (!testing::haveMdbExport()) GTEST_SKIP() << "mdbtools not installed: mdb-schema not run";
    std::string indexes = testing::runCommand("mdb-schema --indexes " + testing::quoted(file()) +
                                              " postgres 2>/dev/null");
    for (const char* s :
         {"PRIMARY KEY (\"serie\", \"numero\", \"linea\")",
          "CREATE UNIQUE INDEX \"uniquekeys_email_idx\" ON \"uniquekeys\" (\"email\")",
          "(\"amount\", \"region\" DESC)", "(\"bin\" DESC)"})
        EXPECT_NE(indexes.find(s), std::string::npos) << s << "\n" << indexes;
}

INSTANTIATE_TEST_SUITE_P(Jet, IndexProperties, ::testing::Values(3, 4),
                         [](const ::testing::TestParamInfo<int>& p) {
                             return "Jet" + std::to_string(p.param);
                         });

// ---- refused rows -----------------------------------------------------------

class BuilderRefuses : public ::testing::TestWithParam<int> {
  protected:
    CreateOptions options() const {
        CreateOptions o;
        o.jetVersion = GetParam();
        return o;
    }
};

TEST_P(BuilderRefuses, NullsWhereAKeyIsRequiredAndLeavesNoTrace) {
    using T = ColumnType;
    DatabaseBuilder b(options());
    const int t = b.addTable(
        TableDesign{"T",
                    {{"A", T::Text, 10}, {"B", T::Long}, {"C", T::Integer}, {"M", T::Memo}},
                    {{"PrimaryKey", {"A", "B"}, {}, IndexKind::PrimaryKey},
                     testing::detail::index("C", {"C", "B"}, {true}, IndexKind::Plain, false, true),
                     testing::detail::index("CUnique", {"C"}, {}, IndexKind::Unique, true)}});
    std::u16string memo(1500, u'x');  // on one LVAL row
    const Value i1(std::int64_t(1)), i2(std::int64_t(2));
    b.insert(t, {Value(u"a"), i1, i1, Value(memo)});
    expectInvalid([&] { b.insert(t, {Value(), i2, i1, Value(memo)}); }, "null in a primary key");
    expectInvalid(
        [&] {
            b.insert(t, {Value(u"b"), Value(), i1, Value(memo)});
        },
        "primary key, second column null");
    expectInvalid(
        [&] {
            b.insert(t, {Value(u"b"), i2, Value(), Value(memo)});
        },
        "required index, first column null");
    expectInvalid(
        [&] {
            b.insert(t, {Value(u"A"), i1, i2, Value(memo)});
        },
        "primary key duplicate, other case");
    expectInvalid(
        [&] {
            b.insert(t, {Value(u"b"), i2, i1, Value(memo)});
        },
        "unique index (C) duplicate");
    b.insert(t, {Value(u"b"), i2, i2, Value()});
    EXPECT_EQ(b.rowCount(t), 2);
    auto db = openImage(b.finish());
    const TableDef& def = db->tableDef("T");
    EXPECT_EQ(db->countRows(def), 2);
    testing::checkIndexes(*db, def);
    // Only the accepted row's memo reached the memo's pages.
    const ColumnDef& m = def.columns[3];
    std::size_t lvalRows = 0;
    for (std::uint32_t p : db->usageMapPages(m.lvalOwnedMap))
        lvalRows += db->pager().page(p).u16(db->format().dataRowCount);
    EXPECT_EQ(lvalRows, 1u);
}

TEST_P(BuilderRefuses, DuplicatesInUniqueKeysUnlessEveryColumnIsNull) {
    using T = ColumnType;
    DatabaseBuilder b(options());
    const int t = b.addTable(TableDesign{"U",
                                         {{"S", T::Text, 4}, {"N", T::Long}, {"G", T::Guid}},
                                         {{"SN", {"S", "N"}, {false, true}, IndexKind::Unique},
                                          {"G", {"G"}, {}, IndexKind::Unique}}});
    const Value n1(std::int64_t(1)), null;
    b.insert(t, {Value(u"x"), n1, Value(testing::detail::guid(1))});
    b.insert(t, {null, null, null});
    b.insert(t, {null, null, null});  // all null: no collision, in either index
    b.insert(t, {Value(u"x"), null, Value(testing::detail::guid(2))});
    b.insert(t, {null, n1, null});
    expectInvalid([&] { b.insert(t, {Value(u"X"), n1, null}); }, "same key, other case");
    expectInvalid([&] { b.insert(t, {Value(u"x"), null, null}); }, "same key, partly null");
    expectInvalid([&] { b.insert(t, {null, n1, null}); }, "same key, other column null");
    expectInvalid(
        [&] {
            b.insert(t, {Value(u"y"), n1, Value(testing::detail::guid(1))});
        },
        "second index duplicate");
    auto db = openImage(b.finish());
    EXPECT_EQ(db->countRows(db->tableDef("U")), 5);
    testing::checkIndexes(*db, db->tableDef("U"));
}

TEST_P(BuilderRefuses, NullsInRequiredColumns) {
    using T = ColumnType;
    DatabaseBuilder b(options());
    ColumnDesign name{"Nombre", T::Text, 20};
    name.required = true;
    ColumnDesign flag{"Activo", T::Boolean};
    flag.required = true;
    const int t = b.addTable(TableDesign{"R", {name, {"Nota", T::Text, 20}, flag}, {}});
    expectInvalid([&] { b.insert(t, {Value(), Value(u"n"), Value(true)}); }, "required null");
    b.insert(t, {Value(u"a"), Value(), Value()});  // Yes/No is never null: No
    auto db = openImage(b.finish());
    std::vector<std::vector<Value>> rows;
    db->scan(db->tableDef("R"), {0, 1, 2}, [&](RowId, std::vector<Value>& row) {
        rows.push_back(row);
        return true;
    });
    EXPECT_EQ(rows, (std::vector<std::vector<Value>>{{Value(u"a"), Value(), Value(false)}}));
}

TEST_P(BuilderRefuses, TextOutsideTheCodePageInJet3) {
    using T = ColumnType;
    DatabaseBuilder b(options());
    if (GetParam() == 4) {
        const int t = b.addTable(TableDesign{"Ω", {{"Texto Ω", T::Text, 10}}, {}});
        b.insert(t, {Value(u"Ωμέγα")});
        auto db = openImage(b.finish());
        EXPECT_EQ(db->tableNames(), std::vector<std::string>{"Ω"});
        return;
    }
    expectInvalid([&] { b.addTable(TableDesign{"Ω", {{"A", T::Text, 10}}, {}}); }, "table name");
    expectInvalid(
        [&] {
            b.addTable(TableDesign{"T", {{"Texto Ω", T::Text, 10}}, {}});
        },
        "column name");
    const int t = b.addTable(TableDesign{"T", {{"A", T::Text, 10}, {"M", T::Memo}}, {}});
    expectInvalid([&] { b.insert(t, {Value(u"Ωμέγα"), Value()}); }, "text value");
    expectInvalid(
        [&] {
            b.insert(t, {Value(u"a"), Value(std::u16string(100, u'Ω'))});
        },
        "memo value");
    b.insert(t, {Value(u"€ñÁü"), Value()});
    auto db = openImage(b.finish());
    const TableDef& def = db->tableDef("T");
    EXPECT_EQ(db->countRows(def), 1);
    EXPECT_TRUE(db->usageMapPages(def.columns[1].lvalOwnedMap).empty());
}

INSTANTIATE_TEST_SUITE_P(Jet, BuilderRefuses, ::testing::Values(3, 4),
                         [](const ::testing::TestParamInfo<int>& p) {
                             return "Jet" + std::to_string(p.param);
                         });

TEST(BuilderDecimal, RefusesValuesBeyondPrecisionOrScale) {
    DatabaseBuilder b;
    ColumnDesign d{"D", ColumnType::Numeric};
    d.precision = 5;
    d.scale = 2;
    const int t = b.addTable(TableDesign{"D", {d}, {{"D", {"D"}, {}, IndexKind::Unique}}});
    for (const char* bad : {"1000.00", "1000", "0.001", "-999.991", "12a", "1.2.3", "", "-", "."})
        expectInvalid([&] { b.insert(t, {Value(Decimal{bad})}); }, bad);
    expectInvalid([&] { b.insert(t, {Value(std::int64_t(1000))}); }, "whole number too large");
    expectInvalid([&] { b.insert(t, {Value(1.5)}); }, "a double");
    for (const char* good : {"999.99", "-999.99", "00012.3400", "+5", ".5", "0"})
        b.insert(t, {Value(Decimal{good})});
    b.insert(t, {Value(std::int64_t(-7))});
    auto db = openImage(b.finish());
    std::multiset<std::string> got;
    const TableDef& def = db->tableDef("D");
    db->scan(def, {0}, [&](RowId, std::vector<Value>& row) {
        got.insert(std::get<Decimal>(row[0].v).text);
        return true;
    });
    EXPECT_EQ(got, (std::multiset<std::string>{"999.99", "-999.99", "12.34", "5.00", "0.50", "0.00",
                                               "-7.00"}));
    testing::checkIndexes(*db, def);
}

TEST(BuilderDecimal, RefusesBadDeclarationsAndJet3) {
    for (auto [precision, scale] : {std::pair{0, 0}, {29, 0}, {5, 6}, {5, -1}}) {
        DatabaseBuilder b;
        ColumnDesign d{"D", ColumnType::Numeric};
        d.precision = precision;
        d.scale = scale;
        expectInvalid([&] { b.addTable(TableDesign{"D", {d}, {}}); }, "declaration");
    }
    CreateOptions jet3;
    jet3.jetVersion = 3;
    DatabaseBuilder b(jet3);
    expectInvalid(
        [&] {
            b.addTable(TableDesign{"D", {{"D", ColumnType::Numeric}}, {}});
        },
        "Decimal in Jet 3");
    jet3.jetVersion = 5;
    expectInvalid([&] { DatabaseBuilder other(jet3); }, "unknown version");
}

}  // namespace
}  // namespace jet
