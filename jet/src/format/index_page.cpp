#include "format/index_page.h"

#include <algorithm>
#include <bit>

namespace jet {
namespace {

// Deeper than any real index can be (a 4 KB node holds hundreds of entries).
constexpr int kMaxDepth = 32;

constexpr IndexPageFormat kJet3Format{2048, 0x08, 0x0C, 0x10, 0x14, 1, 0x16, 226, 0xF8};
constexpr IndexPageFormat kJet4Format{4096, 0x0C, 0x10, 0x14, 0x18, 2, 0x1B, 453, 0x1E0};

int compareRows(RowId a, RowId b) {
    if (a.page != b.page) return a.page < b.page ? -1 : 1;
    if (a.slot != b.slot) return a.slot < b.slot ? -1 : 1;
    return 0;
}

}  // namespace

const IndexPageFormat& IndexPageFormat::forJet(int jetVersion) {
    if (jetVersion == 3) return kJet3Format;
    if (jetVersion == 4) return kJet4Format;
    throw Error("Unsupported Jet version " + std::to_string(jetVersion), ErrorKind::NotSupported);
}

int IndexEntry::compare(std::string_view otherKey, RowId otherRow) const {
    // std::string compares char_traits<char>, which orders bytes as unsigned.
    int c = std::string_view(key).compare(otherKey);
    if (c != 0) return c < 0 ? -1 : 1;
    return compareRows(row, otherRow);
}

namespace {

// Calls entry(full) for each entry of an index page in stored order, `full`
// being the whole entry (prefix restored): key, row pointer and, on node
// pages, the child. The view is valid during the call only. Returns the
// bytes the stored entries take in the entry area.
template <class Entry>
std::size_t forEachStoredEntry(ByteView page, std::uint32_t number, const IndexPageFormat& f,
                               std::size_t prefixLength, std::size_t pointerSize, Entry entry) {
    const std::size_t areaSize = f.pageSize - f.entriesOffset;
    const ByteView area = page.sub(f.entriesOffset, areaSize);
    const ByteView bitmap = page.sub(f.bitmapOffset, f.bitmapSize);
    // One buffer for every entry: the prefix stays, each entry's own bytes
    // replace the previous entry's after it.
    std::string full;
    std::size_t start = 0;
    bool first = true;
    for (std::size_t byte = 0; byte < f.bitmapSize; ++byte) {
        std::uint8_t bits = bitmap.data()[byte];
        for (int bit = 0; bits != 0 && bit < 8; ++bit) {
            if (!(bits & (1u << bit))) continue;
            bits &= std::uint8_t(~(1u << bit));
            const std::size_t end = byte * 8 + std::size_t(bit);
            if (end > areaSize || end <= start)
                corrupt("index entry bitmap points outside the entry area", number,
                        std::int64_t(f.bitmapOffset + byte));
            const char* stored = reinterpret_cast<const char*>(area.data()) + start;
            if (first) {
                if (prefixLength > end - start)
                    corrupt("index prefix longer than the first entry", number,
                            std::int64_t(f.prefixOffset));
                full.assign(stored, end - start);
                first = false;
            } else {
                full.resize(prefixLength);
                full.append(stored, end - start);
            }
            if (full.size() < pointerSize)
                corrupt("index entry too short", number, std::int64_t(f.entriesOffset + start));
            entry(std::string_view(full));
            start = end;
        }
    }
    return start;
}

RowId rowPointer(std::string_view p) {
    const auto b = [&](std::size_t i) { return std::uint32_t(std::uint8_t(p[i])); };
    return RowId{b(0) << 16 | b(1) << 8 | b(2), static_cast<std::uint16_t>(b(3))};
}

}  // namespace

IndexPage parseIndexPage(ByteView page, std::uint32_t number, const IndexPageFormat& f) {
    if (page.size() != f.pageSize) corrupt("index page has the wrong size", number);
    IndexPage out;
    out.number = number;
    std::uint8_t type = page.u8(0);
    if (type != kIndexLeafPage && type != kIndexNodePage)
        corrupt("expected an index page, found page type " + std::to_string(type), number, 0);
    out.leaf = type == kIndexLeafPage;
    out.tdefPage = page.u32(kIndexOwnerOffset);
    out.prevPage = page.u32(f.prevOffset);
    out.nextPage = page.u32(f.nextOffset);
    out.tailPage = page.u32(f.tailOffset);
    out.prefixLength = page.readLE(f.prefixOffset, f.prefixWidth);
    out.freeSpace = page.u16(kIndexFreeSpaceOffset);
    const std::size_t pointerSize = kIndexRowPointerSize + (out.leaf ? 0 : kIndexChildPointerSize);
    // One bitmap bit per entry: size the list once, with room for the few
    // entries a writer adds before the page splits.
    std::size_t marked = 0;
    for (std::size_t i = 0; i < f.bitmapSize && f.bitmapOffset + i < page.size(); ++i)
        marked += static_cast<std::size_t>(std::popcount(page.data()[f.bitmapOffset + i]));
    out.entries.reserve(marked + marked / 4 + 4);
    out.entryBytes = forEachStoredEntry(
        page, number, f, out.prefixLength, pointerSize, [&](std::string_view full) {
            const std::size_t keyLength = full.size() - pointerSize;
            IndexEntry e;
            e.key = full.substr(0, keyLength);
            e.row = rowPointer(full.substr(keyLength));
            if (!out.leaf) {
                ByteView child(reinterpret_cast<const std::uint8_t*>(full.data()) + keyLength + 4,
                               4, number);
                e.child = static_cast<std::uint32_t>(child.readBE(0, 4));
            }
            out.entries.push_back(std::move(e));
        });
    return out;
}

namespace {

// An entry as stored in full: key, row pointer, and the child on node pages.
std::string fullEntry(const IndexEntry& e, bool leaf) {
    std::string s = e.key;
    s += char(e.row.page >> 16);
    s += char(e.row.page >> 8);
    s += char(e.row.page);
    s += char(e.row.slot);
    if (!leaf) {
        for (int i = 3; i >= 0; --i) s += char(e.child >> (8 * i));
    }
    return s;
}

}  // namespace

std::size_t storedEntryBytes(const std::vector<IndexEntry>& entries, bool leaf,
                             std::size_t prefixLength) {
    const std::size_t pointers = kIndexRowPointerSize + (leaf ? 0 : kIndexChildPointerSize);
    std::size_t total = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        std::size_t n = entries[i].key.size() + pointers;
        total += i == 0 ? n : n - std::min(n, prefixLength);
    }
    return total;
}

