// jet-write-bench: how long the tool's writes take, fsyncs included.
//
//   jet-write-bench COPY.mdb [repeats]
//
// Works on the file it is given, which it changes: pass a copy (of
// store-big.mdb, say). Times one item post that sets the three prices, and
// the ticket UPDATE (invoiced) over one month, each as a whole
// Database::execute (lock, journal, page writes, fsyncs).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "database.h"
#include "jet/jet.h"

namespace {

// The process's CPU time (user and system), in milliseconds (std::clock;
// on Windows it counts wall time instead).
double cpuMs() { return 1e3 * static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

struct Timing {
    double wall = 0, cpu = 0;
};

Timing timeIt(jet::Database& db, const std::string& sql, const std::vector<jet::Value>& params,
              std::int64_t& rows) {
    const double cpu = cpuMs();
    const auto start = std::chrono::steady_clock::now();
    rows = db.execute(sql, params);
    Timing t;
    t.wall =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    t.cpu = cpuMs() - cpu;
    return t;
}

// Wall time includes the waits for the disk (fsync); CPU time does not.
void report(const char* what, const std::vector<Timing>& runs, std::int64_t rows,
            const jet::WriteStats& s) {
    std::vector<double> wall, cpu;
    for (const Timing& t : runs) {
        wall.push_back(t.wall);
        cpu.push_back(t.cpu);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    std::printf(
        "%-34s rows %7lld  median %9.2f ms  min %9.2f ms  CPU median %8.2f ms  (last run: %ld "
        "pages written, %ld new, %ld moved rows, %ld index entries)\n",
        what, static_cast<long long>(rows), wall[wall.size() / 2], wall.front(),
        cpu[cpu.size() / 2], s.pagesWritten, s.pagesAppended, s.rowsMoved, s.indexEntriesChanged);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: jet-write-bench COPY.mdb [repeats]\n");
        return 2;
    }
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    try {
        auto db = jet::Database::open(argv[1]);
        std::int64_t rows = 0;

        std::vector<Timing> post;
        for (int i = 0; i < repeats; ++i)
            post.push_back(timeIt(
                *db,
                "UPDATE Articulos SET [PVP 1] = ?, [PVP 2] = ?, [Precio Compra Proveedor 1] = ? "
                "WHERE [Referencia] = ?",
                {jet::Value(12.5 + i), jet::Value(11.875 + i), jet::Value(10.0 + i),
                 jet::Value(std::u16string(u"PRUEBA1"))},
                rows));
        report("item post (three prices)", post, rows, jet::lastWriteStats(*db));

        const std::string t = "[Cabecera Tickets de Venta]";
        const char* status[] = {"Facturado", "Pendiente"};
        std::vector<Timing> month;
        for (int i = 0; i < repeats; ++i) {
            const std::string sql = "UPDATE " + t + " SET " + t + ".Documento = '', " + t +
                                    ".[Forma de Pago] = '" + status[i % 2] + "'\r\n WHERE (((" + t +
                                    ".Fecha)>=#3/1/2024#)\r\n AND ((" + t +
                                    ".Fecha)<=#3/31/2024#))";
            month.push_back(timeIt(*db, sql, {}, rows));
        }
        report("ticket UPDATE, one month", month, rows, jet::lastWriteStats(*db));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "jet-write-bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
