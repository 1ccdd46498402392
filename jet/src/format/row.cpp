// Rows and long values as Storage reads them, and the row codec.
#include "format/row.h"

#include <algorithm>
#include <limits>
#include <unordered_set>

#include "format/data_page.h"
#include "format/field.h"
#include "format/long_value.h"
#include "format/storage.h"
#include "format/usage_map.h"

namespace jet {

namespace {

// Access writes pointers straight to the data; a few hops are tolerated.
constexpr int kMaxMoveHops = 16;

RowId pointerToRowId(std::uint32_t ptr) {
    return RowId{ptr >> 8, static_cast<std::uint16_t>(ptr & 0xFF)};
}

// Where the parts of a row lie, found without copying them (the layout is
// in format/row.h).
struct RowLayout {
    ByteView row;
    const Format* f = nullptr;
    unsigned columns = 0;
    std::size_t mask = 0;  // null-mask start
    unsigned varCount = 0;
    // J3 offsets: low bytes below the jump table, high parts from it.
    std::size_t lowBase = 0;
    std::size_t jumpBase = 0;
    unsigned jumps = 0;

    bool hasValue(int number) const {
        if (number < 0 || static_cast<unsigned>(number) >= columns) return false;
        return (row.data()[mask + number / 8] >> (number % 8)) & 1;
    }

    std::size_t varOffset(unsigned i) const {
        if (f->rowCountSize == 2) return row.u16(mask - 4 - 2 * i);
        std::size_t off = row.u8(lowBase - i);
        for (unsigned k = 0; k < jumps; ++k)
            if (row.u8(jumpBase - k) <= i) off += 256;
        return off;
    }

    // False when the row predates the slot (then the value is null).
    bool varField(int index, ByteView& out) const {
        if (index < 0 || static_cast<unsigned>(index) >= varCount) return false;
        std::size_t start = varOffset(index);
        std::size_t end = varOffset(index + 1);
        if (start > end || end > mask) corrupt("variable-length value out of its row", row.page());
        out = row.sub(start, end - start);
        return true;
    }

