// DatabaseBuilder: lays out a new Jet 3 or Jet 4 file page by page in memory.
//
// Page plan: 0 header, 1 global usage map, 2 MSysObjects' TDEF, then for
// each table its TDEF and its usage-map page as the table is added; data and
// LVAL pages as rows arrive; at finish(), index pages (bottom-up, one index
// after the other), further usage-map pages where a table's maps do not fit
// on one, TDEF continuation pages and usage-map bitmap pages.
//
// Every offset the readers know comes from the version's Format and
// IndexPageFormat; Layout adds what only a writer needs: the sizes Access
// chooses and the values it stamps into fields no reader interprets.
#include "database_builder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <unordered_set>

#include "format/bytes.h"
#include "format/data_page.h"
#include "format/header.h"
#include "format/index_page.h"
#include "format/long_value.h"
#include "format/properties.h"
#include "format/storage.h"
#include "format/tdef.h"
#include "format/usage_map.h"
#include "index/collation.h"
#include "index/index_key.h"
#include "io/env.h"
#include "write/writer.h"

namespace jet {
namespace {

constexpr std::uint16_t kSortGeneral = 1033;
constexpr int kCodePage = 1252;
constexpr int kMaxDecimalPrecision = 28;

constexpr std::uint32_t kContainerRoot = 0x0F000000;
constexpr std::uint32_t kTablesId = 0x0F000001;
constexpr std::uint32_t kDatabasesId = 0x0F000002;
constexpr std::uint32_t kRelationshipsId = 0x0F000003;
constexpr std::uint32_t kMSysDbId = 0x10000000;
constexpr std::uint32_t kSystemFlag = 0x80000000;
constexpr std::uint8_t kJet4IndexMark = 0x80;  // on every real index Access 2000 creates

// Security ids of the default workgroup, as Access stores them in MSysACEs
// and MSysObjects.Owner.
struct Sids {
    const char* engine;  // owner of the system objects
    const char* admin;
    const char* users;
    const char* creator;
    const char* admins;
};

const Sids kJet4Sids{
    "a731", "a633", "a733", "a736",
    "a4f74667e17167eed7b10f8ffeef76ffaae3665105bdd29d4d4b3952d9fb9a07660c5bd2d87dddb31e659019009489"
    "c23c256acfdb349a57af50c5149a9830e62c35553f0e95cfb6ecb570b2f0a99b1cdbce60747b7b13cf1dafc3d6185f"
    "9c5be4e87e37edb3"};
const Sids kJet3Sids{
    "0203", "0301", "0201", "0204",
    "01db879320814fab38df561a17236a4b1172cc76e4776cb172df561a17236a4b11df561a17236a4b11df561a172"
    "36a4b11df561a17236a4b1172cc76e4776cb172df561a17236a4b11df561a17236a4b11df561a17236a4b11df56"
    "1a17236a4b11df561a1723"};

// The writing side of a version.
struct Layout {
    int version;
    const Format& f;
    const IndexPageFormat& ix;
    SortOrder order;
    const Sids& sids;
    std::size_t mapRowSize;        // inline usage-map rows Access creates
    std::size_t maxRowSize;        // longest row the builder writes
    std::size_t maxBinaryLength;   // declared length of a Binary column
    std::size_t memoCompressMax;   // longest memo text stored compressed (0: never)
    std::size_t freeMapThreshold;  // free bytes that put a page in the free-space map
    const char* accessVersion;     // the AccessVersion database property
};

const Layout& layoutFor(int version) {
    static const Layout jet4{.version = 4,
                             .f = jet4Format(),
                             .ix = IndexPageFormat::forJet(4),
                             .order = sortOrderForJet(4),
                             .sids = kJet4Sids,
                             .mapRowSize = 69,
                             .maxRowSize = 4060,
                             .maxBinaryLength = 510,
                             .memoCompressMax = 1024,
                             .freeMapThreshold = 512,
                             .accessVersion = "08.50"};
    static const Layout jet3{.version = 3,
                             .f = jet3Format(),
                             .ix = IndexPageFormat::forJet(3),
                             .order = sortOrderForJet(3),
                             .sids = kJet3Sids,
                             .mapRowSize = 133,
                             .maxRowSize = 2012,
                             .maxBinaryLength = 255,
                             .memoCompressMax = 0,
                             .freeMapThreshold = 256,
                             .accessVersion = "07.53"};
    if (version == 4) return jet4;
    if (version == 3) return jet3;
    throw Error(
        "the builder writes Jet 3 or Jet 4 databases, not version " + std::to_string(version),
        ErrorKind::InvalidArgument);
}

[[noreturn]] void invalid(const std::string& message) {
    throw Error(message, ErrorKind::InvalidArgument);
}

// Names a Jet 3 table definition can hold: code page characters, at most
// 255 bytes (its length is one byte).
void checkName(const Layout& L, const std::string& utf8, const char* what) {
    if (L.f.unicodeText) return;
    std::u16string s = utf8ToUtf16(utf8);
    if (s.size() > 255) invalid(std::string(what) + " name too long: " + utf8);
    for (char16_t c : s)
        if (cp1252Byte(c) < 0)
            invalid(std::string(what) + " name " + utf8 +
                    " has a character an Access 97 database cannot store");
}

Bytes fromHex(const char* hex) {
    Bytes out;
    for (std::size_t i = 0; hex[i] && hex[i + 1]; i += 2)
        out.push_back(std::uint8_t(std::stoi(std::string(hex + i, 2), nullptr, 16)));
    return out;
}

// The database's property blob (MSysDb.LvProp). Only AccessVersion is set;
// readers use it to tell the Access version that made the file.
Bytes databaseProperties(const Layout& L) {
    PropertyBlob blob(L.f);
    blob.addText(u"", u"AccessVersion", utf8ToUtf16(L.accessVersion), false);
    return blob.bytes();
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

// Checks that a decimal text fits `precision` digits with `scale` of them
// after the point (leading zeros and trailing fraction zeros do not count).
void checkDecimal(const std::string& text, int precision, int scale, const std::string& column) {
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    std::size_t point = text.find('.', i);
    std::string whole = text.substr(i, point == std::string::npos ? std::string::npos : point - i);
    std::string fraction = point == std::string::npos ? "" : text.substr(point + 1);
    auto digitsOnly = [](const std::string& s) {
        return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if ((whole.empty() && fraction.empty()) || !digitsOnly(whole) || !digitsOnly(fraction))
        invalid("column " + column + " needs a decimal number, not '" + text + "'");
    whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
    fraction.erase(fraction.find_last_not_of('0') + 1);
    if (whole.size() > std::size_t(precision - scale) || fraction.size() > std::size_t(scale))
        invalid("value " + text + " does not fit column " + column + " (precision " +
                std::to_string(precision) + ", scale " + std::to_string(scale) + ")");
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
};

struct Ix {
    IndexDesign design;
    std::vector<int> cols;  // positions in Table::cols
    std::vector<KeyColumn> keyColumns;
    std::uint8_t flags = 0;
    bool unique = false;
    bool ignoreNulls = false;
    bool required = false;
    int indexType = 0;
    std::vector<Entry> entries;
    std::unordered_set<std::string> keys;  // unique indexes: the keys taken
    std::uint32_t root = 0;
    std::vector<std::uint32_t> pages;
    std::uint32_t distinct = 0;
};

struct Table {
    TableDesign design;
    std::u16string folded;
    std::uint32_t tdefPage = 0;
    std::uint32_t mapPage = 0;  // where the next usage map goes
    std::vector<Col> cols;
    std::vector<Ix> ixs;
    int varCount = 0;
    int fixedArea = 0;
    std::vector<std::uint32_t> dataPages;
    std::uint32_t current = 0;
    std::int64_t rows = 0;
};

// Bytes an index entry takes stored whole: pages are filled only as far as
// their entries would fit uncompressed (the writer sizes pages that way when
// it splits them, so a half page must fit), then written prefix-compressed.
std::size_t wholeEntrySize(const IndexEntry& e, bool leaf) {
    return e.key.size() + kIndexRowPointerSize + (leaf ? 0 : kIndexChildPointerSize);
}

}  // namespace

struct DatabaseBuilder::Impl {
    explicit Impl(const Layout& layout) : L(layout), f(layout.f), ipf(layout.ix) {}

    const Layout& L;
    const Format& f;
    const IndexPageFormat& ipf;
    CreateOptions options;
    std::vector<std::uint8_t> image;
    std::vector<Table> tables;
    bool finished = false;

    std::size_t dataCapacity() const { return f.pageSize - f.dataRowTable; }
    std::uint32_t pageCount() const { return std::uint32_t(image.size() / f.pageSize); }
    std::uint8_t* page(std::uint32_t n) { return image.data() + std::size_t(n) * f.pageSize; }
    ByteSpan span(std::uint32_t n) { return ByteSpan(page(n), f.pageSize, n); }

    std::uint32_t allocPage() {
        std::uint32_t n = pageCount();
        image.resize(image.size() + f.pageSize, 0);
        return n;
    }

    // ---- data pages -------------------------------------------------------

    std::uint32_t newDataPage(std::uint32_t owner) {
        std::uint32_t n = allocPage();
        initDataPage(span(n), f, owner);
        return n;
    }

    bool fits(std::uint32_t n, std::size_t length) {
        return DataPageEditor{span(n), f}.canAppend(length);
    }

    std::uint16_t appendRow(std::uint32_t n, const std::uint8_t* data, std::size_t length) {
        return DataPageEditor{span(n), f}.append(data, length, 0);
    }

    // ---- tables ---------------------------------------------------------

    int addTable(const TableDesign& design) {
        if (finished) invalid("the database was already finished");
        if (design.columns.empty()) invalid("table " + design.name + " has no columns");
        checkName(L, design.name, "table");
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
            checkName(L, cs.name, "column");
            if (!byName.emplace(foldName(utf8ToUtf16(cs.name)), c.number).second)
                invalid("column " + cs.name + " appears twice in " + design.name);
            int size = fixedSize(cs.type);
            if (cs.type == ColumnType::Text) {
                if (cs.length < 1 || cs.length > 255)
                    invalid("text column " + cs.name + " needs a length 1..255");
                c.length = cs.length * (f.unicodeText ? 2 : 1);
            } else if (cs.type == ColumnType::Binary) {
                if (cs.length < 1 || std::size_t(cs.length) > L.maxBinaryLength)
                    invalid("binary column " + cs.name + " needs a length 1.." +
                            std::to_string(L.maxBinaryLength));
                c.length = cs.length;
            } else if (isLongValue(cs.type)) {
                c.length = 0;
            } else if (size > 0) {
                c.length = size;
            } else {
                c.length = cs.length;  // a type kept as Access declares it
            }
            if (cs.type == ColumnType::Numeric) {
                if (L.version < 4)
                    invalid("Decimal column " + cs.name +
                            ": Access 97 databases have no Decimal type");
                if (cs.precision < 1 || cs.precision > kMaxDecimalPrecision || cs.scale < 0 ||
                    cs.scale > cs.precision)
                    invalid("Decimal column " + cs.name +
                            " needs a precision 1..28 and a scale 0..precision");
            }
            c.flags = cs.flags >= 0
                          ? std::uint8_t(cs.flags)
                          : std::uint8_t(kColumnUpdatable | (size > 0 ? kColumnFixed : 0) |
                                         (design.system ? 0x10 : 0));
            c.fixed = (c.flags & kColumnFixed) != 0;
            c.extra =
                f.unicodeText && isText(cs.type) && cs.compressed && !design.system ? 0x01 : 0x00;
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
            c.def.sortOrder = kSortGeneral;
            if (!f.unicodeText) c.def.codePage = kCodePage;
            if (cs.type == ColumnType::Numeric) {
                c.def.precision = cs.precision;
                c.def.scale = cs.scale;
            }
            t.cols.push_back(std::move(c));
        }
        for (const IndexDesign& is : design.indexes) {
            Ix ix;
            ix.design = is;
            checkName(L, is.name, "index");
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
                    KeyColumn{c.design.type, k < is.descending.size() && is.descending[k],
                              c.design.type == ColumnType::Numeric ? c.design.scale : -1});
            }
            const bool primary = is.kind == IndexKind::PrimaryKey;
            if (is.flags >= 0) {
                ix.flags = std::uint8_t(is.flags);
            } else {
                ix.flags = L.version >= 4 ? kJet4IndexMark : 0;
                if (is.kind != IndexKind::Plain) ix.flags |= kIndexUnique;
                if (is.ignoreNulls) ix.flags |= kIndexIgnoreNulls;
                if (primary || is.required) ix.flags |= kIndexRequired;
            }
            ix.unique = (ix.flags & kIndexUnique) != 0;
            ix.ignoreNulls = (ix.flags & kIndexIgnoreNulls) != 0;
            ix.required = (ix.flags & kIndexRequired) != 0 || primary;
            ix.indexType = primary ? 1 : 0;
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
                      design.system ? L.sids.engine : L.sids.admin, tableProperties(added));
        if (!design.system && design.catalogFlags == 0) addTableAces(id);
        return handle;
    }

