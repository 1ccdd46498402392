// jet::Database over the storage layer and the SQL executor.
//
// Freshness: the storage parses table definitions once and maps the file,
// so page reads see other programs' writes, but a parsed definition (or a
// page past the end of the mapping) could be stale. Before every statement
// the file size and the bytes of the statement table's definition pages are
// compared with what the open storage was built from; any difference
// reopens the storage. Cursors keep the storage they read from alive.
//
// Readers take no lock, so another program's write can land while a SELECT
// walks pages, and what it read then need not fit together. A corruption
// error while the file changed (or a journal is present) is therefore no
// damage: the statement is run again, and a cursor that already returned
// rows reports the file as in use (kind Locked).
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>
#include <unordered_map>

#include "jet/jet.h"
#include "sql_parser.h"
#include "sql_select.h"
#include "storage.h"
#include "journal.h"
#include "writer.h"

namespace jet {

namespace {

// The file's modification time and size: a write by anyone changes it.
struct FileStamp {
    std::int64_t seconds = 0;
    std::int64_t nanoseconds = 0;
    std::int64_t size = -1;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

FileStamp stampOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    return {st.st_mtim.tv_sec, st.st_mtim.tv_nsec, st.st_size};
}

bool writtenSince(const std::string& path, const FileStamp& stamp) {
    std::error_code ec;
    return stampOf(path) != stamp || std::filesystem::exists(journalPath(path), ec);
}

[[noreturn]] void changedWhileReading(const std::string& path) {
    throw Error("The database '" + path +
                    "' is in use: another program wrote to it while it was being read. Try again in a moment.",
                ErrorKind::Locked);
}

class HoldingCursor : public Cursor {
public:
    HoldingCursor(std::shared_ptr<Storage> storage, std::unique_ptr<Cursor> inner, std::string path,
                  FileStamp stamp)
        : storage_(std::move(storage)), inner_(std::move(inner)), path_(std::move(path)), stamp_(stamp) {}
    const std::vector<ResultColumn>& columns() const override { return inner_->columns(); }
    bool next() override {
        try {
            return inner_->next();
        } catch (const Error& e) {
            if (e.kind() == ErrorKind::Corrupt && writtenSince(path_, stamp_)) changedWhileReading(path_);
            throw;
        }
    }
    const std::vector<Value>& row() const override { return inner_->row(); }

  private:
    std::shared_ptr<Storage> storage_;
    std::unique_ptr<Cursor> inner_;
    std::string path_;
    FileStamp stamp_;
};

class JetDatabase : public Database {
  public:
    JetDatabase(std::string path, bool writable) : path_(std::move(path)), writable_(writable) {
        reopen();
    }

    int jetVersion() const override { return storage_->format().version; }

    std::vector<std::string> tableNames() override {
        checkFile();
        return storage_->tableNames();
    }

    TableInfo table(const std::string& name) override { return fresh(name).tableInfo(name); }

    std::unique_ptr<Cursor> query(const std::string& sql, const std::vector<Value>& params) override {
        for (int attempt = 0;; ++attempt) {
            sql::Statement st = sql::parse(sql);
            auto* select = std::get_if<sql::SelectStmt>(&st);
            if (!select) throw Error("query() runs SELECT statements; use execute() for UPDATE", ErrorKind::InvalidArgument);
            const FileStamp stamp = stampOf(path_);
            try {
                // After a torn read, rebuild from the file as it is now.
                if (attempt > 0) reopen();
                Storage& storage = fresh(select->table);
                auto inner = sql::runSelect(storage, std::move(*select), params);
                return std::make_unique<HoldingCursor>(storage_, std::move(inner), path_, stamp);
            } catch (const Error& e) {
                if (e.kind() != ErrorKind::Corrupt || !writtenSince(path_, stamp)) throw;
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
        WriteSession session(path_);  // write lock; replays a crashed write's journal
        Storage& storage = fresh(update->table);
        return sql::runUpdate(storage, std::move(*update), params);
    }

  private:
    void reopen() {
        if (writable_) recoverJournal(path_);
        storage_ = Storage::open(path_, writable_);
        size_ = currentSize();
        tdefBytes_.clear();
    }

    std::uint64_t currentSize() const {
        std::error_code ec;
        const auto size = std::filesystem::file_size(path_, ec);
        if (ec)
            throw Error("Cannot read the database file '" + path_ + "': " + ec.message(),
                        ErrorKind::Io);
        return size;
    }

    void checkFile() {
        if (currentSize() != size_) reopen();
    }

    // The storage, proven current for `table`: same file size, same bytes in
    // the table's definition pages as when they were parsed.
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

    std::string path_;
    bool writable_;
    std::shared_ptr<Storage> storage_;
    std::uint64_t size_ = 0;
    std::unordered_map<std::uint32_t, std::vector<std::uint8_t>> tdefBytes_;
};

}  // namespace

std::unique_ptr<Database> Database::open(const std::string& path, OpenMode mode) {
    return std::make_unique<JetDatabase>(path, mode == OpenMode::ReadWrite);
}

}  // namespace jet
