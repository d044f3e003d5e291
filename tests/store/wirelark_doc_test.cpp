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
using test::CScratchFolder;
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
    CScratchFolder folder;
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
}

// The count forms themselves are the archive's; 65535 packets and a 70000-byte frame show that
// the document uses their long forms.
TEST(WirelarkDocFile, SavingAndOpeningKeepsEveryRecordInOrder) {
    CScratchFolder folder;
    const std::string path = folder.File("round.cap");
    CWirelarkDoc doc;
    for (int i = 0; i < 300; ++i) {
        Bytes frame(static_cast<std::size_t>(i * 37 % 1515));
        for (std::size_t b = 0; b < frame.size(); ++b) {
            frame[b] = static_cast<std::uint8_t>(b * 7 + static_cast<std::size_t>(i));
        }
        // Numbers out of capture order and repeated, as a file written elsewhere may have them.
        const int number = i % 50 == 49 ? 7 : i + 1;
        ASSERT_TRUE(doc.AddPacket(number, frame, static_cast<int>(frame.size()),
                                  i % 2 ? kText13 : kText16));
    }
    for (int number = 301; number < 65535; ++number) {
        ASSERT_TRUE(doc.AddPacket(number, {}, 0, ""));
    }
    ASSERT_TRUE(doc.AddPacket(65535, Bytes(70000, 0x5A), 70000, std::string(300, 'x')));
    ASSERT_TRUE(doc.OnSaveDocument(path).Succeeded());
    const Bytes file = test::ReadWholeFile(path);
    ASSERT_GE(file.size(), 8u);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 8),
              (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0xFF, 0xFF}));

    CWirelarkDoc loaded;
    const DocumentOutcome outcome = loaded.OnOpenDocument(path);
    ASSERT_TRUE(outcome.Succeeded()) << outcome.reason;
    // The layout itself is shown by the worked example: equal files hold equal records.
    EXPECT_EQ(Save(loaded), file);
    EXPECT_FALSE(loaded.IsModified());
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

TEST(WirelarkDocFile, KeepsTheLowByteOfEachElementAndTheLengthFieldAsStored) {
    // The element count is not compared with the length field.
    const Bytes file =
        CBytes().U16(1).PacketClass().U32(9).U32(5).U8(0).U16(2).U16(0x1234).U16(0x00FF);
    CWirelarkDoc doc;
    ASSERT_TRUE(Load(doc, file).Succeeded());
    const CPacketObj& packet = doc.GetPacketList().front();
    EXPECT_EQ(std::tuple(packet.GetLength(), packet.GetNumber(), packet.GetTimeText()),
              std::tuple(9, 5, ""));
    EXPECT_EQ(Bytes(packet.GetBytes().begin(), packet.GetBytes().end()), (Bytes{0x34, 0xFF}));
}

