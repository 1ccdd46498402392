// The in-memory environment the crash tests stand on: what survives a killed
// process and a power cut, where a crash stops, and the write lock.
#include "io/memory_env.h"

#include <gtest/gtest.h>

#include "io/file_lock.h"
#include "jet/jet.h"

namespace jet {
namespace {

using Bytes = std::vector<std::uint8_t>;

void put(File& f, std::uint64_t at, const std::string& text) {
    f.write(at, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

std::string text(const MemoryEnv& env, const std::string& path) {
    const Bytes b = env.fileBytes(path);
    return std::string(b.begin(), b.end());
}

TEST(MemoryEnv, APowerCutKeepsOnlyWhatWasSyncedAKilledProcessKeepsEverything) {
    for (bool powerCut : {false, true}) {
        SCOPED_TRACE(powerCut ? "power cut" : "process killed");
        MemoryEnv env;
        env.putFile("d/db", Bytes{'a', 'b', 'c'});
        env.putFile("d/old", Bytes{'o'});
        {
            auto db = env.openFile("d/db", true);
            put(*db, 0, "AB");
            db->sync();
            put(*db, 2, "CD");  // not synced; grows the file
            auto fresh = env.createFile("d/new");
            put(*fresh, 0, "n");
            fresh->sync();  // its data, but not yet its folder entry
            env.removeFile("d/old");
            auto late = env.createFile("e/late");
            env.syncFolder("e/late");  // the entry, but not the data
            put(*late, 0, "x");
        }
        if (powerCut)
            env.restartAfterPowerCut();
        else
            env.restartAfterProcessCrash();
        EXPECT_EQ(text(env, "d/db"), powerCut ? "ABc" : "ABCD");
        EXPECT_EQ(env.hasFile("d/new"), !powerCut);
        EXPECT_EQ(env.hasFile("d/old"), powerCut);
        ASSERT_TRUE(env.hasFile("e/late"));
        EXPECT_EQ(text(env, "e/late"), powerCut ? "" : "x");
    }
    // A file whose writes happened to reach the disk keeps them.
    MemoryEnv env;
    env.putFile("db", Bytes{'a'});
    env.putFile("other", Bytes{'b'});
    put(*env.openFile("db", true), 0, "A");
    put(*env.openFile("other", true), 0, "B");
    env.restartAfterPowerCut([](const std::string& path) { return path == "db"; });
    EXPECT_EQ(text(env, "db"), "A");
    EXPECT_EQ(text(env, "other"), "b");
}

TEST(MemoryEnv, ACrashStopsAtTheChosenChangeAndEverythingAfterIt) {
    MemoryEnv env;
    env.putFile("db", Bytes(8, 0));
    auto db = env.openFile("db", true);
    env.crashAfter(2);
    const std::uint8_t one = 1;
    db->write(0, &one, 1);
    db->write(1, &one, 1);
    EXPECT_THROW(db->write(2, &one, 1), SimulatedCrash);
    EXPECT_TRUE(env.crashed());
    std::uint8_t back = 0;
    EXPECT_THROW(db->read(0, &back, 1), SimulatedCrash);  // the process is gone
    EXPECT_THROW(env.removeFile("db"), SimulatedCrash);
    env.restartAfterProcessCrash();
    EXPECT_EQ(env.fileBytes("db"), (Bytes{1, 1, 0, 0, 0, 0, 0, 0}));
    // Gathered writes count each buffer.
    const long start = env.changes();
    auto again = env.openFile("db", true);
    again->writeGather(0, {{&one, 1}, {&one, 1}, {&one, 1}});
    EXPECT_EQ(env.changes() - start, 3);
}

TEST(MemoryEnv, TheWriteLockIsExclusiveAndDiesWithTheProcess) {
    MemoryEnv env;
    env.putFile("db", Bytes(4, 0));
    FileLock held = FileLock::tryAcquire(env, "db");
    ASSERT_TRUE(held.held());
    EXPECT_FALSE(FileLock::tryAcquire(env, "db").held());
    try {
        FileLock::acquire(env, "db", std::chrono::milliseconds(0));
        ADD_FAILURE() << "a second writer got the lock";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Locked);
    }
    env.restartAfterProcessCrash();
    FileLock next = FileLock::tryAcquire(env, "db");
    EXPECT_TRUE(next.held());
    held = FileLock();  // the dead process's lock, released late, frees nothing
    EXPECT_FALSE(FileLock::tryAcquire(env, "db").held());
    EXPECT_THROW(FileLock::acquire(env, "missing", std::chrono::milliseconds(0)), Error);
}

}  // namespace
}  // namespace jet
