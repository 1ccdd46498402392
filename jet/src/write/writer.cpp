#include "write/writer.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>
#include <optional>

#include "format/data_page.h"
#include "format/field.h"
#include "format/long_value.h"
#include "format/usage_map.h"
#include "index/collation.h"
#include "index/index_key.h"
#include "index/index_write.h"
#include "io/file_lock.h"
#include "io/journal.h"

namespace jet {

namespace {

constexpr std::size_t kRowPointer = 4;

// ---- data page slots ----------------------------------------------------

DataPageEditor dataPage(PageWriter& w, std::uint32_t n) {
    ByteView v = w.page(n);
    if (v.u8(0) != kPageData) corrupt("expected a data page", n, 0);
    DataPageEditor d{w.modify(n), w.format()};
    return d;
}

// ---- usage maps ----------------------------------------------------------

struct MapRow {
    std::uint32_t page;
    std::uint16_t slot;
};

MapRow mapRow(std::uint32_t pointer) {
    return MapRow{pointer >> 8, static_cast<std::uint16_t>(pointer & 0xFF)};
}

ByteView mapRowBytes(PageWriter& w, std::uint32_t pointer) {
    const MapRow m = mapRow(pointer);
    ByteView page = w.page(m.page);
    if (page.u8(0) != kPageData) corrupt("usage map is not on a data page", m.page, 0);
    const Format& f = w.format();
    const std::uint16_t n = dataSlotCount(page, f);
    if (m.slot >= n) corrupt("usage map slot does not exist", m.page);
    return dataSlotBytes(page, f, m.slot, n);
}

// A new, empty bitmap page of a reference map.
std::uint32_t newBitmapPage(PageWriter& w) {
    const std::uint32_t n = claimPage(w, {});
    initMapPage(w.modify(n));
    return n;
}

// Rewrites an inline map row, in place and at its length, as a reference
// map holding `pages`: type 1, then one bitmap page pointer per span of
// pagesPerMapPage() pages, each on a page claimed for it. The row's page and
// the new pages reach the file through the statement's journal like any
// other change; the new pages are written before the row that points at them.
void convertToReferenceMap(PageWriter& w, std::uint32_t pointer,
                           const std::vector<std::uint32_t>& pages) {
    const std::uint64_t per = pagesPerMapPage(w.format());
    const std::size_t slots = referenceMapSlots(mapRowBytes(w, pointer).size());
    std::map<std::size_t, std::uint32_t> bitmapPages;
    for (std::uint32_t p : pages) {
        const std::size_t i = static_cast<std::size_t>(p / per);
        if (i >= slots)
            throw Error("The usage map cannot describe page " + std::to_string(p),
                        ErrorKind::NotSupported);
        if (!bitmapPages.count(i)) bitmapPages[i] = newBitmapPage(w);
        setBitmapBit(w.modify(bitmapPages[i]).data() + kMapPageBitmap, p % per, true);
    }
    // The claims above may have changed other rows of the map's page: find
    // the row again.
    ByteView row = mapRowBytes(w, pointer);
    const std::size_t rowStart =
        static_cast<std::size_t>(row.data() - w.page(mapRow(pointer).page).data());
    ByteSpan mp = w.modify(mapRow(pointer).page);
    std::memset(mp.data() + rowStart, 0, row.size());
    mp.u8(rowStart, kReferenceMap);
    for (const auto& [i, page] : bitmapPages) mp.u32(rowStart + kReferenceMapPages + 4 * i, page);
}

// Sets bit `n` of a map; `global` maps mark free pages (bit set = free).
void setBit(PageWriter& w, std::uint32_t pointer, std::uint32_t n, bool value, bool global) {
    const Format& f = w.format();
    ByteView row = mapRowBytes(w, pointer);
    const std::size_t rowStart =
        static_cast<std::size_t>(row.data() - w.page(mapRow(pointer).page).data());
    if (row.size() < kInlineMapBitmap) corrupt("usage map row too short", mapRow(pointer).page);
    const std::uint8_t type = row.u8(0);
    if (type == kReferenceMap) {
        const std::uint64_t per = pagesPerMapPage(f);
        const std::size_t entry = kReferenceMapPages + 4 * static_cast<std::size_t>(n / per);
        if (entry + 4 > row.size())
            throw Error("The usage map cannot describe page " + std::to_string(n),
                        ErrorKind::NotSupported);
        std::uint32_t bitmapPage = row.u32(entry);
        if (bitmapPage == 0) {
            if (!value) return;  // nothing to clear
            if (global) throw Error("The free-page map cannot grow", ErrorKind::NotSupported);
            bitmapPage = newBitmapPage(w);
            // Re-read the row's place: claiming may have moved it.
            ByteView again = mapRowBytes(w, pointer);
            const std::size_t at =
                static_cast<std::size_t>(again.data() - w.page(mapRow(pointer).page).data());
            w.modify(mapRow(pointer).page).u32(at + entry, bitmapPage);
        }
        if (w.page(bitmapPage).u8(0) != kPageUsageMap)
            corrupt("usage map page of the wrong type", bitmapPage, 0);
        setBitmapBit(w.modify(bitmapPage).data() + kMapPageBitmap, n % per, value);
        return;
    }
    if (type != kInlineMap) corrupt("unknown usage map type", mapRow(pointer).page);
    const std::uint32_t start = row.u32(kInlineMapFirstPage);
    const std::uint64_t window = inlineMapSpan(row.size());
    const std::uint8_t* oldBits = row.data() + kInlineMapBitmap;
    std::uint32_t newStart = start;
    if (n < start || n >= start + window) {
        // Slide the window (to a multiple of 8) so that it covers n.
        std::vector<std::uint32_t> set;
        if (!global) {
            for (std::size_t i = 0; i < window; ++i)
                if (bitmapBit(oldBits, i)) set.push_back(static_cast<std::uint32_t>(start + i));
            set.push_back(n);
            const std::uint32_t lo = *std::min_element(set.begin(), set.end()) / 8 * 8;
            const std::uint32_t hi = *std::max_element(set.begin(), set.end());
            if (hi - lo >= window) {
                if (!value) return;  // a page outside the window has no bit to clear
                convertToReferenceMap(w, pointer, set);
                return;
            }
            newStart = lo;
        } else {
            if (n < start)
                throw Error("The free-page map cannot move backwards", ErrorKind::NotSupported);
            newStart = static_cast<std::uint32_t>((n + 8 - window) / 8 * 8);
        }
        Bytes bits(row.size() - kInlineMapBitmap, 0);
        for (std::uint64_t i = 0; i < window; ++i) {
            const std::uint64_t page = newStart + i;
            bool bit;
            if (page >= start && page < start + window) {
                bit = bitmapBit(oldBits, page - start);
            } else if (global) {
                bit = page >= w.pageCount();  // in the file: in use; beyond: free
            } else {
                bit = std::find(set.begin(), set.end(), page) != set.end();
            }
            if (bit) setBitmapBit(bits.data(), i, true);
        }
        ByteSpan mp = w.modify(mapRow(pointer).page);
        mp.u32(rowStart + kInlineMapFirstPage, newStart);
        std::memcpy(mp.data() + rowStart + kInlineMapBitmap, bits.data(), bits.size());
    }
    ByteSpan mp = w.modify(mapRow(pointer).page);
    setBitmapBit(mp.data() + rowStart + kInlineMapBitmap, n - newStart, value);
}

// Global map: page 1, slot 0.
constexpr std::uint32_t kGlobalMap = 1u << 8;

}  // namespace

// ---- PageWriter ----------------------------------------------------------

void PageWriter::freeReleasedPages() {
    // Claims clear bits of the global map and must reach the file before the
    // pages that use them; frees must reach it after the pages that stopped
    // using them. One write of the map cannot do both: with a claim, leak.
    if (released_.empty() || pageCount_ != filePages_) return;
    ByteView row = mapRowBytes(*this, kGlobalMap);
    // Only a bit inside an inline map's window: sliding the window would
    // change bits of other pages.
    if (row.size() < kInlineMapBitmap || row.u8(0) != kInlineMap) return;
    const std::uint64_t start = row.u32(kInlineMapFirstPage), window = inlineMapSpan(row.size());
    for (std::uint32_t n : released_) {
        if (n < start || n >= start + window) continue;
        setBit(*this, kGlobalMap, n, true, true);
        globalMapLast_ = true;
    }
    released_.clear();
}

PageWriter::PageWriter(Storage& storage) : storage_(storage) {
    filePages_ = storage_.pager().pageCount();
    pageCount_ = filePages_;
}

ByteView PageWriter::page(std::uint32_t n) {
    auto it = dirty_.find(n);
    if (it != dirty_.end()) return ByteView(it->second.data(), it->second.size(), n);
    if (n >= filePages_)
        corrupt("page number " + std::to_string(n) + " is past the end of the file");
    auto c = clean_.find(n);
    if (c != clean_.end()) return ByteView(c->second, format().pageSize, n);
    const ByteView v = storage_.pager().page(n);
    clean_.emplace(n, v.data());
    return v;
}

ByteSpan PageWriter::modify(std::uint32_t n) {
    auto it = dirty_.find(n);
    if (it == dirty_.end()) {
        ByteView v = page(n);
        it = dirty_.emplace(n, std::vector<std::uint8_t>(v.data(), v.data() + v.size())).first;
    }
    return ByteSpan(it->second.data(), it->second.size(), n);
}

std::uint32_t PageWriter::appendPage() {
    const std::uint32_t n = pageCount_++;
    dirty_.emplace(n, std::vector<std::uint8_t>(format().pageSize, 0));
    return n;
}

std::vector<std::uint32_t> PageWriter::changedPages() {
    std::vector<std::uint32_t> out;
    for (auto& [n, image] : dirty_) {
        if (n >= filePages_) {
            out.push_back(n);
            continue;
        }
        ByteView old = storage_.pager().page(n);
        if (std::memcmp(old.data(), image.data(), image.size()) != 0) out.push_back(n);
    }
    return out;
}

int PageWriter::writeRank(std::uint32_t n, ByteView image) const {
    // New pages before anything points at them; maps before the pages they
    // describe are used; index pages (leaves, then nodes); row data with
    // moved-row targets before the pointers; table definitions last.
    if (n >= filePages_) return 0;
    if (globalMapLast_ && n == mapRow(kGlobalMap).page) return 7;
    switch (image.u8(0)) {
        case kPageUsageMap:
            return 1;
        case kPageIndexLeaf:
            return 2;
        case kPageIndexNode:
            return 3;
        case kPageTdef:
            return 6;
        case kPageData:
            if (image.u32(format().dataOwner) == 0 || n == 1) return 1;  // map rows
            return moveTargets_.count(n) ? 4 : 5;
        default:
            return 5;
    }
}

void PageWriter::commit() {
    freeReleasedPages();
    std::vector<std::uint32_t> changed = changedPages();
    stats_.pagesWritten = static_cast<long>(changed.size());
    stats_.pagesAppended = static_cast<long>(pageCount_ - filePages_);
    if (changed.empty()) return;
    File& file = storage_.pager().file();
    if (!file.writable())
        throw Error("The database '" + storage_.fileName() + "' is read-only: it cannot be changed",
                    ErrorKind::ReadOnly);
    const std::size_t ps = format().pageSize;
    const std::uint64_t oldLength = file.size();
    Env* const env = storage_.env();
    const std::string& path = storage_.fileName();
    if (env) {
        std::vector<JournalPage> originals;
        for (std::uint32_t n : changed)
            if (n < filePages_)
                originals.push_back(JournalPage{n, storage_.pager().page(n).data()});
        writeJournal(*env, path, ps, oldLength, originals);
    }
    std::stable_sort(changed.begin(), changed.end(), [&](std::uint32_t a, std::uint32_t b) {
        const int ra = writeRank(a, page(a)), rb = writeRank(b, page(b));
        return ra != rb ? ra < rb : a < b;
    });
    try {
        // Runs of consecutive pages (in the order above) in one write each.
        std::vector<File::Buffer> run;
        for (std::size_t i = 0; i < changed.size();) {
            const std::uint32_t first = changed[i];
            run.clear();
            for (std::uint32_t n = first; i < changed.size() && changed[i] == n; ++i, ++n) {
                const auto& image = dirty_.at(n);
                run.push_back(File::Buffer{image.data(), image.size()});
            }
            file.writeGather(std::uint64_t{first} * ps, run);
        }
        file.sync();
    } catch (...) {
        // A failed write: put the old pages back now rather than at the next
        // open (which replays the journal if this fails too).
        if (env) {
            try {
                replayJournal(*env, path);
            } catch (...) {
            }
        }
        throw;
    }
    if (env) removeJournal(*env, path);
}

// ---- maps and pages ------------------------------------------------------

std::vector<std::uint32_t> mapPages(PageWriter& w, std::uint32_t pointer) {
    return decodeUsageMap(mapRowBytes(w, pointer), w.format(), [&](std::uint32_t p) {
        ByteView bitmap = w.page(p);
        if (bitmap.u8(0) != kPageUsageMap) corrupt("usage map page of the wrong type", p, 0);
        return bitmap;
    });
}

void setMapBit(PageWriter& w, std::uint32_t mapPointer, std::uint32_t n, bool value) {
    setBit(w, mapPointer, n, value, false);
}

std::uint32_t claimPage(PageWriter& w, const std::vector<std::uint32_t>& ownerMaps) {
    const std::uint32_t n = w.appendPage();
    setBit(w, kGlobalMap, n, false, true);  // in use
    for (std::uint32_t m : ownerMaps)
        if (m != 0) setBit(w, m, n, true, false);
    return n;
}

// ---- the row writer ------------------------------------------------------

namespace {

// Where moved rows go: the table's pages with room, then new pages.
class RowPlacer {
  public:
    RowPlacer(PageWriter& w, const TableDef& def) : w_(w), def_(def) {}

