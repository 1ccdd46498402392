// Equality lookups through an index: a WHERE that pins every column of an
// index with `=` seeks the index. Each statement is compared with the same
// condition written so that no index can serve it (an OR), which the
// executor answers by scanning; both must give the same rows in the same
// order, for hits, misses, NULL, letter case and trailing blanks.
#include <set>

#include "jet/jet.h"
#include "sql/select.h"
#include "writer_check.h"

namespace jet {
namespace {

using sql::AccessPath;
using sql::lastAccessPath;
using testing::TempCopy;

std::vector<std::vector<Value>> all(Database& db, const std::string& sql,
                                    const std::vector<Value>& params = {}) {
    auto c = db.query(sql, params);
    std::vector<std::vector<Value>> rows;
    while (c->next()) rows.push_back(c->row());
    return rows;
}

// Rows of `seekSql` (which must seek) and of `scanSql` (which must scan).
void expectSameAsScan(Database& db, const std::string& seekSql, const std::string& scanSql,
                      const std::vector<Value>& seekParams, const std::vector<Value>& scanParams,
                      std::size_t expectedRows) {
    SCOPED_TRACE(seekSql);
    const auto seek = all(db, seekSql, seekParams);
    EXPECT_EQ(lastAccessPath(), AccessPath::IndexSeek);
    const auto scan = all(db, scanSql, scanParams);
    EXPECT_EQ(lastAccessPath(), AccessPath::Scan);
    EXPECT_EQ(seek.size(), expectedRows);
    EXPECT_EQ(seek, scan);
}

Value text(const std::u16string& s) { return Value(s); }

TEST(IndexSeek, TextKeyMatchesTheScanForHitsMissesNullAndCase) {
    auto db = Database::open(testing::storeFile("store.mdb"), OpenMode::ReadOnly);
    const std::string seek = "select * from Articulos where [Referencia] = ?";
    const std::string scan = "select * from Articulos where ([Referencia] = ? or [Referencia] = ?)";
    struct Case {
        Value param;
        std::size_t rows;
    } cases[] = {
        {text(u"M00004"), 1},
        {text(u"m00004"), 1},  // Access's equality ignores case
        {text(u"TOR-M8X40"), 1},
        {text(u"tor-m8x40"), 1},
        {text(u"M00004   "), 1},  // and trailing blanks
        {text(u"M00004X"), 0},
        {text(u""), 0},
        {text(u"ZZZZZZ"), 0},
        {text(u"M0000"), 0},
        {text(u"M\u00D30004"), 0},  // accents count
        {Value(), 0},               // NULL equals nothing
    };
    for (const Case& c : cases)
        expectSameAsScan(*db, seek, scan, {c.param}, {c.param, c.param}, c.rows);

    // Every reference of the table is found by itself in lower case.
    const auto refs = all(*db, "select Referencia from Articulos");
    ASSERT_EQ(refs.size(), std::size_t(testing::storeOptions().items));
    std::size_t found = 0;
    for (const auto& r : refs) {
        std::u16string s = std::get<std::u16string>(r[0].v);
        for (char16_t& ch : s)
            if (ch >= u'A' && ch <= u'Z') ch = char16_t(ch - u'A' + u'a');
        auto rows = all(*db, "select Referencia from Articulos where Referencia = ?", {Value(s)});
        ASSERT_EQ(rows.size(), 1u) << utf16ToUtf8(s);
        found += rows[0][0] == r[0];
    }
    EXPECT_EQ(found, refs.size());
}

TEST(IndexSeek, QualifiedNamesLiteralsAndOtherConditions) {
    auto db = Database::open(testing::storeFile("store.mdb"), OpenMode::ReadOnly);
    expectSameAsScan(*db, "select * from Articulos where [Articulos].[Referencia] = 'mb-01'",
                     "select * from Articulos where ([Referencia] = 'mb-01' or 1 = 0)", {}, {},
                     all(*db, "select * from Articulos where not (Referencia <> 'MB-01')").size());
    expectSameAsScan(*db, "select * from Articulos where 'M00004' = Referencia",
                     "select * from Articulos where (Referencia = 'M00004' or 1 = 0)", {}, {}, 1);
    // Inside AND, with conditions that hold and that fail.
    expectSameAsScan(*db,
                     "select Referencia, [PVP 1] from Articulos where [PVP 1] > ? and "
                     "(Referencia = ? and Descripcion is not null)",
                     "select Referencia, [PVP 1] from Articulos where [PVP 1] > ? and "
                     "(Referencia = ? or 1 = 0) and Descripcion is not null",
                     {Value(0.0), text(u"m00004")}, {Value(0.0), text(u"m00004")}, 1);
    expectSameAsScan(*db, "select * from Articulos where [PVP 1] < 0 and Referencia = 'M00004'",
                     "select * from Articulos where [PVP 1] < 0 and (Referencia = 'M00004' or 1=0)",
                     {}, {}, 0);
    // A non-unique index: many rows with one key, in the order asked for.
    const std::string descSeek =
        "select Referencia, Descripcion from Articulos where [Tipo Impuesto] = ? "
        "order by Descripcion desc, Referencia";
    const std::string descScan =
        "select Referencia, Descripcion from Articulos where ([Tipo Impuesto] = ? or 1 = 0) "
        "order by Descripcion desc, Referencia";
    const auto some = all(*db, descScan, {Value(std::int64_t{1})});
    EXPECT_GT(some.size(), 10u);
    expectSameAsScan(*db, descSeek, descScan, {Value(std::int64_t{1})}, {Value(std::int64_t{1})},
                     some.size());
    // A number that no Integer column can hold, and a text where a number is kept:
    // the same answer (or the same error) as the scan.
    expectSameAsScan(*db, "select * from Articulos where [Tipo Impuesto] = 70000",
                     "select * from Articulos where ([Tipo Impuesto] = 70000 or 1 = 0)", {}, {}, 0);
    EXPECT_EQ(lastAccessPath(), AccessPath::Scan);
    EXPECT_THROW(all(*db, "select * from Articulos where [Tipo Impuesto] = 'x'"), Error);
}

TEST(IndexSeek, TwoColumnKeyOfTheTicketTable) {
    auto db = Database::open(testing::storeFile("store.mdb"), OpenMode::ReadOnly);
    const std::string t = "[Cabecera Tickets de Venta]";
    const auto keys = all(*db, "select Serie, Numero from " + t);
    ASSERT_GT(keys.size(), 100u);
    for (std::size_t i = 0; i < keys.size(); i += 97) {
        const auto& k = keys[i];
        expectSameAsScan(*db, "select * from " + t + " where Numero = ? and Serie = ?",
                         "select * from " + t + " where (Numero = ? or 1 = 0) and Serie = ?",
                         {k[1], k[0]}, {k[1], k[0]}, 1);
    }
    // Only one of the two columns pinned: no seek on the primary key.
    all(*db, "select * from " + t + " where Numero = ?", {keys[0][1]});
    EXPECT_EQ(lastAccessPath(), AccessPath::Scan);
}

TEST(IndexSeek, UpdateFindsItsRowThroughTheIndex) {
    TempCopy copy("store.mdb");
    auto db = Database::open(copy.path());
    const std::string post = "UPDATE Articulos SET [PVP 1] = ? WHERE [Referencia] = ?";
    EXPECT_EQ(db->execute(post, {Value(4.5), text(u"prueba1")}), 1);
    EXPECT_EQ(lastAccessPath(), AccessPath::IndexSeek);
    EXPECT_EQ(db->execute(post, {Value(4.5), text(u"NO-EXISTE")}), 0);
    EXPECT_EQ(db->execute(post, {Value(4.5), Value()}), 0);
    EXPECT_EQ(lastAccessPath(), AccessPath::IndexSeek);
    const auto rows =
        all(*db, "select [PVP 1] from Articulos where ([Referencia] = 'PRUEBA1' or 1=0)");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], Value(4.5));
    // The key itself changes: the row is found by its new key, not by the old.
    EXPECT_EQ(db->execute("UPDATE Articulos SET Referencia = 'PRUEBA1-B' WHERE Referencia = ?",
                          {text(u"Prueba1")}),
              1);
    EXPECT_EQ(all(*db, "select * from Articulos where Referencia = 'PRUEBA1'").size(), 0u);
    EXPECT_EQ(all(*db, "select * from Articulos where Referencia = 'prueba1-b'").size(), 1u);
    db.reset();
    testing::expectFileSound(copy.path(), "Articulos");
}

}  // namespace
}  // namespace jet
