// jetsql: runs one statement of the engine's SQL dialect against a .mdb file.
//
//   jetsql FILE "SELECT ..."     tab-separated rows with a header line
//   jetsql FILE "UPDATE ..."     "N rows affected"
//   jetsql FILE --tables         the user tables, one a line
//   jetsql FILE --columns TABLE  name, Access type and size of each column
//   jetsql FILE --indexes TABLE  each index: name, key columns, properties
//
// Output format: NULL as \N; tab, line breaks and backslash inside text
// escaped as \t \n \r \\; dates as yyyy-mm-dd hh:mm:ss; doubles with 17
// significant digits; currency with its 4 decimals; Yes/No as 1 / 0;
// binary as hexadecimal. Any error: its message on stderr, exit code 1.
#include <cmath>
#include <cstdio>
#include <iostream>
#include <string>

#include "jet/jet.h"

namespace {

std::string utf8(const std::u16string& s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;  // an unpaired surrogate cannot be written as UTF-8
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string escaped(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// Access dates: days since 1899-12-30; before it, the time is a positive
// fraction behind a negative day count.
std::string formatDate(double days) {
    const double whole = std::trunc(days);
    long long seconds = std::llround(std::fabs(days - whole) * 86400.0);
    long long day = static_cast<long long>(whole);
    if (seconds >= 86400) {  // rounding reached the next day
        seconds -= 86400;
        day += days < 0 ? -1 : 1;
    }
    // Civil date from days since 1970-01-01 (H. Hinnant's algorithm).
    long long z = day - 25569 + 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long y = yoe + era * 400;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const long long d = doy - (153 * mp + 2) / 5 + 1;
    const long long m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2) ++y;
    char buf[160];  // room for any long long, so the compiler sees no truncation
    std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld", y, m, d,
                  seconds / 3600, seconds / 60 % 60, seconds % 60);
    return buf;
}

std::string format(const jet::Value& v) {
    char buf[64];
    return std::visit(
        [&](const auto& x) -> std::string {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                return "\\N";
            } else if constexpr (std::is_same_v<T, bool>) {
                return x ? "1" : "0";
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                return std::to_string(x);
            } else if constexpr (std::is_same_v<T, double>) {
                std::snprintf(buf, sizeof buf, "%.17g", x);
                return buf;
            } else if constexpr (std::is_same_v<T, jet::Currency>) {
                // Unsigned: the smallest currency has no positive counterpart.
                const std::uint64_t a = x.scaled < 0 ? 0 - static_cast<std::uint64_t>(x.scaled)
                                                     : static_cast<std::uint64_t>(x.scaled);
                std::snprintf(buf, sizeof buf, "%s%llu.%04llu", x.scaled < 0 ? "-" : "",
                              static_cast<unsigned long long>(a / 10000),
                              static_cast<unsigned long long>(a % 10000));
                return buf;
            } else if constexpr (std::is_same_v<T, jet::DateTime>) {
                return formatDate(x.days);
            } else if constexpr (std::is_same_v<T, std::u16string>) {
                return escaped(utf8(x));
            } else if constexpr (std::is_same_v<T, jet::Bytes>) {
                std::string out;
                for (std::uint8_t b : x) {
                    std::snprintf(buf, sizeof buf, "%02X", b);
                    out += buf;
                }
                return out;
            } else {
                return x.text;  // Decimal
            }
        },
        v.v);
}

bool startsWithSelect(const std::string& sql) {
    std::size_t i = sql.find_first_not_of(" \t\r\n(");
    if (i == std::string::npos || sql.size() - i < 6) return false;
    std::string word = sql.substr(i, 6);
    for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return word == "SELECT";
}

int run(int argc, char** argv) {
    if (argc < 3) {
        std::cerr
            << "usage: jetsql FILE \"STATEMENT\" | --tables | --columns TABLE | --indexes TABLE\n";
        return 1;
    }
    const std::string arg = argv[2];
    const bool readOnly =
        arg == "--tables" || arg == "--columns" || arg == "--indexes" || startsWithSelect(arg);
    auto db =
        jet::Database::open(argv[1], readOnly ? jet::OpenMode::ReadOnly : jet::OpenMode::ReadWrite);
    if (arg == "--tables") {
        for (const auto& name : db->tableNames()) std::cout << name << '\n';
    } else if (arg == "--columns") {
        if (argc < 4)
            throw jet::Error("--columns needs a table name", jet::ErrorKind::InvalidArgument);
        const jet::TableInfo t = db->table(argv[3]);
        std::cout << "name\ttype\tsize\n";
        for (const auto& c : t.columns)
            std::cout << c.name << '\t' << jet::typeName(c.type, c.autoNumber) << '\t' << c.size
                      << '\n';
    } else if (arg == "--indexes") {
        if (argc < 4)
            throw jet::Error("--indexes needs a table name", jet::ErrorKind::InvalidArgument);
        const jet::TableInfo t = db->table(argv[3]);
        std::cout << "name\tcolumns\tproperties\n";
        for (const auto& ix : t.indexes) {
            std::string columns;
            for (std::size_t i = 0; i < ix.columns.size(); ++i)
                columns += (i ? ", " : "") + ix.columns[i] + (ix.descending[i] ? " DESC" : " ASC");
            std::string props;
            auto add = [&](bool on, const char* what) {
                if (on) props += (props.empty() ? "" : ", ") + std::string(what);
            };
            add(ix.primaryKey, "primary key");
            add(ix.unique, "unique");
            add(ix.required, "required");
            add(ix.ignoreNulls, "ignore nulls");
            add(ix.foreignKey, "foreign key");
            std::cout << ix.name << '\t' << columns << '\t' << (props.empty() ? "-" : props)
                      << '\n';
        }
    } else if (readOnly) {
        auto cursor = db->query(arg);
        std::string line;
        for (std::size_t i = 0; i < cursor->columns().size(); ++i)
            line += (i ? "\t" : "") + cursor->columns()[i].name;
        std::cout << line << '\n';
        while (cursor->next()) {
            line.clear();
            const auto& row = cursor->row();
            for (std::size_t i = 0; i < row.size(); ++i) {
                if (i) line += '\t';
                line += format(row[i]);
            }
            line += '\n';
            std::cout << line;
        }
    } else {
        const std::int64_t n = db->execute(arg);
        std::cout << n << " rows affected\n";
    }
    std::cout.flush();
    if (!std::cout) throw jet::Error("cannot write the output", jet::ErrorKind::Io);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "jetsql: " << e.what() << '\n';
        return 1;
    }
}
