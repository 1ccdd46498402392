#include "format/index_page.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "format/storage.h"
#include "index/collation.h"
#include "index/index_key.h"
#include "io/memory_env.h"
#include "shared_fixtures.h"
#include "store_files.h"

namespace jet {
namespace {

namespace fs = std::filesystem;

std::string hexOf(const std::string& s) {
    static const char* d = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if (!out.empty()) out += ' ';
        out += d[c >> 4];
        out += d[c & 15];
    }
    return out;
}

std::string keyOf(const Value& v, ColumnType type, bool descending = false,
                  SortOrder order = SortOrder::General4) {
    std::string out;
    appendIndexKey(out, v, type, descending, order);
    return hexOf(out);
}

// ---------------------------------------------------------------------------
// Key encoding of scalar types (values from the format guide's Access checks).

TEST(IndexKey, NumbersOrderAsBytes) {
    EXPECT_EQ(keyOf(std::int64_t{1}, ColumnType::Long), "7F 80 00 00 01");
    EXPECT_EQ(keyOf(std::int64_t{-1}, ColumnType::Long), "7F 7F FF FF FF");
    EXPECT_EQ(keyOf(0.0, ColumnType::Double), "7F 80 00 00 00 00 00 00 00");
    EXPECT_EQ(keyOf(std::int64_t{1}, ColumnType::Long, true), "80 7F FF FF FE");
    EXPECT_EQ(keyOf(Value(), ColumnType::Long), "00");
    EXPECT_EQ(keyOf(Value(), ColumnType::Long, true), "FF");
    EXPECT_EQ(keyOf(true, ColumnType::Boolean), "7F 00");
    EXPECT_EQ(keyOf(false, ColumnType::Boolean), "7F FF");
    EXPECT_EQ(keyOf(true, ColumnType::Boolean, true), "80 FF");

    // Byte order must equal numeric order, across signs and widths.
    auto raw = [](const Value& v, ColumnType t, bool desc = false) {
        std::string s;
        appendIndexKey(s, v, t, desc, SortOrder::General4);
        return s;
    };
    const double doubles[] = {-1e300, -2.5, -1.25, -1.0, -1e-300, 0.0, 1e-300, 0.5, 1.0, 45000.75};
    for (std::size_t i = 0; i + 1 < std::size(doubles); ++i) {
        EXPECT_LT(raw(doubles[i], ColumnType::Double), raw(doubles[i + 1], ColumnType::Double));
        EXPECT_GT(raw(doubles[i], ColumnType::Double, true),
                  raw(doubles[i + 1], ColumnType::Double, true));
        EXPECT_LT(raw(DateTime{doubles[i]}, ColumnType::DateTime),
                  raw(DateTime{doubles[i + 1]}, ColumnType::DateTime));
    }
    const double singles[] = {-3e38, -2.5, -1.0, -1e-38, 0.0, 1e-38, 0.5, 20.283, 3e38};
    for (std::size_t i = 0; i + 1 < std::size(singles); ++i) {
        EXPECT_LT(raw(singles[i], ColumnType::Single), raw(singles[i + 1], ColumnType::Single));
        EXPECT_GT(raw(singles[i], ColumnType::Single, true),
                  raw(singles[i + 1], ColumnType::Single, true));
    }
    const std::int64_t ints[] = {-32768, -300, -1, 0, 1, 255, 32767};
    for (std::size_t i = 0; i + 1 < std::size(ints); ++i) {
        for (ColumnType t : {ColumnType::Integer, ColumnType::Long}) {
            EXPECT_LT(raw(ints[i], t), raw(ints[i + 1], t)) << ints[i];
            EXPECT_GT(raw(ints[i], t, true), raw(ints[i + 1], t, true)) << ints[i];
        }
        EXPECT_LT(raw(Currency{ints[i] * 10000}, ColumnType::Currency),
                  raw(Currency{ints[i + 1] * 10000}, ColumnType::Currency));
    }
    // Nulls first ascending, last descending.
    EXPECT_LT(raw(Value(), ColumnType::Long), raw(std::int64_t{-2147483647}, ColumnType::Long));
    EXPECT_GT(raw(Value(), ColumnType::Long, true),
              raw(std::int64_t{-2147483647}, ColumnType::Long, true));
}

TEST(IndexKey, GuidDecimalAndRefusals) {
    Bytes guid(16);
    for (int i = 0; i < 16; ++i) guid[i] = std::uint8_t(i + 1);
    // Data1..Data3 are stored little-endian and keyed in text order.
    EXPECT_EQ(keyOf(guid, ColumnType::Guid),
              "7F 04 03 02 01 06 05 08 07 09 09 0A 0B 0C 0D 0E 0F 10 08");
    EXPECT_EQ(keyOf(guid, ColumnType::Guid, true),
              "80 FB FC FD FE F9 FA F7 F8 09 F6 F5 F4 F3 F2 F1 F0 EF F7");
    EXPECT_THROW(keyOf(Value(Bytes{1, 2}), ColumnType::Ole), Error);

    // Decimal: the column scale decides the unscaled magnitude.
    auto dec = [](const char* text, int scale, bool desc = false) {
        std::string s;
        appendIndexKey(s, Decimal{text}, ColumnType::Numeric, desc, SortOrder::General4, scale);
        return s;
    };
    EXPECT_EQ(dec("1.5", 2), dec("1.50", -1));
    EXPECT_EQ(hexOf(dec("1.50", 2)), "7F FF 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 96");
    EXPECT_LT(dec("-2", 0), dec("-1", 0));
    EXPECT_LT(dec("-1", 0), dec("0", 0));
    EXPECT_LT(dec("0", 0), dec("7", 0));
    EXPECT_GT(dec("0", 0, true), dec("7", 0, true));
    EXPECT_THROW(dec("1.555", 2), Error);
    EXPECT_THROW(dec("1x", 0), Error);
    EXPECT_THROW(keyOf(std::u16string(u"x"), ColumnType::Long), Error);
    EXPECT_THROW(keyOf(std::int64_t{300}, ColumnType::Byte), Error);
}

// ---------------------------------------------------------------------------
// Index pages built by hand, then damaged.

struct PageBuilder {
    const IndexPageFormat& f = IndexPageFormat::forJet(4);
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(4096, 0);