    // The table's property blob: the Required property of its required
    // columns, as Access keeps it; nothing when no column has one.
    Bytes tableProperties(const Table& t) const {
        PropertyBlob blob(L.f);
        for (const Col& c : t.cols)
            if (c.design.required)
                blob.add(utf8ToUtf16(c.design.name), u"Required", ColumnType::Boolean, Bytes{0x01},
                         true);
        return blob.empty() ? Bytes{} : blob.bytes();
    }

    void addCatalogRow(const std::string& name, std::int32_t id, std::uint32_t parent, int type,
                       std::uint32_t flags, const char* ownerHex, Bytes lvProp = {}) {
        std::vector<Value> row(tables[0].cols.size());
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

    // The bytes of a value as the column stores them; the encoders' own
    // conversion errors become the builder's InvalidArgument.
    Bytes field(const Value& v, const ColumnDef& def) {
        bool present = true;
        try {
            return encodeField(v, def, f, kCodePage, present);
        } catch (const Error& e) {
            if (e.kind() == ErrorKind::Conversion) invalid(e.message());
            throw;
        }
    }

    // The data of a long value: memo text encoded as the column stores it
    // (compressed as Access does, up to 1024 characters in Jet 4), OLE bytes
    // as they are.
    Bytes longValueData(const Col& c, const Value& v) {
        const std::string& name = c.design.name;
        if (c.design.type == ColumnType::Ole) {
            auto b = std::get_if<Bytes>(&v.v);
            if (!b) invalid("column " + name + " needs bytes");
            return *b;
        }
        auto s = std::get_if<std::u16string>(&v.v);
        if (!s) invalid("column " + name + " needs text");
        ColumnDef text = c.def;
        text.column.type = ColumnType::Text;
        text.length = 0;
        if (s->size() > L.memoCompressMax) text.extraFlags = 0;
        return field(v, text);
    }

    // Length of the field that holds a long value: the 12-byte header, and
    // the data too when it is stored inline.
    static std::size_t longValueFieldSize(const Bytes& data) {
        return data.size() <= kLvalInlineMax ? kLvalHeader + data.size() : kLvalHeader;
    }

    // The 12-byte long-value header, with the data inline or on LVAL pages.
    Bytes longValue(Col& c, const Bytes& data) {
        if (data.size() <= kLvalInlineMax) return inlineLongValueField(data);
        if (data.size() <= f.lvalSingleRowMax) {
            RowId at = placeLval(c, data.data(), data.size());
            return lvalRowsField(data.size(), true, (at.page << 8) | at.slot);
        }
        // A chain: written last chunk first so that each row knows its
        // successor; each row is a 4-byte link and data.
        const std::size_t chunk = f.lvalSingleRowMax - kLvalChainLink;
        std::size_t chunks = (data.size() + chunk - 1) / chunk;
        std::uint32_t next = 0;
        for (std::size_t i = chunks; i-- > 0;) {
            std::size_t from = i * chunk;
            std::size_t n = std::min(chunk, data.size() - from);
            Bytes rowBytes;
            appendU32(rowBytes, next);
            rowBytes.insert(rowBytes.end(), data.begin() + std::ptrdiff_t(from),
                            data.begin() + std::ptrdiff_t(from + n));
            RowId at = placeLval(c, rowBytes.data(), rowBytes.size());
            next = (at.page << 8) | at.slot;
        }
        return lvalRowsField(data.size(), false, next);
    }

    RowId placeLval(Col& c, const std::uint8_t* data, std::size_t n) {
        if (c.lvalCurrent == 0 || !fits(c.lvalCurrent, n)) {
            c.lvalCurrent = newDataPage(kLvalOwner);
            c.lvalPages.push_back(c.lvalCurrent);
        }
        std::uint16_t slot = appendRow(c.lvalCurrent, data, n);
        return RowId{c.lvalCurrent, slot};
    }

    // The bytes of a non-null value of a scalar or text column, after the
    // checks the field encoder leaves to its callers.
    Bytes encodeValue(const Col& c, const Value& v) {
        const std::string& name = c.design.name;
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
            case ColumnType::Numeric: {
                auto d = std::get_if<Decimal>(&v.v);
                if (!d) invalid("column " + name + " needs a decimal number");
                checkDecimal(d->text, c.design.precision, c.design.scale, name);
                break;
            }
            default:
                break;
        }
        return field(v, c.def);
    }