// An opened file replaces what the document held. Trailing bytes of a Lark file and a pcap file
// cut short do not stop the file from opening, but the user hears what was left out. Every kind
// of failed open, other link types refused by name among them, leaves the open document as it
// was.
TEST(WirelarkDocFile, OpeningReplacesThePacketsOrOnFailureLeavesTheDocumentAsItWas) {
    CScratchFolder folder;
    const std::string fifo = folder.File("pipe.cap");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const DocumentError kOpens = DocumentError::None;
    const DocumentError kLinkType = DocumentError::UnsupportedLinkType;
    const Bytes example = WorkedExample();
    const std::vector<test::CPcapPacket> packets(3, {1'700'000'000, 0, 60, test::kArp});
    const Bytes pcap = test::MakePcap(packets);
    const auto cut = [](const Bytes& file, std::size_t size) {
        return Bytes(file.begin(), file.begin() + static_cast<long>(size));
    };
    const test::CPcapLayout sll{false, false, test::kLinkLinuxSll};
    const struct {
        const char* name;
        Bytes file;
        DocumentError error = DocumentError::UnexpectedFormat;
        std::size_t packets = 0;
        std::string said = "";  // in the warning, or in the reason
        int errorNumber = 0;
        std::string path = "";         // opened instead of the file's bytes when given
        std::uint64_t sparseSize = 0;  // the file grown with zeros to this size when not 0
    } cases[] = {
        {"WorkedExample", example, kOpens, 2},
        {"EmptyDocument", {0x00, 0x00}, kOpens},
        {"OneAfterNoPackets",
         {0, 0, 0},
         kOpens,
         0,
         "The file has 1 byte after its last packet; it was ignored."},
        {"TwoGigabytesOfZeros",
         {},
         kOpens,
         0,
         "The file has 2147483646 bytes after its last packet; they were ignored.",
         0,
         "",
         std::uint64_t{2} << 30},
        // The class described again, and the object tag in its long form and its short one.
        {"ClassAgainLater", SecondEntryTag(CBytes().PacketClass()), kOpens, 2},
        {"BigTagOfClass1", SecondEntryTag({0xFF, 0x7F, 0x01, 0, 0, 0x80}), kOpens, 2},
        {"ClassIndexLater", SecondEntryTag({0x01, 0x80}), kOpens, 2},
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
        {"PcapCutInsideTheLastPacket", cut(pcap, pcap.size() - 1), kOpens, 2, "after packet 2"},
        {"PcapCutInsideTheLastHeader", cut(pcap, 24 + 2 * 76 + 9), kOpens, 2, "after packet 2"},
        {"PcapCutInsideTheFirstPacket", cut(pcap, 24 + 16 + 30), kOpens, 0, "after packet 0"},
        {"PcapCutInsideTheFileHeader", cut(pcap, 10)},
        {"LinuxSllPcap", test::MakePcap(packets, sll), kLinkType, 0, "LINUX_SLL"},
        {"WifiPcap", test::MakePcap(packets, {true, false, 105}), kLinkType, 0, "IEEE802_11"},
        {"LinuxSllPcapng", test::MakePcapng(packets, sll), kLinkType, 0, "LINUX_SLL"},
        {"Missing", {}, DocumentError::CannotOpen, 0, "", ENOENT, folder.File("missing.cap")},
        {"Folder", {}, DocumentError::CannotOpen, 0, "", EISDIR, folder.Path().string()},
        // Neither has an end to read up to, and a FIFO must not hang the open.
        {"Fifo", {}, DocumentError::CannotOpen, 0, "", 0, fifo},
        {"Device", {}, DocumentError::CannotOpen, 0, "", 0, "/dev/zero"},
    };
    const std::string good = folder.File("good.cap");
    test::WriteWholeFile(good, example);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = c.path.empty() ? folder.File("opened.file") : c.path;
        if (c.path.empty()) {
            test::WriteWholeFile(path, c.file);
            if (c.sparseSize != 0) {
                std::filesystem::resize_file(path, c.sparseSize);
            }
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
        if (c.error == kLinkType) {
            EXPECT_NE(outcome.reason.find("Ethernet"), std::string::npos) << outcome.reason;
        }
        EXPECT_EQ(Save(doc), before);
        EXPECT_EQ(doc.GetPathName(), good);
        EXPECT_TRUE(doc.IsModified());
        EXPECT_EQ(doc.GetFileFormat(), CaptureFileFormat::Lark);
        EXPECT_EQ(updates, 0);
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
    EXPECT_FALSE(doc.IsModified());
    ASSERT_TRUE(doc.AddPacket(3, Bytes{0x33}, 1, kText13));
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(updates, 0);
    ASSERT_NE(doc.FindPacket(3), nullptr);
    EXPECT_FALSE(doc.FindPacket(3)->GetTimestamp()) << "a time text alone gives no timestamp";

    ASSERT_TRUE(doc.OnNewDocument());
    EXPECT_FALSE(doc.IsModified());
    EXPECT_TRUE(doc.GetPacketList().empty());
    EXPECT_EQ(updates, 1);
    EXPECT_EQ(doc.FindPacket(1), nullptr);
    ASSERT_TRUE(doc.AddPacket(1, Bytes{0x99}, 1, kText13));
    EXPECT_TRUE(std::ranges::equal(doc.FindPacketBytes(1), Bytes{0x99}));
}

TEST(WirelarkDocPackets, CapturedFrameKeepsItsWireLengthAndOnlyTheCapturedBytes) {
    CWirelarkDoc doc;
    const Bytes captured{1, 2, 3, 4};
    pcap_pkthdr header{{1'700'000'000, 42}, 3, 1514};
    ASSERT_TRUE(doc.AddPacket(1, header, captured, kText16));
    const CPacketObj* packet = doc.FindPacket(1);
    ASSERT_NE(packet, nullptr);
    EXPECT_EQ(packet->GetLength(), 1514);
    EXPECT_EQ(Bytes(packet->GetBytes().begin(), packet->GetBytes().end()), (Bytes{1, 2, 3}));
    EXPECT_EQ(packet->GetTimeText(), kText16) << "a text the time would not make is kept";
    EXPECT_EQ(packet->GetTimestamp(), (CPacketTime{1'700'000'000, 42'000}));

    // The intake's own text, one the time makes, and a fraction the time cannot hold.
    const struct {
        long microseconds;
        bool bGiveText;
    } cases[] = {{7, false}, {250000, true}, {1'000'000, false}, {-3, false}};
    int number = 2;
    for (const auto& c : cases) {
        header.ts = {45296, c.microseconds};
        const std::string expected = FormatTimeText(header.ts);
        ASSERT_TRUE(c.bGiveText ? doc.AddPacket(number, header, captured, expected)
                                : doc.AddPacket(number, header, captured));
        EXPECT_EQ(doc.FindPacket(number)->GetTimeText(), expected) << c.microseconds;
        EXPECT_EQ(doc.FindPacket(number)->GetBytes().size(), 3u);
        ++number;
    }
}

TEST(WirelarkDocPackets, DecodingAnswersComeFromThePacketWithThatNumber) {
    // Packet 1 has a 24-byte IPv4 header and 8 bytes of TCP options; packet 2 is ARP.
    const Bytes tcp = test::OverIpv4(6, {.ihl = 6}).Tcp({.dataOffset = 7}).Payload(10).Build();
    CWirelarkDoc doc;
    ASSERT_TRUE(doc.AddPacket(1, tcp, static_cast<int>(tcp.size()), kText13));
    ASSERT_TRUE(doc.AddPacket(2, test::kArp, 60, kText13));
    EXPECT_EQ(doc.GetIpHeaderLength(1), 24);
    EXPECT_EQ(doc.GetIpOptionsLength(1), 4);
    EXPECT_EQ(doc.GetTcpOptionsLength(1), 8);
    int first = -1, last = -1;
    EXPECT_EQ(doc.GetPayloadRange(1, first, last), 10);
    EXPECT_EQ(first, 14 + 24 + 28);
    EXPECT_EQ(last, first + 9);
    for (int number : {2, 3}) {
        EXPECT_EQ(doc.GetIpHeaderLength(number), 0) << number;
        EXPECT_EQ(doc.GetPayloadRange(number, first, last), 0) << number;
    }
}

}  // namespace
}  // namespace wirelark
