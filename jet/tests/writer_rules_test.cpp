// Writes that honour the table's rules: ignore-nulls, required, unique and
// primary-key indexes, Required columns, Currency and Decimal ranges, the
// empty binary key, and a table whose page map must grow into a map of
// pages. Each write is followed by the writer's own index check and a full
// re-read showing that only the intended cells changed; each refusal must
// name the table and the index or column and leave the file byte-identical.
#include <map>

#include "database_builder.h"
#include "database_builder_checks.h"
#include "fixtures.h"
#include "index/index_key.h"
#include "index_property_files.h"
#include "jet/jet.h"
#include "sql/select.h"
#include "writer_check.h"

namespace jet {
namespace {

using testing::expectIndexesExact;
using testing::readAll;
using testing::TempCopy;
using testing::TempFile;

// Every cell of every user table, by table and row id.
using Cells = std::map<std::string, std::map<RowId, std::vector<Value>>>;

Cells allCells(const std::string& path) {
    auto s = Storage::open(path, false);
    Cells out;
    for (const std::string& name : s->tableNames()) {
        const TableDef& def = s->tableDef(name);
        std::vector<int> all(def.columns.size());
        for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int>(i);
        s->scan(def, all, [&](RowId id, std::vector<Value>& v) {
            out[name][id] = v;
            return true;
        });
    }
    return out;
}

// "table/column" of every cell that differs between two readings.
std::vector<std::string> changedCells(const std::string& path, const Cells& before,
                                      const Cells& after) {
    auto s = Storage::open(path, false);
    std::vector<std::string> out;
    EXPECT_EQ(before.size(), after.size());
    for (const auto& [table, rows] : before) {
        const TableDef& def = s->tableDef(table);
        const auto& later = after.at(table);
        EXPECT_EQ(rows.size(), later.size()) << table;
        for (const auto& [id, values] : rows) {
            auto it = later.find(id);
            if (it == later.end()) {
                out.push_back(table + "/<row gone>");
                continue;
            }
            for (std::size_t c = 0; c < values.size(); ++c)
                if (!(values[c] == it->second[c]))
                    out.push_back(table + "/" + def.columns[c].column.name);
        }
    }
    return out;
}

// Runs a statement that must be refused with `kind`, and checks that the
// message names every one of `names` and that the file did not change.
void expectRefused(const std::string& path, const std::string& sql, ErrorKind kind,
                   const std::vector<std::string>& names, const std::vector<Value>& params = {}) {
    SCOPED_TRACE(sql);
    const auto before = readAll(path);
    {
        auto db = Database::open(path);
        try {
            db->execute(sql, params);
            ADD_FAILURE() << "accepted";
        } catch (const Error& e) {
            EXPECT_EQ(e.kind(), kind) << e.what();
            for (const std::string& n : names)
                EXPECT_NE(std::string(e.what()).find(n), std::string::npos) << e.what();
        }
    }
    EXPECT_TRUE(readAll(path) == before) << "a refused statement changed the file";
}

// Runs an UPDATE that must change exactly `expected` cells ("table/column").
void expectChanges(const std::string& path, const std::string& sql,
                   std::vector<std::string> expected, const std::vector<Value>& params = {}) {
    SCOPED_TRACE(sql);
    const Cells before = allCells(path);
    {
        auto db = Database::open(path);
        db->execute(sql, params);
    }
    std::vector<std::string> changed = changedCells(path, before, allCells(path));
    std::sort(changed.begin(), changed.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(changed, expected);
    auto s = Storage::open(path, false);
    for (const std::string& t : s->tableNames()) expectIndexesExact(path, t);
}

std::vector<std::u16string> column(Database& db, const std::string& sql) {
    std::vector<std::u16string> out;
    auto c = db.query(sql);
    while (c->next()) {
        const Value& v = c->row()[0];
        out.push_back(v.isNull() ? u"<null>" : std::get<std::u16string>(v.v));
    }
    return out;
}

// ---- on the file Access made ---------------------------------------------

class AccessIndexProperties : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!testing::haveFile("access/testIndexPropertiesV2003.mdb")) GTEST_SKIP();
        copy_ = std::make_unique<TempCopy>("access/testIndexPropertiesV2003.mdb");
    }
    const std::string& path() const { return copy_->path(); }
    std::unique_ptr<TempCopy> copy_;
};

