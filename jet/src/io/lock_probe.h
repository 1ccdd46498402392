// Detecting Access users of a database through its lock file.
//
// Access (Jet) keeps "<name>.ldb" beside an open database: up to 255 records
// of 64 bytes, one per user slot (computer name, then security name, each 32
// bytes of ANSI text padded with NULs or spaces). Jet does not clear a record
// when its user leaves and the file survives crashes, so a record alone
// proves nothing. A live user also holds a byte-range lock on one byte per
// slot far beyond the end of the file: byte 0x10000000 + k for slot k = 1..255.
// We take record i (counting from 0) as slot i + 1 and probe byte
// 0x10000001 + i. When no record's byte is held, the whole slot range is
// probed once more so that a live user whose record we cannot match still
// blocks the write (it is reported with an empty computer name).
//
// This is a heuristic: on Linux the locks reach Jet only through an SMB
// server that honours them (a CIFS mount without "nobrl"). On Windows the
// locks are the system's own and the probe sees Access's directly. The probe
// never deletes or rewrites the lock file; on POSIX it takes no lock at all,
// on Windows (which cannot ask who holds a lock) it takes the probed bytes
// for an instant and gives them back at once. All file access goes through
// the environment (env.h).
//
// Ownership: plain functions and a stateless probe; any thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "io/env.h"
#include "jet/jet.h"

namespace jet {

// LockProbe, the interface, is public (jet/jet.h): callers may replace the
// probe a Database uses.

// The real probe: asks the environment (env.h) whether another owner holds
// the range, which on POSIX is a lock query (fcntl F_OFD_GETLK) that takes
// no lock, and on Windows a LockFileEx taken and given back at once.
class EnvLockProbe : public LockProbe {
  public:
    explicit EnvLockProbe(Env& env) : env_(env) {}
    bool isHeld(const std::filesystem::path& file, std::uint64_t offset,
                std::uint64_t length) override;

  private:
    Env& env_;
};

// First user-slot lock byte and the number of slots.
inline constexpr std::uint64_t kUserLockBase = 0x10000001;
inline constexpr int kMaxLockSlots = 255;
inline constexpr std::size_t kLockRecordSize = 64;

struct LockFileEntry {
    int slot = 0;          // 1-based user slot
    std::string computer;  // UTF-8, padding removed
    std::string user;      // UTF-8, padding removed ("Admin" without security)
};

// The lock file beside `dbPath`: the same name with extension .ldb, the whole
// name compared without regard to ASCII letter case (an exact match wins).
std::optional<std::filesystem::path> findLockFile(Env& env, const std::filesystem::path& dbPath);

// The records of a lock file, in slot order; a trailing partial record and
// records beyond slot 255 are ignored. Raises jet::Error (Io) when the file
// cannot be read.
std::vector<LockFileEntry> readLockFile(Env& env, const std::filesystem::path& lockPath);

// Computer names of the live users of the database, in slot order (one entry
// per live slot). Empty when there is no lock file or nobody holds a slot.
std::vector<std::string> liveLockHolders(Env& env, const std::filesystem::path& dbPath,
                                         LockProbe& probe);

// Raises jet::Error (OpenElsewhere, the live users' computer names as its
// names()) when the database has live users; to be called before every write
// on the embedded route. The message is for the engine's own tools; the
// application words its own from the names.
void refuseIfOpenElsewhere(Env& env, const std::filesystem::path& dbPath, LockProbe& probe);

}  // namespace jet
