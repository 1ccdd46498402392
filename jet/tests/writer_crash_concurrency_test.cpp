// Crash and concurrency tests with real processes on a copy of store.mdb.
//
// Crash: a child process runs the tool's writes in a fixed sequence (item
// posts with growing descriptions, price applies, the ticket status
// statements) and is killed with SIGKILL at a random moment. The parent
// then reopens the file (replaying the journal a killed write left), and
// checks it: both tables equal a reference copy that received exactly the
// statements the child completed, or those plus the interrupted one (never
// a mixture); every index matches its rows; mdb-export reads it.
//
// Concurrency: an item writer and a ticket writer in two processes, and a
// reader in a third, on one file for a bounded time. Every statement
// completes or fails with the "database in use" error (kind Locked); the
// reader never crashes and never reports damage (a read torn by a write
// is retried or reported as "in use"); afterwards the file is sound and every item holds
// the value of its last completed post.
//
// RELIABILITY_KILLS and RELIABILITY_SECONDS scale the runs (the stress
// script uses more); RELIABILITY_FIGURES names a file the figures are
// appended to.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "io/file_lock.h"
#include "io/journal.h"
#include "reliability_support.h"
#include "writer_check.h"

namespace jet {
namespace {

using namespace jet::testing;

constexpr const char* kTickets = "Cabecera Tickets de Venta";

// Sanitizer builds run every check many times slower: fewer kills keep the
// test within its time budget there.
#if defined(__SANITIZE_ADDRESS__)
constexpr long kDefaultKills = 5;
#else
constexpr long kDefaultKills = 12;
#endif

long envNumber(const char* name, long fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::strtol(v, nullptr, 10) : fallback;
}

void recordFigure(const std::string& line) {
    std::printf("[ figures  ] %s\n", line.c_str());
    if (const char* f = std::getenv("RELIABILITY_FIGURES")) {
        std::ofstream out(f, std::ios::app);
        out << line << "\n";
    }
}

struct Statement {
    std::string sql;
    std::vector<Value> params;
};

const std::vector<std::string> kItems = {"CEM 25", "TOR-M8X40", "AZ 20X20 B", "ARENA-L",
                                         "mb-01",  "M00002",    "M00004",     "B00001",
                                         "Z99999", "A00001",    "A00100",     "A00377"};

// The tool's ticket statement, as the window builds it.
std::string ticketStatement(int mode, int month, int fromDay, int toDay) {
    const std::string set = mode == 0 ? "'Facturado'" : "'Pendiente'";
    const std::string from = std::to_string(month) + "/" + std::to_string(fromDay) + "/2024";
    const std::string to = std::to_string(month) + "/" + std::to_string(toDay) + "/2024";
    std::string sql =
        "UPDATE [Cabecera Tickets de Venta] SET [Cabecera Tickets de Venta].Documento = '', "
        "[Cabecera Tickets de Venta].[Forma de Pago] = " +
        set + "\r\n WHERE ((([Cabecera Tickets de Venta].Fecha)>=#" + from + "#)" +
        "\r\n AND (([Cabecera Tickets de Venta].Fecha)<=#" + to;
    if (mode == 2)
        sql += "#)\r\n AND (([Cabecera Tickets de Venta].[Forma de Pago])<>'Facturado'))";
    else
        sql += "#))";
    return sql;
}

// Item post: a description growing to the column's 60 characters (with
// characters that force the uncompressed form now and then).
Statement itemPost(long i) {
    const std::string& ref = kItems[static_cast<std::size_t>(i) % kItems.size()];
    std::u16string text = u"POST " + utf8ToUtf16(std::to_string(i)) + u" ";
    const std::size_t length = 8 + static_cast<std::size_t>(i * 7) % 53;
    const char16_t fill = i % 3 == 0 ? u'\u00d1' : (i % 3 == 1 ? u'\u20ac' : u'X');
    while (text.size() < length) text += fill;
    // Now and then no description at all: on a store whose description
    // index ignores NULLs, the item's entry goes and comes back.
    const Value description = i % 7 == 3 ? Value() : Value(text);
    return {
        "UPDATE Articulos SET [Descripcion] = ?, [Descripcion Corta] = ?, [PVP 1] = ?, "
        "[Precio Compra Proveedor 1] = ? WHERE [Referencia] = ?",
        {description, Value(u"C" + utf8ToUtf16(std::to_string(i))),
         Value(1.5 + static_cast<double>(i)), Value(0.25 * static_cast<double>(i)),
         Value(utf8ToUtf16(ref))}};
}

Statement priceApply(long i) {
    const std::string& ref = kItems[static_cast<std::size_t>(i * 5) % kItems.size()];
    return {
        "UPDATE Articulos SET [PVP 1] = ?, [PVP 2] = ?, [Precio Compra Proveedor 1] = ? "
        "WHERE [Referencia] = ?",
        {Value(10.0 + static_cast<double>(i) / 8), Value(11.0 + static_cast<double>(i) / 4),
         Value(static_cast<double>(i) / 16), Value(utf8ToUtf16(ref))}};
}

Statement ticketUpdate(long i) {
    const int month = 1 + static_cast<int>(i % 12);
    const int from = 1 + static_cast<int>((i * 7) % 20);
    return {ticketStatement(static_cast<int>(i % 3), month, from, from + static_cast<int>(i % 6)),
            {}};
}

// The fixed sequence both the child and the reference follow.
Statement statementFor(long i) {
    switch (i % 5) {
        case 0:
        case 1:
            return itemPost(i);
        case 2:
            return priceApply(i);
        default:
            return ticketUpdate(i);
    }
}

// Child body: runs the sequence from `start`, appending each completed
// statement's number to `progress` (the kernel keeps it across SIGKILL).
[[noreturn]] void writerChild(const std::string& path, const std::string& progress, long start) {
    int fd = ::open(progress.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    try {
        auto db = Database::open(path);
        for (long i = start;; ++i) {
            Statement st = statementFor(i);
            db->execute(st.sql, st.params);
            const std::string line = std::to_string(i) + "\n";
            if (::write(fd, line.data(), line.size()) < 0) ::_exit(4);
        }
    } catch (const std::exception& e) {
        const std::string line = std::string("error ") + e.what() + "\n";
        if (::write(fd, line.data(), line.size()) < 0) ::_exit(4);
        ::_exit(3);
    }
}

long lastCompleted(const std::string& progress, long before) {
    std::ifstream in(progress);
    std::string line;
    long last = before;
    while (std::getline(in, line)) {
        if (line.rfind("error", 0) == 0)
            ADD_FAILURE() << "writer child failed: " << line;
        else if (!line.empty())
            last = std::stol(line);
    }
    return last;
}

std::vector<std::vector<std::string>> tableRows(const std::string& path, const std::string& table) {
    auto s = Storage::open(path, false);
    return engineRows(*s, s->tableDef(table));
}

bool sameContent(const std::string& a, const std::string& b) {
    return tableRows(a, "Articulos") == tableRows(b, "Articulos") &&
           tableRows(a, kTickets) == tableRows(b, kTickets);
}

void apply(const std::string& path, long from, long to) {
    auto db = Database::open(path);
    for (long i = from; i <= to; ++i) {
        Statement st = statementFor(i);
        db->execute(st.sql, st.params);
    }
}

TEST(CrashKill, EveryKilledWriteLeavesTheBeforeOrTheAfterState) {
    // The description index ignores NULLs: its entries come and go too.
    const fs::path store = storeFile("store-ignore-nulls.mdb");
    TempDir dir;
    const std::string path = copyFixture(dir, store, "shop.mdb").string();
    const std::string reference = copyFixture(dir, store, "reference.mdb").string();
    const std::string progress = (dir / "progress.txt").string();
    const long kills = envNumber("RELIABILITY_KILLS", kDefaultKills);
    std::mt19937 rng(static_cast<unsigned>(envNumber("RELIABILITY_SEED", 911)));

    long next = 0;         // first statement the next child runs
    long interrupted = 0;  // kills that found the interrupted statement applied
    long journals = 0;     // kills that left a journal to replay
    long statements = 0;
    const auto started = std::chrono::steady_clock::now();
    for (long k = 0; k < kills; ++k) {
        SCOPED_TRACE("kill " + std::to_string(k));
        std::remove(progress.c_str());
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) writerChild(path, progress, next);
        std::this_thread::sleep_for(std::chrono::microseconds(3000 + rng() % 400000));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "child ended by itself";
        const long done = lastCompleted(progress, next - 1);
        statements += done - next + 1;
        if (fs::exists(journalPath(path))) ++journals;

        // Reopening replays a left journal.
        {
            auto db = Database::open(path);
            (void)db->tableNames();
        }
        EXPECT_FALSE(fs::exists(journalPath(path))) << "journal left after reopening";

        apply(reference, next, done);
        if (!sameContent(path, reference)) {
            apply(reference, done + 1, done + 1);
            ASSERT_TRUE(sameContent(path, reference))
                << "after statement " << done
                << " the file holds neither its state nor the next one's";
            ++interrupted;
            next = done + 2;
        } else {
            next = done + 1;
        }
        expectIndexesExact(path, "Articulos");
        expectIndexesExact(path, kTickets);
        if (k % 4 == 3 || k + 1 == kills) {
            expectSameAsMdbExport(path, "Articulos");
            expectSameAsMdbExport(path, kTickets);
        }
        if (::testing::Test::HasFailure()) break;
    }
    auto db = Database::open(path, OpenMode::ReadOnly);
    EXPECT_EQ(db->table("Articulos").rowCount, storeOptions().items);
    EXPECT_EQ(db->table(kTickets).rowCount, storeOptions().tickets);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    recordFigure("crash: kills=" + std::to_string(kills) + " statements_completed=" +
                 std::to_string(statements) + " journals_replayed=" + std::to_string(journals) +
                 " interrupted_statement_committed=" + std::to_string(interrupted) + " rows_lost=" +
                 std::to_string(storeOptions().items + storeOptions().tickets -
                                db->table("Articulos").rowCount - db->table(kTickets).rowCount) +
                 " seconds=" + std::to_string(static_cast<int>(seconds)));
}

// ---------------------------------------------------------------------------

struct Tally {
    long done = 0;
    long inUse = 0;
    long other = 0;
};

// A child that loops `body` until the deadline and reports its tally
// through a pipe; `body` returns normally or throws a jet::Error.
pid_t tallyChild(int pipeOut, std::chrono::steady_clock::time_point deadline,
                 const std::function<void(long)>& body, const std::string& errors) {
    pid_t pid = ::fork();
    if (pid != 0) return pid;
    Tally t;
    FileLock::setDefaultWait(std::chrono::milliseconds(150));
    std::ofstream err(errors, std::ios::app);
    for (long i = 0; std::chrono::steady_clock::now() < deadline; ++i) {
        try {
            body(i);
            ++t.done;
        } catch (const Error& e) {
            if (e.kind() == ErrorKind::Locked &&
                std::string(e.what()).find("is in use") != std::string::npos) {
                ++t.inUse;
            } else {
                ++t.other;
                err << e.what() << "\n";
            }
        }
    }
    err.flush();
    if (::write(pipeOut, &t, sizeof t) != sizeof t) ::_exit(4);
    ::_exit(0);
}

Tally collect(pid_t pid, int pipeIn, const char* who) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << who << " ended with status " << status << (WIFSIGNALED(status) ? " (signal)" : "");
    Tally t;
    if (::read(pipeIn, &t, sizeof t) != sizeof t) ADD_FAILURE() << who << " reported nothing";
    return t;
}

TEST(Concurrency, TwoWritersAndAReaderOnOneFile) {
    const fs::path store = storeFile("store.mdb");
    TempDir dir;
    const std::string path = copyFixture(dir, store, "shop.mdb").string();
    const std::string errors = (dir / "errors.txt").string();
    const std::string posted = (dir / "posted.txt").string();
    const auto seconds = envNumber("RELIABILITY_SECONDS", 6);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);

