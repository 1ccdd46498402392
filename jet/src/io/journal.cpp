#include "io/journal.h"

#ifdef _WIN32
#include "io/win32_file.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include "io/posix_write.h"
#endif

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>

#include "format/bytes.h"
#include "io/file_lock.h"
#include "jet/jet.h"

namespace jet {

namespace {

// Layout, little-endian:
//   magic | page size (4) | original file length (8) | page count (4)
//   page count x { page number (4) | image (page size) }
//   checksum (8) | end magic
// Version 2 (written now) sums the header fields and each record a word at
// a time; version 1 (still replayed) ran FNV-1a over every byte before the
// checksum, which cost more than writing the journal.
constexpr char kMagic1[8] = {'J', 'E', 'T', 'J', 'R', 'N', 'L', '1'};
constexpr char kEndMagic1[8] = {'J', 'E', 'T', 'J', 'E', 'N', 'D', '1'};
constexpr char kMagic2[8] = {'J', 'E', 'T', 'J', 'R', 'N', 'L', '2'};
constexpr char kEndMagic2[8] = {'J', 'E', 'T', 'J', 'E', 'N', 'D', '2'};
constexpr std::size_t kHeaderSize = 24;
constexpr std::size_t kTrailerSize = 16;

std::uint64_t checksumV1(const std::uint8_t* p, std::size_t n) {
    std::uint64_t h = 1469598103934665603ull;  // FNV-1a
    for (std::size_t i = 0; i < n; ++i) {
        h ^= p[i];
        h *= 1099511628211ull;
    }
    return h;
}

// Version 2: four independent lanes over 8-byte words (the page size is a
// multiple of 32), each word mixed by multiply and rotate, so that a torn
// or stale record anywhere changes the sum.
class Checksum2 {
  public:
    void add(std::uint64_t v) { mixLane(0, v); }
    void addPage(std::uint32_t number, const std::uint8_t* p, std::size_t n) {
        add(number);
        for (std::size_t i = 0; i + 32 <= n; i += 32)
            for (int k = 0; k < 4; ++k) mixLane(k, load(p + i + 8 * k));
    }
    std::uint64_t value() const {
        std::uint64_t h = lane_[0];
        for (int k = 1; k < 4; ++k) h = rotl(h ^ lane_[k], 27) * kPrime1 + kPrime2;
        return h ^ (h >> 31);
    }

