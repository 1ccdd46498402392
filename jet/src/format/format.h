// The facts that differ between Jet 3 and Jet 4, as data, and what every
// layer of the engine names pages and rows by.
//
// A decoder or encoder takes each offset and size from the Format the
// header chose (jet3Format() or jet4Format()), never literals of its own.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>

namespace jet {

// A row's address: data page and slot in that page's row offset table.
struct RowId {
    std::uint32_t page = 0;
    std::uint16_t slot = 0;
    friend bool operator==(const RowId&, const RowId&) = default;
    friend auto operator<=>(const RowId&, const RowId&) = default;
};

// Everything that differs between Jet 3 and Jet 4, as data. Decoders take
// every offset and size from here and never use literals of their own.
struct Format {
    int version = 4;  // 3 or 4
    std::size_t pageSize = 4096;
    bool unicodeText = true;  // J4: UCS-2 text; J3: code-page bytes

    // Page 0 (section: file header).
    std::size_t headerMaskedStart = 0x18;
    std::size_t headerMaskedLength = 128;
    std::size_t headerCodePage = 0x3C;
    std::size_t headerEncodingKey = 0x3E;
    std::size_t headerPassword = 0x42;
    std::size_t headerPasswordLength = 40;
    std::size_t headerCreationDate = 0x72;  // J4 only
    std::size_t headerSortOrder = 0x6E;     // J4 0x6E, J3 0x3A

    // Data pages.
    std::size_t dataFreeSpace = 0x02;
    std::size_t dataOwner = 0x04;
    std::size_t dataRowCount = 0x0C;
    std::size_t dataRowTable = 0x0E;

    // Table definition: header block.
    std::size_t tdefNextPage = 0x04;
    std::size_t tdefPageHeader = 8;  // bytes skipped on continuation pages
    std::size_t tdefLength = 0x08;
    std::size_t tdefRowCount = 0x10;
    std::size_t tdefAutoNumber = 0x14;
    std::size_t tdefTableType = 0x28;
    std::size_t tdefMaxColumns = 0x29;
    std::size_t tdefVarColumns = 0x2B;
    std::size_t tdefColumnCount = 0x2D;
    std::size_t tdefLogicalIndexCount = 0x2F;
    std::size_t tdefRealIndexCount = 0x33;
    std::size_t tdefOwnedMap = 0x37;
    std::size_t tdefFreeMap = 0x3B;
    std::size_t tdefIndexBlocks = 0x3F;
    std::size_t realIndexBlockSize = 12;

    // Column descriptor.
    std::size_t columnDescSize = 25;
    std::size_t colType = 0x00;
    std::size_t colNumber = 0x05;
    std::size_t colVarIndex = 0x07;
    std::size_t colSortOrder = 0x0B;
    std::size_t colCodePage = 0;      // J3 only (0 = absent)
    std::size_t colPrecision = 0x0B;  // J4 Decimal
    std::size_t colScale = 0x0C;      // J4 Decimal
    std::size_t colFlags = 0x0F;
    std::size_t colExtraFlags = 0x10;  // J4 only (0 = absent)
    std::size_t colFixedOffset = 0x15;
    std::size_t colLength = 0x17;
    std::size_t nameLengthSize = 2;  // J3 1-byte lengths, J4 2-byte

    // Real-index descriptor.
    std::size_t realIndexDescSize = 52;
    std::size_t riColumns = 0x04;  // 10 x {column number (2), order (1)}
    std::size_t riUsageMap = 0x22;
    std::size_t riRootPage = 0x26;
    std::size_t riFlags = 0x2E;

    // Logical-index descriptor.
    std::size_t logicalIndexDescSize = 28;
    std::size_t liNumber = 0x04;
    std::size_t liRealIndex = 0x08;
    std::size_t liRelTableType = 0x0C;
    std::size_t liRelIndex = 0x0D;
    std::size_t liRelTable = 0x11;
    std::size_t liCascadeUpdate = 0x15;
    std::size_t liCascadeDelete = 0x16;
    std::size_t liType = 0x17;

    // Rows: width of the column count, variable offsets, eod and var count.
    std::size_t rowCountSize = 2;

    // Index pages (for the index walker).
    std::size_t ixPrevPage = 0x0C;
    std::size_t ixNextPage = 0x10;
    std::size_t ixTailPage = 0x14;
    std::size_t ixPrefixLength = 0x18;
    std::size_t ixPrefixLengthSize = 2;
    std::size_t ixBitmap = 0x1B;
    std::size_t ixEntryStart = 0x1E0;
    std::size_t ixMaxEntryArea = 3616;

    // Long values: the largest single-row LVAL (writer's choice).
    std::size_t lvalSingleRowMax = 4076;
};

// Fields at the same place in both versions.
//
// Page 0: the engine name (16 bytes, NUL-terminated) and the version byte
// (0 Jet 3, 1 Jet 4, 2 and up the ACE formats of Access 2007 and later).
inline constexpr std::size_t kHeaderEngineOffset = 0x04;
inline constexpr std::size_t kHeaderVersionOffset = 0x14;
inline constexpr char kJetEngineName[] = "Standard Jet DB";
// The RC4 key that masks page 0 from headerMaskedStart on.
inline constexpr std::uint8_t kHeaderMaskKey[4] = {0xC7, 0xDA, 0x39, 0x6B};
// TDEF pages: Jet 4 keeps the page's free space here, Jet 3 the letters "VC".
inline constexpr std::size_t kTdefPageInfoOffset = 0x02;
// A real index descriptor names up to 10 columns from riColumns on, each
// as its column number (2 bytes) and 1 ascending / 0 descending (1 byte).
inline constexpr std::size_t kRealIndexColumnSlots = 10;
inline constexpr std::size_t kRealIndexColumnEntrySize = 3;

const Format& jet3Format();
const Format& jet4Format();

// Page type bytes.
enum PageType : std::uint8_t {
    kPageHeader = 0x00,
    kPageData = 0x01,
    kPageTdef = 0x02,
    kPageIndexNode = 0x03,
    kPageIndexLeaf = 0x04,
    kPageUsageMap = 0x05,
};

}  // namespace jet
