// DatabaseBuilder: lays out a new Jet 4 file page by page in memory.
//
// Page plan: 0 header, 1 global usage map, 2 MSysObjects' TDEF, then for
// each table its TDEF and its usage-map page as the table is added; data and
// LVAL pages as rows arrive; at finish(), index pages (bottom-up, one index
// after the other), TDEF continuation pages and usage-map bitmap pages.
#include "create.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>

#include "bytes.h"
#include "index_key.h"
#include "storage.h"
#include "writer.h"

#ifdef _WIN32
#include "win32_file.h"
#endif

namespace jet {
namespace {

constexpr std::size_t kPageSize = 4096;
constexpr std::size_t kDataRowTable = 0x0E;
constexpr std::size_t kDataCapacity = kPageSize - kDataRowTable;  // 4082
constexpr unsigned kMaxSlots = 255;
constexpr std::size_t kMaxRowSize = 4060;
constexpr std::size_t kMapRowSize = 69;  // inline: 5 + 64 bytes = 512 pages
constexpr std::uint32_t kInlineMapPages = (kMapRowSize - 5) * 8;
constexpr std::size_t kRefMapSlots = (kMapRowSize - 1) / 4;
constexpr std::uint32_t kBitmapPageSpan = (kPageSize - 4) * 8;
constexpr std::size_t kMemoInlineMax = 64;
constexpr std::size_t kLvalSingleMax = 4076;
constexpr std::size_t kLvalChunk = 4072;  // chained rows: 4-byte link + data
constexpr std::size_t kMemoCompressMax = 1024;
constexpr std::size_t kFreeMapThreshold = 512;

// Index page layout (J4).
constexpr std::size_t kIxPrev = 0x0C, kIxNext = 0x10, kIxTail = 0x14, kIxPrefix = 0x18;
constexpr std::size_t kIxNodeMark = 0x1A, kIxBitmap = 0x1B, kIxEntries = 0x1E0;
constexpr std::size_t kIxArea = 3616;

constexpr std::uint32_t kTdefConst = 1625;
constexpr std::uint32_t kRealIndexConst = 1923;
constexpr std::uint32_t kContainerRoot = 0x0F000000;
constexpr std::uint32_t kTablesId = 0x0F000001;
constexpr std::uint32_t kDatabasesId = 0x0F000002;
constexpr std::uint32_t kRelationshipsId = 0x0F000003;
constexpr std::uint32_t kMSysDbId = 0x10000000;
constexpr std::uint32_t kSystemFlag = 0x80000000;

[[noreturn]] void invalid(const std::string& message) {
    throw Error(message, ErrorKind::InvalidArgument);
}

void putU16(Bytes& b, std::uint16_t v) {
    b.push_back(std::uint8_t(v));
    b.push_back(std::uint8_t(v >> 8));
}
void putU32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(std::uint8_t(v >> (8 * i)));
}
void putName(Bytes& b, const std::string& utf8) {
    std::u16string s = utf8ToUtf16(utf8);
    putU16(b, std::uint16_t(s.size() * 2));
    for (char16_t c : s) putU16(b, std::uint16_t(c));
}
void appendBE(std::string& s, std::uint32_t v, int width) {
    for (int i = width - 1; i >= 0; --i) s.push_back(char(std::uint8_t(v >> (8 * i))));
}

Bytes fromHex(const char* hex) {
    Bytes out;
    for (std::size_t i = 0; hex[i] && hex[i + 1]; i += 2)
        out.push_back(std::uint8_t(std::stoi(std::string(hex + i, 2), nullptr, 16)));
    return out;
}

// The database's property blob (MSysDb.LvProp): "MR2\0", a chunk naming
// the properties, then a chunk of values for the database itself. Only
// AccessVersion is set; readers use it to tell Access 2000 files (08.50)
// from 2002-2003 ones.
Bytes databaseProperties() {
    const std::u16string name = u"AccessVersion", value = u"08.50";
    Bytes names;
    putU16(names, std::uint16_t(name.size() * 2));
    for (char16_t c : name) putU16(names, std::uint16_t(c));
    Bytes entry;
    putU16(entry, std::uint16_t(8 + value.size() * 2));  // entry length
    entry.push_back(0x00);                               // not a DDL property
    entry.push_back(std::uint8_t(ColumnType::Text));     // value type
    putU16(entry, 0);                                    // index into the name chunk
    putU16(entry, std::uint16_t(value.size() * 2));
    for (char16_t c : value) putU16(entry, std::uint16_t(c));
    Bytes out = {'M', 'R', '2', 0};
    putU32(out, std::uint32_t(6 + names.size()));
    putU16(out, 0x0080);  // chunk of property names
    out.insert(out.end(), names.begin(), names.end());
    putU32(out, std::uint32_t(6 + 6 + entry.size()));
    putU16(out, 0x0000);  // chunk of values, for the object itself (empty name)
    putU32(out, 6);
    putU16(out, 0);
    out.insert(out.end(), entry.begin(), entry.end());
    return out;
}

int fixedSize(ColumnType t) {
    switch (t) {
        case ColumnType::Boolean:
            return 1;
        case ColumnType::Byte:
            return 1;
        case ColumnType::Integer:
            return 2;
        case ColumnType::Long:
            return 4;
        case ColumnType::Single:
            return 4;
        case ColumnType::Currency:
        case ColumnType::Double:
        case ColumnType::DateTime:
            return 8;
        case ColumnType::Guid:
            return 16;
        case ColumnType::Numeric:
            return 17;
        default:
            return 0;
    }
}

bool isLongValue(ColumnType t) { return t == ColumnType::Memo || t == ColumnType::Ole; }
bool isText(ColumnType t) { return t == ColumnType::Text || t == ColumnType::Memo; }

std::int64_t asInteger(const Value& v, const std::string& column, std::int64_t lo,
                       std::int64_t hi) {
    std::int64_t x = 0;
    if (auto i = std::get_if<std::int64_t>(&v.v)) {
        x = *i;
    } else if (auto b = std::get_if<bool>(&v.v)) {
        x = *b ? -1 : 0;
    } else {
        invalid("column " + column + " needs an integer");
    }
    if (x < lo || x > hi)
        invalid("value " + std::to_string(x) + " out of range for column " + column);
    return x;
}

struct Col {
    ColumnDesign design;
    ColumnDef def;  // as the reader and the writer's encoders see the column
    int number = 0;
    int varIndex = 0;
    int fixedOffset = 0;
    int length = 0;  // bytes, as the descriptor says
    std::uint8_t flags = 0;
    std::uint8_t extra = 0;
    bool fixed = false;
    // Long values: their own LVAL pages.
    std::vector<std::uint32_t> lvalPages;
    std::uint32_t lvalCurrent = 0;
};

struct Entry {
    std::string key;
    RowId row;
    bool allNull = false;
};

struct Ix {
    IndexDesign design;
    std::vector<int> cols;  // positions in Table::cols
    std::vector<KeyColumn> keyColumns;
    std::uint8_t flags = 0;
    int indexType = 0;
    std::vector<Entry> entries;
    std::uint32_t root = 0;
    std::vector<std::uint32_t> pages;
    std::uint32_t distinct = 0;
};

struct Table {
    TableDesign design;
    std::u16string folded;
    std::uint32_t tdefPage = 0;
    std::uint32_t mapPage = 0;
    std::vector<Col> cols;
    std::vector<Ix> ixs;
    int varCount = 0;
    int fixedArea = 0;
    std::vector<std::uint32_t> dataPages;
    std::uint32_t current = 0;
    std::int64_t rows = 0;
};

// A greedy filler for one index page. Pages are written prefix-compressed,
// but filled only as far as the entries would fit uncompressed: the writer
// sizes pages that way when it splits them, so a half page must fit.
class PagePacker {
  public:
    bool tryAdd(const std::string& e) {
        std::size_t prefix = prefix_;
        if (count_ == 0) {
            prefix = e.size();
        } else {
            std::size_t n = std::min(prefix, e.size());
            std::size_t k = 0;
            while (k < n && first_[k] == e[k]) ++k;
            prefix = k;
        }
        std::size_t total = sum_ + e.size();
        if (total > kIxArea) return false;
        if (count_ == 0) first_ = e;
        prefix_ = prefix;
        sum_ = total;
        ++count_;
        return true;
    }
    std::size_t count() const { return count_; }
    void reset() {
        count_ = 0;
        sum_ = 0;
        prefix_ = 0;
        first_.clear();
    }

