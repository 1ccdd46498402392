// jet-dump FILE [TABLE]: a debugging view of an Access file through the
// engine's storage layer. Without TABLE it lists the user tables with their
// columns and indexes; with TABLE it prints the rows, tab-separated.
#include <cstdio>
#include <iostream>
#include <sstream>

#include "format/storage.h"

namespace {

std::string show(const jet::Value& v) {
    std::ostringstream out;
    std::visit(
        [&](const auto& x) {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                out << "NULL";
            } else if constexpr (std::is_same_v<T, bool>) {
                out << (x ? "true" : "false");
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                out << x;
            } else if constexpr (std::is_same_v<T, double>) {
                out.precision(17);
                out << x;
            } else if constexpr (std::is_same_v<T, jet::Currency>) {
                out << static_cast<double>(x.scaled) / 10000.0;
            } else if constexpr (std::is_same_v<T, jet::DateTime>) {
                out.precision(17);
                out << "#" << x.days << "#";
            } else if constexpr (std::is_same_v<T, std::u16string>) {
                out << jet::utf16ToUtf8(x);
            } else if constexpr (std::is_same_v<T, jet::Bytes>) {
                out << "<" << x.size() << " bytes>";
            } else {
                out << x.text;
            }
        },
        v.v);
    return out.str();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::cerr << "usage: jet-dump FILE [TABLE]\n";
        return 2;
    }
    try {
        auto db = jet::Storage::open(argv[1], false);
        if (argc == 2) {
            std::cout << "Jet " << db->format().version << ", " << db->pager().pageCount()
                      << " pages, code page " << db->header().codePage << ", sort order "
                      << db->header().sortOrder << "\n";
            for (const auto& name : db->tableNames()) {
                const jet::TableDef& def = db->tableDef(name);
                std::cout << name << " (TDEF page " << def.tdefPage << ", " << db->countRows(def)
                          << " rows)\n";
                for (const auto& c : def.columns)
                    std::cout << "  " << c.column.name << ": "
                              << jet::typeName(c.column.type, c.column.autoNumber) << " size "
                              << c.column.size << " #" << c.number << "\n";
                for (const auto& i : def.indexes) {
                    std::cout << "  index " << i.index.name << " (";
                    for (std::size_t k = 0; k < i.index.columns.size(); ++k)
                        std::cout << (k ? ", " : "") << i.index.columns[k]
                                  << (i.index.descending[k] ? " DESC" : "");
                    std::cout << ")" << (i.index.primaryKey ? " primary" : "")
                              << (i.index.unique ? " unique" : "")
                              << (i.index.foreignKey ? " foreign" : "") << " root " << i.rootPage
                              << "\n";
                }
            }
            return 0;
        }
        const jet::TableDef& def = db->tableDef(argv[2]);
        std::vector<int> all;
        for (std::size_t i = 0; i < def.columns.size(); ++i) {
            all.push_back(static_cast<int>(i));
            std::cout << (i ? "\t" : "") << def.columns[i].column.name;
        }
        std::cout << "\n";
        db->scan(def, all, [](jet::RowId, std::vector<jet::Value>& row) {
            for (std::size_t i = 0; i < row.size(); ++i)
                std::cout << (i ? "\t" : "") << show(row[i]);
            std::cout << "\n";
            return true;
        });
    } catch (const jet::Error& e) {
        std::cerr << "jet-dump: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
