// Gathered writes on POSIX systems, shared by the database file and the
// journal.
#pragma once
#ifndef _WIN32

#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace jet {

// Writes the buffers of `iov` (`bytes` in all) at `offset`, resuming after
// a short write or an interrupted call. Returns 0, or the errno of the write
// that failed. `iov` is consumed.
inline int writeGatheredAt(int fd, std::vector<iovec>& iov, std::size_t bytes,
                           std::uint64_t offset) {
    std::size_t first = 0;
    while (bytes > 0) {
        ssize_t put = ::pwritev(fd, iov.data() + first, static_cast<int>(iov.size() - first),
                                static_cast<off_t>(offset));
        if (put < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        std::size_t done = static_cast<std::size_t>(put);
        bytes -= done;
        offset += done;
        while (done > 0 && first < iov.size()) {
            if (done >= iov[first].iov_len) {
                done -= iov[first].iov_len;
                ++first;
            } else {
                iov[first].iov_base = static_cast<std::uint8_t*>(iov[first].iov_base) + done;
                iov[first].iov_len -= done;
                done = 0;
            }
        }
    }
    return 0;
}

}  // namespace jet

#endif
