// The environment: every operation the engine performs on files outside
// memory, for the database, its rollback journal and Access's lock file.
//
//   File       the bytes of one open file: read, write, gathered write,
//              truncate, sync, and a read-only memory image where the system
//              gives one.
//   Env        opens and creates files, tells whether and how a path exists,
//              removes files and makes folder entries durable, takes the
//              engine's write lock, asks whether a byte range is locked by
//              someone else, and lists a folder.
//
// systemEnv() is the real one: POSIX (env_posix.cpp) or Win32
// (env_win32.cpp). MemoryEnv (memory_env.h) keeps files in memory and can
// stop, like a crash, at any operation; tests use it to cut, fail and
// corrupt files without touching the disk. Nothing else in the engine calls
// the operating system.
//
// Paths are UTF-8 text. Failures raise jet::Error: NotFound for a missing
// file, ReadOnly when write access is refused, Locked for a file another
// program keeps exclusively, Io for everything else.
//
// Threads: an Env may be used from any thread; a File from one at a time.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace jet {

class File {
  public:
    virtual ~File();
    virtual std::uint64_t size() const = 0;
    // Reads exactly n bytes; a range past the end raises Corrupt, an
    // operating-system failure raises Io.
    virtual void read(std::uint64_t offset, std::uint8_t* dst, std::size_t n) = 0;
    virtual void write(std::uint64_t offset, const std::uint8_t* src, std::size_t n) = 0;
    // Writes the buffers one after the other from `offset`: consecutive
    // pages in one call where the system can.
    struct Buffer {
        const std::uint8_t* data;
        std::size_t size;
    };
    virtual void writeGather(std::uint64_t offset, const std::vector<Buffer>& buffers);
    // Cuts (or extends with zeros) the file to `length` bytes.
    virtual void truncate(std::uint64_t length) = 0;
    // Makes the written data durable (the contents and the length).
    virtual void sync() = 0;
    virtual bool writable() const = 0;
    // The whole file as memory, or nullptr when the file cannot provide it.
    // Covers mappedSize() bytes; pages beyond go through read().
    virtual const std::uint8_t* mapping() const { return nullptr; }
    virtual std::uint64_t mappedSize() const { return 0; }
    // A name for messages (the path for real files).
    const std::string& name() const { return name_; }

  protected:
    explicit File(std::string name) : name_(std::move(name)) {}

  private:
    std::string name_;
};

// What a path is. `modified` and `size` change with every write by anyone,
// which is how a reader notices another program's write.
struct FileInfo {
    bool regular = false;  // a plain file (not a folder, device or pipe)
    bool folder = false;
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // in the system's own units (POSIX ns, Windows 100 ns)
    friend bool operator==(const FileInfo&, const FileInfo&) = default;
};

// The engine's write lock on a database, held until destroyed.
class HeldLock {
  public:
    virtual ~HeldLock();
};

class Env {
  public:
    virtual ~Env();

    // Opens an existing file. `writable` asks for read-write access; a file
    // that may only be read is opened read-only instead (writable() false).
    // A folder or a device: Io.
    virtual std::unique_ptr<File> openFile(const std::string& path, bool writable) = 0;
    // Creates the file read-write, or empties it when it exists.
    virtual std::unique_ptr<File> createFile(const std::string& path) = 0;
    // Nothing when the path does not exist (or cannot be examined).
    virtual std::optional<FileInfo> fileInfo(const std::string& path) = 0;
    // Deletes a file; one that is already gone is no error.
    virtual void removeFile(const std::string& path) = 0;
    // Makes the creation and removal of files in the folder of `path`
    // durable. Best effort; nothing to do where the file's own sync does it.
    virtual void syncFolder(const std::string& path) = 0;

    // The exclusive write lock on the database at `path` if it is free now;
    // nullptr while another holder (process or handle) has it. A file that
    // cannot be opened for writing: ReadOnly.
    virtual std::unique_ptr<HeldLock> tryLockWrites(const std::string& path) = 0;
    // Whether another lock owner holds any byte of [offset, offset + length)
    // of `path` (Access's user slots in its lock file). Never blocks them.
    virtual bool rangeLocked(const std::string& path, std::uint64_t offset,
                             std::uint64_t length) = 0;
    // The names (not paths) of the plain files in `folder`; empty when it
    // cannot be listed.
    virtual std::vector<std::string> folderEntries(const std::string& folder) = 0;
};

// The operating system's environment.
Env& systemEnv();

// A path given as UTF-8 text (as the engine takes them) for std::filesystem;
// on Windows a plain std::string would be read in the ANSI code page.
std::filesystem::path utf8Path(const std::string& path);
// The other way round: a path as UTF-8 text.
std::string pathText(const std::filesystem::path& path);

// The plain files of a folder through std::filesystem: what both system
// environments answer for folderEntries().
std::vector<std::string> plainFilesIn(const std::string& folder);

// The whole file, at most `limit` bytes of it.
std::vector<std::uint8_t> readFile(Env& env, const std::string& path, std::size_t limit = SIZE_MAX);

}  // namespace jet