TEST_F(AccessIndexProperties, AreReadAsAccessSetThem) {
    auto db = Database::open(path(), OpenMode::ReadOnly);
    auto find = [&](const std::string& table, const std::string& name) {
        for (const Index& ix : db->table(table).indexes)
            if (ix.name == name) return ix;
        ADD_FAILURE() << table << "." << name;
        return Index{};
    };
    const Index ignore = find("TableIgnoreNulls2", "DataIndex");
    EXPECT_EQ(ignore.columns, (std::vector<std::string>{"data1", "data2"}));
    EXPECT_TRUE(ignore.ignoreNulls);
    EXPECT_FALSE(ignore.unique || ignore.required || ignore.primaryKey);
    const Index unique = find("TableUnique2_temp", "DataIndex");
    EXPECT_TRUE(unique.unique);
    EXPECT_FALSE(unique.ignoreNulls || unique.required);
    const Index pk = find("TableIgnoreNulls1", "PrimaryKey");
    EXPECT_TRUE(pk.primaryKey && pk.unique && pk.required);
}

TEST_F(AccessIndexProperties, IgnoreNullsEntriesComeAndGoWithTheirValues) {
    // row0's value becomes NULL: its entry goes; row1 (NULL, no entry) gets one.
    expectChanges(path(), "UPDATE [TableIgnoreNulls1] SET [data] = NULL WHERE [row] = 'row0'",
                  {"TableIgnoreNulls1/data"});
    expectChanges(path(), "UPDATE [TableIgnoreNulls1] SET [data] = 'x' WHERE [row] = 'row1'",
                  {"TableIgnoreNulls1/data"});
    // Multi-column: an entry while either column has a value.
    auto db = Database::open(path(), OpenMode::ReadOnly);
    const auto both = column(
        *db, "SELECT row FROM TableIgnoreNulls2 WHERE data1 IS NOT NULL AND data2 IS NOT NULL");
    db.reset();
    ASSERT_FALSE(both.empty());
    const std::string row = utf16ToUtf8(both.front());
    expectChanges(path(),
                  "UPDATE [TableIgnoreNulls2] SET [data1] = NULL WHERE [row] = '" + row + "'",
                  {"TableIgnoreNulls2/data1"});
    expectChanges(path(),
                  "UPDATE [TableIgnoreNulls2] SET [data2] = NULL WHERE [row] = '" + row + "'",
                  {"TableIgnoreNulls2/data2"});
    expectChanges(path(), "UPDATE [TableIgnoreNulls2] SET [data2] = 7 WHERE [row] = '" + row + "'",
                  {"TableIgnoreNulls2/data2"});
    testing::expectSameAsMdbExport(path(), "TableIgnoreNulls1");
}

TEST_F(AccessIndexProperties, OrderByAnIgnoreNullsIndexGivesEveryRowNullsFirst) {
    auto db = Database::open(path(), OpenMode::ReadOnly);
    const auto up = column(*db, "SELECT data FROM TableIgnoreNulls1 ORDER BY data");
    ASSERT_EQ(up.size(), 10u);
    EXPECT_EQ(sql::lastAccessPath(), sql::AccessPath::IndexOrder);
    EXPECT_EQ(std::count(up.begin(), up.begin() + 4, u"<null>"), 4);
    EXPECT_TRUE(std::is_sorted(up.begin() + 4, up.end()));
    const auto down = column(*db, "SELECT data FROM TableIgnoreNulls1 ORDER BY data DESC");
    EXPECT_TRUE(std::equal(up.begin(), up.end(), down.rbegin()));
    // A LIKE can never match the rows the index leaves out.
    EXPECT_EQ(
        column(*db, "SELECT data FROM TableIgnoreNulls1 WHERE data LIKE '%' ORDER BY data").size(),
        6u);
}

