// mkstore: writes a store database (the four tables of the store model) for
// the demo, for benchmarks and for tests.
//
//   mkstore demo FILE [variant options]
//   mkstore big FILE [--items N] [--tickets M] [variant options]
//   mkstore empty FILE            (an empty database: system tables only)
//
// Variant options: --missing-column TABLE.COLUMN (repeatable),
// --extra-columns, --single, --desc-length N, --type-mismatch, --no-tickets,
// --empty, --currency-prices (three prices as Currency), --ignore-nulls
// (the description index leaves out NULLs), --seed N. --jet3 (with any
// mode) writes an Access 97 file instead of an Access 2000 one. The same
// command always writes the same bytes.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "store_content.h"

namespace {

int usage() {
    std::cerr
        << "usage: mkstore demo FILE [options]\n"
           "       mkstore big FILE [--items N] [--tickets M] [options]\n"
           "       mkstore empty FILE [--jet3]\n"
           "options: --missing-column TABLE.COLUMN  --extra-columns  --single  --desc-length N\n"
           "         --type-mismatch  --no-tickets  --empty  --currency-prices  --ignore-nulls\n"
           "         --seed N  --jet3\n";
    return 2;
}

int number(const std::string& option, const char* text) {
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (!*text || *end || v < 0 || v > 100000000)
        throw std::invalid_argument(option + " needs a number");
    return int(v);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return usage();
    const std::string mode = argv[1];
    const std::string path = argv[2];
    try {
        auto start = std::chrono::steady_clock::now();
        if (mode == "empty") {
            jet::CreateOptions created;
            if (argc == 4 && std::string(argv[3]) == "--jet3")
                created.jetVersion = 3;
            else if (argc != 3)
                return usage();
            jet::createEmptyDatabase(path, created);
            return 0;
        }
        jet::store::StoreOptions o;
        if (mode == "big") {
            o = jet::store::bigOptions(100000, 200000);
        } else if (mode == "demo") {
            o = jet::store::demoOptions();
        } else {
            return usage();
        }
        for (int i = 3; i < argc; ++i) {
            const std::string a = argv[i];
            auto value = [&]() -> const char* {
                if (i + 1 >= argc) throw std::invalid_argument(a + " needs a value");
                return argv[++i];
            };
            if (a == "--items" && mode == "big")
                o.items = number(a, value());
            else if (a == "--tickets" && mode == "big")
                o.tickets = number(a, value());
            else if (a == "--missing-column")
                o.missingColumns.push_back(value());
            else if (a == "--extra-columns")
                o.extraColumns = true;
            else if (a == "--single")
                o.singleColumns = true;
            else if (a == "--desc-length")
                o.descriptionLength = number(a, value());
            else if (a == "--type-mismatch")
                o.typeMismatch = true;
            else if (a == "--no-tickets")
                o.noTickets = true;
            else if (a == "--empty")
                o.empty = true;
            else if (a == "--currency-prices")
                o.currencyPrices = true;
            else if (a == "--ignore-nulls")
                o.descriptionIgnoresNulls = true;
            else if (a == "--seed")
                o.seed = std::uint64_t(number(a, value()));
            else if (a == "--jet3")
                o.jetVersion = 3;
            else
                return usage();
        }
        jet::store::writeStore(path, o);
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::fprintf(stderr, "mkstore: wrote %s in %.2f s\n", path.c_str(), seconds);
    } catch (const std::exception& e) {
        std::cerr << "mkstore: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
