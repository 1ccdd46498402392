#include "format/tdef.h"

#include <algorithm>
#include <cstring>

#include "format/text.h"

namespace jet {

namespace {

// Far above anything Access allows (255 columns, 32 indexes per table), yet
// small enough that a damaged count cannot make us allocate without bound.
constexpr std::uint32_t kMaxColumns = 4096;
constexpr std::uint32_t kMaxIndexes = 1024;
constexpr std::size_t kColSortVersion = 0x0E;  // J4 text: sort-order version byte
constexpr std::uint8_t kTypeDecimal = 0x10;
constexpr std::uint8_t kTableSystem = 0x53;
constexpr std::uint16_t kListEnd = 0xFFFF;

// Values Access stamps into fields no reader interprets, where the version
// has them (kAbsent where it does not).
constexpr std::size_t kAbsent = ~std::size_t{0};
constexpr std::uint32_t kTdefConstant = 1625;
constexpr std::uint32_t kRealIndexConstant = 1923;
struct Stamps {
    std::size_t tdefConstant;      // 1625 in the header block
    std::size_t tdefAutoNumberOn;  // 0x01 in the header block
    std::size_t colConstant;       // 1625 in each column descriptor
    std::size_t colNumberAgain;    // the column number again (user tables; 0 in system ones)
    std::size_t riConstant;        // 1923 in each real-index descriptor
    std::size_t liConstant;        // 1625 in each logical-index descriptor
};
constexpr Stamps kJet4Stamps{0x0C, 0x18, 0x01, 0x09, 0x00, 0x00};
constexpr Stamps kJet3Stamps{kAbsent, kAbsent, kAbsent, 0x05, kAbsent, kAbsent};

void stamp(ByteSpan s, std::size_t at, std::size_t width, std::uint32_t v) {
    if (at != kAbsent) s.writeLE(at, width, v);
}

bool isLongValue(std::uint8_t typeCode) {
    const ColumnType t = publicColumnType(typeCode);
    return t == ColumnType::Memo || t == ColumnType::Ole;
}

std::string readName(ByteView buf, std::size_t& off, const Format& f, int codePage) {
    std::size_t len = f.nameLengthSize == 1 ? buf.u8(off) : buf.u16(off);
    off += f.nameLengthSize;
    ByteView bytes = buf.sub(off, len);
    off += len;
    if (f.unicodeText) {
        if (len % 2 != 0) corrupt("odd length of a name in a table definition", buf.page());
        return utf16ToUtf8(decodeJet4Text(bytes));
    }
    return utf16ToUtf8(decodeCodePageText(bytes, codePage));
}

void appendName(Bytes& b, const Format& f, const std::string& utf8) {
    const Bytes text = encodeNameText(f, utf8ToUtf16(utf8));
    appendLE(b, text.size(), f.nameLengthSize);
    b.insert(b.end(), text.begin(), text.end());
}

// A zeroed descriptor of `size` bytes appended to `b`, to be filled in.
ByteSpan appendBlock(Bytes& b, std::size_t size, std::size_t& at) {
    at = b.size();
    b.resize(b.size() + size, 0);
    return ByteSpan(b.data() + at, size);
}

}  // namespace

ColumnType publicColumnType(std::uint8_t code) {
    switch (code) {
        case 0x01:
        case 0x02:
        case 0x03:
        case 0x04:
        case 0x05:
        case 0x06:
        case 0x07:
        case 0x08:
        case 0x09:
        case 0x0A:
        case 0x0B:
        case 0x0C:
        case 0x0F:
        case 0x10:
            return static_cast<ColumnType>(code);
        default:
            return ColumnType::Binary;  // unknown codes: raw bytes
    }
}

void decodeTableDef(ByteView t, const Format& f, int codePage, TableDef& def) {
    const std::string& name = def.name;
    const std::uint32_t first = def.tdefPage;
    def.rowCountHint = t.u32(f.tdefRowCount);
    def.lastAutoNumber = t.u32(f.tdefAutoNumber);
    def.tableType = t.u8(f.tdefTableType);
    def.maxColumns = t.u16(f.tdefMaxColumns);
    def.varColumns = t.u16(f.tdefVarColumns);
    const std::uint32_t columnCount = t.u16(f.tdefColumnCount);
    const std::uint32_t logicalCount = t.u32(f.tdefLogicalIndexCount);
    const std::uint32_t realCount = t.u32(f.tdefRealIndexCount);
    def.ownedMap = t.u32(f.tdefOwnedMap);
    def.freeMap = t.u32(f.tdefFreeMap);
    if (columnCount > kMaxColumns || logicalCount > kMaxIndexes || realCount > kMaxIndexes)
        corrupt("impossible column or index count in the definition of " + name, first);

    std::size_t off = f.tdefIndexBlocks;
    std::vector<std::uint32_t> distinct;
    for (std::uint32_t i = 0; i < realCount; ++i) {
        distinct.push_back(t.u32(off + 4));
        off += f.realIndexBlockSize;
    }

    for (std::uint32_t i = 0; i < columnCount; ++i) {
        ByteView d = t.sub(off, f.columnDescSize);
        off += f.columnDescSize;
        ColumnDef c;
        c.typeCode = d.u8(f.colType);
        c.number = d.u16(f.colNumber);
        c.varIndex = d.u16(f.colVarIndex);
        c.sortOrder = d.u16(f.colSortOrder);
        if (f.colCodePage) c.codePage = d.u16(f.colCodePage);
        c.flags = d.u8(f.colFlags);
        if (f.colExtraFlags) c.extraFlags = d.u8(f.colExtraFlags);
        c.fixedOffset = d.u16(f.colFixedOffset);
        c.length = d.u16(f.colLength);
        if (f.version >= 4 && c.typeCode == 0x0A) c.sortVersion = d.u8(kColSortVersion);
        if (f.version >= 4 && c.typeCode == kTypeDecimal) {
            c.precision = d.u8(f.colPrecision);
            c.scale = d.u8(f.colScale);
            c.column.precision = c.precision;
            c.column.scale = c.scale;
        }
        c.column.type = publicColumnType(c.typeCode);
        switch (c.column.type) {
            case ColumnType::Text:
                c.column.size = f.unicodeText ? c.length / 2 : c.length;
                break;
            case ColumnType::Memo:
            case ColumnType::Ole:
                c.column.size = 0;
                break;
            default:
                c.column.size = c.length;
        }
        c.column.nullable = c.column.type != ColumnType::Boolean;  // the mask bit is the value
        c.column.autoNumber = (c.column.type == ColumnType::Long && (c.flags & kColumnAutoLong)) ||
                              (c.column.type == ColumnType::Guid && (c.flags & kColumnAutoGuid));
        def.columns.push_back(std::move(c));
    }
    for (auto& c : def.columns) c.column.name = readName(t, off, f, codePage);

    for (std::uint32_t i = 0; i < realCount; ++i) {
        ByteView d = t.sub(off, f.realIndexDescSize);
        off += f.realIndexDescSize;
        RealIndexDef r;
        r.number = static_cast<int>(i);
        for (std::size_t k = 0; k < kRealIndexColumnSlots; ++k) {
            std::uint16_t col = d.u16(f.riColumns + kRealIndexColumnEntrySize * k);
            if (col == 0xFFFF) continue;
            r.columnNumbers.push_back(col);
            r.ascending.push_back(d.u8(f.riColumns + kRealIndexColumnEntrySize * k + 2) != 0);
        }
        r.usageMap = d.u32(f.riUsageMap);
        r.rootPage = d.u32(f.riRootPage);
        r.flags = d.u8(f.riFlags);
        r.distinctKeys = distinct[i];
        def.realIndexes.push_back(std::move(r));
    }

    for (std::uint32_t i = 0; i < logicalCount; ++i) {
        ByteView d = t.sub(off, f.logicalIndexDescSize);
        off += f.logicalIndexDescSize;
        IndexDef x;
        x.number = static_cast<int>(d.u32(f.liNumber));
        std::uint32_t real = d.u32(f.liRealIndex);
        if (real >= realCount) corrupt("a logical index names a missing real index", first);
        x.realIndex = static_cast<int>(real);
        x.indexType = d.u8(f.liType);
        x.relatedIndex = d.i32(f.liRelIndex);
        x.relatedTable = d.u32(f.liRelTable);
        const RealIndexDef& r = def.realIndexes[real];
        x.rootPage = r.rootPage;
        x.usageMap = r.usageMap;
        x.flags = r.flags;
        x.columnNumbers = r.columnNumbers;
        x.index.primaryKey = x.indexType == kIndexPrimaryKey;
        x.index.unique = (r.flags & kIndexUnique) != 0 || x.index.primaryKey;
        x.index.ignoreNulls = (r.flags & kIndexIgnoreNulls) != 0;
        x.index.required = (r.flags & kIndexRequired) != 0 || x.index.primaryKey;
        x.index.foreignKey = x.indexType == kIndexForeignKey;
        for (std::size_t k = 0; k < r.columnNumbers.size(); ++k) {
            int pos = -1;
            for (std::size_t j = 0; j < def.columns.size(); ++j)
                if (def.columns[j].number == r.columnNumbers[k]) pos = static_cast<int>(j);
            x.columnPositions.push_back(pos);
            x.index.columns.push_back(pos >= 0 ? def.columns[pos].column.name : std::string());
            x.index.descending.push_back(!r.ascending[k]);
        }
        def.indexes.push_back(std::move(x));
    }
    for (auto& x : def.indexes) x.index.name = readName(t, off, f, codePage);

    // Files from old writers may lack the long-value map list, so running
    // off the end just stops.
    while (off + 2 <= t.size()) {
        std::uint16_t col = t.u16(off);
        if (col == kListEnd || off + 10 > t.size()) break;
        for (auto& c : def.columns) {
            if (c.number == col) {
                c.lvalOwnedMap = t.u32(off + 2);
                c.lvalFreeMap = t.u32(off + 6);
            }
        }
        off += 10;
    }
}

Bytes encodeTableDef(const TableDef& def, const Format& f) {
    const Stamps& st = f.version >= 4 ? kJet4Stamps : kJet3Stamps;
    const bool system = def.tableType == kTableSystem;
    Bytes b(f.tdefIndexBlocks, 0);
    {
        ByteSpan h(b.data(), b.size());
        h.u8(0, kPageTdef);
        h.u8(1, 0x01);
        stamp(h, st.tdefConstant, 4, kTdefConstant);
        h.u32(f.tdefRowCount, def.rowCountHint);
        h.u32(f.tdefAutoNumber, def.lastAutoNumber);
        stamp(h, st.tdefAutoNumberOn, 1, 0x01);
        h.u8(f.tdefTableType, def.tableType);
        h.u16(f.tdefMaxColumns, std::uint16_t(def.maxColumns));
        h.u16(f.tdefVarColumns, std::uint16_t(def.varColumns));
        h.u16(f.tdefColumnCount, std::uint16_t(def.columns.size()));
        h.u32(f.tdefLogicalIndexCount, std::uint32_t(def.indexes.size()));
        h.u32(f.tdefRealIndexCount, std::uint32_t(def.realIndexes.size()));
        h.u32(f.tdefOwnedMap, def.ownedMap);
        h.u32(f.tdefFreeMap, def.freeMap);
    }
    std::size_t at = 0;
    for (const RealIndexDef& r : def.realIndexes)
        appendBlock(b, f.realIndexBlockSize, at).u32(4, r.distinctKeys);
    for (const ColumnDef& c : def.columns) {
        ByteSpan s = appendBlock(b, f.columnDescSize, at);
        s.u8(f.colType, c.typeCode);
        stamp(s, st.colConstant, 4, kTdefConstant);
        s.u16(f.colNumber, std::uint16_t(c.number));
        s.u16(f.colVarIndex, std::uint16_t(c.varIndex));
        stamp(s, st.colNumberAgain, 2, system ? 0 : std::uint32_t(c.number));
        s.u16(f.colSortOrder, std::uint16_t(c.sortOrder));
        if (f.colCodePage) s.u16(f.colCodePage, std::uint16_t(c.codePage));
        if (f.version >= 4 && c.typeCode == 0x0A)
            s.u8(kColSortVersion, std::uint8_t(c.sortVersion));
        // Jet 4 keeps a Decimal's precision and scale where text keeps its
        // sort order.
        if (c.typeCode == kTypeDecimal) {
            s.u8(f.colPrecision, std::uint8_t(c.precision));
            s.u8(f.colScale, std::uint8_t(c.scale));
        }
        s.u8(f.colFlags, c.flags);
        if (f.colExtraFlags) s.u8(f.colExtraFlags, c.extraFlags);
        s.u16(f.colFixedOffset, std::uint16_t(c.fixedOffset));
        s.u16(f.colLength, std::uint16_t(c.length));
    }
    for (const ColumnDef& c : def.columns) appendName(b, f, c.column.name);
    for (const RealIndexDef& r : def.realIndexes) {
        ByteSpan s = appendBlock(b, f.realIndexDescSize, at);
        stamp(s, st.riConstant, 4, kRealIndexConstant);
        for (std::size_t k = 0; k < kRealIndexColumnSlots; ++k) {
            const std::size_t slot = f.riColumns + kRealIndexColumnEntrySize * k;
            if (k < r.columnNumbers.size()) {
                s.u16(slot, std::uint16_t(r.columnNumbers[k]));
                s.u8(slot + 2, r.ascending[k] ? 0x01 : 0x00);
            } else {
                s.u16(slot, 0xFFFF);
            }
        }
        s.u32(f.riUsageMap, r.usageMap);
        s.u32(f.riRootPage, r.rootPage);
        s.u8(f.riFlags, r.flags);
    }
    for (const IndexDef& x : def.indexes) {
        ByteSpan s = appendBlock(b, f.logicalIndexDescSize, at);
        stamp(s, st.liConstant, 4, kTdefConstant);
        s.u32(f.liNumber, std::uint32_t(x.number));
        s.u32(f.liRealIndex, std::uint32_t(x.realIndex));
        s.u32(f.liRelIndex, std::uint32_t(x.relatedIndex));
        s.u32(f.liRelTable, x.relatedTable);
        s.u8(f.liType, std::uint8_t(x.indexType));
    }
    for (const IndexDef& x : def.indexes) appendName(b, f, x.index.name);
    for (const ColumnDef& c : def.columns) {
        if (!isLongValue(c.typeCode)) continue;
        appendU16(b, std::uint16_t(c.number));
        appendU32(b, c.lvalOwnedMap);
        appendU32(b, c.lvalFreeMap);
    }
    appendU16(b, kListEnd);
    ByteSpan(b.data(), b.size()).u32(f.tdefLength, std::uint32_t(b.size()));
    return b;
}

std::vector<Bytes> tdefPageImages(const Bytes& definition, const Format& f) {
    const std::size_t ps = f.pageSize, header = f.tdefPageHeader;
    std::vector<Bytes> pages;
    for (std::size_t from = 0; from < definition.size() || pages.empty();) {
        const bool first = pages.empty();
        Bytes page(ps, 0);
        const std::size_t take = std::min(first ? ps : ps - header, definition.size() - from);
        if (first) {
            std::memcpy(page.data(), definition.data(), take);
        } else {
            page[0] = kPageTdef;
            page[1] = 0x01;
            std::memcpy(page.data() + header, definition.data() + from, take);
        }
        ByteSpan p(page.data(), page.size());
        // Jet 4 keeps the page's free space here, Jet 3 the letters "VC".
        if (f.version >= 4) {
            const std::size_t used = first ? take : take + header;
            p.u16(kTdefPageInfoOffset, std::uint16_t(used + header <= ps ? ps - used - header : 0));
        } else {
            p.u8(kTdefPageInfoOffset, 'V');
            p.u8(kTdefPageInfoOffset + 1, 'C');
        }
        from += take;
        pages.push_back(std::move(page));
    }
    return pages;
}

void linkTdefPage(ByteSpan page, const Format& f, std::uint32_t next) {
    page.u32(f.tdefNextPage, next);
}

}  // namespace jet
