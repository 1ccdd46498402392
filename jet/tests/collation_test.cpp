#include "index/collation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "index/index_key.h"

namespace jet {
namespace {

std::string hexOf(const std::string& s) {
    static const char* d = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if (!out.empty()) out += ' ';
        out += d[c >> 4];
        out += d[c & 15];
    }
    return out;
}

std::string key(std::u16string_view text, SortOrder order, bool descending = false) {
    std::string out;
    appendIndexKey(out, Value(std::u16string(text)), ColumnType::Text, descending, order);
    return hexOf(out);
}

// Keys that Access wrote into the test databases (Jet 4 General legacy).
TEST(Collation, General4KeysMatchAccessEntries) {
    const auto g = SortOrder::General4;
    EXPECT_EQ(key(u"abc", g), "7F 4A 4C 4D 01 00");
    EXPECT_EQ(key(u"ABC", g), key(u"abc", g));
    EXPECT_EQ(key(u"ñandú", g), "7F 62 4A 62 4F 6F 01 19 02 02 02 0E 00");
    EXPECT_EQ(key(u"co-op", g), "7F 4D 64 64 66 01 01 01 01 80 0F 06 82 00");
    EXPECT_EQ(key(u"AA", g), "7F 4A 4A 01 00");
    EXPECT_EQ(key(u"AA   ", g), key(u"AA", g));
    EXPECT_EQ(key(u"abc", g, true), "80 B5 B3 B2 FE FF 00");
}

// Keys that Access 97 wrote (Jet 3 General).
TEST(Collation, General97KeysMatchAccessEntries) {
    const auto o = SortOrder::General97;
    EXPECT_EQ(key(u"e", o), "7F 66 00");
    EXPECT_EQ(key(u"é", o), "7F 66 04 00");
    EXPECT_EQ(key(u"AAéAA", o), "7F 60 60 66 60 60 02 24 00");
    EXPECT_EQ(key(u"résumé", o), "7F 75 66 76 78 6F 66 04 22 40");
    EXPECT_EQ(key(u"e", o, true), "80 99 FF");
}

TEST(Collation, ComparisonIsCaseInsensitiveAndAccentSensitive) {
    for (SortOrder o : {SortOrder::General4, SortOrder::General97}) {
        SCOPED_TRACE(o == SortOrder::General4 ? "General4" : "General97");
        EXPECT_TRUE(equalText(u"cemento", u"CEMENTO", o));
        EXPECT_TRUE(equalText(u"Cañería ", u"CAÑERÍA", o));
        EXPECT_FALSE(equalText(u"e", u"é", o));
        EXPECT_FALSE(equalText(u"CANERIA", u"CAÑERÍA", o));
        EXPECT_LT(compareText(u"e", u"é", o), 0);
        EXPECT_LT(compareText(u"é", u"f", o), 0);
        EXPECT_LT(compareText(u"ABC", u"abcd", o), 0);
        EXPECT_LT(compareText(u"", u"a", o), 0);
        // Accents only break ties between equal letters.
        EXPECT_GT(compareText(u"Z", u"ÁNGULO", o), 0);
        EXPECT_LT(compareText(u"ANGULO", u"ÁNGULO", o), 0);
        EXPECT_LT(compareText(u"ÁNGULO", u"ANGULOS", o), 0);
        EXPECT_EQ(compareText(u"tubo", u"TUBO", o), 0);
        EXPECT_TRUE(equalText(u"straße", u"STRASSE", o));
        EXPECT_EQ(foldChar(u'a', o), foldChar(u'A', o));
        EXPECT_EQ(foldChar(u'ñ', o), foldChar(u'Ñ', o));
        EXPECT_NE(foldChar(u'n', o), foldChar(u'ñ', o));
        EXPECT_NE(foldChar(u'a', o), foldChar(u'b', o));
    }
    // Jet 4 treats the hyphen as "unprintable": co-op sorts beside coop but differs.
    EXPECT_FALSE(equalText(u"co-op", u"coop", SortOrder::General4));
    EXPECT_LT(compareText(u"coop", u"co-op", SortOrder::General4), 0);
    EXPECT_LT(compareText(u"co-op", u"coopa", SortOrder::General4), 0);
}

TEST(Collation, OnlyTheFirst255CharactersCount) {
    std::u16string a(255, u'x'), b = a;
    a += u"a";
    b += u"b";
    for (SortOrder o : {SortOrder::General4, SortOrder::General97}) {
        EXPECT_TRUE(equalText(a, b, o));
        EXPECT_EQ(textSortKey(a, o), textSortKey(std::u16string(255, u'x'), o));
    }
}

TEST(Collation, CharactersWithoutCodeAreRefusedForKeysButStillCompare) {
    const std::u16string surrogate = u"a\xD83D\xDE00";  // an emoji
    try {
        textSortKey(surrogate, SortOrder::General4);
        FAIL() << "expected NotSupported";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::NotSupported);
    }
    EXPECT_THROW(textSortKey(u"\u0100", SortOrder::General97), Error);  // not in code page 1252
    EXPECT_NO_THROW(textSortKey(u"€", SortOrder::General97));
    // Comparison never fails and puts unknown characters after the known ones.
    EXPECT_GT(compareText(surrogate, u"az", SortOrder::General4), 0);
    EXPECT_GT(compareText(u"\u0100", u"z", SortOrder::General97), 0);
    EXPECT_FALSE(equalText(u"\u0100", u"\u0101", SortOrder::General97));
    EXPECT_NE(foldChar(u'\u0100', SortOrder::General97), foldChar(u'\u0101', SortOrder::General97));
}

TEST(Collation, CodePage1252) {
    EXPECT_EQ(cp1252Byte(u'A'), 0x41);
    EXPECT_EQ(cp1252Byte(u'ñ'), 0xF1);
    EXPECT_EQ(cp1252Byte(u'€'), 0x80);
    EXPECT_EQ(cp1252Byte(u'–'), 0x96);
    EXPECT_EQ(cp1252Byte(u'\u0080'), -1);
    EXPECT_EQ(cp1252Byte(u'\u4E00'), -1);
    // Encoding is the exact inverse of decoding, byte for byte, so a Jet 3
    // text written back keys and reads as it was.
    for (int b = 0; b < 256; ++b) {
        const std::uint8_t byte = static_cast<std::uint8_t>(b);
        const std::u16string text = decodeCodePageText(ByteView(&byte, 1), 1252);
        ASSERT_EQ(text.size(), 1u);
        EXPECT_EQ(cp1252Byte(text[0]), b) << "byte " << b;
    }
}

}  // namespace
}  // namespace jet
