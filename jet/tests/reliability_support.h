// Helpers of the bad-input, regression and crash tests: scratch folders,
// copies of generated stores and shared files, reading a whole database,
// and running a check in a child process (optionally as an unprivileged
// user).
#pragma once

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#ifdef _WIN32
#include <process.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>

#include "jet/jet.h"
#include "shared_fixtures.h"
#include "store_files.h"

namespace jet::testing {

namespace fs = std::filesystem;

inline fs::path fixtures() { return fs::path(sharedFixturesDir()); }

// Skips the calling test when a shared fixture is absent (bare clone).
#define RELIABILITY_NEED_FIXTURE(path)                                                     \
    do {                                                                                   \
        if (!std::filesystem::exists(path)) GTEST_SKIP() << "fixture missing: " << (path); \
    } while (0)

class TempDir {
  public:
    TempDir() {
#ifdef _WIN32
        static int counter = 0;
        path_ = fs::temp_directory_path() /
                ("reliability-" + std::to_string(::_getpid()) + "-" + std::to_string(++counter));
        fs::remove_all(path_);
        fs::create_directories(path_);
#else
        std::string pattern = (fs::temp_directory_path() / "reliability.XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
#endif
        // Traversable by an unprivileged child (see runAsNobody).
        fs::permissions(path_,
                        fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

  private:
    fs::path path_;
};

// A writable copy of a fixture inside dir.
inline fs::path copyFixture(const TempDir& dir, const fs::path& from, const std::string& as = "") {
    fs::path to = dir / (as.empty() ? from.filename().string() : as);
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                            fs::perms::others_read);
    return to;
}

// Reads every row of every user table; returns the rows read.
inline std::int64_t readEverything(Database& db) {
    std::int64_t rows = 0;
    for (const std::string& name : db.tableNames()) {
        TableInfo info = db.table(name);
        if (name.find(']') != std::string::npos) continue;
        auto cursor = db.query("select * from [" + name + "]");
        while (cursor->next()) ++rows;
        for (const Index& index : info.indexes) {
            if (index.columns.empty() || index.columns[0].find(']') != std::string::npos) continue;
            auto ordered =
                db.query("select * from [" + name + "] order by [" + index.columns[0] + "]");
            while (ordered->next()) (void)ordered->row();
        }
    }
    return rows;
}

#ifndef _WIN32
// Runs body in a forked child and returns its exit status (or 128+signal):
// a crash in the code under test then fails one test, not the whole run.
// asNobody drops to uid/gid 65534 first, so permission checks apply even
// when the tests run as root.
inline int runInChild(const std::function<int()>& body, bool asNobody = false) {
    pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        if (asNobody && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(120);
        int rc = 121;
        try {
            rc = body();
        } catch (...) {
            rc = 122;
        }
        ::_exit(rc);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}
#endif

}  // namespace jet::testing
