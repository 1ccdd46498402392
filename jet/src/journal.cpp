#include "journal.h"

#ifdef _WIN32
#include "win32_file.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "bytes.h"
#include "file_lock.h"
#include "jet/jet.h"

namespace jet {

namespace {

// Layout, little-endian:
//   "JETJRNL1" | page size (4) | original file length (8) | page count (4)
//   page count x { page number (4) | image (page size) }
//   checksum of everything before (8) | "JETJEND1"
constexpr char kMagic[8] = {'J', 'E', 'T', 'J', 'R', 'N', 'L', '1'};
constexpr char kEndMagic[8] = {'J', 'E', 'T', 'J', 'E', 'N', 'D', '1'};
constexpr std::size_t kHeaderSize = 24;
constexpr std::size_t kTrailerSize = 16;

std::uint64_t checksum(const std::uint8_t* p, std::size_t n) {
    std::uint64_t h = 1469598103934665603ull;  // FNV-1a
    for (std::size_t i = 0; i < n; ++i) {
        h ^= p[i];
        h *= 1099511628211ull;
    }
    return h;
}

#ifndef _WIN32
[[noreturn]] void ioFail(const std::string& what, const std::string& path, int err) {
    throw Error(what + " '" + path + "': " + std::strerror(err), ErrorKind::Io);
}

#endif

void putLE(std::vector<std::uint8_t>& out, std::uint64_t v, int width) {
    for (int i = 0; i < width; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

#ifndef _WIN32

void writeAll(int fd, const std::uint8_t* p, std::size_t n, std::uint64_t offset, const std::string& path) {
    while (n > 0) {
        ssize_t put = ::pwrite(fd, p, n, static_cast<off_t>(offset));
        if (put < 0) {
            if (errno == EINTR) continue;
            ioFail("Cannot write", path, errno);
        }
        p += put;
        n -= static_cast<std::size_t>(put);
        offset += static_cast<std::uint64_t>(put);
    }
}

void syncFolder(const std::string& path) {
    std::filesystem::path dir = std::filesystem::path(path).parent_path();
    if (dir.empty()) dir = ".";
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;  // best effort: some file systems refuse folder handles
    ::fsync(fd);
    ::close(fd);
}

std::vector<std::uint8_t> readWhole(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) ioFail("Cannot read the journal", path, errno);
    std::vector<std::uint8_t> data;
    std::uint8_t buf[65536];
    for (;;) {
        ssize_t got = ::read(fd, buf, sizeof buf);
        if (got < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            ::close(fd);
            ioFail("Cannot read the journal", path, err);
        }
        if (got == 0) break;
        data.insert(data.end(), buf, buf + got);
    }
    ::close(fd);
    return data;
}
#endif

#ifdef _WIN32
// The journal's bytes, or nothing when there is no journal.
std::vector<std::uint8_t> readWhole(const std::string& path) {
    const win32::Handle h = win32::Handle::open(path, win32::Open::Read);
    std::vector<std::uint8_t> data(static_cast<std::size_t>(h.size()));
    data.resize(h.readAt(0, data.data(), data.size()));
    return data;
}
#endif

bool journalExists(const std::string& path) {
#ifdef _WIN32
    return win32::fileExists(path);
#else
    return ::access(path.c_str(), F_OK) == 0;
#endif
}

}  // namespace

std::string journalPath(const std::string& databasePath) { return databasePath + "-journal"; }

void writeJournal(const std::string& databasePath, std::size_t pageSize, std::uint64_t fileLength,
                  const std::vector<JournalPage>& pages) {
    std::vector<std::uint8_t> out;
    out.reserve(kHeaderSize + pages.size() * (4 + pageSize) + kTrailerSize);
    out.insert(out.end(), kMagic, kMagic + 8);
    putLE(out, pageSize, 4);
    putLE(out, fileLength, 8);
    putLE(out, pages.size(), 4);
    for (const JournalPage& p : pages) {
        putLE(out, p.number, 4);
        out.insert(out.end(), p.bytes, p.bytes + pageSize);
    }
    putLE(out, checksum(out.data(), out.size()), 8);
    out.insert(out.end(), kEndMagic, kEndMagic + 8);

    const std::string path = journalPath(databasePath);
#ifdef _WIN32
    // Windows has no folder flush; NTFS logs the new entry with the file's
    // own FlushFileBuffers.
    try {
        const win32::Handle h = win32::Handle::open(path, win32::Open::Create);
        h.writeAt(0, out.data(), out.size());
        h.flush();
    } catch (const Error& e) {
        try {
            win32::removeFile(path);
        } catch (const Error&) {
            // The incomplete journal is ignored and removed on the next open.
        }
        if (e.kind() == ErrorKind::Io) throw;
        throw Error("Cannot create the journal '" + path + "': " + e.message(), ErrorKind::Io);
    }
#else
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) ioFail("Cannot create the journal", path, errno);
    try {
        writeAll(fd, out.data(), out.size(), 0, path);
        if (::fsync(fd) != 0) ioFail("Cannot flush the journal", path, errno);
    } catch (...) {
        ::close(fd);
        ::unlink(path.c_str());
        throw;
    }
    ::close(fd);
    syncFolder(path);
#endif
}

void removeJournal(const std::string& databasePath) {
    const std::string path = journalPath(databasePath);
#ifdef _WIN32
    win32::removeFile(path);
#else
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) ioFail("Cannot remove the journal", path, errno);
    syncFolder(path);
#endif
}

