// The environment on POSIX systems.
#ifndef _WIN32

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "format/bytes.h"
#include "io/env.h"
#include "jet/jet.h"

namespace jet {

namespace {

[[noreturn]] void ioError(const std::string& what, const std::string& name, int err) {
    throw Error(what + " '" + name + "': " + std::strerror(err), ErrorKind::Io);
}

[[noreturn]] void readOnly(const std::string& name) {
    throw Error("The database '" + name + "' is read-only: it cannot be changed",
                ErrorKind::ReadOnly);
}

// Writes the buffers of `iov` (`bytes` in all) at `offset`, resuming after
// a short write or an interrupted call. Returns 0, or the errno of the write
// that failed. `iov` is consumed.
int writeGatheredAt(int fd, std::vector<iovec>& iov, std::size_t bytes, std::uint64_t offset) {
    std::size_t first = 0;
    while (bytes > 0) {
        ssize_t put = ::pwritev(fd, iov.data() + first, static_cast<int>(iov.size() - first),
                                static_cast<off_t>(offset));
        if (put < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        std::size_t done = static_cast<std::size_t>(put);
        bytes -= done;
        offset += done;
        while (done > 0 && first < iov.size()) {
            if (done >= iov[first].iov_len) {
                done -= iov[first].iov_len;
                ++first;
            } else {
                iov[first].iov_base = static_cast<std::uint8_t*>(iov[first].iov_base) + done;
                iov[first].iov_len -= done;
                done = 0;
            }
        }
    }
    return 0;
}

// A file on disk. The whole file is mapped read-only so that pages need no
// copying; the map is shared, so writes through write() stay visible.
class PosixFile : public File {
  public:
    PosixFile(std::string path, int fd, bool writable, std::uint64_t size)
        : File(std::move(path)), fd_(fd), writable_(writable), size_(size) {
        if (size_ > 0) {
            void* p = ::mmap(nullptr, size_, PROT_READ, MAP_SHARED, fd_, 0);
            if (p != MAP_FAILED) {
                map_ = static_cast<const std::uint8_t*>(p);
                mapSize_ = size_;
            }
        }
    }
    ~PosixFile() override {
        if (map_) ::munmap(const_cast<std::uint8_t*>(map_), mapSize_);
        ::close(fd_);
    }
    std::uint64_t size() const override { return size_; }
    void read(std::uint64_t offset, std::uint8_t* dst, std::size_t n) override {
        if (offset > size_ || n > size_ - offset) corrupt("read past the end of the file");
        while (n > 0) {
            ssize_t got = ::pread(fd_, dst, n, static_cast<off_t>(offset));
            if (got < 0) {
                if (errno == EINTR) continue;
                ioError("Cannot read", name(), errno);
            }
            if (got == 0) corrupt("the file ended early");
            dst += got;
            offset += static_cast<std::uint64_t>(got);
            n -= static_cast<std::size_t>(got);
        }
    }
    void write(std::uint64_t offset, const std::uint8_t* src, std::size_t n) override {
        writeGather(offset, {Buffer{src, n}});
    }
    void writeGather(std::uint64_t offset, const std::vector<Buffer>& buffers) override {
        if (!writable_) readOnly(name());
        std::vector<iovec> iov;
        std::size_t next = 0;
        while (next < buffers.size()) {
            iov.clear();
            std::size_t bytes = 0;
            for (; next < buffers.size() && iov.size() < IOV_MAX; ++next) {
                iov.push_back(
                    iovec{const_cast<std::uint8_t*>(buffers[next].data), buffers[next].size});
                bytes += buffers[next].size;
            }
            if (int error = writeGatheredAt(fd_, iov, bytes, offset))
                ioError("Cannot write", name(), error);
            offset += bytes;
            if (offset > size_) size_ = offset;
        }
    }
    void truncate(std::uint64_t length) override {
        if (!writable_) readOnly(name());
        if (::ftruncate(fd_, static_cast<off_t>(length)) != 0)
            ioError("Cannot change the length of", name(), errno);
        size_ = length;
    }
    // fdatasync: the length is flushed with the data; times are not needed.
    void sync() override {
        if (::fdatasync(fd_) != 0) ioError("Cannot flush", name(), errno);
    }
    bool writable() const override { return writable_; }
    const std::uint8_t* mapping() const override { return map_; }
    // Only the part the file still backs: touching a mapped page past the
    // end of a file that another program cut short raises SIGBUS.
    std::uint64_t mappedSize() const override {
        struct stat st {};
        if (!map_ || ::fstat(fd_, &st) != 0) return 0;
        return std::min<std::uint64_t>(mapSize_, static_cast<std::uint64_t>(st.st_size));
    }

  private:
    int fd_;
    bool writable_;
    std::uint64_t size_;
    const std::uint8_t* map_ = nullptr;
    std::uint64_t mapSize_ = 0;
};

// The write lock covers the whole file and is an open file description lock
// (F_OFD_SETLK) where the system has it: it conflicts with classic fcntl
// locks of other processes and with other descriptions in the same process,
// and closing some unrelated descriptor of the same file does not drop it.
#ifdef F_OFD_SETLK
constexpr int kSetLock = F_OFD_SETLK;
#else
constexpr int kSetLock = F_SETLK;
#endif

class PosixLock : public HeldLock {
  public:
    explicit PosixLock(int fd) : fd_(fd) {}
    ~PosixLock() override { ::close(fd_); }  // closing the description releases its lock

  private:
    int fd_;
};

// 0 on success, EAGAIN/EACCES when someone else holds it, else errno.
int lockWhole(int fd) {
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0;  // to the end of the file, however it grows
    fl.l_pid = 0;  // required for open file description locks
    for (;;) {
        if (::fcntl(fd, kSetLock, &fl) == 0) return 0;
        if (errno != EINTR) return errno;
    }
}

bool queryLock(int fd, int command, struct flock& lock) {
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_pid = 0;  // required by the OFD commands
    return ::fcntl(fd, command, &lock) == 0;
}

class PosixEnv : public Env {
  public:
    std::unique_ptr<File> openFile(const std::string& path, bool writable) override {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) {
            if (errno == ENOENT || errno == ENOTDIR)
                throw Error("The file '" + path + "' does not exist", ErrorKind::NotFound);
            ioError("Cannot open", path, errno);
        }
        if (S_ISDIR(st.st_mode))
            throw Error("'" + path + "' is a folder, not a database file", ErrorKind::Io);
        if (!S_ISREG(st.st_mode))
            throw Error("'" + path + "' is not a regular file", ErrorKind::Io);
        int fd = -1;
        bool canWrite = false;
        if (writable) {
            fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
            canWrite = fd >= 0;
            if (fd < 0 && errno != EACCES && errno != EROFS && errno != EPERM)
                ioError("Cannot open", path, errno);
        }
        if (fd < 0) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            if (errno == EACCES || errno == EPERM)
                throw Error("Permission denied: cannot read '" + path + "'", ErrorKind::Io);
            ioError("Cannot open", path, errno);
        }
        if (::fstat(fd, &st) != 0) {
            int err = errno;
            ::close(fd);
            ioError("Cannot open", path, err);
        }
        return std::make_unique<PosixFile>(path, fd, canWrite,
                                           static_cast<std::uint64_t>(st.st_size));
    }