  private:
    std::string first_;
    std::size_t prefix_ = 0;
    std::size_t sum_ = 0;
    std::size_t count_ = 0;
};

// The prefix the entries of a page share. Access shares key bytes only,
// never the row pointer (and child page) behind them, and the writer
// re-encodes a page that way; `pointerBytes` is that tail's length.
std::size_t commonPrefix(const std::vector<std::string>& entries, std::size_t pointerBytes) {
    if (entries.size() < 2) return 0;
    const std::string& first = entries.front();
    std::size_t p = first.size() - pointerBytes;
    for (std::size_t i = 1; i < entries.size(); ++i) {
        std::size_t n = std::min(p, entries[i].size() - pointerBytes);
        std::size_t k = 0;
        while (k < n && first[k] == entries[i][k]) ++k;
        p = k;
    }
    return p;
}

}  // namespace

struct DatabaseBuilder::Impl {
    CreateOptions options;
    std::vector<std::uint8_t> image;
    std::vector<Table> tables;
    bool finished = false;

    std::uint32_t pageCount() const { return std::uint32_t(image.size() / kPageSize); }
    std::uint8_t* page(std::uint32_t n) { return image.data() + std::size_t(n) * kPageSize; }
    ByteSpan span(std::uint32_t n) { return ByteSpan(page(n), kPageSize, n); }

    std::uint32_t allocPage() {
        std::uint32_t n = pageCount();
        image.resize(image.size() + kPageSize, 0);
        return n;
    }

    // ---- data pages -------------------------------------------------------

    std::uint32_t newDataPage(std::uint32_t owner) {
        std::uint32_t n = allocPage();
        ByteSpan p = span(n);
        p.u8(0, kPageData);
        p.u8(1, 0x01);
        p.u16(0x02, std::uint16_t(kDataCapacity));
        p.u32(0x04, owner);
        return n;
    }

    bool fits(std::uint32_t n, std::size_t length) {
        ByteView p = span(n).view();
        return p.u16(0x0C) < kMaxSlots && std::size_t(p.u16(0x02)) >= length + 2;
    }

    std::uint16_t appendRow(std::uint32_t n, const std::uint8_t* data, std::size_t length) {
        ByteSpan p = span(n);
        ByteView v = p.view();
        std::uint16_t count = v.u16(0x0C);
        std::size_t end =
            count == 0 ? kPageSize : (v.u16(kDataRowTable + 2 * (count - 1)) & 0x1FFF);
        std::size_t start = end - length;
        std::memcpy(p.data() + start, data, length);
        p.u16(kDataRowTable + 2 * count, std::uint16_t(start));
        p.u16(0x0C, std::uint16_t(count + 1));
        p.u16(0x02, std::uint16_t(v.u16(0x02) - length - 2));
        return count;
    }

    // ---- tables ---------------------------------------------------------

