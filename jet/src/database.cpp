// jet::Database over the storage layer and the SQL executor.
//
// Freshness: every statement must see the file as it is now, although the
// storage parses the catalog and table definitions once. What is reused
// between statements, and why it is known to be current:
//  - Page bytes are never cached while the file is mapped: the mapping is
//    shared, so every read sees the bytes other programs wrote. A file that
//    could not be mapped is read into copies, so its storage is reopened
//    before every statement.
//  - The page count and the mapping's extent depend on the file size, which
//    is compared before every statement; any change reopens the storage.
//  - The catalog (table names and where their definitions start) and the
//    header facts (code page, sort order) are a function of the bytes of the
//    pages they were read from, which the storage records while opening
//    (catalogSourcePages: the header page, the catalog's definition, its
//    usage maps and data pages, moved rows included). Before every
//    statement those pages are compared with a copy; any difference (a
//    table added, renamed, dropped or recreated by another program, or the
//    catalog grown onto another page, which changes its usage map) reopens
//    the storage. A few pages: a few microseconds.
//  - A table's parsed definition is a function of the bytes of its
//    definition pages, compared with a copy before each statement that
//    reads the table.
//  - Nothing else survives a statement: no rows, values, index entries or
//    usage maps are cached. Each statement walks usage maps, data pages and
//    index pages afresh (a cursor reads them as it is advanced). So a
//    changed data page of a table is never served from an earlier read.
// Cursors keep the storage they read from alive.
//
// Readers take no lock, so another program's write can land while a SELECT
// walks pages, and what it read then need not fit together. A corruption
// error while the file changed (or a journal is present) is therefore no
// damage: the statement is run again, and a cursor that already returned
// rows reports the file as in use (kind Locked). The file's modification
// time is kept at a coarse clock's steps (milliseconds), so two writes can
// leave the same stamp: a corruption error with an unchanged stamp is
// confirmed by running the statement once more on the file as it is now,
// and only an error that comes back is reported as damage.
#include "database.h"

#include <chrono>
#include <cstring>
#include <thread>
#include <unordered_map>

#include "format/storage.h"
#include "io/journal.h"
#include "io/lock_probe.h"
#include "jet/jet.h"
#include "sql/parser.h"
#include "sql/select.h"
#include "write/writer.h"

namespace jet {

namespace {

// The file's modification time and size: a write by anyone changes it.
using FileStamp = std::optional<FileInfo>;

bool writtenSince(Env& env, const std::string& path, const FileStamp& stamp) {
    return env.fileInfo(path) != stamp || env.fileInfo(journalPath(path)).has_value();
}

[[noreturn]] void changedWhileReading(const std::string& path) {
    throw Error("The database '" + path +
                    "' is in use: another program wrote to it while it was being read. Try again "
                    "in a moment.",
                ErrorKind::Locked);
}

// Runs a SELECT to its end on a storage of its own, opened on the file as it
// is now: whether a corruption error comes back.
bool failsAgain(Env& env, const std::string& path, const std::string& sql,
                const std::vector<Value>& params) {
    try {
        auto storage = Storage::open(path, false, env);
        sql::Statement statement = sql::parse(sql);
        auto* select = std::get_if<sql::SelectStmt>(&statement);
        if (!select) return false;
        auto cursor = sql::runSelect(*storage, std::move(*select), params);
        while (cursor->next()) (void)cursor->row();
        return false;
    } catch (const Error& e) {
        return e.kind() == ErrorKind::Corrupt;
    }
}

class HoldingCursor : public Cursor {
  public:
    HoldingCursor(Env& env, std::shared_ptr<Storage> storage, std::unique_ptr<Cursor> inner,
                  std::string path, FileStamp stamp, std::string sql, std::vector<Value> params)
        : env_(env),
          storage_(std::move(storage)),
          inner_(std::move(inner)),
          path_(std::move(path)),
          stamp_(stamp),
          sql_(std::move(sql)),
          params_(std::move(params)) {}
    const std::vector<ResultColumn>& columns() const override { return inner_->columns(); }
    bool next() override {
        try {
            return inner_->next();
        } catch (const Error& e) {
            if (e.kind() != ErrorKind::Corrupt) throw;
            if (writtenSince(env_, path_, stamp_) || !failsAgain(env_, path_, sql_, params_))
                changedWhileReading(path_);
            throw;
        }
    }
    const std::vector<Value>& row() const override { return inner_->row(); }

  private:
    Env& env_;
    std::shared_ptr<Storage> storage_;
    std::unique_ptr<Cursor> inner_;
    std::string path_;
    FileStamp stamp_;
    std::string sql_;
    std::vector<Value> params_;
};

class JetDatabase : public Database {
  public:
    JetDatabase(Env& env, std::string path, bool writable)
        : env_(env), path_(std::move(path)), writable_(writable) {
        reopen();
    }

    const WriteStats& lastWrite() const { return lastWrite_; }

    int jetVersion() const override { return storage_->format().version; }

    std::vector<std::string> tableNames() override {
        checkFile();
        return storage_->tableNames();
    }

    TableInfo table(const std::string& name) override { return fresh(name).tableInfo(name); }