    ByteView fixedField(int offset, int length) const {
        std::size_t start = f->rowCountSize + offset;
        if (start + length > mask) corrupt("fixed-length value out of its row", row.page());
        return row.sub(start, length);
    }
};

RowLayout layoutRow(ByteView row, const Format& f, bool hasVarArea) {
    RowLayout r;
    r.row = row;
    r.f = &f;
    const std::size_t len = row.size();
    r.columns = f.rowCountSize == 1 ? row.u8(0) : row.u16(0);
    const std::size_t maskBytes = (r.columns + 7) / 8;
    if (f.rowCountSize + maskBytes > len) corrupt("row shorter than its null mask", row.page());
    r.mask = len - maskBytes;
    if (!hasVarArea) return r;
    if (f.rowCountSize == 2) {
        if (r.mask < f.rowCountSize + 4) corrupt("row too short for its variable part", row.page());
        r.varCount = row.u16(r.mask - 2);
        if (r.mask < f.rowCountSize + 4 + 2 * std::size_t{r.varCount})
            corrupt("row too short for its variable offsets", row.page());
    } else {
        if (r.mask < f.rowCountSize + 2) corrupt("row too short for its variable part", row.page());
        r.varCount = row.u8(r.mask - 1);
        const std::size_t jumpCount = (len - 1) / 256;
        r.jumpBase = r.mask - 2;
        if (r.mask < f.rowCountSize + 2 + jumpCount + r.varCount + 1)
            corrupt("row too short for its variable offsets", row.page());
        r.lowBase = r.mask - 2 - jumpCount;
        // The last jump entry is a placeholder when the eod byte itself
        // lies below the last 256-byte boundary it would stand for.
        const std::size_t eodPos = r.lowBase - r.varCount;
        r.jumps = static_cast<unsigned>(jumpCount);
        if (jumpCount > 0 && eodPos / 256 < jumpCount) --r.jumps;
    }
    return r;
}

bool hasVarArea(const TableDef& def) { return def.varColumns > 0; }

}  // namespace

ByteView Storage::rowBytes(RowId id, RowId* finalId) {
    const Format& f = format();
    RowId cur = id;
    for (int hop = 0; hop <= kMaxMoveHops; ++hop) {
        ByteView page = pager_->page(cur.page, kPageData, "a table row");
        const std::uint16_t count = dataSlotCount(page, f);
        if (cur.slot >= count)
            corrupt("row slot " + std::to_string(cur.slot) + " does not exist", cur.page);
        const std::uint16_t raw = page.u16(f.dataRowTable + 2u * cur.slot);
        const bool deleted = (raw & kSlotDeleted) && (raw & kSlotMoved);
        if (deleted) {
            if (hop == 0) throw Error("The row has been deleted", ErrorKind::NotFound);
            corrupt("a moved row points to a deleted row", cur.page);
        }
        ByteView row = dataSlotBytes(page, f, cur.slot, count);
        if (!(raw & kSlotMoved)) {
            if (finalId) *finalId = cur;
            return row;
        }
        // Moved: slot byte, then the 3-byte page of the row's new place.
        cur = RowId{row.u24(1), row.u8(0)};
    }
    corrupt("a chain of moved rows loops or is too long", id.page);
}

namespace {

// The text held by `out`, reusing the string a previous row left there.
std::u16string& textSlot(Value& out) {
    if (auto* s = std::get_if<std::u16string>(&out.v)) return *s;
    return out.v.emplace<std::u16string>();
}

// Decodes one column into `out`; scans reuse one vector of values, so text
// buffers of the previous row are recycled instead of reallocated.
void decodeField(Storage& s, const ColumnDef& c, const RowLayout& r, Value& out) {
    if (c.column.type == ColumnType::Boolean) {
        out.v = r.hasValue(c.number);
        return;
    }
    ByteView d;
    if (!r.hasValue(c.number) || (!c.fixed() && !r.varField(c.varIndex, d))) {
        out.v = std::monostate{};
        return;
    }
    if (c.fixed()) d = r.fixedField(c.fixedOffset, c.length);
    const Format& f = s.format();
    const int codePage = c.codePage ? c.codePage : s.header().codePage;
    switch (c.column.type) {
        case ColumnType::Text:
            if (f.unicodeText)
                decodeJet4Text(d, textSlot(out));
            else
                decodeCodePageText(d, codePage, textSlot(out));
            return;
        case ColumnType::Memo: {
            if (d.size() == 0) {
                textSlot(out).clear();
                return;
            }
            Bytes b = s.readLongValue(d);
            ByteView v(b.data(), b.size(), d.page());
            if (f.unicodeText)
                decodeJet4Text(v, textSlot(out));
            else
                decodeCodePageText(v, codePage, textSlot(out));
            return;
        }
        case ColumnType::Ole:
            out.v = d.size() == 0 ? Bytes() : s.readLongValue(d);
            return;
        case ColumnType::Binary:
            out.v = Bytes(d.data(), d.data() + d.size());
            return;
        default:
            // Numbers kept in the variable area may be empty.
            if (!c.fixed() && d.size() == 0)
                out.v = std::monostate{};
            else
                out = decodeScalar(c, d);
    }
}

std::vector<const ColumnDef*> pickColumns(const TableDef& def, const std::vector<int>& positions) {
    std::vector<const ColumnDef*> cols;
    cols.reserve(positions.size());
    for (int p : positions) {
        if (p < 0 || static_cast<std::size_t>(p) >= def.columns.size())
            throw Error("Column position " + std::to_string(p) + " out of range for table '" +
                            def.name + "'",
                        ErrorKind::InvalidArgument);
        cols.push_back(&def.columns[p]);
    }
    return cols;
}

}  // namespace

Value Storage::decodeColumn(const TableDef& def, ByteView row, int position) {
    const ColumnDef* c = pickColumns(def, {position}).front();
    Value v;
    decodeField(*this, *c, layoutRow(row, format(), hasVarArea(def)), v);
    return v;
}

std::vector<Value> Storage::readRow(const TableDef& def, RowId id,
                                    const std::vector<int>& columns) {
    auto cols = pickColumns(def, columns);
    RowLayout r = layoutRow(rowBytes(id), format(), hasVarArea(def));
    std::vector<Value> values(cols.size());
    for (std::size_t i = 0; i < cols.size(); ++i) decodeField(*this, *cols[i], r, values[i]);
    return values;
}

void Storage::scan(const TableDef& def, const std::vector<int>& columns, const RowVisitor& visit,
                   const std::function<bool(RowId)>& want) {
    const Format& f = format();
    auto cols = pickColumns(def, columns);
    const bool var = hasVarArea(def);
    std::vector<Value> values(cols.size());
    const std::vector<std::uint32_t> pages = usageMapPages(def.ownedMap);
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const std::uint32_t p = pages[i];
        // Rows are read at both ends and in between, in an order the
        // hardware cannot guess: ask for the next page while this one is
        // decoded, so that the scan waits for memory once per page at most.
        if (i + 1 < pages.size()) pager_->prefetch(pages[i + 1]);
        ByteView page = pager_->page(p);
        // The map may name pages that were since given to other owners.
        if (page.u8(0) != kPageData || page.u32(f.dataOwner) != def.tdefPage) continue;
        const std::uint16_t count = dataSlotCount(page, f);
        for (std::uint16_t s = 0; s < count; ++s) {
            const std::uint16_t raw = page.u16(f.dataRowTable + 2u * s);
            if (raw & kSlotDeleted) continue;
            if (want && !want(RowId{p, s})) continue;
            ByteView row =
                (raw & kSlotMoved) ? rowBytes(RowId{p, s}) : dataSlotBytes(page, f, s, count);
            RowLayout r = layoutRow(row, f, var);
            // The visitor may have moved the previous row's values away.
            values.resize(cols.size());
            for (std::size_t i = 0; i < cols.size(); ++i)
                decodeField(*this, *cols[i], r, values[i]);
            if (!visit(RowId{p, s}, values)) return;
        }
    }
}

