#include "format/usage_map.h"

#include <limits>
#include <string>

namespace jet {

std::vector<std::uint32_t> decodeUsageMap(ByteView row, const Format& f,
                                          const MapPageSource& mapPage) {
    std::vector<std::uint32_t> pages;
    auto collect = [&](ByteView bitmap, std::uint64_t first) {
        for (std::size_t i = 0; i < bitmap.size(); ++i) {
            std::uint8_t b = bitmap.data()[i];
            for (int k = 0; b != 0; ++k, b >>= 1) {
                if (!(b & 1)) continue;
                const std::uint64_t n = first + 8 * i + k;
                if (n > std::numeric_limits<std::uint32_t>::max())
                    corrupt("usage map names an impossible page", row.page());
                pages.push_back(static_cast<std::uint32_t>(n));
            }
        }
    };
    if (row.size() < 1) corrupt("empty usage map", row.page());
    const std::uint8_t type = row.u8(0);
    if (type == kInlineMap) {
        if (row.size() < kInlineMapBitmap) corrupt("usage map row too short", row.page());
        collect(row.sub(kInlineMapBitmap, row.size() - kInlineMapBitmap),
                row.u32(kInlineMapFirstPage));
    } else if (type == kReferenceMap) {
        for (std::size_t i = 0; i < referenceMapSlots(row.size()); ++i) {
            const std::uint32_t p = row.u32(kReferenceMapPages + 4 * i);
            if (p == 0) continue;
            ByteView bitmap = mapPage(p);
            collect(bitmap.sub(kMapPageBitmap, f.pageSize - kMapPageBitmap),
                    i * pagesPerMapPage(f));
        }
    } else {
        corrupt("unknown usage map type " + std::to_string(type), row.page());
    }
    return pages;
}

void initMapPage(ByteSpan page) {
    page.u8(0, kPageUsageMap);
    page.u8(1, 0x01);
}

}  // namespace jet
