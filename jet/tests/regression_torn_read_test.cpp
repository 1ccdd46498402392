// Regression (found by the concurrency test): a reader whose pages changed
// under it, because another program wrote meanwhile, reported "The database
// file is damaged". A corruption seen while the file changed is now run
// again or reported as the file being in use; damage in a file nobody
// changed is still reported as damage.
#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "format/storage.h"
#include "reliability_support.h"

namespace jet {
namespace {

using namespace jet::testing;

std::vector<char> readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every data page of the table whose definition is on `owner`: row
// offsets point outside the page.
std::vector<char> damaged(std::vector<char> bytes, std::uint32_t owner) {
    for (std::size_t p = 3 * 4096; p + 4096 <= bytes.size(); p += 4096) {
        std::uint32_t pageOwner = 0;
        for (int k = 3; k >= 0; --k)
            pageOwner = pageOwner << 8 | static_cast<std::uint8_t>(bytes[p + 4 + k]);
        if (bytes[p] != 0x01 || pageOwner != owner) continue;
        for (std::size_t s = 0; s < 16; ++s) bytes[p + 0x0E + 2 * s + 1] ^= 0x0F;
    }
    return bytes;
}

void overwriteInPlace(const fs::path& p, const std::vector<char>& bytes) {
    std::fstream out(p, std::ios::binary | std::ios::in | std::ios::out);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

TEST(RegressionTornRead, ChangedUnderAnOpenCursorIsInUseNotDamaged) {
    const fs::path store = storeFile("store.mdb");
    TempDir dir;
    const fs::path path = copyFixture(dir, store, "shop.mdb");
    const auto bad = damaged(readFile(path),
                             Storage::open(path.string(), false)->tableDef("Articulos").tdefPage);

    auto db = Database::open(path.string(), OpenMode::ReadOnly);
    auto cursor = db->query("select Referencia, Descripcion from Articulos order by Descripcion");
    ASSERT_TRUE(cursor->next());
    overwriteInPlace(path, bad);
    bool stopped = false;
    try {
        while (cursor->next()) (void)cursor->row();
    } catch (const Error& e) {
        stopped = true;
        EXPECT_EQ(e.kind(), ErrorKind::Locked) << e.what();
        EXPECT_NE(std::string(e.what()).find("is in use"), std::string::npos) << e.what();
    }

    EXPECT_TRUE(stopped) << "the cursor read no damaged row";

    // Nobody changes it now: the damage is reported as such.
    auto again = Database::open(path.string(), OpenMode::ReadOnly);
    try {
        auto c = again->query("select Referencia, Descripcion from Articulos order by Descripcion");
        while (c->next()) (void)c->row();
        ADD_FAILURE() << "a damaged table was read whole";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Corrupt) << e.what();
    }
}

}  // namespace
}  // namespace jet
