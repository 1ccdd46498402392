// Where the engine tests find their databases, and small helpers for reading
// them. Store databases are generated (store_files.h); the shared folder
// holds the files written by Access and by an independent writer, and the
// tests about those skip, visibly, when the folder is absent.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "shared_fixtures.h"
#include "store_files.h"

namespace jet::testing {

inline std::filesystem::path fixturesDir() { return sharedFixturesDir(); }

inline bool haveFixtures() { return std::filesystem::exists(fixturesDir() / "store.mdb"); }

// Whether `relative` can be read: always for a generated store; for a file
// of the shared folder, says on the test log that it is left out when absent.
inline bool haveFile(const std::string& relative) {
    if (isStoreVariant(relative) || std::filesystem::exists(fixturesDir() / relative)) return true;
    std::cout << "[   NOTE   ] shared file absent, not checked: " << relative << std::endl;
    return false;
}

// A file of the shared folder, or a generated store when `relative` names a
// store variant (see isStoreVariant).
inline std::string databaseFile(const std::string& relative) {
    return isStoreVariant(relative) ? storeFile(relative) : (fixturesDir() / relative).string();
}

#define JET_REQUIRE_FIXTURES()                                                              \
    do {                                                                                    \
        if (!::jet::testing::haveFixtures())                                                \
            GTEST_SKIP() << "fixtures folder not found: " << ::jet::testing::fixturesDir(); \
    } while (0)

inline std::string fixture(const std::string& relative) {
    return (fixturesDir() / relative).string();
}

inline std::vector<std::uint8_t> readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Every .mdb/.accdb below the fixtures folder except the big one.
inline std::vector<std::string> allDatabaseFixtures() {
    std::vector<std::string> out;
    if (!std::filesystem::is_directory(fixturesDir()))
        return out;  // a clone without the shared folder
    for (const auto& e : std::filesystem::recursive_directory_iterator(fixturesDir())) {
        auto ext = e.path().extension().string();
        if ((ext == ".mdb" || ext == ".accdb") && e.path().filename() != "store-big.mdb")
            out.push_back(e.path().string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace jet::testing
