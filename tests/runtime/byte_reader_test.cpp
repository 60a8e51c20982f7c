#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "runtime/utility/byte_reader.h"

using quarnel::ByteReader;

TEST(ByteReader, ReadsLittleEndianFieldsInOrder) {
    const std::vector<std::uint8_t> data = {0x01, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0xFF};
    ByteReader r(data);
    EXPECT_EQ(r.u8(), 0x01);
    EXPECT_EQ(r.u16le(), 0x1234);
    EXPECT_EQ(r.u32le(), 0x12345678u);
    EXPECT_EQ(r.remaining(), 1u);
    EXPECT_FALSE(r.ended());
}

TEST(ByteReader, ShortReadYieldsZeroAndMarksTheEnd) {
    const std::vector<std::uint8_t> data = {0xAA, 0xBB, 0xCC};
    ByteReader r(data);
    r.skip(1);
    EXPECT_EQ(r.u32le(), 0u);  // only two bytes left
    EXPECT_TRUE(r.ended());
    EXPECT_EQ(r.position(), data.size());
    EXPECT_EQ(r.u8(), 0u);
}

TEST(ByteReader, HugeSkipsAndSeeksDoNotWrap) {
    const std::vector<std::uint8_t> data(16, 7);
    ByteReader r(data, 8);
    r.skip(SIZE_MAX);
    EXPECT_TRUE(r.ended());
    ByteReader s(data);
    s.seek(SIZE_MAX);
    EXPECT_TRUE(s.ended());
    EXPECT_EQ(s.u8(), 0u);
    ByteReader t(data, 100);  // a start past the end
    EXPECT_TRUE(t.ended());
    EXPECT_EQ(t.remaining(), 0u);
}

TEST(ByteReader, BytesAndTextStopAtTheEnd) {
    const std::vector<std::uint8_t> data = {'a', 0, 'b', 'c'};
    ByteReader r(data);
    EXPECT_EQ(r.text(3), std::string("a\0b", 3));  // zero bytes are kept
    EXPECT_EQ(r.bytes(10).size(), 1u);
    EXPECT_TRUE(r.ended());
}