    int addTable(const TableDesign& design) {
        if (finished) invalid("the database was already finished");
        if (design.columns.empty()) invalid("table " + design.name + " has no columns");
        Table t;
        t.design = design;
        t.folded = foldName(utf8ToUtf16(design.name));
        for (const Table& other : tables)
            if (other.folded == t.folded) invalid("table " + design.name + " already exists");
        std::map<std::u16string, int> byName;
        for (const ColumnDesign& cs : design.columns) {
            Col c;
            c.design = cs;
            c.number = int(t.cols.size());
            if (!byName.emplace(foldName(utf8ToUtf16(cs.name)), c.number).second)
                invalid("column " + cs.name + " appears twice in " + design.name);
            int size = fixedSize(cs.type);
            if (cs.type == ColumnType::Text) {
                if (cs.length < 1 || cs.length > 255)
                    invalid("text column " + cs.name + " needs a length 1..255");
                c.length = cs.length * 2;
            } else if (cs.type == ColumnType::Binary) {
                if (cs.length < 1 || cs.length > 510)
                    invalid("binary column " + cs.name + " needs a length");
                c.length = cs.length;
            } else if (isLongValue(cs.type)) {
                c.length = 0;
            } else if (size > 0) {
                c.length = size;
            } else {
                c.length = cs.length;  // a type kept as Access declares it
            }
            c.flags = cs.flags >= 0
                          ? std::uint8_t(cs.flags)
                          : std::uint8_t(kColumnUpdatable | (size > 0 ? kColumnFixed : 0) |
                                         (design.system ? 0x10 : 0));
            c.fixed = (c.flags & kColumnFixed) != 0;
            c.extra = isText(cs.type) && cs.compressed && !design.system ? 0x01 : 0x00;
            if (c.fixed) {
                c.varIndex = t.varCount;
                if (cs.type != ColumnType::Boolean) {
                    c.fixedOffset = t.fixedArea;
                    t.fixedArea += c.length;
                }
            } else {
                c.varIndex = t.varCount++;
            }
            c.def.column = Column{cs.name, cs.type,
                                  cs.type == ColumnType::Text ? cs.length : c.length, false, true};
            c.def.typeCode = std::uint8_t(cs.type);
            c.def.number = c.number;
            c.def.varIndex = c.varIndex;
            c.def.fixedOffset = c.fixedOffset;
            c.def.length = c.length;
            c.def.flags = c.flags;
            c.def.extraFlags = c.extra;
            c.def.sortOrder = 1033;
            t.cols.push_back(std::move(c));
        }
        for (const IndexDesign& is : design.indexes) {
            Ix ix;
            ix.design = is;
            if (is.columns.empty() || is.columns.size() > 10)
                invalid("index " + is.name + " needs 1 to 10 columns");
            for (std::size_t k = 0; k < is.columns.size(); ++k) {
                auto it = byName.find(foldName(utf8ToUtf16(is.columns[k])));
                if (it == byName.end())
                    invalid("index " + is.name + " names no column " + is.columns[k]);
                const Col& c = t.cols[std::size_t(it->second)];
                if (isLongValue(c.design.type))
                    invalid("index " + is.name + " on a long-value column");
                ix.cols.push_back(it->second);
                ix.keyColumns.push_back(
                    KeyColumn{c.design.type, k < is.descending.size() && is.descending[k]});
            }
            switch (is.kind) {
                case IndexKind::PrimaryKey:
                    ix.flags = 0x80 | kIndexUnique | kIndexRequired;
                    break;
                case IndexKind::Unique:
                    ix.flags = 0x80 | kIndexUnique;
                    break;
                case IndexKind::Plain:
                    ix.flags = 0x80;
                    break;
            }
            if (is.flags >= 0) ix.flags = std::uint8_t(is.flags);
            ix.indexType = is.kind == IndexKind::PrimaryKey ? 1 : 0;
            t.ixs.push_back(std::move(ix));
        }
        t.tdefPage = allocPage();
        span(t.tdefPage).u8(0, kPageTdef);  // written whole by finish()
        t.mapPage = newDataPage(0);
        tables.push_back(std::move(t));
        int handle = int(tables.size() - 1);
        const Table& added = tables.back();
        const std::int32_t id = std::int32_t(added.tdefPage);
        addCatalogRow(added.design.name, id, kTablesId, 1, design.catalogFlags,
                      design.system ? "a731" : "a633");
        if (!design.system && design.catalogFlags == 0) addTableAces(id);
        return handle;
    }

    void addCatalogRow(const std::string& name, std::int32_t id, std::uint32_t parent, int type,
                       std::uint32_t flags, const char* ownerHex, Bytes lvProp = {}) {
        std::vector<Value> row(17);
        row[0] = std::int64_t(id);
        row[1] = std::int64_t(std::int32_t(parent));
        row[2] = utf8ToUtf16(name);
        row[3] = std::int64_t(type);
        row[4] = DateTime{options.creationDate};
        row[5] = DateTime{options.creationDate};
        row[6] = fromHex(ownerHex);
        row[7] = std::int64_t(std::int32_t(flags));
        if (!lvProp.empty()) row[14] = std::move(lvProp);
        insert(0, row);
    }

    // Permissions of a new table: the inheritable entries of the Tables
    // container, as Access copies them.
    void addTableAces(std::int32_t objectId);

    // ---- rows ---------------------------------------------------------------

    // The 12-byte long-value header, with the data inline or on LVAL pages.
    Bytes longValue(Table& t, Col& c, const Bytes& data) {
        Bytes out;
        std::uint32_t length = std::uint32_t(data.size());
        if (data.size() <= kMemoInlineMax) {
            putU32(out, length | 0x80000000u);
            putU32(out, 0);
            putU32(out, 0);
            out.insert(out.end(), data.begin(), data.end());
            return out;
        }
        if (data.size() <= kLvalSingleMax) {
            RowId at = placeLval(t, c, data.data(), data.size());
            putU32(out, length | 0x40000000u);
            putU32(out, (at.page << 8) | at.slot);
            putU32(out, 0);
            return out;
        }
        // A chain: written last chunk first so that each row knows its successor.
        std::size_t chunks = (data.size() + kLvalChunk - 1) / kLvalChunk;
        std::uint32_t next = 0;
        for (std::size_t i = chunks; i-- > 0;) {
            std::size_t from = i * kLvalChunk;
            std::size_t n = std::min(kLvalChunk, data.size() - from);
            Bytes rowBytes;
            putU32(rowBytes, next);
            rowBytes.insert(rowBytes.end(), data.begin() + std::ptrdiff_t(from),
                            data.begin() + std::ptrdiff_t(from + n));
            RowId at = placeLval(t, c, rowBytes.data(), rowBytes.size());
            next = (at.page << 8) | at.slot;
        }
        putU32(out, length);
        putU32(out, next);
        putU32(out, 0);
        return out;
    }

    RowId placeLval(Table&, Col& c, const std::uint8_t* data, std::size_t n) {
        if (c.lvalCurrent == 0 || !fits(c.lvalCurrent, n)) {
            c.lvalCurrent = newDataPage(0x4C41564C);  // "LVAL"
            c.lvalPages.push_back(c.lvalCurrent);
        }
        std::uint16_t slot = appendRow(c.lvalCurrent, data, n);
        return RowId{c.lvalCurrent, slot};
    }

