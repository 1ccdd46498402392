#include "sql/select.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <numeric>
#include <optional>

#include "format/index_page.h"
#include "index/collation.h"
#include "index/index_key.h"
#include "sql/eval.h"

namespace jet::sql {

namespace {

bool sameName(const std::string& a, const std::string& b) {
    return a == b || foldName(utf8ToUtf16(a)) == foldName(utf8ToUtf16(b));
}

// Maps the column names of a statement to slots: positions of the table's
// columns that the executor decodes, in first-use order.
class Binder {
  public:
    Binder(const TableDef& def, std::string tableAsWritten)
        : def_(def), tableAsWritten_(std::move(tableAsWritten)) {}

    int position(const ColumnRef& ref) const {
        if (!ref.table.empty() && !sameName(ref.table, tableAsWritten_) &&
            !sameName(ref.table, def_.name))
            throw Error("Unknown table '" + ref.table + "' in column reference at position " +
                            std::to_string(ref.pos + 1) + " (the statement reads '" + def_.name +
                            "')",
                        ErrorKind::NotFound);
        try {
            return def_.columnIndex(ref.column);
        } catch (const Error& e) {
            if (e.kind() != ErrorKind::NotFound) throw;
            throw Error("Unknown column '" + ref.column + "' at position " +
                            std::to_string(ref.pos + 1) + " (table '" + def_.name + "')",
                        ErrorKind::NotFound);
        }
    }
    int slot(const ColumnRef& ref) { return slotOfPosition(position(ref)); }
    int slotOfPosition(int pos) {
        auto it = std::find(positions_.begin(), positions_.end(), pos);
        if (it != positions_.end()) return static_cast<int>(it - positions_.begin());
        positions_.push_back(pos);
        return static_cast<int>(positions_.size() - 1);
    }
    const std::vector<int>& positions() const { return positions_; }

  private:
    const TableDef& def_;
    std::string tableAsWritten_;
    std::vector<int> positions_;
};

struct OrderKey {
    int slot = 0;
    int position = 0;
    bool descending = false;
};

// The part of a cursor shared by both strategies: metadata and projection.
class CursorBase : public Cursor {
  public:
    const std::vector<ResultColumn>& columns() const override { return columns_; }
    const std::vector<Value>& row() const override {
        if (!positioned_) throw Error("The cursor is not on a row", ErrorKind::InvalidArgument);
        return row_;
    }
    // The result's columns and, for each, the slot it shows.
    void setShape(std::vector<ResultColumn> columns, std::vector<int> outputSlots) {
        columns_ = std::move(columns);
        outputSlots_ = std::move(outputSlots);
    }

  protected:
    // Fills row() from a row of slots that is not needed afterwards: values
    // move instead of copying (a slot shown twice is copied for its first use).
    void projectFrom(Value* slots) {
        row_.resize(outputSlots_.size());
        for (std::size_t i = 0; i < outputSlots_.size(); ++i) {
            const int s = outputSlots_[i];
            const bool usedAgain =
                std::find(outputSlots_.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                          outputSlots_.end(), s) != outputSlots_.end();
            row_[i] = usedAgain ? slots[s] : std::move(slots[s]);
        }
        positioned_ = true;
    }

    std::vector<ResultColumn> columns_;
    std::vector<int> outputSlots_;
    std::vector<Value> row_;
    bool positioned_ = false;
};

// Rows already read, filtered and ordered.
class MaterializedCursor : public CursorBase {
  public:
    std::vector<std::vector<Value>> rows_;

    bool next() override {
        if (at_ >= rows_.size()) {
            positioned_ = false;
            return false;
        }
        projectFrom(rows_[at_].data());
        // Each row is shown once: give its memory back early.
        std::vector<Value>().swap(rows_[at_]);
        ++at_;
        return true;
    }

