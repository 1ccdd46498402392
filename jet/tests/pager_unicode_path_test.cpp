// Paths are UTF-8 strings throughout the engine. On Windows every one of
// them must reach the wide-character API: a name outside the ANSI code page
// (Greek here) is lost by any narrow call, so these tests catch one that
// slipped through, in opening, writing with its journal and write lock,
// creating, and finding the lock file. On POSIX they check the same paths
// pass through untouched.

#include <filesystem>
#include <fstream>
#include <iterator>

#include "database_builder.h"
#include "format/storage.h"
#include "io/journal.h"
#include "io/lock_probe.h"
#include "jet/jet.h"
#include "lock_holder.h"
#include "writer_check.h"

namespace jet {
namespace {

namespace fs = std::filesystem;

// "Ωμέγα", spelt in UTF-8 bytes so the test does not depend on the source
// encoding the compiler assumes.
const std::string kGreek = "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1";

std::string utf8(const fs::path& p) {
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}

std::string bytesOf(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class UnicodeFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        static int counter = 0;
        folder_ = utf8(fs::temp_directory_path()) + "/jet-" + kGreek + "-" +
                  std::to_string(testing::processId()) + "-" + std::to_string(++counter);
        removeFolder();
        fs::create_directories(utf8Path(folder_));
    }
    void TearDown() override { removeFolder(); }
    // Copies of the read-only fixtures carry the read-only attribute, which
    // stops Windows from deleting them.
    void removeFolder() {
        std::error_code ec;
        for (fs::directory_iterator it(utf8Path(folder_), ec), end; !ec && it != end;
             it.increment(ec))
            fs::permissions(it->path(), fs::perms::owner_all, ec);
        fs::remove_all(utf8Path(folder_), ec);
    }
    std::string path(const std::string& name) const { return folder_ + "/" + name; }

    std::int64_t count(Database& db, const std::string& sql) {
        auto cursor = db.query(sql);
        std::int64_t n = 0;
        while (cursor->next()) ++n;
        return n;
    }

    std::string folder_;
};

TEST_F(UnicodeFolder, CreatedDatabaseOpensAgain) {
    const std::string file = path("vac" + kGreek + ".mdb");
    createEmptyDatabase(file);
    EXPECT_TRUE(fs::is_regular_file(utf8Path(file)));
    auto db = Database::open(file);
    EXPECT_TRUE(db->tableNames().empty());
}

TEST_F(UnicodeFolder, WritesGoThroughJournalAndLockAndAreRefusedWhileASlotIsHeld) {
    const std::string file = path("tienda-" + kGreek + ".mdb");
    fs::copy_file(testing::storeFile("store.mdb"), utf8Path(file));
    fs::permissions(utf8Path(file), fs::perms::owner_read | fs::perms::owner_write);
    auto db = Database::open(file);
    const std::string update = "UPDATE Articulos SET [PVP 1] = 12.5 WHERE Referencia = 'M00004'";
    const std::string check =
        "SELECT Referencia FROM Articulos WHERE Referencia = 'M00004' AND [PVP 1] = 12.5";
    EXPECT_EQ(db->execute(update), 1);
    EXPECT_FALSE(fs::exists(utf8Path(journalPath(file))));
    EXPECT_EQ(count(*Database::open(file), check), 1);  // a second reader sees it

    // The lock file beside it, in another letter case, with one live slot.
    const fs::path lockFile = utf8Path(path("TIENDA-" + kGreek + ".LDB"));
    const std::string record = "CAJA1" + std::string(27, '\0') + "Admin" + std::string(27, '\0');
    std::ofstream(lockFile, std::ios::binary) << record;
    {
        testing::LockHolder caja1(lockFile, kUserLockBase, testing::LockKind::Exclusive);
        ASSERT_TRUE(caja1.locked());
        const std::string before = bytesOf(utf8Path(file));
        try {
            db->execute("UPDATE Articulos SET [PVP 1] = 13 WHERE Referencia = 'M00004'");
            ADD_FAILURE() << "written while a user slot is held";
        } catch (const Error& e) {
            EXPECT_EQ(e.kind(), ErrorKind::OpenElsewhere) << e.what();
            EXPECT_EQ(e.names(), std::vector<std::string>{"CAJA1"}) << e.what();
        }
        EXPECT_EQ(bytesOf(utf8Path(file)), before);
        EXPECT_EQ(count(*db, check), 1);
    }
    // Left behind and stale: it blocks nothing.
    EXPECT_EQ(db->execute("UPDATE Articulos SET [PVP 1] = 13 WHERE Referencia = 'M00004'"), 1);
    EXPECT_EQ(count(*db, check), 0);
}

}  // namespace
}  // namespace jet