    // The bytes of a non-null value in its field. Scalars and short text go
    // through the writer's field encoder; long values get their LVAL rows here.
    Bytes encodeValue(Table& t, Col& c, const Value& v) {
        const std::string& name = c.design.name;
        bool present = true;
        switch (c.design.type) {
            case ColumnType::Byte:
                asInteger(v, name, 0, 255);
                break;
            case ColumnType::Integer:
                asInteger(v, name, -32768, 32767);
                break;
            case ColumnType::Long:
                asInteger(v, name, INT32_MIN, INT32_MAX);
                break;
            case ColumnType::Text:
                // Counted in characters: the field encoder checks stored bytes only.
                if (auto s = std::get_if<std::u16string>(&v.v);
                    s && s->size() > std::size_t(c.design.length))
                    invalid("text too long for column " + name + " (" + std::to_string(s->size()) +
                            " > " + std::to_string(c.design.length) + ")");
                break;
            case ColumnType::Binary:
            case ColumnType::Guid:
                if (auto b = std::get_if<Bytes>(&v.v); b && b->size() > std::size_t(c.length))
                    invalid("value too long for column " + name);
                break;
            case ColumnType::Memo: {
                auto s = std::get_if<std::u16string>(&v.v);
                if (!s) invalid("column " + name + " needs text");
                // Access compresses memo text only up to 1024 characters.
                ColumnDef text = c.def;
                text.column.type = ColumnType::Text;
                text.length = 0;
                if (s->size() > kMemoCompressMax) text.extraFlags = 0;
                return longValue(t, c, encodeField(v, text, jet4Format(), 1252, present));
            }
            case ColumnType::Ole: {
                auto b = std::get_if<Bytes>(&v.v);
                if (!b) invalid("column " + name + " needs bytes");
                return longValue(t, c, *b);
            }
            default:
                break;
        }
        try {
            return encodeField(v, c.def, jet4Format(), 1252, present);
        } catch (const Error& e) {
            if (e.kind() == ErrorKind::Conversion) invalid(e.message());
            throw;
        }
    }

    void insert(int handle, const std::vector<Value>& values) {
        if (finished) invalid("the database was already finished");
        if (handle < 0 || std::size_t(handle) >= tables.size()) invalid("no such table handle");
        Table& t = tables[std::size_t(handle)];
        if (values.size() != t.cols.size())
            invalid("table " + t.design.name + " has " + std::to_string(t.cols.size()) +
                    " columns, row has " + std::to_string(values.size()));
        const std::size_t columns = t.cols.size();
        RowImage image;
        image.columnCount = unsigned(columns);
        image.fixed.assign(std::size_t(t.fixedArea), 0);
        image.vars.resize(std::size_t(t.varCount));
        image.nullMask.assign((columns + 7) / 8, 0);
        image.hasVarArea = t.varCount > 0;
        for (std::size_t i = 0; i < columns; ++i) {
            Col& c = t.cols[i];
            const Value& v = values[i];
            if (c.design.type == ColumnType::Boolean) {
                bool b = false;
                if (auto p = std::get_if<bool>(&v.v))
                    b = *p;
                else if (auto n = std::get_if<std::int64_t>(&v.v))
                    b = *n != 0;
                else if (!v.isNull())
                    invalid("column " + c.design.name + " needs true or false");
                image.setHasValue(c.number, b);  // a Yes/No value lives in the null mask
                continue;
            }
            if (v.isNull()) continue;
            image.setHasValue(c.number, true);
            Bytes bytes = encodeValue(t, c, v);
            if (c.fixed) {
                if (bytes.size() > std::size_t(c.length))
                    invalid("value too long for column " + c.design.name);
                std::memcpy(image.fixed.data() + c.fixedOffset, bytes.data(), bytes.size());
            } else {
                image.vars[std::size_t(c.varIndex)] = std::move(bytes);
            }
        }
        const Bytes row = encodeRowImage(image, jet4Format());
        if (row.size() > kMaxRowSize)
            invalid("row too large for table " + t.design.name + " (" + std::to_string(row.size()) +
                    " bytes)");

        if (t.current == 0 || !fits(t.current, row.size())) {
            t.current = newDataPage(t.tdefPage);
            t.dataPages.push_back(t.current);
        }
        RowId id{t.current, appendRow(t.current, row.data(), row.size())};
        ++t.rows;

        for (Ix& ix : t.ixs) {
            std::vector<Value> keyValues;
            bool allNull = true, anyNull = false;
            for (int pos : ix.cols) {
                const Value& v = values[std::size_t(pos)];
                bool isBool = t.cols[std::size_t(pos)].design.type == ColumnType::Boolean;
                if (isBool && v.isNull()) {
                    keyValues.push_back(Value(false));
                } else {
                    keyValues.push_back(v);
                }
                if (v.isNull() && !isBool)
                    anyNull = true;
                else
                    allNull = false;
                if (auto n = std::get_if<std::int64_t>(&keyValues.back().v); n && isBool)
                    keyValues.back() = Value(*n != 0);
            }
            if (anyNull && (ix.flags & kIndexRequired))
                invalid("index " + ix.design.name + " of " + t.design.name + " does not allow nulls");
            if (allNull && (ix.flags & kIndexIgnoreNulls)) continue;
            ix.entries.push_back(
                Entry{indexKey(keyValues, ix.keyColumns, SortOrder::General4), id, allNull});
        }
    }

    // ---- indexes ------------------------------------------------------------

