// Text collation of Access databases: the "General" sort orders.
//
// Access compares text (=, <, ORDER BY, index order) through the same sort
// keys it writes into text indexes, so this module builds those keys and
// derives comparison from them. Two orders exist in .mdb files:
//   General4  - Jet 4 "General (legacy)", LCID 1033, sort-order version 0
//               (Access 2000-2007). Keys from UTF-16 text.
//   General97 - Jet 3 "General", LCID 1033 (Access 97). Keys from the code
//               page 1252 byte of each character.
// Both are case-insensitive and accent-sensitive: "cemento" == "CEMENTO",
// "e" < "é" < "f". Trailing blanks are ignored and only the first 255
// characters count, as in Access.
//
// The per-character code tables are generated (collation_tables.inc, made by
// jet/tools/derive_collation.cpp) and immutable: every function here is pure
// and safe to call from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "format/text.h"  // cp1252Byte: Jet 3 keys are built from code page bytes
#include "jet/jet.h"

namespace jet {

enum class SortOrder {
    General4,   // Jet 4 General (legacy)
    General97,  // Jet 3 General
};

// The sort order a database uses, from its Jet version (3 or 4).
inline SortOrder sortOrderForJet(int jetVersion) {
    return jetVersion == 3 ? SortOrder::General97 : SortOrder::General4;
}

// Key bytes of a text value exactly as Access writes them in an ascending
// index, without the column flag byte and before any descending inversion.
// Throws jet::Error(NotSupported) when a character has no code in the table
// (an index entry must never be guessed).
std::string textSortKey(std::u16string_view text, SortOrder order);

// Like textSortKey, but never throws: a character without a code gets a
// stable key after every known character. For comparing and ordering only.
std::string textCompareKey(std::u16string_view text, SortOrder order);

// The database's order: <0, 0, >0. Never throws.
int compareText(std::u16string_view a, std::u16string_view b, SortOrder order);

// Jet's text equality: case-insensitive, accent-sensitive, trailing blanks
// ignored. Never throws.
bool equalText(std::u16string_view a, std::u16string_view b, SortOrder order);

// A per-character fold for LIKE matching: two characters match when their
// folds are equal (same primary and accent codes: case-insensitive,
// accent-sensitive). Characters without a table code fold to a value
// derived from the character itself, so they match only themselves
// (case-sensitively). Never throws.
std::uint64_t foldChar(char16_t c, SortOrder order);

}  // namespace jet
