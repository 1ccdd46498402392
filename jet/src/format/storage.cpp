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

[[noreturn]] void refuse(const std::string& file, const std::string& why,
                         ErrorKind kind = ErrorKind::NotSupported) {
    throw Error("Cannot open '" + file + "': " + why, kind);
}

// Page 0:
//   0x00  1   page type 0x00
//   0x01  3   01 00 00
//   0x04  16  engine name, NUL-terminated
//   0x14  4   format version (low byte): 0 Jet 3, 1 Jet 4, 2+ ACE
//   0x18  ..  masked region (RC4, key C7 DA 39 6B), 126 (J3) / 128 (J4) bytes
const Format& recognise(File& file) {
    const std::string& name = file.name();
    const std::uint64_t size = file.size();
    if (size < 0x20) refuse(name, "the file is not an Access database");
    std::uint8_t head[0x20];
    file.read(0, head, sizeof head);
    if (head[0] != 0 || head[1] != 1 || head[2] != 0 || head[3] != 0)
        refuse(name, "the file is not an Access database");
    std::string engine(reinterpret_cast<const char*>(head + kHeaderEngineOffset), 16);
    engine = engine.substr(0, engine.find('\0'));
    const std::uint8_t version = head[kHeaderVersionOffset];
    if (engine == "Standard ACE DB" || (engine == kJetEngineName && version >= 2 && version <= 6))
        refuse(name, "Access 2007 and later (.accdb) files are not supported");
    if (engine == "MSISAM Database")
        refuse(name, "Microsoft Works and Money (MSISAM) databases are not supported");
    if (engine != kJetEngineName) refuse(name, "the file is not an Access database");
    if (version > 1) refuse(name, "unknown Access file format version " + std::to_string(version));
    const Format& format = version == 0 ? jet3Format() : jet4Format();
    if (size < 3 * format.pageSize)
        refuse(name, "the file is truncated (shorter than three pages)", ErrorKind::Corrupt);
    return format;
}

HeaderInfo readHeader(Pager& pager) {
    const Format& f = pager.format();
    const std::string& name = pager.file().name();
    ByteView raw = pager.page(0);
    std::vector<std::uint8_t> page(raw.data(), raw.data() + raw.size());
    rc4(kHeaderMaskKey, sizeof kHeaderMaskKey, page.data() + f.headerMaskedStart,
        f.headerMaskedLength);
    ByteView h(page.data(), page.size(), 0);

    HeaderInfo info;
    info.version = f.version;
    info.codePage = h.u16(f.headerCodePage);
    info.sortOrder = h.u16(f.headerSortOrder);
    if (h.u32(f.headerEncodingKey) != 0)
        refuse(name, "the database is encoded (encrypted); decode it in Access first");

    std::vector<std::uint8_t> password(h.data() + f.headerPassword,
                                       h.data() + f.headerPassword + f.headerPasswordLength);
    if (f.version >= 4) {
        info.sortVersion = h.u8(f.headerSortOrder + 3);
        info.creationDate = h.f64(f.headerCreationDate);
        // The password bytes are further masked with the creation date's
        // whole part, repeated.
        double d = info.creationDate;
        std::uint32_t mask = 0;
        if (std::isfinite(d) && d > -2147483648.0 && d < 2147483648.0)
            mask = static_cast<std::uint32_t>(static_cast<std::int32_t>(d));
        for (std::size_t i = 0; i < password.size(); ++i)
            password[i] ^= static_cast<std::uint8_t>(mask >> (8 * (i % 4)));
    }
    if (std::any_of(password.begin(), password.end(), [](std::uint8_t b) { return b != 0; }))
        refuse(name, "the database is password-protected; remove the password in Access first");

    if (pager.page(2).u8(0) != kPageTdef)
        refuse(name, "the system catalog is missing (page 2 is not a table definition)",
               ErrorKind::Corrupt);
    return info;
}

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
    const Format& format = recognise(*file);
    const std::string name = file->name();
    auto pager = std::make_unique<Pager>(std::move(file), format);
    std::vector<std::uint32_t> read;
    pager->recordReads(&read);
    HeaderInfo header = readHeader(*pager);
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