std::int64_t Storage::countRows(const TableDef& def) {
    const Format& f = format();
    std::int64_t n = 0;
    for (std::uint32_t p : usageMapPages(def.ownedMap)) {
        ByteView page = pager_->page(p);
        if (page.u8(0) != kPageData || page.u32(f.dataOwner) != def.tdefPage) continue;
        const std::uint16_t count = dataSlotCount(page, f);
        for (std::uint16_t s = 0; s < count; ++s)
            if (!(page.u16(f.dataRowTable + 2u * s) & kSlotDeleted)) ++n;
    }
    return n;
}

Bytes Storage::readLongValue(ByteView field) {
    const Format& f = format();
    if (field.size() < kLvalHeader)
        corrupt("long-value field shorter than its header", field.page());
    const std::uint32_t head = field.u32(0);
    const std::size_t length = head & kLvalLength;
    if (length > pager_->file().size()) corrupt("long value longer than the file", field.page());
    if (head & kLvalInline) {
        ByteView d = field.sub(kLvalHeader, length);
        return Bytes(d.data(), d.data() + d.size());
    }
    auto lvalRow = [&](RowId id) {
        ByteView page = pager_->page(id.page, kPageData, "a long value");
        return dataSlotBytes(page, f, id.slot, dataSlotCount(page, f));
    };
    RowId id = pointerToRowId(field.u32(kLvalFirstRow));
    if (head & kLvalSingle) {
        ByteView row = lvalRow(id);
        if (row.size() < length) corrupt("long value shorter than its length", id.page);
        return Bytes(row.data(), row.data() + length);
    }
    // A chain: each row starts with the pointer to the next (0 at the end).
    // Every row must add data and no row may come twice.
    Bytes out;
    out.reserve(length);
    std::unordered_set<std::uint32_t> seen;
    while (out.size() < length) {
        if (id.page == 0) corrupt("long value chain ends before its length", field.page());
        if (!seen.insert(id.page << 8 | id.slot).second)
            corrupt("loop in a long value chain", id.page);
        ByteView row = lvalRow(id);
        if (row.size() <= kLvalChainLink) corrupt("empty row in a long value chain", id.page);
        std::size_t take = std::min(length - out.size(), row.size() - kLvalChainLink);
        out.insert(out.end(), row.data() + kLvalChainLink, row.data() + kLvalChainLink + take);
        id = pointerToRowId(row.u32(0));
    }
    return out;
}

// Usage map row, addressed by a map pointer (page << 8 | slot):
//   type 0 (inline):    0x00, start page (4), bitmap: bit k = page start + k
//   type 1 (reference): 0x01, then 4-byte numbers of bitmap pages (0 = none);
//     bitmap page i (type 0x05, bitmap from offset 4) covers pages
//     i*M .. (i+1)*M-1, M = (page size - 4) * 8.
std::vector<std::uint32_t> Storage::usageMapPages(std::uint32_t mapPointer) {
    const Format& f = format();
    const RowId id = pointerToRowId(mapPointer);
    ByteView page = pager_->page(id.page, kPageData, "a usage map");
    ByteView row = dataSlotBytes(page, f, id.slot, dataSlotCount(page, f));
    return decodeUsageMap(row, f, [&](std::uint32_t p) {
        return pager_->page(p, kPageUsageMap, "a usage map page");
    });
}

bool RowImage::hasValue(int number) const {
    if (number < 0 || static_cast<unsigned>(number) >= columnCount) return false;
    return (nullMask[number / 8] >> (number % 8)) & 1;
}

