// Fuzz target: a database file given as bytes is opened from memory and
// every table (user and system) is read, walked by index and queried; then
// every user table gets an UPDATE of its first text column (the writer must
// refuse a damaged file with an error, never crash on it).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "fuzz_common.h"
#include "io/memory_env.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> bytes(data, data + size);
    std::unique_ptr<jet::Storage> storage;
    try {
        storage =
            jet::Storage::open(std::make_unique<jet::MemoryFile>(std::move(bytes), "fuzz.mdb"));
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
    names.pop_back();  // the catalog is read, never written
    for (const std::string& name : names) {
        try {
            const jet::TableDef& def = storage->tableDef(name);
            for (const jet::ColumnDef& column : def.columns) {
                if (column.column.type != jet::ColumnType::Text) continue;
                jet::sql::Statement st =
                    jet::sql::parse("update t set c = 'fuzz' where c like '%a%'");
                auto& update = std::get<jet::sql::UpdateStmt>(st);
                update.table = name;
                update.assignments.at(0).target.column = column.column.name;
                update.where->left->ref.column = column.column.name;
                jet::sql::runUpdate(*storage, std::move(update), {});
                break;
            }
        } catch (const precios::Error&) {
        }
    }
    return 0;
}