TEST_F(AccessIndexProperties, NullKeysAndDuplicatesAreRefusedUnchanged) {
    expectRefused(path(), "UPDATE [TableIgnoreNulls1] SET [row] = NULL WHERE [row] = 'row2'",
                  ErrorKind::Constraint, {"'PrimaryKey'", "'TableIgnoreNulls1'", "'row'"});
    expectRefused(path(), "UPDATE [TableUnique1_temp] SET [data] = 'a'", ErrorKind::Constraint,
                  {"'DataIndex'", "'TableUnique1_temp'"});
    // NULL keys never clash in a unique index.
    auto db = Database::open(path(), OpenMode::ReadOnly);
    const auto rows = column(*db, "SELECT row FROM TableUnique1_temp WHERE data IS NOT NULL");
    db.reset();
    expectChanges(path(), "UPDATE [TableUnique1_temp] SET [data] = NULL",
                  std::vector<std::string>(rows.size(), "TableUnique1_temp/data"));
}

TEST(AccessRequiredColumns, RefuseNull) {
    if (!testing::haveFile("access/fixedTextTestV2000.mdb")) GTEST_SKIP();
    TempCopy copy("access/fixedTextTestV2000.mdb");
    {
        auto db = Database::open(copy.path(), OpenMode::ReadOnly);
        const TableInfo users = db->table("users");
        ASSERT_GE(users.columns.size(), 2u);
        EXPECT_TRUE(users.columns[1].required);  // c_user_login
        EXPECT_FALSE(users.columns[1].nullable);
    }
    expectRefused(copy.path(), "UPDATE users SET c_user_login = NULL", ErrorKind::Constraint,
                  {"'users.c_user_login'"});
}

// ---- on files of our own making ------------------------------------------

// A table with every rule: a primary key, an ignore-nulls text index, a
// required numeric index, a unique two-column index, a descending date
// index and a binary index holding an empty value.
TableDesign rulesTable() {
    using T = ColumnType;
    TableDesign t{"Reglas",
                  {{"Id", T::Long},
                   {"Nombre", T::Text, 20},
                   {"Cantidad", T::Long},
                   {"Fecha", T::DateTime},
                   {"Clave", T::Binary, 8},
                   {"Importe", T::Currency}},
                  {}};
    t.indexes = {{"PrimaryKey", {"Id"}, {}, IndexKind::PrimaryKey},
                 {"Nombre", {"Nombre"}, {}, IndexKind::Plain, 0x80 | kIndexIgnoreNulls},
                 {"Cantidad", {"Cantidad"}, {}, IndexKind::Plain, 0x80 | kIndexRequired},
                 {"NombreFecha", {"Nombre", "Fecha"}, {false, true}, IndexKind::Unique},
                 {"Clave", {"Clave"}, {true}, IndexKind::Plain}};
    return t;
}

std::string buildRules(const TempFile& file) {
    DatabaseBuilder b;
    const int t = b.addTable(rulesTable());
    for (int i = 0; i < 40; ++i) {
        Value name = i % 4 == 0 ? Value() : Value(utf8ToUtf16("n" + std::to_string(i % 13)));
        b.insert(t,
                 {Value(std::int64_t(i)), name, Value(std::int64_t(i % 5)),
                  Value(DateTime{45000.0 + i}), Value(Bytes(std::size_t(i % 9), std::uint8_t(i))),
                  Value(Currency{std::int64_t(i) * 12345})});
    }
    b.writeFile(file.path());
    return file.path();
}

class OwnRules : public ::testing::Test {
  protected:
    TempFile file_{"rules"};
    std::string path_ = buildRules(file_);
};

TEST_F(OwnRules, IndexesFollowTheirPropertiesThroughChanges) {
    expectIndexesExact(path_, "Reglas");
    // Ids 0, 4 and 8 have no name already.
    expectChanges(path_, "UPDATE Reglas SET Nombre = NULL WHERE Id < 10",
                  std::vector<std::string>(7, "Reglas/Nombre"));
    expectChanges(path_, "UPDATE Reglas SET Nombre = 'nuevo' WHERE Id = 0", {"Reglas/Nombre"});
    // Two all-NULL keys never clash in the unique index.
    expectChanges(path_, "UPDATE Reglas SET Fecha = NULL WHERE Id = 4 OR Id = 8",
                  {"Reglas/Fecha", "Reglas/Fecha"});
    // The row whose key is the empty binary value changes without damage.
    expectChanges(path_, "UPDATE Reglas SET Clave = ? WHERE Id = 9", {"Reglas/Clave"},
                  {Value(Bytes{1, 2, 3})});
    expectChanges(path_, "UPDATE Reglas SET Clave = ? WHERE Id = 1", {"Reglas/Clave"},
                  {Value(Bytes{})});
}

