// Exclusive lock on a database file for the duration of a write.
//
// Two instances of the tool must never interleave a write, so every write
// statement holds an exclusive lock on the .mdb, taken through the
// environment (env.h: a whole-file open-file-description lock on POSIX, a
// lock on one byte far beyond any data on Windows). Readers take no lock and
// are never blocked.
//
// FileLock owns the held lock; moving transfers it, destruction releases it.
// One thread at a time.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "io/env.h"

namespace jet {

class FileLock {
  public:
    // Waits at most `wait` for the lock, then fails with kind Locked
    // ("database in use"). A file that cannot be opened for writing fails
    // with kind ReadOnly; a missing file with NotFound.
    static FileLock acquire(Env& env, const std::string& path, std::chrono::milliseconds wait);
    // Takes the lock only if it is free right now; an unlocked FileLock
    // (held() false) otherwise, also when the file is read-only.
    static FileLock tryAcquire(Env& env, const std::string& path);

    FileLock() = default;
    bool held() const { return hold_ != nullptr; }

    // How long writers wait for another writer by default.
    static std::chrono::milliseconds defaultWait();
    // Tests shorten the wait.
    static void setDefaultWait(std::chrono::milliseconds wait);

  private:
    explicit FileLock(std::unique_ptr<HeldLock> hold) : hold_(std::move(hold)) {}
    std::unique_ptr<HeldLock> hold_;
};

}  // namespace jet