    std::unique_ptr<File> createFile(const std::string& path) override {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) ioError("Cannot create", path, errno);
        return std::make_unique<PosixFile>(path, fd, true, 0);
    }

    std::optional<FileInfo> fileInfo(const std::string& path) override {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) return std::nullopt;
        FileInfo info;
        info.regular = S_ISREG(st.st_mode);
        info.folder = S_ISDIR(st.st_mode);
        info.size = static_cast<std::uint64_t>(st.st_size);
        info.modified = std::int64_t{st.st_mtim.tv_sec} * 1'000'000'000 + st.st_mtim.tv_nsec;
        return info;
    }

    void removeFile(const std::string& path) override {
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) ioError("Cannot remove", path, errno);
    }

    void syncFolder(const std::string& path) override {
        std::filesystem::path dir = std::filesystem::path(path).parent_path();
        if (dir.empty()) dir = ".";
        const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return;  // best effort: some file systems refuse folder handles
        ::fsync(fd);
        ::close(fd);
    }

    std::unique_ptr<HeldLock> tryLockWrites(const std::string& path) override {
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) {
            const int err = errno;
            if (err == ENOENT)
                throw Error("The file '" + path + "' does not exist", ErrorKind::NotFound);
            if (err == EACCES || err == EROFS || err == EPERM) readOnly(path);
            ioError("Cannot open for writing", path, err);
        }
        const int err = lockWhole(fd);
        if (err == 0) return std::make_unique<PosixLock>(fd);
        ::close(fd);
        if (err == EAGAIN || err == EACCES) return nullptr;
        ioError("Cannot lock", path, err);
    }

    // fcntl F_OFD_GETLK (F_GETLK where that is missing), asking about a write
    // lock so that read and write locks both show. An open-file-description
    // query also sees locks this process holds through other descriptors,
    // and closing the descriptor cannot drop any of ours.
    bool rangeLocked(const std::string& path, std::uint64_t offset, std::uint64_t length) override {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) ioError("Cannot open", path, errno);
        struct flock lock {};
        lock.l_start = static_cast<off_t>(offset);
        lock.l_len = static_cast<off_t>(length);
        bool ok = false;
#ifdef F_OFD_GETLK
        ok = queryLock(fd, F_OFD_GETLK, lock);
        if (!ok && errno == EINVAL) ok = queryLock(fd, F_GETLK, lock);
#else
        ok = queryLock(fd, F_GETLK, lock);
#endif
        const int savedErrno = errno;
        ::close(fd);
        if (!ok) ioError("Cannot query the locks of", path, savedErrno);
        return lock.l_type != F_UNLCK;
    }

    std::vector<std::string> folderEntries(const std::string& folder) override {
        return plainFilesIn(folder);
    }
};

}  // namespace

Env& systemEnv() {
    static PosixEnv env;
    return env;
}

}  // namespace jet

#endif  // !_WIN32
