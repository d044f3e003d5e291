// The capture document: storing and finding packets, and the capture-file layout it reads and
// writes.
#include "store/wirelark_doc.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "store/archive_reader.h"
#include "store/archive_writer.h"
#include "store/time_text.h"
#include "support/pcap_files.h"
#include "support/sample_frames.h"
#include "support/store_files.h"

namespace wirelark {
namespace {

using test::CBytes;
using Bytes = std::vector<std::uint8_t>;

const std::string kText13 = "10:11:12,005 ";     // 13 characters
const std::string kText16 = "23:59:59,123456 ";  // 16 characters

Bytes Save(const CWirelarkDoc& doc) {
    Bytes out;
    CArchiveWriter ar(out);
    doc.StoreArchive(ar);
    return out;
}

DocumentOutcome Load(CWirelarkDoc& doc, const Bytes& bytes) {
    CArchiveReader ar(bytes);
    return doc.LoadArchive(ar);
}

// The two-packet file worked out byte by byte for the capture-file layout.
Bytes WorkedExample() {
    return CBytes()
        .Raw({0x02, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x0A, 0x00})
        .Chars("CPacketObj")
        .Raw({0x04, 0, 0, 0, 0x01, 0, 0, 0, 0x0D})
        .Chars(kText13)
        .Raw({0x04, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x01, 0x00})
        .Raw({0x01, 0x80, 0x02, 0, 0, 0, 0x02, 0, 0, 0, 0x10})
        .Chars(kText16)
        .Raw({0x02, 0x00, 0xAA, 0x00, 0xBB, 0x00});
}

TEST(WirelarkDocFile, WritesTheWorkedExampleByteForByteOverThePreviousFileAndReadsItBack) {
    test::CScratchFolder folder;
    const std::string path = folder.File("out.cap");
    test::WriteWholeFile(path, Bytes(1000, 0xEE));
    CWirelarkDoc doc;
    ASSERT_TRUE(doc.AddPacket(1, Bytes{0xFF, 0xFF, 0x00, 0x01}, 4, kText13));
    ASSERT_TRUE(doc.AddPacket(2, Bytes{0xAA, 0xBB}, 2, kText16));
    EXPECT_EQ(Save(doc), WorkedExample());
    EXPECT_EQ(Save(CWirelarkDoc()), (Bytes{0x00, 0x00})) << "an empty document";
    ASSERT_TRUE(doc.OnSaveDocument(path).Succeeded());
    EXPECT_EQ(test::ReadWholeFile(path), WorkedExample());
    EXPECT_FALSE(doc.IsModified());

    // The bytes written are right, so reading gives the same records when they save the same.
    CWirelarkDoc loaded;
    ASSERT_TRUE(Load(loaded, WorkedExample()).Succeeded());
    EXPECT_EQ(Save(loaded), WorkedExample());
    // Only the low byte of each element is kept, and the length field is not compared with the
    // element count.
    ASSERT_TRUE(
        Load(loaded, CBytes().U16(1).PacketClass().U32(9).U32(5).U8(0).U16(2).U16(0x1234).U16(0xFF))
            .Succeeded());
    EXPECT_EQ(Save(loaded), CBytes().U16(1).PacketClass().Body(9, 5, "", {0x34, 0xFF}).Get());
}

Bytes OnePacket(std::uint16_t schema, std::string_view name) {
    return CBytes().U16(1).PacketClass(schema, name).Body(1, 1, kText13, {0x42});
}

// Two packets, the second's entry opened by `tag`.
Bytes SecondEntryTag(const Bytes& tag) {
    Bytes file = CBytes().U16(2).PacketClass().Body(1, 1, kText13, {0x42});
    file.insert(file.end(), tag.begin(), tag.end());
    const Bytes second = CBytes().Body(1, 2, kText13, {0x43});
    file.insert(file.end(), second.begin(), second.end());
    return file;
}

// An opened file replaces what the document held. Trailing bytes of a Lark file and a pcap file
// cut short do not stop the file from opening, but the user hears what was left out. Every kind
// of failed open, other link types refused by name among them, leaves the open document as it
// was.
TEST(WirelarkDocFile, OpeningReplacesThePacketsOrOnFailureLeavesTheDocumentAsItWas) {
    test::CScratchFolder folder;
    const std::string fifo = folder.File("pipe.cap");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    using enum DocumentError;
    const Bytes example = WorkedExample();
    const std::vector<test::CPcapPacket> packets(3, {1'700'000'000, 0, 60, test::kArp});
    const Bytes pcap = test::MakePcap(packets);
    const auto cut = [](const Bytes& file, std::size_t size) {
        return Bytes(file.begin(), file.begin() + static_cast<long>(size));
    };
    const test::CPcapLayout sll{false, false, test::kLinkLinuxSll};
    const std::string zeros = folder.File("zeros.cap");
    test::WriteWholeFile(zeros, {});
    std::filesystem::resize_file(zeros, std::uint64_t{2} << 30);
    const struct {
        const char* name;
        Bytes file;
        DocumentError error = UnexpectedFormat;
        std::size_t packets = 0;
        std::string said = "";  // in the warning, or in the reason
        int errorNumber = 0;
        std::string path = "";  // opened instead of the file's bytes when given
    } cases[] = {
        {"WorkedExample", example, None, 2},
        {"EmptyDocument", {0x00, 0x00}, None},
        {"OneAfterNoPackets", Bytes(3, 0), None, 0, "has 1 byte after its last packet; it was"},
        {"TwoGigabytesOfZeros", {}, None, 0, "has 2147483646 bytes after", 0, zeros},
        // The class described again, and the object tag in its long form and its short one.
        {"ClassAgainLater", SecondEntryTag(CBytes().PacketClass()), None, 2},
        {"BigTagOfClass1", SecondEntryTag({0xFF, 0x7F, 0x01, 0, 0, 0x80}), None, 2},
        {"ClassIndexLater", SecondEntryTag({0x01, 0x80}), None, 2},
        {"WrongSchema", OnePacket(1, "CPacketObj")},
        {"WrongClassName", OnePacket(0, "CPacketObJ")},
        {"ShorterClassName", OnePacket(0, "CPacket")},
        {"NameLength64", OnePacket(0, std::string(64, 'C'))},
        {"FirstTagIsAnObjectTag", CBytes().U16(1).U16(0x8001).Body(1, 1, "", {1})},
        {"NullTagLater", SecondEntryTag({0x00, 0x00})},
        {"PlainIndexLater", SecondEntryTag({0x02, 0x00})},
        {"OtherClassIndexLater", SecondEntryTag({0x02, 0x80})},
        {"BigTagOfAnObject", SecondEntryTag({0xFF, 0x7F, 0x01, 0x00, 0x00, 0x00})},
        {"BigTagOfClass2", SecondEntryTag({0xFF, 0x7F, 0x02, 0x00, 0x00, 0x80})},
        {"LaterClassWithSchema1", SecondEntryTag(CBytes().PacketClass(1))},
        {"CutInsideElements", cut(example, 80)},
        {"CutInsideText", cut(example, 30)},
        {"OneByte", Bytes{0x01}},
        {"MorePacketsThanEntries", CBytes().U16(3).PacketClass().Body(1, 1, "", {1})},
        {"HugePacketCount", CBytes().U16(0xFFFF).U32(0xFFFFFFFF).PacketClass()},
        {"HugeElementCount",
         CBytes().U16(1).PacketClass().U32(1).U32(1).U8(0).U16(0xFFFF).U32(0xFFFFFFFF)},
        {"HugeTextLength",
         CBytes().U16(1).PacketClass().U32(1).U32(1).U8(0xFF).U16(0xFFFF).U32(0xFFFFFFFF)},
        {"WideText",
         CBytes().U16(1).PacketClass().U32(1).U32(1).U8(0xFF).U16(0xFFFE).U16(0).U16(0)},
        {"PcapCutInsideTheLastPacket", cut(pcap, pcap.size() - 1), None, 2, "after packet 2"},
        {"PcapCutInsideTheLastHeader", cut(pcap, 24 + 2 * 76 + 9), None, 2, "after packet 2"},
        {"PcapCutInsideTheFirstPacket", cut(pcap, 24 + 16 + 30), None, 0, "after packet 0"},
        {"PcapCutInsideTheFileHeader", cut(pcap, 10)},
        {"LinuxSllPcap", test::MakePcap(packets, sll), UnsupportedLinkType, 0, "LINUX_SLL"},
        {"WifiPcap", test::MakePcap(packets, {true, false, 105}), UnsupportedLinkType, 0,
         "IEEE802_11"},
        {"LinuxSllPcapng", test::MakePcapng(packets, sll), UnsupportedLinkType, 0, "LINUX_SLL"},
        {"Missing", {}, CannotOpen, 0, "", ENOENT, folder.File("missing.cap")},
        {"Folder", {}, CannotOpen, 0, "", EISDIR, folder.Path().string()},
        // Neither has an end to read up to, and a FIFO must not hang the open.
        {"Fifo", {}, CannotOpen, 0, "", 0, fifo},
        {"Device", {}, CannotOpen, 0, "", 0, "/dev/zero"},
    };
    const std::string good = folder.File("good.cap");
    test::WriteWholeFile(good, example);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = c.path.empty() ? folder.File("opened.file") : c.path;
        if (c.path.empty()) {
            test::WriteWholeFile(path, c.file);
        }
        CWirelarkDoc doc;
        ASSERT_TRUE(doc.OnOpenDocument(good).Succeeded());
        ASSERT_TRUE(doc.AddPacket(3, Bytes{1, 2, 3}, 3, kText13));
        const Bytes before = Save(doc);
        int updates = 0;
        doc.AddUpdateListener([&updates] { ++updates; });

        const DocumentOutcome outcome = doc.OnOpenDocument(path);
        EXPECT_EQ(outcome.error, c.error) << outcome.reason;
        EXPECT_EQ(outcome.errorNumber, c.errorNumber);
        if (outcome.Succeeded()) {
            EXPECT_EQ(outcome.warning.empty(), c.said.empty());
            EXPECT_NE(outcome.warning.find(c.said), std::string::npos) << outcome.warning;
            EXPECT_EQ(doc.GetPacketList().size(), c.packets);
            EXPECT_EQ(doc.GetPathName(), path);
            continue;
        }
        EXPECT_FALSE(outcome.reason.empty());
        EXPECT_NE(outcome.reason.find(c.said), std::string::npos) << outcome.reason;
        if (c.error == DocumentError::UnsupportedLinkType) {
            EXPECT_NE(outcome.reason.find("Ethernet"), std::string::npos) << outcome.reason;
        }
        EXPECT_EQ(Save(doc), before);
        EXPECT_EQ(std::tuple(doc.GetPathName(), doc.IsModified(), doc.GetFileFormat(), updates),
                  std::tuple(good, true, CaptureFileFormat::Lark, 0));
    }
}

// The index itself is compared with a walk over the list in its own test; this checks that the
// document answers through it and leaves the caller's array alone when nothing is found.
TEST(WirelarkDocPackets, FindPacketAppendsTheFirstRecordWithTheNumberOrLeavesTheArrayAlone) {
    CWirelarkDoc doc;
    for (const int number : {1, 9, 0, 9}) {  // record i holds the bytes i, 0x21
        const auto record = static_cast<std::uint8_t>(doc.GetPacketList().size());
        ASSERT_TRUE(doc.AddPacket(number, Bytes{record, 0x21}, 2, ""));
    }
    for (const auto& [asked, first] : {std::pair{9, 1}, {0, 2}, {1, 0}, {4, -1}, {-1, -1}}) {
        Bytes data{0xBE};
        EXPECT_EQ(doc.FindPacket(asked, data), first >= 0) << asked;
        const auto record = static_cast<std::uint8_t>(first);
        EXPECT_EQ(data, (first < 0 ? Bytes{0xBE} : Bytes{0xBE, record, 0x21})) << asked;
    }
}

TEST(WirelarkDocPackets, AddPacketSetsTheModifiedFlagAndANewDocumentClearsItAndTheIndex) {
    CWirelarkDoc doc;
    ASSERT_TRUE(Load(doc, WorkedExample()).Succeeded());
    int updates = 0;
    doc.AddUpdateListener([&updates] { ++updates; });
    ASSERT_TRUE(doc.AddPacket(3, Bytes{0x33}, 1, kText13));
    // A time text alone gives no timestamp.
    EXPECT_EQ(std::tuple(doc.IsModified(), updates, doc.GetPacketList().back().GetTimestamp()),
              std::tuple(true, 0, std::nullopt));

    ASSERT_TRUE(doc.OnNewDocument());
    EXPECT_EQ(std::tuple(doc.IsModified(), doc.GetPacketList().size(), updates, doc.FindPacket(1)),
              std::tuple(false, 0u, 1, nullptr));
    ASSERT_TRUE(doc.AddPacket(1, Bytes{0x99}, 1, kText13));
    EXPECT_TRUE(std::ranges::equal(doc.FindPacketBytes(1), Bytes{0x99}));
}

// The room made ready for a capture, its pages made resident ahead and what is left given back
// at the end, never touches the frames stored, also across a new document mid-capture.
TEST(WirelarkDocPackets, FramesStoredDuringACaptureStayAsTheyCame) {
    const auto frame = [](int number) {
        Bytes bytes(1514);
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<std::uint8_t>(number * 31 + static_cast<int>(i));
        }
        return bytes;
    };
    const auto store = [&](CWirelarkDoc& doc, int from, int to) {
        for (int number = from; number <= to; ++number) {
            const Bytes bytes = frame(number);
            const pcap_pkthdr header{{1'700'000'000, 0}, 1514, 1514};
            ASSERT_TRUE(doc.AddPacket(number, header, bytes));
            if (number % 100 == 0) {
                doc.CaptureAdvanced();
            }
        }
    };
    CWirelarkDoc doc;
    doc.PrepareForCapture(std::size_t{16} << 20);
    store(doc, 1, 500);
    ASSERT_TRUE(doc.OnNewDocument());
    doc.PrepareForCapture(std::size_t{16} << 20);
    store(doc, 1, 4000);  // a little under 6 MB, ending part-way into a page
    doc.CaptureEnded();
    store(doc, 4001, 4100);
    ASSERT_EQ(doc.GetPacketList().size(), 4100u);
    for (int number = 1; number <= 4100; ++number) {
        ASSERT_TRUE(std::ranges::equal(doc.FindPacketBytes(number), frame(number))) << number;
    }
}

// A text of the caller's that the capture time would not make is kept; otherwise the text is the
// one the time makes, also for a fraction the time cannot hold, whose timestamp is clamped.
TEST(WirelarkDocPackets, CapturedFrameKeepsItsWireLengthOnlyTheCapturedBytesAndItsTime) {
    const struct {
        long microseconds;
        const char* given;  // none, or "" for the text the time makes
        std::uint32_t nanoseconds;
    } cases[] = {{42, "23:59:59,123456 ", 42'000},
                 {7, nullptr, 7'000},
                 {250'000, "", 250'000'000},
                 {1'000'000, nullptr, 999'999'000},
                 {-3, nullptr, 0}};
    CWirelarkDoc doc;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.microseconds);
        const pcap_pkthdr header{{1'700'000'000, c.microseconds}, 3, 1514};
        const std::string text = c.given && *c.given ? c.given : FormatTimeText(header.ts);
        ASSERT_TRUE(c.given == nullptr ? doc.AddPacket(1, header, Bytes{1, 2, 3, 4})
                                       : doc.AddPacket(1, header, Bytes{1, 2, 3, 4}, text));
        const CPacketObj& packet = doc.GetPacketList().back();
        EXPECT_EQ(std::tuple(packet.GetLength(), packet.GetBytes().size(), packet.GetTimeText(),
                             packet.GetTimestamp()),
                  std::tuple(1514, 3u, text, CPacketTime{1'700'000'000, c.nanoseconds}));
    }
}

TEST(WirelarkDocPackets, DecodingAnswersComeFromThePacketWithThatNumber) {
    // Packet 1 has a 24-byte IPv4 header and 8 bytes of TCP options; packet 2 is ARP; none is 3.
    const Bytes tcp = test::OverIpv4(6, {.ihl = 6}).Tcp({.dataOffset = 7}).Payload(10).Build();
    CWirelarkDoc doc;
    ASSERT_TRUE(doc.AddPacket(1, tcp, static_cast<int>(tcp.size()), kText13));
    ASSERT_TRUE(doc.AddPacket(2, test::kArp, 60, kText13));
    EXPECT_EQ(
        std::tuple(doc.GetIpHeaderLength(1), doc.GetIpOptionsLength(1), doc.GetTcpOptionsLength(1)),
        std::tuple(24, 4, 8));
    int first = -1, last = -1;
    EXPECT_EQ(doc.GetPayloadRange(1, first, last), 10);
    EXPECT_EQ(std::pair(first, last), std::pair(14 + 24 + 28, 14 + 24 + 28 + 9));
    EXPECT_EQ(std::tuple(doc.GetIpHeaderLength(2), doc.GetPayloadRange(2, first, last),
                         doc.GetIpHeaderLength(3), doc.GetPayloadRange(3, first, last)),
              std::tuple(0, 0, 0, 0));
}

}  // namespace
}  // namespace wirelark