    void writeIndexPage(std::uint32_t n, bool leaf, std::uint32_t tdef,
                        const std::vector<std::string>& entries, std::uint32_t prev,
                        std::uint32_t next, std::uint32_t tail) {
        ByteSpan p = span(n);
        std::memset(p.data(), 0, kPageSize);
        p.u8(0, leaf ? kPageIndexLeaf : kPageIndexNode);
        p.u8(1, 0x01);
        p.u32(0x04, tdef);
        p.u32(kIxPrev, prev);
        p.u32(kIxNext, next);
        p.u32(kIxTail, tail);
        std::size_t prefix = commonPrefix(entries, leaf ? 4 : 8);
        p.u16(kIxPrefix, std::uint16_t(prefix));
        p.u8(kIxNodeMark, leaf ? 0 : 1);
        std::size_t pos = 0;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            std::size_t skip = i == 0 ? 0 : prefix;
            std::size_t len = entries[i].size() - skip;
            if (pos + len > kIxArea) throw Error("index page overflow", ErrorKind::Generic);
            std::memcpy(p.data() + kIxEntries + pos, entries[i].data() + skip, len);
            pos += len;
            p.data()[kIxBitmap + pos / 8] |= std::uint8_t(1u << (pos % 8));
        }
        p.u16(0x02, std::uint16_t(kPageSize - kIxEntries - pos));
    }

    void buildIndex(Table& t, Ix& ix) {
        std::sort(ix.entries.begin(), ix.entries.end(), [](const Entry& a, const Entry& b) {
            if (a.key != b.key) return a.key < b.key;
            return a.row < b.row;
        });
        ix.distinct = 0;
        for (std::size_t i = 0; i < ix.entries.size(); ++i) {
            bool same = i > 0 && ix.entries[i].key == ix.entries[i - 1].key;
            if (!same) ++ix.distinct;
            if (same && (ix.flags & kIndexUnique) && !ix.entries[i].allNull)
                invalid("duplicate key in unique index " + ix.design.name + " of " + t.design.name);
        }
        if (ix.entries.empty()) {
            ix.root = allocPage();
            ix.pages.push_back(ix.root);
            writeIndexPage(ix.root, true, t.tdefPage, {}, 0, 0, 0);
            return;
        }
        struct Child {
            std::string last;  // key and row pointer of the subtree's last entry
            std::uint32_t page;
        };
        // Leaves: all linked in key order.
        std::vector<std::vector<std::string>> groups;
        {
            PagePacker packer;
            std::vector<std::string> cur;
            for (const Entry& e : ix.entries) {
                std::string bytes = e.key;
                appendBE(bytes, e.row.page, 3);
                bytes.push_back(char(std::uint8_t(e.row.slot)));
                if (!packer.tryAdd(bytes)) {
                    groups.push_back(std::move(cur));
                    cur.clear();
                    packer.reset();
                    if (!packer.tryAdd(bytes)) invalid("index key too long in " + ix.design.name);
                }
                cur.push_back(std::move(bytes));
            }
            groups.push_back(std::move(cur));
        }
        std::vector<Child> level;
        std::vector<std::uint32_t> leafPages;
        for (std::size_t g = 0; g < groups.size(); ++g) leafPages.push_back(allocPage());
        for (std::size_t g = 0; g < groups.size(); ++g) {
            writeIndexPage(leafPages[g], true, t.tdefPage, groups[g], g ? leafPages[g - 1] : 0,
                           g + 1 < groups.size() ? leafPages[g + 1] : 0, 0);
            level.push_back(Child{groups[g].back(), leafPages[g]});
            ix.pages.push_back(leafPages[g]);
        }
        bool childrenAreLeaves = true;
        while (level.size() > 1) {
            // Group children under parents: a node holds one entry per child
            // except its last child, the tail.
            std::vector<std::pair<std::size_t, std::size_t>> spans;  // [from, to)
            std::size_t from = 0;
            PagePacker packer;
            for (std::size_t i = 0; i < level.size(); ++i) {
                if (i == from)
                    continue;  // the first child of a group costs nothing until another follows
                std::string entry = level[i - 1].last;
                appendBE(entry, level[i - 1].page, 4);
                if (!packer.tryAdd(entry)) {
                    spans.emplace_back(from, i);
                    from = i;
                    packer.reset();
                }
            }
            spans.emplace_back(from, level.size());
            std::vector<Child> parents;
            for (auto [a, b] : spans) {
                std::vector<std::string> entries;
                std::uint32_t tail = 0;
                std::size_t last = b - a == 1 ? b : b - 1;
                for (std::size_t i = a; i < last; ++i) {
                    std::string entry = level[i].last;
                    appendBE(entry, level[i].page, 4);
                    entries.push_back(std::move(entry));
                }
                if (b - a > 1) tail = level[b - 1].page;
                std::uint32_t n = allocPage();
                ix.pages.push_back(n);
                writeIndexPage(n, false, t.tdefPage, entries, 0, 0, tail);
                parents.push_back(Child{level[b - 1].last, n});
                // Node pages are linked only among children of one parent.
                if (!childrenAreLeaves) {
                    for (std::size_t i = a; i < b; ++i) {
                        ByteSpan c = span(level[i].page);
                        c.u32(kIxPrev, i > a ? level[i - 1].page : 0);
                        c.u32(kIxNext, i + 1 < b ? level[i + 1].page : 0);
                    }
                }
            }
            level = std::move(parents);
            childrenAreLeaves = false;
        }
        ix.root = level.front().page;
        ix.entries.clear();
        ix.entries.shrink_to_fit();
    }

    // ---- usage maps -----------------------------------------------------------

    Bytes mapRow(std::vector<std::uint32_t> pages) {
        std::sort(pages.begin(), pages.end());
        Bytes row(kMapRowSize, 0);
        std::uint32_t start = pages.empty() ? 0 : pages.front();
        if (pages.empty() || pages.back() - start < kInlineMapPages) {
            row[0] = 0x00;
            ByteSpan(row.data(), row.size()).u32(1, start);
            for (std::uint32_t p : pages)
                row[5 + (p - start) / 8] |= std::uint8_t(1u << ((p - start) % 8));
            return row;
        }
        row[0] = 0x01;
        std::map<std::uint32_t, std::uint32_t> bitmapPages;
        for (std::uint32_t p : pages) {
            std::uint32_t i = p / kBitmapPageSpan;
            if (i >= kRefMapSlots)
                throw Error("table too large for its usage map", ErrorKind::NotSupported);
            auto it = bitmapPages.find(i);
            if (it == bitmapPages.end()) {
                std::uint32_t n = allocPage();
                ByteSpan b = span(n);
                b.u8(0, kPageUsageMap);
                b.u8(1, 0x01);
                it = bitmapPages.emplace(i, n).first;
                ByteSpan(row.data(), row.size()).u32(1 + 4 * i, n);
            }
            std::uint32_t k = p % kBitmapPageSpan;
            page(it->second)[4 + k / 8] |= std::uint8_t(1u << (k % 8));
        }
        return row;
    }

    std::uint32_t addMap(std::uint32_t mapPage, std::vector<std::uint32_t> pages) {
        Bytes row = mapRow(std::move(pages));
        if (!fits(mapPage, row.size()))
            throw Error("too many usage maps for one table", ErrorKind::NotSupported);
        std::uint16_t slot = appendRow(mapPage, row.data(), row.size());
        return (mapPage << 8) | slot;
    }

    // ---- table definitions ----------------------------------------------------

    void writeTdef(Table& t, std::uint32_t ownedMap, std::uint32_t freeMap,
                   const std::vector<std::uint32_t>& indexMaps,
                   const std::vector<std::pair<std::uint32_t, std::uint32_t>>& lvalMaps) {
        Bytes b(0x3F, 0);
        ByteSpan h(b.data(), b.size());
        h.u8(0, kPageTdef);
        h.u8(1, 0x01);
        h.u32(0x0C, kTdefConst);
        h.u32(0x10, std::uint32_t(t.rows));
        h.u8(0x18, 0x01);
        h.u8(0x28, t.design.system ? 0x53 : 0x4E);
        h.u16(0x29, std::uint16_t(t.cols.size()));
        h.u16(0x2B, std::uint16_t(t.varCount));
        h.u16(0x2D, std::uint16_t(t.cols.size()));
        h.u32(0x2F, std::uint32_t(t.ixs.size()));
        h.u32(0x33, std::uint32_t(t.ixs.size()));
        h.u32(0x37, ownedMap);
        h.u32(0x3B, freeMap);
        for (const Ix& ix : t.ixs) {
            putU32(b, 0);
            putU32(b, ix.distinct);
            putU32(b, 0);
        }
        for (const Col& c : t.cols) {
            Bytes d(25, 0);
            ByteSpan s(d.data(), d.size());
            s.u8(0x00, std::uint8_t(c.design.type));
            s.u32(0x01, kTdefConst);
            s.u16(0x05, std::uint16_t(c.number));
            s.u16(0x07, std::uint16_t(c.varIndex));
            s.u16(0x09, std::uint16_t(t.design.system ? 0 : c.number));
            s.u16(0x0B, 1033);
            s.u8(0x0F, c.flags);
            s.u8(0x10, c.extra);
            s.u16(0x15, std::uint16_t(c.fixedOffset));
            s.u16(0x17, std::uint16_t(c.length));
            b.insert(b.end(), d.begin(), d.end());
        }
        for (const Col& c : t.cols) putName(b, c.design.name);
        for (std::size_t i = 0; i < t.ixs.size(); ++i) {
            const Ix& ix = t.ixs[i];
            Bytes d(52, 0);
            ByteSpan s(d.data(), d.size());
            s.u32(0x00, kRealIndexConst);
            for (std::size_t k = 0; k < 10; ++k) {
                if (k < ix.cols.size()) {
                    s.u16(0x04 + 3 * k, std::uint16_t(t.cols[std::size_t(ix.cols[k])].number));
                    s.u8(0x06 + 3 * k, ix.keyColumns[k].descending ? 0x00 : 0x01);
                } else {
                    s.u16(0x04 + 3 * k, 0xFFFF);
                }
            }
            s.u32(0x22, indexMaps[i]);
            s.u32(0x26, ix.root);
            s.u8(0x2E, ix.flags);
            b.insert(b.end(), d.begin(), d.end());
        }
        for (std::size_t i = 0; i < t.ixs.size(); ++i) {
            Bytes d(28, 0);
            ByteSpan s(d.data(), d.size());
            s.u32(0x00, kTdefConst);
            s.u32(0x04, std::uint32_t(i));
            s.u32(0x08, std::uint32_t(i));
            s.u32(0x0D, 0xFFFFFFFFu);
            s.u8(0x17, std::uint8_t(t.ixs[i].indexType));
            b.insert(b.end(), d.begin(), d.end());
        }
        for (const Ix& ix : t.ixs) putName(b, ix.design.name);
        for (std::size_t i = 0, m = 0; i < t.cols.size(); ++i) {
            if (!isLongValue(t.cols[i].design.type)) continue;
            putU16(b, std::uint16_t(t.cols[i].number));
            putU32(b, lvalMaps[m].first);
            putU32(b, lvalMaps[m].second);
            ++m;
        }
        putU16(b, 0xFFFF);
        ByteSpan(b.data(), b.size()).u32(0x08, std::uint32_t(b.size()));

        // First page whole, continuation pages carry an 8-byte header each.
        std::uint32_t n = t.tdefPage;
        std::size_t from = 0;
        bool first = true;
        while (true) {
            ByteSpan p = span(n);
            std::memset(p.data(), 0, kPageSize);
            std::size_t room = first ? kPageSize : kPageSize - 8;
            std::size_t take = std::min(room, b.size() - from);
            if (first) {
                std::memcpy(p.data(), b.data(), take);
            } else {
                p.u8(0, kPageTdef);
                p.u8(1, 0x01);
                std::memcpy(p.data() + 8, b.data() + from, take);
            }
            std::size_t used = first ? take : take + 8;
            p.u16(0x02, std::uint16_t(used + 8 <= kPageSize ? kPageSize - used - 8 : 0));
            from += take;
            if (from >= b.size()) break;
            std::uint32_t next = allocPage();
            span(n).u32(0x04, next);
            n = next;
            first = false;
        }
    }

    // ---- whole file ---------------------------------------------------------

    void writeHeader() {
        ByteSpan p = span(0);
        p.u8(0, 0x00);
        p.u8(1, 0x01);
        std::memcpy(p.data() + 4, "Standard Jet DB", 16);
        p.u32(0x14, 1);
        // The masked region, in clear; values Access writes whose meaning is not known are kept.
        static const std::uint8_t kMaskedStart[] = {0x00, 0x01, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00,
                                                    0x02, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00,
                                                    0x04, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00};
        std::memcpy(p.data() + 0x18, kMaskedStart, sizeof kMaskedStart);
        p.u16(0x3C, 1252);
        p.u32(0x3E, 0);
        // No password: the password area holds only the date mask.
        std::uint32_t dateMask = std::uint32_t(std::int32_t(options.creationDate));
        for (int i = 0; i < 10; ++i) p.u32(0x42 + 4 * i, dateMask);
        p.u32(0x6A, 0x21AA);
        p.u16(0x6E, 1033);
        p.f64(0x72, options.creationDate);
        p.u32(0x98, 0x0654);
        std::memcpy(p.data() + 0x9C, "4.0", 4);
        std::uint8_t key[4] = {0xC7, 0xDA, 0x39, 0x6B};
        rc4(key, 4, p.data() + 0x18, 128);
        for (std::size_t slot = 0; slot < 256; ++slot) p.u16(0xE00 + 2 * slot, 0x0100);
    }

    void writeGlobalMap() {
        std::uint32_t pages = pageCount();
        std::size_t bytes = std::max<std::size_t>(64, (pages + 7) / 8);
        Bytes global(5 + bytes, 0);
        for (std::uint32_t k = pages; k < bytes * 8; ++k)
            global[5 + k / 8] |= std::uint8_t(1u << (k % 8));
        Bytes second(kMapRowSize, 0);
        if (global.size() + second.size() + 4 > kDataCapacity)
            throw Error("database too large for the builder (" + std::to_string(pages) + " pages)",
                        ErrorKind::NotSupported);
        appendRow(1, global.data(), global.size());
        appendRow(1, second.data(), second.size());
    }

    std::vector<std::uint8_t> finish() {
        if (finished) invalid("the database was already finished");
        finished = true;
        for (Table& t : tables) {
            for (Ix& ix : t.ixs) buildIndex(t, ix);
        }
        for (Table& t : tables) {
            std::vector<std::uint32_t> roomy;
            for (std::uint32_t p : t.dataPages)
                if (p == t.current || span(p).view().u16(0x02) >= kFreeMapThreshold)
                    roomy.push_back(p);
            std::uint32_t owned = addMap(t.mapPage, t.dataPages);
            std::uint32_t freeMap = addMap(t.mapPage, roomy);
            std::vector<std::uint32_t> indexMaps;
            for (Ix& ix : t.ixs) indexMaps.push_back(addMap(t.mapPage, ix.pages));
            std::vector<std::pair<std::uint32_t, std::uint32_t>> lvalMaps;
            for (Col& c : t.cols) {
                if (!isLongValue(c.design.type)) continue;
                std::uint32_t lo = addMap(t.mapPage, c.lvalPages);
                std::vector<std::uint32_t> lvalRoomy;
                if (c.lvalCurrent) lvalRoomy.push_back(c.lvalCurrent);
                std::uint32_t lf = addMap(t.mapPage, lvalRoomy);
                lvalMaps.emplace_back(lo, lf);
            }
            writeTdef(t, owned, freeMap, indexMaps, lvalMaps);
        }
        writeHeader();
        writeGlobalMap();
        tables.clear();
        return std::move(image);
    }
};

