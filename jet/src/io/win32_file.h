// Windows file handles for the Win32 environment (env_win32.cpp).
//
// The engine speaks of files by UTF-8 path strings; Windows wants UTF-16, so
// every path goes through widePath(). Failures become jet::Error with the
// kind the POSIX code would give (NotFound, ReadOnly, Locked, Io) and the
// system's own message. Byte-range locks on Windows are mandatory: a locked
// byte cannot be read or written through any other handle, so the engine only
// ever locks bytes far beyond the data (see env_win32.cpp).
//
// Handle owns one HANDLE and closes it; moving transfers it. One thread at a
// time per Handle. Compiled only on Windows.
#pragma once

#ifdef _WIN32

#include <cstddef>
#include <cstdint>
#include <string>

namespace jet::win32 {

// UTF-8 to UTF-16 (invalid sequences become U+FFFD, as Windows converts them).
std::wstring widePath(const std::string& utf8);
// The system's text for an error code, without the trailing line break.
std::string errorText(unsigned long code);

enum class Open {
    Read,       // existing file, read only
    ReadWrite,  // existing file, read and write
    Create,     // read and write; created, or emptied when it exists
};

class Handle {
  public:
    // Shares reading, writing and deleting with everyone, as POSIX does:
    // Access and other instances of the tool keep working with the file.
    // Fails with NotFound, ReadOnly (write access refused) or Io.
    static Handle open(const std::string& path, Open mode);

    Handle() = default;
    explicit Handle(void* h) : h_(h) {}
    Handle(Handle&& other) noexcept : h_(other.h_) { other.h_ = nullptr; }
    Handle& operator=(Handle&& other) noexcept;
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle();

    std::uint64_t size() const;
    // Reads up to n bytes at offset; returns how many there were (fewer only
    // at the end of the file).
    std::size_t readAt(std::uint64_t offset, std::uint8_t* dst, std::size_t n) const;
    void writeAt(std::uint64_t offset, const std::uint8_t* src, std::size_t n) const;
    void flush() const;  // FlushFileBuffers: data and metadata reach the disk
    void truncate(std::uint64_t length) const;

    // Exclusive (or shared) lock of [offset, offset + length) if it is free
    // right now; false when another handle or process holds any of it.
    bool tryLock(std::uint64_t offset, std::uint64_t length, bool exclusive = true) const;
    void unlock(std::uint64_t offset, std::uint64_t length) const;

  private:
    [[noreturn]] void fail(const char* what, unsigned long code) const;
    void* h_ = nullptr;
    std::string path_;
};

// Deletes a file; a file that is already gone is no error.
void removeFile(const std::string& path);

struct FileTimes {
    std::int64_t writeTime = 0;  // 100 ns units since 1601
    std::int64_t size = -1;
    bool regular = false;
    bool directory = false;
};
// Attributes of a path; false when it does not exist or cannot be read.
bool fileAttributes(const std::string& path, FileTimes& out);

}  // namespace jet::win32

#endif  // _WIN32
