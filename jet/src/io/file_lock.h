// Exclusive advisory lock on a database file for the duration of a write.
//
// Two instances of the tool must never interleave a write, so every write
// statement holds an exclusive lock on the .mdb. On POSIX systems the lock
// covers the whole file and is an open file description lock (F_OFD_SETLK)
// where the system has it: it conflicts with classic fcntl locks of other
// processes and with other descriptions in the same process, and closing some
// unrelated descriptor of the same file does not drop it. On Windows, where
// byte-range locks are mandatory, it is a LockFileEx lock on one byte far
// beyond any data (kWindowsLockByte), so nobody's reads or writes of the
// file are blocked by it. Readers take no lock and are never blocked.
//
// FileLock owns its descriptor (handle); moving transfers the lock,
// destruction releases it. One thread at a time.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace jet {

// Beyond the 2 GiB an Access file can reach and beyond every 32-bit region
// Jet itself locks, so it can only ever meet another instance of this tool.
inline constexpr std::uint64_t kWindowsLockByte = 0x7FFF00000000ull;

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
    FileLock(FileLock&& other) noexcept : fd_(other.fd_) { other.fd_ = kNone; }
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();

    bool held() const { return fd_ != kNone; }

    // How long writers wait for another writer by default.
    static std::chrono::milliseconds defaultWait();
    // Tests shorten the wait.
    static void setDefaultWait(std::chrono::milliseconds wait);

  private:
#ifdef _WIN32
    using Native = void*;  // HANDLE
    static constexpr Native kNone = nullptr;
#else
    using Native = int;
    static constexpr Native kNone = -1;
#endif
    explicit FileLock(Native fd) : fd_(fd) {}
    Native fd_ = kNone;
};

}  // namespace jet
