#include "io/lock_probe.h"

#ifdef _WIN32
#include "io/win32_file.h"
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "format/bytes.h"
#include "jet/jet.h"

namespace jet {
namespace {

constexpr std::size_t kNameSize = 32;

// Windows-1252 code points for 0x80..0x9F; the five unassigned bytes keep
// their C1 value, as Windows itself converts them.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// A 32-byte ANSI name: up to the first NUL, trailing spaces dropped.
std::string decodeName(ByteView field) {
    std::size_t length = 0;
    while (length < field.size() && field.u8(length) != 0) ++length;
    while (length > 0 && field.u8(length - 1) == ' ') --length;
    std::string name;
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t b = field.u8(i);
        appendUtf8(name, b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : char32_t{b});
    }
    return name;
}

std::string asciiLower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    return s;
}

// A path as UTF-8 text, for messages and name comparison (Windows would
// otherwise convert it to the ANSI code page, losing characters).
std::string pathText(const std::filesystem::path& path) {
#ifdef _WIN32
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
#else
    return path.string();
#endif
}

#ifndef _WIN32
bool queryLock(int fd, int command, struct flock& lock) {
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_pid = 0;  // required by the OFD commands
    return ::fcntl(fd, command, &lock) == 0;
}
#endif

}  // namespace

#ifdef _WIN32
bool WindowsLockProbe::isHeld(const std::filesystem::path& file, std::uint64_t offset,
                              std::uint64_t length) {
    win32::Handle handle;
    try {
        handle = win32::Handle::open(pathText(file), win32::Open::Read);
    } catch (const Error& e) {
        // Only a program that uses the database keeps its lock file unshared.
        if (e.kind() == ErrorKind::Locked) return true;
        throw Error(
            "No se puede abrir el archivo de bloqueo " + pathText(file) + ": " + e.message(),
            ErrorKind::Io);
    }
    try {
        if (!handle.tryLock(offset, length)) return true;
        handle.unlock(offset, length);
    } catch (const Error& e) {
        throw Error("No se pueden consultar los bloqueos de " + pathText(file) + ": " + e.message(),
                    ErrorKind::Io);
    }
    return false;
}
#else
bool FcntlLockProbe::isHeld(const std::filesystem::path& file, std::uint64_t offset,
                            std::uint64_t length) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw Error("No se puede abrir el archivo de bloqueo " + file.string() + ": " +
                        std::strerror(errno),
                    ErrorKind::Io);
    struct flock lock {};
    lock.l_start = static_cast<off_t>(offset);
    lock.l_len = static_cast<off_t>(length);
    bool ok = false;
#ifdef F_OFD_GETLK
    // An open-file-description query also sees locks this process holds
    // through other descriptors, and closing fd cannot drop any of ours.
    ok = queryLock(fd, F_OFD_GETLK, lock);
    if (!ok && errno == EINVAL) ok = queryLock(fd, F_GETLK, lock);
#else
    ok = queryLock(fd, F_GETLK, lock);
#endif
    const int savedErrno = errno;
    ::close(fd);
    if (!ok)
        throw Error("No se pueden consultar los bloqueos de " + file.string() + ": " +
                        std::strerror(savedErrno),
                    ErrorKind::Io);
    return lock.l_type != F_UNLCK;
}
#endif

std::optional<std::filesystem::path> findLockFile(const std::filesystem::path& dbPath) {
    std::filesystem::path wanted = dbPath.filename();
    wanted.replace_extension(".ldb");
    std::filesystem::path dir = dbPath.parent_path();
    if (dir.empty()) dir = ".";

    const std::filesystem::path exact = dir / wanted;
    std::error_code ec;
#ifdef _WIN32
    // Every spelling opens the file here; the walk below names it as it is
    // spelt on disk. A folder we may not list still finds it by name.
    const bool exactExists = std::filesystem::is_regular_file(exact, ec);
#else
    if (std::filesystem::is_regular_file(exact, ec)) return exact;
#endif

    // The database may sit on a share written from Windows, where letter case
    // carries no meaning.
    const std::string wantedLower = asciiLower(pathText(wanted));
    std::optional<std::filesystem::path> found;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (asciiLower(pathText(it->path().filename())) != wantedLower) continue;
        std::error_code typeEc;
        if (!it->is_regular_file(typeEc)) continue;
        if (!found || it->path() < *found) found = it->path();  // deterministic among several
    }
#ifdef _WIN32
    if (!found && exactExists) return exact;
#endif
    return found;
}

std::vector<LockFileEntry> readLockFile(const std::filesystem::path& lockPath) {
#ifdef _WIN32
    // Through a handle that shares deleting too: Access must stay free to
    // remove its lock file while we read it.
    std::vector<std::uint8_t> bytes(kLockRecordSize * kMaxLockSlots);
    try {
        const win32::Handle handle = win32::Handle::open(pathText(lockPath), win32::Open::Read);
        bytes.resize(handle.readAt(0, bytes.data(), bytes.size()));
    } catch (const Error& e) {
        throw Error(
            "No se puede leer el archivo de bloqueo " + pathText(lockPath) + ": " + e.message(),
            ErrorKind::Io);
    }
#else
    std::ifstream in(lockPath, std::ios::binary);
    if (!in)
        throw Error("No se puede leer el archivo de bloqueo " + pathText(lockPath), ErrorKind::Io);
    std::vector<std::uint8_t> bytes(kLockRecordSize * kMaxLockSlots);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (in.bad())
        throw Error("No se puede leer el archivo de bloqueo " + pathText(lockPath), ErrorKind::Io);
    bytes.resize(static_cast<std::size_t>(in.gcount()));
#endif

    const ByteView view(bytes.data(), bytes.size());
    std::vector<LockFileEntry> entries;
    for (std::size_t i = 0; (i + 1) * kLockRecordSize <= view.size(); ++i) {
        const ByteView record = view.sub(i * kLockRecordSize, kLockRecordSize);
        entries.push_back({static_cast<int>(i) + 1, decodeName(record.sub(0, kNameSize)),
                           decodeName(record.sub(kNameSize, kNameSize))});
    }
    return entries;
}

std::vector<std::string> liveLockHolders(const std::filesystem::path& dbPath, LockProbe& probe) {
    const std::optional<std::filesystem::path> lockPath = findLockFile(dbPath);
    if (!lockPath) return {};
    std::vector<std::string> live;
    for (const LockFileEntry& entry : readLockFile(*lockPath)) {
        const std::uint64_t byte = kUserLockBase + static_cast<std::uint64_t>(entry.slot - 1);
        if (probe.isHeld(*lockPath, byte, 1)) live.push_back(entry.computer);
    }
    if (live.empty() && probe.isHeld(*lockPath, kUserLockBase, kMaxLockSlots))
        live.emplace_back();  // a live slot without a record we can name
    return live;
}

void refuseIfOpenElsewhere(const std::filesystem::path& dbPath, LockProbe& probe) {
    const std::vector<std::string> live = liveLockHolders(dbPath, probe);
    if (live.empty()) return;
    std::string list;
    for (const std::string& computer : live)
        list += (list.empty() ? "" : ", ") + (computer.empty() ? std::string("?") : computer);
    throw Error("The database is open in Access on another computer (" + list + ")",
                ErrorKind::OpenElsewhere, live);
}

}  // namespace jet