TEST_F(OwnRules, RefusalsNameTheRuleAndChangeNothing) {
    expectRefused(path_, "UPDATE Reglas SET Id = NULL WHERE Id = 3", ErrorKind::Constraint,
                  {"'PrimaryKey'", "'Reglas'", "'Id'"});
    expectRefused(path_, "UPDATE Reglas SET Cantidad = NULL WHERE Id > 30", ErrorKind::Constraint,
                  {"'Cantidad'", "'Reglas'"});
    expectRefused(path_, "UPDATE Reglas SET Id = 5 WHERE Id = 6", ErrorKind::Constraint,
                  {"'PrimaryKey'", "'Reglas'"});
    // Keys with a NULL part still clash: ids 4 and 8 have no name.
    expectRefused(path_, "UPDATE Reglas SET Fecha = #1/1/2024# WHERE Id = 4 OR Id = 8",
                  ErrorKind::Constraint, {"'NombreFecha'"});
    // Row 1 holds ('n1', 2023-03-16).
    expectRefused(path_, "UPDATE Reglas SET Nombre = 'n1', Fecha = #3/16/2023# WHERE Id = 2",
                  ErrorKind::Constraint, {"'NombreFecha'"});
}

TEST(IndexKeys, EmptyBinaryIsItsFlagByteAlone) {
    std::string asc, desc;
    appendIndexKey(asc, Value(Bytes{}), ColumnType::Binary, false, SortOrder::General4);
    appendIndexKey(desc, Value(Bytes{}), ColumnType::Binary, true, SortOrder::General4);
    EXPECT_EQ(asc, std::string("\x7F"));
    EXPECT_EQ(desc, std::string("\x80"));
    // It sorts after NULL and before every non-empty value.
    std::string one;
    appendIndexKey(one, Value(Bytes{0}), ColumnType::Binary, false, SortOrder::General4);
    EXPECT_LT(asc, one);
}

// ---- Currency and Decimal --------------------------------------------------

TEST(CurrencyValues, RoundHalfToEvenAndRefuseWhatDoesNotFit) {
    Column c{"c", ColumnType::Currency};
    // 1/32 and 3/32 are exact doubles that fall halfway between two ten-thousandths.
    EXPECT_EQ(sql::currencyFromDouble(0.03125, c).scaled, 312);
    EXPECT_EQ(sql::currencyFromDouble(0.09375, c).scaled, 938);
    EXPECT_EQ(sql::currencyFromDouble(-0.03125, c).scaled, -312);
    EXPECT_EQ(sql::currencyFromDouble(12.3456, c).scaled, 123456);
    // The largest currency is not a double: the nearest double lies above it.
    EXPECT_THROW(sql::currencyFromDouble(922337203685477.5807, c), Error);
    EXPECT_THROW(sql::currencyFromDouble(-922337203685477.5808, c), Error);
    EXPECT_EQ(sql::currencyFromDouble(922337203685477.0, c).scaled, 9223372036854770000);
    EXPECT_THROW(sql::currencyFromDouble(std::nan(""), c), Error);
}

TEST(DecimalValues, FitPrecisionAndScaleExactly) {
    Column c{"d", ColumnType::Numeric};
    c.precision = 5;
    c.scale = 2;
    EXPECT_EQ(sql::decimalForColumn("17", c).text, "17.00");
    EXPECT_EQ(sql::decimalForColumn("-0.5", c).text, "-0.50");
    EXPECT_EQ(sql::decimalForColumn("999.99", c).text, "999.99");
    EXPECT_EQ(sql::decimalForColumn("1.2e2", c).text, "120.00");
    EXPECT_EQ(sql::decimalForColumn("-0.00", c).text, "0.00");
    EXPECT_EQ(sql::decimalForColumn("12.3400", c).text, "12.34");
    try {
        sql::decimalForColumn("1000", c);
        ADD_FAILURE();
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Arithmetic);
        EXPECT_NE(std::string(e.what()).find("Decimal(5,2)"), std::string::npos) << e.what();
    }
    EXPECT_THROW(sql::decimalForColumn("1.234", c), Error);
    EXPECT_THROW(sql::decimalForColumn("1.2.3", c), Error);
    EXPECT_THROW(sql::decimalForColumn("", c), Error);
    Column wide{"w", ColumnType::Numeric};
    wide.precision = 28;
    wide.scale = 0;
    EXPECT_EQ(sql::decimalForColumn("9999999999999999999999999999", wide).text,
              "9999999999999999999999999999");
    EXPECT_THROW(sql::decimalForColumn("10000000000000000000000000000", wide), Error);
}