std::size_t sharedKeyPrefix(const IndexPage& p, const IndexPageFormat& f) {
    if (p.entries.size() < 2) return 0;
    const std::string& a = p.entries.front().key;
    const std::string& b = p.entries.back().key;
    std::size_t n = 0;
    while (n < a.size() && n < b.size() && a[n] == b[n]) ++n;
    return std::min(n, f.maxPrefix());
}

void writeIndexPage(ByteSpan page, const IndexPage& p, const IndexPageFormat& f,
                    IndexPageKeep keep) {
    if (page.size() != f.pageSize)
        throw Error("Index page buffer has the wrong size", ErrorKind::InvalidArgument);
    const std::size_t areaSize = f.pageSize - f.entriesOffset;
    if (p.prefixLength > f.maxPrefix())
        throw Error("Index prefix too long", ErrorKind::InvalidArgument);
    std::string prefix;
    std::vector<std::string> stored;
    std::size_t used = 0;
    for (std::size_t i = 0; i < p.entries.size(); ++i) {
        std::string full = fullEntry(p.entries[i], p.leaf);
        if (i == 0) {
            if (p.prefixLength >= full.size() && p.entries.size() > 1)
                throw Error("Index prefix as long as an entry", ErrorKind::InvalidArgument);
            prefix = full.substr(0, p.prefixLength);
            stored.push_back(std::move(full));
        } else {
            // The stored rest must not be empty: its end is what the bitmap marks.
            if (full.size() <= p.prefixLength || full.compare(0, prefix.size(), prefix) != 0)
                throw Error("Index prefix not shared by every entry", ErrorKind::InvalidArgument);
            stored.push_back(full.substr(p.prefixLength));
        }
        used += stored.back().size();
    }
    // An entry may not end past the bitmap either.
    if (used > areaSize || used >= f.bitmapSize * 8)
        throw Error("Index entries overflow the page", ErrorKind::InvalidArgument);

    const std::uint8_t oldType = page.data()[0];
    const bool sameKind = oldType == (p.leaf ? kIndexLeafPage : kIndexNodePage);
    page.u8(0, p.leaf ? kIndexLeafPage : kIndexNodePage);
    page.u8(1, 0x01);
    page.u16(kIndexFreeSpaceOffset, static_cast<std::uint16_t>(areaSize - used));
    page.u32(kIndexOwnerOffset, p.tdefPage);
    page.u32(f.prevOffset, p.prevPage);
    page.u32(f.nextOffset, p.nextPage);
    page.u32(f.tailOffset, p.leaf ? 0 : p.tailPage);
    page.writeLE(f.prefixOffset, f.prefixWidth, p.prefixLength);
    if (!keep.nodeMarker || !sameKind)
        page.u8(f.prefixOffset + f.prefixWidth, p.leaf ? 0x00 : 0x01);
    std::fill(page.data() + f.bitmapOffset, page.data() + f.bitmapOffset + f.bitmapSize, 0);
    std::size_t pos = 0;
    for (const std::string& s : stored) {
        std::copy(s.begin(), s.end(), page.data() + f.entriesOffset + pos);
        pos += s.size();
        // Bit b set: an entry ends at byte b of the entry area.
        page.data()[f.bitmapOffset + pos / 8] |= static_cast<std::uint8_t>(1u << (pos % 8));
    }
    if (!keep.unusedBytes)
        std::fill(page.data() + f.entriesOffset + pos, page.data() + f.pageSize, 0);
}

