// Every statement sees the file as it is now: rows another program changed
// (through each way the executor reads: scan, index order, index seek) and
// a catalog another program changed (a table renamed) are seen by the next
// statement of a Database opened before the change.
#include <fstream>

#include "jet/jet.h"
#include "sql/select.h"
#include "writer_check.h"

namespace jet {
namespace {

using sql::AccessPath;
using sql::lastAccessPath;
using testing::TempCopy;

std::vector<std::vector<Value>> all(Database& db, const std::string& sql) {
    auto c = db.query(sql);
    std::vector<std::vector<Value>> rows;
    while (c->next()) rows.push_back(c->row());
    return rows;
}

TEST(Freshness, RowsChangedByAnotherProgramAreSeenByEveryReadPath) {
    TempCopy copy("store.mdb");
    auto reader = Database::open(copy.path(), OpenMode::ReadOnly);
    const std::string bySeek = "select Descripcion from Articulos where Referencia = 'M00004'";
    const std::string byOrder =
        "select Descripcion from Articulos where Descripcion like '%ZZ NUEVA%' order by "
        "Descripcion";
    const std::string byScan = "select Descripcion from Articulos where [PVP 1] = 987.25";
    ASSERT_EQ(all(*reader, bySeek).size(), 1u);
    const Value old = all(*reader, bySeek)[0][0];
    EXPECT_TRUE(all(*reader, byOrder).empty());
    EXPECT_TRUE(all(*reader, byScan).empty());

    {
        auto writer = Database::open(copy.path());
        ASSERT_EQ(writer->execute("UPDATE Articulos SET Descripcion = 'ZZ NUEVA', [PVP 1] = 987.25 "
                                  "WHERE Referencia = 'M00004'"),
                  1);
    }
    const Value now(std::u16string(u"ZZ NUEVA"));
    EXPECT_NE(old, now);
    EXPECT_EQ(all(*reader, bySeek), (std::vector<std::vector<Value>>{{now}}));
    EXPECT_EQ(lastAccessPath(), AccessPath::IndexSeek);
    EXPECT_EQ(all(*reader, byOrder), (std::vector<std::vector<Value>>{{now}}));
    EXPECT_EQ(lastAccessPath(), AccessPath::IndexOrder);
    EXPECT_EQ(all(*reader, byScan), (std::vector<std::vector<Value>>{{now}}));
    EXPECT_EQ(lastAccessPath(), AccessPath::Scan);
}

// Renames a table in the catalog's rows, as another program would, by
// rewriting the last letter of its name where the catalog stores it.
void renameInCatalog(const std::string& path, const std::string& from, char lastLetter) {
    std::vector<std::uint32_t> pages;
    std::size_t pageSize = 0;
    {
        auto storage = Storage::open(path, false);
        pageSize = storage->format().pageSize;
        pages = storage->usageMapPages(storage->catalogDef().ownedMap);
    }
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    ASSERT_TRUE(file);
    std::vector<char> page(pageSize);
    for (std::uint32_t p : pages) {
        file.seekg(static_cast<std::streamoff>(p) * static_cast<std::streamoff>(pageSize));
        file.read(page.data(), static_cast<std::streamsize>(pageSize));
        const std::string bytes(page.begin(), page.end());
        // The name as compressed text (one byte a character) or as UTF-16.
        std::string wide;
        for (char c : from) wide += std::string{c, '\0'};
        std::size_t last = std::string::npos;
        if (std::size_t at = bytes.find("\xFF\xFE" + from); at != std::string::npos)
            last = at + 2 + from.size() - 1;
        else if (std::size_t at = bytes.find(wide); at != std::string::npos)
            last = at + wide.size() - 2;
        if (last == std::string::npos) continue;
        file.seekp(static_cast<std::streamoff>(p) * static_cast<std::streamoff>(pageSize) +
                   static_cast<std::streamoff>(last));
        file.put(lastLetter);
        return;
    }
    FAIL() << "table name not found in the catalog";
}

TEST(Freshness, ATableRenamedByAnotherProgramIsSeenByTheNextStatement) {
    TempCopy copy("store.mdb");
    auto db = Database::open(copy.path(), OpenMode::ReadOnly);
    const auto before = all(*db, "select * from proveedores");
    ASSERT_EQ(before.size(), 40u);
    renameInCatalog(copy.path(), "proveedores", 'x');

    const auto names = db->tableNames();
    EXPECT_NE(std::find(names.begin(), names.end(), "proveedorex"), names.end());
    EXPECT_EQ(std::find(names.begin(), names.end(), "proveedores"), names.end());
    try {
        all(*db, "select * from proveedores");
        ADD_FAILURE() << "the old name still answers";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::NotFound);
    }
    EXPECT_EQ(all(*db, "select * from proveedorex"), before);
    EXPECT_EQ(db->table("PROVEEDOREX").name, "proveedorex");
}

}  // namespace
}  // namespace jet