TEST(DecimalWrites, OnAFileAccessMade) {
    if (!testing::haveFile("access-mdbreader/V2000-numeric.mdb")) GTEST_SKIP();
    TempCopy copy("access-mdbreader/V2000-numeric.mdb");  // col2..col7 Decimal(18,0)
    expectChanges(copy.path(), "UPDATE test SET col2 = 17, col3 = -12, col4 = 999999999999999999",
                  {"test/col2", "test/col3", "test/col4"});
    expectRefused(copy.path(), "UPDATE test SET col4 = 1000000000000000000", ErrorKind::Arithmetic,
                  {"'col4'", "Decimal(18,0)"});
    expectRefused(copy.path(), "UPDATE test SET col3 = -12.5", ErrorKind::Arithmetic, {"'col3'"});
    auto db = Database::open(copy.path(), OpenMode::ReadOnly);
    auto c = db->query("SELECT col2, col3, col4 FROM test");
    ASSERT_TRUE(c->next());
    EXPECT_EQ(c->row()[0], Value(Decimal{"17"}));
    EXPECT_EQ(c->row()[1], Value(Decimal{"-12"}));
    EXPECT_EQ(c->row()[2], Value(Decimal{"999999999999999999"}));
    testing::expectSameAsMdbExport(copy.path(), "test");
}

TEST(CurrencyWrites, StoredExactlyAndRefusedBeyondTheRange) {
    TempFile file("currency");
    buildRules(file);
    expectChanges(file.path(), "UPDATE Reglas SET Importe = 0.03125 WHERE Id = 1",
                  {"Reglas/Importe"});
    expectChanges(file.path(), "UPDATE Reglas SET Importe = ? WHERE Id = 2", {"Reglas/Importe"},
                  {Value(Currency{std::numeric_limits<std::int64_t>::min()})});
    expectRefused(file.path(), "UPDATE Reglas SET Importe = 922337203685477.5807 WHERE Id = 3",
                  ErrorKind::Arithmetic, {"'Importe'"});
    expectRefused(file.path(), "UPDATE Reglas SET Importe = ? WHERE Id = 3", ErrorKind::Arithmetic,
                  {"'Importe'"}, {Value(1e300)});
    auto db = Database::open(file.path(), OpenMode::ReadOnly);
    auto c = db->query("SELECT Importe FROM Reglas WHERE Id <= 2 ORDER BY Id");
    ASSERT_TRUE(c->next());
    ASSERT_TRUE(c->next());
    EXPECT_EQ(c->row()[0], Value(Currency{312}));
    ASSERT_TRUE(c->next());
    EXPECT_EQ(c->row()[0], Value(Currency{std::numeric_limits<std::int64_t>::min()}));
}

// ---- a page map that must grow into a map of pages -------------------------