PageSource pagerSource(Pager& pager) {
    return [&pager](std::uint32_t n) { return pager.page(n); };
}

IndexCursor::IndexCursor(PageSource pages, std::uint32_t rootPage, const IndexPageFormat& format)
    : pages_(std::move(pages)), root_(rootPage), format_(&format) {
    tdefPage_ = load(root_).tdefPage;
}

IndexPage IndexCursor::load(std::uint32_t number) {
    if (number == 0) corrupt("index page pointer is zero", -1);
    IndexPage p = parseIndexPage(pages_(number), number, *format_);
    if (number != root_ && p.tdefPage != tdefPage_)
        corrupt("index page belongs to another table", number, 4);
    return p;
}

void IndexCursor::descend(std::string_view key, RowId row, bool first) {
    visited_.clear();
    haveLast_ = false;
    std::uint32_t number = root_;
    for (int depth = 0;; ++depth) {
        if (depth > kMaxDepth) corrupt("index tree too deep (a cycle?)", number);
        page_ = load(number);
        if (page_.leaf) break;
        std::uint32_t child = 0;
        if (!first) {
            auto it = std::find_if(page_.entries.begin(), page_.entries.end(),
                                   [&](const IndexEntry& e) { return e.compare(key, row) >= 0; });
            if (it != page_.entries.end()) child = it->child;
        } else if (!page_.entries.empty()) {
            child = page_.entries.front().child;
        }
        if (child == 0) child = page_.tailPage;
        if (child == 0 && !page_.entries.empty()) child = page_.entries.back().child;
        if (child == 0) corrupt("index node page without children", number);
        number = child;
    }
    visited_.insert(page_.number);
    pos_ = 0;
    returnedOnPage_ = false;
    if (!first) {
        while (pos_ < page_.entries.size() && page_.entries[pos_].compare(key, row) < 0) ++pos_;
    }
    started_ = true;
}

