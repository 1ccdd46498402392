#include "format/usage_map.h"

#include <gtest/gtest.h>

#include <map>

namespace jet {
namespace {

std::vector<std::uint32_t> decode(const Bytes& row,
                                  const std::map<std::uint32_t, Bytes>& pages = {}) {
    const Format& f = jet4Format();
    return decodeUsageMap(ByteView(row.data(), row.size(), 9), f, [&](std::uint32_t n) {
        const Bytes& p = pages.at(n);
        return ByteView(p.data(), p.size(), n);
    });
}

TEST(UsageMap, InlineAndReferenceRowsListTheirPages) {
    Bytes inlineRow(5 + 4, 0);
    ByteSpan(inlineRow.data(), inlineRow.size()).u32(kInlineMapFirstPage, 100);
    setBitmapBit(inlineRow.data() + kInlineMapBitmap, 0, true);
    setBitmapBit(inlineRow.data() + kInlineMapBitmap, 9, true);
    setBitmapBit(inlineRow.data() + kInlineMapBitmap, 31, true);
    setBitmapBit(inlineRow.data() + kInlineMapBitmap, 9, false);
    setBitmapBit(inlineRow.data() + kInlineMapBitmap, 17, true);
    EXPECT_EQ(decode(inlineRow), (std::vector<std::uint32_t>{100, 117, 131}));
    EXPECT_EQ(inlineMapSpan(inlineRow.size()), 32u);

    // A reference map: its second pointer covers the second span of pages.
    const std::uint64_t per = pagesPerMapPage(jet4Format());
    EXPECT_EQ(per, (4096u - 4) * 8);
    Bytes refRow(1 + 4 * 3, 0);
    ByteSpan r(refRow.data(), refRow.size());
    r.u8(0, kReferenceMap);
    r.u32(kReferenceMapPages + 4, 50);
    Bytes bitmapPage(4096, 0);
    initMapPage(ByteSpan(bitmapPage.data(), bitmapPage.size()));
    setBitmapBit(bitmapPage.data() + kMapPageBitmap, 3, true);
    EXPECT_EQ(decode(refRow, {{50, bitmapPage}}),
              (std::vector<std::uint32_t>{std::uint32_t(per + 3)}));
    EXPECT_EQ(referenceMapSlots(refRow.size()), 3u);
}

TEST(UsageMap, DamagedRowsAreCorruptionNotCrashes) {
    auto kindOf = [](const Bytes& row) {
        try {
            decode(row);
        } catch (const Error& e) {
            return e.kind();
        }
        return ErrorKind::Generic;
    };
    EXPECT_EQ(kindOf({}), ErrorKind::Corrupt);
    EXPECT_EQ(kindOf({kInlineMap, 1, 0}), ErrorKind::Corrupt);  // too short for its first page
    EXPECT_EQ(kindOf({7, 0, 0, 0, 0}), ErrorKind::Corrupt);     // unknown type
    // A window that starts so high that its pages pass 32 bits.
    Bytes high = {kInlineMap, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x02};
    EXPECT_EQ(kindOf(high), ErrorKind::Corrupt);
}

}  // namespace
}  // namespace jet
