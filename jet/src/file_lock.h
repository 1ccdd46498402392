// Exclusive advisory lock on a database file for the duration of a write.
//
// Two instances of the tool must never interleave a write, so every write
// statement holds an exclusive lock on the whole .mdb. The lock is an open
// file description lock (F_OFD_SETLK) where the system has it: it conflicts
// with classic fcntl locks of other processes and with other descriptions in
// the same process, and closing some unrelated descriptor of the same file
// does not drop it. Readers take no lock and are never blocked.
//
// FileLock owns its descriptor; moving transfers the lock, destruction
// releases it. One thread at a time.
#pragma once

#include <chrono>
#include <string>

namespace jet {

class FileLock {
public:
    // Waits at most `wait` for the lock, then fails with kind Locked
    // ("database in use"). A file that cannot be opened for writing fails
    // with kind ReadOnly; a missing file with NotFound.
    static FileLock acquire(const std::string& path, std::chrono::milliseconds wait);
    // Takes the lock only if it is free right now; an unlocked FileLock
    // (held() false) otherwise, also when the file is read-only.
    static FileLock tryAcquire(const std::string& path);

    FileLock() = default;
    FileLock(FileLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();

    bool held() const { return fd_ >= 0; }

    // How long writers wait for another writer by default.
    static std::chrono::milliseconds defaultWait();
    // Tests shorten the wait.
    static void setDefaultWait(std::chrono::milliseconds wait);

private:
    explicit FileLock(int fd) : fd_(fd) {}
    int fd_ = -1;
};

}  // namespace jet
