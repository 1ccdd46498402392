// derive-collation: builds jet/src/index/collation_tables.inc from the character
// code tables of the Access sort orders, and checks the result against the
// index entries Access itself wrote.
//
//   derive-collation generate <collation dir> <out.inc>
//   derive-collation check <file.mdb>...
//
// `check` walks every index with a text column in the given databases,
// rebuilds each entry's key from the row it points at with the engine's
// collation (the committed table) and reports every difference and how many
// distinct characters Access's entries confirmed. It exits 1 on a mismatch.
//
// The code tables (one line per character: a class letter, then hexadecimal
// byte strings separated by commas, a leading 0 possibly left out) are
//   index_codes_genleg.txt        Jet 4 General (legacy), U+0000..U+00FF
//   index_codes_ext_genleg.txt    the same for U+0100..U+FFFF, no surrogates
//   index_codes_gen_97.txt        Jet 3 General, per code page 1252 byte
//   index_mappings_ext_gen_97.txt "code point,byte" for cp1252 above U+00FF
//
// The Jet 4 table is written as runs of consecutive characters with the same
// class whose primary codes stay equal or rise by one, which keeps the
// 63,000 characters to a few thousand lines of source.
//
// The tables are taken as they are: `check` over testIndexCodesV2000.mdb,
// testIndexCodesV1997.mdb, testUnicodeCompV2003.mdb and store.mdb finds no
// entry that contradicts them (including Jet 3 bytes 0x81, 0x8D, 0x8F, 0x90
// and 0x9D, which Access keys with code 10 like the control characters).
// The engine's index_page_test.cpp repeats that check on every index.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "format/index_page.h"
#include "format/storage.h"
#include "index/collation.h"
#include "index/index_key.h"

namespace {

struct Code {
    char cls = 'X';
    std::vector<std::uint8_t> primary;
    std::vector<std::uint8_t> extra;
    std::vector<std::uint8_t> aux;  // unprintable code, modifier or kana flag
};

std::vector<std::uint8_t> hexBytes(const std::string& s) {
    std::string h = (s.size() % 2) ? "0" + s : s;
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < h.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoul(h.substr(i, 2), nullptr, 16)));
    return out;
}

std::vector<std::string> splitFields(const std::string& s) {
    std::vector<std::string> f;
    std::string cur;
    for (char c : s) {
        if (c == ',') {
            f.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    f.push_back(cur);
    return f;
}

Code parseLine(const std::string& raw, std::size_t lineNo) {
    std::string line = raw;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) throw std::runtime_error("empty line " + std::to_string(lineNo));
    Code c;
    c.cls = line[0];
    auto f = splitFields(line.substr(1));
    auto field = [&](std::size_t i) {
        return i < f.size() ? hexBytes(f[i]) : std::vector<std::uint8_t>{};
    };
    switch (c.cls) {
        case 'X':
            break;
        case 'S':
        case 'G':
            c.primary = field(0);
            break;
        case 'I':
            c.primary = field(0);
            c.extra = field(1);
            break;
        case 'U':
        case 'P':
            c.aux = field(0);
            break;
        case 'Z':
            c.primary = field(0);
            c.extra = field(1);
            // The third field marks the kana whose flag is 2; the others carry 3.
            c.aux = {static_cast<std::uint8_t>(f.size() > 2 && !f[2].empty() ? 2 : 3)};
            break;
        default:
            throw std::runtime_error("unknown class on line " + std::to_string(lineNo));
    }
    if (c.primary.size() > 4 || c.extra.size() > 2 || c.aux.size() > 1)
        throw std::runtime_error("code too long on line " + std::to_string(lineNo));
    return c;
}

std::vector<Code> readTable(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::vector<Code> codes;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line == "\r") continue;
        codes.push_back(parseLine(line, codes.size() + 1));
    }
    return codes;
}

std::uint32_t packed(const std::vector<std::uint8_t>& b) {
    std::uint32_t v = 0;
    for (auto x : b) v = (v << 8) | x;
    return v;
}

std::string hex(std::uint32_t v, int width) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%0*X", width, v);
    return buf;
}

