// Fuzz target: a database file given as bytes is opened from memory and
// every table (user and system) is read, walked by index and queried.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> bytes(data, data + size);
    std::unique_ptr<jet::Storage> storage;
    try {
        storage = jet::Storage::open(std::make_unique<jet::MemoryFile>(std::move(bytes), "fuzz.mdb"));
    } catch (const precios::Error&) {
        return 0;
    }
    std::vector<std::string> names;
    try {
        names = storage->tableNames();
    } catch (const precios::Error&) {
        return 0;
    }
    names.push_back("MSysObjects");
    for (const std::string& name : names) {
        try {
            fuzzing::readTable(*storage, name);
        } catch (const precios::Error&) {
        }
    }
    return 0;
}