    std::unique_ptr<Cursor> query(const std::string& sql,
                                  const std::vector<Value>& params) override {
        bool confirming = false;  // an unexplained corruption error is being checked
        for (int attempt = 0;; ++attempt) {
            sql::Statement st = sql::parse(sql);
            auto* select = std::get_if<sql::SelectStmt>(&st);
            if (!select)
                throw Error("query() runs SELECT statements; use execute() for UPDATE",
                            ErrorKind::InvalidArgument);
            const FileStamp stamp = env_.fileInfo(path_);
            try {
                // After a torn read, rebuild from the file as it is now.
                if (attempt > 0) reopen();
                Storage& storage = fresh(select->table);
                auto inner = sql::runSelect(storage, std::move(*select), params);
                return std::make_unique<HoldingCursor>(env_, storage_, std::move(inner), path_,
                                                       stamp, sql, params);
            } catch (const Error& e) {
                if (e.kind() != ErrorKind::Corrupt) throw;
                if (!writtenSince(env_, path_, stamp)) {
                    // Damage, or a write whose stamp equals the last one:
                    // once more from the file as it is now decides.
                    if (confirming) throw;
                    confirming = true;
                    continue;
                }
                if (attempt == 4) changedWhileReading(path_);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20 * (attempt + 1)));
        }
    }

    std::int64_t execute(const std::string& sql, const std::vector<Value>& params) override {
        sql::Statement st = sql::parse(sql);
        auto* update = std::get_if<sql::UpdateStmt>(&st);
        if (!update)
            throw Error("execute() runs UPDATE statements; use query() for SELECT",
                        ErrorKind::InvalidArgument);
        // Access users are not told of our changes and could overwrite them
        // or be confused by them: refuse while one is live, before the
        // write lock and journal recovery change anything.
        refuseIfOpenElsewhere(env_, utf8Path(path_), *probe_);
        WriteSession session(env_, path_);  // write lock; replays a crashed write's journal
        Storage& storage = fresh(update->table);
        Pager::SizeHold hold(
            storage.pager());  // the lock keeps other writers from cutting the file
        lastWrite_ = WriteStats{};
        return sql::runUpdate(storage, std::move(*update), params, &lastWrite_);
    }

    void setLockProbe(std::shared_ptr<LockProbe> probe) override {
        probe_ = probe ? std::move(probe) : std::make_shared<EnvLockProbe>(env_);
    }

  private:
    void reopen() {
        if (writable_) recoverJournal(env_, path_);
        storage_ = Storage::open(path_, writable_, env_);
        size_ = currentSize();
        tdefBytes_.clear();
        catalogBytes_ = pageBytes(storage_->catalogSourcePages());
    }

    std::vector<std::uint8_t> pageBytes(const std::vector<std::uint32_t>& pages) {
        std::vector<std::uint8_t> out;
        out.reserve(pages.size() * storage_->format().pageSize);
        for (std::uint32_t p : pages) {
            const ByteView page = storage_->pager().page(p);
            out.insert(out.end(), page.data(), page.data() + page.size());
        }
        return out;
    }

    bool samePages(const std::vector<std::uint32_t>& pages,
                   const std::vector<std::uint8_t>& bytes) {
        const std::size_t size = storage_->format().pageSize;
        if (bytes.size() != pages.size() * size) return false;
        for (std::size_t i = 0; i < pages.size(); ++i) {
            const ByteView page = storage_->pager().page(pages[i]);
            if (std::memcmp(page.data(), bytes.data() + i * size, size) != 0) return false;
        }
        return true;
    }

    std::uint64_t currentSize() const {
        const std::optional<FileInfo> info = env_.fileInfo(path_);
        if (!info)
            throw Error("Cannot read the database file '" + path_ + "': it is no longer there",
                        ErrorKind::Io);
        return info->size;
    }

    // The storage, proven current in its size, header and catalog.
    void checkFile() {
        if (currentSize() != size_ || !storage_->pager().mapsWholeFile() ||
            !samePages(storage_->catalogSourcePages(), catalogBytes_))
            reopen();
    }

    // The storage, proven current for `table` as well: the same bytes in the
    // table's definition pages as when they were parsed.
    Storage& fresh(const std::string& table) {
        checkFile();
        for (int attempt = 0; attempt < 2; ++attempt) {
            const TableDef& def = storage_->tableDef(table);
            bool same = true;
            for (std::uint32_t p : def.tdefPages) {
                const ByteView page = storage_->pager().page(p);
                auto [it, inserted] =
                    tdefBytes_.try_emplace(p, page.data(), page.data() + page.size());
                if (!inserted && (it->second.size() != page.size() ||
                                  std::memcmp(it->second.data(), page.data(), page.size()) != 0)) {
                    same = false;
                    break;
                }
            }
            if (same) break;
            reopen();
        }
        return *storage_;
    }

    Env& env_;
    std::string path_;
    bool writable_;
    WriteStats lastWrite_;
    std::shared_ptr<Storage> storage_;
    std::uint64_t size_ = 0;
    std::unordered_map<std::uint32_t, std::vector<std::uint8_t>> tdefBytes_;
    std::vector<std::uint8_t> catalogBytes_;  // catalogSourcePages(), one page after another
    std::shared_ptr<LockProbe> probe_ = std::make_shared<EnvLockProbe>(env_);
};

}  // namespace

std::unique_ptr<Database> openDatabase(Env& env, const std::string& path, OpenMode mode) {
    return std::make_unique<JetDatabase>(env, path, mode == OpenMode::ReadWrite);
}

std::unique_ptr<Database> Database::open(const std::string& path, OpenMode mode) {
    return openDatabase(systemEnv(), path, mode);
}

const WriteStats& lastWriteStats(const Database& db) {
    return dynamic_cast<const JetDatabase&>(db).lastWrite();
}

}  // namespace jet
