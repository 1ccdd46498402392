// The engine's writer: changes rows of existing tables, all-or-nothing.
//
// A statement collects every page it changes in a PageWriter (copy on
// write over the storage's pages). Nothing reaches the file until
// commit(): the original images go to the rollback journal (journal.h),
// the changed pages are written in an order that keeps the file readable
// for readers that do not know the journal (new pages, then usage maps,
// then index pages, then row data with moved-row targets first, table
// definitions last), the file is flushed and the journal removed. A value
// that cannot be stored therefore fails the statement before anything is
// written. Pages whose bytes end up unchanged are not written at all.
//
// Rows are re-encoded from their parts (row image below), which keeps the
// bytes of every column the statement does not set: memo headers, unknown
// types and stale bytes of null fixed columns stay as they were.
//
// Ownership: a PageWriter borrows its Storage, which must outlive it.
// Threads: one thread at a time. The caller holds the file's write lock.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "format/field.h"
#include "format/row.h"
#include "format/storage.h"
#include "io/file_lock.h"

namespace jet {

// Per-statement figures, for tests and the benchmark.
struct WriteStats {
    long rowsRewritten = 0;
    long rowsMoved = 0;
    long indexEntriesChanged = 0;
    long pagesWritten = 0;
    long pagesAppended = 0;
};

// Copy-on-write page set of one statement.
class PageWriter {
  public:
    // Journaled in the storage's environment when it has one (storage
    // opened by path); a bare in-memory file is written without a journal.
    explicit PageWriter(Storage& storage);
    PageWriter(const PageWriter&) = delete;
    PageWriter& operator=(const PageWriter&) = delete;

    Storage& storage() { return storage_; }
    const Format& format() const { return storage_.format(); }
    std::uint32_t pageCount() const { return pageCount_; }

    // The page as this statement sees it.
    ByteView page(std::uint32_t n);
    // A modifiable image of the page (copied on first use).
    ByteSpan modify(std::uint32_t n);
    // Adds a zeroed page at the end of the file and returns its number.
    std::uint32_t appendPage();
    // Row data that a moved-row pointer will reference: written before the
    // pages that hold pointers.
    void markMoveTarget(std::uint32_t n) { moveTargets_.insert(n); }
    // A page that nothing references once this statement is written (an
    // emptied index page). commit() marks it free in the global map when the
    // statement claims no page, writing the global map last, after every
    // page that stopped pointing at it; otherwise the page stays marked in
    // use, which only leaks it.
    void releasePage(std::uint32_t n) { released_.push_back(n); }

    // Writes everything durably (see above). No-op when nothing changed.
    void commit();
    // Pages that differ from the file, ascending (for tests and statistics).
    std::vector<std::uint32_t> changedPages();
    // What this statement did so far (the pages once committed).
    WriteStats& stats() { return stats_; }

  private:
    int writeRank(std::uint32_t n, ByteView image) const;
    void freeReleasedPages();

    Storage& storage_;
    WriteStats stats_;
    std::uint32_t filePages_ = 0;
    std::uint32_t pageCount_ = 0;
    std::map<std::uint32_t, std::vector<std::uint8_t>> dirty_;
    // Pages read unchanged: the pager checks the file's size on every call,
    // the statement (which holds the write lock) needs it once per page.
    std::unordered_map<std::uint32_t, const std::uint8_t*> clean_;
    std::set<std::uint32_t> moveTargets_;
    std::vector<std::uint32_t> released_;
    bool globalMapLast_ = false;  // the global map page frees pages: write it last
};

// Usage maps as this statement sees them: the pages of a map.
std::vector<std::uint32_t> mapPages(PageWriter& w, std::uint32_t mapPointer);
// Sets or clears page `n` in a table or index map (not the global map).
void setMapBit(PageWriter& w, std::uint32_t mapPointer, std::uint32_t n, bool value);
// Appends a page for a new purpose: marks it in use in the global map and
// adds it to each of `ownerMaps`. The image starts zeroed.
std::uint32_t claimPage(PageWriter& w, const std::vector<std::uint32_t>& ownerMaps);

// Applies column changes to rows of a table and commits (autocommit).
// Returns the number of rows the statement matched. Every value is encoded
// and every index entry prepared before anything is written.
struct FieldChange {
    int position = 0;  // in TableDef::columns
    Value value;       // already converted to the column's type
};
// `stats`, when given, receives what the statement did.
std::int64_t updateTableRows(Storage& storage, const TableDef& table,
                             const std::vector<RowId>& rows,
                             const std::vector<FieldChange>& changes, WriteStats* stats = nullptr);

// Holds the write lock for one statement and replays a journal left by a
// crashed write. Read-only files take no lock (the write then fails).
class WriteSession {
  public:
    WriteSession(Env& env, const std::string& databasePath);

  private:
    FileLock lock_;
};

}  // namespace jet
