// Long values (Memo and OLE): a 12-byte field header in the row, the data
// inline after it or on LVAL rows of their own.
//
// | Offset | Size | Meaning                                                     |
// |--------|------|-------------------------------------------------------------|
// | 0      | 4    | length in bits 0-29; 0x80000000 the data follows inline;    |
// |        |      | 0x40000000 the data is one LVAL row; neither: a chain       |
// | 4      | 4    | the first LVAL row: page << 8 | slot (0 when inline)        |
// | 8      | 4    | unknown, 0                                                  |
// | 12     | ..   | inline data                                                 |
//
// LVAL rows lie on data pages whose owner is "LVAL". In a chain every row
// starts with the 4-byte pointer to the next row (0 on the last), then data.
#pragma once

#include <cstddef>
#include <cstdint>

#include "format/bytes.h"

namespace jet {

inline constexpr std::uint32_t kLvalInline = 0x80000000;
inline constexpr std::uint32_t kLvalSingle = 0x40000000;
inline constexpr std::uint32_t kLvalLength = 0x3FFFFFFF;
inline constexpr std::size_t kLvalHeader = 12;
inline constexpr std::size_t kLvalFirstRow = 4;
inline constexpr std::size_t kLvalChainLink = 4;
inline constexpr std::uint32_t kLvalOwner = 0x4C41564C;  // "LVAL"
// The longest value Access keeps inline in its row.
inline constexpr std::size_t kLvalInlineMax = 64;

// The field of a value kept inline: header and data.
inline Bytes inlineLongValueField(const Bytes& data) {
    Bytes out;
    out.reserve(kLvalHeader + data.size());
    appendU32(out, kLvalInline | static_cast<std::uint32_t>(data.size()));
    appendU32(out, 0);
    appendU32(out, 0);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

// The field of a value on LVAL rows: one row (`single`) or a chain starting
// at `firstRow` (page << 8 | slot).
inline Bytes lvalRowsField(std::size_t length, bool single, std::uint32_t firstRow) {
    Bytes out;
    appendU32(out, static_cast<std::uint32_t>(length) | (single ? kLvalSingle : 0));
    appendU32(out, firstRow);
    appendU32(out, 0);
    return out;
}

}  // namespace jet
