// Store databases for tests, written by the engine's own store builder (the
// content mkstore writes), so that a test that needs "a store" or one of its
// variants does not depend on files from outside the repository.
//
// A variant is named like the shared fixture it stands for ("store.mdb",
// "store-desc40.mdb", "store-empty.mdb"...; see jet::store::fixtureVariant).
// Each one is written once per process, on first use, into a private folder
// that is removed when the process ends; callers open it read-only or copy
// it. The builder is deterministic, so figures a test expects are derived
// from the same options (storeOptions) instead of being written down.
//
// Standard library only (the Qt tests include it too). Thread-safe.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <system_error>
#include <variant>
#include <vector>

#include "jet/jet.h"
#include "store_content.h"

namespace jet::testing {

// Whether `name` is a store variant the builder makes; the large store is
// left out: it takes far longer to build than a test should.
inline bool isStoreVariant(const std::string& name) {
    if (name.find('/') != std::string::npos || name == "store-big.mdb") return false;
    try {
        (void)store::fixtureVariant(name);
        return true;
    } catch (const Error&) {
        return false;
    }
}

inline store::StoreOptions storeOptions(const std::string& variant = "store.mdb") {
    return store::fixtureVariant(variant);
}

namespace detail {

class StoreCache {
  public:
    static StoreCache& instance() {
        static StoreCache cache;
        return cache;
    }

    std::string file(const std::string& variant) {
        std::lock_guard lock(mutex_);
        auto found = files_.find(variant);
        if (found != files_.end()) return found->second;
        if (dir_.empty()) {
            dir_ = std::filesystem::temp_directory_path() /
                   ("precios-stores-" + std::to_string(::getpid()));
            std::filesystem::create_directories(dir_);
            owner_ = ::getpid();
        }
        const std::string path = (dir_ / variant).string();
        store::writeStore(path, store::fixtureVariant(variant));
        files_.emplace(variant, path);
        return path;
    }

    ~StoreCache() {
        // A forked child inherits the cache object but not the folder.
        if (dir_.empty() || owner_ != ::getpid()) return;
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

  private:
    std::mutex mutex_;
    std::filesystem::path dir_;
    pid_t owner_ = 0;
    std::map<std::string, std::string> files_;
};

}  // namespace detail

// The path of the generated store `variant` (see isStoreVariant); never
// write to it: copy it first.
inline std::string storeFile(const std::string& variant = "store.mdb") {
    return detail::StoreCache::instance().file(variant);
}

// What the three ticket statements of the tool should change in the file at
// `path` for the dates from..to (OLE days; `to` taken at midnight, as the
// statements compare): every ticket in the range (modes A and B), and those
// whose payment is set and is not "Facturado" (mode C; NULL never compares).
// Counted by a plain scan, not through the statements under test.
struct TicketRange {
    std::int64_t inRange = 0;
    std::int64_t notInvoiced = 0;
};

inline TicketRange ticketRange(const std::string& path, double from, double to) {
    auto db = Database::open(path, OpenMode::ReadOnly);
    auto rows =
        db->query("select Fecha, [Forma de Pago] from [" + std::string(store::kTickets) + "]");
    TicketRange out;
    while (rows->next()) {
        const std::vector<Value> row = rows->row();
        const auto* fecha = std::get_if<DateTime>(&row[0].v);
        if (fecha == nullptr || fecha->days < from || fecha->days > to) continue;
        ++out.inRange;
        const auto* forma = std::get_if<std::u16string>(&row[1].v);
        if (forma != nullptr && *forma != u"Facturado") ++out.notInvoiced;
    }
    return out;
}

// The OLE day number of a civil date (days since 1899-12-30).
inline double oleDay(int year, int month, int day) {
    // Days from civil (proleptic Gregorian), shifted to the OLE epoch.
    const int y = year - (month <= 2);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return double(era * 146097 + doe - 719468 + 25569);
}

}  // namespace jet::testing