void RowImage::setHasValue(int number, bool present) {
    if (static_cast<unsigned>(number) >= columnCount) {
        columnCount = static_cast<unsigned>(number) + 1;
        nullMask.resize((columnCount + 7) / 8, 0);
    }
    std::uint8_t& b = nullMask[number / 8];
    b = present ? (b | (1u << (number % 8))) : (b & ~(1u << (number % 8)));
}

RowImage parseRowImage(ByteView row, const Format& f, bool hasVarArea) {
    const RowLayout layout = layoutRow(row, f, hasVarArea);
    const std::size_t cs = f.rowCountSize;
    const std::size_t mask = layout.mask;
    RowImage r;
    r.hasVarArea = hasVarArea;
    r.columnCount = layout.columns;
    r.nullMask.assign(row.data() + mask, row.data() + row.size());
    if (!hasVarArea) {
        ByteView fx = row.sub(cs, mask - cs);
        r.fixed.assign(fx.data(), fx.data() + fx.size());
        return r;
    }
    std::vector<std::size_t> off;  // v + 1 offsets, the last is the eod
    for (unsigned i = 0; i <= layout.varCount; ++i) off.push_back(layout.varOffset(i));
    for (std::size_t i = 0; i + 1 < off.size(); ++i)
        if (off[i] > off[i + 1] || off[i] < cs)
            corrupt("variable offsets out of order", row.page());
    if (off.back() > mask) corrupt("variable data past its row", row.page());
    if (cs == 2) {
        const std::size_t eodAt = mask - 4 - 2 * (off.size() - 1);
        if (off.back() > eodAt) corrupt("variable data overlaps its offsets", row.page());
        r.padding = eodAt - off.back();
    }
    ByteView fx = row.sub(cs, off.front() - cs);
    r.fixed.assign(fx.data(), fx.data() + fx.size());
    for (std::size_t i = 0; i + 1 < off.size(); ++i) {
        ByteView d = row.sub(off[i], off[i + 1] - off[i]);
        r.vars.emplace_back(d.data(), d.data() + d.size());
    }
    return r;
}

Bytes encodeRowImage(const RowImage& r, const Format& f) {
    const std::size_t cs = f.rowCountSize;
    const std::size_t maskBytes = (r.columnCount + 7) / 8;
    Bytes out;
    appendLE(out, r.columnCount, static_cast<int>(cs));
    out.insert(out.end(), r.fixed.begin(), r.fixed.end());
    if (!r.hasVarArea) {
        Bytes mask = r.nullMask;
        mask.resize(maskBytes, 0);
        out.insert(out.end(), mask.begin(), mask.end());
        return out;
    }
    std::vector<std::size_t> off;
    for (const Bytes& v : r.vars) {
        off.push_back(out.size());
        out.insert(out.end(), v.begin(), v.end());
    }
    const std::size_t eod = out.size();
    off.push_back(eod);
    const std::size_t v = r.vars.size();
    if (cs == 2) {
        out.insert(out.end(), r.padding, 0);
        for (std::size_t i = v + 1; i-- > 0;) appendLE(out, off[i], 2);  // eod first, slot 0 last
        appendLE(out, v, 2);
    } else {
        // Offsets are one byte; the jump table says where each 256-byte
        // boundary falls. Its size depends on the row length: iterate.
        std::size_t jumps = 0;
        for (;;) {
            const std::size_t length = eod + 1 + v + jumps + 1 + maskBytes;
            const std::size_t next = (length - 1) / 256;
            if (next == jumps) break;
            jumps = next;
        }
        const std::size_t real = eod / 256;
        if (real > jumps || jumps > real + 1)
            throw Error("The row is too long for an Access 97 table", ErrorKind::NotSupported);
        for (std::size_t i = v + 1; i-- > 0;)
            out.push_back(static_cast<std::uint8_t>(off[i] & 0xFF));
        std::vector<std::uint8_t> table;
        for (std::size_t k = 0; k < real; ++k) {
            std::size_t slot = 0;
            while (off[slot] < 256 * (k + 1)) ++slot;
            table.push_back(static_cast<std::uint8_t>(slot));
        }
        if (jumps > real) table.push_back(0xFF);
        for (std::size_t k = table.size(); k-- > 0;) out.push_back(table[k]);  // entry 0 nearest v
        out.push_back(static_cast<std::uint8_t>(v));
    }
    Bytes mask = r.nullMask;
    mask.resize(maskBytes, 0);
    out.insert(out.end(), mask.begin(), mask.end());
    return out;
}

}  // namespace jet