    RowId place(const Bytes& row, std::uint32_t avoidPage) {
        if (!loaded_) {
            for (std::uint32_t p : mapPages(w_, def_.ownedMap)) {
                if (p >= w_.pageCount()) continue;
                ByteView v = w_.page(p);
                if (v.u8(0) == kPageData && v.u32(w_.format().dataOwner) == def_.tdefPage)
                    pages_.push_back(p);
            }
            loaded_ = true;
        }
        // Start where the last row went: pages fill up in turn.
        for (std::size_t i = 0; i < pages_.size(); ++i) {
            const std::size_t k = (next_ + i) % pages_.size();
            const std::uint32_t p = pages_[k];
            if (p == avoidPage) continue;
            if (dataPageHasRoom(w_.page(p), w_.format(), row.size())) {
                DataPageEditor d = dataPage(w_, p);
                d.check();
                next_ = k;
                return RowId{p, d.append(row, kSlotDeleted)};
            }
        }
        const std::uint32_t p = claimPage(w_, {def_.ownedMap, def_.freeMap});
        const Format& f = w_.format();
        initDataPage(w_.modify(p), f, def_.tdefPage);
        pages_.push_back(p);
        next_ = pages_.size() - 1;
        DataPageEditor d = dataPage(w_, p);
        return RowId{p, d.append(row, kSlotDeleted)};
    }

