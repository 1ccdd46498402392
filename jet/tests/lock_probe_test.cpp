#include "io/lock_probe.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>

#include "jet/jet.h"
#include "lock_holder.h"
#include "writer_check.h"

namespace jet {
namespace {

namespace fs = std::filesystem;
using testing::LockHolder;
using testing::LockKind;

// One 64-byte record: computer and user name, each padded to 32 bytes.
std::string record(const std::string& computer, const std::string& user, char pad = '\0') {
    std::string r = computer + std::string(32 - computer.size(), pad);
    return r + user + std::string(32 - user.size(), pad);
}

class TempDir {
  public:
    TempDir() {
        static int counter = 0;
        path_ = fs::temp_directory_path() / ("lockprobe-" + std::to_string(testing::processId()) +
                                             "-" + std::to_string(++counter));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    fs::path operator/(const std::string& name) const { return path_ / name; }

  private:
    fs::path path_;
};

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A probe that answers from a set of held bytes and counts its questions.
class FakeProbe : public LockProbe {
  public:
    bool isHeld(const fs::path& file, std::uint64_t offset, std::uint64_t length) override {
        ++questions;
        lastFile = file;
        for (std::uint64_t b : held)
            if (b >= offset && b < offset + length) return true;
        return false;
    }
    std::set<std::uint64_t> held;
    int questions = 0;
    fs::path lastFile;
};

std::uint64_t slotByte(int slot) { return kUserLockBase + static_cast<std::uint64_t>(slot) - 1; }

class LockProbeTest : public ::testing::Test {
  protected:
    void SetUp() override { writeFile(db, "not a real database"); }
    TempDir dir;
    fs::path db = dir / "store.mdb";
    fs::path ldb = dir / "store.ldb";
    FakeProbe probe;
};

TEST_F(LockProbeTest, NoLockFileMeansNoUsers) {
    EXPECT_FALSE(findLockFile(systemEnv(), db));
    EXPECT_TRUE(liveLockHolders(systemEnv(), db, probe).empty());
    EXPECT_EQ(probe.questions, 0);
    EXPECT_NO_THROW(refuseIfOpenElsewhere(systemEnv(), db, probe));
    fs::create_directory(dir / "STORE.LDB");  // not a file
    EXPECT_FALSE(findLockFile(systemEnv(), db));
}

TEST_F(LockProbeTest, FindsTheLockFileInAnyLetterCase) {
    writeFile(dir / "other.ldb", record("X", "Admin"));
    writeFile(dir / "STORE.LDB", record("CAJA1", "Admin"));
    ASSERT_TRUE(findLockFile(systemEnv(), db));
    EXPECT_EQ(findLockFile(systemEnv(), db)->filename(), "STORE.LDB");
    probe.held = {slotByte(1)};
    EXPECT_EQ(liveLockHolders(systemEnv(), db, probe), std::vector<std::string>{"CAJA1"});
    EXPECT_EQ(probe.lastFile.filename(), "STORE.LDB");
    writeFile(ldb, record("EXACTO", "Admin"));  // the exact name wins
#ifdef _WIN32
    // Letter case makes no second file on Windows: the name stays as first spelt.
    EXPECT_EQ(findLockFile(systemEnv(), db)->filename(), "STORE.LDB");
#else
    EXPECT_EQ(findLockFile(systemEnv(), db)->filename(), "store.ldb");
#endif
    writeFile(dir / "Caja.LdB", "");
    EXPECT_EQ(findLockFile(systemEnv(), dir / "CAJA.MDB")->filename(), "Caja.LdB");
}

TEST_F(LockProbeTest, ReadsRecordsAndTheirPadding) {
    std::string bytes = record("CAJA1", "Admin") + record("OFICINA", "Admin", ' ') +
                        record(
                            "PORT\xD1"
                            "O\x80",
                            "Admin") +
                        "partial record";
    writeFile(ldb, bytes);
    const auto entries = readLockFile(systemEnv(), ldb);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].slot, 1);
    EXPECT_EQ(entries[0].computer, "CAJA1");
    EXPECT_EQ(entries[0].user, "Admin");
    EXPECT_EQ(entries[1].computer, "OFICINA");
    EXPECT_EQ(entries[1].user, "Admin");
    EXPECT_EQ(entries[2].slot, 3);
    EXPECT_EQ(entries[2].computer, "PORT\u00D1O\u20AC");