    PageBuilder(std::uint8_t type, std::uint32_t tdef, std::uint32_t prev, std::uint32_t next,
                std::uint32_t tail = 0) {
        ByteSpan s(bytes.data(), bytes.size());
        s.u8(0, type);
        s.u8(1, 1);
        s.u32(4, tdef);
        s.u32(f.prevOffset, prev);
        s.u32(f.nextOffset, next);
        s.u32(f.tailOffset, tail);
    }
    // Entries are full (key + pointers); `prefix` bytes are left out of all
    // but the first.
    void setEntries(const std::vector<std::string>& entries, std::size_t prefix = 0) {
        ByteSpan s(bytes.data(), bytes.size());
        s.u16(f.prefixOffset, std::uint16_t(prefix));
        std::size_t pos = 0;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            std::string stored = i == 0 ? entries[i] : entries[i].substr(prefix);
            for (char c : stored) bytes[f.entriesOffset + pos++] = std::uint8_t(c);
            bytes[f.bitmapOffset + pos / 8] |= std::uint8_t(1u << (pos % 8));
        }
        s.u16(2, std::uint16_t(4096 - f.entriesOffset - pos));
    }
};

std::string entry(const std::string& key, std::uint32_t page, std::uint8_t slot,
                  std::uint32_t child = 0, bool node = false) {
    std::string e = key;
    e += char(page >> 16);
    e += char(page >> 8);
    e += char(page);
    e += char(slot);
    if (node) {
        for (int i = 3; i >= 0; --i) e += char(child >> (8 * i));
    }
    return e;
}

