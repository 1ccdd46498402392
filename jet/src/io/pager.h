// Every byte of the database file the engine reads or writes: File (POSIX,
// Win32 or in memory) and the Pager over it, which hands out pages by number.
//
// Views returned by Pager::page() point into the file's memory image or the
// pager's cache and stay valid until the pager is told that the file
// changed (the writer's concern; the reader never invalidates them).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "format/bytes.h"
#include "format/format.h"

namespace jet {

// The bytes of a file. The real implementation uses POSIX I/O (and a
// read-only memory map for fast page access); MemoryFile holds the bytes in
// memory so tests can truncate, corrupt and fail writes.
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

// Opens a real file. writable asks for read-write access; a file that may
// only be read is opened read-only instead (writable() then says false).
// Missing file: NotFound; directory, permissions, other failures: Io.
std::unique_ptr<File> openFile(const std::string& path, bool writable);

// A path given as UTF-8 text (as the engine takes them) for std::filesystem;
// on Windows a plain std::string would be read in the ANSI code page.
std::filesystem::path utf8Path(const std::string& path);

class MemoryFile : public File {
  public:
    explicit MemoryFile(std::vector<std::uint8_t> bytes, std::string name = "(memory)");
    std::uint64_t size() const override { return bytes_.size(); }
    void read(std::uint64_t offset, std::uint8_t* dst, std::size_t n) override;
    void write(std::uint64_t offset, const std::uint8_t* src, std::size_t n) override;
    void sync() override {}
    bool writable() const override { return true; }
    const std::uint8_t* mapping() const override { return bytes_.data(); }
    std::uint64_t mappedSize() const override { return bytes_.size(); }
    std::vector<std::uint8_t>& bytes() { return bytes_; }

  private:
    std::vector<std::uint8_t> bytes_;
};

// Page access by number. Every page number is checked against the file
// size; a page that is not in the memory image is read once and cached.
class Pager {
  public:
    Pager(std::unique_ptr<File> file, const Format& format);
    Pager(const Pager&) = delete;
    Pager& operator=(const Pager&) = delete;

    const Format& format() const { return *format_; }
    std::uint32_t pageCount() const { return pageCount_; }
    File& file() { return *file_; }

    // The whole page n; Corrupt when n is past the end of the file.
    ByteView page(std::uint32_t n);
    // The page, after checking its type byte; `what` names the structure
    // for the error message.
    ByteView page(std::uint32_t n, std::uint8_t type, const char* what);
    // A hint that page n will be read soon (no effect on pages not mapped).
    void prefetch(std::uint32_t n) const;
    // While `out` is set, every page number asked for is appended to it:
    // what a structure was built from, so that it can be checked later.
    void recordReads(std::vector<std::uint32_t>* out) { recording_ = out; }
    // Whether pages come from the file's shared memory image (and so always
    // show its current bytes) rather than from copies cached at first read.
    bool mapsWholeFile() const { return mappedPages_ >= pageCount_; }

    // Normally every read of a mapped page first asks the system for the
    // file's size: another program may have cut the file short, and touching
    // a mapped page past its end would kill the process. While the caller
    // holds the write lock no writer of this engine can shorten the file, so
    // a statement's many reads skip that question (the size is checked once
    // when the hold starts).
    class SizeHold {
      public:
        explicit SizeHold(Pager& pager);
        ~SizeHold();
        SizeHold(const SizeHold&) = delete;
        SizeHold& operator=(const SizeHold&) = delete;

      private:
        Pager& pager_;
        std::uint32_t previous_;
    };

  private:
    std::unique_ptr<File> file_;
    const Format* format_;
    std::uint32_t pageCount_ = 0;
    std::uint32_t mappedPages_ = 0;
    std::uint32_t heldPages_ = 0;  // mapped pages known to be backed (SizeHold)
    std::vector<std::uint32_t>* recording_ = nullptr;
    std::unordered_map<std::uint32_t, std::unique_ptr<std::uint8_t[]>> cache_;
};

}  // namespace jet