bool replayJournal(const std::string& databasePath) {
    const std::string path = journalPath(databasePath);
    if (!journalExists(path)) return false;
    const std::vector<std::uint8_t> j = readWhole(path);
    const ByteView v(j.data(), j.size());
    bool complete = j.size() >= kHeaderSize + kTrailerSize && std::memcmp(j.data(), kMagic, 8) == 0 &&
                    std::memcmp(j.data() + j.size() - 8, kEndMagic, 8) == 0;
    std::size_t pageSize = 0, count = 0;
    std::uint64_t length = 0;
    if (complete) {
        pageSize = v.u32(8);
        length = v.i64(12);
        count = v.u32(20);
        complete = pageSize >= 512 && pageSize <= 65536 &&
                   j.size() == kHeaderSize + count * (4 + pageSize) + kTrailerSize &&
                   v.i64(j.size() - kTrailerSize) ==
                       static_cast<std::int64_t>(checksum(j.data(), j.size() - kTrailerSize));
    }
    if (!complete) {
        // Never finished, so the database was never touched.
        removeJournal(databasePath);
        return false;
    }
#ifdef _WIN32
    {
        const win32::Handle h = win32::Handle::open(databasePath, win32::Open::ReadWrite);
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t at = kHeaderSize + i * (4 + pageSize);
            const std::uint64_t page = v.u32(at);
            h.writeAt(page * pageSize, j.data() + at + 4, pageSize);
        }
        h.truncate(length);
        h.flush();
    }
#else
    int fd = ::open(databasePath.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) ioFail("Cannot restore the database", databasePath, errno);
    try {
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t at = kHeaderSize + i * (4 + pageSize);
            const std::uint64_t page = v.u32(at);
            writeAll(fd, j.data() + at + 4, pageSize, page * pageSize, databasePath);
        }
        if (::ftruncate(fd, static_cast<off_t>(length)) != 0) ioFail("Cannot restore", databasePath, errno);
        if (::fsync(fd) != 0) ioFail("Cannot flush", databasePath, errno);
    } catch (...) {
        ::close(fd);
        throw;
    }
    ::close(fd);
#endif
    removeJournal(databasePath);
    return true;
}

bool recoverJournal(const std::string& databasePath) {
    if (!journalExists(journalPath(databasePath))) return false;
    // A writer that holds the lock is still working with its journal.
    FileLock lock = FileLock::tryAcquire(databasePath);
    if (!lock.held()) return false;
    return replayJournal(databasePath);
}

}  // namespace jet