namespace {

// Security ids of the default workgroup, as Access stores them in MSysACEs.
const char* const kSidAdmin = "a633";
const char* const kSidUsers = "a733";
const char* const kSidCreator = "a736";
const char* const kSidAdmins =
    "a4f74667e17167eed7b10f8ffeef76ffaae3665105bdd29d4d4b3952d9fb9a07660c5bd2d87dddb31e659019009489"
    "c2"
    "3c256acfdb349a57af50c5149a9830e62c35553f0e95cfb6ecb570b2f0a99b1cdbce60747b7b13cf1dafc3d6185f9c"
    "5be"
    "4e87e37edb3";

struct Ace {
    std::int32_t objectId;
    const char* sid;
    std::int32_t mask;
    bool inheritable;
};

ColumnDesign col(const char* name, ColumnType type, int length = 0, int flags = -1) {
    return ColumnDesign{name, type, length, flags, true};
}

}  // namespace

void DatabaseBuilder::Impl::addTableAces(std::int32_t objectId) {
    int aces = -1;
    for (std::size_t i = 0; i < tables.size(); ++i)
        if (tables[i].design.name == "MSysACEs") aces = int(i);
    if (aces < 0) return;  // still building the system tables
    static const Ace kTableAces[] = {{0, kSidCreator, 983294, false},
                                     {0, kSidAdmin, 1048319, false},
                                     {0, kSidAdmins, 1048319, false},
                                     {0, kSidUsers, 1048319, false}};
    for (const Ace& a : kTableAces)
        insert(aces, {Value(std::int64_t(objectId)), Value(fromHex(a.sid)),
                      Value(std::int64_t(a.mask)), Value(a.inheritable)});
}