  private:
    std::size_t at_ = 0;
};

// Rows in index order. The index is walked and rows are read and filtered
// one at a time as the caller asks, so the first rows cost only the first
// index pages; entries whose key cannot hold the LIKE text are skipped
// without reading their row. Once the first screenfuls are out, the rest
// of the walk is done at once: when many rows remain, one sequential scan
// decodes them faster than reading each row by its id, and the rows are
// then given out in the walk's order.
//
// An index that ignores NULLs has no entry for a row whose key columns are
// all NULL; those rows (`absent`, in row-id order) are merged into the walk
// where their all-NULL key `absentKey` places them, so that the cursor gives
// every row of the table, as a scan would.
class IndexOrderCursor : public CursorBase {
  public:
    IndexOrderCursor(Storage& storage, const TableDef& def, SelectStmt stmt,
                     std::vector<Value> params, std::vector<int> positions, std::uint32_t rootPage,
                     bool reverse, std::vector<std::string> needles, std::vector<RowId> absent,
                     std::string absentKey)
        : storage_(storage),
          def_(def),
          stmt_(std::move(stmt)),
          params_(std::move(params)),
          positions_(std::move(positions)),
          walk_([&pager = storage.pager()](std::uint32_t n) { return pager.page(n); }, rootPage,
                IndexPageFormat::forJet(storage.format().version)),
          reverse_(reverse),
          needles_(std::move(needles)),
          absent_(std::move(absent)),
          absentKey_(std::move(absentKey)) {
        walk_.seekFirst();
    }

    bool next() override {
        for (;;) {
            if (!listed_ && (reverse_ || emitted_ >= kLazyRows)) listRest();
            if (listed_) {
                if (at_ >= list_.size()) break;
                const std::size_t i = at_++;
                if (state_[i] == kMatch) {
                    // The row was projected when it was read: hand it over
                    // whole and free the one it replaces.
                    row_.swap(listedRows_[i]);
                    std::vector<Value>().swap(listedRows_[i]);
                    positioned_ = true;
                    return true;
                }
                if (state_[i] == kUnread && readAndTest(list_[i])) return true;
                continue;
            }
            RowId id;
            if (!nextCandidate(id)) break;
            if (readAndTest(id)) {
                ++emitted_;
                return true;
            }
        }
        positioned_ = false;
        return false;
    }

  private:
    static constexpr std::size_t kLazyRows = 100;
    enum State : std::uint8_t { kUnread, kMatch, kNoMatch };

    SortOrder order() const { return sortOrderForJet(storage_.format().version); }

    bool test(std::vector<Value>& values) const {
        const EvalContext ctx{&values, &params_, order()};
        return !stmt_.where || evalTruth(*stmt_.where, ctx) == Truth::True;
    }

    bool readAndTest(RowId id) {
        slots_ = storage_.readRow(def_, id, positions_);
        if (!test(slots_)) return false;
        projectFrom(slots_.data());
        return true;
    }

    bool mayMatch(std::string_view key) const {
        if (needles_.empty()) return true;
        // Only a present ascending value (flag 0x7F) can satisfy a LIKE; its
        // primary bytes run up to the first 0x01.
        if (key.empty() || static_cast<std::uint8_t>(key[0]) != 0x7F) return false;
        const std::string_view body = key.substr(1);
        const std::string_view primary = body.substr(0, std::min(body.size(), body.find('\x01')));
        for (const auto& needle : needles_)
            if (primary.find(needle) == std::string_view::npos) return false;
        return true;
    }

    // Whether the next absent row comes before the index entry (key, row).
    bool absentBefore(std::string_view key, RowId row) const {
        if (nextAbsent_ >= absent_.size()) return false;
        IndexEntry e;
        e.key.assign(key);
        e.row = row;
        return e.compare(absentKey_, absent_[nextAbsent_]) > 0;
    }

    bool nextCandidate(RowId& id) {
        for (;;) {
            if (!entryPending_) {
                entryPending_ = true;
                walkHasEntry_ = walk_.next();
            }
            const bool takeAbsent =
                nextAbsent_ < absent_.size() &&
                (!walkHasEntry_ || absentBefore(walk_.entry().key, walk_.entry().row));
            if (takeAbsent) {
                const RowId r = absent_[nextAbsent_++];
                if (mayMatch(absentKey_)) {
                    id = r;
                    return true;
                }
                continue;
            }
            if (!walkHasEntry_) return false;
            entryPending_ = false;
            if (mayMatch(walk_.entry().key)) {
                id = walk_.entry().row;
                return true;
            }
        }
    }

