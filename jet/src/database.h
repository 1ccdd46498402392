// The engine's own ways into jet::Database, beyond the public header: a
// database in another environment (tests run it on MemoryEnv), and the
// figures of its last write.
#pragma once

#include <memory>
#include <string>

#include "io/env.h"
#include "jet/jet.h"
#include "write/writer.h"

namespace jet {

// Database::open() in `env`, which must outlive the database and its cursors.
std::unique_ptr<Database> openDatabase(Env& env, const std::string& path,
                                       OpenMode mode = OpenMode::ReadWrite);

// What the last execute() of `db` did (all zero before the first). `db` must
// come from this engine (Database::open or openDatabase).
const WriteStats& lastWriteStats(const Database& db);

}  // namespace jet
