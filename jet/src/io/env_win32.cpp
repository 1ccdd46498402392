// The environment on Windows, over the handle calls of win32_file.h.
#ifdef _WIN32

#include <algorithm>
#include <chrono>

#include "format/bytes.h"
#include "io/env.h"
#include "io/win32_file.h"
#include "jet/jet.h"

namespace jet {

namespace {

[[noreturn]] void readOnly(const std::string& name) {
    throw Error("The database '" + name + "' is read-only: it cannot be changed",
                ErrorKind::ReadOnly);
}

// A file on disk, read and written through its handle. No mapping: Windows
// refuses to cut a mapped file short, which the journal replay of another
// instance must be able to do; pages go through the pager's cache instead.
class WindowsFile : public File {
  public:
    WindowsFile(std::string path, win32::Handle handle, bool writable)
        : File(std::move(path)),
          handle_(std::move(handle)),
          writable_(writable),
          size_(handle_.size()) {}
    std::uint64_t size() const override { return size_; }
    void read(std::uint64_t offset, std::uint8_t* dst, std::size_t n) override {
        if (offset > size_ || n > size_ - offset) corrupt("read past the end of the file");
        if (handle_.readAt(offset, dst, n) != n) corrupt("the file ended early");
    }
    void write(std::uint64_t offset, const std::uint8_t* src, std::size_t n) override {
        if (!writable_) readOnly(name());
        handle_.writeAt(offset, src, n);
        if (offset + n > size_) size_ = offset + n;
    }
    // Small pieces (a journal's page numbers between its pages) are joined
    // into one buffer, so that each system call carries a good share.
    void writeGather(std::uint64_t offset, const std::vector<Buffer>& buffers) override {
        constexpr std::size_t kJoin = 1u << 20;
        std::vector<std::uint8_t> joined;
        std::uint64_t at = offset;
        for (const Buffer& b : buffers) {
            if (joined.size() + b.size > kJoin && !joined.empty()) {
                write(at, joined.data(), joined.size());
                at += joined.size();
                joined.clear();
            }
            joined.insert(joined.end(), b.data, b.data + b.size);
        }
        if (!joined.empty()) write(at, joined.data(), joined.size());
    }
    void truncate(std::uint64_t length) override {
        if (!writable_) readOnly(name());
        handle_.truncate(length);
        size_ = length;
    }
    void sync() override { handle_.flush(); }
    bool writable() const override { return writable_; }

  private:
    win32::Handle handle_;
    bool writable_;
    std::uint64_t size_;
};

// The write lock is a LockFileEx lock on one byte beyond the 2 GiB an Access
// file can reach and beyond every 32-bit region Jet itself locks: byte-range
// locks are mandatory on Windows, so it must block nobody's reads or writes,
// and it can only ever meet another instance of this tool.
constexpr std::uint64_t kWindowsLockByte = 0x7FFF00000000ull;

class WindowsLock : public HeldLock {
  public:
    explicit WindowsLock(win32::Handle handle) : handle_(std::move(handle)) {}
    // Windows frees the locks of a closed handle only when it gets round to
    // it, so the lock is given back explicitly first.
    ~WindowsLock() override {
        try {
            handle_.unlock(kWindowsLockByte, 1);
        } catch (const Error&) {
            // Closing still releases it, only later.
        }
    }

  private:
    win32::Handle handle_;
};

class WindowsEnv : public Env {
  public:
    std::unique_ptr<File> openFile(const std::string& path, bool writable) override {
        win32::FileTimes attributes;
        if (!win32::fileAttributes(path, attributes))
            throw Error("The file '" + path + "' does not exist", ErrorKind::NotFound);
        if (attributes.directory)
            throw Error("'" + path + "' is a folder, not a database file", ErrorKind::Io);
        if (!attributes.regular) throw Error("'" + path + "' is not a regular file", ErrorKind::Io);
        if (writable) {
            try {
                return std::make_unique<WindowsFile>(
                    path, win32::Handle::open(path, win32::Open::ReadWrite), true);
            } catch (const Error& e) {
                if (e.kind() != ErrorKind::ReadOnly) throw;
            }
        }
        return std::make_unique<WindowsFile>(path, win32::Handle::open(path, win32::Open::Read),
                                             false);
    }

    std::unique_ptr<File> createFile(const std::string& path) override {
        return std::make_unique<WindowsFile>(path, win32::Handle::open(path, win32::Open::Create),
                                             true);
    }

    std::optional<FileInfo> fileInfo(const std::string& path) override {
        win32::FileTimes times;
        if (!win32::fileAttributes(path, times)) return std::nullopt;
        FileInfo info;
        info.regular = times.regular;
        info.folder = times.directory;
        info.size = static_cast<std::uint64_t>(std::max<std::int64_t>(times.size, 0));
        info.modified = times.writeTime;
        return info;
    }

    void removeFile(const std::string& path) override { win32::removeFile(path); }

    // Windows has no folder flush; NTFS logs a new or removed entry with the
    // file's own FlushFileBuffers.
    void syncFolder(const std::string&) override {}

    std::unique_ptr<HeldLock> tryLockWrites(const std::string& path) override {
        // Opening for writing is what tells a read-only file apart, as on POSIX.
        win32::Handle handle = win32::Handle::open(path, win32::Open::ReadWrite);
        if (!handle.tryLock(kWindowsLockByte, 1)) return nullptr;
        return std::make_unique<WindowsLock>(std::move(handle));
    }

    // LockFileEx(LOCKFILE_FAIL_IMMEDIATELY | LOCKFILE_EXCLUSIVE_LOCK) on the
    // range, released by UnlockFileEx at once when it was free, so Access can
    // never wait on it. A file that some program keeps open without sharing
    // counts as held: only a program that uses the database does that.
    bool rangeLocked(const std::string& path, std::uint64_t offset, std::uint64_t length) override {
        win32::Handle handle;
        try {
            handle = win32::Handle::open(path, win32::Open::Read);
        } catch (const Error& e) {
            if (e.kind() == ErrorKind::Locked) return true;
            throw;
        }
        if (!handle.tryLock(offset, length)) return true;
        handle.unlock(offset, length);
        return false;
    }

    std::vector<std::string> folderEntries(const std::string& folder) override {
        return plainFilesIn(folder);
    }
};

}  // namespace

Env& systemEnv() {
    static WindowsEnv env;
    return env;
}

}  // namespace jet

#endif  // _WIN32
