// Crash injection on the in-memory environment: the statement stops at each
// change it makes to any file (the journal's creation, each buffer written
// to the journal or the database, each sync, the journal's removal), as if
// the process died there or the power went. A journal-unaware reader must
// still read the table; after re-opening (which replays the journal) the
// file must be byte for byte what it was before the statement or what the
// whole statement leaves. The replay itself may be stopped anywhere too. A
// complete run on a real file gives the same bytes as the run in memory.
#include <fstream>

#include "database.h"
#include "io/file_lock.h"
#include "io/journal.h"
#include "io/memory_env.h"
#include "jet/jet.h"
#include "writer_check.h"

namespace jet {
namespace {

using testing::readAll;
using testing::TempCopy;

const std::string kPath = "shop/store.mdb";

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

// How the machine comes back after the stop.
enum class Restart { ProcessKilled, PowerCut, PowerCutDatabaseWritesKept };
const Restart kRestarts[] = {Restart::ProcessKilled, Restart::PowerCut,
                             Restart::PowerCutDatabaseWritesKept};

const char* restartName(Restart r) {
    switch (r) {
        case Restart::ProcessKilled:
            return "process killed";
        case Restart::PowerCut:
            return "power cut";
        case Restart::PowerCutDatabaseWritesKept:
            return "power cut, the database's unsynced writes kept, the journal's lost";
    }
    return "";
}

void restart(MemoryEnv& env, Restart how) {
    switch (how) {
        case Restart::ProcessKilled:
            env.restartAfterProcessCrash();
            break;
        case Restart::PowerCut:
            env.restartAfterPowerCut();
            break;
        case Restart::PowerCutDatabaseWritesKept:
            env.restartAfterPowerCut([](const std::string& path) { return path == kPath; });
            break;
    }
}

std::int64_t rowsOf(MemoryEnv& env, const std::string& table) {
    auto s = Storage::open(kPath, false, env);  // knows nothing of the journal
    return s->countRows(s->tableDef(table));
}

TEST(WriteCrash, EveryStopPointRecoversToTheBeforeOrTheAfterState) {
    const auto before = readAll(testing::storeFile("store.mdb"));
    for (const Scenario& sc : scenarios()) {
        SCOPED_TRACE(sc.name);
        MemoryEnv whole;
        whole.putFile(kPath, before);
        const std::int64_t rows = rowsOf(whole, sc.table);
        long changes = 0;
        {
            auto db = openDatabase(whole, kPath);
            const long start = whole.changes();
            db->execute(sc.sql, sc.params);
            changes = whole.changes() - start;
        }
        const auto after = whole.fileBytes(kPath);
        ASSERT_GT(changes, 3);
        ASSERT_FALSE(after == before);
        EXPECT_FALSE(whole.hasFile(journalPath(kPath)));

        // k == changes: the statement ended, then the machine went down; what
        // it reported done must stay done.
        int endedBefore = 0, endedAfter = 0;
        for (long k = 0; k <= changes; ++k) {
            for (Restart how : kRestarts) {
                SCOPED_TRACE("stopped at change " + std::to_string(k + 1) + " of " +
                             std::to_string(changes) + ", " + restartName(how));
                MemoryEnv env;
                env.putFile(kPath, before);
                {
                    auto db = openDatabase(env, kPath);
                    env.crashAfter(k);
                    if (k < changes) {
                        EXPECT_THROW(db->execute(sc.sql, sc.params), SimulatedCrash);
                    } else {
                        db->execute(sc.sql, sc.params);
                    }
                }
                restart(env, how);
                EXPECT_EQ(rowsOf(env, sc.table), rows);
                { auto db = openDatabase(env, kPath); }  // replays the journal
                EXPECT_FALSE(env.hasFile(journalPath(kPath)));
                const auto now = env.fileBytes(kPath);
                if (now == before)
                    ++endedBefore;
                else if (now == after)
                    ++endedAfter;
                else
                    ADD_FAILURE() << "neither the state before nor the state after";
                if (k == changes) {
                    EXPECT_TRUE(now == after) << "a finished write was lost";
                }
            }
        }
        // Only the last changes (the journal's removal) may leave the after state.
        EXPECT_GT(endedBefore, 3 * (changes - 3));
        EXPECT_GT(endedAfter, 0);

        // The real file system gives the same bytes, and a file every reader accepts.
        TempCopy real("store.mdb");
        Database::open(real.path())->execute(sc.sql, sc.params);
        EXPECT_TRUE(readAll(real.path()) == after);
        testing::expectFileSound(real.path(), sc.table);
    }
}

TEST(WriteCrash, TheReplayItselfMayStopAnywhere) {
    const auto before = readAll(testing::storeFile("store.mdb"));
    const Scenario sc = scenarios().front();
    // A write stopped when its pages are all written but not yet synced: the
    // journal is whole and the database holds the new pages.
    MemoryEnv crashed;
    crashed.putFile(kPath, before);
    long changes = 0;
    {
        MemoryEnv probe;
        probe.putFile(kPath, before);
        auto db = openDatabase(probe, kPath);
        const long start = probe.changes();
        db->execute(sc.sql, sc.params);
        changes = probe.changes() - start;
    }
    {
        auto db = openDatabase(crashed, kPath);
        crashed.crashAfter(changes - 3);  // the database's sync, the removal, the folder sync
        EXPECT_THROW(db->execute(sc.sql, sc.params), SimulatedCrash);
    }
    crashed.restartAfterProcessCrash();
    const auto torn = crashed.fileBytes(kPath);
    const auto journal = crashed.fileBytes(journalPath(kPath));
    ASSERT_FALSE(torn == before);

    long replayChanges = 0;
    {
        MemoryEnv env;
        env.putFile(kPath, torn);
        env.putFile(journalPath(kPath), journal);
        auto db = openDatabase(env, kPath);
        replayChanges = env.changes();
        EXPECT_TRUE(env.fileBytes(kPath) == before);
    }
    ASSERT_GT(replayChanges, 3);
    for (long j = 0; j <= replayChanges; ++j) {  // j == replayChanges: after the replay
        for (Restart how : kRestarts) {
            SCOPED_TRACE("replay stopped at change " + std::to_string(j + 1) + ", " +
                         restartName(how));
            MemoryEnv env;
            env.putFile(kPath, torn);
            env.putFile(journalPath(kPath), journal);
            env.crashAfter(j);
            if (j < replayChanges) {
                EXPECT_THROW(openDatabase(env, kPath), SimulatedCrash);
            } else {
                openDatabase(env, kPath);
            }
            restart(env, how);
            { auto db = openDatabase(env, kPath); }
            EXPECT_FALSE(env.hasFile(journalPath(kPath)));
            EXPECT_TRUE(env.fileBytes(kPath) == before);
        }
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
    MemoryEnv env;
    env.putFile(kPath, readAll(testing::storeFile("store.mdb")));
    {
        auto db = openDatabase(env, kPath);
        env.crashAfter(8);  // the journal is written, a few pages of the database too
        EXPECT_THROW(db->execute("UPDATE Articulos SET [PVP 1] = 2 WHERE Referencia = 'PRUEBA1'"),
                     SimulatedCrash);
    }
    env.restartAfterProcessCrash();
    ASSERT_TRUE(env.hasFile(journalPath(kPath)));
    const auto torn = env.fileBytes(kPath);
    {
        // While another writer holds the lock its journal is live: a reader
        // opening the file must not replay it.
        FileLock other = FileLock::acquire(env, kPath, std::chrono::milliseconds(0));
        auto reader = openDatabase(env, kPath);
        EXPECT_TRUE(env.hasFile(journalPath(kPath)));
        EXPECT_TRUE(env.fileBytes(kPath) == torn);
    }
    // The next write replays it first, then applies itself.
    auto db = openDatabase(env, kPath);
    EXPECT_EQ(db->execute("UPDATE Articulos SET [PVP 2] = 3 WHERE Referencia = 'PRUEBA1'"), 1);
    EXPECT_FALSE(env.hasFile(journalPath(kPath)));
}

}  // namespace
}  // namespace jet
