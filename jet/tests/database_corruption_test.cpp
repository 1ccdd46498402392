// Damaged files: truncated copies and copies with bytes changed in the
// header, table definitions, usage maps, data and long-value pages. Reading
// them must end in a jet::Error or in a result, never in a crash, a hang or
// another exception. Built over MemoryFile copies of a generated store and
// of Access files.
#include <random>

#include "fixtures.h"
#include "format/storage.h"
#include "io/memory_env.h"

namespace jet {
namespace {

using Image = std::vector<std::uint8_t>;

// Everything a caller can reach: the catalog, every table definition, every
// value of every row, the index and long-value usage maps.
void readEverything(Image bytes) {
    auto s = Storage::open(std::make_unique<MemoryFile>(std::move(bytes), "damaged.mdb"));
    s->usageMapPages(1u << 8);  // the global map: page 1, slot 0
    for (const auto& name : s->tableNames()) {
        const TableDef& def = s->tableDef(name);
        std::vector<int> all(def.columns.size());
        for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int>(i);
        std::vector<RowId> ids;
        s->scan(def, all, [&](RowId id, std::vector<Value>&) {
            ids.push_back(id);
            return true;
        });
        s->countRows(def);
        if (!ids.empty()) s->readRow(def, ids.back(), all);
        for (const auto& x : def.realIndexes) s->usageMapPages(x.usageMap);
        for (const auto& c : def.columns)
            if (c.lvalOwnedMap) s->usageMapPages(c.lvalOwnedMap);
    }
}

// The kind of error reading raised, or Generic when it read everything.
ErrorKind outcome(Image bytes) {
    try {
        readEverything(std::move(bytes));
    } catch (const Error& e) {
        EXPECT_FALSE(e.message().empty());
        return e.kind();
    }
    return ErrorKind::Generic;
}

struct Damage {
    int errors = 0;
    int runs = 0;
    void add(ErrorKind k) {
        ++runs;
        errors += k != ErrorKind::Generic;
    }
};

Image load(const std::string& relative) {
    return testing::readAll(testing::databaseFile(relative));
}

class Corruption : public ::testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        if (!testing::haveFile(GetParam())) GTEST_SKIP() << "shared file absent: " << GetParam();
        image_ = load(GetParam());
        ASSERT_EQ(outcome(image_), ErrorKind::Generic) << "the intact file must read";
        auto s = Storage::open(std::make_unique<MemoryFile>(image_));
        pageSize_ = s->format().pageSize;
        // Pages worth damaging: catalog and table definitions, usage maps,
        // data pages, long values.
        targets_ = {2};
        for (const auto& name : s->tableNames()) {
            const TableDef& def = s->tableDef(name);
            targets_.insert(targets_.end(), def.tdefPages.begin(), def.tdefPages.end());
            targets_.push_back(def.ownedMap >> 8);
            auto pages = s->usageMapPages(def.ownedMap);
            targets_.insert(targets_.end(), pages.begin(),
                            pages.begin() + std::min<std::size_t>(3, pages.size()));
            for (const auto& c : def.columns) {
                if (!c.lvalOwnedMap) continue;
                auto lv = s->usageMapPages(c.lvalOwnedMap);
                if (!lv.empty()) targets_.push_back(lv.front());
            }
        }
    }
    Image image_;
    std::size_t pageSize_ = 0;
    std::vector<std::uint32_t> targets_;
};

TEST_P(Corruption, TruncatedCopiesAreRefusedOrRead) {
    const std::size_t pages = image_.size() / pageSize_;
    std::vector<std::size_t> sizes = {0, 1, 0x1F, 0x20, 0x100, pageSize_, 3 * pageSize_ - 1};
    for (std::size_t k = 3; k < pages; k += std::max<std::size_t>(1, pages / 40)) {
        sizes.push_back(k * pageSize_);
        sizes.push_back(k * pageSize_ + pageSize_ / 2);
    }
    Damage d;
    for (std::size_t size : sizes) {
        SCOPED_TRACE(size);
        ErrorKind k = outcome(Image(image_.begin(), image_.begin() + size));
        if (size < 3 * pageSize_) {
            EXPECT_NE(k, ErrorKind::Generic);
        }
        d.add(k);
    }
    // A file cut right after the catalog's definition has lost its rows.
    EXPECT_EQ(outcome(Image(image_.begin(), image_.begin() + 3 * pageSize_)), ErrorKind::Corrupt);
    EXPECT_GT(d.errors, 0);
}

