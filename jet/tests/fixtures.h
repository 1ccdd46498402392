// Where the engine tests find the shared .mdb fixtures, and small helpers
// for reading them. Tests skip, visibly, when the folder is absent.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace jet::testing {

inline std::filesystem::path fixturesDir() { return PRECIOS_FIXTURES_DIR; }

inline bool haveFixtures() { return std::filesystem::exists(fixturesDir() / "store.mdb"); }

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
    if (!std::filesystem::is_directory(fixturesDir())) return out;  // a clone without the shared folder
    for (const auto& e : std::filesystem::recursive_directory_iterator(fixturesDir())) {
        auto ext = e.path().extension().string();
        if ((ext == ".mdb" || ext == ".accdb") && e.path().filename() != "store-big.mdb")
            out.push_back(e.path().string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace jet::testing
