// The writer on databases this engine created: the tool's item post and
// ticket statements, rows that grow until they move, and long runs of
// updates on the generated demo store, whose index leaves are packed full
// (so the first changed key splits pages). After each scenario the file
// must still read the same through mdb-export and keep exact indexes.
#include <random>

#include "database.h"
#include "database_builder_checks.h"
#include "jet/jet.h"
#include "store_content.h"
#include "writer_check.h"

namespace jet {
namespace {

const std::string kTickets = "[Cabecera Tickets de Venta]";

std::int64_t count(Database& db, const std::string& sql, const std::vector<Value>& params = {}) {
    auto c = db.query(sql, params);
    std::int64_t n = 0;
    while (c->next()) ++n;
    return n;
}

// The demo store, built once per run; each test writes to its own copy.
const std::string& builtDemo() {
    static testing::TempFile file("demo-source");
    static bool built = (store::writeStore(file.path(), store::demoOptions()), true);
    (void)built;
    return file.path();
}

class DemoCopy {
  public:
    const std::string& path() const { return copy_.path(); }

  private:
    testing::TempCopy copy_{"tienda.mdb", builtDemo()};
};

std::string ticketStatement(char kind, const std::string& from, const std::string& to) {
    std::string s = "UPDATE " + kTickets + " SET " + kTickets + ".Documento = '', " + kTickets +
                    ".[Forma de Pago] = '" + (kind == 'A' ? "Facturado" : "Pendiente") + "'";
    s += "\r\n WHERE (((" + kTickets + ".Fecha)>=#" + from + "#)";
    s += "\r\n AND ((" + kTickets + ".Fecha)<=#" + to + "#)";
    if (kind == 'C') s += "\r\n AND ((" + kTickets + ".[Forma de Pago])<>'Facturado')";
    return s + ")";
}

TEST(CreatedFileWrites, TicketStatementsOverTheWholeYear) {
    DemoCopy copy;
    auto db = Database::open(copy.path());
    const std::string range = " WHERE Fecha >= #1/1/2024# AND Fecha <= #12/31/2024#";
    const std::int64_t inRange = count(*db, "SELECT Numero FROM " + kTickets + range);
    const std::int64_t notInvoiced = count(
        *db, "SELECT Numero FROM " + kTickets + range + " AND [Forma de Pago] <> 'Facturado'");
    ASSERT_GT(notInvoiced, 0);
    EXPECT_EQ(db->execute(ticketStatement('C', "1/1/2024", "12/31/2024")), notInvoiced);
    EXPECT_GT(lastWriteStats(*db).indexEntriesChanged, 0);
    EXPECT_EQ(db->execute(ticketStatement('A', "3/5/2024", "4/12/2024")),
              count(*db, "SELECT Numero FROM " + kTickets +
                             " WHERE Fecha >= #3/5/2024# AND Fecha <= #4/12/2024#"));
    // The last ticket of the year has a time of day: outside the range, already pending.
    const std::int64_t pendingOutside =
        count(*db, "SELECT Numero FROM " + kTickets +
                       " WHERE [Forma de Pago] = 'Pendiente' AND Fecha > #12/31/2024#");
    EXPECT_EQ(pendingOutside, 1);
    EXPECT_EQ(db->execute(ticketStatement('B', "1/1/2024", "12/31/2024")), inRange);
    EXPECT_EQ(count(*db, "SELECT Numero FROM " + kTickets + " WHERE [Forma de Pago] = 'Pendiente'"),
              inRange + pendingOutside);
    db.reset();
    testing::expectFileSound(copy.path(), "Cabecera Tickets de Venta");
    auto s = Storage::open(copy.path(), false);
    testing::checkIndexes(*s, s->tableDef("Cabecera Tickets de Venta"));
}

TEST(CreatedFileWrites, ItemPostsAndGrowingDescriptions) {
    DemoCopy copy;
    auto db = Database::open(copy.path());
    std::vector<std::u16string> refs;
    {
        auto c = db->query("SELECT Referencia FROM Articulos");
        while (c->next()) refs.push_back(std::get<std::u16string>(c->row()[0].v));
    }
    ASSERT_EQ(refs.size(), 600u);
    const std::string post =
        "UPDATE Articulos SET [Descripcion] = ?, [Descripcion Corta] = ?, [Tipo Impuesto] = ?, "
        "[Proveedor 1] = ?, [PVP 1] = ?, [PVP 2] = ?, [Precio Compra Proveedor 1] = ? WHERE "
        "[Referencia] = ?";
    std::mt19937 rng(2024);
    const std::u16string letters = u"ABCDEFGHIJKLMNOPQRSTUVWXYZ ÑÁÉ0123456789";
    long moved = 0;
    for (int i = 0; i < 160; ++i) {
        std::u16string d;
        const int len = i < 100 ? 60 : 1 + int(rng() % 60);  // the first posts all grow their rows
        for (int k = 0; k < len; ++k) d += letters[rng() % letters.size()];
        const std::u16string& ref = refs[i < 100 ? std::size_t(i) : rng() % refs.size()];
        ASSERT_EQ(
            db->execute(post, {Value(d), Value(d.substr(0, 25)), Value(std::int64_t(1 + rng() % 4)),
                               Value(std::int64_t(1 + rng() % 40)),
                               Value(double(rng() % 10000) / 7), Value(double(rng() % 10000) / 9),
                               Value(double(rng() % 10000) / 11), Value(ref)}),
            1);
        moved += lastWriteStats(*db).rowsMoved;
        auto back =
            db->query("SELECT Descripcion FROM Articulos WHERE Referencia = ?", {Value(ref)});
        ASSERT_TRUE(back->next());
        ASSERT_EQ(back->row()[0], Value(d));
    }
    EXPECT_GT(moved, 0) << "no row had to move";
    EXPECT_EQ(count(*db, "SELECT Referencia FROM Articulos"), 600);
    db.reset();
    testing::expectFileSound(copy.path(), "Articulos");
    auto s = Storage::open(copy.path(), false);
    testing::checkIndexes(*s, s->tableDef("Articulos"));
}

}  // namespace
}  // namespace jet
