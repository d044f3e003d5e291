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
    const std::pair<std::uint32_t, Bytes> counts[] = {
        {0, {0x00, 0x00}},
        {65534, {0xFE, 0xFF}},
        {65535, {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}},
        {0xFFFFFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}}};
    for (const auto& [value, bytes] : counts) {
        Bytes out;
        CArchiveWriter(out).WriteCount(value);
        EXPECT_EQ(out, bytes) << value;
        std::uint32_t read = 1;
        ASSERT_TRUE(CArchiveReader(bytes).ReadCount(read));
        EXPECT_EQ(read, value);
    }
    const std::pair<std::size_t, Bytes> texts[] = {
        {0, {0x00}},
        {16, {0x10}},
        {254, {0xFE}},
        {255, {0xFF, 0xFF, 0x00}},
        {0xFFFD, {0xFF, 0xFD, 0xFF}},
        {0xFFFE, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
        {70000, {0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}}};
    for (const auto& [length, prefix] : texts) {
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
        {"wide text", true, {0xFF, 0xFE, 0xFF, 0x01, 0x00, 'a', 0x00}, ReadStatus::Malformed}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CArchiveReader reader(c.bytes);
        std::uint32_t count = 0;
        std::string text;
        EXPECT_FALSE(c.bText ? reader.ReadText(text) : reader.ReadCount(count));
        EXPECT_EQ(reader.GetStatus(), c.status);
        std::uint8_t byte = 0x77;
        EXPECT_FALSE(reader.ReadU8(byte));
        EXPECT_EQ(byte, 0x77);
    }
}

TEST(Archive, FileModeReadsWhatWasWrittenWithValuesStraddlingTheBufferEdges) {
    Bytes out;
    CArchiveWriter writer(out);
    for (std::uint32_t i = 0; i < 3000; ++i) {
        writer.WriteCount(i * 29);  // the long form from i = 2260 on
        writer.WriteText(std::string(i % 300, static_cast<char>('a' + i % 26)));
        writer.WriteBytesAsElements(Bytes(i % 5, static_cast<std::uint8_t>(i)));
    }
    test::CScratchFolder folder;
    const std::string path = folder.File("primitives.bin");
    test::WriteWholeFile(path, out);
    // Buffers of odd sizes and one smaller than the longest text; what is read, written again,
    // gives the same bytes.
    for (const std::size_t bufferSize : {4, 5, 7, 256}) {
        SCOPED_TRACE(bufferSize);
        FILE* file = std::fopen(path.c_str(), "rb");
        ASSERT_NE(file, nullptr);
        CArchiveReader reader(fileno(file), out.size(), bufferSize);
        Bytes again;
        CArchiveWriter rewriter(again);
        for (std::uint32_t i = 0; i < 3000; ++i) {
            std::uint32_t count = 0;
            std::string text;
            Bytes elements(i % 5);
            ASSERT_TRUE(reader.ReadCount(count) && reader.ReadText(text) &&
                        reader.ReadElementsAsBytes(elements.data(), elements.size()))
                << i;
            rewriter.WriteCount(count);
            rewriter.WriteText(text);
            rewriter.WriteBytesAsElements(elements);
        }
        EXPECT_TRUE(reader.IsAtEnd());
        EXPECT_EQ(again, out);
        std::fclose(file);
    }
}

}  // namespace
}  // namespace wirelark
