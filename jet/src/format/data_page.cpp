#include "format/data_page.h"

#include <cstring>
#include <string>

namespace jet {

std::uint16_t dataSlotCount(ByteView page, const Format& f) {
    std::uint16_t n = page.u16(f.dataRowCount);
    if (f.dataRowTable + 2u * n > page.size())
        corrupt("row offset table larger than its page", page.page(), f.dataRowCount);
    return n;
}

ByteView dataSlotBytes(ByteView page, const Format& f, std::uint16_t slot, std::uint16_t count) {
    if (slot >= count) corrupt("row slot " + std::to_string(slot) + " does not exist", page.page());
    const std::size_t entry = f.dataRowTable + 2u * slot;
    std::size_t start = page.u16(entry) & kSlotOffset;
    std::size_t end = slot == 0 ? page.size() : (page.u16(entry - 2) & kSlotOffset);
    if (start < f.dataRowTable + 2u * count || start > end || end > page.size())
        corrupt("row out of place in its page", page.page(), static_cast<std::int64_t>(entry));
    return page.sub(start, end - start);
}

void initDataPage(ByteSpan page, const Format& f, std::uint32_t owner) {
    page.u8(0, kPageData);
    page.u8(1, 0x01);
    page.u16(f.dataFreeSpace, static_cast<std::uint16_t>(f.pageSize - f.dataRowTable));
    page.u32(f.dataOwner, owner);
}

void DataPageEditor::check() const {
    const std::size_t n = count();
    const std::size_t table = f.dataRowTable + 2 * n;
    if (table > p.size()) corrupt("row offset table larger than its page", p.view().page());
    std::size_t prev = p.size();
    for (std::uint16_t s = 0; s < n; ++s) {
        if (start(s) > prev || start(s) < table)
            corrupt("rows out of order in a data page", p.view().page(), f.dataRowTable + 2 * s);
        prev = start(s);
    }
    if (freeSpace() != prev - table)
        corrupt("data page free space is wrong", p.view().page(), f.dataFreeSpace);
}

bool DataPageEditor::resize(std::uint16_t s, std::size_t length) {
    const std::size_t old = end(s) - start(s);
    if (length > old && length - old > freeSpace()) return false;
    const std::size_t low = lowest();
    const std::size_t st = start(s);
    const std::ptrdiff_t delta =
        static_cast<std::ptrdiff_t>(length) - static_cast<std::ptrdiff_t>(old);
    if (delta == 0) return true;
    std::memmove(p.data() + low - delta, p.data() + low, st - low);
    for (std::uint16_t k = s; k < count(); ++k) {
        const std::uint16_t r = raw(k);
        setRaw(k, static_cast<std::uint16_t>((r & kSlotFlags) | ((r & kSlotOffset) - delta)));
    }
    p.u16(f.dataFreeSpace, static_cast<std::uint16_t>(freeSpace() - delta));
    if (delta < 0) std::memset(p.data() + low, 0, static_cast<std::size_t>(-delta));
    return true;
}

bool DataPageEditor::put(std::uint16_t s, const Bytes& row) {
    if (!resize(s, row.size())) return false;
    if (!row.empty()) std::memcpy(p.data() + start(s), row.data(), row.size());
    return true;
}

std::uint16_t DataPageEditor::append(const std::uint8_t* row, std::size_t length,
                                     std::uint16_t flags) {
    const std::uint16_t s = count();
    const std::size_t at = lowest() - length;
    p.u16(f.dataRowCount, static_cast<std::uint16_t>(s + 1));
    setRaw(s, static_cast<std::uint16_t>(flags | at));
    if (length > 0) std::memcpy(p.data() + at, row, length);
    p.u16(f.dataFreeSpace, static_cast<std::uint16_t>(freeSpace() - length - 2));
    return s;
}

}  // namespace jet
