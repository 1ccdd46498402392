// Another lock owner holding a byte-range lock, as a live Access user holds
// its user slot in the lock file. Tests of the lock probe and of refused
// writes share it. On POSIX it is a child process (fcntl locks belong to a
// process); on Windows a second handle of this process is already another
// owner, as it is for Access's own locks.
#pragma once

#ifdef _WIN32
#include "io/win32_file.h"
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <stdexcept>

namespace jet::testing {

enum class LockKind { Shared, Exclusive };

#ifdef _WIN32
class LockHolder {
  public:
    LockHolder(const std::filesystem::path& file, std::uint64_t offset, LockKind kind)
        : offset_(offset) {
        const std::u8string name = file.u8string();
        handle_ = win32::Handle::open(std::string(name.begin(), name.end()), win32::Open::Read);
        locked_ = handle_.tryLock(offset_, 1, kind == LockKind::Exclusive);
    }
    ~LockHolder() { release(); }
    void release() {
        if (locked_) handle_.unlock(offset_, 1);
        locked_ = false;
        handle_ = win32::Handle();
    }
    bool locked() const { return locked_; }

  private:
    win32::Handle handle_;
    std::uint64_t offset_;
    bool locked_ = false;
};
#else

// A child process holding a byte-range lock, as a live Access user would.
class LockHolder {
  public:
    LockHolder(const std::filesystem::path& file, std::uint64_t offset, LockKind kind) {
        const short type = kind == LockKind::Exclusive ? F_WRLCK : F_RDLCK;
        int ready[2], release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0) throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            const int fd = ::open(file.c_str(), type == F_WRLCK ? O_RDWR : O_RDONLY);
            struct flock lock {};
            lock.l_type = type;
            lock.l_whence = SEEK_SET;
            lock.l_start = static_cast<off_t>(offset);
            lock.l_len = 1;
            const char ok = fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0 ? 1 : 0;
            (void)!::write(ready[1], &ok, 1);
            char c;
            (void)!::read(release[0], &c, 1);  // until the parent lets go
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        char ok = 0;
        locked_ = ::read(ready[0], &ok, 1) == 1 && ok == 1;
        ::close(ready[0]);
        releaseFd_ = release[1];
    }
    ~LockHolder() { release(); }
    void release() {
        if (pid_ <= 0) return;
        ::close(releaseFd_);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    bool locked() const { return locked_; }

  private:
    pid_t pid_ = -1;
    int releaseFd_ = -1;
    bool locked_ = false;
};
#endif

}  // namespace jet::testing
