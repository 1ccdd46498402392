// Regression (found by fuzz_open_file on the Access-made empty.mdb): a
// SELECT without a usable index moved each row's values into its result and
// the table scan then wrote the next row into the emptied vector (a write
// through a null pointer from the second row on).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "format/storage.h"
#include "jet/jet.h"
#include "shared_fixtures.h"

namespace jet {
namespace {

const std::filesystem::path kFixtures(testing::sharedFixturesDir());

TEST(RegressionScanMovedValues, ScanRefillsTheVectorAVisitorEmptied) {
    const auto path = kFixtures / "access" / "delTestV2000.mdb";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "fixture missing: " << path;
    auto storage = Storage::open(path.string(), false);
    const TableDef& def = storage->tableDef("Table");
    std::vector<std::vector<Value>> rows;
    storage->scan(def, {0, 1}, [&](RowId, std::vector<Value>& values) {
        rows.push_back(std::move(values));
        return true;
    });
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (std::vector<Value>{std::u16string(u"z"), std::u16string(u"y")}));
    EXPECT_EQ(rows[1], (std::vector<Value>{std::u16string(u"v"), std::u16string(u"u")}));
}

TEST(RegressionScanMovedValues, UnorderedSelectReturnsEveryRow) {
    const auto path = kFixtures / "access" / "empty.mdb";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "fixture missing: " << path;
    auto db = Database::open(path.string(), OpenMode::ReadOnly);
    // The catalog has no index the executor walks: this is the scan path.
    auto cursor = db->query("select Name, Type from MSysObjects");
    int rows = 0;
    bool sawTables = false;
    while (cursor->next()) {
        ASSERT_EQ(cursor->row().size(), 2u);
        if (cursor->row()[0] == Value(std::u16string(u"Tables"))) sawTables = true;
        ++rows;
    }
    EXPECT_GT(rows, 5);
    EXPECT_TRUE(sawTables);
}

}  // namespace
}  // namespace jet