std::vector<TableDesign> systemTableDesigns() {
    using T = ColumnType;
    std::vector<TableDesign> out;
    TableDesign objects{
        "MSysObjects",
        {col("Id", T::Long), col("ParentId", T::Long), col("Name", T::Text, 255),
         col("Type", T::Integer), col("DateCreate", T::DateTime), col("DateUpdate", T::DateTime),
         col("Owner", T::Binary, 510, 0x32), col("Flags", T::Long), col("Database", T::Memo),
         col("Connect", T::Memo), col("ForeignName", T::Text, 255),
         col("RmtInfoShort", T::Binary, 510), col("RmtInfoLong", T::Ole), col("Lv", T::Ole),
         col("LvProp", T::Ole), col("LvModule", T::Ole), col("LvExtra", T::Ole)},
        {IndexDesign{"ParentIdName", {"ParentId", "Name"}, {}, IndexKind::Plain, 0x81},
         IndexDesign{"Id", {"Id"}, {}, IndexKind::PrimaryKey, 0x81}},
        true,
        kSystemFlag};
    TableDesign aces{"MSysACEs",
                   {col("ObjectId", T::Long), col("SID", T::Binary, 510, 0x32), col("ACM", T::Long),
                    col("FInheritable", T::Boolean)},
                   {IndexDesign{"ObjectId", {"ObjectId"}, {}, IndexKind::Plain, 0x88}},
                   true,
                   kSystemFlag};
    TableDesign queries{
        "MSysQueries",
        {col("ObjectId", T::Long), col("Attribute", T::Byte), col("Order", T::Binary, 510),
         col("Name1", T::Text, 255), col("Name2", T::Text, 255), col("Expression", T::Memo),
         col("Flag", T::Integer), col("LvExtra", T::Long)},
        {IndexDesign{"ObjectIdAttribute",
                   {"ObjectId", "Attribute", "Order"},
                   {},
                   IndexKind::PrimaryKey,
                   0x81}},
        true,
        kSystemFlag};
    TableDesign relationships{
        "MSysRelationships",
        {col("szRelationship", T::Text, 255), col("grbit", T::Long), col("ccolumn", T::Long),
         col("icolumn", T::Long), col("szObject", T::Text, 255), col("szColumn", T::Text, 255),
         col("szReferencedObject", T::Text, 255), col("szReferencedColumn", T::Text, 255)},
        {IndexDesign{"szRelationship", {"szRelationship"}, {}, IndexKind::Plain, 0x82},
         IndexDesign{"szObject", {"szObject"}, {}, IndexKind::Plain, 0x82},
         IndexDesign{"szReferencedObject", {"szReferencedObject"}, {}, IndexKind::Plain, 0x82}},
        true,
        kSystemFlag};
    // Access's own UI store: a user-type TDEF flagged as system in the
    // catalog; its Data column has a type code of its own (0x11).
    TableDesign accessObjects{
        "MSysAccessObjects",
        {col("Data", ColumnType(0x11), 3992, 0x03), col("ID", T::Long, 0, 0x02)},
        {IndexDesign{"AOIndex", {"ID"}, {}, IndexKind::PrimaryKey, 0x89}},
        false,
        0x00000002};
    out.push_back(std::move(objects));
    out.push_back(std::move(aces));
    out.push_back(std::move(queries));
    out.push_back(std::move(relationships));
    out.push_back(std::move(accessObjects));
    return out;
}

