// Index upkeep of statements that change many rows at once: a non-unique
// index takes the statement's changes in index order, a leaf at a time, and
// splits a leaf that receives thousands of entries into as many pages as it
// needs. After every statement the index must hold exactly the rows' keys,
// every page must re-encode to itself and every node entry must equal the
// last entry below it (write_check.h); on the Access-made file mdb-export
// must read the same rows.
#include <cstdio>
#include <filesystem>
#include <random>

#include "jet/jet.h"
#include "write/writer.h"
#include "writer_check.h"

namespace jet {
namespace {

using testing::expectFileSound;
using testing::expectIndexesExact;
using testing::oleDay;
using testing::TempCopy;
using testing::ticketRange;

const std::string kTickets = "Cabecera Tickets de Venta";

// An OLE day as m/d/yyyy, as the tool writes dates.
std::string civil(double oleDays) {
    int y = 0, m = 0, d = 0;
    std::sscanf(testing::civilDate(oleDays).c_str(), "%d-%d-%d", &y, &m, &d);
    return std::to_string(m) + "/" + std::to_string(d) + "/" + std::to_string(y);
}

std::string statusStatement(const std::string& status, double from, double to) {
    const std::string t = "[" + kTickets + "]";
    return "UPDATE " + t + " SET " + t + ".Documento = '', " + t + ".[Forma de Pago] = '" + status +
           "'\r\n WHERE (((" + t + ".Fecha)>=#" + civil(from) + "#)\r\n AND ((" + t + ".Fecha)<=#" +
           civil(to) + "#))";
}

// Tickets with `status`: in all, and those dated within [from, to].
struct StatusCount {
    std::int64_t all = 0, inRange = 0;
};

StatusCount statusCount(const std::string& path, const std::string& status, double from,
                        double to) {
    auto db = Database::open(path, OpenMode::ReadOnly);
    auto c =
        db->query("SELECT Fecha FROM [" + kTickets + "] WHERE [Forma de Pago] = '" + status + "'");
    StatusCount n;
    while (c->next()) {
        ++n.all;
        const auto* fecha = std::get_if<DateTime>(&c->row()[0].v);
        if (fecha != nullptr && fecha->days >= from && fecha->days <= to) ++n.inRange;
    }
    return n;
}

class StoreWithManyTickets : public ::testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        store::StoreOptions o = testing::storeOptions();
        o.tickets = 12000;
        o.jetVersion = GetParam();
        dir_ = std::filesystem::temp_directory_path() /
               ("jet-index-write-" + std::to_string(testing::processId()) + "-" +
                std::to_string(GetParam()));
        std::filesystem::create_directories(dir_);
        path_ = (dir_ / "tickets.mdb").string();
        store::writeStore(path_, o);
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::filesystem::path dir_;
    std::string path_;
};

// Whole years, quarters, months, weeks and single days, in a random order
// and alternating the status, on 2 KB (Jet 3) and 4 KB (Jet 4) pages: the
// status index loses and gains up to every entry of the table per statement.
TEST_P(StoreWithManyTickets, StatusChangesOverAnyRangeKeepTheIndexExact) {
    const double first = oleDay(2024, 1, 1), last = oleDay(2024, 12, 30);
    std::vector<std::pair<double, double>> ranges = {{first, last + 1}};
    std::mt19937 rng(777);
    for (int span : {91, 30, 30, 7, 0, 0}) {
        const double from =
            first + static_cast<double>(rng() % static_cast<unsigned>(last - first - span));
        ranges.emplace_back(from, from + span);
    }
    ranges.emplace_back(first, last + 1);
    const char* status[] = {"Facturado", "Pendiente", "Tarjeta"};
    int pick = 0;
    for (const auto& [from, to] : ranges) {
        SCOPED_TRACE(civil(from) + " to " + civil(to));
        const std::int64_t inRange = ticketRange(path_, from, to).inRange;
        const std::string s = status[pick++ % 3];
        const StatusCount before = statusCount(path_, s, from, to);
        {
            auto db = Database::open(path_);
            EXPECT_EQ(db->execute(statusStatement(s, from, to)), inRange);
        }
        const StatusCount after = statusCount(path_, s, from, to);
        EXPECT_EQ(after.inRange, inRange);
        EXPECT_EQ(after.all, before.all - before.inRange + inRange);
        expectIndexesExact(path_, kTickets);
        if (::testing::Test::HasFailure()) return;
    }
    // Back and forth over the same year: the pages the removals empty are
    // taken again by the insertions' splits, so the file hardly grows.
    // (Each flip empties and refills some 15 leaves; a leaf left part full
    // at the edge of a run may cost a page now and then.)
    const auto size = std::filesystem::file_size(path_);
    const int flips = 6;
    for (int i = 0; i < flips; ++i) {
        auto db = Database::open(path_);
        db->execute(statusStatement(i % 2 ? "Facturado" : "Pendiente", first, last + 1));
    }
    const std::uintmax_t page = GetParam() == 3 ? 2048 : 4096;
    EXPECT_LE(std::filesystem::file_size(path_), size + flips * page);
    expectFileSound(path_, kTickets);
}

INSTANTIATE_TEST_SUITE_P(JetVersions, StoreWithManyTickets, ::testing::Values(3, 4),
                         [](const auto& info) { return "Jet" + std::to_string(info.param); });

// An index Access wrote (a node over two prefix-compressed leaves of 512
// entries): most entries gather under one key, then move past the last one,
// then half of them come back.
TEST(AccessMadeIndex, ManyEntriesMoveTogetherAndTheFileStaysSound) {
    if (!testing::haveFile("access/compIndexTestV2000.mdb"))
        GTEST_SKIP() << "fixtures not available";
    TempCopy copy("access/compIndexTestV2000.mdb");
    auto count = [&](const std::string& where) {
        auto db = Database::open(copy.path(), OpenMode::ReadOnly);
        auto c =
            db->query("SELECT CD_AGENTE FROM Table1" + (where.empty() ? "" : " WHERE " + where));
        std::int64_t n = 0;
        while (c->next()) ++n;
        return n;
    };
    const std::int64_t all = count("");
    ASSERT_EQ(all, 512);
    const std::int64_t valued = count("CD_AGENTE >= 0");
    const std::int64_t low = count("CD_AGENTE < 3000");
    ASSERT_GT(low, 100);
    ASSERT_LT(low, all);
    {
        auto db = Database::open(copy.path());
        EXPECT_EQ(db->execute("UPDATE Table1 SET CD_AGENTE = 7 WHERE CD_AGENTE < 3000"), low);
    }
    expectIndexesExact(copy.path(), "Table1");
    {
        auto db = Database::open(copy.path());
        EXPECT_EQ(db->execute("UPDATE Table1 SET CD_AGENTE = 999999 WHERE CD_AGENTE = 7"), low);
    }
    expectIndexesExact(copy.path(), "Table1");
    const std::int64_t abc = count("RS_AGENTE = 'abc'");
    {
        auto db = Database::open(copy.path());
        EXPECT_EQ(db->execute("UPDATE Table1 SET CD_AGENTE = 5 WHERE CD_AGENTE >= 0"), valued);
        EXPECT_EQ(db->execute("UPDATE Table1 SET CD_AGENTE = 6 WHERE RS_AGENTE = 'abc'"), abc);
    }
    EXPECT_EQ(count("CD_AGENTE = 6"), abc);
    EXPECT_EQ(count("CD_AGENTE = 5") + abc, count("CD_AGENTE >= 0"));
    expectFileSound(copy.path(), "Table1");
}

}  // namespace
}  // namespace jet