    // Finishes the walk into list_ and, when the remaining candidates are a
    // large part of the table, reads them all in one scan.
    void listRest() {
        listed_ = true;
        auto add = [&](std::string_view key, RowId id) {
            while (absentBefore(key, id)) {
                const RowId r = absent_[nextAbsent_++];
                if (mayMatch(absentKey_)) list_.push_back(r);
            }
            if (mayMatch(key)) list_.push_back(id);
        };
        if (!entryPending_ || walkHasEntry_) {
            if (entryPending_) add(walk_.entry().key, walk_.entry().row);
            walk_.forEachRemaining(add);
        }
        for (; nextAbsent_ < absent_.size(); ++nextAbsent_)
            if (mayMatch(absentKey_)) list_.push_back(absent_[nextAbsent_]);
        if (reverse_) std::reverse(list_.begin(), list_.end());
        state_.assign(list_.size(), kUnread);
        // Reading a row by id costs about three times a scan's step.
        if (list_.size() < 1000 || list_.size() * 3 < def_.rowCountHint) return;
        // Candidates in row-id order: counted by page, then by slot within
        // each page (few rows share a page). A page past the end of the file
        // is left to the row reader, which reports the damage.
        std::uint32_t maxPage = 0;
        for (const RowId& r : list_) maxPage = std::max(maxPage, r.page);
        if (maxPage >= storage_.pager().pageCount()) return;
        listedRows_.resize(list_.size());
        std::vector<std::uint32_t> start(std::size_t{maxPage} + 2, 0);
        for (const RowId& r : list_) ++start[r.page + 1];
        for (std::size_t p = 1; p < start.size(); ++p) start[p] += start[p - 1];
        std::vector<std::uint32_t> byId(list_.size());
        {
            std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
            for (std::uint32_t i = 0; i < list_.size(); ++i) byId[fill[list_[i].page]++] = i;
        }
        for (std::size_t p = 0; p + 1 < start.size(); ++p)
            if (start[p + 1] - start[p] > 1)
                std::sort(byId.begin() + start[p], byId.begin() + start[p + 1],
                          [&](std::uint32_t a, std::uint32_t b) { return list_[a] < list_[b]; });
        // The scan goes in row-id order: merge it with the sorted candidates.
        // A candidate the scan does not meet stays kUnread and is read by id.
        // Rows that are not candidates are passed over undecoded.
        std::size_t k = 0;
        auto wanted = [&](RowId rid) {
            while (k < byId.size() && list_[byId[k]] < rid) ++k;
            return k < byId.size() && list_[byId[k]] == rid;
        };
        storage_.scan(
            def_, positions_,
            [&](RowId rid, std::vector<Value>& values) {
                while (k < byId.size() && list_[byId[k]] == rid) {
                    const std::uint32_t i = byId[k++];
                    if (test(values)) {
                        state_[i] = kMatch;
                        std::vector<Value>& out = listedRows_[i];
                        out.reserve(outputSlots_.size());
                        for (std::size_t j = 0; j < outputSlots_.size(); ++j) {
                            Value& v = values[outputSlots_[j]];
                            const bool usedAgain =
                                std::find(outputSlots_.begin() + static_cast<std::ptrdiff_t>(j) + 1,
                                          outputSlots_.end(),
                                          outputSlots_[j]) != outputSlots_.end();
                            out.push_back(usedAgain ? v : std::move(v));
                        }
                    } else {
                        state_[i] = kNoMatch;
                    }
                }
                return k < byId.size();
            },
            wanted);
    }

