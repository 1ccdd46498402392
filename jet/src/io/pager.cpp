// Formats, files and the pager.
#ifdef _WIN32
#include "io/win32_file.h"
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include "io/posix_write.h"
#endif

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <limits>

#include "io/pager.h"
#include "jet/jet.h"

namespace jet {

namespace {

#ifndef _WIN32
[[noreturn]] void ioError(const std::string& what, const std::string& name, int err) {
    throw Error(what + " '" + name + "': " + std::strerror(err), ErrorKind::Io);
}

// A file on disk. Read-only access maps the whole file so that pages need
// no copying; the map is shared, so writes through write() stay visible.
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
        if (!writable_)
            throw Error("The database '" + name() + "' is read-only", ErrorKind::ReadOnly);
        std::uint64_t end = offset + n;
        while (n > 0) {
            ssize_t put = ::pwrite(fd_, src, n, static_cast<off_t>(offset));
            if (put < 0) {
                if (errno == EINTR) continue;
                ioError("Cannot write", name(), errno);
            }
            src += put;
            offset += static_cast<std::uint64_t>(put);
            n -= static_cast<std::size_t>(put);
        }
        if (end > size_) size_ = end;
    }
    void writeGather(std::uint64_t offset, const std::vector<Buffer>& buffers) override {
        if (!writable_)
            throw Error("The database '" + name() + "' is read-only", ErrorKind::ReadOnly);
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

#else
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
        if (!writable_)
            throw Error("The database '" + name() + "' is read-only", ErrorKind::ReadOnly);
        handle_.writeAt(offset, src, n);
        if (offset + n > size_) size_ = offset + n;
    }
    void sync() override { handle_.flush(); }
    bool writable() const override { return writable_; }
    const std::uint8_t* mapping() const override { return nullptr; }
    std::uint64_t mappedSize() const override { return 0; }

  private:
    win32::Handle handle_;
    bool writable_;
    std::uint64_t size_;
};
#endif

}  // namespace

File::~File() = default;

void File::writeGather(std::uint64_t offset, const std::vector<Buffer>& buffers) {
    for (const Buffer& b : buffers) {
        write(offset, b.data, b.size);
        offset += b.size;
    }
}

#ifdef _WIN32
std::unique_ptr<File> openFile(const std::string& path, bool writable) {
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
    return std::make_unique<WindowsFile>(path, win32::Handle::open(path, win32::Open::Read), false);
}

#else
std::unique_ptr<File> openFile(const std::string& path, bool writable) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            throw Error("The file '" + path + "' does not exist", ErrorKind::NotFound);
        ioError("Cannot open", path, errno);
    }
    if (S_ISDIR(st.st_mode))
        throw Error("'" + path + "' is a folder, not a database file", ErrorKind::Io);
    if (!S_ISREG(st.st_mode)) throw Error("'" + path + "' is not a regular file", ErrorKind::Io);
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
    return std::make_unique<PosixFile>(path, fd, canWrite, static_cast<std::uint64_t>(st.st_size));
}
#endif

std::filesystem::path utf8Path(const std::string& path) {
#ifdef _WIN32
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
#else
    return std::filesystem::path(path);
#endif
}

MemoryFile::MemoryFile(std::vector<std::uint8_t> bytes, std::string name)
    : File(std::move(name)), bytes_(std::move(bytes)) {}

void MemoryFile::read(std::uint64_t offset, std::uint8_t* dst, std::size_t n) {
    if (offset > bytes_.size() || n > bytes_.size() - offset)
        corrupt("read past the end of the file");
    if (n > 0) std::memcpy(dst, bytes_.data() + offset, n);
}

void MemoryFile::write(std::uint64_t offset, const std::uint8_t* src, std::size_t n) {
    if (offset + n > bytes_.size()) bytes_.resize(offset + n);
    if (n > 0) std::memcpy(bytes_.data() + offset, src, n);
}

Pager::Pager(std::unique_ptr<File> file, const Format& format)
    : file_(std::move(file)), format_(&format) {
    std::uint64_t pages = file_->size() / format.pageSize;
    if (pages > std::numeric_limits<std::uint32_t>::max())
        throw Error("The file '" + file_->name() + "' is too large for an Access database",
                    ErrorKind::NotSupported);
    pageCount_ = static_cast<std::uint32_t>(pages);
    if (file_->mapping())
        mappedPages_ = static_cast<std::uint32_t>(file_->mappedSize() / format.pageSize);
}

ByteView Pager::page(std::uint32_t n) {
    if (n >= pageCount_)
        corrupt("page number " + std::to_string(n) + " is past the end of the file");
    if (recording_) recording_->push_back(n);
    const std::size_t ps = format_->pageSize;
    if (n < heldPages_ || (n < mappedPages_ && (std::uint64_t{n} + 1) * ps <= file_->mappedSize()))
        return ByteView(file_->mapping() + std::uint64_t{n} * ps, ps, n);
    auto it = cache_.find(n);
    if (it == cache_.end()) {
        auto buf = std::make_unique<std::uint8_t[]>(ps);
        file_->read(std::uint64_t{n} * ps, buf.get(), ps);
        it = cache_.emplace(n, std::move(buf)).first;
    }
    return ByteView(it->second.get(), ps, n);
}

Pager::SizeHold::SizeHold(Pager& pager) : pager_(pager), previous_(pager.heldPages_) {
    pager.heldPages_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(
        pager.mappedPages_, pager.file_->mappedSize() / pager.format_->pageSize));
}

Pager::SizeHold::~SizeHold() { pager_.heldPages_ = previous_; }

void Pager::prefetch(std::uint32_t n) const {
    if (n >= mappedPages_) return;
    const std::uint8_t* p = file_->mapping() + std::uint64_t{n} * format_->pageSize;
    for (std::size_t off = 0; off < format_->pageSize; off += 64) __builtin_prefetch(p + off);
}

ByteView Pager::page(std::uint32_t n, std::uint8_t type, const char* what) {
    ByteView p = page(n);
    if (p.u8(0) != type)
        corrupt(std::string(what) + " is not on a page of the expected type", n, 0);
    return p;
}

}  // namespace jet
