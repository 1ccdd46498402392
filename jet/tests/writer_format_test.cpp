// The writer's encoders against files written by Access and Jackcess: every
// stored row re-encodes from its parts to the same bytes (Jet 3 jump tables
// included), and every index page re-encodes to the same bytes (prefix,
// bitmap, free space). A writer that passes these writes what they write.
#include "write/writer.h"
#include "writer_check.h"

namespace jet {
namespace {

using testing::allDatabaseFixtures;

// "" when equal, else where the first difference is.
std::string firstDifference(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (a[i] != b[i])
            return "first difference at byte " + std::to_string(i) + ": ours " +
                   std::to_string(a[i]) + ", file " + std::to_string(b[i]);
    return "";
}

class WriteFormat : public ::testing::TestWithParam<std::string> {};

TEST_P(WriteFormat, RowsAndIndexPagesReencodeIdentically) {
    const std::string path = GetParam();
    std::unique_ptr<Storage> s;
    try {
        s = Storage::open(path, false);
    } catch (const Error&) {
        GTEST_SKIP() << "not a file the engine opens";
    }
    const Format& f = s->format();
    const IndexPageFormat& ipf = IndexPageFormat::forJet(f.version);
    long rows = 0, pages = 0;
    for (const std::string& name : s->tableNames()) {
        SCOPED_TRACE(name);
        const TableDef& def = s->tableDef(name);
        s->scan(def, {}, [&](RowId id, std::vector<Value>&) {
            ByteView row = s->rowBytes(id);
            const RowImage img = parseRowImage(row, f, def.varColumns > 0);
            const Bytes again = encodeRowImage(img, f);
            EXPECT_EQ(again.size(), row.size()) << "row " << id.page << ":" << id.slot;
            if (again.size() == row.size()) {
                EXPECT_EQ(firstDifference(again.data(), row.data(), row.size()), "")
                    << "row " << id.page << ":" << id.slot << " of " << row.size() << " bytes";
            }
            ++rows;
            return true;
        });
        for (const RealIndexDef& ri : def.realIndexes) {
            std::vector<std::uint32_t> todo{ri.rootPage};
            while (!todo.empty()) {
                const std::uint32_t n = todo.back();
                todo.pop_back();
                ByteView bytes = s->pager().page(n);
                IndexPage p = parseIndexPage(bytes, n, ipf);
                for (const IndexEntry& e : p.entries)
                    if (!p.leaf) todo.push_back(e.child);
                if (!p.leaf && p.tailPage) todo.push_back(p.tailPage);
                const auto again = encodeIndexPage(p, bytes, ipf);
                EXPECT_EQ(firstDifference(again.data(), bytes.data(), again.size()), "")
                    << "index page " << n << " (" << p.entries.size() << " entries)";
                ++pages;
            }
        }
    }
    RecordProperty("rows", static_cast<int>(rows));
    RecordProperty("index_pages", static_cast<int>(pages));
}

// Without the shared fixtures folder the list is empty.
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(WriteFormat);
INSTANTIATE_TEST_SUITE_P(Fixtures, WriteFormat, ::testing::ValuesIn(allDatabaseFixtures()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string n = std::filesystem::path(info.param).stem().string();
                             for (char& c : n)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return n + "_" + std::to_string(info.index);
                         });

// Jet 3 rows around the 256-byte boundaries of the jump table: encode,
// decode through the engine's reader, compare the text.
TEST(WriteFormat, Jet3RowsAcrossJumpBoundaries) {
    const Format& f = jet3Format();
    for (std::size_t first = 200; first < 700; first += 7) {
        RowImage img;
        img.hasVarArea = true;
        img.columnCount = 3;
        img.nullMask = {0x07};
        img.fixed = {1, 2, 3, 4};
        img.vars = {Bytes(first, 'a'), Bytes(first % 50, 'b'), Bytes(300, 'c')};
        Bytes row;
        try {
            row = encodeRowImage(img, f);
        } catch (const Error& e) {
            EXPECT_EQ(e.kind(), ErrorKind::NotSupported);
            continue;
        }
        const RowImage back = parseRowImage(ByteView(row.data(), row.size()), f, true);
        ASSERT_EQ(back.vars.size(), 3u) << first;
        EXPECT_EQ(back.vars[0], img.vars[0]) << first;
        EXPECT_EQ(back.vars[1], img.vars[1]) << first;
        EXPECT_EQ(back.vars[2], img.vars[2]) << first;
        EXPECT_EQ(back.fixed, img.fixed);
    }
}

}  // namespace
}  // namespace jet
