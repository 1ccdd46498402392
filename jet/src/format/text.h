// Text as the file stores it (UCS-2, Access's compressed form, code-page
// bytes) and as the engine hands it out (UTF-8), and the header's RC4 mask.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "format/bytes.h"
#include "format/format.h"

namespace jet {

// Text helpers shared by the engine.
std::u16string utf8ToUtf16(const std::string& s);
std::string utf16ToUtf8(const std::u16string& s);
// Decodes a J4 text field (UCS-2LE or FF FE compressed) to UTF-16. The
// overloads taking `out` replace its content and reuse its buffer.
std::u16string decodeJet4Text(ByteView bytes);
void decodeJet4Text(ByteView bytes, std::u16string& out);
// Decodes code-page bytes (1252; other code pages read as Latin-1) to UTF-16.
std::u16string decodeCodePageText(ByteView bytes, int codePage);
void decodeCodePageText(ByteView bytes, int codePage, std::u16string& out);
// Code page 1252 byte of a character, or -1 if the code page cannot store it.
// Jet 3 stores text in this code page; its index keys are built from these
// bytes. The inverse of decodeCodePageText for code page 1252.
int cp1252Byte(char16_t c);

// Text for a Jet 4 field: Access's compressed form (FF FE, then one byte per
// character) when `compressible` and every character allows it (at least
// three, none 0 or above U+00FF), else UCS-2LE.
Bytes encodeJet4Text(const std::u16string& s, bool compressible);

// Names and property texts as a table definition or property blob holds
// them: UCS-2LE in Jet 4 (never compressed), code page 1252 bytes in Jet 3,
// where a character the code page lacks becomes '?' (callers that must
// refuse such names check with cp1252Byte first).
Bytes encodeNameText(const Format& f, const std::u16string& s);

// Simple case folding used for table and column names.
std::u16string foldName(const std::u16string& s);

// RC4 key stream, used to unmask the header.
void rc4(const std::uint8_t* key, std::size_t keyLength, std::uint8_t* data, std::size_t n);

}  // namespace jet
