// Text as the file stores it (UCS-2, Access's compressed form, code-page
// bytes) and as the engine hands it out (UTF-8), and the header's RC4 mask.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "format/bytes.h"

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
// Simple case folding used for table and column names.
std::u16string foldName(const std::u16string& s);

// RC4 key stream, used to unmask the header.
void rc4(const std::uint8_t* key, std::size_t keyLength, std::uint8_t* data, std::size_t n);

}  // namespace jet
