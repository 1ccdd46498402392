// Page 0, the database header: which version the file is, and the facts the
// whole file shares (code page, sort order, creation date), decoded when a
// file is opened and encoded for a new database.
//
//   0x00  1   page type 0x00
//   0x01  3   01 00 00
//   0x04  16  engine name, NUL-terminated (kJetEngineName)
//   0x14  4   format version (low byte): 0 Jet 3, 1 Jet 4, 2+ ACE
//   0x18  ..  masked region (RC4 with kHeaderMaskKey), 126 (J3) / 128 (J4)
//             bytes; inside it, at the version's Format offsets: the code
//             page, the encoding key (0: not encoded), the sort order (J4:
//             its version byte 3 bytes on), the password (J4: masked again
//             with the creation date's whole part), J4 the creation date
//   end       256 two-byte commit slots
#pragma once

#include <string>

#include "format/bytes.h"
#include "format/format.h"
#include "io/env.h"

namespace jet {

struct HeaderInfo {
    int version = 4;
    int codePage = 1252;
    int sortOrder = 1033;
    int sortVersion = 0;      // J4: 0 General legacy, 1 General 2010
    double creationDate = 0;  // J4
};

// The version of a file from its first bytes. Refuses, naming the file,
// what is not a Jet 3 or Jet 4 database (NotSupported: foreign, .accdb,
// MSISAM, unknown version; Corrupt: shorter than three pages).
const Format& recogniseFormat(File& file);

// The header facts of page 0. Refuses encoded and password-protected
// databases (NotSupported); `fileName` names the file in messages.
HeaderInfo decodeHeader(ByteView page0, const Format& f, const std::string& fileName);

// Page 0 of a new database with these facts, not encoded and without a
// password, with the values Access writes whose meaning is not known.
void encodeHeader(ByteSpan page0, const Format& f, const HeaderInfo& info);

}  // namespace jet