    std::string many;
    for (int i = 0; i < 300; ++i) many += record("PC" + std::to_string(i), "Admin");
    writeFile(ldb, many);
    const auto capped = readLockFile(systemEnv(), ldb);
    ASSERT_EQ(capped.size(), 255u);
    EXPECT_EQ(capped.back().computer, "PC254");
    EXPECT_EQ(capped.back().slot, 255);
    EXPECT_THROW(readLockFile(systemEnv(), dir / "missing.ldb"), Error);
}

TEST_F(LockProbeTest, EmptyLockFile) {
    writeFile(ldb, "");
    EXPECT_TRUE(liveLockHolders(systemEnv(), db, probe).empty());
    // A live slot that no record names still counts, without a name.
    probe.held = {slotByte(7)};
    EXPECT_EQ(liveLockHolders(systemEnv(), db, probe), std::vector<std::string>{""});
    try {
        refuseIfOpenElsewhere(systemEnv(), db, probe);
        ADD_FAILURE() << "write allowed";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::OpenElsewhere);
        EXPECT_EQ(e.names(), std::vector<std::string>{""});
        EXPECT_EQ(e.message(), "The database is open in Access on another computer (?)");
    }
}

TEST_F(LockProbeTest, OneRecord) {
    writeFile(ldb, record("CAJA1", "Admin"));
    EXPECT_TRUE(liveLockHolders(systemEnv(), db, probe).empty());  // stale
    probe.held = {slotByte(1)};
    EXPECT_EQ(liveLockHolders(systemEnv(), db, probe), std::vector<std::string>{"CAJA1"});
    try {
        refuseIfOpenElsewhere(systemEnv(), db, probe);
        ADD_FAILURE() << "write allowed";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::OpenElsewhere);
        EXPECT_EQ(e.names(), std::vector<std::string>{"CAJA1"});
        EXPECT_EQ(e.message(), "The database is open in Access on another computer (CAJA1)");
    }
}

TEST_F(LockProbeTest, ThreeRecords) {
    writeFile(ldb,
              record("CAJA1", "Admin") + record("OFICINA", "Admin") + record("CAJA2", "Admin"));
    probe.held = {slotByte(3), slotByte(2)};
    EXPECT_EQ(liveLockHolders(systemEnv(), db, probe),
              (std::vector<std::string>{"OFICINA", "CAJA2"}));
    probe.held = {slotByte(4)};  // beyond the records: no slot we can name
    EXPECT_EQ(liveLockHolders(systemEnv(), db, probe), std::vector<std::string>{""});
    probe.held = {slotByte(1) - 1, slotByte(256)};  // outside the user range
    EXPECT_TRUE(liveLockHolders(systemEnv(), db, probe).empty());
}

TEST_F(LockProbeTest, AnotherOwnerHoldingASlotIsLive) {
    const std::string bytes =
        record("CAJA1", "Admin") + record("OFICINA", "Admin") + record("CAJA2", "Admin");
    writeFile(ldb, bytes);
    EnvLockProbe real(systemEnv());
    EXPECT_TRUE(liveLockHolders(systemEnv(), db, real).empty());  // stale file, nobody holds a slot

    for (LockKind kind : {LockKind::Exclusive, LockKind::Shared}) {
        LockHolder holder(ldb, slotByte(2), kind);
        ASSERT_TRUE(holder.locked());
        EXPECT_EQ(liveLockHolders(systemEnv(), db, real), std::vector<std::string>{"OFICINA"});
        EXPECT_THROW(refuseIfOpenElsewhere(systemEnv(), db, real), Error);
        holder.release();
        EXPECT_TRUE(liveLockHolders(systemEnv(), db, real).empty());
    }
    {
        LockHolder holder(ldb, slotByte(200), LockKind::Exclusive);
        ASSERT_TRUE(holder.locked());
        EXPECT_EQ(liveLockHolders(systemEnv(), db, real), std::vector<std::string>{""});
    }
    EXPECT_EQ(readFile(ldb), bytes);  // never rewritten
    EXPECT_THROW(real.isHeld(dir / "missing.ldb", kUserLockBase, 1), Error);
}

}  // namespace
}  // namespace jet
