#include "format/bytes.h"

#include <gtest/gtest.h>

namespace jet {
namespace {

TEST(ByteView, ReadsLittleAndBigEndianAndChecksBounds) {
    const std::uint8_t raw[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
    ByteView v(raw, sizeof raw, 7);
    EXPECT_EQ(v.u16(0), 0x0201);
    EXPECT_EQ(v.u24(1), 0x040302u);
    EXPECT_EQ(v.u32(4), 0x08070605u);
    EXPECT_EQ(v.readBE(0, 3), 0x010203u);
    EXPECT_EQ(v.i64(0), 0x0807060504030201);
    EXPECT_THROW(v.u32(5), Error);
    EXPECT_THROW(v.sub(4, 5), Error);
    try {
        v.u16(7);
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Corrupt);
        EXPECT_NE(std::string(e.what()).find("page 7"), std::string::npos);
    }
}

TEST(ByteSpan, WritesRoundTrip) {
    std::uint8_t raw[8] = {};
    ByteSpan s(raw, sizeof raw);
    s.u16(0, 0xBEEF);
    s.writeBE(2, 3, 0x123456);
    s.f32(4, 1.5f);
    EXPECT_EQ(raw[0], 0xEF);
    EXPECT_EQ(raw[1], 0xBE);
    EXPECT_EQ(raw[2], 0x12);
    EXPECT_EQ(raw[4 + 3], 0x3F);
    EXPECT_FLOAT_EQ(s.view().f32(4), 1.5f);
    EXPECT_THROW(s.u32(6, 1), Error);
}

}  // namespace
}  // namespace jet
