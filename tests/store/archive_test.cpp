// The archive primitives: the Count and Text forms as written and as read, and reads that run
// past the end of the input.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "store/archive_reader.h"
#include "store/archive_writer.h"
#include "support/store_files.h"

namespace wirelark {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(Archive, CountFormSwitchesAt65535AndTextFormHasThreeLengthPrefixes) {
    for (const auto& [value, bytes] : std::vector<std::pair<std::uint32_t, Bytes>>{
             {0, {0x00, 0x00}},
             {65534, {0xFE, 0xFF}},
             {65535, {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}},
             {0xFFFFFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}}}) {
        Bytes out;
        CArchiveWriter(out).WriteCount(value);
        EXPECT_EQ(out, bytes) << value;
        std::uint32_t read = 1;
        ASSERT_TRUE(CArchiveReader(bytes).ReadCount(read));
        EXPECT_EQ(read, value);
    }
    for (const auto& [length, prefix] : std::vector<std::pair<std::size_t, Bytes>>{
             {0, {0x00}},
             {16, {0x10}},
             {254, {0xFE}},
             {255, {0xFF, 0xFF, 0x00}},
             {0xFFFD, {0xFF, 0xFD, 0xFF}},
             {0xFFFE, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
             {70000, {0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}}}) {
        const std::string text(length, 'z');
        Bytes out;
        CArchiveWriter(out).WriteText(text);
        ASSERT_EQ(out.size(), prefix.size() + length) << length;
        EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<long>(prefix.size())), prefix)
            << length;
        std::string read;
        ASSERT_TRUE(CArchiveReader(out).ReadText(read));
        EXPECT_EQ(read, text);
    }
}

TEST(Archive, ReadsThatRunPastTheEndFailAndStayFailed) {
    const struct {
        const char* name;
        bool bText;
        Bytes bytes;
        ReadStatus status;
    } cases[] = {
        {"short u16", false, {0x01}, ReadStatus::Truncated},
        {"escaped count without u32", false, {0xFF, 0xFF, 0x01, 0x00}, ReadStatus::Truncated},
        {"text longer than the rest", true, {0x05, 'a', 'b'}, ReadStatus::Truncated},
        {"huge text", true, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, ReadStatus::Truncated},
        {"wide text", true, {0xFF, 0xFE, 0xFF, 0x01, 0x00, 'a', 0x00}, ReadStatus::Malformed},
    };
    for (const auto& c : cases) {
        CArchiveReader reader(c.bytes);
        std::uint32_t count = 0;
        std::string text;
        const bool ok = c.bText ? reader.ReadText(text) : reader.ReadCount(count);
        EXPECT_FALSE(ok) << c.name;
        EXPECT_EQ(reader.GetStatus(), c.status) << c.name;
        std::uint8_t byte = 0x77;
        EXPECT_FALSE(reader.ReadU8(byte)) << c.name;
        EXPECT_EQ(byte, 0x77) << c.name;
    }
}

TEST(Archive, ElementsKeepTheirLowByteAndAreNotReadPastTheEnd) {
    const Bytes elements{0x01, 0x00, 0xFF, 0x12, 0x80, 0x00};
    Bytes low(3);
    CArchiveReader reader(elements);
    ASSERT_TRUE(reader.ReadElementsAsBytes(low.data(), 3));
    EXPECT_EQ(low, (Bytes{0x01, 0xFF, 0x80}));

    CArchiveReader shortReader(elements);
    Bytes four(4, 0);
    EXPECT_FALSE(shortReader.ReadElementsAsBytes(four.data(), 4));
    EXPECT_EQ(shortReader.GetStatus(), ReadStatus::Truncated);
}

TEST(Archive, FileModeMatchesMemoryModeAcrossBufferBoundaries) {
    // Larger than the file buffer, with values that straddle its edges.
    Bytes out;
    CArchiveWriter writer(out);
    for (std::uint32_t i = 0; i < 400000; ++i) {
        writer.WriteCount(i * 13);
        writer.WriteText(std::string(i % 300, static_cast<char>('a' + i % 26)));
    }
    test::CScratchFolder folder;
    const std::string path = folder.File("primitives.bin");
    test::WriteWholeFile(path, out);
    FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    CArchiveReader fromFile(fileno(file), out.size());
    CArchiveReader fromMemory(out);
    for (std::uint32_t i = 0; i < 400000; ++i) {
        std::uint32_t a = 0, b = 0;
        std::string ta, tb;
        ASSERT_TRUE(fromFile.ReadCount(a) && fromFile.ReadText(ta)) << i;
        ASSERT_TRUE(fromMemory.ReadCount(b) && fromMemory.ReadText(tb)) << i;
        ASSERT_EQ(a, b) << i;
        ASSERT_EQ(ta, tb) << i;
    }
    EXPECT_TRUE(fromFile.IsAtEnd());
    std::fclose(file);
}

}  // namespace
}  // namespace wirelark
