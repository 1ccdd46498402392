#include "io/file_lock.h"

#include <atomic>
#include <thread>

#include "jet/jet.h"

namespace jet {

namespace {

std::atomic<std::chrono::milliseconds::rep> gDefaultWait{3000};

}  // namespace

std::chrono::milliseconds FileLock::defaultWait() {
    return std::chrono::milliseconds(gDefaultWait.load());
}
void FileLock::setDefaultWait(std::chrono::milliseconds wait) { gDefaultWait = wait.count(); }

FileLock FileLock::acquire(Env& env, const std::string& path, std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        if (std::unique_ptr<HeldLock> hold = env.tryLockWrites(path))
            return FileLock(std::move(hold));
        if (std::chrono::steady_clock::now() >= deadline)
            throw Error("The database '" + path +
                            "' is in use: another program is writing to it. Try again in a moment.",
                        ErrorKind::Locked);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

FileLock FileLock::tryAcquire(Env& env, const std::string& path) {
    try {
        return FileLock(env.tryLockWrites(path));
    } catch (const Error&) {
        return FileLock();
    }
}

}  // namespace jet