DatabaseBuilder::DatabaseBuilder(CreateOptions options) : impl_(new Impl) {
    Impl& m = *impl_;
    m.options = options;
    m.image.reserve(64 * kPageSize);
    m.allocPage();     // 0: header, written by finish()
    m.newDataPage(1);  // 1: global usage map, filled by finish()
    std::vector<TableDesign> system = systemTableDesigns();
    for (const TableDesign& design : system) m.addTable(design);  // MSysObjects gets page 2

    const std::int32_t objects = std::int32_t(m.tables[0].tdefPage);
    const std::int32_t aces = std::int32_t(m.tables[1].tdefPage);
    const std::int32_t queries = std::int32_t(m.tables[2].tdefPage);
    const std::int32_t relationships = std::int32_t(m.tables[3].tdefPage);
    const std::int32_t accessObjects = std::int32_t(m.tables[4].tdefPage);

    m.addCatalogRow("Tables", std::int32_t(kTablesId), kContainerRoot, 3, kSystemFlag, "a731");
    m.addCatalogRow("Databases", std::int32_t(kDatabasesId), kContainerRoot, 3, kSystemFlag,
                    "a731");
    m.addCatalogRow("Relationships", std::int32_t(kRelationshipsId), kContainerRoot, 3, kSystemFlag,
                    "a731");
    m.addCatalogRow("MSysDb", std::int32_t(kMSysDbId), kDatabasesId, 2, kSystemFlag, kSidAdmin,
                    databaseProperties());
    const char* containers[] = {"DataAccessPages", "Forms",   "Modules",
                                "Reports",         "Scripts", "SysRel"};
    for (int i = 0; i < 6; ++i)
        m.addCatalogRow(containers[i], std::int32_t(0x80000000u + std::uint32_t(i)), kContainerRoot,
                        3, 0, kSidAdmin);
    const char* documents[] = {"AccessLayout", "SummaryInfo", "UserDefined"};
    for (int i = 0; i < 3; ++i)
        m.addCatalogRow(documents[i], std::int32_t(0x80000006u + std::uint32_t(i)), kDatabasesId,
                        -32757, 0, kSidAdmin);

    const std::int32_t c0 = std::int32_t(0x80000000u);
    std::vector<Ace> list;
    for (int i = 0; i < 6; ++i)
        for (const char* sid : {kSidUsers, kSidAdmins, kSidAdmin, kSidCreator})
            list.push_back({c0 + i, sid, 1048575, true});
    list.push_back({std::int32_t(kDatabasesId), kSidAdmin, 393216, false});
    list.push_back({std::int32_t(kRelationshipsId), kSidCreator, 983294, true});
    list.push_back({std::int32_t(kRelationshipsId), kSidAdmin, 393217, false});
    list.push_back({std::int32_t(kRelationshipsId), kSidAdmins, 1048575, true});
    list.push_back({std::int32_t(kRelationshipsId), kSidUsers, 1048575, true});
    list.push_back({std::int32_t(kTablesId), kSidCreator, 983294, true});
    list.push_back({std::int32_t(kTablesId), kSidAdmin, 1048319, true});
    list.push_back({std::int32_t(kTablesId), kSidAdmins, 1048319, true});
    list.push_back({std::int32_t(kTablesId), kSidUsers, 1048319, true});
    list.push_back({std::int32_t(kMSysDbId), kSidAdmin, 393230, false});
    list.push_back({std::int32_t(kMSysDbId), kSidUsers, 14, false});
    list.push_back({std::int32_t(kMSysDbId), kSidAdmins, 393230, false});
    list.push_back({c0 + 7, kSidUsers, 65536, false});
    list.push_back({c0 + 8, kSidUsers, 65536, false});
    for (const char* sid : {kSidAdmin, kSidAdmins, kSidUsers})
        list.push_back({accessObjects, sid, 1048575, false});
    list.push_back({aces, kSidAdmin, 393216, false});
    list.push_back({aces, kSidAdmins, 393300, false});
    list.push_back({objects, kSidAdmin, 393216, false});
    list.push_back({objects, kSidAdmins, 393300, false});
    list.push_back({objects, kSidUsers, 20, false});
    list.push_back({queries, kSidAdmin, 393216, false});
    list.push_back({queries, kSidAdmins, 393236, false});
    list.push_back({queries, kSidUsers, 20, false});
    list.push_back({relationships, kSidAdmin, 917504, false});
    list.push_back({relationships, kSidAdmins, 393236, false});
    list.push_back({relationships, kSidUsers, 20, false});
    for (const Ace& a : list)
        m.insert(1, {Value(std::int64_t(a.objectId)), Value(fromHex(a.sid)),
                     Value(std::int64_t(a.mask)), Value(a.inheritable)});
}

DatabaseBuilder::~DatabaseBuilder() { delete impl_; }

int DatabaseBuilder::addTable(const TableDesign& design) { return impl_->addTable(design); }

void DatabaseBuilder::insert(int table, const std::vector<Value>& row) {
    impl_->insert(table, row);
}

std::int64_t DatabaseBuilder::rowCount(int table) const {
    if (table < 0 || std::size_t(table) >= impl_->tables.size()) invalid("no such table handle");
    return impl_->tables[std::size_t(table)].rows;
}

std::vector<std::uint8_t> DatabaseBuilder::finish() { return impl_->finish(); }

void DatabaseBuilder::writeFile(const std::string& path) {
    std::vector<std::uint8_t> bytes = finish();
#ifdef _WIN32
    // The path is UTF-8; a narrow ofstream would read it in the ANSI code page.
    const win32::Handle out = win32::Handle::open(path, win32::Open::Create);
    out.writeAt(0, bytes.data(), bytes.size());
#else
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw Error("cannot create " + path, ErrorKind::Io);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    out.close();
    if (!out) throw Error("cannot write " + path, ErrorKind::Io);
#endif
}

void createEmptyDatabase(const std::string& path, CreateOptions options) {
    DatabaseBuilder(options).writeFile(path);
}

}  // namespace jet
