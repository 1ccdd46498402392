// Files in memory, for tests and fuzzers.
//
// MemoryFile is one file's bytes, for opening a storage straight from a
// buffer. MemoryEnv is a whole environment in memory: files by path, the
// write lock, other programs' byte-range locks, and the difference between
// what was written and what was made durable. It can stop at any change, as
// if the process died there, and then restart the way a machine does after
// a killed process (every write survives) or after a power cut (only what
// was synced survives, file by file), so that tests can check that every
// stop point leaves a file that recovers.
#pragma once

#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "io/env.h"

namespace jet {

class MemoryFile : public File {
  public:
    explicit MemoryFile(std::vector<std::uint8_t> bytes, std::string name = "(memory)");
    std::uint64_t size() const override { return bytes_.size(); }
    void read(std::uint64_t offset, std::uint8_t* dst, std::size_t n) override;
    void write(std::uint64_t offset, const std::uint8_t* src, std::size_t n) override;
    void truncate(std::uint64_t length) override { bytes_.resize(length); }
    void sync() override {}
    bool writable() const override { return true; }
    const std::uint8_t* mapping() const override { return bytes_.data(); }
    std::uint64_t mappedSize() const override { return bytes_.size(); }
    std::vector<std::uint8_t>& bytes() { return bytes_; }

  private:
    std::vector<std::uint8_t> bytes_;
};

// What every operation of a MemoryEnv raises once it has crashed.
struct SimulatedCrash : std::exception {
    const char* what() const noexcept override { return "simulated crash"; }
};

class MemoryEnv : public Env {
  public:
    MemoryEnv();
    ~MemoryEnv() override;

    // A file as it stands on disk before the test starts (already durable).
    void putFile(const std::string& path, std::vector<std::uint8_t> bytes);
    // The file's current bytes; NotFound when there is none.
    std::vector<std::uint8_t> fileBytes(const std::string& path) const;
    bool hasFile(const std::string& path) const;

    // Another program's byte-range lock on a file (Access on its lock file),
    // until unlockRanges().
    void lockRange(const std::string& path, std::uint64_t offset, std::uint64_t length);
    void unlockRanges(const std::string& path);

    // Changes so far: each buffer written, each truncation, sync, creation
    // and removal of a file, and each folder sync count one.
    long changes() const;
    // The change after `n` more from now, and every operation after it,
    // raises SimulatedCrash: the process is taken to have died there.
    // Negative: never.
    void crashAfter(long n);
    bool crashed() const;

    // Restarts after a killed process: the system had every write, so all of
    // them survive; the dead process's locks are gone.
    void restartAfterProcessCrash();
    // Restarts after a power cut: each file keeps only what was synced (its
    // creation or removal survives only after a folder sync), except the
    // files for which `keepsUnsynced` says true, whose writes happened to
    // reach the disk anyway. Locks are gone.
    void restartAfterPowerCut(
        const std::function<bool(const std::string& path)>& keepsUnsynced = {});

    std::unique_ptr<File> openFile(const std::string& path, bool writable) override;
    std::unique_ptr<File> createFile(const std::string& path) override;
    std::optional<FileInfo> fileInfo(const std::string& path) override;
    void removeFile(const std::string& path) override;
    void syncFolder(const std::string& path) override;
    std::unique_ptr<HeldLock> tryLockWrites(const std::string& path) override;
    bool rangeLocked(const std::string& path, std::uint64_t offset, std::uint64_t length) override;
    std::vector<std::string> folderEntries(const std::string& folder) override;

  private:
    friend class MemoryEnvFile;
    friend class MemoryEnvLock;
    struct Node {
        std::vector<std::uint8_t> bytes;   // as the running system sees them
        std::vector<std::uint8_t> synced;  // what a power cut leaves
        std::int64_t version = 0;          // counts writes: the modification time
    };
    // A name and the file it points to now and after a power cut.
    struct Entry {
        std::shared_ptr<Node> now;
        std::shared_ptr<Node> durable;
    };
    struct Range {
        std::uint64_t offset, length;
    };

    // Counts one change, or raises SimulatedCrash when it is the one to stop
    // at. Caller holds mutex_.
    void change();
    // Raises SimulatedCrash after the crash. Caller holds mutex_.
    void alive() const;
    void restart(const std::function<bool(const std::string&)>& keepsUnsynced);

    mutable std::recursive_mutex mutex_;
    std::map<std::string, Entry> entries_;
    std::map<std::string, std::vector<Range>> ranges_;
    std::map<std::string, long> writeLocks_;  // path -> generation that holds it
    long generation_ = 0;                     // restarts so far: older locks are void
    long changes_ = 0;
    long crashAt_ = -1;
    bool crashed_ = false;
};

}  // namespace jet
