// Index pages emptied by removals: taken out of the tree and the index's
// map, marked free in the global map, and that map written after every page
// that stopped pointing at them. A statement that splits a page after
// emptying one takes the emptied page again (never a page that is both
// free and referenced).
#include "fixtures.h"
#include "format/index_page.h"
#include "format/storage.h"
#include "index/index_write.h"
#include "io/memory_env.h"
#include "write/writer.h"

namespace jet {
namespace {

constexpr std::uint32_t kGlobalMapPointer = 1u << 8;  // page 1, slot 0

// The store in memory, written page by page without a journal, so that a
// crash can stop the statement between any two page writes.
struct Tickets {
    MemoryEnv env;
    std::unique_ptr<Storage> storage;
    const TableDef* def = nullptr;
    const RealIndexDef* primary = nullptr;

    explicit Tickets(const std::vector<std::uint8_t>& bytes) {
        env.putFile("store.mdb", bytes);
        storage = Storage::open(env.openFile("store.mdb", true));
        def = &storage->tableDef("Cabecera Tickets de Venta");
        for (const IndexDef& ix : def->indexes)
            if (ix.index.primaryKey) primary = &def->realIndexes[ix.realIndex];
    }
    std::vector<std::uint8_t> bytes() const { return env.fileBytes("store.mdb"); }
    const IndexPageFormat& format() const { return IndexPageFormat::forJet(4); }
    // A leaf with neighbours on both sides.
    IndexPage middleLeaf() {
        for (std::uint32_t p : storage->usageMapPages(primary->usageMap)) {
            if (storage->pager().page(p).u8(0) != kIndexLeafPage) continue;
            IndexPage page = parseIndexPage(storage->pager().page(p), p, format());
            if (page.prevPage != 0 && page.nextPage != 0 && !page.entries.empty()) return page;
        }
        throw std::runtime_error("no middle leaf");
    }
    bool freeInGlobalMap(std::uint32_t page) {
        const auto free = storage->usageMapPages(kGlobalMapPointer);
        return std::find(free.begin(), free.end(), page) != free.end();
    }
    // Removes every entry of `leaf` (and inserts `extra` entries copied from
    // its first, under new row ids, so that the statement must claim a page
    // when `extra` is large), then commits.
    WriteStats emptyLeaf(const IndexPage& leaf, int extra = 0) {
        PageWriter pages(*storage);
        IndexWriter writer(pages, *def, *primary, "PrimaryKey", false);
        for (const IndexEntry& e : leaf.entries) writer.remove(e.key, e.row);
        for (int i = 0; i < extra; ++i)
            writer.insert(leaf.entries.front().key + char(i / 256) + char(i % 256),
                          RowId{leaf.entries.front().row.page, std::uint16_t(i % 200)}, false);
        writer.flush();
        pages.commit();
        return pages.stats();
    }
};

TEST(IndexFree, EmptiedLeafBecomesFreeAndTheIndexStaysWhole) {
    const auto original = testing::readAll(testing::storeFile("store.mdb"));
    Tickets t(original);
    const IndexPage leaf = t.middleLeaf();
    const std::size_t before =
        readIndex(pagerSource(t.storage->pager()), t.primary->rootPage, t.format()).size();
    ASSERT_FALSE(t.freeInGlobalMap(leaf.number));

    const WriteStats stats = t.emptyLeaf(leaf);
    const long written = stats.pagesWritten;
    EXPECT_EQ(stats.pagesAppended, 0);
    Tickets after(t.bytes());
    const auto entries =
        readIndex(pagerSource(after.storage->pager()), after.primary->rootPage, after.format());
    EXPECT_EQ(entries.size(), before - leaf.entries.size());
    const auto mapped = after.storage->usageMapPages(after.primary->usageMap);
    EXPECT_EQ(std::find(mapped.begin(), mapped.end(), leaf.number), mapped.end());
    EXPECT_TRUE(after.freeInGlobalMap(leaf.number));
    // Nothing else changed in the global map.
    auto freeBefore = Tickets(original).storage->usageMapPages(kGlobalMapPointer);
    freeBefore.push_back(leaf.number);
    std::sort(freeBefore.begin(), freeBefore.end());
    EXPECT_EQ(after.storage->usageMapPages(kGlobalMapPointer), freeBefore);

    // Stopped one page short, the write has not yet freed the page: the
    // global map goes last.
    Tickets cut(original);
    cut.env.crashAfter(written - 1);
    EXPECT_THROW(cut.emptyLeaf(cut.middleLeaf()), SimulatedCrash);
    cut.env.restartAfterProcessCrash();
    const std::size_t ps = 4096;
    EXPECT_TRUE(
        std::equal(original.begin() + ps, original.begin() + 2 * ps, cut.bytes().begin() + ps));
    EXPECT_NE(cut.bytes(), original);
}

TEST(IndexFree, ASplitInTheSameStatementTakesTheEmptiedPageAgain) {
    Tickets t(testing::readAll(testing::storeFile("store.mdb")));
    const IndexPage leaf = t.middleLeaf();
    const std::size_t before =
        readIndex(pagerSource(t.storage->pager()), t.primary->rootPage, t.format()).size();
    t.emptyLeaf(leaf, 400);  // enough new entries to split a leaf
    Tickets after(t.bytes());
    const auto mapped = after.storage->usageMapPages(after.primary->usageMap);
    EXPECT_NE(std::find(mapped.begin(), mapped.end(), leaf.number), mapped.end())
        << "the emptied leaf was not taken again";
    EXPECT_FALSE(after.freeInGlobalMap(leaf.number));
    for (std::uint32_t p : mapped) EXPECT_FALSE(after.freeInGlobalMap(p)) << p;
    // Every entry reachable and in order (readIndex checks the order).
    const auto entries =
        readIndex(pagerSource(after.storage->pager()), after.primary->rootPage, after.format());
    EXPECT_EQ(entries.size(), before - leaf.entries.size() + 400);
}

}  // namespace
}  // namespace jet
