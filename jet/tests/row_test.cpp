// Jet 3 rows longer than 256 bytes keep the high part of their variable
// offsets in a jump table. No fixture holds such a row, so rows are built
// here following the format's writing rules (one entry per 256-byte
// boundary below the eod, naming the first slot at or past it, plus one
// 0xFF placeholder when the trailer pushes the row past another boundary)
// and decoded by the storage layer.
#include "fixtures.h"
#include "format/storage.h"

namespace jet {
namespace {

// Row: count (1) | fixed Long (4) | values | eod (1) | offsets, last slot
// first (1 each) | jump table, last entry first (1 each) | v (1) | mask (1).
std::vector<std::uint8_t> jet3Row(std::int32_t fixed, const std::vector<std::string>& values) {
    const std::size_t v = values.size();
    std::vector<std::size_t> offsets = {1 + 4};
    for (const auto& s : values) offsets.push_back(offsets.back() + s.size());
    const std::size_t eod = offsets.back();
    std::size_t jumps = 0;
    std::size_t length = 0;
    for (;;) {
        length = eod + 1 + v + jumps + 1 + 1;
        std::size_t next = (length - 1) / 256;
        if (next == jumps) break;
        jumps = next;
    }
    std::vector<std::uint8_t> jump;
    for (std::size_t boundary = 256; boundary <= eod; boundary += 256) {
        std::size_t slot = 0;
        while (offsets[slot] < boundary) ++slot;
        jump.push_back(static_cast<std::uint8_t>(slot));
    }
    EXPECT_LE(jumps - jump.size(), 1u) << "row not writable in this format";
    if (jump.size() < jumps) jump.push_back(0xFF);

    std::vector<std::uint8_t> row;
    row.push_back(static_cast<std::uint8_t>(1 + v));
    for (int i = 0; i < 4; ++i)
        row.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(fixed) >> (8 * i)));
    for (const auto& s : values) row.insert(row.end(), s.begin(), s.end());
    for (std::size_t i = v + 1; i-- > 0;)
        row.push_back(static_cast<std::uint8_t>(offsets[i] & 0xFF));
    for (std::size_t k = jump.size(); k-- > 0;) row.push_back(jump[k]);
    row.push_back(static_cast<std::uint8_t>(v));
    row.push_back(0xFF);  // every column has a value
    EXPECT_EQ(row.size(), length);
    return row;
}

TableDef jet3Table() {
    TableDef def;
    def.name = "synthetic";
    def.varColumns = 3;
    ColumnDef id;
    id.column = Column{"id", ColumnType::Long, 4};
    id.typeCode = 0x04;
    id.flags = kColumnFixed | kColumnUpdatable;
    id.length = 4;
    def.columns.push_back(id);
    for (int i = 0; i < 3; ++i) {
        ColumnDef t;
        t.column = Column{"t" + std::to_string(i), ColumnType::Text, 255};
        t.typeCode = 0x0A;
        t.flags = kColumnUpdatable;
        t.number = 1 + i;
        t.varIndex = i;
        t.length = 255;
        t.codePage = 1252;
        def.columns.push_back(t);
    }
    return def;
}

TEST(Jet3Rows, VariableOffsetsAcrossJumpTableBoundaries) {
    JET_REQUIRE_FIXTURES();
    auto s = Storage::open(testing::fixture("access/testV1997.mdb"), false);
    ASSERT_EQ(s->format().version, 3);
    const TableDef def = jet3Table();
    int checked = 0;
    // Total value bytes from well below the first boundary to past the
    // second, split three ways so boundaries fall inside and between values.
    for (std::size_t total = 230; total <= 540; ++total) {
        for (std::size_t first : {std::size_t{0}, total / 3, total - 1}) {
            std::size_t second = (total - first) / 2;
            std::vector<std::string> values = {std::string(first, 'a'), std::string(second, 'b'),
                                               std::string(total - first - second, 'c')};
            for (std::size_t i = 0; i < values.size(); ++i)
                for (std::size_t k = 0; k < values[i].size(); ++k)
                    values[i][k] = static_cast<char>('a' + (i * 7 + k) % 26);
            auto row = jet3Row(-123456, values);
            ByteView view(row.data(), row.size());
            SCOPED_TRACE("row length " + std::to_string(row.size()));
            EXPECT_EQ(s->decodeColumn(def, view, 0), Value(std::int64_t{-123456}));
            for (int i = 0; i < 3; ++i) {
                auto got = s->decodeColumn(def, view, 1 + i);
                EXPECT_EQ(utf16ToUtf8(std::get<std::u16string>(got.v)), values[i]);
            }
            ++checked;
        }
    }
    EXPECT_GT(checked, 900);
}

}  // namespace
}  // namespace jet