struct Run {
    std::uint32_t first, last;
    Code code;
    int step = -1;  // -1 until a second character joins
    std::uint32_t lastPrimary;
};

int generate(const std::string& dir, const std::string& outPath) {
    std::vector<Code> j4 = readTable(dir + "/index_codes_genleg.txt");
    if (j4.size() != 256) throw std::runtime_error("index_codes_genleg.txt: expected 256 lines");
    std::vector<Code> ext = readTable(dir + "/index_codes_ext_genleg.txt");
    if (ext.size() != 0x10000 - 0x100 - 0x800)
        throw std::runtime_error("index_codes_ext_genleg.txt: expected one line per non-surrogate");
    std::vector<Code> j3 = readTable(dir + "/index_codes_gen_97.txt");
    if (j3.size() != 256) throw std::runtime_error("index_codes_gen_97.txt: expected 256 lines");

    std::vector<std::pair<std::uint32_t, std::uint32_t>> cpExt;
    {
        std::ifstream in(dir + "/index_mappings_ext_gen_97.txt");
        if (!in) throw std::runtime_error("cannot read index_mappings_ext_gen_97.txt");
        std::string line;
        while (std::getline(in, line)) {
            auto f = splitFields(line);
            if (f.size() != 2) continue;
            cpExt.emplace_back(std::stoul(f[0]), std::stoul(f[1]));
        }
    }

    std::vector<Run> runs;
    std::size_t extIndex = 0;
    for (std::uint32_t cp = 0; cp <= 0xFFFF; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        const Code& c = cp < 0x100 ? j4[cp] : ext[extIndex++];
        std::uint32_t p = packed(c.primary);
        if (!runs.empty()) {
            Run& r = runs.back();
            const Code& rc = r.code;
            bool same = r.last + 1 == cp && rc.cls == c.cls &&
                        rc.primary.size() == c.primary.size() && rc.extra == c.extra &&
                        rc.aux == c.aux;
            if (same) {
                std::int64_t d = std::int64_t(p) - r.lastPrimary;
                if (r.step < 0 && (d == 0 || d == 1)) r.step = int(d);
                if (r.step >= 0 && d == r.step) {
                    r.last = cp;
                    r.lastPrimary = p;
                    continue;
                }
            }
        }
        runs.push_back(Run{cp, cp, c, -1, p});
    }

    std::ostringstream o;
    o << "// Generated by jet/tools/derive_collation.cpp from the Access sort-order code\n"
         "// tables; do not edit. See collation.cpp for the meaning of the fields.\n\n";
    o << "// Jet 4 General (legacy): runs of characters {first, last, class, primary\n"
         "// length, primary step, primary of `first`, accent length, accent, aux}.\n";
    o << "constexpr CodeRun kGeneral4Runs[] = {\n";
    for (const Run& r : runs) {
        const Code& c = r.code;
        o << "    {" << hex(r.first, 4) << ", " << hex(r.last, 4) << ", '" << c.cls << "', "
          << c.primary.size() << ", " << (r.step < 0 ? 0 : r.step) << ", "
          << hex(packed(c.primary), 2 * int(std::max<std::size_t>(1, c.primary.size()))) << ", "
          << c.extra.size() << ", " << hex(packed(c.extra), 2) << ", "
          << hex(c.aux.empty() ? 0 : c.aux[0], 2) << "},\n";
    }
    o << "};\n\n";
    o << "// Jet 3 General: per code page 1252 byte {class, primary length, primary,\n"
         "// accent nibble}.\n";
    o << "constexpr Code97 kGeneral97Codes[256] = {\n";
    for (std::size_t b = 0; b < 256; ++b) {
        const Code& c = j3[b];
        if (c.cls != 'X' && c.cls != 'S' && c.cls != 'G' && c.cls != 'I')
            throw std::runtime_error("index_codes_gen_97.txt: unexpected class");
        if (c.primary.size() > 2 || c.extra.size() > 1)
            throw std::runtime_error("index_codes_gen_97.txt: code too long");
        o << "    {'" << c.cls << "', " << c.primary.size() << ", " << hex(packed(c.primary), 4)
          << ", " << hex(packed(c.extra), 2) << "},  // " << hex(std::uint32_t(b), 2) << "\n";
    }
    o << "};\n\n";
    // The code page itself is the engine's text codec's; the mapping that
    // comes with the sort order tables must agree with it.
    for (auto [cp, b] : cpExt)
        if (jet::cp1252Byte(char16_t(cp)) != int(b))
            throw std::runtime_error("index_mappings_ext_gen_97.txt: U+" + hex(cp, 4) +
                                     " is not byte " + hex(b, 2) +
                                     " in the engine's code page 1252");

    std::ofstream out(outPath, std::ios::binary);
    out << o.str();
    if (!out) throw std::runtime_error("cannot write " + outPath);
    std::cout << "wrote " << outPath << ": " << runs.size() << " Jet 4 runs, 256 Jet 3 codes, "
              << cpExt.size() << " code page mappings confirmed\n";
    return 0;
}