    // The row's values as the encoders and key builders take them: Yes/No
    // as bool (a null is No, as Access stores it), whole numbers given for a
    // Decimal column as Decimal.
    std::vector<Value> normalized(const Table& t, const std::vector<Value>& values) {
        std::vector<Value> out = values;
        for (std::size_t i = 0; i < out.size(); ++i) {
            const Col& c = t.cols[i];
            Value& v = out[i];
            if (c.design.type == ColumnType::Boolean) {
                if (auto n = std::get_if<std::int64_t>(&v.v))
                    v = Value(*n != 0);
                else if (v.isNull())
                    v = Value(false);
                else if (!std::holds_alternative<bool>(v.v))
                    invalid("column " + c.design.name + " needs true or false");
            } else if (c.design.type == ColumnType::Numeric) {
                if (auto n = std::get_if<std::int64_t>(&v.v))
                    v = Value(Decimal{std::to_string(*n)});
            }
        }
        return out;
    }

    // Checks and encodes the whole row, and the entry of every index, before
    // anything is placed: a refused row leaves the file as it was.
    void insert(int handle, const std::vector<Value>& given) {
        if (finished) invalid("the database was already finished");
        if (handle < 0 || std::size_t(handle) >= tables.size()) invalid("no such table handle");
        Table& t = tables[std::size_t(handle)];
        if (given.size() != t.cols.size())
            invalid("table " + t.design.name + " has " + std::to_string(t.cols.size()) +
                    " columns, row has " + std::to_string(given.size()));
        const std::vector<Value> values = normalized(t, given);
        const std::size_t columns = t.cols.size();
        RowImage image;
        image.columnCount = unsigned(columns);
        image.fixed.assign(std::size_t(t.fixedArea), 0);
        image.vars.resize(std::size_t(t.varCount));
        image.nullMask.assign((columns + 7) / 8, 0);
        image.hasVarArea = t.varCount > 0;
        struct Long {
            std::size_t column;
            Bytes data;
        };
        std::vector<Long> longs;
        for (std::size_t i = 0; i < columns; ++i) {
            Col& c = t.cols[i];
            const Value& v = values[i];
            if (c.design.type == ColumnType::Boolean) {
                image.setHasValue(c.number, std::get<bool>(v.v));  // the value is the mask bit
                continue;
            }
            if (v.isNull()) {
                if (c.design.required)
                    invalid("column " + c.design.name + " of " + t.design.name +
                            " requires a value");
                continue;
            }
            image.setHasValue(c.number, true);
            if (isLongValue(c.design.type)) {
                Bytes data = longValueData(c, v);
                // Sized now, placed once the row is known to fit.
                image.vars[std::size_t(c.varIndex)] = Bytes(longValueFieldSize(data), 0);
                longs.push_back(Long{i, std::move(data)});
                continue;
            }
            Bytes bytes = encodeValue(c, v);
            if (c.fixed) {
                if (bytes.size() > std::size_t(c.length))
                    invalid("value too long for column " + c.design.name);
                std::memcpy(image.fixed.data() + c.fixedOffset, bytes.data(), bytes.size());
            } else {
                image.vars[std::size_t(c.varIndex)] = std::move(bytes);
            }
        }
        const std::size_t rowSize = encodeRowImage(image, f).size();
        if (rowSize > L.maxRowSize)
            invalid("row too large for table " + t.design.name + " (" + std::to_string(rowSize) +
                    " bytes)");

        // The entry of each index, or none for a null key an index ignores.
        // Yes/No values are never null (normalized() made them bool).
        enum class Entered { No, Yes, YesAllNull };
        std::vector<std::string> keys(t.ixs.size());
        std::vector<Entered> entered(t.ixs.size(), Entered::No);
        for (std::size_t k = 0; k < t.ixs.size(); ++k) {
            const Ix& ix = t.ixs[k];
            std::vector<Value> keyValues;
            bool allNull = true, anyNull = false;
            for (int pos : ix.cols) {
                const Value& v = values[std::size_t(pos)];
                if (v.isNull())
                    anyNull = true;
                else
                    allNull = false;
                keyValues.push_back(v);
            }
            if (anyNull && ix.required)
                invalid("index " + ix.design.name + " of " + t.design.name +
                        " does not allow nulls");
            if (allNull && ix.ignoreNulls) continue;
            keys[k] = indexKey(keyValues, ix.keyColumns, L.order);
            // Keys whose columns are all null never collide.
            if (ix.unique && !allNull && ix.keys.count(keys[k]))
                invalid("duplicate key in unique index " + ix.design.name + " of " + t.design.name);
            entered[k] = allNull ? Entered::YesAllNull : Entered::Yes;
        }

        for (Long& l : longs) {
            Col& c = t.cols[l.column];
            image.vars[std::size_t(c.varIndex)] = longValue(c, l.data);
        }
        const Bytes row = encodeRowImage(image, f);
        if (t.current == 0 || !fits(t.current, row.size())) {
            t.current = newDataPage(t.tdefPage);
            t.dataPages.push_back(t.current);
        }
        RowId id{t.current, appendRow(t.current, row.data(), row.size())};
        ++t.rows;
        for (std::size_t k = 0; k < t.ixs.size(); ++k) {
            if (entered[k] == Entered::No) continue;
            Ix& ix = t.ixs[k];
            if (ix.unique && entered[k] == Entered::Yes) ix.keys.insert(keys[k]);
            ix.entries.push_back(Entry{std::move(keys[k]), id});
        }
    }

