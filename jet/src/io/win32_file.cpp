#ifdef _WIN32

#include "io/win32_file.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <limits>

#include "jet/jet.h"

namespace jet::win32 {

namespace {

HANDLE raw(void* h) { return static_cast<HANDLE>(h); }

// ReadFile/WriteFile move at most a DWORD at a time.
constexpr std::size_t kMaxChunk = 1u << 30;

OVERLAPPED at(std::uint64_t offset) {
    OVERLAPPED o{};
    o.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    o.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return o;
}

bool notFound(DWORD code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ||
           code == ERROR_INVALID_NAME || code == ERROR_BAD_NETPATH;
}

}  // namespace

std::wstring widePath(const std::string& utf8) {
    if (utf8.empty()) return {};
    if (utf8.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        throw Error("path too long", ErrorKind::InvalidArgument);
    const int n = static_cast<int>(utf8.size());
    const int wide = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), n, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(std::max(wide, 0)), L'\0');
    if (wide > 0) ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), n, out.data(), wide);
    return out;
}

std::string errorText(unsigned long code) {
    wchar_t* buffer = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    if (n > 0 && buffer) {
        const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(n), nullptr, 0,
                                                nullptr, nullptr);
        text.resize(static_cast<std::size_t>(std::max(bytes, 0)));
        if (bytes > 0)
            ::WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(n), text.data(), bytes,
                                  nullptr, nullptr);
    }
    if (buffer) ::LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    if (text.empty()) text = "system error " + std::to_string(code);
    return text;
}

Handle Handle::open(const std::string& path, Open mode) {
    const DWORD access = mode == Open::Read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    const DWORD disposition = mode == Open::Create ? CREATE_ALWAYS : OPEN_EXISTING;
    // Sharing everything keeps the POSIX behaviour: opening never locks
    // anybody out, and a journal can be deleted while a reader looks at it.
    HANDLE h = ::CreateFileW(widePath(path).c_str(), access,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        if (notFound(code))
            throw Error("The file '" + path + "' does not exist", ErrorKind::NotFound);
        if (mode != Open::Read && (code == ERROR_ACCESS_DENIED || code == ERROR_WRITE_PROTECT))
            throw Error("The database '" + path + "' is read-only: it cannot be changed",
                        ErrorKind::ReadOnly);
        if (code == ERROR_SHARING_VIOLATION)
            throw Error("The file '" + path + "' is open exclusively in another program",
                        ErrorKind::Locked);
        throw Error("Cannot open '" + path + "': " + errorText(code), ErrorKind::Io);
    }
    Handle result(h);
    result.path_ = path;
    return result;
}

Handle& Handle::operator=(Handle&& other) noexcept {
    if (this != &other) {
        if (h_) ::CloseHandle(raw(h_));
        h_ = other.h_;
        path_ = std::move(other.path_);
        other.h_ = nullptr;
    }
    return *this;
}

Handle::~Handle() {
    if (h_) ::CloseHandle(raw(h_));
}

void Handle::fail(const char* what, unsigned long code) const {
    throw Error(std::string(what) + " '" + path_ + "': " + errorText(code), ErrorKind::Io);
}

std::uint64_t Handle::size() const {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(raw(h_), &size)) fail("Cannot read the size of", ::GetLastError());
    return static_cast<std::uint64_t>(size.QuadPart);
}

std::size_t Handle::readAt(std::uint64_t offset, std::uint8_t* dst, std::size_t n) const {
    std::size_t done = 0;
    while (done < n) {
        OVERLAPPED o = at(offset + done);
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min(n - done, kMaxChunk));
        if (!::ReadFile(raw(h_), dst + done, want, &got, &o)) {
            const DWORD code = ::GetLastError();
            if (code == ERROR_HANDLE_EOF) break;
            fail("Cannot read", code);
        }
        if (got == 0) break;
        done += got;
    }
    return done;
}

void Handle::writeAt(std::uint64_t offset, const std::uint8_t* src, std::size_t n) const {
    std::size_t done = 0;
    while (done < n) {
        OVERLAPPED o = at(offset + done);
        DWORD put = 0;
        const DWORD want = static_cast<DWORD>(std::min(n - done, kMaxChunk));
        if (!::WriteFile(raw(h_), src + done, want, &put, &o))
            fail("Cannot write", ::GetLastError());
        if (put == 0) fail("Cannot write", ERROR_WRITE_FAULT);
        done += put;
    }
}

void Handle::flush() const {
    if (!::FlushFileBuffers(raw(h_))) fail("Cannot flush", ::GetLastError());
}

void Handle::truncate(std::uint64_t length) const {
    FILE_END_OF_FILE_INFO info{};
    info.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
    if (!::SetFileInformationByHandle(raw(h_), FileEndOfFileInfo, &info, sizeof info))
        fail("Cannot change the length of", ::GetLastError());
}

bool Handle::tryLock(std::uint64_t offset, std::uint64_t length, bool exclusive) const {
    OVERLAPPED o = at(offset);
    const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    if (::LockFileEx(raw(h_), flags, 0, static_cast<DWORD>(length & 0xFFFFFFFFu),
                     static_cast<DWORD>(length >> 32), &o))
        return true;
    const DWORD code = ::GetLastError();
    // With FAIL_IMMEDIATELY a lock held by someone else reports one of these;
    // ERROR_IO_PENDING is what a handle opened for overlapped use would say.
    if (code == ERROR_LOCK_VIOLATION || code == ERROR_IO_PENDING || code == ERROR_SHARING_VIOLATION)
        return false;
    fail("Cannot lock", code);
}

void Handle::unlock(std::uint64_t offset, std::uint64_t length) const {
    OVERLAPPED o = at(offset);
    if (!::UnlockFileEx(raw(h_), 0, static_cast<DWORD>(length & 0xFFFFFFFFu),
                        static_cast<DWORD>(length >> 32), &o))
        fail("Cannot unlock", ::GetLastError());
}

void removeFile(const std::string& path) {
    if (::DeleteFileW(widePath(path).c_str())) return;
    const DWORD code = ::GetLastError();
    if (notFound(code)) return;
    throw Error("Cannot remove '" + path + "': " + errorText(code), ErrorKind::Io);
}

bool fileAttributes(const std::string& path, FileTimes& out) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(widePath(path).c_str(), GetFileExInfoStandard, &data)) return false;
    out.writeTime =
        static_cast<std::int64_t>((std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) |
                                  data.ftLastWriteTime.dwLowDateTime);
    out.size =
        static_cast<std::int64_t>((std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow);
    out.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    out.regular = !out.directory && (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) == 0;
    return true;
}

}  // namespace jet::win32

#endif  // _WIN32
