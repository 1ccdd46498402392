// jet-bench: how fast the engine answers the tool's search-as-you-type.
//
//   jet-bench FILE [--runs N] [--mdb-runs M]
//
// For each prefix of "CEMENTO GRIS" ("C", "CE", ...) it runs the tool's
// search statement N times and prints min/median/max milliseconds to the
// first 50 rows (what the grid shows first) and to the whole result, with
// the rows returned. Every statement reads the file afresh (the engine keeps
// no data between statements). The same filter-and-sort is then done M
// times with mdbtools (mdb-export | awk | sort) for comparison, and the
// time to open the file and read the first row of the base statement is
// measured. The process's peak memory closes the report.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "jet/jet.h"

namespace {

using Clock = std::chrono::steady_clock;

// Process CPU time: on a shared machine it shows the work apart from waiting.
double cpuMs() { return 1000.0 * static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

double msSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

struct Stats {
    double min = 0, median = 0, max = 0;
};

Stats stats(std::vector<double> v) {
    if (v.empty()) return {};
    std::sort(v.begin(), v.end());
    return {v.front(), v[v.size() / 2], v.back()};
}

std::string searchStatement(const std::string& text) {
    std::string quoted;
    for (char c : text) {
        quoted += c;
        if (c == '\'') quoted += '\'';
    }
    // The two lines the tool builds, joined by CR LF.
    return "select referencia,descripcion,[Tipo Impuesto] from articulos where descripcion "
           "like('%" +
           quoted + "%') " + "\r\n" + " order by descripcion";
}

const char* kBase =
    "select referencia,descripcion,[Tipo Impuesto] from articulos order by descripcion";

long peakKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

std::string shellQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

int run(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: jet-bench FILE [--runs N] [--mdb-runs M]\n";
        return 1;
    }
    const std::string file = argv[1];
    int runs = 9, mdbRuns = 3;
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string opt = argv[i];
        if (opt == "--runs")
            runs = std::max(1, std::atoi(argv[i + 1]));
        else if (opt == "--mdb-runs")
            mdbRuns = std::max(0, std::atoi(argv[i + 1]));
        else
            throw jet::Error("unknown option " + opt, jet::ErrorKind::InvalidArgument);
    }

    // Open and first row of the base statement, each time from nothing.
    std::vector<double> openTimes;
    for (int r = 0; r < runs; ++r) {
        const auto t0 = Clock::now();
        auto db = jet::Database::open(file, jet::OpenMode::ReadOnly);
        auto cursor = db->query(kBase);
        if (!cursor->next())
            throw jet::Error("the base statement returned no row", jet::ErrorKind::Generic);
        openTimes.push_back(msSince(t0));
    }

    auto db = jet::Database::open(file, jet::OpenMode::ReadOnly);
    const std::string typed = "CEMENTO GRIS";
    std::printf("%-14s %7s | %-35s | %-35s | %-22s\n", "search", "rows",
                "engine first 50 rows ms (wall; cpu)", "engine all rows ms (wall; cpu)",
                "mdbtools all rows ms");
    std::printf("%-14s %7s | %8s %8s %8s %8s | %8s %8s %8s %8s | %6s %7s %7s\n", "", "", "min",
                "median", "max", "cpu med", "min", "median", "max", "cpu med", "rows", "median",
                "max");
    std::vector<double> medians50, mediansAll;
    for (std::size_t len = 1; len <= typed.size(); ++len) {
        const std::string text = typed.substr(0, len);
        const std::string sql = searchStatement(text);
        std::vector<double> first50, first50Cpu, whole, wholeCpu;
        long rows = 0;
        for (int r = 0; r < runs; ++r) {
            const auto t0 = Clock::now();
            const double c0 = cpuMs();
            auto cursor = db->query(sql);
            long n = 0;
            while (n < 50 && cursor->next()) ++n;
            first50.push_back(msSince(t0));
            first50Cpu.push_back(cpuMs() - c0);
            while (cursor->next()) ++n;
            whole.push_back(msSince(t0));
            wholeCpu.push_back(cpuMs() - c0);
            rows = n;
        }
        // mdbtools: export the table, keep rows whose description contains
        // the text (case-insensitive), sort by description.
        std::vector<double> mdb;
        long mdbRows = -1;
        for (int r = 0; r < mdbRuns; ++r) {
            const std::string countFile = "/tmp/jet_bench_mdb_count";
            const std::string cmd =
                "mdb-export -Q -d '\t' " + shellQuote(file) +
                " Articulos | awk -F'\t' -v p=" + shellQuote(text) +
                " 'NR>1 && index(toupper($2), p)' | sort -t '\t' -k2,2 | wc -l > " + countFile;
            const auto t0 = Clock::now();
            if (std::system(cmd.c_str()) != 0) {
                mdb.clear();
                break;
            }
            mdb.push_back(msSince(t0));
            std::ifstream in(countFile);
            in >> mdbRows;
        }
        const Stats a = stats(first50), b = stats(whole), m = stats(mdb), cpu = stats(wholeCpu);
        const Stats cpu50 = stats(first50Cpu);
        medians50.push_back(a.median);
        mediansAll.push_back(b.median);
        std::printf("%-14s %7ld | %8.2f %8.2f %8.2f %8.2f | %8.2f %8.2f %8.2f %8.2f | ",
                    ("\"" + text + "\"").c_str(), rows, a.min, a.median, a.max, cpu50.median, b.min,
                    b.median, b.max, cpu.median);
        if (mdb.empty())
            std::printf("%6s %7s %7s\n", "-", "-", "-");
        else
            std::printf("%6ld %7.0f %7.0f\n", mdbRows, m.median, m.max);
    }
    const Stats o = stats(openTimes);
    std::printf("\nopen + first row of the base statement: min %.2f  median %.2f  max %.2f ms\n",
                o.min, o.median, o.max);
    std::printf("worst median over the searches: first 50 rows %.2f ms, all rows %.2f ms\n",
                *std::max_element(medians50.begin(), medians50.end()),
                *std::max_element(mediansAll.begin(), mediansAll.end()));
    std::printf("peak memory (VmHWM): %.1f MB\n", static_cast<double>(peakKilobytes()) / 1024.0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "jet-bench: " << e.what() << '\n';
        return 1;
    }
}