TEST_P(Corruption, HeaderBytesFlipped) {
    Damage d;
    for (std::size_t off = 0; off < 0xA0; ++off) {
        Image copy = image_;
        copy[off] ^= 0xFF;
        d.add(outcome(std::move(copy)));
    }
    EXPECT_GT(d.errors, 0x18);  // at least every byte of the signature
}

TEST_P(Corruption, RandomBytesInStructuresAndData) {
    std::mt19937 rng(12345);
    Damage d;
    for (std::uint32_t page : targets_) {
        for (int round = 0; round < 12; ++round) {
            Image copy = image_;
            const int edits = 1 + static_cast<int>(rng() % 4);
            for (int e = 0; e < edits; ++e) {
                // Headers and offset tables sit at the start of a page.
                std::size_t off = (round % 2 == 0) ? rng() % 96 : rng() % pageSize_;
                copy[std::size_t{page} * pageSize_ + off] = static_cast<std::uint8_t>(rng());
            }
            d.add(outcome(std::move(copy)));
        }
    }
    EXPECT_GT(d.errors, 0);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, Corruption,
                         ::testing::Values("store.mdb", "access/testV1997.mdb",
                                           "access/overflowTestV2000.mdb",
                                           "access-mdbreader/V1997-test.mdb"),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string n;
                             for (char c : info.param)
                                 n += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return n;
                         });

// Chains that would loop forever in a careless reader.
TEST(CorruptionLoops, TdefChainMovedRowsAndUsageMaps) {
    {
        Image img = load("store.mdb");
        ByteSpan(img.data() + 2 * 4096, 4096).u32(4, 2);  // catalog TDEF continues on itself
        std::string message;
        try {
            readEverything(img);
        } catch (const Error& e) {
            message = e.message();
        }
        EXPECT_NE(message.find("loop"), std::string::npos) << message;
        EXPECT_NE(message.find("damaged.mdb"), std::string::npos) << message;
    }
    if (testing::haveFile("access/overflowTestV2000.mdb")) {
        // overflowTestV2000: page 27 slot 2 is a moved-row pointer; point it
        // at itself.
        Image img = load("access/overflowTestV2000.mdb");
        ByteView page(img.data() + 27 * 4096, 4096, 27);
        std::size_t at = page.u16(0x0E + 2 * 2) & 0x1FFF;
        ByteSpan row(img.data() + 27 * 4096 + at, 4);
        row.u8(0, 2);
        row.u24(1, 27);
        EXPECT_EQ(outcome(img), ErrorKind::Corrupt);
    }
    {
        // A table's owned map claiming pages past the end of the file.
        Image img = load("store.mdb");
        auto s = Storage::open(std::make_unique<MemoryFile>(img));
        std::uint32_t map = s->tableDef("Articulos").ownedMap;
        ByteView page(img.data() + std::size_t{map >> 8} * 4096, 4096, map >> 8);
        std::size_t at = page.u16(0x0E + 2 * (map & 0xFF)) & 0x1FFF;
        ByteSpan(img.data() + std::size_t{map >> 8} * 4096 + at, 5).u32(1, 0xFFFFFF00);
        EXPECT_EQ(outcome(img), ErrorKind::Corrupt);
    }
    {
        // A data page claiming more slots than fit.
        Image img = load("store.mdb");
        auto s = Storage::open(std::make_unique<MemoryFile>(img));
        std::uint32_t first = s->usageMapPages(s->tableDef("proveedores").ownedMap).front();
        ByteSpan(img.data() + std::size_t{first} * 4096, 4096).u16(0x0C, 0xFFFF);
        EXPECT_EQ(outcome(img), ErrorKind::Corrupt);
    }
}

}  // namespace
}  // namespace jet
