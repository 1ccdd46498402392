// The journal as it is written now (whole, torn, or of the older version)
// and the UPDATE whose date range is read through the date index.
#include "io/journal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "sql/select.h"
#include "writer_check.h"

namespace jet {
namespace {

using testing::readAll;
using testing::TempCopy;

constexpr std::size_t kPage = 4096;

void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// A journal that holds page 3 with every byte 0x5A, as a write would leave it
// before changing that page.
std::vector<std::uint8_t> journalWithPage3(const std::string& db, std::uint64_t length) {
    const std::vector<std::uint8_t> image(kPage, 0x5A);
    writeJournal(systemEnv(), db, kPage, length, {JournalPage{3, image.data()}});
    return readAll(journalPath(db));
}

TEST(Journal, WholeJournalIsReplayedAndAnyDamagedByteMakesItIgnored) {
    TempCopy copy("store.mdb");
    const auto before = readAll(copy.path());
    const std::vector<std::uint8_t> journal = journalWithPage3(copy.path(), before.size());
    EXPECT_EQ(journal.size(), 24 + 4 + kPage + 16);

    // Whole: the page comes back from it and the journal goes.
    EXPECT_TRUE(replayJournal(systemEnv(), copy.path()));
    EXPECT_FALSE(std::filesystem::exists(journalPath(copy.path())));
    auto after = readAll(copy.path());
    ASSERT_EQ(after.size(), before.size());
    EXPECT_TRUE(std::all_of(after.begin() + 3 * kPage, after.begin() + 4 * kPage,
                            [](std::uint8_t b) { return b == 0x5A; }));
    EXPECT_TRUE(std::equal(after.begin(), after.begin() + 3 * kPage, before.begin()));

    // One changed byte anywhere (header, page number, image, checksum) or a
    // missing tail: never acted on, removed, the file left as it is.
    writeBytes(copy.path(), before);
    for (std::size_t at : {std::size_t{12}, std::size_t{24}, std::size_t{24 + 4 + 100},
                           std::size_t{24 + 4 + kPage - 1}, journal.size() - 16}) {
        SCOPED_TRACE("byte " + std::to_string(at));
        auto damaged = journal;
        damaged[at] ^= 0x01;
        writeBytes(journalPath(copy.path()), damaged);
        EXPECT_FALSE(replayJournal(systemEnv(), copy.path()));
        EXPECT_FALSE(std::filesystem::exists(journalPath(copy.path())));
        EXPECT_TRUE(readAll(copy.path()) == before);
    }
    auto cut = journal;
    cut.resize(cut.size() - 1);
    writeBytes(journalPath(copy.path()), cut);
    { auto db = Database::open(copy.path()); }
    EXPECT_FALSE(std::filesystem::exists(journalPath(copy.path())));
    EXPECT_TRUE(readAll(copy.path()) == before);
}

TEST(Journal, JournalOfTheFirstVersionIsStillReplayed) {
    // As the earlier writer left it: FNV-1a over every byte before the sum.
    TempCopy copy("store.mdb");
    const auto before = readAll(copy.path());
    std::vector<std::uint8_t> j;
    auto put = [&](std::uint64_t v, int width) {
        for (int i = 0; i < width; ++i) j.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    const char magic[] = "JETJRNL1";
    j.insert(j.end(), magic, magic + 8);
    put(kPage, 4);
    put(before.size(), 8);
    put(1, 4);
    put(5, 4);
    j.insert(j.end(), kPage, 0xA5);
    std::uint64_t h = 1469598103934665603ull;
    for (std::uint8_t b : j) {
        h ^= b;
        h *= 1099511628211ull;
    }
    put(h, 8);
    const char end[] = "JETJEND1";
    j.insert(j.end(), end, end + 8);
    writeBytes(journalPath(copy.path()), j);
    { auto db = Database::open(copy.path()); }
    EXPECT_FALSE(std::filesystem::exists(journalPath(copy.path())));
    const auto after = readAll(copy.path());
    EXPECT_TRUE(std::all_of(after.begin() + 5 * kPage, after.begin() + 6 * kPage,
                            [](std::uint8_t b) { return b == 0xA5; }));
}

// The rows a date WHERE matches, counted by a SELECT (which reads a date
// range by scanning the table).
std::size_t scanned(Database& db, const std::string& where) {
    auto c = db.query("SELECT Numero FROM [Cabecera Tickets de Venta] WHERE " + where);
    std::size_t n = 0;
    while (c->next()) ++n;
    return n;
}

TEST(DateRangeUpdate, FindsThroughTheDateIndexTheRowsAScanFinds) {
    TempCopy copy("store.mdb");
    auto db = Database::open(copy.path());
    const std::string t = "[Cabecera Tickets de Venta]";
    const std::vector<std::string> wheres = {
        "Fecha >= #3/1/2024# AND Fecha <= #3/31/2024#",
        "(((" + t + ".Fecha)>=#3/1/2024#) AND ((" + t + ".Fecha)<=#3/31/2024#))",
        "Fecha > #3/1/2024# AND Fecha < #3/31/2024#",
        "#3/1/2024# <= Fecha AND #3/31/2024# >= Fecha AND [Forma de Pago] IS NOT NULL",
        "Fecha >= #1/1/1990# AND Fecha <= #12/31/2100#",
        "Fecha = #3/5/2024#",
    };
    std::size_t some = 0;
    for (const std::string& w : wheres) {
        SCOPED_TRACE(w);
        const std::size_t expected = scanned(*db, w);
        some += expected;
        EXPECT_EQ(db->execute("UPDATE " + t + " SET Documento = 'R' WHERE " + w),
                  static_cast<std::int64_t>(expected));
        EXPECT_EQ(sql::lastAccessPath(), sql::AccessPath::IndexRange);
        EXPECT_EQ(scanned(*db, "(" + w + ") AND Documento = 'R'"), expected);
        db->execute("UPDATE " + t + " SET Documento = '' WHERE " + w);
    }
    EXPECT_GT(some, 0u);
    // Bounds that cross find nothing and change nothing.
    const auto before = readAll(copy.path());
    EXPECT_EQ(
        db->execute("UPDATE " + t +
                    " SET Documento = 'R' WHERE Fecha >= #3/31/2024# AND Fecha <= #3/1/2024#"),
        0);
    EXPECT_TRUE(readAll(copy.path()) == before);
    // One bound only: the scan as before.
    db->execute("UPDATE " + t + " SET Documento = 'R' WHERE Fecha >= #12/1/2099#");
    EXPECT_EQ(sql::lastAccessPath(), sql::AccessPath::Scan);
    testing::expectFileSound(copy.path(), "Cabecera Tickets de Venta");
}

}  // namespace
}  // namespace jet