struct MemPages {
    std::map<std::uint32_t, std::vector<std::uint8_t>> pages;
    PageSource source() {
        return [this](std::uint32_t n) {
            auto it = pages.find(n);
            if (it == pages.end()) throw Error("no such page", ErrorKind::Corrupt);
            return ByteView(it->second.data(), it->second.size(), n);
        };
    }
};

// A root node (page 10) over leaves 11 and 12, prefix-compressed.
MemPages smallTree() {
    MemPages m;
    PageBuilder root(kIndexNodePage, 5, 0, 0, 12);
    root.setEntries(
        {entry("\x7F"
               "AB2",
               20, 2, 11, true)});
    PageBuilder a(kIndexLeafPage, 5, 0, 12);
    a.setEntries({entry("\x7F"
                        "AB1",
                        20, 1),
                  entry("\x7F"
                        "AB1",
                        20, 3),
                  entry("\x7F"
                        "AB2",
                        20, 2)},
                 3);
    PageBuilder b(kIndexLeafPage, 5, 11, 0);
    b.setEntries({entry("\x7F"
                        "AC",
                        21, 0),
                  entry("\x7F"
                        "AD",
                        20, 0)},
                 2);
    m.pages[10] = root.bytes;
    m.pages[11] = a.bytes;
    m.pages[12] = b.bytes;
    return m;
}

TEST(IndexPage, WalksAndSeeksATree) {
    MemPages m = smallTree();
    auto all = readIndex(m.source(), 10, IndexPageFormat::forJet(4));
    std::vector<std::string> got;
    for (auto& e : all)
        got.push_back(e.key.substr(1) + ":" + std::to_string(e.row.page) + "/" +
                      std::to_string(e.row.slot));
    EXPECT_EQ(got,
              (std::vector<std::string>{"AB1:20/1", "AB1:20/3", "AB2:20/2", "AC:21/0", "AD:20/0"}));

    IndexCursor c(m.source(), 10, IndexPageFormat::forJet(4));
    c.seek(
        "\x7F"
        "AB2");
    ASSERT_TRUE(c.next());
    EXPECT_EQ(c.entry().key,
              "\x7F"
              "AB2");
    c.seek(
        "\x7F"
        "AB3");
    ASSERT_TRUE(c.next());
    EXPECT_EQ(c.entry().key,
              "\x7F"
              "AC");
    c.seek(
        "\x7F"
        "AB1",
        RowId{20, 2});
    ASSERT_TRUE(c.next());
    EXPECT_EQ(c.entry().row.slot, 3);
    c.seek(
        "\x7F"
        "Z");
    EXPECT_FALSE(c.next());
}