    // ---- indexes ------------------------------------------------------------

    std::size_t entryArea() const { return f.pageSize - ipf.entriesOffset; }

    void writeIndexPage(std::uint32_t n, IndexPage page) {
        ByteSpan p = span(n);
        std::memset(p.data(), 0, f.pageSize);
        page.number = n;
        page.prefixLength = sharedKeyPrefix(page, ipf);
        jet::writeIndexPage(p, page, ipf);
    }

    void buildIndex(Table& t, Ix& ix) {
        std::sort(ix.entries.begin(), ix.entries.end(), [](const Entry& a, const Entry& b) {
            if (a.key != b.key) return a.key < b.key;
            return a.row < b.row;
        });
        ix.distinct = 0;
        for (std::size_t i = 0; i < ix.entries.size(); ++i)
            if (i == 0 || ix.entries[i].key != ix.entries[i - 1].key) ++ix.distinct;
        ix.keys.clear();
        auto pageOf = [&](bool leaf, std::vector<IndexEntry> entries) {
            IndexPage page;
            page.leaf = leaf;
            page.tdefPage = t.tdefPage;
            page.entries = std::move(entries);
            return page;
        };
        if (ix.entries.empty()) {
            ix.root = allocPage();
            ix.pages.push_back(ix.root);
            writeIndexPage(ix.root, pageOf(true, {}));
            return;
        }
        struct Child {
            IndexEntry last;  // key and row of the subtree's last entry
            std::uint32_t page;
        };
        // Leaves: all linked in key order.
        std::vector<std::vector<IndexEntry>> groups(1);
        std::size_t filled = 0;
        for (const Entry& e : ix.entries) {
            IndexEntry entry{e.key, e.row};
            const std::size_t size = wholeEntrySize(entry, true);
            if (filled + size > entryArea()) {
                if (groups.back().empty()) invalid("index key too long in " + ix.design.name);
                groups.emplace_back();
                filled = 0;
                if (size > entryArea()) invalid("index key too long in " + ix.design.name);
            }
            filled += size;
            groups.back().push_back(std::move(entry));
        }
        std::vector<Child> level;
        std::vector<std::uint32_t> leafPages;
        for (std::size_t g = 0; g < groups.size(); ++g) leafPages.push_back(allocPage());
        for (std::size_t g = 0; g < groups.size(); ++g) {
            IndexPage leaf = pageOf(true, groups[g]);
            leaf.prevPage = g ? leafPages[g - 1] : 0;
            leaf.nextPage = g + 1 < groups.size() ? leafPages[g + 1] : 0;
            writeIndexPage(leafPages[g], std::move(leaf));
            level.push_back(Child{groups[g].back(), leafPages[g]});
            ix.pages.push_back(leafPages[g]);
        }
        bool childrenAreLeaves = true;
        while (level.size() > 1) {
            // Group children under parents: a node holds one entry per child
            // except its last child, the tail.
            std::vector<std::pair<std::size_t, std::size_t>> spans;  // [from, to)
            std::size_t from = 0;
            filled = 0;
            for (std::size_t i = 0; i < level.size(); ++i) {
                if (i == from)
                    continue;  // the first child of a group costs nothing until another follows
                const std::size_t size = wholeEntrySize(level[i - 1].last, false);
                if (filled + size > entryArea()) {
                    spans.emplace_back(from, i);
                    from = i;
                    filled = 0;
                } else {
                    filled += size;
                }
            }
            spans.emplace_back(from, level.size());
            std::vector<Child> parents;
            for (auto [a, b] : spans) {
                std::vector<IndexEntry> entries;
                std::size_t last = b - a == 1 ? b : b - 1;
                for (std::size_t i = a; i < last; ++i) {
                    IndexEntry entry = level[i].last;
                    entry.child = level[i].page;
                    entries.push_back(std::move(entry));
                }
                IndexPage node = pageOf(false, std::move(entries));
                if (b - a > 1) node.tailPage = level[b - 1].page;
                std::uint32_t n = allocPage();
                ix.pages.push_back(n);
                writeIndexPage(n, std::move(node));
                parents.push_back(Child{level[b - 1].last, n});
                // Node pages are linked only among children of one parent.
                if (!childrenAreLeaves) {
                    for (std::size_t i = a; i < b; ++i) {
                        ByteSpan c = span(level[i].page);
                        c.u32(ipf.prevOffset, i > a ? level[i - 1].page : 0);
                        c.u32(ipf.nextOffset, i + 1 < b ? level[i + 1].page : 0);
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
        const std::uint64_t inlinePages = inlineMapSpan(L.mapRowSize);
        const std::uint64_t bitmapSpan = pagesPerMapPage(f);
        std::sort(pages.begin(), pages.end());
        Bytes row(L.mapRowSize, 0);
        ByteSpan r(row.data(), row.size());
        std::uint32_t start = pages.empty() ? 0 : pages.front();
        if (pages.empty() || pages.back() - start < inlinePages) {
            r.u8(0, kInlineMap);
            r.u32(kInlineMapFirstPage, start);
            for (std::uint32_t p : pages)
                setBitmapBit(row.data() + kInlineMapBitmap, p - start, true);
            return row;
        }
        r.u8(0, kReferenceMap);
        std::map<std::uint64_t, std::uint32_t> bitmapPages;
        for (std::uint32_t p : pages) {
            const std::uint64_t i = p / bitmapSpan;
            if (i >= referenceMapSlots(L.mapRowSize))
                throw Error("table too large for its usage map", ErrorKind::NotSupported);
            auto it = bitmapPages.find(i);
            if (it == bitmapPages.end()) {
                std::uint32_t n = allocPage();
                initMapPage(span(n));
                it = bitmapPages.emplace(i, n).first;
                r.u32(kReferenceMapPages + 4 * i, n);
            }
            setBitmapBit(page(it->second) + kMapPageBitmap, p % bitmapSpan, true);
        }
        return row;
    }

    // Adds a map row on the table's map page; a full page (Jet 3 pages hold
    // 15 map rows) continues on a new one, as Access does.
    std::uint32_t addMap(Table& t, std::vector<std::uint32_t> pages) {
        Bytes row = mapRow(std::move(pages));
        if (!fits(t.mapPage, row.size())) t.mapPage = newDataPage(0);
        std::uint16_t slot = appendRow(t.mapPage, row.data(), row.size());
        return (t.mapPage << 8) | slot;
    }

    // ---- table definitions ----------------------------------------------------
    //
    // The definition as the reader decodes it, encoded by format/tdef; its
    // continuation pages are taken as the chain grows.

    void writeTdef(Table& t, std::uint32_t ownedMap, std::uint32_t freeMap,
                   const std::vector<std::uint32_t>& indexMaps,
                   const std::vector<std::pair<std::uint32_t, std::uint32_t>>& lvalMaps) {
        TableDef def;
        def.tableType = t.design.system ? 0x53 : 0x4E;
        def.rowCountHint = std::uint32_t(t.rows);
        def.maxColumns = int(t.cols.size());
        def.varColumns = t.varCount;
        def.ownedMap = ownedMap;
        def.freeMap = freeMap;
        for (std::size_t i = 0, m = 0; i < t.cols.size(); ++i) {
            const Col& c = t.cols[i];
            ColumnDef d;
            d.column.name = c.design.name;
            d.typeCode = std::uint8_t(c.design.type);
            d.number = c.number;
            d.varIndex = c.varIndex;
            // Access writes the sort order (and in Jet 3 the code page) into
            // every descriptor.
            d.sortOrder = kSortGeneral;
            d.codePage = kCodePage;
            if (c.design.type == ColumnType::Numeric) {
                d.precision = c.design.precision;
                d.scale = c.design.scale;
            }
            d.flags = c.flags;
            d.extraFlags = c.extra;
            d.fixedOffset = c.fixedOffset;
            d.length = c.length;
            if (isLongValue(c.design.type)) {
                d.lvalOwnedMap = lvalMaps[m].first;
                d.lvalFreeMap = lvalMaps[m].second;
                ++m;
            }
            def.columns.push_back(std::move(d));
        }
        for (std::size_t i = 0; i < t.ixs.size(); ++i) {
            const Ix& ix = t.ixs[i];
            RealIndexDef r;
            for (std::size_t k = 0; k < ix.cols.size(); ++k) {
                r.columnNumbers.push_back(t.cols[std::size_t(ix.cols[k])].number);
                r.ascending.push_back(!ix.keyColumns[k].descending);
            }
            r.usageMap = indexMaps[i];
            r.rootPage = ix.root;
            r.flags = ix.flags;
            r.distinctKeys = ix.distinct;
            def.realIndexes.push_back(std::move(r));
            IndexDef x;
            x.index.name = ix.design.name;
            x.number = int(i);
            x.realIndex = int(i);
            x.indexType = ix.indexType;
            def.indexes.push_back(std::move(x));
        }

        const std::vector<Bytes> pages = tdefPageImages(encodeTableDef(def, f), f);
        std::uint32_t n = t.tdefPage;
        for (std::size_t i = 0; i < pages.size(); ++i) {
            ByteSpan p = span(n);
            std::memcpy(p.data(), pages[i].data(), f.pageSize);
            if (i + 1 == pages.size()) break;
            const std::uint32_t next = allocPage();
            linkTdefPage(span(n), f, next);
            n = next;
        }
    }

    // ---- whole file ---------------------------------------------------------

    void writeHeader() {
        HeaderInfo info;
        info.version = L.version;
        info.codePage = kCodePage;
        info.sortOrder = kSortGeneral;
        info.creationDate = options.creationDate;
        encodeHeader(span(0), f, info);
    }

    // Page 1: the global map (bit set = page free, or past the end of the
    // file), covering the whole file, and a second, empty map.
    void writeGlobalMap() {
        std::uint32_t pages = pageCount();
        std::size_t bytes = std::max<std::size_t>(L.mapRowSize - kInlineMapBitmap, (pages + 7) / 8);
        Bytes global(kInlineMapBitmap + bytes, 0);  // an inline map from page 0
        for (std::uint32_t k = pages; k < bytes * 8; ++k)
            setBitmapBit(global.data() + kInlineMapBitmap, k, true);
        Bytes second(L.mapRowSize, 0);
        if (global.size() + second.size() + 4 > dataCapacity())
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
                if (p == t.current || span(p).view().u16(f.dataFreeSpace) >= L.freeMapThreshold)
                    roomy.push_back(p);
            std::uint32_t owned = addMap(t, t.dataPages);
            std::uint32_t freeMap = addMap(t, roomy);
            std::vector<std::uint32_t> indexMaps;
            for (Ix& ix : t.ixs) indexMaps.push_back(addMap(t, ix.pages));
            std::vector<std::pair<std::uint32_t, std::uint32_t>> lvalMaps;
            for (Col& c : t.cols) {
                if (!isLongValue(c.design.type)) continue;
                std::uint32_t lo = addMap(t, c.lvalPages);
                std::vector<std::uint32_t> lvalRoomy;
                if (c.lvalCurrent) lvalRoomy.push_back(c.lvalCurrent);
                std::uint32_t lf = addMap(t, lvalRoomy);
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
    const Sids& s = L.sids;
    // Access 97 leaves the creator out.
    const std::vector<Ace> jet4{{0, s.creator, 983294, false},
                                {0, s.admin, 1048319, false},
                                {0, s.admins, 1048319, false},
                                {0, s.users, 1048319, false}};
    const std::vector<Ace> jet3(jet4.begin() + 1, jet4.end());
    for (const Ace& a : L.version >= 4 ? jet4 : jet3)
        insert(aces, {Value(std::int64_t(objectId)), Value(fromHex(a.sid)),
                      Value(std::int64_t(a.mask)), Value(a.inheritable)});
}

std::vector<TableDesign> systemTableDesigns(int jetVersion) {
    const Layout& L = layoutFor(jetVersion);
    using T = ColumnType;
    const int binary = int(L.maxBinaryLength);
    std::vector<TableDesign> out;
    TableDesign objects{
        "MSysObjects",
        {col("Id", T::Long), col("ParentId", T::Long), col("Name", T::Text, 255),
         col("Type", T::Integer), col("DateCreate", T::DateTime), col("DateUpdate", T::DateTime),
         col("Owner", T::Binary, binary, 0x32), col("Flags", T::Long), col("Database", T::Memo),
         col("Connect", T::Memo), col("ForeignName", T::Text, 255),
         col("RmtInfoShort", T::Binary, binary), col("RmtInfoLong", T::Ole), col("Lv", T::Ole),
         col("LvProp", T::Ole), col("LvModule", T::Ole), col("LvExtra", T::Ole)},
        {IndexDesign{"ParentIdName", {"ParentId", "Name"}, {}, IndexKind::Plain, 0x81},
         IndexDesign{"Id", {"Id"}, {}, IndexKind::PrimaryKey, 0x81}},
        true,
        kSystemFlag};
    TableDesign aces{"MSysACEs",
                     {col("ObjectId", T::Long), col("SID", T::Binary, binary, 0x32),
                      col("ACM", T::Long), col("FInheritable", T::Boolean)},
                     {IndexDesign{"ObjectId", {"ObjectId"}, {}, IndexKind::Plain, 0x88}},
                     true,
                     kSystemFlag};
    TableDesign queries{
        "MSysQueries",
        {col("ObjectId", T::Long), col("Attribute", T::Byte), col("Order", T::Binary, binary),
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
    if (jetVersion >= 4) {
        out.push_back(std::move(accessObjects));
    } else {
        // Access 97: no MSysAccessObjects, no MSysQueries.LvExtra, and its
        // indexes without the Jet 4 mark.
        out[2].columns.pop_back();
        for (TableDesign& t : out)
            for (IndexDesign& ix : t.indexes) ix.flags &= ~kJet4IndexMark;
    }
    return out;
}

DatabaseBuilder::DatabaseBuilder(CreateOptions options)
    : impl_(new Impl(layoutFor(options.jetVersion))) {
    Impl& m = *impl_;
    const Sids& sid = m.L.sids;
    m.options = options;
    m.image.reserve(64 * m.f.pageSize);
    m.allocPage();     // 0: header, written by finish()
    m.newDataPage(1);  // 1: global usage map, filled by finish()
    std::vector<TableDesign> system = systemTableDesigns(options.jetVersion);
    for (const TableDesign& design : system) m.addTable(design);  // MSysObjects gets page 2

    const std::int32_t objects = std::int32_t(m.tables[0].tdefPage);
    const std::int32_t aces = std::int32_t(m.tables[1].tdefPage);
    const std::int32_t queries = std::int32_t(m.tables[2].tdefPage);
    const std::int32_t relationships = std::int32_t(m.tables[3].tdefPage);

    m.addCatalogRow("Tables", std::int32_t(kTablesId), kContainerRoot, 3, kSystemFlag, sid.engine);
    m.addCatalogRow("Databases", std::int32_t(kDatabasesId), kContainerRoot, 3, kSystemFlag,
                    sid.engine);
    m.addCatalogRow("Relationships", std::int32_t(kRelationshipsId), kContainerRoot, 3, kSystemFlag,
                    sid.engine);
    m.addCatalogRow("MSysDb", std::int32_t(kMSysDbId), kDatabasesId, 2, kSystemFlag, sid.admin,
                    databaseProperties(m.L));
    // Access's containers of forms, reports... and the database's documents,
    // numbered from 0x80000000 in the order Access 2000 / Access 97 gives them.
    const std::int32_t c0 = std::int32_t(0x80000000u);
    std::vector<const char*> containers, documents;
    std::int32_t firstContainer = 0, firstDocument = 0;
    if (m.L.version >= 4) {
        containers = {"DataAccessPages", "Forms", "Modules", "Reports", "Scripts", "SysRel"};
        documents = {"AccessLayout", "SummaryInfo", "UserDefined"};
        firstContainer = c0;
        firstDocument = c0 + 6;
    } else {
        documents = {"SummaryInfo", "UserDefined"};
        containers = {"Forms", "Reports", "Scripts", "Modules", "SysRel"};
        firstDocument = c0;
        firstContainer = c0 + 2;
    }
    auto addContainers = [&] {
        for (std::size_t i = 0; i < containers.size(); ++i)
            m.addCatalogRow(containers[i], firstContainer + std::int32_t(i), kContainerRoot, 3, 0,
                            sid.admin);
    };
    auto addDocuments = [&] {
        for (std::size_t i = 0; i < documents.size(); ++i)
            m.addCatalogRow(documents[i], firstDocument + std::int32_t(i), kDatabasesId, -32757, 0,
                            sid.admin);
    };
    if (m.L.version >= 4) {
        addContainers();
        addDocuments();
    } else {
        addDocuments();
        addContainers();
    }

    std::vector<Ace> list;
    for (std::size_t i = 0; i < containers.size(); ++i)
        for (const char* s : {sid.users, sid.admins, sid.admin, sid.creator})
            list.push_back({firstContainer + std::int32_t(i), s, 1048575, true});
    list.push_back({std::int32_t(kDatabasesId), sid.admin, 393216, false});
    list.push_back({std::int32_t(kRelationshipsId), sid.creator, 983294, true});
    list.push_back({std::int32_t(kRelationshipsId), sid.admin, 393217, false});
    list.push_back({std::int32_t(kRelationshipsId), sid.admins, 1048575, true});
    list.push_back({std::int32_t(kRelationshipsId), sid.users, 1048575, true});
    list.push_back({std::int32_t(kTablesId), sid.creator, 983294, true});
    list.push_back({std::int32_t(kTablesId), sid.admin, 1048319, true});
    list.push_back({std::int32_t(kTablesId), sid.admins, 1048319, true});
    list.push_back({std::int32_t(kTablesId), sid.users, 1048319, true});
    list.push_back({std::int32_t(kMSysDbId), sid.admin, 393230, false});
    list.push_back({std::int32_t(kMSysDbId), sid.users, 14, false});
    list.push_back({std::int32_t(kMSysDbId), sid.admins, 393230, false});
    // The documents after the first (Jet 4: after AccessLayout).
    for (std::size_t i = m.L.version >= 4 ? 1 : 0; i < documents.size(); ++i)
        list.push_back({firstDocument + std::int32_t(i), sid.users, 65536, false});
    if (m.L.version >= 4) {
        const std::int32_t accessObjects = std::int32_t(m.tables[4].tdefPage);
        for (const char* s : {sid.admin, sid.admins, sid.users})
            list.push_back({accessObjects, s, 1048575, false});
    }
    list.push_back({aces, sid.admin, 393216, false});
    list.push_back({aces, sid.admins, 393300, false});
    list.push_back({objects, sid.admin, 393216, false});
    list.push_back({objects, sid.admins, 393300, false});
    list.push_back({objects, sid.users, 20, false});
    list.push_back({queries, sid.admin, 393216, false});
    list.push_back({queries, sid.admins, 393236, false});
    list.push_back({queries, sid.users, 20, false});
    list.push_back({relationships, sid.admin, 917504, false});
    list.push_back({relationships, sid.admins, 393236, false});
    list.push_back({relationships, sid.users, 20, false});
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
    const std::vector<std::uint8_t> bytes = finish();
    systemEnv().createFile(path)->write(0, bytes.data(), bytes.size());
}

void createEmptyDatabase(const std::string& path, CreateOptions options) {
    DatabaseBuilder(options).writeFile(path);
}

}  // namespace jet