TEST(UsageMapGrowth, InlineMapBecomesAMapOfPagesWhenARowMovesFarAway) {
    // A small table first, then one large enough to push the end of the
    // file beyond the small table's inline map window (512 pages): rows of
    // the small table that outgrow their pages move to new pages there.
    TempFile file("usage-map");
    {
        using T = ColumnType;
        DatabaseBuilder b;
        const int small =
            b.addTable(TableDesign{"Pequena",
                                   {{"Id", T::Long}, {"Texto", T::Text, 255}},
                                   {{"PrimaryKey", {"Id"}, {}, IndexKind::PrimaryKey}}});
        // Rows that fill their page, so that growing one moves it.
        for (int i = 0; i < 24; ++i)
            b.insert(small,
                     {Value(std::int64_t(i)), Value(std::u16string(160, u'a' + char16_t(i % 26)))});
        const int big =
            b.addTable(TableDesign{"Grande", {{"Id", T::Long}, {"Texto", T::Text, 255}}, {}});
        for (int i = 0; i < 20000; ++i)
            b.insert(big, {Value(std::int64_t(i)), Value(std::u16string(200, u'z'))});
        b.writeFile(file.path());
    }
    std::uint32_t pagesBefore = 0;
    {
        auto s = Storage::open(file.path(), false);
        pagesBefore = s->pager().pageCount();
        ASSERT_GT(pagesBefore, 600u);
    }
    // Text that cannot be compressed: every row triples in size, and the
    // table's pages cannot hold them all.
    const std::u16string longText(255, u'\u0100');
    expectChanges(file.path(), "UPDATE Pequena SET Texto = ?",
                  std::vector<std::string>(24, "Pequena/Texto"), {Value(longText)});
    auto s = Storage::open(file.path(), false);
    const TableDef& def = s->tableDef("Pequena");
    const auto owned = s->usageMapPages(def.ownedMap);
    ASSERT_FALSE(owned.empty());
    EXPECT_GE(owned.back(), pagesBefore) << "the moved row's new page is in the table's map";
    EXPECT_LT(owned.front(), 512u);
    testing::checkDataPages(*s, def);
    testing::expectSameAsMdbExport(file.path(), "Pequena");
    auto db = Database::open(file.path(), OpenMode::ReadOnly);
    auto c = db->query("SELECT Texto FROM Pequena");
    int rows = 0;
    for (; c->next(); ++rows) EXPECT_EQ(c->row()[0], Value(longText));
    EXPECT_EQ(rows, 24);
}

}  // namespace
}  // namespace jet

// ---- every index property, in Jet 4 and Jet 3 files of our own making ------