    Storage& storage_;
    const TableDef& def_;
    SelectStmt stmt_;  // owns the bound WHERE
    std::vector<Value> params_;
    std::vector<int> positions_;
    IndexCursor walk_;
    bool reverse_;
    std::vector<std::string> needles_;
    std::vector<RowId> absent_;
    std::string absentKey_;
    std::size_t nextAbsent_ = 0;
    bool entryPending_ = false;  // walk_.entry() is read but not yet given out
    bool walkHasEntry_ = false;
    std::size_t emitted_ = 0;
    bool listed_ = false;
    std::vector<RowId> list_;
    std::vector<State> state_;
    std::vector<std::vector<Value>> listedRows_;  // per list_ entry: its result row, once read
    std::size_t at_ = 0;
    std::vector<Value> slots_;
};

// An index whose leading columns give the ORDER BY, walked forwards or
// backwards (every direction flipped).
struct IndexChoice {
    const IndexDef* index = nullptr;
    bool reverse = false;
};

std::optional<IndexChoice> chooseIndex(const TableDef& def, const std::vector<OrderKey>& order) {
    std::optional<IndexChoice> best;
    for (const IndexDef& ix : def.indexes) {
        if (ix.columnPositions.size() < order.size() || ix.rootPage == 0) continue;
        if (ix.realIndex < 0 || static_cast<std::size_t>(ix.realIndex) >= def.realIndexes.size())
            continue;
        const RealIndexDef& real = def.realIndexes[ix.realIndex];
        bool same = true, flipped = true;
        for (std::size_t i = 0; i < order.size() && (same || flipped); ++i) {
            if (ix.columnPositions[i] != order[i].position || i >= real.ascending.size()) {
                same = flipped = false;
                break;
            }
            const bool indexDescending = !real.ascending[i];
            same = same && indexDescending == order[i].descending;
            flipped = flipped && indexDescending != order[i].descending;
        }
        if (!same && !flipped) continue;
        // Fewest key columns first: its entries are the shortest to read.
        if (!best || ix.columnPositions.size() < best->index->columnPositions.size())
            best = IndexChoice{&ix, !same};
    }
    return best;
}

// The top-level conjuncts of a WHERE (the operands of its ANDs).
std::vector<const Expr*> conjunctsOf(const Expr* where) {
    std::vector<const Expr*> out;
    std::vector<const Expr*> stack{where};
    while (!stack.empty()) {
        const Expr* e = stack.back();
        stack.pop_back();
        if (!e) continue;
        if (e->kind == ExprKind::And) {
            stack.push_back(e->right.get());
            stack.push_back(e->left.get());
        } else {
            out.push_back(e);
        }
    }
    return out;
}

// Needles that every index key of a row matching the WHERE must contain:
// the primary sort bytes of the literal runs of a constant LIKE on the
// index's first (ascending text) column. A key keeps the primary bytes of
// all characters, in order, before its first 0x01 byte; a matching text
// holds each run, so its key holds the run's primary bytes. Only for the
// Jet 4 order, whose keys have that shape (Jet 3 keys end their primary
// bytes differently), and only when every character of a run has a code:
// a guessed code could rule out a row that matches.
std::vector<std::string> keyNeedles(const Expr* where, int firstSlot, SortOrder order) {
    std::vector<std::string> needles;
    if (order != SortOrder::General4) return needles;
    for (const Expr* e : conjunctsOf(where)) {
        if (e->kind != ExprKind::Like || e->negated || !e->like ||
            e->left->kind != ExprKind::Column || e->left->slot != firstSlot)
            continue;
        for (std::u16string run : e->like->literalRuns()) {
            // Trailing blanks of a text are not in its key.
            while (!run.empty() && run.back() == u' ') run.pop_back();
            if (run.empty()) continue;
            std::string key;
            try {
                key = textSortKey(run, order);
            } catch (const Error&) {
                return {};  // a character without a code: no filter at all
            }
            key.resize(std::min(key.size(), key.find('\x01')));
            if (!key.empty()) needles.push_back(std::move(key));
        }
    }
    return needles;
}

bool isText(ColumnType t) { return t == ColumnType::Text || t == ColumnType::Memo; }

thread_local AccessPath lastPath = AccessPath::Scan;

// Appends the key segment that every row whose column equals `v` has in an
// index on that column. False when that cannot be known exactly: a type
// pairing whose equality is not key equality (numbers of another kind,
// floating point, dates), or a text character without a sort code.
bool appendEqualityKey(std::string& key, const Value& v, const ColumnDef& column, bool descending,
                       SortOrder order) {
    const ColumnType type = column.column.type;
    if (type == ColumnType::Text) {
        if (!std::holds_alternative<std::u16string>(v.v)) return false;
    } else if (type == ColumnType::Byte || type == ColumnType::Integer ||
               type == ColumnType::Long) {
        const auto* i = std::get_if<std::int64_t>(&v.v);
        if (!i) return false;
        const std::int64_t lo = type == ColumnType::Byte ? 0
                                : type == ColumnType::Integer
                                    ? -32768
                                    : std::numeric_limits<std::int32_t>::min();
        const std::int64_t hi = type == ColumnType::Byte ? 255
                                : type == ColumnType::Integer
                                    ? 32767
                                    : std::numeric_limits<std::int32_t>::max();
        if (*i < lo || *i > hi) return false;
    } else {
        return false;
    }
    try {
        appendIndexKey(key, v, type, descending, order);
    } catch (const Error&) {
        return false;
    }
    return true;
}

// An index every column of which the WHERE pins with `=` to a constant, and
// the key those constants give. `empty`: a constant is NULL, so no row can
// satisfy the WHERE (a comparison with NULL is never true).
struct IndexSeek {
    const IndexDef* index = nullptr;
    std::string key;
    bool empty = false;
    // A range instead: the entries from `key` up to (not including) `upper`.
    bool range = false;
    std::string upper;
};

std::optional<IndexSeek> chooseSeek(const TableDef& def, const Expr* where,
                                    const std::vector<int>& slotPositions,
                                    const std::vector<Value>& params, SortOrder order) {
    if (!where) return std::nullopt;
    // Column position -> the first constant a conjunct equates it with.
    std::vector<std::pair<int, const Value*>> pinned;
    for (const Expr* e : conjunctsOf(where)) {
        if (e->kind != ExprKind::Compare || e->op != CompareOp::Eq) continue;
        const Expr* column = e->left.get();
        const Expr* constant = e->right.get();
        if (column->kind != ExprKind::Column) std::swap(column, constant);
        if (column->kind != ExprKind::Column || column->slot < 0 ||
            static_cast<std::size_t>(column->slot) >= slotPositions.size())
            continue;
        const Value* v = nullptr;
        if (constant->kind == ExprKind::Literal) {
            v = &constant->value;
        } else if (constant->kind == ExprKind::Parameter && constant->paramIndex >= 0 &&
                   static_cast<std::size_t>(constant->paramIndex) < params.size()) {
            v = &params[constant->paramIndex];
        } else {
            continue;
        }
        pinned.emplace_back(slotPositions[column->slot], v);
    }
    auto constantFor = [&](int position) -> const Value* {
        for (const auto& [p, v] : pinned)
            if (p == position) return v;
        return nullptr;
    };
    std::optional<IndexSeek> best;
    for (const IndexDef& ix : def.indexes) {
        if (ix.rootPage == 0 || ix.columnPositions.empty() || ix.realIndex < 0 ||
            static_cast<std::size_t>(ix.realIndex) >= def.realIndexes.size())
            continue;
        const RealIndexDef& real = def.realIndexes[ix.realIndex];
        if (real.ascending.size() != ix.columnPositions.size()) continue;
        IndexSeek seek{&ix, {}, false, false, {}};
        bool usable = true;
        for (std::size_t k = 0; k < ix.columnPositions.size() && usable; ++k) {
            const Value* v =
                ix.columnPositions[k] < 0 ? nullptr : constantFor(ix.columnPositions[k]);
            if (!v) {
                usable = false;
            } else if (v->isNull()) {
                seek.empty = true;
            } else {
                usable = appendEqualityKey(seek.key, *v, def.columns[ix.columnPositions[k]],
                                           !real.ascending[k], order);
            }
        }
        if (!usable) continue;
        if (seek.empty) return seek;
        // A unique index finds at most one row; otherwise the longest key.
        const bool unique = (ix.flags & kIndexUnique) != 0;
        const bool bestUnique = best && (best->index->flags & kIndexUnique) != 0;
        if (!best || (unique && !bestUnique) ||
            (unique == bestUnique &&
             ix.columnPositions.size() > best->index->columnPositions.size()))
            best = std::move(seek);
    }
    return best;
}

// A date range that the WHERE sets with a lower and an upper bound
// (>=, >, <=, <) on the first column of an ascending index, constants of
// the column's own kind: the index entries between the bounds hold every
// row that can match. The bounds are widened by one step of the double so
// that -0 and +0, and a strict bound, fall inside; the WHERE still decides
// each row. Only for Date/Time columns, whose keys sort as their values.
std::optional<IndexSeek> chooseRange(const TableDef& def, const Expr* where,
                                     const std::vector<int>& slotPositions,
                                     const std::vector<Value>& params, SortOrder order) {
    if (!where) return std::nullopt;
    struct Bounds {
        std::optional<double> lo, hi;
    };
    std::map<int, Bounds> bounds;  // column position -> the tightest constant bounds
    for (const Expr* e : conjunctsOf(where)) {
        if (e->kind != ExprKind::Compare || e->negated) continue;
        CompareOp op = e->op;
        const Expr* column = e->left.get();
        const Expr* constant = e->right.get();
        if (column->kind != ExprKind::Column) {
            std::swap(column, constant);
            // 5 < x reads as x > 5.
            op = op == CompareOp::Lt   ? CompareOp::Gt
                 : op == CompareOp::Gt ? CompareOp::Lt
                 : op == CompareOp::Le ? CompareOp::Ge
                 : op == CompareOp::Ge ? CompareOp::Le
                                       : op;
        }
        if (column->kind != ExprKind::Column || column->slot < 0 ||
            static_cast<std::size_t>(column->slot) >= slotPositions.size())
            continue;
        const Value* v = nullptr;
        if (constant->kind == ExprKind::Literal)
            v = &constant->value;
        else if (constant->kind == ExprKind::Parameter && constant->paramIndex >= 0 &&
                 static_cast<std::size_t>(constant->paramIndex) < params.size())
            v = &params[constant->paramIndex];
        const auto* date = v ? std::get_if<DateTime>(&v->v) : nullptr;
        if (!date || std::isnan(date->days)) continue;
        const int position = slotPositions[column->slot];
        if (def.columns[position].column.type != ColumnType::DateTime) continue;
        Bounds& b = bounds[position];
        if (op == CompareOp::Ge || op == CompareOp::Gt)
            b.lo = b.lo ? std::max(*b.lo, date->days) : date->days;
        else if (op == CompareOp::Le || op == CompareOp::Lt)
            b.hi = b.hi ? std::min(*b.hi, date->days) : date->days;
        else if (op == CompareOp::Eq) {
            b.lo = b.lo ? std::max(*b.lo, date->days) : date->days;
            b.hi = b.hi ? std::min(*b.hi, date->days) : date->days;
        }
    }
    for (const IndexDef& ix : def.indexes) {
        if (ix.rootPage == 0 || ix.columnPositions.empty() || ix.realIndex < 0 ||
            static_cast<std::size_t>(ix.realIndex) >= def.realIndexes.size())
            continue;
        const RealIndexDef& real = def.realIndexes[ix.realIndex];
        if (real.ascending.size() != ix.columnPositions.size() || !real.ascending[0]) continue;
        auto it = bounds.find(ix.columnPositions[0]);
        if (it == bounds.end() || !it->second.lo || !it->second.hi) continue;
        IndexSeek seek{&ix, {}, false, true, {}};
        const double inf = std::numeric_limits<double>::infinity();
        if (*it->second.lo > *it->second.hi) {
            seek.empty = true;
            return seek;
        }
        try {
            appendIndexKey(seek.key, Value(DateTime{std::nextafter(*it->second.lo, -inf)}),
                           ColumnType::DateTime, false, order);
            appendIndexKey(seek.upper, Value(DateTime{std::nextafter(*it->second.hi, inf)}),
                           ColumnType::DateTime, false, order);
        } catch (const Error&) {
            continue;
        }
        return seek;
    }
    return std::nullopt;
}

// The rows the seek finds, in storage order (row id order, as a scan
// visits them), with the WHERE applied to each: the key narrows the search,
// the WHERE still decides. An entry whose row was deleted is passed over.
template <class Visit>
void forEachSeekRow(Storage& storage, const TableDef& def, const IndexSeek& seek,
                    const std::vector<int>& positions, const Expr& where,
                    const std::vector<Value>& params, SortOrder order, Visit visit) {
    lastPath = seek.range ? AccessPath::IndexRange : AccessPath::IndexSeek;
    if (seek.empty) return;
    std::vector<RowId> ids;
    IndexCursor cursor(pagerSource(storage.pager()), seek.index->rootPage,
                       IndexPageFormat::forJet(storage.format().version));
    cursor.seek(seek.key);
    if (seek.range) {
        while (cursor.next() && cursor.entry().key < seek.upper) ids.push_back(cursor.entry().row);
    } else {
        while (cursor.next() && cursor.entry().key == seek.key) ids.push_back(cursor.entry().row);
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    for (const RowId& id : ids) {
        std::vector<Value> values;
        try {
            values = storage.readRow(def, id, positions);
        } catch (const Error& e) {
            if (e.kind() != ErrorKind::NotFound) throw;
            continue;
        }
        const EvalContext ctx{&values, &params, order};
        if (evalTruth(where, ctx) == Truth::True) visit(id, values);
    }
}

// Orders materialized rows by the ORDER BY keys. Text sorts by the
// collation key (Access's index order); NULL first ascending. stable_sort
// keeps storage order among equals.
void sortRows(std::vector<std::vector<Value>>& rows, const TableDef& def,
              const std::vector<OrderKey>& orderKeys, SortOrder order) {
    if (orderKeys.empty()) return;
    std::vector<std::vector<std::string>> keys(orderKeys.size());
    for (std::size_t k = 0; k < orderKeys.size(); ++k) {
        if (!isText(def.columns[orderKeys[k].position].column.type)) continue;
        keys[k].resize(rows.size());
        for (std::size_t r = 0; r < rows.size(); ++r)
            if (auto* s = std::get_if<std::u16string>(&rows[r][orderKeys[k].slot].v))
                keys[k][r] = textCompareKey(*s, order);
    }
    std::vector<std::size_t> index(rows.size());
    std::iota(index.begin(), index.end(), 0);
    std::stable_sort(index.begin(), index.end(), [&](std::size_t a, std::size_t b) {
        for (std::size_t k = 0; k < orderKeys.size(); ++k) {
            const Value& va = rows[a][orderKeys[k].slot];
            const Value& vb = rows[b][orderKeys[k].slot];
            int c;
            if (va.isNull() || vb.isNull()) {
                c = va.isNull() == vb.isNull() ? 0 : (va.isNull() ? -1 : 1);
            } else if (!keys[k].empty()) {
                c = keys[k][a].compare(keys[k][b]);
            } else {
                c = *compareValues(va, vb, order);
            }
            if (c != 0) return orderKeys[k].descending ? c > 0 : c < 0;
        }
        return false;
    });
    std::vector<std::vector<Value>> sorted;
    sorted.reserve(rows.size());
    for (std::size_t i : index) sorted.push_back(std::move(rows[i]));
    rows = std::move(sorted);
}

}  // namespace

std::unique_ptr<Cursor> runSelect(Storage& storage, SelectStmt stmt,
                                  const std::vector<Value>& params) {
    checkParamCount(stmt.paramCount, params);
    const TableDef& def = storage.tableDef(stmt.table);
    const SortOrder order = sortOrderForJet(storage.format().version);
    Binder binder(def, stmt.table);

    std::vector<ResultColumn> columns;
    std::vector<int> outputSlots;
    auto addOutput = [&](int position, const std::string& name) {
        const Column& c = def.columns[position].column;
        columns.push_back(ResultColumn{name, c.type, c.size, c.autoNumber});
        outputSlots.push_back(binder.slotOfPosition(position));
    };
    if (stmt.star) {
        for (std::size_t i = 0; i < def.columns.size(); ++i)
            addOutput(static_cast<int>(i), def.columns[i].column.name);
    } else {
        for (const ColumnRef& ref : stmt.columns) addOutput(binder.position(ref), ref.column);
    }
    std::vector<OrderKey> orderKeys;
    for (const OrderItem& item : stmt.orderBy) {
        const int pos = binder.position(item.ref);
        orderKeys.push_back(OrderKey{binder.slotOfPosition(pos), pos, item.descending});
    }
    if (stmt.where) {
        bindColumns(*stmt.where, [&](const ColumnRef& r) { return binder.slot(r); });
        prepare(*stmt.where, params, order);
    }
    const std::vector<int> positions = binder.positions();
    // An equality on a whole index key finds its few rows directly; that
    // beats walking an index for the order.
    const std::optional<IndexSeek> seek =
        chooseSeek(def, stmt.where.get(), positions, params, order);

    if (!orderKeys.empty() && !seek) {
        if (auto choice = chooseIndex(def, orderKeys)) {
            lastPath = AccessPath::IndexOrder;
            std::vector<std::string> needles;
            const int firstPos = choice->index->columnPositions[0];
            if (stmt.where && isText(def.columns[firstPos].column.type) &&
                def.realIndexes[choice->index->realIndex].ascending[0]) {
                // The slot of the first key column, if the WHERE reads it.
                auto it = std::find(positions.begin(), positions.end(), firstPos);
                if (it != positions.end())
                    needles = keyNeedles(stmt.where.get(), static_cast<int>(it - positions.begin()),
                                         order);
            }
            // Rows an ignore-nulls index leaves out: every key column NULL.
            const RealIndexDef& real = def.realIndexes[choice->index->realIndex];
            std::vector<RowId> absent;
            std::string absentKey;
            if (real.flags & kIndexIgnoreNulls) {
                std::vector<int> keyPositions = choice->index->columnPositions;
                std::vector<KeyColumn> keyColumns;
                bool nullable = true;
                for (std::size_t k = 0; k < keyPositions.size(); ++k) {
                    if (keyPositions[k] < 0) nullable = false;
                    if (!nullable) break;
                    const ColumnDef& c = def.columns[static_cast<std::size_t>(keyPositions[k])];
                    if (c.column.type == ColumnType::Boolean) nullable = false;  // never NULL
                    keyColumns.push_back(KeyColumn{c.column.type, !real.ascending[k], c.scale});
                }
                if (nullable) {
                    absentKey = indexKey(std::vector<Value>(keyColumns.size()), keyColumns, order);
                    storage.scan(def, keyPositions, [&](RowId id, std::vector<Value>& values) {
                        if (std::all_of(values.begin(), values.end(),
                                        [](const Value& v) { return v.isNull(); }))
                            absent.push_back(id);
                        return true;
                    });
                }
            }
            auto cursor = std::make_unique<IndexOrderCursor>(
                storage, def, std::move(stmt), params, positions, choice->index->rootPage,
                choice->reverse, std::move(needles), std::move(absent), std::move(absentKey));
            cursor->setShape(std::move(columns), std::move(outputSlots));
            return cursor;
        }
    }

    auto cursor = std::make_unique<MaterializedCursor>();
    cursor->setShape(std::move(columns), std::move(outputSlots));
    auto& rows = cursor->rows_;
    if (seek) {
        forEachSeekRow(
            storage, def, *seek, positions, *stmt.where, params, order,
            [&](RowId, std::vector<Value>& values) { rows.push_back(std::move(values)); });
    } else {
        lastPath = AccessPath::Scan;
        const EvalContext ctx{nullptr, &params, order};
        storage.scan(def, positions, [&](RowId, std::vector<Value>& values) {
            EvalContext c = ctx;
            c.row = &values;
            if (!stmt.where || evalTruth(*stmt.where, c) == Truth::True) {
                // The scan reuses the vector: hand it back at its size.
                const std::size_t n = values.size();
                rows.push_back(std::move(values));
                values.assign(n, Value());
            }
            return true;
        });
    }
    sortRows(rows, def, orderKeys, order);
    return cursor;
}

PreparedUpdate prepareUpdate(Storage& storage, UpdateStmt stmt, const std::vector<Value>& params) {
    checkParamCount(stmt.paramCount, params);
    const TableDef& def = storage.tableDef(stmt.table);
    const SortOrder order = sortOrderForJet(storage.format().version);
    Binder binder(def, stmt.table);
    PreparedUpdate out;
    out.table = &def;
    for (Assignment& a : stmt.assignments) {
        const int pos = binder.position(a.target);
        for (const ColumnChange& earlier : out.changes)
            if (earlier.position == pos)
                throw Error("Column '" + a.target.column + "' is set twice",
                            ErrorKind::InvalidArgument);
        Value v;
        if (a.value->kind == ExprKind::Literal) {
            v = a.value->value;
        } else if (a.value->kind == ExprKind::Parameter) {
            v = params.at(a.value->paramIndex);
        } else {
            throw Error("SET accepts a constant or a parameter only (position " +
                            std::to_string(a.value->pos + 1) + ")",
                        ErrorKind::NotSupported);
        }
        const ColumnDef& column = def.columns[pos];
        // A number written in the statement goes into a Decimal column exactly
        // as written, not through a double.
        if (a.value->kind == ExprKind::Literal && !a.value->number.empty() &&
            column.column.type == ColumnType::Numeric)
            out.changes.push_back(
                ColumnChange{pos, decimalForColumn(a.value->number, column.column)});
        else
            out.changes.push_back(ColumnChange{pos, convertForColumn(v, column)});
    }
    if (stmt.where) {
        bindColumns(*stmt.where, [&](const ColumnRef& r) { return binder.slot(r); });
        prepare(*stmt.where, params, order);
    }
    const std::vector<int>& positions = binder.positions();
    std::optional<IndexSeek> seek = chooseSeek(def, stmt.where.get(), positions, params, order);
    if (!seek) seek = chooseRange(def, stmt.where.get(), positions, params, order);
    if (seek) {
        forEachSeekRow(storage, def, *seek, positions, *stmt.where, params, order,
                       [&](RowId id, std::vector<Value>&) { out.rows.push_back(id); });
        return out;
    }
    lastPath = AccessPath::Scan;
    EvalContext ctx{nullptr, &params, order};
    storage.scan(def, positions, [&](RowId id, std::vector<Value>& values) {
        ctx.row = &values;
        if (!stmt.where || evalTruth(*stmt.where, ctx) == Truth::True) out.rows.push_back(id);
        return true;
    });
    return out;
}

std::int64_t runUpdate(Storage& storage, UpdateStmt stmt, const std::vector<Value>& params,
                       WriteStats* stats) {
    PreparedUpdate u = prepareUpdate(storage, std::move(stmt), params);
    return updateRows(storage, *u.table, u.rows, u.changes, stats);
}

AccessPath lastAccessPath() { return lastPath; }

}  // namespace jet::sql