  private:
    PageWriter& w_;
    const TableDef& def_;
    bool loaded_ = false;
    std::vector<std::uint32_t> pages_;
    std::size_t next_ = 0;
};

// The row's data location: the slot itself, or the target of its pointer.
RowId finalLocation(PageWriter& w, RowId id, bool& moved) {
    DataPageEditor d = DataPageEditor{
        ByteSpan(const_cast<std::uint8_t*>(w.page(id.page).data()), w.format().pageSize, id.page),
        w.format()};
    moved = false;
    if (id.slot >= d.count()) throw Error("The row no longer exists", ErrorKind::NotFound);
    const std::uint16_t raw = d.raw(id.slot);
    if ((raw & kSlotDeleted) && (raw & kSlotMoved))
        throw Error("The row has been deleted", ErrorKind::NotFound);
    if (!(raw & kSlotMoved)) return id;
    ByteView ptr = d.bytes(id.slot);
    if (ptr.size() < kRowPointer) corrupt("moved-row pointer too short", id.page);
    moved = true;
    return RowId{ptr.u24(1), ptr.u8(0)};
}

Bytes pointerBytes(RowId target, std::size_t length) {
    Bytes b(std::max(length, kRowPointer), 0);
    b[0] = static_cast<std::uint8_t>(target.slot);
    b[1] = static_cast<std::uint8_t>(target.page);
    b[2] = static_cast<std::uint8_t>(target.page >> 8);
    b[3] = static_cast<std::uint8_t>(target.page >> 16);
    return b;
}

void writeRow(PageWriter& w, RowPlacer& placer, RowId id, const Bytes& row) {
    const Format& f = w.format();
    const std::size_t maxRow = f.version == 3 ? 2012 : 4060;
    if (row.size() > maxRow)
        throw Error("The record is too large (" + std::to_string(row.size()) + " bytes)",
                    ErrorKind::InvalidArgument);
    bool moved = false;
    const RowId at = finalLocation(w, id, moved);
    {
        DataPageEditor d = dataPage(w, at.page);
        d.check();
        if (at.slot >= d.count()) corrupt("moved row points to a missing slot", at.page);
        if (d.put(at.slot, row)) return;
    }
    // No room: the row goes elsewhere and its own slot keeps a pointer.
    const RowId target = placer.place(row, at.page);
    w.markMoveTarget(target.page);
    ++w.stats().rowsMoved;
    DataPageEditor home = dataPage(w, id.page);
    const std::size_t homeLength = home.bytes(id.slot).size();
    const std::uint16_t flags =
        static_cast<std::uint16_t>((home.raw(id.slot) & ~kSlotFlags) | kSlotMoved);
    if (!home.put(id.slot, pointerBytes(target, homeLength)))
        throw Error("No room for a moved-row pointer", ErrorKind::NotSupported);
    home.setRaw(id.slot, static_cast<std::uint16_t>((home.raw(id.slot) & kSlotOffset) |
                                                    (flags & kSlotFlags)));
    if (moved) {
        // The old copy is abandoned: deleted (both bits, so that every
        // reader skips it) and shrunk to nothing.
        DataPageEditor old = dataPage(w, at.page);
        old.resize(at.slot, 0);
        old.setRaw(at.slot, static_cast<std::uint16_t>((old.raw(at.slot) & kSlotOffset) |
                                                       kSlotDeleted | kSlotMoved));
    }
}

// A real index that covers a changed column, with the rules its upkeep
// follows. Several logical indexes may share it: the strictest rules win,
// and the primary key's name is the one messages use.
struct AffectedIndex {
    const RealIndexDef* def;
    std::vector<int> positions;  // key columns, positions in TableDef::columns
    std::vector<KeyColumn> keyColumns;
    std::string name;
    bool unique = false;
    bool required = false;     // no key column may be NULL
    bool ignoreNulls = false;  // an all-NULL key has no entry
};

AffectedIndex indexRules(const TableDef& def, const RealIndexDef& ri) {
    AffectedIndex ix{&ri, {}, {}, {}};
    ix.unique = (ri.flags & kIndexUnique) != 0;
    ix.required = (ri.flags & kIndexRequired) != 0;
    ix.ignoreNulls = (ri.flags & kIndexIgnoreNulls) != 0;
    for (const IndexDef& logical : def.indexes) {
        if (logical.realIndex != ri.number) continue;
        if (ix.name.empty() || logical.indexType == kIndexPrimaryKey) ix.name = logical.index.name;
        if (logical.indexType == kIndexPrimaryKey) ix.unique = ix.required = true;
    }
    if (ix.name.empty()) ix.name = "#" + std::to_string(ri.number);
    for (std::size_t i = 0; i < ri.columnNumbers.size(); ++i) {
        const ColumnDef* c = def.columnByNumber(ri.columnNumbers[i]);
        if (!c)
            throw Error("The index '" + ix.name + "' of '" + def.name + "' uses a deleted column",
                        ErrorKind::NotSupported);
        ix.positions.push_back(static_cast<int>(c - def.columns.data()));
        ix.keyColumns.push_back(KeyColumn{c->column.type, !ri.ascending[i], c->scale});
    }
    return ix;
}

// A row's key in one index and what its NULLs mean for the entry.
struct RowKey {
    std::string key;
    bool allNull = true;
    int firstNull = -1;  // position of the first NULL key column, or -1
};

RowKey keyOf(Storage& s, const TableDef& def, const AffectedIndex& ix, ByteView row,
             SortOrder order) {
    RowKey out;
    std::vector<Value> values;
    for (int p : ix.positions) {
        values.push_back(s.decodeColumn(def, row, p));
        if (!values.back().isNull())
            out.allNull = false;
        else if (out.firstNull < 0)
            out.firstNull = p;
    }
    out.key = indexKey(values, ix.keyColumns, order);
    return out;
}

}  // namespace

std::int64_t updateTableRows(Storage& storage, const TableDef& def, const std::vector<RowId>& rows,
                             const std::vector<FieldChange>& changes, WriteStats* stats) {
    if (stats) *stats = WriteStats{};
    if (!storage.pager().file().writable())
        throw Error("The database '" + storage.fileName() + "' is read-only: it cannot be changed",
                    ErrorKind::ReadOnly);
    if (rows.empty() || changes.empty()) return static_cast<std::int64_t>(rows.size());
    const Format& f = storage.format();
    const SortOrder order = sortOrderForJet(f.version);
    const int codePage = storage.header().codePage;
    const bool varArea = def.varColumns > 0;

    // A Required column refuses NULL (a Yes/No value is never NULL).
    for (const FieldChange& c : changes) {
        const Column& col = def.columns.at(static_cast<std::size_t>(c.position)).column;
        if (col.required && c.value.isNull() && col.type != ColumnType::Boolean)
            throw Error("The field '" + def.name + "." + col.name +
                            "' is required and cannot be set to NULL; nothing was changed",
                        ErrorKind::Constraint);
    }

    // Indexes that cover a changed column.
    std::vector<AffectedIndex> affected;
    for (const RealIndexDef& ri : def.realIndexes) {
        bool touches = false;
        for (const FieldChange& c : changes)
            if (std::find(ri.columnNumbers.begin(), ri.columnNumbers.end(),
                          def.columns[c.position].number) != ri.columnNumbers.end())
                touches = true;
        if (touches) affected.push_back(indexRules(def, ri));
    }

    // Encode the new fields once: the same for every row.
    struct Encoded {
        const ColumnDef* column;
        Bytes bytes;
        bool present;
    };
    std::vector<Encoded> fields;
    for (const FieldChange& c : changes) {
        const ColumnDef& col = def.columns.at(static_cast<std::size_t>(c.position));
        Encoded e{&col, {}, false};
        e.bytes = encodeField(c.value, col, f, codePage, e.present);
        fields.push_back(std::move(e));
    }

    PageWriter w(storage);
    RowPlacer placer(w, def);
    std::vector<std::unique_ptr<IndexWriter>> ixw;
    for (const AffectedIndex& a : affected)
        ixw.push_back(std::make_unique<IndexWriter>(w, def, *a.def, a.name, a.unique));

    for (const RowId id : rows) {
        bool moved = false;
        const RowId at = finalLocation(w, id, moved);
        DataPageEditor d = dataPage(w, at.page);
        const ByteView oldView = d.bytes(at.slot);
        const Bytes oldRow(oldView.data(), oldView.data() + oldView.size());
        const ByteView oldRowView(oldRow.data(), oldRow.size(), at.page);
        RowImage img = parseRowImage(oldRowView, f, varArea);
        for (const Encoded& e : fields) {
            const ColumnDef& col = *e.column;
            img.setHasValue(col.number, e.present);
            if (col.column.type == ColumnType::Boolean) continue;
            if (col.fixed()) {
                const std::size_t end = static_cast<std::size_t>(col.fixedOffset + col.length);
                if (img.fixed.size() < end) img.fixed.resize(end, 0);
                std::copy(e.bytes.begin(), e.bytes.end(), img.fixed.begin() + col.fixedOffset);
            } else {
                if (!varArea)
                    corrupt("variable column in a table without variable columns", def.tdefPage);
                if (img.vars.size() <= static_cast<std::size_t>(col.varIndex))
                    img.vars.resize(static_cast<std::size_t>(col.varIndex) + 1);
                img.vars[static_cast<std::size_t>(col.varIndex)] = e.bytes;
            }
        }
        const Bytes newRow = encodeRowImage(img, f);
        if (newRow == oldRow) continue;
        ++w.stats().rowsRewritten;
        const ByteView newRowView(newRow.data(), newRow.size(), at.page);
        for (std::size_t i = 0; i < affected.size(); ++i) {
            const AffectedIndex& ix = affected[i];
            const RowKey oldKey = keyOf(storage, def, ix, oldRowView, order);
            const RowKey newKey = keyOf(storage, def, ix, newRowView, order);
            if (ix.required && newKey.firstNull >= 0)
                throw Error(
                    "Index or primary key cannot contain a Null value: the index '" + ix.name +
                        "' of table '" + def.name + "' needs a value in column '" +
                        def.columns[static_cast<std::size_t>(newKey.firstNull)].column.name +
                        "'; nothing was changed",
                    ErrorKind::Constraint);
            // An ignore-nulls index has no entry for an all-NULL key.
            const bool hadEntry = !(ix.ignoreNulls && oldKey.allNull);
            const bool hasEntry = !(ix.ignoreNulls && newKey.allNull);
            if (hadEntry == hasEntry && (!hadEntry || oldKey.key == newKey.key)) continue;
            if (hadEntry) ixw[i]->remove(oldKey.key, id);
            if (hasEntry) ixw[i]->insert(newKey.key, id, newKey.allNull);
            ++w.stats().indexEntriesChanged;
        }
        writeRow(w, placer, id, newRow);
    }
    for (auto& x : ixw) x->flush();
    w.commit();
    if (stats) *stats = w.stats();
    return static_cast<std::int64_t>(rows.size());
}

// ---- write session -------------------------------------------------------

WriteSession::WriteSession(Env& env, const std::string& databasePath) {
    try {
        lock_ = FileLock::acquire(env, databasePath, FileLock::defaultWait());
        replayJournal(env, databasePath);
    } catch (const Error& e) {
        if (e.kind() != ErrorKind::ReadOnly) throw;
        // Read-only: no lock; the write itself reports the error.
    }
}

}  // namespace jet
