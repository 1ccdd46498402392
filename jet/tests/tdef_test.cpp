// The table-definition codec: every definition Access wrote (Jet 3 and
// Jet 4 fixtures, system tables included) and every one of a generated
// store decodes, encodes and decodes again to the same definition; a
// definition longer than a page is split over a chain and joins back.
#include "format/tdef.h"

#include <gtest/gtest.h>

#include "fixtures.h"
#include "format/storage.h"

namespace jet {
namespace {

void expectSameDefinition(const TableDef& a, const TableDef& b) {
    EXPECT_EQ(a.tableType, b.tableType);
    EXPECT_EQ(a.rowCountHint, b.rowCountHint);
    EXPECT_EQ(a.lastAutoNumber, b.lastAutoNumber);
    EXPECT_EQ(a.maxColumns, b.maxColumns);
    EXPECT_EQ(a.varColumns, b.varColumns);
    EXPECT_EQ(a.ownedMap, b.ownedMap);
    EXPECT_EQ(a.freeMap, b.freeMap);
    ASSERT_EQ(a.columns.size(), b.columns.size());
    for (std::size_t i = 0; i < a.columns.size(); ++i) {
        const ColumnDef &x = a.columns[i], &y = b.columns[i];
        SCOPED_TRACE(x.column.name);
        EXPECT_EQ(x.column.name, y.column.name);
        EXPECT_EQ(x.typeCode, y.typeCode);
        EXPECT_EQ(x.number, y.number);
        EXPECT_EQ(x.varIndex, y.varIndex);
        EXPECT_EQ(x.fixedOffset, y.fixedOffset);
        EXPECT_EQ(x.length, y.length);
        EXPECT_EQ(x.flags, y.flags);
        EXPECT_EQ(x.extraFlags, y.extraFlags);
        EXPECT_EQ(x.sortOrder, y.sortOrder);
        EXPECT_EQ(x.sortVersion, y.sortVersion);
        EXPECT_EQ(x.codePage, y.codePage);
        EXPECT_EQ(x.precision, y.precision);
        EXPECT_EQ(x.scale, y.scale);
        EXPECT_EQ(x.lvalOwnedMap, y.lvalOwnedMap);
        EXPECT_EQ(x.lvalFreeMap, y.lvalFreeMap);
    }
    ASSERT_EQ(a.realIndexes.size(), b.realIndexes.size());
    for (std::size_t i = 0; i < a.realIndexes.size(); ++i) {
        const RealIndexDef &x = a.realIndexes[i], &y = b.realIndexes[i];
        EXPECT_EQ(x.columnNumbers, y.columnNumbers);
        EXPECT_EQ(x.ascending, y.ascending);
        EXPECT_EQ(x.usageMap, y.usageMap);
        EXPECT_EQ(x.rootPage, y.rootPage);
        EXPECT_EQ(x.flags, y.flags);
        EXPECT_EQ(x.distinctKeys, y.distinctKeys);
    }
    ASSERT_EQ(a.indexes.size(), b.indexes.size());
    for (std::size_t i = 0; i < a.indexes.size(); ++i) {
        const IndexDef &x = a.indexes[i], &y = b.indexes[i];
        EXPECT_EQ(x.index.name, y.index.name);
        EXPECT_EQ(x.number, y.number);
        EXPECT_EQ(x.realIndex, y.realIndex);
        EXPECT_EQ(x.indexType, y.indexType);
        EXPECT_EQ(x.relatedIndex, y.relatedIndex);
        EXPECT_EQ(x.relatedTable, y.relatedTable);
    }
}

// Every page's definition, encoded, split, joined as a reader joins a
// chain, and decoded.
TableDef roundTrip(const TableDef& def, const Format& f, int codePage) {
    const Bytes encoded = encodeTableDef(def, f);
    const std::vector<Bytes> pages = tdefPageImages(encoded, f);
    Bytes joined;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        EXPECT_EQ(pages[i].size(), f.pageSize);
        EXPECT_EQ(pages[i][0], kPageTdef);
        joined.insert(joined.end(), pages[i].begin() + (i == 0 ? 0 : f.tdefPageHeader),
                      pages[i].end());
    }
    // All but the first page's header (its free space or "VC", its link).
    EXPECT_GE(joined.size(), encoded.size());
    if (joined.size() < encoded.size()) return def;
    EXPECT_TRUE(std::equal(encoded.begin() + f.tdefPageHeader, encoded.end(),
                           joined.begin() + f.tdefPageHeader));
    TableDef again;
    again.name = def.name;
    again.tdefPage = def.tdefPage;
    decodeTableDef(ByteView(joined.data(), joined.size(), def.tdefPage), f, codePage, again);
    return again;
}

void checkFile(const std::string& path) {
    SCOPED_TRACE(path);
    auto s = Storage::open(path, false);
    std::vector<std::string> tables = s->tableNames();
    tables.push_back("MSysObjects");
    for (const std::string& name : tables) {
        SCOPED_TRACE(name);
        const TableDef& def = s->tableDef(name);
        expectSameDefinition(def, roundTrip(def, s->format(), s->header().codePage));
    }
}

TEST(TableDefinition, AccessMadeDefinitionsSurviveEncoding) {
    JET_REQUIRE_FIXTURES();
    for (const char* name : {"access/testV1997.mdb", "access/testIndexCodesV1997.mdb",
                             "access/testV2000.mdb", "access/bigIndexTestV2000.mdb",
                             "access/compIndexTestV2000.mdb", "access/testIndexPropertiesV2003.mdb",
                             "access/testUnicodeCompV2003.mdb", "access/overflowTestV2000.mdb"})
        if (testing::haveFile(name)) checkFile(testing::fixture(name));
}

TEST(TableDefinition, GeneratedStoreDefinitionsSurviveEncoding) {
    checkFile(testing::storeFile("store.mdb"));
}

TEST(TableDefinition, ALongDefinitionSpansPagesAndJoinsBack) {
    for (int version : {3, 4}) {
        SCOPED_TRACE(version);
        const Format& f = version == 3 ? jet3Format() : jet4Format();
        TableDef def;
        def.name = "wide";
        def.tableType = 0x4E;
        for (int i = 0; i < 200; ++i) {
            ColumnDef c;
            c.column.name = "column with a long name number " + std::to_string(i);
            c.typeCode = i % 3 == 0 ? 0x0C : 0x0A;  // memo and text
            c.number = i;
            c.varIndex = i;
            c.length = c.typeCode == 0x0A ? 100 : 0;
            c.sortOrder = 1033;
            c.lvalOwnedMap = c.typeCode == 0x0C ? std::uint32_t(0x100 + i) : 0;
            def.columns.push_back(c);
        }
        def.maxColumns = def.varColumns = 200;
        const std::vector<Bytes> pages = tdefPageImages(encodeTableDef(def, f), f);
        EXPECT_GT(pages.size(), 2u);
        expectSameDefinition(def, roundTrip(def, f, 1252));
    }
}

}  // namespace
}  // namespace jet
