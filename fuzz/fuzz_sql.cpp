// Fuzz target: the SQL dialect (lexer, parser, binder, executor) over a
// small store file held in memory.
//
// The first input byte picks the mode, the rest is text:
//   0  a statement: parsed; a SELECT runs on the shared file, an UPDATE on a
//      fresh copy (so runs stay independent of each other), and the written
//      file must then read back without a corruption error;
//   1  a search text, put into the tool's search statement exactly as the
//      tool builds it; the statement must keep its shape whatever the text
//      holds (quotes, brackets, --, ;, #): the text can only ever become
//      the LIKE pattern. A broken shape aborts, which the fuzzer reports.
// The file comes from $FUZZ_STORE_MDB, else the fixtures folder.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_common.h"
#include "io/memory_env.h"

namespace {

std::vector<std::uint8_t> loadFixture() {
    const char* env = std::getenv("FUZZ_STORE_MDB");
    const std::string path = env ? env : PRECIOS_FIXTURES_DIR "/store.mdb";
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    if (bytes.empty()) {
        std::fprintf(stderr, "fuzz_sql: cannot read the store file %s (set FUZZ_STORE_MDB)\n",
                     path.c_str());
        std::abort();
    }
    return bytes;
}

const std::vector<std::uint8_t>& fixture() {
    static const std::vector<std::uint8_t> bytes = loadFixture();
    return bytes;
}

jet::Storage& sharedStorage() {
    static std::unique_ptr<jet::Storage> storage =
        jet::Storage::open(std::make_unique<jet::MemoryFile>(fixture(), "store.mdb"));
    return *storage;
}

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_sql: search statement changed shape: %s\n", what);
        std::abort();
    }
}

// The tool's search statement, two lines joined by CR LF.
std::string searchStatement(const std::string& text) {
    std::string quoted;
    for (char c : text) {
        quoted += c;
        if (c == '\'') quoted += '\'';
    }
    return "select referencia,descripcion,[Tipo Impuesto] from articulos where descripcion "
           "like('%" +
           quoted + "%') " + "\r\n" + " order by descripcion";
}

void runSearch(const std::string& text) {
    jet::sql::Statement st = jet::sql::parse(searchStatement(text));
    auto* select = std::get_if<jet::sql::SelectStmt>(&st);
    check(select != nullptr, "not a SELECT");
    check(!select->star && select->columns.size() == 3, "select list");
    check(select->columns[0].column == "referencia" && select->columns[1].column == "descripcion" &&
              select->columns[2].column == "Tipo Impuesto",
          "column names");
    check(select->table == "articulos", "table");
    check(select->orderBy.size() == 1 && select->orderBy[0].ref.column == "descripcion" &&
              !select->orderBy[0].descending,
          "order by");
    const jet::sql::Expr* where = select->where.get();
    check(where && where->kind == jet::sql::ExprKind::Like && !where->negated, "where is one LIKE");
    check(where->left && where->left->kind == jet::sql::ExprKind::Column &&
              where->left->ref.column == "descripcion",
          "LIKE subject");
    check(where->right && where->right->kind == jet::sql::ExprKind::Literal,
          "LIKE pattern literal");
    const auto* pattern = std::get_if<std::u16string>(&where->right->value.v);
    check(pattern && *pattern == jet::utf8ToUtf16("%" + text + "%"), "LIKE pattern text");
    auto cursor = jet::sql::runSelect(sharedStorage(), std::move(*select), {});
    fuzzing::drain(*cursor);
}

void runStatement(const std::string& sql) {
    jet::sql::Statement st = jet::sql::parse(sql);
    const std::vector<jet::Value> params = {jet::Value(std::u16string(u"CEMENTO%")),
                                            jet::Value(std::int64_t{2}), jet::Value(21.5)};
    if (auto* select = std::get_if<jet::sql::SelectStmt>(&st)) {
        auto cursor = jet::sql::runSelect(sharedStorage(), std::move(*select), params);
        fuzzing::drain(*cursor);
    } else if (auto* update = std::get_if<jet::sql::UpdateStmt>(&st)) {
        auto copy = jet::Storage::open(std::make_unique<jet::MemoryFile>(fixture(), "copy.mdb"));
        const std::string table = update->table;
        jet::sql::runUpdate(*copy, std::move(*update), params);
        // What the writer left must read back whole: a corruption error here
        // is the writer's fault, not the input's.
        auto& file = static_cast<jet::MemoryFile&>(copy->pager().file());
        auto reread =
            jet::Storage::open(std::make_unique<jet::MemoryFile>(file.bytes(), "written.mdb"));
        try {
            fuzzing::readTable(*reread, reread->tableDef(table).name);
        } catch (const precios::Error& e) {
            std::fprintf(stderr, "fuzz_sql: the file written by UPDATE does not read back: %s\n",
                         e.what());
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    try {
        if (data[0] % 2 == 0)
            runStatement(text);
        else
            runSearch(text);
    } catch (const precios::Error&) {
    }
    return 0;
}
