#include "io/file_lock.h"

#ifdef _WIN32
#include "io/win32_file.h"
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <thread>

#include "jet/jet.h"

namespace jet {

namespace {

std::chrono::milliseconds gDefaultWait{3000};

}  // namespace

std::chrono::milliseconds FileLock::defaultWait() { return gDefaultWait; }
void FileLock::setDefaultWait(std::chrono::milliseconds wait) { gDefaultWait = wait; }

#ifdef _WIN32

namespace {

bool lockByte(const win32::Handle& handle) { return handle.tryLock(kWindowsLockByte, 1); }

// Windows frees the locks of a closed handle only when it gets round to it,
// so the lock is given back explicitly first.
void unlockAndClose(void* h) {
    if (!h) return;
    win32::Handle handle(h);
    try {
        handle.unlock(kWindowsLockByte, 1);
    } catch (const Error&) {
        // Closing still releases it, only later.
    }
}

}  // namespace

FileLock FileLock::acquire(const std::string& path, std::chrono::milliseconds wait) {
    // Opening for writing is what tells a read-only file apart, as on POSIX.
    win32::Handle handle = win32::Handle::open(path, win32::Open::ReadWrite);
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (!lockByte(handle)) {
        if (std::chrono::steady_clock::now() >= deadline)
            throw Error("The database '" + path +
                            "' is in use: another program is writing to it. Try again in a moment.",
                        ErrorKind::Locked);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return FileLock(handle.release());
}

FileLock FileLock::tryAcquire(const std::string& path) {
    try {
        win32::Handle handle = win32::Handle::open(path, win32::Open::ReadWrite);
        if (!lockByte(handle)) return FileLock();
        return FileLock(handle.release());
    } catch (const Error&) {
        return FileLock();
    }
}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        unlockAndClose(fd_);
        fd_ = other.fd_;
        other.fd_ = kNone;
    }
    return *this;
}

FileLock::~FileLock() { unlockAndClose(fd_); }

#else

namespace {

#ifdef F_OFD_SETLK
constexpr int kSetLock = F_OFD_SETLK;
#else
constexpr int kSetLock = F_SETLK;
#endif

// 0 on success, EAGAIN/EACCES when someone else holds it, else errno.
int lockWhole(int fd) {
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0;  // to the end of the file, however it grows
    fl.l_pid = 0;  // required for open file description locks
    for (;;) {
        if (::fcntl(fd, kSetLock, &fl) == 0) return 0;
        if (errno != EINTR) return errno;
    }
}

int openForLock(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd >= 0) return fd;
    const int err = errno;
    if (err == ENOENT) throw Error("The file '" + path + "' does not exist", ErrorKind::NotFound);
    if (err == EACCES || err == EROFS || err == EPERM)
        throw Error("The database '" + path + "' is read-only: it cannot be changed",
                    ErrorKind::ReadOnly);
    throw Error("Cannot open '" + path + "' for writing: " + std::strerror(err), ErrorKind::Io);
}

}  // namespace

FileLock FileLock::acquire(const std::string& path, std::chrono::milliseconds wait) {
    const int fd = openForLock(path);
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        const int err = lockWhole(fd);
        if (err == 0) return FileLock(fd);
        if (err != EAGAIN && err != EACCES) {
            ::close(fd);
            throw Error("Cannot lock '" + path + "': " + std::strerror(err), ErrorKind::Io);
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            ::close(fd);
            throw Error("The database '" + path +
                            "' is in use: another program is writing to it. Try again in a moment.",
                        ErrorKind::Locked);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

FileLock FileLock::tryAcquire(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return FileLock();
    if (lockWhole(fd) != 0) {
        ::close(fd);
        return FileLock();
    }
    return FileLock(fd);
}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

FileLock::~FileLock() {
    // Closing the description releases its lock.
    if (fd_ >= 0) ::close(fd_);
}

#endif

}  // namespace jet
