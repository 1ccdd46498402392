// Usage maps: which pages belong to a table, an index or a column's long
// values, and (page 1) which pages are free. A map is a row on a data page,
// named by a 4-byte pointer: page << 8 | slot.
//
// | Map row                | Offset | Size | Meaning                                    |
// |------------------------|--------|------|--------------------------------------------|
// | inline (type 0x00)     | 0      | 1    | type                                       |
// |                        | 1      | 4    | first page the bitmap covers               |
// |                        | 5      | ..   | bitmap: bit k = page first + k             |
// | reference (type 0x01)  | 0      | 1    | type                                       |
// |                        | 1      | 4 x  | usage-map pages; the i-th covers pages     |
// |                        |        |      | from i x pagesPerMapPage() on (0 = none)   |
// | usage-map page (0x05)  | 0      | 2    | type 0x05, 0x01                            |
// |                        | 4      | ..   | bitmap over the rest of the page           |
//
// Bits are least significant first. In the global map (page 1, slot 0) a
// set bit means free; in every other map, in use by the owner.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "format/bytes.h"
#include "format/format.h"

namespace jet {

inline constexpr std::uint8_t kInlineMap = 0x00;
inline constexpr std::uint8_t kReferenceMap = 0x01;
inline constexpr std::size_t kInlineMapFirstPage = 1;
inline constexpr std::size_t kInlineMapBitmap = 5;
inline constexpr std::size_t kReferenceMapPages = 1;
inline constexpr std::size_t kMapPageBitmap = 4;

// Pages one usage-map page covers.
inline std::uint64_t pagesPerMapPage(const Format& f) {
    return std::uint64_t(f.pageSize - kMapPageBitmap) * 8;
}
// Pages an inline map row of `rowSize` bytes covers.
inline std::uint64_t inlineMapSpan(std::size_t rowSize) {
    return rowSize < kInlineMapBitmap ? 0 : 8 * std::uint64_t(rowSize - kInlineMapBitmap);
}
// Usage-map pages a reference map row of `rowSize` bytes can point at.
inline std::size_t referenceMapSlots(std::size_t rowSize) {
    return rowSize < kReferenceMapPages ? 0 : (rowSize - kReferenceMapPages) / 4;
}

inline bool bitmapBit(const std::uint8_t* bitmap, std::uint64_t k) {
    return (bitmap[k / 8] >> (k % 8)) & 1;
}
inline void setBitmapBit(std::uint8_t* bitmap, std::uint64_t k, bool value) {
    const auto bit = static_cast<std::uint8_t>(1u << (k % 8));
    bitmap[k / 8] = value ? (bitmap[k / 8] | bit) : (bitmap[k / 8] & ~bit);
}

// Returns usage-map page n, having checked that it is one.
using MapPageSource = std::function<ByteView(std::uint32_t page)>;

// The pages whose bits are set in a map row, in ascending order. `mapPage`
// is called for a reference map's pages. Throws Corrupt for a row too short
// for its type, an unknown type, or a page number past 32 bits.
std::vector<std::uint32_t> decodeUsageMap(ByteView row, const Format& f,
                                          const MapPageSource& mapPage);

// Makes `page` an empty usage-map page.
void initMapPage(ByteSpan page);

}  // namespace jet
