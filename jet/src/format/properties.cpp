#include "format/properties.h"

#include <cstring>
#include <vector>

namespace jet {

namespace {

constexpr std::uint16_t kNameList = 0x80;
constexpr std::uint16_t kObjectValues = 0x00;
constexpr std::uint16_t kColumnValues = 0x01;

std::u16string readText(ByteView v, std::size_t& off, const Format& f, int codePage) {
    const std::size_t length = v.u16(off);
    ByteView bytes = v.sub(off + 2, length);
    off += 2 + length;
    if (!f.unicodeText) return decodeCodePageText(bytes, codePage);
    if (length % 2 != 0) corrupt("odd length of a property name", v.page());
    std::u16string s;
    for (std::size_t i = 0; i < length; i += 2) s.push_back(static_cast<char16_t>(bytes.u16(i)));
    return s;
}

}  // namespace

ObjectProperties parseProperties(ByteView blob, const Format& f, int codePage) {
    ObjectProperties out;
    if (blob.size() == 0) return out;
    const char* magic = propertyMagic(f);
    if (blob.size() < 4 || std::memcmp(blob.data(), magic, 3) != 0 || blob.u8(3) != 0)
        corrupt("a property blob of unknown type", blob.page());
    std::vector<std::u16string> names;
    std::size_t off = 4;
    while (off < blob.size()) {
        const std::size_t length = blob.u32(off);
        if (length < 6) corrupt("a property chunk shorter than its header", blob.page());
        ByteView chunk = blob.sub(off, length);
        const std::uint16_t type = chunk.u16(4);
        off += length;
        std::size_t at = 6;
        if (type == kNameList) {
            while (at < chunk.size()) names.push_back(readText(chunk, at, f, codePage));
            continue;
        }
        if (type != kObjectValues && type != kColumnValues) continue;  // kinds we do not need
        PropertyMap* target = &out.object;
        if (at < chunk.size()) {
            const std::size_t nameBlock = chunk.u32(at);
            if (nameBlock < 4)
                corrupt("a property name block shorter than its header", blob.page());
            if (nameBlock > 6) {
                std::size_t nameAt = at + 4;
                const std::u16string column = readText(chunk, nameAt, f, codePage);
                if (type == kColumnValues) target = &out.columns[foldName(column)];
            }
            chunk.check(at, nameBlock);
            at += nameBlock;
        }
        while (at < chunk.size()) {
            const std::size_t entryLength = chunk.u16(at);
            if (entryLength < 8) corrupt("a property entry shorter than its header", blob.page());
            ByteView entry = chunk.sub(at, entryLength);
            at += entryLength;
            const std::size_t nameIndex = entry.u16(4);
            const std::size_t dataLength = entry.u16(6);
            if (nameIndex >= names.size()) corrupt("a property names no name", blob.page());
            ByteView data = entry.sub(8, dataLength);
            (*target)[names[nameIndex]] =
                PropertyValue{entry.u8(3), Bytes(data.data(), data.data() + data.size())};
        }
    }
    return out;
}

const PropertyValue* findProperty(const PropertyMap& map, const std::u16string& name) {
    const std::u16string key = foldName(name);
    for (const auto& [n, v] : map)
        if (foldName(n) == key) return &v;
    return nullptr;
}

}  // namespace jet
