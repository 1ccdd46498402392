// Opening a file: header checks, the catalog and table definitions.
#include "format/storage.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

#include "format/properties.h"

namespace jet {

namespace {

constexpr std::uint32_t kSystemFlags = 0x80000002;

}  // namespace

Storage::Storage(std::unique_ptr<Pager> pager, HeaderInfo header)
    : pager_(std::move(pager)), header_(header) {}

Storage::~Storage() = default;

std::unique_ptr<Storage> Storage::open(const std::string& path, bool writable, Env& env) {
    std::unique_ptr<Storage> s = open(env.openFile(path, writable));
    s->env_ = &env;
    return s;
}

std::unique_ptr<Storage> Storage::open(std::unique_ptr<File> file) {
    const Format& format = recogniseFormat(*file);
    const std::string name = file->name();
    auto pager = std::make_unique<Pager>(std::move(file), format);
    std::vector<std::uint32_t> read;
    pager->recordReads(&read);
    HeaderInfo header = decodeHeader(pager->page(0), format, name);
    if (pager->page(2).u8(0) != kPageTdef)
        throw Error("Cannot open '" + name +
                        "': the system catalog is missing (page 2 is not a table definition)",
                    ErrorKind::Corrupt);
    std::unique_ptr<Storage> s(new Storage(std::move(pager), header));
    try {
        s->loadCatalog();
    } catch (const Error& e) {
        s->pager_->recordReads(nullptr);
        if (e.kind() != ErrorKind::Corrupt) throw;
        throw Error("Cannot open '" + name + "': " + e.message(), ErrorKind::Corrupt, e);
    }
    s->pager_->recordReads(nullptr);
    std::sort(read.begin(), read.end());
    read.erase(std::unique(read.begin(), read.end()), read.end());
    s->catalogPages_ = std::move(read);
    return s;
}

void Storage::loadCatalog() {
    catalog_ = parseTableDef(2, "MSysObjects");
    const TableDef& c = *catalog_;
    std::vector<int> cols = {c.columnIndex("Id"), c.columnIndex("Name"), c.columnIndex("Type"),
                             c.columnIndex("Flags")};
    scan(c, cols, [&](RowId row, std::vector<Value>& v) {
        const auto* id = std::get_if<std::int64_t>(&v[0].v);
        const auto* name = std::get_if<std::u16string>(&v[1].v);
        const auto* type = std::get_if<std::int64_t>(&v[2].v);
        if (!id || !name || !type || *type != 1) return true;
        std::uint32_t flags = 0;
        if (const auto* fl = std::get_if<std::int64_t>(&v[3].v))
            flags = static_cast<std::uint32_t>(*fl);
        CatalogEntry e;
        e.name = utf16ToUtf8(*name);
        e.tdefPage = static_cast<std::uint32_t>(*id) & 0x00FFFFFF;
        e.user = (flags & kSystemFlags) == 0;
        e.row = row;
        std::u16string key = foldName(*name);
        auto it = byFoldedName_.find(key);
        entries_.push_back(std::move(e));
        // A user table wins over a system table of the same name.
        if (it == byFoldedName_.end())
            byFoldedName_.emplace(key, entries_.size() - 1);
        else if (entries_.back().user && !entries_[it->second].user)
            it->second = entries_.size() - 1;
        return true;
    });
}

std::vector<std::string> Storage::tableNames() {
    std::vector<std::string> names;
    for (const auto& e : entries_)
        if (e.user) names.push_back(e.name);
    return names;
}

const TableDef& Storage::tableDef(const std::string& name) {
    auto it = byFoldedName_.find(foldName(utf8ToUtf16(name)));
    if (it == byFoldedName_.end())
        throw Error("The table '" + name + "' does not exist", ErrorKind::NotFound);
    const CatalogEntry& e = entries_[it->second];
    auto d = defs_.find(e.tdefPage);
    if (d == defs_.end()) {
        std::unique_ptr<TableDef> def = parseTableDef(e.tdefPage, e.name);
        readColumnProperties(*def, e.row);
        d = defs_.emplace(e.tdefPage, std::move(def)).first;
    }
    return *d->second;
}

TableInfo Storage::tableInfo(const std::string& name) {
    const TableDef& def = tableDef(name);
    TableInfo info;
    info.name = def.name;
    for (const auto& c : def.columns) info.columns.push_back(c.column);
    for (const auto& i : def.indexes) info.indexes.push_back(i.index);
    info.rowCount = countRows(def);
    return info;
}

int TableDef::columnIndex(const std::string& columnName) const {
    std::u16string key = foldName(utf8ToUtf16(columnName));
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (foldName(utf8ToUtf16(columns[i].column.name)) == key) return static_cast<int>(i);
    throw Error("The column '" + columnName + "' does not exist in table '" + name + "'",
                ErrorKind::NotFound);
}

const ColumnDef* TableDef::columnByNumber(int n) const {
    for (const auto& c : columns)
        if (c.number == n) return &c;
    return nullptr;
}

// The definition's pages joined into one buffer (format/tdef.h), decoded.
std::unique_ptr<TableDef> Storage::parseTableDef(std::uint32_t first, const std::string& name) {
    const Format& f = format();
    auto def = std::make_unique<TableDef>();
    def->name = name;
    def->tdefPage = first;

    std::vector<std::uint8_t> buf;
    std::set<std::uint32_t> seen;
    for (std::uint32_t p = first; p != 0;) {
        if (!seen.insert(p).second) corrupt("loop in the table definition chain of " + name, p);
        ByteView page = pager_->page(p, kPageTdef, "a table definition");
        def->tdefPages.push_back(p);
        std::size_t from = buf.empty() ? 0 : f.tdefPageHeader;
        buf.insert(buf.end(), page.data() + from, page.data() + page.size());
        p = page.u32(f.tdefNextPage);
    }
    decodeTableDef(ByteView(buf.data(), buf.size(), first), f, header_.codePage, *def);
    return def;
}

void Storage::readColumnProperties(TableDef& def, RowId catalogRow) {
    // Properties are a convenience of Access's designer; a blob this reader
    // cannot follow leaves the columns without them rather than the table
    // unreadable.
    try {
        const int position = catalog_->columnIndex("LvProp");
        const Value blob = readRow(*catalog_, catalogRow, {position}).at(0);
        const auto* bytes = std::get_if<Bytes>(&blob.v);
        if (!bytes || bytes->empty()) return;
        const ObjectProperties props =
            parseProperties(ByteView(bytes->data(), bytes->size()), format(), header_.codePage);
        for (ColumnDef& c : def.columns) {
            auto it = props.columns.find(foldName(utf8ToUtf16(c.column.name)));
            if (it == props.columns.end()) continue;
            const PropertyValue* required = findProperty(it->second, u"Required");
            c.column.required = required && required->asBool();
            if (c.column.required) c.column.nullable = false;
        }
    } catch (const Error&) {
    }
}

}  // namespace jet