  private:
    static constexpr std::uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
    static constexpr std::uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;
    static std::uint64_t rotl(std::uint64_t x, int r) { return (x << r) | (x >> (64 - r)); }
    static std::uint64_t load(const std::uint8_t* p) {
        std::uint64_t v = 0;
        for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
        return v;
    }
    void mixLane(int k, std::uint64_t v) { lane_[k] = rotl(lane_[k] + v * kPrime2, 31) * kPrime1; }
    std::uint64_t lane_[4] = {0x243F6A8885A308D3ull, 0x13198A2E03707344ull, 0xA4093822299F31D0ull,
                              0x082EFA98EC4E6C89ull};
};

#ifndef _WIN32
[[noreturn]] void ioFail(const std::string& what, const std::string& path, int err) {
    throw Error(what + " '" + path + "': " + std::strerror(err), ErrorKind::Io);
}

#endif

#ifndef _WIN32

void writeAll(int fd, const std::uint8_t* p, std::size_t n, std::uint64_t offset,
              const std::string& path) {
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

void writeVector(int fd, std::vector<iovec>& iov, std::size_t bytes, std::uint64_t offset,
                 const std::string& path) {
    if (int error = writeGatheredAt(fd, iov, bytes, offset)) ioFail("Cannot write", path, error);
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
    // The records are gathered straight from the page images: header, then
    // each page's number and bytes, then the trailer, in as few writes as
    // the system allows.
    std::vector<std::uint8_t> header;
    header.insert(header.end(), kMagic2, kMagic2 + 8);
    appendLE(header, pageSize, 4);
    appendLE(header, fileLength, 8);
    appendLE(header, pages.size(), 4);
    Checksum2 sum;
    sum.add(pageSize);
    sum.add(fileLength);
    sum.add(pages.size());
    std::vector<std::uint8_t> numbers;
    numbers.reserve(4 * pages.size());
    for (const JournalPage& p : pages) {
        appendLE(numbers, p.number, 4);
        sum.addPage(p.number, p.bytes, pageSize);
    }
    std::vector<std::uint8_t> trailer;
    appendLE(trailer, sum.value(), 8);
    trailer.insert(trailer.end(), kEndMagic2, kEndMagic2 + 8);

    struct Piece {
        const std::uint8_t* data;
        std::size_t size;
    };
    std::vector<Piece> pieces;
    pieces.reserve(2 + 2 * pages.size());
    pieces.push_back({header.data(), header.size()});
    for (std::size_t i = 0; i < pages.size(); ++i) {
        pieces.push_back({numbers.data() + 4 * i, 4});
        pieces.push_back({pages[i].bytes, pageSize});
    }
    pieces.push_back({trailer.data(), trailer.size()});

    const std::string path = journalPath(databasePath);
#ifdef _WIN32
    // Windows has no folder flush; NTFS logs the new entry with the file's
    // own FlushFileBuffers.
    std::vector<std::uint8_t> out;
    out.reserve(kHeaderSize + pages.size() * (4 + pageSize) + kTrailerSize);
    for (const Piece& p : pieces) out.insert(out.end(), p.data, p.data + p.size);
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
        std::vector<iovec> iov;
        std::uint64_t offset = 0;
        for (std::size_t i = 0; i < pieces.size();) {
            iov.clear();
            std::size_t bytes = 0;
            for (; i < pieces.size() && iov.size() < IOV_MAX; ++i) {
                iov.push_back(iovec{const_cast<std::uint8_t*>(pieces[i].data), pieces[i].size});
                bytes += pieces[i].size;
            }
            writeVector(fd, iov, bytes, offset, path);
            offset += bytes;
        }
        // The data and the new length; the folder entry follows below.
        if (::fdatasync(fd) != 0) ioFail("Cannot flush the journal", path, errno);
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
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        ioFail("Cannot remove the journal", path, errno);
    syncFolder(path);
#endif
}

bool replayJournal(const std::string& databasePath) {
    const std::string path = journalPath(databasePath);
    if (!journalExists(path)) return false;
    const std::vector<std::uint8_t> j = readWhole(path);
    const ByteView v(j.data(), j.size());
    // Version 1 or 2, with the trailer of the same version.
    int version = 0;
    if (j.size() >= kHeaderSize + kTrailerSize) {
        const std::uint8_t* end = j.data() + j.size() - 8;
        if (std::memcmp(j.data(), kMagic2, 8) == 0 && std::memcmp(end, kEndMagic2, 8) == 0)
            version = 2;
        if (std::memcmp(j.data(), kMagic1, 8) == 0 && std::memcmp(end, kEndMagic1, 8) == 0)
            version = 1;
    }
    bool complete = version != 0;
    std::size_t pageSize = 0, count = 0;
    std::uint64_t length = 0;
    if (complete) {
        pageSize = v.u32(8);
        length = v.i64(12);
        count = v.u32(20);
        complete = pageSize >= 512 && pageSize <= 65536 && pageSize % 32 == 0 &&
                   (j.size() - kHeaderSize - kTrailerSize) % (4 + pageSize) == 0 &&
                   (j.size() - kHeaderSize - kTrailerSize) / (4 + pageSize) == count;
    }
    if (complete) {
        std::uint64_t expected = 0;
        if (version == 1) {
            expected = checksumV1(j.data(), j.size() - kTrailerSize);
        } else {
            Checksum2 sum;
            sum.add(pageSize);
            sum.add(length);
            sum.add(count);
            for (std::size_t i = 0; i < count; ++i) {
                const std::size_t at = kHeaderSize + i * (4 + pageSize);
                sum.addPage(v.u32(at), j.data() + at + 4, pageSize);
            }
            expected = sum.value();
        }
        complete = v.i64(j.size() - kTrailerSize) == static_cast<std::int64_t>(expected);
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
        if (::ftruncate(fd, static_cast<off_t>(length)) != 0)
            ioFail("Cannot restore", databasePath, errno);
        if (::fdatasync(fd) != 0) ioFail("Cannot flush", databasePath, errno);
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