TEST(IndexPage, WrittenPagesReadBack) {
    MemPages m = smallTree();
    const auto& f = IndexPageFormat::forJet(4);
    IndexPage leaf = parseIndexPage(ByteView(m.pages[11].data(), 4096, 11), 11, f);
    ASSERT_EQ(leaf.entries.size(), 3u);
    leaf.entries.insert(leaf.entries.begin() + 1, IndexEntry{"\x7F"
                                                             "AB1",
                                                             RowId{20, 2}});
    leaf.prefixLength = sharedKeyPrefix(leaf, f);
    EXPECT_EQ(leaf.prefixLength, 3u);  // the flag byte and "AB"
    std::vector<std::uint8_t> buf(4096, 0xEE);
    writeIndexPage(ByteSpan(buf.data(), buf.size(), 11), leaf, f);
    EXPECT_EQ(buf[0x08], 0xEE);  // bytes without a known meaning are left alone
    IndexPage back = parseIndexPage(ByteView(buf.data(), buf.size(), 11), 11, f);
    ASSERT_EQ(back.entries.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(back.entries[i].key, leaf.entries[i].key);
        EXPECT_EQ(back.entries[i].row, leaf.entries[i].row);
    }
    EXPECT_EQ(back.nextPage, 12u);
    EXPECT_EQ(back.freeSpace, 4096 - f.entriesOffset - back.entryBytes);
    const std::size_t end = f.entriesOffset + back.entryBytes;
    EXPECT_EQ(buf[end], 0);  // the unused entry area is zeroed...
    std::fill(buf.begin() + end, buf.end(), 0xEE);
    writeIndexPage(ByteSpan(buf.data(), buf.size(), 11), leaf, f, {.unusedBytes = true});
    EXPECT_EQ(buf[end], 0xEE);  // ... or left as Access leaves it
    EXPECT_EQ(buf[f.prefixOffset + f.prefixWidth], 0x00);
    buf[f.prefixOffset + f.prefixWidth] = 0x07;
    writeIndexPage(ByteSpan(buf.data(), buf.size(), 11), leaf, f, {.nodeMarker = true});
    EXPECT_EQ(buf[f.prefixOffset + f.prefixWidth], 0x07);  // kept: still a leaf
    IndexPage node = leaf;
    node.leaf = false;
    writeIndexPage(ByteSpan(buf.data(), buf.size(), 11), node, f, {.nodeMarker = true});
    EXPECT_EQ(buf[f.prefixOffset + f.prefixWidth], 0x01);  // the page changed kind

    // Jet 3 holds the prefix length in one byte.
    IndexPage longKeys;
    longKeys.entries = {IndexEntry{std::string(300, 'k') + "a", RowId{1, 1}},
                        IndexEntry{std::string(300, 'k') + "b", RowId{1, 2}}};
    EXPECT_EQ(sharedKeyPrefix(longKeys, IndexPageFormat::forJet(3)), 255u);
    EXPECT_EQ(sharedKeyPrefix(longKeys, f), 300u);

    IndexPage bad = leaf;
    bad.prefixLength = 4;  // not shared: "AB1" and "AB2" differ in their last byte
    EXPECT_THROW(writeIndexPage(ByteSpan(buf.data(), buf.size()), bad, f), Error);
    IndexPage full = leaf;
    full.prefixLength = 0;
    full.entries.assign(400, IndexEntry{std::string(6, 'x'), RowId{1, 1}});
    EXPECT_THROW(writeIndexPage(ByteSpan(buf.data(), buf.size()), full, f), Error);
}

TEST(IndexPage, DamagedPagesRaiseCorruption) {
    auto expectCorrupt = [](MemPages m, const char* what) {
        SCOPED_TRACE(what);
        try {
            readIndex(m.source(), 10, IndexPageFormat::forJet(4));
            ADD_FAILURE() << "no error";
        } catch (const Error& e) {
            EXPECT_EQ(e.kind(), ErrorKind::Corrupt) << e.what();
        }
    };
    {
        MemPages m = smallTree();
        m.pages[11][0] = 0x01;
        expectCorrupt(m, "leaf with a data page type");
    }
    {
        MemPages m = smallTree();
        ByteSpan(m.pages[12].data(), 4096).u32(IndexPageFormat::forJet(4).nextOffset, 11);
        expectCorrupt(m, "leaf chain loops");
    }
    {
        MemPages m = smallTree();
        ByteSpan(m.pages[10].data(), 4096).u32(IndexPageFormat::forJet(4).tailOffset, 10);
        ByteSpan(m.pages[10].data(), 4096).writeBE(0x1E0 + 8, 4, 10);
        expectCorrupt(m, "node pointing at itself");
    }
    {
        MemPages m = smallTree();
        ByteSpan(m.pages[11].data(), 4096).u16(0x18, 200);
        expectCorrupt(m, "prefix longer than the first entry");
    }
    {
        MemPages m = smallTree();
        m.pages[11][0x1B + 452] = 0x80;  // bit 3623: past the entry area
        expectCorrupt(m, "bitmap past the entry area");
    }
    {
        MemPages m = smallTree();
        m.pages[12][0x1E0 + 2] = 'A';  // "AC" becomes "AA", before the left leaf's last
        expectCorrupt(m, "entries out of order");
    }
    {
        MemPages m = smallTree();
        std::fill(m.pages[11].begin() + 0x1B, m.pages[11].begin() + 0x1E0, 0);
        m.pages[11][0x1B] = 0x04;  // a 2-byte entry: shorter than its row pointer
        expectCorrupt(m, "entry too short");
    }
    {
        MemPages m = smallTree();
        ByteSpan(m.pages[11].data(), 4096).u32(4, 6);
        expectCorrupt(m, "leaf of another table");
    }
    {
        MemPages m = smallTree();
        ByteSpan(m.pages[11].data(), 4096).u32(IndexPageFormat::forJet(4).nextOffset, 99);
        expectCorrupt(m, "next pointer to a missing page");
    }
}

