// Index B-tree pages: parsing one page and walking an index in key order.
//
// An index is a B-tree of leaf pages (type 0x04) and intermediate "node"
// pages (0x03), rooted at the page the table definition names. Leaves are
// linked in key order through prev/next; a node has one entry per child
// (a copy of that child's last entry) except its last child, the "tail".
// Entries inside a page are prefix-compressed and delimited by a bitmap.
// Everything inside an entry is big-endian.
//
// The walker reads pages through a caller-supplied function and owns
// nothing else; it is cheap to create and belongs to one thread. Every page
// number, offset and chain is checked: a damaged index gives a
// jet::Error(Corrupt), never a crash or an endless loop.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "format/bytes.h"
#include "format/storage.h"

namespace jet {

// Layout of index pages for one Jet version (offsets from the page start).
//
// | Field                                   | J3         | J4         |
// |-----------------------------------------|------------|------------|
// | type 0x03 node / 0x04 leaf              | 0x00       | 0x00       |
// | free space (page size - end of entries) | 0x02 (2)   | 0x02 (2)   |
// | TDEF page of the table                  | 0x04 (4)   | 0x04 (4)   |
// | previous page at this level             | 0x08 (4)   | 0x0C (4)   |
// | next page at this level                 | 0x0C (4)   | 0x10 (4)   |
// | tail child page (nodes)                 | 0x10 (4)   | 0x14 (4)   |
// | prefix length                           | 0x14 (1)   | 0x18 (2)   |
// | 0x01 on node pages, 0x00 on leaves      | 0x15 (1)   | 0x1A (1)   |
// | entry bitmap                            | 0x16 (226) | 0x1B (453) |
// | entry area                              | 0xF8       | 0x1E0      |
struct IndexPageFormat {
    std::size_t pageSize;
    std::size_t prevOffset, nextOffset, tailOffset;
    std::size_t prefixOffset, prefixWidth;
    std::size_t bitmapOffset, bitmapSize;
    std::size_t entriesOffset;

    static const IndexPageFormat& forJet(int jetVersion);  // 3 or 4
    // The longest prefix the prefix-length field holds (255 in Jet 3).
    std::size_t maxPrefix() const { return (std::size_t(1) << (8 * prefixWidth)) - 1; }
};

inline constexpr std::uint8_t kIndexNodePage = 0x03;
inline constexpr std::uint8_t kIndexLeafPage = 0x04;

// One entry: key bytes, the row it points at, and (node pages) its child.
struct IndexEntry {
    std::string key;
    RowId row;                // 3-byte page and 1-byte slot on disk
    std::uint32_t child = 0;  // node pages only