std::string hexKey(const std::string& s) {
    std::string out;
    for (unsigned char c : s) out += hex(c, 2).substr(2) + " ";
    return out;
}

// Rebuilds every entry of every index that has a text column.
int check(const std::vector<std::string>& files) {
    std::size_t entries = 0, mismatches = 0;
    std::set<char16_t> confirmed;
    for (const std::string& file : files) {
        auto st = jet::Storage::open(file, false);
        const jet::SortOrder order = jet::sortOrderForJet(st->format().version);
        const auto& format = jet::IndexPageFormat::forJet(st->format().version);
        for (const std::string& table : st->tableNames()) {
            const jet::TableDef& def = st->tableDef(table);
            for (const jet::RealIndexDef& real : def.realIndexes) {
                std::vector<int> positions;
                std::vector<jet::KeyColumn> columns;
                bool text = false;
                for (std::size_t i = 0; i < real.columnNumbers.size(); ++i) {
                    const jet::ColumnDef* c = def.columnByNumber(real.columnNumbers[i]);
                    if (!c) throw std::runtime_error(table + ": index on a deleted column");
                    positions.push_back(int(c - def.columns.data()));
                    columns.push_back({c->column.type, !real.ascending.at(i)});
                    text = text || c->column.type == jet::ColumnType::Text ||
                           c->column.type == jet::ColumnType::Memo;
                }
                if (!text) continue;
                for (const jet::IndexEntry& e :
                     jet::readIndex(jet::pagerSource(st->pager()), real.rootPage, format)) {
                    std::vector<jet::Value> values = st->readRow(def, e.row, positions);
                    std::string built;
                    try {
                        built = jet::indexKey(values, columns, order);
                    } catch (const jet::Error& err) {
                        built = std::string("(") + err.what() + ")";
                    }
                    ++entries;
                    bool ok = built == e.key;
                    for (const jet::Value& v : values) {
                        auto* s = std::get_if<std::u16string>(&v.v);
                        if (!s) continue;
                        if (ok) confirmed.insert(s->begin(), s->end());
                        if (ok) continue;
                        std::string cps;
                        for (char16_t ch : *s) cps += hex(ch, 4).substr(2) + " ";
                        std::cout << file << ": " << table << " [" << cps
                                  << "]\n  file:  " << hexKey(e.key)
                                  << "\n  built: " << hexKey(built) << "\n";
                    }
                    if (!ok) ++mismatches;
                }
            }
        }
    }
    std::cout << entries << " text index entries rebuilt, " << mismatches << " mismatches, "
              << confirmed.size() << " distinct characters confirmed\n";
    return mismatches == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        std::vector<std::string> args(argv + 1, argv + argc);
        if (args.size() == 3 && args[0] == "generate") return generate(args[1], args[2]);
        if (args.size() >= 2 && args[0] == "check")
            return check(std::vector<std::string>(args.begin() + 1, args.end()));
        std::cerr << "usage: derive-collation generate <collation dir> <out.inc>\n"
                     "       derive-collation check <file.mdb>...\n";
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "derive-collation: " << e.what() << "\n";
        return 1;
    }
}