// ---------------------------------------------------------------------------
// Access- and Jackcess-written files: every index entry recomputed from its row.

fs::path fixtures() { return fs::path(testing::sharedFixturesDir()); }

// Opens a file from an in-memory copy, so the original is never written.
std::unique_ptr<Storage> openCopy(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    if (!in) return nullptr;
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    return Storage::open(std::make_unique<MemoryFile>(std::move(bytes), p.string()));
}

// A file of the shared folder.
std::unique_ptr<Storage> openFixture(const std::string& rel) { return openCopy(fixtures() / rel); }

// A store variant made by the engine's own builder.
std::unique_ptr<Storage> openBuilt(const std::string& variant) {
    return openCopy(testing::storeFile(variant));
}

struct IndexCheck {
    std::size_t entries = 0;
    std::size_t mismatches = 0;
    std::size_t skippedIndexes = 0;  // on columns the key builder refuses
    std::vector<std::string> firstMismatches;
};

// Walks every real index of a table and recomputes each entry's key from the
// row it points at. Also checks one entry per row (nulls included, unless the
// index ignores them).
void checkTable(Storage& st, const std::string& table, IndexCheck& out) {
    SCOPED_TRACE(table);
    const TableDef& def = st.tableDef(table);
    const SortOrder order = sortOrderForJet(st.format().version);
    std::vector<int> all;
    for (std::size_t i = 0; i < def.columns.size(); ++i) all.push_back(int(i));
    std::map<RowId, std::vector<Value>> rows;
    st.scan(def, all, [&](RowId id, std::vector<Value>& v) {
        rows.emplace(id, v);
        return true;
    });

    std::set<int> seenReal;
    for (const IndexDef& idx : def.indexes) {
        if (!seenReal.insert(idx.realIndex).second) continue;
        const RealIndexDef& real = def.realIndexes.at(idx.realIndex);
        SCOPED_TRACE(idx.index.name);
        std::vector<KeyColumn> cols;
        for (std::size_t i = 0; i < idx.columnPositions.size(); ++i) {
            int pos = idx.columnPositions[i];
            ASSERT_GE(pos, 0);
            cols.push_back(
                {def.columns[pos].column.type, !real.ascending.at(i), def.columns[pos].scale});
        }
        auto entries = readIndex(pagerSource(st.pager()), real.rootPage,
                                 IndexPageFormat::forJet(st.format().version));
        std::set<RowId> pointed;
        bool refused = false;
        for (const IndexEntry& e : entries) {
            auto it = rows.find(e.row);
            ASSERT_NE(it, rows.end())
                << "entry points at no row: " << e.row.page << "/" << e.row.slot;
            EXPECT_TRUE(pointed.insert(e.row).second) << "row indexed twice";
            std::vector<Value> values;
            for (int pos : idx.columnPositions) values.push_back(it->second[pos]);
            std::string expected;
            try {
                expected = indexKey(values, cols, order);
            } catch (const Error& err) {
                if (err.kind() != ErrorKind::NotSupported) throw;
                refused = true;
                break;
            }
            ++out.entries;
            if (expected != e.key) {
                ++out.mismatches;
                if (out.firstMismatches.size() < 10)
                    out.firstMismatches.push_back(table + "." + idx.index.name + " row " +
                                                  std::to_string(e.row.page) + "/" +
                                                  std::to_string(e.row.slot) + ": file " +
                                                  hexOf(e.key) + " / built " + hexOf(expected));
            }
        }
        if (refused) {
            ++out.skippedIndexes;
            continue;
        }
        if (!(real.flags & kIndexIgnoreNulls)) {
            EXPECT_EQ(pointed.size(), rows.size());
        }
    }
}