    // Index order: key bytes unsigned, then row page, then row slot.
    int compare(std::string_view otherKey, RowId otherRow) const;
};

struct IndexPage {
    std::uint32_t number = 0;
    bool leaf = true;
    std::uint32_t tdefPage = 0;
    std::uint32_t prevPage = 0;
    std::uint32_t nextPage = 0;
    std::uint32_t tailPage = 0;  // 0 = none
    std::size_t prefixLength = 0;
    std::size_t freeSpace = 0;   // as the header says
    std::size_t entryBytes = 0;  // bytes the stored entries take in the entry area
    std::vector<IndexEntry> entries;
};

// Parses one index page (the whole page, `pageSize` bytes). Throws
// jet::Error(Corrupt) on a wrong type byte, a prefix or entry that overruns
// the page, or an entry too short for its pointers.
IndexPage parseIndexPage(ByteView page, std::uint32_t number, const IndexPageFormat& format);

// Where the two fields every index page has in the same place sit.
inline constexpr std::size_t kIndexFreeSpaceOffset = 0x02;  // 2 bytes
inline constexpr std::size_t kIndexOwnerOffset = 0x04;      // 4 bytes: the table's TDEF page

// Sizes of an entry's pointers after its key: the row (3-byte page, 1-byte
// slot) on every page, the child page on node pages; both big-endian.
inline constexpr std::size_t kIndexRowPointerSize = 4;
inline constexpr std::size_t kIndexChildPointerSize = 4;

// Bytes the entries take in the entry area when stored with `prefixLength`
// (every entry after the first leaves out that many leading bytes).
std::size_t storedEntryBytes(const std::vector<IndexEntry>& entries, bool leaf,
                             std::size_t prefixLength);

// The prefix Access gives a page: the leading key bytes its first and last
// entries share (the entries between, being sorted, share them too), never
// the pointers behind the key, and no longer than the format's prefix field
// can hold.
std::size_t sharedKeyPrefix(const IndexPage& p, const IndexPageFormat& format);

// What writeIndexPage keeps of the bytes already in the buffer.
struct IndexPageKeep {
    // The byte after the prefix length: 1 on Access's node pages and 0 on
    // leaves, 0 on Jackcess's nodes too. Kept unless the page changes kind
    // (or was no index page before).
    bool nodeMarker = false;
    // The entry area past the last entry, where Access leaves old bytes.
    bool unusedBytes = false;
};

// Writes `p` into an index page buffer: type, free space, owner, links,
// tail, prefix, bitmap and entries. Bytes this format does not explain are
// left as they are, and the rest as `keep` says (by default the unused entry
// area is zeroed and the node marker written). p.prefixLength must be
// shared by all entries (sharedKeyPrefix() gives Access's choice). Throws
// jet::Error(InvalidArgument) when the entries do not fit or the prefix is
// not common to them.
void writeIndexPage(ByteSpan page, const IndexPage& p, const IndexPageFormat& format,
                    IndexPageKeep keep = {});

// Returns the bytes of a page by number; should throw jet::Error for a
// page number outside the file. The view must stay valid until the next call.
using PageSource = std::function<ByteView(std::uint32_t page)>;

// A PageSource over a Pager; the pager must outlive it.
PageSource pagerSource(Pager& pager);

// Reads an index in key order along its leaf chain.
//
//   IndexCursor c(pages, root, IndexPageFormat::forJet(4));
//   c.seekFirst();                        // or c.seek(key) for the first entry >= key
//   while (c.next()) use(c.entry());
//
// The cursor checks that entries rise strictly in index order and that no
// leaf is visited twice.
class IndexCursor {
  public:
    IndexCursor(PageSource pages, std::uint32_t rootPage, const IndexPageFormat& format);

    void seekFirst();
    // Positions before the first entry whose (key, row) >= (key, row).
    void seek(std::string_view key, RowId row = {});
    // Advances to the next entry; false at the end.
    bool next();
    const IndexEntry& entry() const { return page_.entries.at(current_); }

    // Visits every entry after the current one, in order, and leaves the
    // cursor at the end. Faster than next() for long walks: entries are
    // handed over as views (valid during the call) instead of being built.
    using EntryVisitor = std::function<void(std::string_view key, RowId row)>;
    void forEachRemaining(const EntryVisitor& visit);

  private:
    IndexPage load(std::uint32_t number);
    void descend(std::string_view key, RowId row, bool first);

    PageSource pages_;
    std::uint32_t root_;
    const IndexPageFormat* format_;
    std::uint32_t tdefPage_ = 0;
    IndexPage page_;
    std::size_t pos_ = 0;      // next entry of page_ to return
    std::size_t current_ = 0;  // the entry next() returned last
    bool started_ = false;
    bool haveLast_ = false;        // an entry was returned since the last seek
    bool returnedOnPage_ = false;  // ... and it is page_.entries[current_]
    IndexEntry last_;              // else: the last one returned, from an earlier page
    std::unordered_set<std::uint32_t> visited_;
};

// Every entry of an index in order (convenience over IndexCursor).
std::vector<IndexEntry> readIndex(const PageSource& pages, std::uint32_t rootPage,
                                  const IndexPageFormat& format);

}  // namespace jet
