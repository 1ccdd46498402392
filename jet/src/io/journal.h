// Rollback journal: what makes a multi-page write all-or-nothing.
//
// Before the first page of a database is overwritten, the original images of
// every page the statement changes and the original file length go to a side
// file, `<database>-journal`, which is flushed to disk. The pages are then
// written, the database flushed, and the journal deleted. A journal that is
// still there means a write stopped half way: replaying it puts the original
// pages back and cuts the file to its old length. A journal that is not
// complete (its trailer or checksum is missing) was never acted on: the
// database was not touched yet, so it is simply removed.
//
// Free functions over paths in an environment (env.h); the caller holds the
// database's write lock (file_lock.h) around writeJournal/replayJournal. One
// thread at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace jet {

class Env;

std::string journalPath(const std::string& databasePath);

struct JournalPage {
    std::uint32_t number = 0;
    const std::uint8_t* bytes = nullptr;  // page size bytes
};

// Writes and flushes the journal (and its folder entry). Kind Io on failure.
void writeJournal(Env& env, const std::string& databasePath, std::size_t pageSize,
                  std::uint64_t fileLength, const std::vector<JournalPage>& pages);

// Deletes the journal after a completed write and flushes the folder.
void removeJournal(Env& env, const std::string& databasePath);

// If a journal exists: replays it when complete, then removes it. Returns
// true when pages were put back. The caller holds the write lock.
bool replayJournal(Env& env, const std::string& databasePath);

// For opening a database: when a journal is left over and no other writer
// holds the file (the journal then belongs to a crashed write), replays it.
// Does nothing for a read-only file or while another writer is active.
bool recoverJournal(Env& env, const std::string& databasePath);

}  // namespace jet
