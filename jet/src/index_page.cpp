#include "index_page.h"

#include <algorithm>

namespace jet {
namespace {

// Size of the row pointer (3-byte page, 1-byte slot) and of a node entry's
// child pointer, both big-endian.
constexpr std::size_t kRowPointerSize = 4;
constexpr std::size_t kChildPointerSize = 4;

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

IndexPage parseIndexPage(ByteView page, std::uint32_t number, const IndexPageFormat& f) {
    if (page.size() != f.pageSize) corrupt("index page has the wrong size", number);
    IndexPage out;
    out.number = number;
    std::uint8_t type = page.u8(0);
    if (type != kIndexLeafPage && type != kIndexNodePage)
        corrupt("expected an index page, found page type " + std::to_string(type), number, 0);
    out.leaf = type == kIndexLeafPage;
    out.tdefPage = page.u32(0x04);
    out.prevPage = page.u32(f.prevOffset);
    out.nextPage = page.u32(f.nextOffset);
    out.tailPage = page.u32(f.tailOffset);
    const std::size_t prefixLength = page.readLE(f.prefixOffset, f.prefixWidth);

    const std::size_t areaSize = f.pageSize - f.entriesOffset;
    const ByteView area = page.sub(f.entriesOffset, areaSize);
    const ByteView bitmap = page.sub(f.bitmapOffset, f.bitmapSize);
    const std::size_t pointerSize = kRowPointerSize + (out.leaf ? 0 : kChildPointerSize);

    std::string prefix;
    std::size_t start = 0;
    for (std::size_t byte = 0; byte < f.bitmapSize; ++byte) {
        std::uint8_t bits = bitmap.u8(byte);
        for (int bit = 0; bits != 0 && bit < 8; ++bit) {
            if (!(bits & (1u << bit))) continue;
            bits &= std::uint8_t(~(1u << bit));
            const std::size_t end = byte * 8 + std::size_t(bit);
            if (end > areaSize || end <= start)
                corrupt("index entry bitmap points outside the entry area", number,
                        std::int64_t(f.bitmapOffset + byte));
            const ByteView stored = area.sub(start, end - start);
            std::string full;
            if (out.entries.empty()) {
                full.assign(reinterpret_cast<const char*>(stored.data()), stored.size());
                if (prefixLength > full.size())
                    corrupt("index prefix longer than the first entry", number,
                            std::int64_t(f.prefixOffset));
                prefix = full.substr(0, prefixLength);
            } else {
                full = prefix;
                full.append(reinterpret_cast<const char*>(stored.data()), stored.size());
            }
            if (full.size() < pointerSize)
                corrupt("index entry too short", number, std::int64_t(f.entriesOffset + start));
            const std::size_t keyLength = full.size() - pointerSize;
            ByteView tail(reinterpret_cast<const std::uint8_t*>(full.data()) + keyLength,
                          pointerSize, number);
            IndexEntry e;
            e.key = full.substr(0, keyLength);
            e.row.page = static_cast<std::uint32_t>(tail.readBE(0, 3));
            e.row.slot = tail.u8(3);
            if (!out.leaf) e.child = static_cast<std::uint32_t>(tail.readBE(4, 4));
            out.entries.push_back(std::move(e));
            start = end;
        }
    }
    return out;
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
        page_ = std::move(p);
        pos_ = 0;
    }
    const IndexEntry& e = page_.entries[pos_];
    if (haveLast_ && e.compare(last_.key, last_.row) <= 0)
        corrupt("index entries out of order", page_.number);
    last_ = e;
    haveLast_ = true;
    current_ = pos_++;
    return true;
}

std::vector<IndexEntry> readIndex(const PageSource& pages, std::uint32_t rootPage,
                                  const IndexPageFormat& format) {
    IndexCursor c(pages, rootPage, format);
    std::vector<IndexEntry> out;
    while (c.next()) out.push_back(c.entry());
    return out;
}

}  // namespace jet
