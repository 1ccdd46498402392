// Data pages (type 0x01): the pages that hold table rows, long-value rows
// and usage-map rows.
//
// | Field                                        | J3   | J4   |
// |----------------------------------------------|------|------|
// | type 0x01, then 0x01                         | 0x00 | 0x00 |
// | free space (the gap above the offset table)  | 0x02 | 0x02 |
// | owner: TDEF page, "LVAL", or 0 for map rows  | 0x04 | 0x04 |
// | slot count                                   | 0x08 | 0x0C |
// | row offset table, 2 bytes per slot           | 0x0A | 0x0E |
//
// Rows lie back to back from the end of the page downward in slot order:
// slot s ends where slot s-1 starts, slot 0 at the end of the page. Each
// offset table entry holds the row's start in its low 13 bits and the
// flags below. The offsets come from Format (dataFreeSpace, dataOwner,
// dataRowCount, dataRowTable).
#pragma once

#include <cstddef>
#include <cstdint>

#include "format/bytes.h"
#include "format/format.h"

namespace jet {

inline constexpr std::uint16_t kSlotOffset = 0x1FFF;
// The slot holds a 4-byte pointer to the row's new place.
inline constexpr std::uint16_t kSlotMoved = 0x4000;
// Deleted, or (with kSlotMoved clear) a moved row's data, reached only
// through its pointer.
inline constexpr std::uint16_t kSlotDeleted = 0x8000;
inline constexpr std::uint16_t kSlotFlags = 0xE000;
// Slots a data page may have: a row pointer keeps the slot in one byte.
inline constexpr std::size_t kMaxSlotsPerPage = 255;

// The slot count, checked against the page size.
std::uint16_t dataSlotCount(ByteView page, const Format& f);
// The bytes of one slot (count from dataSlotCount()); throws Corrupt for a
// slot that does not exist or a row out of its place.
ByteView dataSlotBytes(ByteView page, const Format& f, std::uint16_t slot, std::uint16_t count);

// Whether a row of `length` bytes can be added to the page: a free slot and
// room for the row and its offset table entry.
inline bool dataPageHasRoom(ByteView page, const Format& f, std::size_t length) {
    return page.u16(f.dataRowCount) < kMaxSlotsPerPage && page.u16(f.dataFreeSpace) >= length + 2;
}

// Makes `page` an empty data page of `owner`.
void initDataPage(ByteSpan page, const Format& f, std::uint32_t owner);

// Editing one data page in place.
struct DataPageEditor {
    ByteSpan p;
    const Format& f;

    std::uint16_t count() const { return p.view().u16(f.dataRowCount); }
    std::uint16_t raw(std::uint16_t s) const { return p.view().u16(f.dataRowTable + 2u * s); }
    void setRaw(std::uint16_t s, std::uint16_t v) { p.u16(f.dataRowTable + 2u * s, v); }
    std::size_t start(std::uint16_t s) const { return raw(s) & kSlotOffset; }
    std::size_t end(std::uint16_t s) const { return s == 0 ? p.size() : start(s - 1); }
    std::size_t freeSpace() const { return p.view().u16(f.dataFreeSpace); }
    std::size_t lowest() const { return count() == 0 ? p.size() : start(count() - 1); }
    ByteView bytes(std::uint16_t s) const { return p.view().sub(start(s), end(s) - start(s)); }

    // Throws Corrupt unless the rows lie back to back in slot order and the
    // free-space field is the gap above the offset table: a page that
    // breaks this is refused rather than edited, so damage does not spread.
    void check() const;
    // Changes slot s to `length` bytes, keeping its end: the rows after it
    // (lower in the page) shift by the difference. False if there is no room.
    bool resize(std::uint16_t s, std::size_t length);
    // Writes bytes into slot s, resizing it; false if there is no room.
    bool put(std::uint16_t s, const Bytes& row);
    bool canAppend(std::size_t length) const { return dataPageHasRoom(p.view(), f, length); }
    // Adds a slot below the lowest row; the caller checked canAppend().
    std::uint16_t append(const std::uint8_t* row, std::size_t length, std::uint16_t flags);
    std::uint16_t append(const Bytes& row, std::uint16_t flags) {
        return append(row.data(), row.size(), flags);
    }
};

}  // namespace jet
