// Changing index B-trees: removing and inserting entries.
//
// An IndexWriter edits one real index of a table for one statement. Pages
// are parsed once into entry lists, edited in memory and encoded back into
// the statement's PageWriter by flush(), with the prefix, entry bitmap and
// free space recomputed; a page whose encoding equals its old bytes is not
// touched. Inserting keeps entries in (key, row) order, splits a page that
// overflows (the first half goes to a new page linked before it, and the
// parent gets an entry for it; a full root is copied to a new page first so
// that the root page number never changes) and keeps every node entry an
// exact copy of the last entry below it. Removing a page's last entry takes
// the emptied page out of its parent, its level's chain and the index's map,
// and releases it (PageWriter::releasePage) unless a split of the same
// statement takes it again.
//
// A non-unique index gathers its changes and applies them in flush(), in
// index order and a leaf at a time: a statement that moves thousands of
// rows from one key to another (a month of rows changing one status) edits
// each leaf once instead of once per row. A unique index applies each
// change at once, so that its duplicate check sees the rows changed before
// it, row by row, as the statement's order gives them.
//
// Ownership: borrows the PageWriter and the definitions. One thread.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "format/index_page.h"
#include "write/writer.h"

namespace jet {

class IndexWriter {
  public:
    // `name` names the index in messages; `unique` refuses duplicate keys
    // (a primary key is unique whatever its flags say).
    IndexWriter(PageWriter& pages, const TableDef& table, const RealIndexDef& index,
                std::string name, bool unique);

    // Removes the entry (key, row); Corrupt when the index lacks it.
    void remove(const std::string& key, RowId row);
    // Inserts (key, row). For a unique index a key equal to another row's
    // is refused (kind Constraint) unless every key column is null.
    void insert(const std::string& key, RowId row, bool allNull);
    // Applies the gathered changes and encodes the changed pages into the
    // PageWriter.
    void flush();

  private:
    struct Step {
        std::uint32_t page;
        std::size_t childPos;  // entry index, or entries.size() for the tail
    };
    struct Change {
        std::string key;
        RowId row;
    };

    IndexPage& load(std::uint32_t n);
    std::uint32_t descend(const std::string& key, RowId row, std::vector<Step>& path);
    IndexEntry lastOf(std::uint32_t n);
    std::size_t entryAreaLimit() const;
    bool fits(const IndexPage& p) const;
    std::size_t entriesThatFit(const IndexPage& p, std::size_t from) const;
    void splitFront(std::vector<Step>& path, std::uint32_t n, std::size_t cut);
    bool upperBound(const std::vector<Step>& path, const Change& from, IndexEntry& bound);
    void removeNow(const std::string& key, RowId row);
    void insertNow(const std::string& key, RowId row, bool allNull);
    static void sortInIndexOrder(std::vector<Change>& changes);
    void applyRemovals();
    void applyInsertions();
    std::uint32_t newPage();
    void propagate(std::vector<Step>& path, std::uint32_t page);
    void removeChild(std::vector<Step>& path, std::uint32_t child);
    bool hasEqualKey(std::uint32_t leaf, std::size_t pos, const std::string& key);

    PageWriter& pages_;
    const TableDef& table_;
    const RealIndexDef& index_;
    std::string name_;
    bool unique_;
    const IndexPageFormat& format_;
    std::map<std::uint32_t, IndexPage> cache_;
    std::map<std::uint32_t, bool> dirty_;
    std::vector<Change> removals_, insertions_;  // gathered (non-unique index)
    std::vector<std::uint32_t> emptied_;         // out of the tree, not yet released
};

// An index page as upkeep writes it back, over a copy of `original` (the
// page's old bytes, or zeros for a new page): with Access's prefix where the
// page had one or the entries need it, otherwise whole, through
// writeIndexPage; page.prefixLength becomes the one written. Throws
// NotSupported when the entries do not fit.
std::vector<std::uint8_t> encodeIndexPage(IndexPage& page, ByteView original,
                                          const IndexPageFormat& format);
// Bytes the entries take in the entry area with Access's prefix.
std::size_t indexEntryAreaSize(const IndexPage& page, const IndexPageFormat& format);

}  // namespace jet