void IndexCursor::seekFirst() { descend({}, {}, true); }

void IndexCursor::seek(std::string_view key, RowId row) { descend(key, row, false); }

bool IndexCursor::next() {
    if (!started_) seekFirst();
    // Past the last entry the cursor stays put; pos_ indexes the next entry.
    while (pos_ >= page_.entries.size()) {
        std::uint32_t n = page_.nextPage;
        if (n == 0) return false;
        if (!visited_.insert(n).second) corrupt("index leaf chain loops", n);
        IndexPage p = load(n);
        if (!p.leaf) corrupt("index leaf chain reaches a node page", n, 0);
        // Keep only the last entry returned, for the order check across pages.
        if (returnedOnPage_) last_ = std::move(page_.entries[current_]);
        page_ = std::move(p);
        pos_ = 0;
        returnedOnPage_ = false;
    }
    const IndexEntry& e = page_.entries[pos_];
    const IndexEntry* previous =
        returnedOnPage_ ? &page_.entries[current_] : (haveLast_ ? &last_ : nullptr);
    if (previous && e.compare(previous->key, previous->row) <= 0)
        corrupt("index entries out of order", page_.number);
    haveLast_ = true;
    returnedOnPage_ = true;
    current_ = pos_++;
    return true;
}

void IndexCursor::forEachRemaining(const EntryVisitor& visit) {
    if (!started_) seekFirst();
    // The rest of the current page through next(), which checks the order.
    while (pos_ < page_.entries.size()) {
        next();
        visit(entry().key, entry().row);
    }
    std::string previous;
    RowId previousRow;
    bool havePrevious = haveLast_;
    if (haveLast_) {
        const IndexEntry& e = returnedOnPage_ ? page_.entries[current_] : last_;
        previous = e.key;
        previousRow = e.row;
    }
    for (std::uint32_t n = page_.nextPage; n != 0;) {
        if (!visited_.insert(n).second) corrupt("index leaf chain loops", n);
        const ByteView page = pages_(n);
        if (page.size() != format_->pageSize) corrupt("index page has the wrong size", n);
        if (page.u8(0) != kIndexLeafPage) corrupt("index leaf chain reaches a non-leaf page", n, 0);
        if (page.u32(0x04) != tdefPage_) corrupt("index page belongs to another table", n, 4);
        const std::uint32_t following = page.u32(format_->nextOffset);
        forEachStoredEntry(
            page, n, *format_, page.readLE(format_->prefixOffset, format_->prefixWidth),
            kIndexRowPointerSize, [&](std::string_view full) {
                const std::string_view key = full.substr(0, full.size() - kIndexRowPointerSize);
                const RowId row = rowPointer(full.substr(key.size()));
                if (havePrevious) {
                    const int c = key.compare(previous);
                    if (c < 0 || (c == 0 && compareRows(row, previousRow) <= 0))
                        corrupt("index entries out of order", n);
                }
                previous.assign(key);
                previousRow = row;
                havePrevious = true;
                visit(key, row);
            });
        n = following;
    }
    // At the end: nothing left on this page and no next page.
    page_.entries.clear();
    page_.nextPage = 0;
    pos_ = 0;
    returnedOnPage_ = false;
    haveLast_ = false;
}

std::vector<IndexEntry> readIndex(const PageSource& pages, std::uint32_t rootPage,
                                  const IndexPageFormat& format) {
    IndexCursor c(pages, rootPage, format);
    std::vector<IndexEntry> out;
    while (c.next()) out.push_back(c.entry());
    return out;
}

}  // namespace jet
