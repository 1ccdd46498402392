// UPDATE through jet::Database on copies of the store fixtures: the tool's
// item post and ticket statements, rows that grow until they move, long
// runs of updates, refused statements that must change nothing, and the
// read-only and locked cases. After each scenario the file is checked by
// write_check.h (engine vs mdb-export, exact indexes, sound pages).

#include <random>

#include "database.h"
#include "io/file_lock.h"
#include "io/journal.h"
#include "jet/jet.h"
#include "writer_check.h"

namespace jet {
namespace {

using testing::expectFileSound;
using testing::oleDay;
using testing::readAll;
using testing::storeOptions;
using testing::TempCopy;
using testing::TicketRange;
using testing::ticketRange;

const std::string kTickets = "Cabecera Tickets de Venta";

const std::string kItemPost =
    "UPDATE Articulos SET [Descripcion] = ?, [Descripcion Corta] = ?, [Tipo Impuesto] = ?, "
    "[Proveedor 1] = ?, [PVP 1] = ?, [PVP 2] = ?, [Precio Compra Proveedor 1] = ? WHERE "
    "[Referencia] = ?";

std::int64_t count(Database& db, const std::string& sql, const std::vector<Value>& params = {}) {
    auto c = db.query(sql, params);
    std::int64_t n = 0;
    while (c->next()) ++n;
    return n;
}

std::vector<Value> row(Database& db, const std::string& sql, const std::vector<Value>& params) {
    auto c = db.query(sql, params);
    EXPECT_TRUE(c->next());
    return c->row();
}

// The three ticket statements exactly as the tool writes them.
std::string ticketStatement(char kind, const std::string& from, const std::string& to) {
    const std::string t = "[Cabecera Tickets de Venta]";
    std::string s = "UPDATE " + t + " SET " + t + ".Documento = '', " + t + ".[Forma de Pago] = '" +
                    (kind == 'A' ? "Facturado" : "Pendiente") + "'";
    s += "\r\n WHERE (((" + t + ".Fecha)>=#" + from + "#)";
    if (kind == 'C') {
        s += "\r\n AND ((" + t + ".Fecha)<=#" + to + "#)";
        s += "\r\n AND ((" + t + ".[Forma de Pago])<>'Facturado'))";
    } else {
        s += "\r\n AND ((" + t + ".Fecha)<=#" + to + "#))";
    }
    return s;
}

TEST(WriteUpdate, ItemPostWritesEveryFieldAndKeepsTheRest) {
    TempCopy copy("store.mdb");
    auto db = Database::open(copy.path());
    const std::string pick = "SELECT * FROM Articulos WHERE [Referencia] = ?";
    const std::vector<Value> before = row(*db, pick, {Value(u"M00004")});
    const std::vector<Value> params = {Value(u"ARENA LAVADA SACO NOTA EXTRA LARGA PARA PROBAR"),
                                       Value(u"ARENA NOTA"),
                                       Value(std::int64_t{2}),
                                       Value(std::int64_t{17}),
                                       Value(12.3456789),
                                       Value(11.7284),
                                       Value(7.25),
                                       Value(u"M00004")};
    EXPECT_EQ(db->execute(kItemPost, params), 1);
    const TableInfo info = db->table("Articulos");
    const std::vector<Value> after = row(*db, pick, {Value(u"M00004")});
    for (std::size_t i = 0; i < info.columns.size(); ++i) {
        const std::string& name = info.columns[i].name;
        if (name == "Descripcion")
            EXPECT_EQ(after[i], params[0]);
        else if (name == "Descripcion Corta")
            EXPECT_EQ(after[i], params[1]);
        else if (name == "Tipo Impuesto")
            EXPECT_EQ(after[i], params[2]);
        else if (name == "Proveedor 1")
            EXPECT_EQ(after[i], params[3]);
        else if (name == "PVP 1")
            EXPECT_EQ(after[i], params[4]);
        else if (name == "PVP 2")
            EXPECT_EQ(after[i], params[5]);
        else if (name == "Precio Compra Proveedor 1")
            EXPECT_EQ(after[i], params[6]);
        else
            EXPECT_EQ(after[i], before[i]) << name << " changed";  // the 10000-byte memo included
    }
    // The index on Descripcion finds the new text, not the old one.
    EXPECT_EQ(
        count(*db, "SELECT Referencia FROM Articulos WHERE Descripcion = 'ARENA LAVADA SACO NOTA'"),
        0);
    EXPECT_EQ(count(*db,
                    "SELECT Referencia FROM Articulos WHERE Descripcion LIKE 'ARENA LAVADA SACO "
                    "NOTA EXTRA%'"),
              1);
    db.reset();
    expectFileSound(copy.path(), "Articulos");
}

TEST(WriteUpdate, PriceOnlyPostTouchesOneDataPage) {
    TempCopy copy("store.mdb");
    const auto original = readAll(copy.path());
    auto db = Database::open(copy.path());
    EXPECT_EQ(db->execute(
                  "UPDATE Articulos SET [PVP 1] = ?, [PVP 2] = ?, [Precio Compra Proveedor 1] = ? "
                  "WHERE [Referencia] = ?",
                  {Value(13.5), Value(12.825), Value(10.75), Value(u"PRUEBA1")}),
              1);
    EXPECT_EQ(lastWriteStats(*db).pagesWritten, 1);
    EXPECT_EQ(lastWriteStats(*db).indexEntriesChanged, 0);
    db.reset();
    const auto changed = readAll(copy.path());
    ASSERT_EQ(changed.size(), original.size());
    std::set<std::size_t> pages;
    for (std::size_t i = 0; i < changed.size(); ++i)
        if (changed[i] != original[i]) pages.insert(i / 4096);
    EXPECT_EQ(pages.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(journalPath(copy.path())));
    expectFileSound(copy.path(), "Articulos");
}

struct TicketCase {
    const char* from;
    const char* to;
    double fromDay;
    double toDay;
};

TEST(WriteUpdate, TicketStatementsChangeExactlyTheRange) {
    const TicketCase cases[] = {
        {"3/5/2024", "4/12/2024", oleDay(2024, 3, 5), oleDay(2024, 4, 12)},
        {"6/14/2024", "6/14/2024", oleDay(2024, 6, 14), oleDay(2024, 6, 14)},
        {"4/12/2024", "3/5/2024", oleDay(2024, 4, 12), oleDay(2024, 3, 5)}};
    for (const TicketCase& tc : cases) {
        SCOPED_TRACE(std::string(tc.from) + " - " + tc.to);
        TempCopy copy("store.mdb");
        const TicketRange expected = ticketRange(copy.path(), tc.fromDay, tc.toDay);
        if (tc.fromDay <= tc.toDay) {
            EXPECT_GT(expected.notInvoiced, 0) << "the range holds no ticket";
        }
        auto db = Database::open(copy.path());
        const std::string facturado =
            "SELECT Numero FROM [" + kTickets + "] WHERE [Forma de Pago] = 'Facturado'";
        const std::int64_t facturadoBefore = count(*db, facturado);
        const std::string outside = "SELECT Numero FROM [" + kTickets + "] WHERE Fecha > #" +
                                    std::string(tc.to) + "# AND Fecha < #" + std::string(tc.to) +
                                    " 23:59:59#";
        const std::int64_t lateSameDay = count(*db, outside + " AND Documento IS NULL");

        EXPECT_EQ(db->execute(ticketStatement('C', tc.from, tc.to)), expected.notInvoiced);
        EXPECT_EQ(count(*db, facturado), facturadoBefore);  // C never touches invoiced tickets
        EXPECT_EQ(db->execute(ticketStatement('B', tc.from, tc.to)), expected.inRange);
        EXPECT_EQ(db->execute(ticketStatement('A', tc.from, tc.to)), expected.inRange);
        const std::string range = "SELECT Numero FROM [" + kTickets + "] WHERE Fecha >= #" +
                                  std::string(tc.from) + "# AND Fecha <= #" + std::string(tc.to) +
                                  "#";
        EXPECT_EQ(count(*db, range + " AND [Forma de Pago] = 'Facturado' AND Documento = ''"),
                  expected.inRange);
        // Tickets later on the last day (a time of day) lie outside the range.
        EXPECT_EQ(count(*db, outside + " AND Documento IS NULL"), lateSameDay);
        db.reset();
        expectFileSound(copy.path(), kTickets);
    }
}

TEST(WriteUpdate, WholeYearTicketUpdateMovesRowsAndKeepsIndexes) {
    TempCopy copy("store.mdb");
    const TicketRange year = ticketRange(copy.path(), oleDay(2024, 1, 1), oleDay(2024, 12, 31));
    // The last ticket of the year has a time of day: the only one left out.
    ASSERT_EQ(year.inRange, storeOptions().tickets - 1);
    auto db = Database::open(copy.path());
    EXPECT_EQ(db->execute(ticketStatement('C', "1/1/2024", "12/31/2024")), year.notInvoiced);
    EXPECT_EQ(db->execute(ticketStatement('A', "1/1/2024", "12/31/2024")), year.inRange);
    EXPECT_GT(lastWriteStats(*db).indexEntriesChanged, 0);
    EXPECT_EQ(
        count(*db, "SELECT Numero FROM [" + kTickets + "] WHERE [Forma de Pago] = 'Pendiente'"), 1);
    db.reset();
    expectFileSound(copy.path(), kTickets);
}

// Rows on the fullest page of Articulos, shortest first.
std::vector<std::u16string> referencesOnFullestPage(const std::string& path) {
    auto s = Storage::open(path, false);
    const TableDef& def = s->tableDef("Articulos");
    std::map<std::uint32_t, std::vector<std::u16string>> byPage;
    const int ref = def.columnIndex("Referencia");
    s->scan(def, {ref}, [&](RowId id, std::vector<Value>& v) {
        byPage[id.page].push_back(std::get<std::u16string>(v[0].v));
        return true;
    });
    std::uint32_t best = 0;
    std::size_t leastFree = SIZE_MAX;
    for (auto& [p, refs] : byPage) {
        const std::size_t free = s->pager().page(p).u16(s->format().dataFreeSpace);
        if (free < leastFree) leastFree = free, best = p;
    }
    return byPage[best];
}

TEST(WriteUpdate, DescriptionGrowsOnAFullPageMovesTheRowThenShrinks) {
    TempCopy copy("store.mdb");
    const auto refs = referencesOnFullestPage(copy.path());
    ASSERT_FALSE(refs.empty());
    auto db = Database::open(copy.path());
    const std::string set = "UPDATE Articulos SET Descripcion = ? WHERE Referencia = ?";
    const std::string get = "SELECT Descripcion FROM Articulos WHERE Referencia = ?";
    long moved = 0;
    for (std::size_t i = 0; i < refs.size() && i < 6; ++i) {
        EXPECT_EQ(db->execute(set, {Value(u"ABC"), Value(refs[i])}), 1);
        const std::u16string sixty =
            u"DESCRIPCION DE SESENTA CARACTERES PARA FORZAR UN MOVIMIENTO ";
        ASSERT_EQ(sixty.size(), 60u);
        EXPECT_EQ(db->execute(set, {Value(sixty), Value(refs[i])}), 1);
        moved += lastWriteStats(*db).rowsMoved;
        EXPECT_EQ(row(*db, get, {Value(refs[i])})[0], Value(sixty));
    }
    EXPECT_GT(moved, 0) << "no row had to move";
    // A moved row changes again (in its new place) and shrinks.
    EXPECT_EQ(db->execute(set, {Value(u"CORTA"), Value(refs[0])}), 1);
    EXPECT_EQ(row(*db, get, {Value(refs[0])})[0], Value(u"CORTA"));
    EXPECT_EQ(count(*db, "SELECT Referencia FROM Articulos"), storeOptions().items);
    db.reset();
    expectFileSound(copy.path(), "Articulos");
}

TEST(WriteUpdate, ThousandsOfUpdatesKeepTheFileValid) {
    TempCopy copy("store.mdb");
    auto db = Database::open(copy.path());
    std::vector<std::u16string> refs;
    {
        auto c = db->query("SELECT Referencia FROM Articulos");
        while (c->next()) refs.push_back(std::get<std::u16string>(c->row()[0].v));
    }
    std::mt19937 rng(12345);
    const std::u16string letters = u"ABCDEFGHIJKLMNOPQRSTUVWXYZ ÑÁÉ0123456789";
    for (int i = 0; i < 2000; ++i) {
        std::u16string d;
        const int len = 1 + static_cast<int>(rng() % 60);
        for (int k = 0; k < len; ++k) d += letters[rng() % letters.size()];
        const std::u16string& ref = refs[rng() % refs.size()];
        ASSERT_EQ(db->execute(kItemPost,
                              {Value(d), Value(d.substr(0, 25)), Value(std::int64_t(1 + rng() % 4)),
                               Value(std::int64_t(1 + rng() % 40)),
                               Value(double(rng() % 10000) / 7), Value(double(rng() % 10000) / 9),
                               Value(double(rng() % 10000) / 11), Value(ref)}),
                  1);
    }
    EXPECT_EQ(count(*db, "SELECT Referencia FROM Articulos"), storeOptions().items);
    db.reset();
    expectFileSound(copy.path(), "Articulos");
}

TEST(WriteUpdate, RefusedStatementsChangeNothing) {
    TempCopy copy("store.mdb");
    const auto original = readAll(copy.path());
    auto db = Database::open(copy.path());
    // A character the sort order has no code for: the index key cannot be
    // written, so the whole statement (many rows) is refused.
    const std::u16string lone = std::u16string(u"CEMENTO ") + char16_t(0xD800);
    EXPECT_THROW(
        db->execute("UPDATE Articulos SET Descripcion = ? WHERE Descripcion LIKE '%CEMENTO%'",
                    {Value(lone)}),
        Error);
    // A duplicate primary key (case-insensitive text key).
    try {
        db->execute("UPDATE Articulos SET Referencia = 'e00002' WHERE Referencia = 'E00001'");
        ADD_FAILURE() << "duplicate key accepted";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Constraint);
        EXPECT_NE(std::string(e.what()).find("'PrimaryKey' of table 'Articulos'"),
                  std::string::npos)
            << e.what();
    }
    // Too long for Text(25).
    EXPECT_THROW(
        db->execute("UPDATE Articulos SET [Descripcion Corta] = ? WHERE Referencia = 'E00001'",
                    {Value(std::u16string(26, u'X'))}),
        Error);
    db.reset();
    EXPECT_TRUE(readAll(copy.path()) == original);
    EXPECT_FALSE(std::filesystem::exists(journalPath(copy.path())));
}

TEST(WriteUpdate, ReadOnlyFileReadsButRefusesTheFirstWrite) {
    TempCopy copy("store.mdb");
    auto check = [&](Database& db) {
        EXPECT_EQ(count(db, "SELECT Referencia FROM Articulos"), storeOptions().items);
        try {
            db.execute("UPDATE Articulos SET [PVP 1] = 1 WHERE Referencia = 'PRUEBA1'");
            ADD_FAILURE() << "write accepted";
        } catch (const Error& e) {
            EXPECT_EQ(e.kind(), ErrorKind::ReadOnly) << e.what();
        }
    };
    auto ro = Database::open(copy.path(), OpenMode::ReadOnly);
    check(*ro);
    ro.reset();
    testing::makeReadOnly(copy.path());
    if (testing::readOnlyStopsWrites(copy.path())) {
        auto db = Database::open(copy.path());
        check(*db);
    }
}

TEST(WriteUpdate, LockedFileFailsAfterABoundedWait) {
    TempCopy copy("store.mdb");
    auto db = Database::open(copy.path());
    const auto saved = FileLock::defaultWait();
    FileLock::setDefaultWait(std::chrono::milliseconds(300));
    {
        FileLock other = FileLock::acquire(systemEnv(), copy.path(), std::chrono::milliseconds(0));
        const auto start = std::chrono::steady_clock::now();
        try {
            db->execute("UPDATE Articulos SET [PVP 1] = 1 WHERE Referencia = 'PRUEBA1'");
            ADD_FAILURE() << "write while another writer holds the file";
        } catch (const Error& e) {
            EXPECT_EQ(e.kind(), ErrorKind::Locked) << e.what();
        }
        const auto waited = std::chrono::steady_clock::now() - start;
        EXPECT_GE(waited, std::chrono::milliseconds(250));
        EXPECT_LT(waited, std::chrono::seconds(5));
        // Readers are not blocked.
        EXPECT_EQ(count(*db, "SELECT Referencia FROM Articulos"), storeOptions().items);
    }
    EXPECT_EQ(db->execute("UPDATE Articulos SET [PVP 1] = 1 WHERE Referencia = 'PRUEBA1'"), 1);
    FileLock::setDefaultWait(saved);
}

}  // namespace
}  // namespace jet