IndexCheck checkStorage(Storage& st) {
    IndexCheck out;
    for (const std::string& t : st.tableNames()) checkTable(st, t, out);
    return out;
}

IndexCheck checkFile(const std::string& rel) {
    auto st = openFixture(rel);
    if (!st) {
        ADD_FAILURE() << "missing fixture " << rel;
        return {};
    }
    return checkStorage(*st);
}

class AccessIndexes : public ::testing::TestWithParam<const char*> {};

TEST_P(AccessIndexes, EveryEntryRebuiltFromItsRow) {
    if (!fs::exists(fixtures())) GTEST_SKIP() << "fixtures not available";
    IndexCheck c = checkFile(GetParam());
    EXPECT_GT(c.entries, 0u);
    EXPECT_EQ(c.mismatches, 0u);
    for (const auto& m : c.firstMismatches) ADD_FAILURE() << m;
    std::printf("[ info ] %s: %zu entries rebuilt, %zu indexes on unsupported columns\n",
                GetParam(), c.entries, c.skippedIndexes);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, AccessIndexes,
                         ::testing::Values("access/testIndexCodesV2000.mdb",
                                           "access/testIndexCodesV1997.mdb",
                                           "access/compIndexTestV2000.mdb",
                                           "access/indexTestV2000.mdb", "access/testV2000.mdb",
                                           "access/testV1997.mdb", "access/fixedTextTestV2000.mdb",
                                           "access/testUnicodeCompV2003.mdb", "store.mdb",
                                           "store-type-mismatch.mdb", "store-single.mdb"));

// The engine's own store files, every shape of key the store uses.
class BuiltIndexes : public ::testing::TestWithParam<const char*> {};

TEST_P(BuiltIndexes, EveryEntryRebuiltFromItsRow) {
    IndexCheck c = checkStorage(*openBuilt(GetParam()));
    EXPECT_GT(c.entries, 0u);
    EXPECT_EQ(c.mismatches, 0u);
    EXPECT_EQ(c.skippedIndexes, 0u);
    for (const auto& m : c.firstMismatches) ADD_FAILURE() << m;
}

INSTANTIATE_TEST_SUITE_P(Stores, BuiltIndexes,
                         ::testing::Values("store.mdb", "store-type-mismatch.mdb",
                                           "store-single.mdb", "store-extra-columns.mdb"));

// 1.1 million entries (about 10 s): only when PRECIOS_SLOW_TESTS is set.
TEST(AccessIndexes, StoreBigEveryEntryRebuilt) {
    if (!std::getenv("PRECIOS_SLOW_TESTS")) GTEST_SKIP() << "set PRECIOS_SLOW_TESTS to run";
    IndexCheck c = checkFile("store-big.mdb");
    EXPECT_EQ(c.entries, 1100085u);
    EXPECT_EQ(c.mismatches, 0u);
    for (const auto& m : c.firstMismatches) ADD_FAILURE() << m;
}

