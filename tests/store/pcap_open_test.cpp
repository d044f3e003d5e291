// Opening pcap and pcapng files: rows as the intake makes them, every byte order and precision,
// refusal of other link types, damaged files, and cancelling.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "store/time_text.h"
#include "store/wirelark_doc.h"
#include "support/frame_builder.h"
#include "support/pcap_files.h"
#include "support/store_files.h"

namespace wirelark {
namespace {

using test::CPcapLayout;
using test::CPcapPacket;

std::vector<CPcapPacket> ThreePackets(bool bNanosecond) {
    const auto tcp = test::CFrameBuilder().Ethernet().Ipv4().Tcp().PadTo(60).Build();
    const auto arp = test::CFrameBuilder().Ethernet({.etherType = 0x0806}).Arp().PadTo(60).Build();
    const std::uint32_t scale = bNanosecond ? 1000 : 1;
    return {
        {1'700'000'000, 7 * scale + (bNanosecond ? 123 : 0), 60, tcp},
        {1'700'000'001, 250'000 * scale, 60, arp},
        // Captured shorter than it was on the wire.
        {1'700'000'061, 999'999 * scale, 1514,
         std::vector<std::uint8_t>(tcp.begin(), tcp.begin() + 40)},
    };
}

// What a row must hold for a packet of a file: the intake's numbering, length and time text.
void ExpectRows(const CWirelarkDoc& doc, const std::vector<CPcapPacket>& packets,
                bool bNanosecond) {
    const CPacketList& list = doc.GetPacketList();
    ASSERT_EQ(list.size(), packets.size());
    for (std::size_t i = 0; i < packets.size(); ++i) {
        SCOPED_TRACE(i);
        const CPcapPacket& packet = packets[i];
        const long microseconds = bNanosecond ? packet.fraction / 1000 : packet.fraction;
        EXPECT_EQ(list[i].GetNumber(), static_cast<int>(i + 1));
        EXPECT_EQ(list[i].GetLength(), static_cast<int>(packet.wireLength));
        EXPECT_EQ(list[i].GetTimeText(), FormatTimeText(timeval{packet.seconds, microseconds}));
        const auto bytes = list[i].GetBytes();
        EXPECT_TRUE(
            std::equal(bytes.begin(), bytes.end(), packet.bytes.begin(), packet.bytes.end()));
        const std::uint32_t nanoseconds = bNanosecond ? packet.fraction : packet.fraction * 1000;
        EXPECT_EQ(list[i].GetTimestamp(), (CPacketTime{packet.seconds, nanoseconds}));
    }
}

// A document holding one packet of its own, to see that refusals leave it alone.
struct CPreviousDocument {
    CWirelarkDoc doc;
    int updates = 0;
    std::string path;

    explicit CPreviousDocument(const test::CScratchFolder& folder) {
        path = folder.File("previous.cap");
        const auto frame = test::CFrameBuilder().Ethernet().PadTo(60).Build();
        doc.AddPacket(1, frame, 60, "09:00:00,001 ");
        EXPECT_TRUE(doc.OnSaveDocument(path).Succeeded());
        doc.AddPacket(2, frame, 60, "09:00:00,002 ");
        doc.AddUpdateListener([this] { ++updates; });
    }

    void ExpectUntouched() const {
        EXPECT_EQ(doc.GetPacketList().size(), 2u);
        EXPECT_EQ(doc.GetPathName(), path);
        EXPECT_TRUE(doc.IsModified());
        EXPECT_EQ(doc.GetFileFormat(), CaptureFileFormat::Lark);
        EXPECT_EQ(updates, 0);
    }
};

TEST(PcapOpen, FileFromLibpcapsDumperOpensWithTheIntakesRows) {
    test::CScratchFolder folder;
    const std::string path = folder.File("dumped.pcap");
    const auto packets = ThreePackets(false);
    test::WriteWithLibpcapDumper(path, packets);

    CWirelarkDoc doc;
    int updates = 0;
    doc.AddUpdateListener([&updates] { ++updates; });
    const DocumentOutcome outcome = doc.OnOpenDocument(path);
    ASSERT_TRUE(outcome.Succeeded()) << outcome.reason;
    EXPECT_TRUE(outcome.warning.empty());
    ExpectRows(doc, packets, false);
    EXPECT_EQ(doc.GetFileFormat(), CaptureFileFormat::Pcap);
    EXPECT_EQ(doc.GetSaveFormat(), CaptureFileFormat::Pcap);
    EXPECT_EQ(doc.GetTitle(), "dumped.pcap");
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(updates, 1);
    // Found by number like captured packets.
    EXPECT_EQ(doc.FindPacketBytes(3).size(), 40u);
}

struct CLayoutCase {
    const char* name;
    bool bPcapng;
    CPcapLayout layout;
};

class PcapOpenLayouts : public testing::TestWithParam<CLayoutCase> {};

TEST_P(PcapOpenLayouts, OpenByContentWhateverTheName) {
    const CLayoutCase& c = GetParam();
    test::CScratchFolder folder;
    // The name says nothing: the content decides.
    const std::string path = folder.File("capture.cap");
    const auto packets = ThreePackets(c.layout.bNanosecond);
    test::WriteWholeFile(
        path, c.bPcapng ? test::MakePcapng(packets, c.layout) : test::MakePcap(packets, c.layout));
    CWirelarkDoc doc;
    const DocumentOutcome outcome = doc.OpenFile(path);
    ASSERT_TRUE(outcome.Succeeded()) << outcome.reason;
    ExpectRows(doc, packets, c.layout.bNanosecond);
    EXPECT_EQ(doc.GetFileFormat(), c.bPcapng ? CaptureFileFormat::Pcapng : CaptureFileFormat::Pcap);
    EXPECT_EQ(doc.GetSaveFormat(), CaptureFileFormat::Pcap);
}

INSTANTIATE_TEST_SUITE_P(Formats, PcapOpenLayouts,
                         testing::Values(CLayoutCase{"LittleEndianMicro", false, {false, false}},
                                         CLayoutCase{"BigEndianMicro", false, {true, false}},
                                         CLayoutCase{"LittleEndianNano", false, {false, true}},
                                         CLayoutCase{"BigEndianNano", false, {true, true}},
                                         CLayoutCase{"PcapngMicro", true, {false, false}},
                                         CLayoutCase{"PcapngNano", true, {false, true}},
                                         CLayoutCase{"PcapngBigEndianNano", true, {true, true}}),
                         [](const testing::TestParamInfo<CLayoutCase>& param) {
                             return param.param.name;
                         });

TEST(PcapOpen, OtherLinkTypesAreRefusedByNameAndLeaveTheDocumentAsItWas) {
    test::CScratchFolder folder;
    struct CCase {
        const char* file;
        std::vector<std::uint8_t> bytes;
        const char* linkName;
    };
    const auto packets = ThreePackets(false);
    const CPcapLayout sll{false, false, test::kLinkLinuxSll};
    const CPcapLayout wifi{true, false, 105};
    for (const CCase& c : {CCase{"sll.pcap", test::MakePcap(packets, sll), "LINUX_SLL"},
                           CCase{"wifi.pcap", test::MakePcap(packets, wifi), "IEEE802_11"},
                           CCase{"sll.pcapng", test::MakePcapng(packets, sll), "LINUX_SLL"}}) {
        SCOPED_TRACE(c.file);
        CPreviousDocument previous(folder);
        test::WriteWholeFile(folder.File(c.file), c.bytes);
        const DocumentOutcome outcome = previous.doc.OpenFile(folder.File(c.file));
        EXPECT_EQ(outcome.error, DocumentError::UnsupportedLinkType);
        EXPECT_NE(outcome.reason.find(c.linkName), std::string::npos) << outcome.reason;
        EXPECT_NE(outcome.reason.find("Ethernet"), std::string::npos) << outcome.reason;
        previous.ExpectUntouched();
    }
    // libpcap's own dumper gives the same answer.
    CPreviousDocument previous(folder);
    test::WriteWithLibpcapDumper(folder.File("raw.pcap"), packets, DLT_RAW);
    EXPECT_EQ(previous.doc.OpenFile(folder.File("raw.pcap")).error,
              DocumentError::UnsupportedLinkType);
    previous.ExpectUntouched();
}

// A file cut short keeps what is whole: the user sees every packet the file still holds, the
// file itself is not touched, and the warning says that the rest is missing.
TEST(PcapOpen, FileCutShortOpensTheWholePacketsAndWarnsAboutTheRest) {
    test::CScratchFolder folder;
    const auto packets = ThreePackets(false);
    const std::vector<std::uint8_t> whole = test::MakePcap(packets);
    const std::size_t third = whole.size() - 16 - 40;  // where the last packet's header starts
    struct CCut {
        const char* name;
        std::size_t size;
        std::size_t packetsKept;
    };
    for (const CCut& cut : {CCut{"inside the last packet's bytes", whole.size() - 1, 2},
                            CCut{"inside the last packet's header", third + 9, 2},
                            CCut{"inside the first packet", 24 + 16 + 30, 0}}) {
        SCOPED_TRACE(cut.name);
        const std::string path = folder.File("cut.pcap");
        test::WriteWholeFile(
            path, std::vector<std::uint8_t>(whole.begin(),
                                            whole.begin() + static_cast<std::ptrdiff_t>(cut.size)));
        CPreviousDocument previous(folder);
        const DocumentOutcome outcome = previous.doc.OpenFile(path);
        ASSERT_TRUE(outcome.Succeeded()) << outcome.reason;
        EXPECT_NE(outcome.warning.find("after packet " + std::to_string(cut.packetsKept)),
                  std::string::npos)
            << outcome.warning;
        ExpectRows(
            previous.doc,
            std::vector<CPcapPacket>(
                packets.begin(), packets.begin() + static_cast<std::ptrdiff_t>(cut.packetsKept)),
            false);
        EXPECT_EQ(previous.doc.GetPathName(), path);
        EXPECT_EQ(test::ReadWholeFile(path).size(), cut.size);
    }
    // A file header cut short is not a capture at all: refused, the document as it was.
    CPreviousDocument previous(folder);
    test::WriteWholeFile(folder.File("head.pcap"),
                         std::vector<std::uint8_t>(whole.begin(), whole.begin() + 10));
    EXPECT_EQ(previous.doc.OpenFile(folder.File("head.pcap")).error,
              DocumentError::UnexpectedFormat);
    previous.ExpectUntouched();
}

// A file of several megabytes goes through the reader's own stream buffer many times over, with
// packets straddling its refills, and into memory the document reserved ahead and gave back in
// part afterwards; a packet added afterwards lands in what was given back.
TEST(PcapOpen, LargeFileKeepsEveryPacketByteForByteAndTheDocumentGrowsAfterwards) {
    test::CScratchFolder folder;
    const std::uint32_t sizes[] = {60, 1514, 1, 9000, 65535, 40000, 14, 590};
    std::vector<CPcapPacket> packets;
    std::size_t total = 0;
    for (std::uint32_t i = 0; total < (std::size_t{6} << 20); ++i) {
        const std::uint32_t size = sizes[i % std::size(sizes)];
        std::vector<std::uint8_t> bytes(size);
        for (std::uint32_t b = 0; b < size; ++b) {
            bytes[b] = static_cast<std::uint8_t>(b * 31 + i);
        }
        packets.push_back({1'700'000'000 + i, i % 1'000'000, size, std::move(bytes)});
        total += 16 + size;
    }
    test::WriteWholeFile(folder.File("large.pcap"), test::MakePcap(packets));
    CWirelarkDoc doc;
    const DocumentOutcome outcome = doc.OpenFile(folder.File("large.pcap"));
    ASSERT_TRUE(outcome.Succeeded()) << outcome.reason;
    EXPECT_TRUE(outcome.warning.empty()) << outcome.warning;
    ExpectRows(doc, packets, false);

    const auto frame = test::CFrameBuilder().Ethernet().PadTo(60).Build();
    const int next = static_cast<int>(packets.size()) + 1;
    ASSERT_TRUE(doc.AddPacket(next, frame, 60, "10:00:00,000 "));
    const auto bytes = doc.FindPacketBytes(next);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), frame.begin(), frame.end()));
    ASSERT_EQ(doc.GetPacketList().size(), packets.size() + 1);
    const auto last = doc.FindPacketBytes(next - 1);
    EXPECT_TRUE(std::equal(last.begin(), last.end(), packets.back().bytes.begin(),
                           packets.back().bytes.end()));
}

TEST(PcapOpen, ProgressCountsTheFilesBytesAndCancellingLeavesTheDocumentAsItWas) {
    test::CScratchFolder folder;
    std::vector<CPcapPacket> packets;
    for (std::uint32_t i = 0; i < 5000; ++i) {
        packets.push_back({1'700'000'000 + i / 100, i, 100, std::vector<std::uint8_t>(100, 0x5A)});
    }
    const std::vector<std::uint8_t> pcap = test::MakePcap(packets);
    test::WriteWholeFile(folder.File("big.pcap"), pcap);
    {
        CWirelarkDoc lark;
        for (const CPcapPacket& packet : packets) {
            lark.AddPacket(static_cast<int>(packet.fraction) + 1, packet.bytes, 100,
                           "10:00:00,000 ");
        }
        ASSERT_TRUE(lark.SaveFile(folder.File("big.cap"), CaptureFileFormat::Lark).Succeeded());
    }
    for (const char* name : {"big.pcap", "big.cap"}) {
        SCOPED_TRACE(name);
        const std::uint64_t size = test::ReadWholeFile(folder.File(name)).size();
        std::vector<std::uint64_t> seen;
        CWirelarkDoc doc;
        const DocumentOutcome outcome =
            doc.OpenFile(folder.File(name), [&](std::uint64_t done, std::uint64_t total) {
                EXPECT_EQ(total, size);
                seen.push_back(done);
                return true;
            });
        ASSERT_TRUE(outcome.Succeeded()) << outcome.reason;
        EXPECT_EQ(doc.GetPacketList().size(), packets.size());
        ASSERT_GE(seen.size(), 3u);
        EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
        EXPECT_EQ(seen.back(), size);

        for (const int cancelAt : {1, 3}) {
            CPreviousDocument previous(folder);
            int calls = 0;
            const DocumentOutcome cancelled = previous.doc.OpenFile(
                folder.File(name),
                [&](std::uint64_t, std::uint64_t) { return ++calls < cancelAt; });
            EXPECT_EQ(cancelled.error, DocumentError::Cancelled);
            EXPECT_EQ(calls, cancelAt);
            previous.ExpectUntouched();
        }
    }
}

TEST(PcapOpen, DamagedLarkFilesStillEmptyTheDocumentAsBefore) {
    test::CScratchFolder folder;
    test::WriteWholeFile(folder.File("bad.cap"), test::CBytes().U16(1).PacketClass(1).Get());
    CPreviousDocument previous(folder);
    EXPECT_EQ(previous.doc.OpenFile(folder.File("bad.cap")).error, DocumentError::UnexpectedFormat);
    EXPECT_TRUE(previous.doc.GetPacketList().empty());
    EXPECT_EQ(previous.doc.GetTitle(), CDocument::kUntitled);
    EXPECT_EQ(previous.updates, 1);
}

}  // namespace
}  // namespace wirelark