    int pipes[3][2];
    for (auto& p : pipes) ASSERT_EQ(::pipe(p), 0);
    // Items: each post's value is logged once it completed; the last logged
    // value per item is what the file must hold at the end.
    pid_t items = tallyChild(
        pipes[0][1], deadline,
        [&](long i) {
            static std::unique_ptr<Database> db = Database::open(path);
            static std::ofstream log(posted, std::ios::app);
            Statement st = itemPost(i);
            db->execute(st.sql, st.params);
            log << i << std::endl;
        },
        errors);
    pid_t tickets = tallyChild(
        pipes[1][1], deadline,
        [&](long i) {
            static std::unique_ptr<Database> db = Database::open(path);
            Statement st = ticketUpdate(i);
            db->execute(st.sql, st.params);
        },
        errors);
    pid_t reader = tallyChild(
        pipes[2][1], deadline,
        [&](long i) {
            static std::unique_ptr<Database> db = Database::open(path, OpenMode::ReadOnly);
            const char* sql = i % 2 == 0
                                  ? "select referencia,descripcion,[Tipo Impuesto] from articulos "
                                    "where descripcion like('%POST%') \r\n order by descripcion"
                                  : "select * from [Cabecera Tickets de Venta] where [Forma de "
                                    "Pago] = 'Pendiente' order by Fecha";
            auto cursor = db->query(sql);
            while (cursor->next()) (void)cursor->row();
        },
        errors);
    const Tally ti = collect(items, pipes[0][0], "item writer");
    const Tally tt = collect(tickets, pipes[1][0], "ticket writer");
    const Tally tr = collect(reader, pipes[2][0], "reader");
    for (auto& p : pipes) {
        ::close(p[0]);
        ::close(p[1]);
    }