// Every index page in the files (stale ones included) parses, and its
// free-space field equals the room its entries leave, as a writer must keep.
TEST(AccessIndexes, IndexPagesParseAndAccountForTheirSpace) {
    if (!fs::exists(fixtures())) GTEST_SKIP() << "fixtures not available";
    for (const char* rel : {"access/testIndexCodesV2000.mdb", "access/testIndexCodesV1997.mdb",
                            "access/compIndexTestV2000.mdb", "store.mdb"}) {
        SCOPED_TRACE(rel);
        auto st = openFixture(rel);
        ASSERT_TRUE(st);
        const auto& f = IndexPageFormat::forJet(st->format().version);
        std::size_t pages = 0, compressed = 0, nodes = 0;
        for (std::uint32_t n = 1; n < st->pager().pageCount(); ++n) {
            ByteView v = st->pager().page(n);
            if (v.u8(0) != kIndexLeafPage && v.u8(0) != kIndexNodePage) continue;
            IndexPage p = parseIndexPage(v, n, f);
            ++pages;
            compressed += p.prefixLength > 0;
            nodes += !p.leaf;
            EXPECT_EQ(p.freeSpace, f.pageSize - f.entriesOffset - p.entryBytes) << "page " << n;
            EXPECT_EQ(storedEntryBytes(p.entries, p.leaf, p.prefixLength), p.entryBytes);
            // Writing the parsed page back reproduces the bytes, except that
            // Jackcess (store.mdb) leaves 0 where Access marks node pages with 1.
            std::vector<std::uint8_t> copy(v.data(), v.data() + v.size());
            writeIndexPage(ByteSpan(copy.data(), copy.size(), n), p, f);
            const std::size_t nodeMark = f.prefixOffset + f.prefixWidth;
            if (!p.leaf && v.u8(nodeMark) == 0) copy[nodeMark] = 0;
            const std::size_t end = f.entriesOffset + p.entryBytes;
            EXPECT_TRUE(std::equal(copy.begin(), copy.begin() + long(end), v.data()))
                << "page " << n;
        }
        EXPECT_GT(pages, 10u);
        EXPECT_GT(compressed, 0u);
        EXPECT_GT(nodes, 0u);
    }
}

// An Access-made multi-page index, damaged in memory: a clear error, never a
// crash or a hang, whatever the bytes say.
TEST(AccessIndexes, DamagedIndexPagesOfARealFile) {
    if (!fs::exists(fixtures())) GTEST_SKIP() << "fixtures not available";
    auto st = openFixture("access/compIndexTestV2000.mdb");
    ASSERT_TRUE(st);
    const TableDef& def = st->tableDef("Table1");
    const std::uint32_t root = def.realIndexes.at(0).rootPage;
    const auto& f = IndexPageFormat::forJet(4);
    std::map<std::uint32_t, std::vector<std::uint8_t>> original;
    {
        ByteView r = st->pager().page(root);
        IndexPage node = parseIndexPage(r, root, f);
        ASSERT_FALSE(node.leaf);
        original[root].assign(r.data(), r.data() + r.size());
        for (std::uint32_t child : {node.entries.at(0).child, node.tailPage}) {
            ByteView c = st->pager().page(child);
            original[child].assign(c.data(), c.data() + c.size());
        }
    }
    ASSERT_EQ(original.size(), 3u);
    const std::size_t rows = readIndex(pagerSource(st->pager()), root, f).size();
    ASSERT_EQ(rows, 512u);

    std::uint64_t seed = 12345;
    auto rnd = [&seed](std::uint64_t n) {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        return (seed >> 33) % n;
    };
    int failures = 0, survived = 0;
    for (int round = 0; round < 3000; ++round) {
        MemPages m;
        m.pages = original;
        auto it = std::next(m.pages.begin(), long(rnd(m.pages.size())));
        const int flips = 1 + int(rnd(4));
        for (int i = 0; i < flips; ++i) {
            // Mostly the header and bitmap, where a flip changes the structure.
            std::size_t at = rnd(3) ? rnd(0x1E0 + 64) : rnd(4096);
            it->second[at] = std::uint8_t(rnd(256));
        }
        try {
            readIndex(m.source(), root, f);
            ++survived;
        } catch (const Error&) {
            ++failures;
        }
    }
    EXPECT_GT(failures, 100);
    EXPECT_GT(survived, 100);
}