namespace jet {
namespace {

class EveryProperty : public ::testing::TestWithParam<int> {
  protected:
    int version() const { return GetParam(); }
    TempCopy copy_{"properties.mdb", testing::indexPropertyFile(GetParam())};
    const std::string& path() const { return copy_.path(); }
};

TEST_P(EveryProperty, IgnoreNullsAndRequiredIndexes) {
    // Id 1: Code, Amount and Region all NULL, so no entry in either
    // ignore-nulls index; Id 2 has them all.
    expectChanges(path(), "UPDATE IgnoreNulls SET Code = NULL WHERE Id = 2", {"IgnoreNulls/Code"});
    expectChanges(path(), "UPDATE IgnoreNulls SET Code = 'x' WHERE Id = 1", {"IgnoreNulls/Code"});
    expectChanges(path(), "UPDATE IgnoreNulls SET Amount = NULL, Region = NULL WHERE Id = 2",
                  {"IgnoreNulls/Amount", "IgnoreNulls/Region"});
    expectChanges(path(), "UPDATE IgnoreNulls SET Region = 'Sur' WHERE Id = 1",
                  {"IgnoreNulls/Region"});
    {
        auto db = Database::open(path(), OpenMode::ReadOnly);
        EXPECT_EQ(column(*db, "SELECT Region FROM IgnoreNulls ORDER BY Amount, Region DESC").size(),
                  40u);
        EXPECT_EQ(sql::lastAccessPath(), sql::AccessPath::IndexOrder);
    }
    expectRefused(path(), "UPDATE RequiredKeys SET Ref = NULL WHERE Id = 3", ErrorKind::Constraint,
                  {"'Ref'", "'RequiredKeys'"});
    expectRefused(path(), "UPDATE RequiredKeys SET B = NULL", ErrorKind::Constraint, {"'AB'"});
    expectRefused(path(), "UPDATE PrimaryKeyMulti SET Linea = NULL WHERE Serie = 'A'",
                  ErrorKind::Constraint, {"'PrimaryKey'", "'Linea'"});
    expectRefused(path(), "UPDATE RequiredColumns SET Nombre = NULL WHERE Id = 2",
                  ErrorKind::Constraint, {"'RequiredColumns.Nombre'"});
    expectChanges(path(), "UPDATE RequiredColumns SET Nota = NULL WHERE Id = 2",
                  {"RequiredColumns/Nota"});
}

TEST_P(EveryProperty, UniqueKeysAndEveryKeyType) {
    expectRefused(path(), "UPDATE UniqueKeys SET Email = 'USUARIO1@tienda.es' WHERE Id = 4",
                  ErrorKind::Constraint, {"Email", "'UniqueKeys'"});
    expectChanges(path(), "UPDATE UniqueKeys SET Email = NULL WHERE Id = 4", {"UniqueKeys/Email"});
    expectChanges(path(),
                  "UPDATE PrimaryKeyMulti SET Numero = 999 WHERE Serie = 'Ñ' AND Numero = -40 AND "
                  "Linea = 0",
                  {"PrimaryKeyMulti/Numero"});
    std::string set =
        "UPDATE KeyTypes SET Txt = 'Nuevo ÁRBOL', Byt = 7, Int = -5, Lng = 123456, Cur = 1.5, "
        "Sng = 2.5, Dbl = -3.25, Dt = #1/2/2020#, YN = TRUE, Bin = ?";
    std::vector<std::string> changed = {
        "KeyTypes/Txt", "KeyTypes/Byt", "KeyTypes/Int", "KeyTypes/Lng", "KeyTypes/Cur",
        "KeyTypes/Sng", "KeyTypes/Dbl", "KeyTypes/Dt",  "KeyTypes/YN",  "KeyTypes/Bin"};
    if (version() >= 4) {
        set += ", Dec = 12.3456";
        changed.push_back("KeyTypes/Dec");
    }
    expectChanges(path(), set + " WHERE Id = 5", changed, {Value(Bytes{9, 8, 7})});
    expectChanges(path(), "UPDATE EmptyBinary SET Bin = ? WHERE Id = 0", {"EmptyBinary/Bin"},
                  {Value(Bytes{9})});
    expectChanges(path(), "UPDATE EmptyBinary SET Bin = ? WHERE Id = 3", {"EmptyBinary/Bin"},
                  {Value(Bytes{})});
    expectRefused(path(), "UPDATE EmptyBinary SET Bin = ? WHERE Id = 4", ErrorKind::Constraint,
                  {"'BinUnique'"}, {Value(Bytes{})});
}

TEST_P(EveryProperty, CurrencyAndDecimalLimits) {
    expectRefused(path(), "UPDATE Limits SET Cur = 922337203685477.5807 WHERE Id = 7",
                  ErrorKind::Arithmetic, {"'Cur'"});
    expectChanges(path(), "UPDATE Limits SET Cur = ? WHERE Id = 7", {"Limits/Cur"},
                  {Value(Currency{std::numeric_limits<std::int64_t>::min() + 2})});
    if (version() < 4) return;
    expectRefused(path(), "UPDATE Limits SET D5s2 = 999.99 WHERE Id = 7", ErrorKind::Constraint,
                  {"'D5s2'"});
    expectRefused(path(), "UPDATE Limits SET D5s2 = 1000 WHERE Id = 7", ErrorKind::Arithmetic,
                  {"'D5s2'", "Decimal(5,2)"});
    expectChanges(path(),
                  "UPDATE Limits SET D28 = -9999999999999999999999999998, D28s10 = 0.5, D5s2 = 17 "
                  "WHERE Id = 7",
                  {"Limits/D28", "Limits/D28s10", "Limits/D5s2"});
    auto db = Database::open(path(), OpenMode::ReadOnly);
    auto c = db->query("SELECT D28, D28s10, D5s2 FROM Limits WHERE Id = 7");
    ASSERT_TRUE(c->next());
    EXPECT_EQ(c->row()[0], Value(Decimal{"-9999999999999999999999999998"}));
    EXPECT_EQ(c->row()[1], Value(Decimal{"0.5000000000"}));
    EXPECT_EQ(c->row()[2], Value(Decimal{"17.00"}));
    db.reset();
    testing::expectSameAsMdbExport(path(), "Limits");
}

INSTANTIATE_TEST_SUITE_P(Jet, EveryProperty, ::testing::Values(4, 3),
                         [](const ::testing::TestParamInfo<int>& i) {
                             return "Jet" + std::to_string(i.param);
                         });

}  // namespace
}  // namespace jet
