#include "index/index_write.h"

#include <algorithm>
#include <cstring>

namespace jet {

namespace {

constexpr int kMaxDepth = 32;

std::size_t commonPrefix(const std::string& a, const std::string& b) {
    std::size_t n = 0;
    while (n < a.size() && n < b.size() && a[n] == b[n]) ++n;
    return n;
}

// The first entry of the page not before (key, row): entries are in
// (key, row) order on every page.
std::size_t lowerBound(const IndexPage& p, const std::string& key, RowId row) {
    auto it = std::lower_bound(p.entries.begin(), p.entries.end(), 0,
                               [&](const IndexEntry& e, int) { return e.compare(key, row) < 0; });
    return static_cast<std::size_t>(it - p.entries.begin());
}

}  // namespace

std::size_t indexEntryAreaSize(const IndexPage& page, const IndexPageFormat& f) {
    // With the page's best prefix (encodeIndexPage uses it when needed),
    // from the entries' lengths alone: this runs after every change of a
    // page, so it builds no entry strings.
    return storedEntryBytes(page.entries, page.leaf, sharedKeyPrefix(page, f));
}

std::vector<std::uint8_t> encodeIndexPage(IndexPage& page, ByteView original,
                                          const IndexPageFormat& f) {
    std::vector<std::uint8_t> out(original.data(), original.data() + original.size());
    if (out.size() != f.pageSize) corrupt("index page has the wrong size", page.number);
    // Access compresses entries by their common prefix, Jackcess does not;
    // a page keeps the habit of the program that wrote it.
    // Compressing is also the way to fit entries that would not fit whole.
    const std::size_t area = f.pageSize - f.entriesOffset;
    const bool compress = original.readLE(f.prefixOffset, f.prefixWidth) != 0 ||
                          storedEntryBytes(page.entries, page.leaf, 0) > area;
    page.prefixLength = compress ? sharedKeyPrefix(page, f) : 0;
    const std::size_t used = storedEntryBytes(page.entries, page.leaf, page.prefixLength);
    if (used > area || used >= f.bitmapSize * 8)
        throw Error("Index entries do not fit their page", ErrorKind::NotSupported);
    // Access leaves old bytes past the last entry, and a node marker that
    // Jackcess wrote stays as it is.
    writeIndexPage(ByteSpan(out.data(), out.size(), page.number), page, f,
                   IndexPageKeep{.nodeMarker = true, .unusedBytes = true});
    return out;
}

IndexWriter::IndexWriter(PageWriter& pages, const TableDef& table, const RealIndexDef& index,
                         std::string name, bool unique)
    : pages_(pages),
      table_(table),
      index_(index),
      name_(std::move(name)),
      unique_(unique),
      format_(IndexPageFormat::forJet(pages.format().version)) {}

IndexPage& IndexWriter::load(std::uint32_t n) {
    auto it = cache_.find(n);
    if (it != cache_.end()) return it->second;
    if (n == 0) corrupt("index page pointer is zero");
    IndexPage p = parseIndexPage(pages_.page(n), n, format_);
    if (p.tdefPage != table_.tdefPage) corrupt("index page belongs to another table", n, 4);
    return cache_.emplace(n, std::move(p)).first->second;
}

std::uint32_t IndexWriter::descend(const std::string& key, RowId row, std::vector<Step>& path) {
    path.clear();
    std::uint32_t n = index_.rootPage;
    for (int depth = 0;; ++depth) {
        if (depth > kMaxDepth) corrupt("index tree too deep (a cycle?)", n);
        IndexPage& p = load(n);
        if (p.leaf) return n;
        std::size_t pos = lowerBound(p, key, row);
        std::uint32_t child;
        if (pos < p.entries.size()) {
            child = p.entries[pos].child;
        } else if (p.tailPage != 0) {
            child = p.tailPage;
        } else if (!p.entries.empty()) {
            pos = p.entries.size() - 1;
            child = p.entries[pos].child;
        } else {
            corrupt("index node page without children", n);
        }
        path.push_back(Step{n, pos});
        n = child;
    }
}

IndexEntry IndexWriter::lastOf(std::uint32_t n) {
    for (int depth = 0;; ++depth) {
        if (depth > kMaxDepth) corrupt("index tree too deep (a cycle?)", n);
        IndexPage& p = load(n);
        if (!p.leaf && p.tailPage != 0) {
            n = p.tailPage;
            continue;
        }
        if (p.entries.empty()) corrupt("empty index page below a node", n);
        IndexEntry e = p.entries.back();
        e.child = 0;
        return e;
    }
}

// Bytes the entries of one page may take: the entry area, and one bit of
// the bitmap less than it has (an entry cannot end past the bitmap).
std::size_t IndexWriter::entryAreaLimit() const {
    return std::min(format_.pageSize - format_.entriesOffset, format_.bitmapSize * 8 - 1);
}

bool IndexWriter::fits(const IndexPage& p) const {
    return indexEntryAreaSize(p, format_) <= entryAreaLimit();
}

std::uint32_t IndexWriter::newPage() {
    // A page this statement emptied is taken first: it is already the
    // index's and nothing points at it any more; the file need not grow.
    std::uint32_t n;
    if (!emptied_.empty()) {
        n = emptied_.back();
        emptied_.pop_back();
        setMapBit(pages_, index_.usageMap, n, true);
    } else {
        n = claimPage(pages_, {index_.usageMap});
    }
    IndexPage p;
    p.number = n;
    p.tdefPage = table_.tdefPage;
    cache_[n] = std::move(p);
    dirty_[n] = true;
    return n;
}

// How many entries of `p`, from `from` on, fit one page together.
std::size_t IndexWriter::entriesThatFit(const IndexPage& p, std::size_t from) const {
    // indexEntryAreaSize() of growing runs, kept up to date entry by entry
    // (the stored size only grows with each entry added).
    const std::size_t limit = entryAreaLimit();
    const std::size_t pointers = kIndexRowPointerSize + (p.leaf ? 0 : kIndexChildPointerSize);
    const std::string& first = p.entries[from].key;
    std::size_t total = 0;
    for (std::size_t i = from; i < p.entries.size(); ++i) {
        const std::size_t size = p.entries[i].key.size() + pointers;
        const std::size_t others = i - from;
        const std::size_t prefix =
            std::min(commonPrefix(first, p.entries[i].key), format_.maxPrefix());
        if (total + size - others * prefix > limit) return i - from;
        total += size;
    }
    return p.entries.size() - from;
}

// Moves the first `cut` entries of page `n` to a new page linked before it;
// the parent (the last step of `path`) gets an entry for the new page.
void IndexWriter::splitFront(std::vector<Step>& path, std::uint32_t n, std::size_t cut) {
    const std::uint32_t m = newPage();
    IndexPage& orig = load(n);
    IndexPage& half = load(m);
    half.leaf = orig.leaf;
    half.entries.assign(
        std::make_move_iterator(orig.entries.begin()),
        std::make_move_iterator(orig.entries.begin() + static_cast<std::ptrdiff_t>(cut)));
    orig.entries.erase(orig.entries.begin(),
                       orig.entries.begin() + static_cast<std::ptrdiff_t>(cut));
    IndexEntry last = half.entries.back();
    if (!half.leaf && half.entries.size() >= 2) {
        // A node with several children keeps its last one as the tail.
        half.tailPage = half.entries.back().child;
        half.entries.pop_back();
    }
    last.child = m;
    half.prevPage = orig.prevPage;
    half.nextPage = n;
    if (orig.prevPage != 0) {
        load(orig.prevPage).nextPage = m;
        dirty_[orig.prevPage] = true;
    }
    orig.prevPage = m;
    dirty_[n] = true;
    if (path.empty()) corrupt("index page without a parent", n);
    Step& s = path.back();
    IndexPage& parent = load(s.page);
    parent.entries.insert(parent.entries.begin() + static_cast<std::ptrdiff_t>(s.childPos),
                          std::move(last));
    ++s.childPos;
    dirty_[s.page] = true;
}

// After page `n` changed: split it if it overflows, then refresh the
// parent's copy of its last entry, and so on up to the root.
void IndexWriter::propagate(std::vector<Step>& path, std::uint32_t n) {
    for (;;) {
        if (!fits(load(n))) {
            if (n == index_.rootPage) {
                // The root keeps its number: its content moves to a new page
                // that becomes the root's only child, and that one splits.
                const std::uint32_t c = newPage();
                IndexPage& root = load(n);
                IndexPage& copy = load(c);
                copy.leaf = root.leaf;
                copy.entries = std::move(root.entries);
                copy.tailPage = root.tailPage;
                copy.prevPage = copy.nextPage = 0;
                root.entries.clear();
                root.leaf = false;
                root.tailPage = c;
                root.prevPage = root.nextPage = 0;
                dirty_[n] = true;
                path.push_back(Step{n, 0});
                n = c;
                continue;
            }
            IndexPage& orig = load(n);
            const std::size_t count = orig.entries.size();
            const std::size_t half = count / 2;
            if (half > 0 && entriesThatFit(orig, 0) >= half &&
                entriesThatFit(orig, half) == count - half) {
                // One entry too many: halves, as B-trees do.
                splitFront(path, n, half);
            } else {
                // Many more (a batch of insertions): full pages from the
                // front until the rest fits.
                while (!fits(load(n))) {
                    const std::size_t cut = entriesThatFit(load(n), 0);
                    if (cut == 0)
                        throw Error("Index entries too large to split", ErrorKind::NotSupported);
                    splitFront(path, n, cut);
                }
            }
        }
        if (path.empty()) return;
        Step s = path.back();
        path.pop_back();
        IndexPage& parent = load(s.page);
        if (s.childPos < parent.entries.size()) {
            const IndexEntry last = lastOf(n);
            IndexEntry& e = parent.entries[s.childPos];
            if (e.key != last.key || e.row != last.row) {
                e.key = last.key;
                e.row = last.row;
                dirty_[s.page] = true;
            }
        }
        n = s.page;
    }
}

void IndexWriter::removeChild(std::vector<Step>& path, std::uint32_t child) {
    IndexPage& c = load(child);
    if (c.prevPage != 0) {
        load(c.prevPage).nextPage = c.nextPage;
        dirty_[c.prevPage] = true;
    }
    if (c.nextPage != 0) {
        load(c.nextPage).prevPage = c.prevPage;
        dirty_[c.nextPage] = true;
    }
    // The emptied page leaves the index's map; a split later in the
    // statement may take it again (newPage), else flush() releases it.
    setMapBit(pages_, index_.usageMap, child, false);
    emptied_.push_back(child);
    Step s = path.back();
    path.pop_back();
    IndexPage& p = load(s.page);
    if (s.childPos < p.entries.size()) {
        p.entries.erase(p.entries.begin() + static_cast<std::ptrdiff_t>(s.childPos));
    } else {
        p.tailPage = 0;
        if (!p.entries.empty()) {
            p.tailPage = p.entries.back().child;
            p.entries.pop_back();
        }
    }
    dirty_[s.page] = true;
    if (p.entries.empty() && p.tailPage != 0) {
        // A lone tail becomes an ordinary entry.
        IndexEntry e = lastOf(p.tailPage);
        e.child = p.tailPage;
        p.tailPage = 0;
        p.entries.push_back(e);
    }
    if (p.entries.empty() && p.tailPage == 0) {
        if (s.page == index_.rootPage) {
            p.leaf = true;
            return;
        }
        removeChild(path, s.page);
        return;
    }
    propagate(path, s.page);
}

bool IndexWriter::hasEqualKey(std::uint32_t leaf, std::size_t pos, const std::string& key) {
    IndexPage& p = load(leaf);
    if (pos > 0) return p.entries[pos - 1].key == key;
    std::uint32_t prev = p.prevPage;
    for (int hops = 0; prev != 0 && hops < kMaxDepth; ++hops) {
        IndexPage& q = load(prev);
        if (!q.entries.empty()) return q.entries.back().key == key;
        prev = q.prevPage;
    }
    return false;
}

void IndexWriter::remove(const std::string& key, RowId row) {
    if (unique_) return removeNow(key, row);
    removals_.push_back(Change{key, row});
}

void IndexWriter::insert(const std::string& key, RowId row, bool allNull) {
    if (unique_) return insertNow(key, row, allNull);
    insertions_.push_back(Change{key, row});
}

void IndexWriter::removeNow(const std::string& key, RowId row) {
    std::vector<Step> path;
    const std::uint32_t leaf = descend(key, row, path);
    IndexPage& p = load(leaf);
    const std::size_t pos = lowerBound(p, key, row);
    if (pos == p.entries.size() || p.entries[pos].compare(key, row) != 0)
        corrupt("the index has no entry for a row being changed (index needs repair)", leaf);
    p.entries.erase(p.entries.begin() + static_cast<std::ptrdiff_t>(pos));
    dirty_[leaf] = true;
    if (p.entries.empty() && leaf != index_.rootPage) {
        removeChild(path, leaf);
        return;
    }
    if (!p.entries.empty()) propagate(path, leaf);
}

void IndexWriter::insertNow(const std::string& key, RowId row, bool allNull) {
    std::vector<Step> path;
    const std::uint32_t leaf = descend(key, row, path);
    IndexPage& p = load(leaf);
    const std::size_t pos = lowerBound(p, key, row);
    if (pos < p.entries.size() && p.entries[pos].compare(key, row) == 0)
        corrupt("the index already has an entry for a row being changed", leaf);
    if (unique_ && !allNull) {
        bool clash = hasEqualKey(leaf, pos, key);
        if (!clash && pos < p.entries.size()) clash = p.entries[pos].key == key;
        if (!clash && pos == p.entries.size()) {
            std::uint32_t next = p.nextPage;
            for (int hops = 0; next != 0 && hops < kMaxDepth; ++hops) {
                IndexPage& q = load(next);
                if (!q.entries.empty()) {
                    clash = q.entries.front().key == key;
                    break;
                }
                next = q.nextPage;
            }
        }
        if (clash)
            throw Error("The change would create a duplicate value in the unique index '" + name_ +
                            "' of table '" + table_.name + "'; nothing was changed",
                        ErrorKind::Constraint);
    }
    IndexPage& leafPage = load(leaf);
    IndexEntry e;
    e.key = key;
    e.row = row;
    leafPage.entries.insert(leafPage.entries.begin() + static_cast<std::ptrdiff_t>(pos),
                            std::move(e));
    dirty_[leaf] = true;
    propagate(path, leaf);
}

namespace {

bool changeBefore(const std::string& aKey, RowId aRow, const std::string& bKey, RowId bRow) {
    const int c = aKey.compare(bKey);
    if (c != 0) return c < 0;
    return aRow < bRow;
}

}  // namespace

// The largest (key, row) that still belongs below the leaf `path` leads to
// from `from`: the nearest node entry on the way down that bounds it (the
// smallest, should a damaged tree have them out of order). False when the
// leaf takes everything after `from` (the path ran along tails).
bool IndexWriter::upperBound(const std::vector<Step>& path, const Change& from, IndexEntry& bound) {
    bool bounded = false;
    for (const Step& step : path) {
        const IndexPage& p = load(step.page);
        if (step.childPos >= p.entries.size()) continue;
        const IndexEntry& e = p.entries[step.childPos];
        if (e.compare(from.key, from.row) < 0)
            continue;  // past the last entry: the last child takes all
        if (!bounded || e.compare(bound.key, bound.row) < 0) bound = e;
        bounded = true;
    }
    return bounded;
}

void IndexWriter::sortInIndexOrder(std::vector<Change>& changes) {
    std::sort(changes.begin(), changes.end(), [](const Change& a, const Change& b) {
        return changeBefore(a.key, a.row, b.key, b.row);
    });
}

void IndexWriter::applyRemovals() {
    auto& all = removals_;
    sortInIndexOrder(all);
    std::vector<Step> path;
    std::size_t i = 0;
    while (i < all.size()) {
        const std::uint32_t leaf = descend(all[i].key, all[i].row, path);
        IndexPage& p = load(leaf);
        // One pass over the leaf takes out every gathered entry it holds.
        std::vector<IndexEntry> kept;
        kept.reserve(p.entries.size());
        std::size_t next = i;
        for (IndexEntry& e : p.entries) {
            if (next < all.size()) {
                const int c = e.compare(all[next].key, all[next].row);
                if (c == 0) {
                    ++next;
                    continue;
                }
                if (c > 0) break;  // the entry sought lies before this one: missing
            }
            kept.push_back(std::move(e));
        }
        if (next == i || kept.size() + (next - i) != p.entries.size())
            corrupt("the index has no entry for a row being changed (index needs repair)", leaf);
        p.entries = std::move(kept);
        dirty_[leaf] = true;
        i = next;
        if (p.entries.empty() && leaf != index_.rootPage) {
            removeChild(path, leaf);
        } else if (!p.entries.empty()) {
            propagate(path, leaf);
        }
    }
    all.clear();
}

void IndexWriter::applyInsertions() {
    auto& all = insertions_;
    sortInIndexOrder(all);
    std::vector<Step> path;
    std::size_t i = 0;
    while (i < all.size()) {
        const std::uint32_t leaf = descend(all[i].key, all[i].row, path);
        IndexEntry bound;
        const bool bounded = upperBound(path, all[i], bound);
        std::size_t end = i + 1;
        while (end < all.size() && (!bounded || bound.compare(all[end].key, all[end].row) >= 0))
            ++end;
        // Merge the leaf's entries with the insertions that belong to it;
        // propagate() then splits it into as many pages as it needs.
        IndexPage& p = load(leaf);
        std::vector<IndexEntry> merged;
        merged.reserve(p.entries.size() + (end - i));
        std::size_t at = 0;
        for (std::size_t k = i; k < end; ++k) {
            const Change& c = all[k];
            while (at < p.entries.size() && p.entries[at].compare(c.key, c.row) < 0)
                merged.push_back(std::move(p.entries[at++]));
            const bool twice = k > i && !changeBefore(all[k - 1].key, all[k - 1].row, c.key, c.row);
            if (twice || (at < p.entries.size() && p.entries[at].compare(c.key, c.row) == 0))
                corrupt("the index already has an entry for a row being changed", leaf);
            IndexEntry e;
            e.key = c.key;
            e.row = c.row;
            merged.push_back(std::move(e));
        }
        while (at < p.entries.size()) merged.push_back(std::move(p.entries[at++]));
        p.entries = std::move(merged);
        dirty_[leaf] = true;
        i = end;
        propagate(path, leaf);
    }
    all.clear();
}

void IndexWriter::flush() {
    applyRemovals();
    applyInsertions();
    // Emptied pages not taken again become free in the global map when the
    // statement allows it (see PageWriter::releasePage).
    for (const std::uint32_t n : emptied_) pages_.releasePage(n);
    emptied_.clear();
    std::vector<std::uint8_t> zero(format_.pageSize, 0);
    for (auto& [n, isDirty] : dirty_) {
        if (!isDirty) continue;
        IndexPage& p = load(n);
        const ByteView old = pages_.page(n);
        const ByteView base = old.u8(0) == kIndexLeafPage || old.u8(0) == kIndexNodePage
                                  ? old
                                  : ByteView(zero.data(), zero.size(), n);
        std::vector<std::uint8_t> image = encodeIndexPage(p, base, format_);
        if (std::memcmp(image.data(), old.data(), image.size()) == 0) continue;
        ByteSpan dst = pages_.modify(n);
        std::memcpy(dst.data(), image.data(), image.size());
    }
    dirty_.clear();
}

}  // namespace jet
