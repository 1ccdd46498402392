// Crash injection: the writer stops after its k-th page write, for every k,
// as if the process died there. Before the journal is replayed the file
// must still be readable; after re-opening (which replays it) the file must
// be byte for byte what it was before the statement. A complete run gives
// the after state, and a torn journal is discarded without harm.
#include <fstream>

#include "io/file_lock.h"
#include "io/journal.h"
#include "jet/jet.h"
#include "write/writer.h"
#include "writer_check.h"

namespace jet {
namespace {

using testing::readAll;
using testing::TempCopy;

struct Scenario {
    const char* name;
    const char* table;
    std::string sql;
    std::vector<Value> params;
};

std::vector<Scenario> scenarios() {
    const std::string t = "[Cabecera Tickets de Venta]";
    return {
        {"ticket statement A",
         "Cabecera Tickets de Venta",
         "UPDATE " + t + " SET " + t + ".Documento = '', " + t +
             ".[Forma de Pago] = 'Facturado'\r\n WHERE (((" + t +
             ".Fecha)>=#3/5/2024#)\r\n AND ((" + t + ".Fecha)<=#4/12/2024#))",
         {}},
        {"item post",
         "Articulos",
         "UPDATE Articulos SET [Descripcion] = ?, [Descripcion Corta] = ?, [Tipo Impuesto] = ?, "
         "[Proveedor 1] = ?, "
         "[PVP 1] = ?, [PVP 2] = ?, [Precio Compra Proveedor 1] = ? WHERE [Referencia] = ?",
         {Value(u"AAA PRIMERA DESCRIPCION DEL INDICE CON SESENTA CARACTERES XX"), Value(u"CORTA"),
          Value(std::int64_t{3}), Value(std::int64_t{12}), Value(1.5), Value(1.425), Value(0.75),
          Value(u"Z99999")}},
    };
}

std::int64_t rowsOf(const std::string& path, const std::string& table) {
    auto s = Storage::open(path, false);
    return s->countRows(s->tableDef(table));
}

TEST(WriteCrash, EveryStopPointLeavesTheBeforeOrAfterState) {
    for (const Scenario& sc : scenarios()) {
        SCOPED_TRACE(sc.name);
        TempCopy clean("store.mdb");
        const auto before = readAll(clean.path());
        const std::int64_t rows = rowsOf(clean.path(), sc.table);
        long pages = 0;
        {
            auto db = Database::open(clean.path());
            db->execute(sc.sql, sc.params);
            pages = lastWriteStats().pagesWritten;
        }
        const auto after = readAll(clean.path());
        ASSERT_GT(pages, 0);
        ASSERT_FALSE(after == before);

        for (long k = 1; k <= pages; ++k) {
            SCOPED_TRACE("stopped after page write " + std::to_string(k) + " of " +
                         std::to_string(pages));
            TempCopy copy("store.mdb");
            {
                auto db = Database::open(copy.path());
                WriterTestHooks::crashAfterPageWrites = k;
                EXPECT_THROW(db->execute(sc.sql, sc.params), SimulatedCrash);
                WriterTestHooks::crashAfterPageWrites = -1;
            }
            ASSERT_TRUE(std::filesystem::exists(journalPath(copy.path())));
            // A reader that knows nothing of the journal still reads the table.
            EXPECT_EQ(rowsOf(copy.path(), sc.table), rows);
            // Opening replays the journal.
            { auto db = Database::open(copy.path()); }
            EXPECT_FALSE(std::filesystem::exists(journalPath(copy.path())));
            EXPECT_TRUE(readAll(copy.path()) == before);
        }
        testing::expectFileSound(clean.path(), sc.table);
    }
}

TEST(WriteCrash, TornJournalIsDiscardedAndTheFileKept) {
    TempCopy copy("store.mdb");
    const auto before = readAll(copy.path());
    {
        // A journal whose writing stopped half way: the database was not
        // touched yet, so nothing may be copied back from it.
        std::ofstream j(journalPath(copy.path()), std::ios::binary);
        const std::string partial = "JETJRNL1" + std::string(100, '\x07');
        j.write(partial.data(), static_cast<std::streamsize>(partial.size()));
    }
    { auto db = Database::open(copy.path()); }
    EXPECT_FALSE(std::filesystem::exists(journalPath(copy.path())));
    EXPECT_TRUE(readAll(copy.path()) == before);
}

TEST(WriteCrash, JournalOfAnActiveWriterIsLeftAlone) {
    TempCopy copy("store.mdb");
    auto db = Database::open(copy.path());
    WriterTestHooks::crashAfterPageWrites = 1;
    EXPECT_THROW(db->execute("UPDATE Articulos SET [PVP 1] = 2 WHERE Referencia = 'PRUEBA1'"),
                 SimulatedCrash);
    WriterTestHooks::crashAfterPageWrites = -1;
    const auto torn = readAll(copy.path());
    {
        // While another writer holds the lock its journal is live: a reader
        // opening the file must not replay it.
        FileLock other = FileLock::acquire(copy.path(), std::chrono::milliseconds(0));
        auto reader = Database::open(copy.path());
        EXPECT_TRUE(std::filesystem::exists(journalPath(copy.path())));
        EXPECT_TRUE(readAll(copy.path()) == torn);
    }
    // The next write replays it first, then applies itself.
    EXPECT_EQ(db->execute("UPDATE Articulos SET [PVP 2] = 3 WHERE Referencia = 'PRUEBA1'"), 1);
    EXPECT_FALSE(std::filesystem::exists(journalPath(copy.path())));
}

}  // namespace
}  // namespace jet
