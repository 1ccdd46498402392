// Writes refused while the database is open in Access: a helper process
// holding a user slot of the lock file stands for a live Access user. Every
// write of the tool is then refused with the Spanish message, before
// anything changes; a stale lock file, in any letter case, is never changed
// and does not block writes once nobody holds it.
#include <fstream>

#include "database.h"
#include "io/journal.h"
#include "io/lock_probe.h"
#include "io/memory_env.h"
#include "jet/jet.h"
#include "lock_holder.h"
#include "writer_check.h"

namespace jet {
namespace {

using testing::LockHolder;
using testing::readAll;
using testing::TempCopy;

const std::string kItemPost =
    "UPDATE Articulos SET [Descripcion] = ?, [Descripcion Corta] = ?, [Tipo Impuesto] = ?, "
    "[Proveedor 1] = ?, [PVP 1] = ?, [PVP 2] = ?, [Precio Compra Proveedor 1] = ? "
    "WHERE [Referencia] = ?";

const std::vector<Value> kItemParams = {Value(u"ARENA NUEVA"),
                                        Value(u"ARENA"),
                                        Value(std::int64_t{2}),
                                        Value(std::int64_t{17}),
                                        Value(12.5),
                                        Value(11.875),
                                        Value(7.25),
                                        Value(u"M00004")};

// The three ticket statements as the tool writes them (CR LF between lines).
std::vector<std::string> ticketStatements() {
    const std::string t = "[Cabecera Tickets de Venta]";
    auto set = [&](const char* status) {
        return "UPDATE " + t + " SET " + t + ".Documento = '', " + t + ".[Forma de Pago] = '" +
               status + "'\r\n WHERE (((" + t + ".Fecha)>=#1/1/2024#)\r\n AND ((" + t +
               ".Fecha)<=#1/31/2024#)";
    };
    return {set("Facturado") + ")", set("Pendiente") + ")",
            set("Pendiente") + "\r\n AND ((" + t + ".[Forma de Pago])<>'Facturado'))"};
}

std::string record(const std::string& computer) {
    return computer + std::string(32 - computer.size(), '\0') + "Admin" + std::string(27, '\0');
}

std::uint64_t slotByte(int slot) { return kUserLockBase + static_cast<std::uint64_t>(slot) - 1; }

class OpenElsewhere : public ::testing::Test {
  protected:
    void writeLockFile(const std::string& name) {
        lockFile = std::filesystem::path(copy.path()).parent_path() / name;
        std::ofstream(lockFile, std::ios::binary) << record("CAJA1") + record("OFICINA");
        lockBytes = readAll(lockFile.string());
    }
    // Every write of the tool is refused with the message; nothing changes.
    void expectEveryWriteRefused(Database& db) {
        const auto before = readAll(copy.path());
        std::vector<std::pair<std::string, std::vector<Value>>> writes = {{kItemPost, kItemParams}};
        for (const std::string& s : ticketStatements()) writes.push_back({s, {}});
        for (const auto& [sql, params] : writes) {
            SCOPED_TRACE(sql);
            try {
                db.execute(sql, params);
                ADD_FAILURE() << "the write went through";
            } catch (const Error& e) {
                EXPECT_EQ(e.kind(), ErrorKind::OpenElsewhere);
                EXPECT_EQ(e.names(), std::vector<std::string>{"CAJA1"});
            }
        }
        EXPECT_EQ(readAll(copy.path()), before);
        EXPECT_FALSE(std::filesystem::exists(journalPath(copy.path())));
        // Reading goes on as before.
        auto c = db.query("select Descripcion from Articulos where Referencia = 'M00004'");
        EXPECT_TRUE(c->next());
    }
    // Once nobody holds a slot, the writes go through.
    void expectWritesGoThrough(Database& db) {
        EXPECT_EQ(db.execute(kItemPost, kItemParams), 1);
        for (const std::string& s : ticketStatements()) EXPECT_GT(db.execute(s), 0) << s;
    }

    TempCopy copy{"store.mdb"};
    std::filesystem::path lockFile;
    std::vector<std::uint8_t> lockBytes;
};

TEST_F(OpenElsewhere, LiveUserRefusesEveryWriteUntilItLeaves) {
    writeLockFile("store.ldb");
    auto db = Database::open(copy.path());
    {
        LockHolder caja1(lockFile, slotByte(1), testing::LockKind::Exclusive);
        ASSERT_TRUE(caja1.locked());
        expectEveryWriteRefused(*db);
    }
    // The lock file is left behind, as after a crash: stale, it blocks nothing.
    expectWritesGoThrough(*db);
    EXPECT_EQ(readAll(lockFile.string()), lockBytes);  // never rewritten, never deleted
    db.reset();
    testing::expectFileSound(copy.path(), "Articulos");
}

TEST_F(OpenElsewhere, LockFileInAnotherLetterCaseIsFound) {
    writeLockFile("STORE.LDB");
    auto db = Database::open(copy.path());
    LockHolder caja1(lockFile, slotByte(1), testing::LockKind::Shared);
    ASSERT_TRUE(caja1.locked());
    expectEveryWriteRefused(*db);
    EXPECT_EQ(readAll(lockFile.string()), lockBytes);
}

// A probe given to the database answers instead of the system's locks.
class HeldSlots : public LockProbe {
  public:
    bool isHeld(const std::filesystem::path&, std::uint64_t offset, std::uint64_t) override {
        ++questions;
        return offset == slotByte(1);
    }
    int questions = 0;
};

TEST_F(OpenElsewhere, InjectedProbeDecidesAndNullRestoresTheSystemProbe) {
    writeLockFile("store.ldb");
    auto db = Database::open(copy.path());
    auto probe = std::make_shared<HeldSlots>();
    db->setLockProbe(probe);
    expectEveryWriteRefused(*db);
    EXPECT_GT(probe->questions, 0);
    db->setLockProbe(nullptr);  // nobody holds the real locks
    expectWritesGoThrough(*db);
}

// The same in memory: the environment's own byte-range locks stand for
// Access, found through a lock file spelt in capitals beside the database.
TEST(OpenElsewhereInMemory, HeldSlotRefusesWritesUntilReleased) {
    MemoryEnv env;
    const std::string path = "shop/store.mdb", lockFile = "shop/STORE.LDB";
    env.putFile(path, readAll(testing::storeFile("store.mdb")));
    const std::string records = record("CAJA1") + record("OFICINA");
    env.putFile(lockFile, std::vector<std::uint8_t>(records.begin(), records.end()));
    auto db = openDatabase(env, path);
    env.lockRange(lockFile, slotByte(2), 1);
    const auto before = env.fileBytes(path);
    try {
        db->execute(kItemPost, kItemParams);
        ADD_FAILURE() << "the write went through";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::OpenElsewhere);
        EXPECT_EQ(e.names(), std::vector<std::string>{"OFICINA"});
    }
    EXPECT_TRUE(env.fileBytes(path) == before);
    EXPECT_FALSE(env.hasFile(journalPath(path)));
    env.unlockRanges(lockFile);
    EXPECT_EQ(db->execute(kItemPost, kItemParams), 1);
    EXPECT_FALSE(env.fileBytes(path) == before);
}

}  // namespace
}  // namespace jet