// Seeking through the node levels of multi-page indexes finds every entry,
// and a key between two entries lands on the second.
void expectSeekFindsEveryEntry(const std::unique_ptr<Storage>& st) {
    ASSERT_TRUE(st);
    for (const char* table : {"Articulos", "Cabecera Tickets de Venta"}) {
        const TableDef& def = st->tableDef(table);
        for (const RealIndexDef& real : def.realIndexes) {
            auto entries =
                readIndex(pagerSource(st->pager()), real.rootPage, IndexPageFormat::forJet(4));
            IndexCursor c(pagerSource(st->pager()), real.rootPage, IndexPageFormat::forJet(4));
            for (std::size_t i = 0; i < entries.size(); ++i) {
                c.seek(entries[i].key, entries[i].row);
                ASSERT_TRUE(c.next());
                ASSERT_EQ(c.entry().key, entries[i].key) << table << " entry " << i;
                ASSERT_EQ(c.entry().row, entries[i].row);
                if (i + 1 < entries.size() && entries[i].key != entries[i + 1].key) {
                    c.seek(entries[i].key + '\xFF');  // after every entry with this key
                    ASSERT_TRUE(c.next());
                    ASSERT_EQ(c.entry().key, entries[i + 1].key);
                }
            }
        }
    }
}

TEST(AccessIndexes, SeekFindsEveryEntry) {
    if (!fs::exists(fixtures())) GTEST_SKIP() << "fixtures not available";
    expectSeekFindsEveryEntry(openFixture("store.mdb"));
}

TEST(BuiltIndexes, SeekFindsEveryEntry) { expectSeekFindsEveryEntry(openBuilt("store.mdb")); }

// ORDER BY on text must agree with the index order of the file.
void expectCompareTextFollowsTheDescripcionIndex(const std::unique_ptr<Storage>& st) {
    ASSERT_TRUE(st);
    const TableDef& def = st->tableDef("Articulos");
    const int col = def.columnIndex("Descripcion");
    std::size_t rows = 0, nullRows = 0;
    st->scan(def, {col}, [&](RowId, std::vector<Value>& v) {
        ++rows;
        nullRows += v[0].isNull();
        return true;
    });
    const IndexDef* idx = nullptr;
    for (const IndexDef& i : def.indexes)
        if (i.index.name == "Descripcion") idx = &i;
    ASSERT_TRUE(idx);
    auto entries = readIndex(pagerSource(st->pager()), idx->rootPage, IndexPageFormat::forJet(4));
    ASSERT_EQ(entries.size(), rows);
    std::vector<Value> inIndexOrder;
    for (const IndexEntry& e : entries) inIndexOrder.push_back(st->readRow(def, e.row, {col})[0]);
    std::size_t nulls = 0, ties = 0;
    for (std::size_t i = 1; i < inIndexOrder.size(); ++i) {
        const Value& a = inIndexOrder[i - 1];
        const Value& b = inIndexOrder[i];
        if (a.isNull()) {
            ++nulls;
            continue;
        }
        ASSERT_FALSE(b.isNull()) << "null after a value";
        const auto& sa = std::get<std::u16string>(a.v);
        const auto& sb = std::get<std::u16string>(b.v);
        int c = compareText(sa, sb, SortOrder::General4);
        EXPECT_LE(c, 0) << utf16ToUtf8(sa) << " / " << utf16ToUtf8(sb);
        EXPECT_EQ(c == 0, equalText(sa, sb, SortOrder::General4));
        if (c == 0) ++ties;
    }
    EXPECT_EQ(nulls, nullRows);  // the NULLs come first
    EXPECT_GE(ties, 3u);         // SACO ESCOMBRO x3, Cemento cola flexible x2
}

// Access's own order, in the independent writer's file.
TEST(AccessIndexes, CompareTextFollowsTheDescripcionIndex) {
    if (!fs::exists(fixtures())) GTEST_SKIP() << "fixtures not available";
    expectCompareTextFollowsTheDescripcionIndex(openFixture("store.mdb"));
}

TEST(BuiltIndexes, CompareTextFollowsTheDescripcionIndex) {
    expectCompareTextFollowsTheDescripcionIndex(openBuilt("store.mdb"));
}

}  // namespace
}  // namespace jet
