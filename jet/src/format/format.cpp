#include "format/format.h"

namespace jet {

namespace {

Format makeJet3() {
    Format f;
    f.version = 3;
    f.pageSize = 2048;
    f.unicodeText = false;
    f.headerMaskedLength = 126;
    f.headerPasswordLength = 20;
    f.headerCreationDate = 0;
    f.headerSortOrder = 0x3A;
    f.dataRowCount = 0x08;
    f.dataRowTable = 0x0A;
    f.tdefRowCount = 0x0C;
    f.tdefAutoNumber = 0x10;
    f.tdefTableType = 0x14;
    f.tdefMaxColumns = 0x15;
    f.tdefVarColumns = 0x17;
    f.tdefColumnCount = 0x19;
    f.tdefLogicalIndexCount = 0x1B;
    f.tdefRealIndexCount = 0x1F;
    f.tdefOwnedMap = 0x23;
    f.tdefFreeMap = 0x27;
    f.tdefIndexBlocks = 0x2B;
    f.realIndexBlockSize = 8;
    f.columnDescSize = 18;
    f.colNumber = 0x01;
    f.colVarIndex = 0x03;
    f.colSortOrder = 0x09;
    f.colCodePage = 0x0B;
    f.colPrecision = 0;
    f.colScale = 0;
    f.colFlags = 0x0D;
    f.colExtraFlags = 0;
    f.colFixedOffset = 0x0E;
    f.colLength = 0x10;
    f.nameLengthSize = 1;
    f.realIndexDescSize = 39;
    f.riColumns = 0x00;
    f.riUsageMap = 0x1E;
    f.riRootPage = 0x22;
    f.riFlags = 0x26;
    f.logicalIndexDescSize = 20;
    f.liNumber = 0x00;
    f.liRealIndex = 0x04;
    f.liRelTableType = 0x08;
    f.liRelIndex = 0x09;
    f.liRelTable = 0x0D;
    f.liCascadeUpdate = 0x11;
    f.liCascadeDelete = 0x12;
    f.liType = 0x13;
    f.rowCountSize = 1;
    f.ixPrevPage = 0x08;
    f.ixNextPage = 0x0C;
    f.ixTailPage = 0x10;
    f.ixPrefixLength = 0x14;
    f.ixPrefixLengthSize = 1;
    f.ixBitmap = 0x16;
    f.ixEntryStart = 0xF8;
    f.ixMaxEntryArea = 1800;
    f.lvalSingleRowMax = 2032;
    return f;
}

}  // namespace

const Format& jet3Format() {
    static const Format f = makeJet3();
    return f;
}

const Format& jet4Format() {
    static const Format f;
    return f;
}

}  // namespace jet
