#include "io/lock_probe.h"

#include <algorithm>

#include "format/bytes.h"
#include "format/text.h"
#include "jet/jet.h"

namespace jet {
namespace {

constexpr std::size_t kNameSize = 32;

// A 32-byte ANSI name: up to the first NUL, trailing spaces dropped.
std::string decodeName(ByteView field) {
    std::size_t length = 0;
    while (length < field.size() && field.u8(length) != 0) ++length;
    while (length > 0 && field.u8(length - 1) == ' ') --length;
    return utf16ToUtf8(decodeCodePageText(field.sub(0, length), 1252));
}

std::string asciiLower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    return s;
}

}  // namespace

bool EnvLockProbe::isHeld(const std::filesystem::path& file, std::uint64_t offset,
                          std::uint64_t length) {
    try {
        return env_.rangeLocked(pathText(file), offset, length);
    } catch (const Error& e) {
        throw Error("No se pueden consultar los bloqueos de " + pathText(file) + ": " + e.message(),
                    ErrorKind::Io);
    }
}

std::optional<std::filesystem::path> findLockFile(Env& env, const std::filesystem::path& dbPath) {
    std::filesystem::path wanted = dbPath.filename();
    wanted.replace_extension(".ldb");
    std::filesystem::path dir = dbPath.parent_path();
    if (dir.empty()) dir = ".";

    const std::filesystem::path exact = dir / wanted;
    const std::optional<FileInfo> exactInfo = env.fileInfo(pathText(exact));
    const bool exactExists = exactInfo && exactInfo->regular;
#ifndef _WIN32
    if (exactExists) return exact;
#endif

    // The database may sit on a share written from Windows, where letter case
    // carries no meaning. On Windows every spelling opens the file; the walk
    // names it as it is spelt on disk, and a folder we may not list still
    // finds it by name.
    const std::string wantedLower = asciiLower(pathText(wanted));
    std::optional<std::filesystem::path> found;
    for (const std::string& name : env.folderEntries(pathText(dir))) {
        if (asciiLower(name) != wantedLower) continue;
        const std::filesystem::path candidate = dir / utf8Path(name);
        if (!found || candidate < *found) found = candidate;  // deterministic among several
    }
    if (!found && exactExists) return exact;
    return found;
}

std::vector<LockFileEntry> readLockFile(Env& env, const std::filesystem::path& lockPath) {
    // On Windows through a handle that shares deleting too: Access must stay
    // free to remove its lock file while we read it.
    std::vector<std::uint8_t> bytes;
    try {
        bytes = readFile(env, pathText(lockPath), kLockRecordSize * kMaxLockSlots);
    } catch (const Error& e) {
        throw Error(
            "No se puede leer el archivo de bloqueo " + pathText(lockPath) + ": " + e.message(),
            ErrorKind::Io);
    }

    const ByteView view(bytes.data(), bytes.size());
    std::vector<LockFileEntry> entries;
    for (std::size_t i = 0; (i + 1) * kLockRecordSize <= view.size(); ++i) {
        const ByteView record = view.sub(i * kLockRecordSize, kLockRecordSize);
        entries.push_back({static_cast<int>(i) + 1, decodeName(record.sub(0, kNameSize)),
                           decodeName(record.sub(kNameSize, kNameSize))});
    }
    return entries;
}

std::vector<std::string> liveLockHolders(Env& env, const std::filesystem::path& dbPath,
                                         LockProbe& probe) {
    const std::optional<std::filesystem::path> lockPath = findLockFile(env, dbPath);
    if (!lockPath) return {};
    std::vector<std::string> live;
    for (const LockFileEntry& entry : readLockFile(env, *lockPath)) {
        const std::uint64_t byte = kUserLockBase + static_cast<std::uint64_t>(entry.slot - 1);
        if (probe.isHeld(*lockPath, byte, 1)) live.push_back(entry.computer);
    }
    if (live.empty() && probe.isHeld(*lockPath, kUserLockBase, kMaxLockSlots))
        live.emplace_back();  // a live slot without a record we can name
    return live;
}

void refuseIfOpenElsewhere(Env& env, const std::filesystem::path& dbPath, LockProbe& probe) {
    const std::vector<std::string> live = liveLockHolders(env, dbPath, probe);
    if (live.empty()) return;
    std::string list;
    for (const std::string& computer : live)
        list += (list.empty() ? "" : ", ") + (computer.empty() ? std::string("?") : computer);
    throw Error("The database is open in Access on another computer (" + list + ")",
                ErrorKind::OpenElsewhere, live);
}

}  // namespace jet
