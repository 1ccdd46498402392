#include "io/journal.h"

#include <cstring>

#include "format/bytes.h"
#include "io/env.h"
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

}  // namespace

std::string journalPath(const std::string& databasePath) { return databasePath + "-journal"; }

void writeJournal(Env& env, const std::string& databasePath, std::size_t pageSize,
                  std::uint64_t fileLength, const std::vector<JournalPage>& pages) {
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

    std::vector<File::Buffer> pieces;
    pieces.reserve(2 + 2 * pages.size());
    pieces.push_back({header.data(), header.size()});
    for (std::size_t i = 0; i < pages.size(); ++i) {
        pieces.push_back({numbers.data() + 4 * i, 4});
        pieces.push_back({pages[i].bytes, pageSize});
    }
    pieces.push_back({trailer.data(), trailer.size()});

    const std::string path = journalPath(databasePath);
    try {
        std::unique_ptr<File> file = env.createFile(path);
        try {
            file->writeGather(0, pieces);
            file->sync();  // the data and the new length; the folder entry follows
        } catch (...) {
            file.reset();
            try {
                env.removeFile(path);
            } catch (...) {
                // An incomplete journal is ignored and removed on the next open.
            }
            throw;
        }
    } catch (const Error& e) {
        if (e.kind() == ErrorKind::Io) throw;
        throw Error("Cannot create the journal '" + path + "': " + e.message(), ErrorKind::Io);
    }
    env.syncFolder(path);
}

void removeJournal(Env& env, const std::string& databasePath) {
    const std::string path = journalPath(databasePath);
    env.removeFile(path);
    env.syncFolder(path);
}

bool replayJournal(Env& env, const std::string& databasePath) {
    const std::string path = journalPath(databasePath);
    if (!env.fileInfo(path)) return false;
    const std::vector<std::uint8_t> j = readFile(env, path);
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
        removeJournal(env, databasePath);
        return false;
    }
    {
        const std::unique_ptr<File> db = env.openFile(databasePath, true);
        if (!db->writable())
            throw Error("Cannot restore the database '" + databasePath + "': it is read-only",
                        ErrorKind::ReadOnly);
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t at = kHeaderSize + i * (4 + pageSize);
            const std::uint64_t page = v.u32(at);
            db->write(page * pageSize, j.data() + at + 4, pageSize);
        }
        db->truncate(length);
        db->sync();
    }
    removeJournal(env, databasePath);
    return true;
}

bool recoverJournal(Env& env, const std::string& databasePath) {
    if (!env.fileInfo(journalPath(databasePath))) return false;
    // A writer that holds the lock is still working with its journal.
    FileLock lock = FileLock::tryAcquire(env, databasePath);
    if (!lock.held()) return false;
    return replayJournal(env, databasePath);
}

}  // namespace jet