    std::ifstream err(errors);
    std::string line;
    long writerErrors = 0;
    while (std::getline(err, line)) {
        ADD_FAILURE() << "unexpected error: " << line;
        ++writerErrors;
    }
    EXPECT_EQ(ti.other + tt.other, 0);
    EXPECT_GT(ti.done, 0);
    EXPECT_GT(tt.done, 0);

    // Every item holds the value of its last completed post.
    std::map<std::string, long> last;
    std::ifstream log(posted);
    while (std::getline(log, line))
        if (!line.empty()) {
            const long i = std::stol(line);
            last[kItems[static_cast<std::size_t>(i) % kItems.size()]] = i;
        }
    auto db = Database::open(path, OpenMode::ReadOnly);
    for (const auto& [ref, i] : last) {
        auto c = db->query("select Descripcion from Articulos where Referencia = ?",
                           {Value(utf8ToUtf16(ref))});
        ASSERT_TRUE(c->next()) << ref;
        EXPECT_EQ(c->row()[0], itemPost(i).params[0]) << ref << " lost its post " << i;
    }
    EXPECT_EQ(db->table("Articulos").rowCount, storeOptions().items);
    EXPECT_EQ(db->table(kTickets).rowCount, storeOptions().tickets);
    expectFileSound(path, "Articulos");
    expectFileSound(path, kTickets);
    recordFigure("concurrency: seconds=" + std::to_string(seconds) + " item_posts=" +
                 std::to_string(ti.done) + " ticket_updates=" + std::to_string(tt.done) +
                 " in_use_refusals=" + std::to_string(ti.inUse + tt.inUse) +
                 " reads=" + std::to_string(tr.done) + " reads_in_use=" + std::to_string(tr.inUse) +
                 " reader_errors=" + std::to_string(tr.other) +
                 " other_errors=" + std::to_string(ti.other + tt.other) + " rows_lost=" +
                 std::to_string(storeOptions().items + storeOptions().tickets -
                                db->table("Articulos").rowCount - db->table(kTickets).rowCount));
}

}  // namespace
}  // namespace jet
