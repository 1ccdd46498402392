// A child process that holds a byte-range lock, as a live Access user holds
// its user slot in the lock file. Tests of the lock probe and of refused
// writes share it.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

namespace jet::testing {

// A child process holding a byte-range lock, as a live Access user would.
class LockHolder {
  public:
    LockHolder(const std::filesystem::path& file, std::uint64_t offset, short type) {
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

}  // namespace jet::testing
