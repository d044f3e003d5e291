// Pcap and pcapng files: opening them with the intake's rows at every byte order and precision,
// saving with the format and timestamps kept, refusals, damaged files, and cancelling.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pcap/pcap.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "store/archive_writer.h"
#include "store/time_text.h"
#include "store/wirelark_doc.h"
#include "support/frame_builder.h"
#include "support/pcap_files.h"
#include "support/store_files.h"

namespace wirelark {
namespace {

using test::CPcapLayout;
using test::CPcapPacket;
using Bytes = std::vector<std::uint8_t>;

const Bytes kTcp = test::CFrameBuilder().Ethernet().Ipv4().Tcp().PadTo(60).Build();

std::vector<CPcapPacket> ThreePackets(bool bNanosecond) {
    const auto arp = test::CFrameBuilder().Ethernet({.etherType = 0x0806}).Arp().PadTo(60).Build();
    const std::uint32_t scale = bNanosecond ? 1000 : 1;
    return {
        {1'700'000'000, 7 * scale + (bNanosecond ? 123 : 0), 60, kTcp},
        {1'700'000'001, 250'000 * scale, 60, arp},
        // Captured shorter than it was on the wire.
        {1'700'000'061, 999'999 * scale, 1514, Bytes(kTcp.begin(), kTcp.begin() + 40)},
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
        EXPECT_TRUE(std::ranges::equal(list[i].GetBytes(), packet.bytes));
        const std::uint32_t nanoseconds = bNanosecond ? packet.fraction : packet.fraction * 1000;
        EXPECT_EQ(list[i].GetTimestamp(), (CPacketTime{packet.seconds, nanoseconds}));
    }
}

// Equal Lark archives hold the same numbers, lengths, time texts and bytes in the same order.
Bytes LarkArchive(const CWirelarkDoc& doc) {
    Bytes out;
    CArchiveWriter ar(out);
    doc.StoreArchive(ar);
    return out;
}

Bytes Magic(const std::string& path) {
    const Bytes bytes = test::ReadWholeFile(path);
    return Bytes(bytes.begin(),
                 bytes.begin() + static_cast<long>(std::min<std::size_t>(4, bytes.size())));
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

TEST(PcapFile, EveryLayoutOpensByContentWithTheIntakesRowsAndSavesAsPcapKeepingItsTimestamps) {
    const struct {
        const char* name;
        bool bPcapng;
        CPcapLayout layout;
        bool bLibpcapDumper;
    } cases[] = {
        {"LibpcapDumper", false, {false, false}, true},
        {"LittleEndianMicro", false, {false, false}, false},
        {"BigEndianMicro", false, {true, false}, false},
        {"LittleEndianNano", false, {false, true}, false},
        {"BigEndianNano", false, {true, true}, false},
        {"PcapngMicro", true, {false, false}, false},
        {"PcapngNano", true, {false, true}, false},
        {"PcapngBigEndianNano", true, {true, true}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::CScratchFolder folder;
        // The name says nothing: the content decides.
        const std::string path = folder.File("capture.cap");
        const auto packets = ThreePackets(c.layout.bNanosecond);
        if (c.bLibpcapDumper) {
            test::WriteWithLibpcapDumper(path, packets);
        } else {
            test::WriteWholeFile(path, c.bPcapng ? test::MakePcapng(packets, c.layout)
                                                 : test::MakePcap(packets, c.layout));
        }
        CWirelarkDoc doc;
        int updates = 0;
        doc.AddUpdateListener([&updates] { ++updates; });
        const DocumentOutcome outcome = doc.OpenFile(path);
        ASSERT_TRUE(outcome.Succeeded()) << outcome.reason;
        EXPECT_TRUE(outcome.warning.empty());
        ExpectRows(doc, packets, c.layout.bNanosecond);
        EXPECT_EQ(doc.GetFileFormat(),
                  c.bPcapng ? CaptureFileFormat::Pcapng : CaptureFileFormat::Pcap);
        EXPECT_EQ(doc.GetSaveFormat(), CaptureFileFormat::Pcap);
        EXPECT_FALSE(doc.IsModified());
        EXPECT_EQ(updates, 1);
        EXPECT_EQ(doc.FindPacketBytes(3).size(), 40u) << "found by number like captured packets";

        // Save writes pcap at the file's precision; a packet added since goes with it.
        doc.AddPacket(4, kTcp, 60, "12:00:00,000000 ");
        ASSERT_TRUE(doc.OnSaveDocument(path).Succeeded());
        EXPECT_EQ(Magic(path), c.layout.bNanosecond ? (Bytes{0x4D, 0x3C, 0xB2, 0xA1})
                                                    : (Bytes{0xD4, 0xC3, 0xB2, 0xA1}));
        CWirelarkDoc reopened;
        ASSERT_TRUE(reopened.OpenFile(path).Succeeded());
        EXPECT_EQ(LarkArchive(reopened), LarkArchive(doc));
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(reopened.GetPacketList()[i].GetTimestamp(),
                      doc.GetPacketList()[i].GetTimestamp());
        }
    }
}

TEST(PcapFile, OtherLinkTypesAreRefusedByNameAndLeaveTheDocumentAsItWas) {
    test::CScratchFolder folder;
    const auto packets = ThreePackets(false);
    const CPcapLayout sll{false, false, test::kLinkLinuxSll};
    const struct {
        const char* file;
        Bytes bytes;
        const char* linkName;
    } cases[] = {{"sll.pcap", test::MakePcap(packets, sll), "LINUX_SLL"},
                 {"wifi.pcap", test::MakePcap(packets, {true, false, 105}), "IEEE802_11"},
                 {"sll.pcapng", test::MakePcapng(packets, sll), "LINUX_SLL"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        CPreviousDocument previous(folder);
        test::WriteWholeFile(folder.File(c.file), c.bytes);
        const DocumentOutcome outcome = previous.doc.OpenFile(folder.File(c.file));
        EXPECT_EQ(outcome.error, DocumentError::UnsupportedLinkType);
        EXPECT_NE(outcome.reason.find(c.linkName), std::string::npos) << outcome.reason;
        EXPECT_NE(outcome.reason.find("Ethernet"), std::string::npos) << outcome.reason;
        previous.ExpectUntouched();
    }
}

// A file cut short keeps what is whole: the user sees every packet the file still holds, the
// file itself is not touched, and the warning says that the rest is missing.
TEST(PcapFile, FileCutShortOpensTheWholePacketsAndWarnsAboutTheRest) {
    test::CScratchFolder folder;
    const auto packets = ThreePackets(false);
    const Bytes whole = test::MakePcap(packets);
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
        test::WriteWholeFile(path,
                             Bytes(whole.begin(), whole.begin() + static_cast<long>(cut.size)));
        CPreviousDocument previous(folder);
        const DocumentOutcome outcome = previous.doc.OpenFile(path);
        ASSERT_TRUE(outcome.Succeeded()) << outcome.reason;
        EXPECT_NE(outcome.warning.find("after packet " + std::to_string(cut.packetsKept)),
                  std::string::npos)
            << outcome.warning;
        ExpectRows(previous.doc,
                   std::vector<CPcapPacket>(packets.begin(),
                                            packets.begin() + static_cast<long>(cut.packetsKept)),
                   false);
        EXPECT_EQ(previous.doc.GetPathName(), path);
        EXPECT_EQ(test::ReadWholeFile(path).size(), cut.size);
    }
    // A file header cut short is not a capture at all: refused, the document as it was.
    CPreviousDocument previous(folder);
    test::WriteWholeFile(folder.File("head.pcap"), Bytes(whole.begin(), whole.begin() + 10));
    EXPECT_EQ(previous.doc.OpenFile(folder.File("head.pcap")).error,
              DocumentError::UnexpectedFormat);
    previous.ExpectUntouched();
}

// A file of several megabytes goes through the reader's own stream buffer many times over, with
// packets straddling its refills, and into memory the document reserved ahead and gave back in
// part afterwards; a packet added afterwards lands in what was given back.
TEST(PcapFile, LargeFileKeepsEveryPacketByteForByteAndTheDocumentGrowsAfterwards) {
    test::CScratchFolder folder;
    const std::uint32_t sizes[] = {60, 1514, 1, 9000, 65535, 40000, 14, 590};
    std::vector<CPcapPacket> packets;
    std::size_t total = 0;
    for (std::uint32_t i = 0; total < (std::size_t{6} << 20); ++i) {
        const std::uint32_t size = sizes[i % std::size(sizes)];
        Bytes bytes(size);
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
    EXPECT_TRUE(std::ranges::equal(doc.FindPacketBytes(next), frame));
    ASSERT_EQ(doc.GetPacketList().size(), packets.size() + 1);
    EXPECT_TRUE(std::ranges::equal(doc.FindPacketBytes(next - 1), packets.back().bytes));
}

// Progress counts the file's bytes when opening and the packets when saving; cancelling leaves
// the document, or the previous file, as it was.
TEST(PcapFile, ProgressAndCancellingInEitherFormatAndDirection) {
    test::CScratchFolder folder;
    std::vector<CPcapPacket> packets;
    CWirelarkDoc doc;
    for (std::uint32_t i = 0; i < 5000; ++i) {
        packets.push_back({1'700'000'000 + i / 100, i, 100, Bytes(100, 0x5A)});
        doc.AddPacket(static_cast<int>(i) + 1, packets.back().bytes, 100, "10:00:00,000 ");
    }
    test::WriteWholeFile(folder.File("big.pcap"), test::MakePcap(packets));
    ASSERT_TRUE(doc.SaveFile(folder.File("big.cap"), CaptureFileFormat::Lark).Succeeded());
    for (const char* name : {"big.pcap", "big.cap"}) {
        SCOPED_TRACE(name);
        const std::uint64_t size = test::ReadWholeFile(folder.File(name)).size();
        std::vector<std::uint64_t> seen;
        CWirelarkDoc opened;
        const DocumentOutcome outcome =
            opened.OpenFile(folder.File(name), [&](std::uint64_t done, std::uint64_t total) {
                EXPECT_EQ(total, size);
                seen.push_back(done);
                return true;
            });
        ASSERT_TRUE(outcome.Succeeded()) << outcome.reason;
        EXPECT_EQ(opened.GetPacketList().size(), packets.size());
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

    for (const CaptureFileFormat format : {CaptureFileFormat::Lark, CaptureFileFormat::Pcap}) {
        SCOPED_TRACE(CaptureFileFormatName(format));
        doc.SetPathName({});
        doc.SetModifiedFlag(true);
        const std::string path = folder.File("kept.file");
        test::WriteWholeFile(path, {1, 2, 3});
        const auto files = [&] {
            return std::distance(std::filesystem::directory_iterator(folder.Path()), {});
        };
        const auto filesBefore = files();
        std::vector<std::uint64_t> seen;
        const DocumentOutcome cancelled =
            doc.SaveFile(path, format, [&](std::uint64_t done, std::uint64_t total) {
                EXPECT_EQ(total, 5000u);
                seen.push_back(done);
                return seen.size() < 3;
            });
        EXPECT_EQ(cancelled.error, DocumentError::Cancelled);
        EXPECT_EQ(seen.size(), 3u);
        EXPECT_EQ(test::ReadWholeFile(path), (Bytes{1, 2, 3}));
        EXPECT_TRUE(doc.IsModified());
        EXPECT_TRUE(doc.GetPathName().empty());
        // No half-written file is left behind.
        EXPECT_EQ(files(), filesBefore);

        seen.clear();
        ASSERT_TRUE(doc.SaveFile(folder.File("done.file"), format,
                                 [&](std::uint64_t done, std::uint64_t) {
                                     seen.push_back(done);
                                     return true;
                                 })
                        .Succeeded());
        EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
        EXPECT_EQ(seen.back(), 5000u);
    }
}

// The process dies while the new file is written, a few megabytes in: the previous file is
// left as it was and nothing else is left in the folder.
TEST(PcapFile, ASaveKilledPartWayLeavesThePreviousFileAndNothingElseInEitherFormat) {
    test::CScratchFolder folder;
    if (!test::TakesUnnamedFiles(folder.Path())) {
        GTEST_SKIP() << folder.Path() << " cannot hold files without a name";
    }
    CWirelarkDoc doc;
    for (int i = 1; i <= 4000; ++i) {
        ASSERT_TRUE(doc.AddPacket(i, Bytes(1514, 0x5A), 1514, "10:00:00,000000 "));
    }
    const std::string path = folder.File("kept.cap");
    const Bytes previous{1, 2, 3};
    test::WriteWholeFile(path, previous);
    for (const CaptureFileFormat format : {CaptureFileFormat::Lark, CaptureFileFormat::Pcap}) {
        SCOPED_TRACE(CaptureFileFormatName(format));
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            int calls = 0;
            doc.SaveFile(path, format, [&calls](std::uint64_t, std::uint64_t) {
                if (++calls == 12) {
                    ::raise(SIGKILL);
                }
                return true;
            });
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
        EXPECT_EQ(test::ReadWholeFile(path), previous);
        EXPECT_EQ(test::FolderEntries(folder.Path()), std::vector<std::string>{"kept.cap"});
    }
}

std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm local{second, minute, hour, day, month - 1, year - 1900, 0, 0, -1, 0, nullptr};
    return std::mktime(&local);
}

// Lark records take their time of day on the date the file was last changed, and keep it
// through a pcap file.
TEST(PcapFile, LarkDocumentSavedAsPcapReopensWithTheSameRowsAndTimestamps) {
    test::CScratchFolder folder;
    const std::string larkPath = folder.File("lark.cap");
    {
        // As the intake makes them: numbers 1.., wire length = bytes, time texts.
        CWirelarkDoc doc;
        const auto udp =
            test::CFrameBuilder().Ethernet().Ipv4({.protocol = 17}).Udp().PadTo(90).Build();
        doc.AddPacket(1, kTcp, 60, "10:00:00,000007 ");
        doc.AddPacket(2, udp, 90, "10:00:00,250000 ");
        doc.AddPacket(3, kTcp, 60, "23:59:59,999999 ");
        doc.AddPacket(4, std::span<const std::uint8_t>(), 0, "00:00:01,000000 ");
        ASSERT_TRUE(doc.OnSaveDocument(larkPath).Succeeded());
    }
    const std::time_t changed = LocalTime(2023, 3, 15, 18, 30, 0);
    const timespec times[2] = {{changed, 0}, {changed, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, larkPath.c_str(), times, 0), 0);
    CWirelarkDoc lark;
    ASSERT_TRUE(lark.OpenFile(larkPath).Succeeded());
    const CPacketList& list = lark.GetPacketList();
    ASSERT_EQ(list.size(), 4u);
    const CPacketTime expected[] = {{LocalTime(2023, 3, 15, 10, 0, 0), 7'000},
                                    {LocalTime(2023, 3, 15, 10, 0, 0), 250'000'000},
                                    {LocalTime(2023, 3, 15, 23, 59, 59), 999'999'000},
                                    {LocalTime(2023, 3, 15, 0, 0, 1), 0}};
    for (std::size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(list[i].GetTimestamp(), expected[i]) << i;
        EXPECT_EQ(lark.GetPacketTime(list[i]), *list[i].GetTimestamp()) << i;
    }

    const std::string pcapPath = folder.File("copy.pcap");
    ASSERT_TRUE(lark.SaveFile(pcapPath, CaptureFileFormat::Pcap).Succeeded());
    EXPECT_EQ(lark.GetPathName(), pcapPath);
    EXPECT_EQ(lark.GetFileFormat(), CaptureFileFormat::Pcap);
    CWirelarkDoc reopened;
    ASSERT_TRUE(reopened.OpenFile(pcapPath).Succeeded());
    EXPECT_EQ(LarkArchive(reopened), LarkArchive(lark));
    for (std::size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(reopened.GetPacketList()[i].GetTimestamp(), expected[i]) << i;
    }
    // Any tool reading pcap sees microsecond Ethernet packets.
    const Bytes bytes = test::ReadWholeFile(pcapPath);
    ASSERT_GE(bytes.size(), 24u);
    EXPECT_EQ(Magic(pcapPath), (Bytes{0xD4, 0xC3, 0xB2, 0xA1}));
    EXPECT_EQ(bytes[20], DLT_EN10MB);

    // And back to Lark gives the original file byte for byte.
    ASSERT_TRUE(reopened.SaveFile(folder.File("again.cap"), CaptureFileFormat::Lark).Succeeded());
    EXPECT_EQ(test::ReadWholeFile(folder.File("again.cap")), test::ReadWholeFile(larkPath));
}

TEST(PcapFile, RecordsThatPcapCannotHoldAreWrittenSoLibpcapReadsThemBack) {
    test::CScratchFolder folder;
    CWirelarkDoc doc;
    const Bytes huge(300'000, 0x11);
    doc.AddPacket(1, huge, 300'000, "10:00:00,000 ");
    // A Lark file can hold a length below its element count, and a negative one.
    ASSERT_TRUE(doc.AddPacket(2, huge, 100, "10:00:00,001 "));
    const std::string path = folder.File("odd.pcap");
    ASSERT_TRUE(doc.SaveFile(path, CaptureFileFormat::Pcap).Succeeded());

    char error[PCAP_ERRBUF_SIZE];
    pcap_t* reader = pcap_open_offline(path.c_str(), error);
    ASSERT_NE(reader, nullptr) << error;
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    ASSERT_EQ(pcap_next_ex(reader, &header, &data), 1) << pcap_geterr(reader);
    EXPECT_EQ(header->caplen, 262144u);
    EXPECT_EQ(header->len, 300'000u);
    ASSERT_EQ(pcap_next_ex(reader, &header, &data), 1) << pcap_geterr(reader);
    EXPECT_EQ(header->caplen, 100u);
    EXPECT_EQ(header->len, 100u);
    EXPECT_EQ(pcap_next_ex(reader, &header, &data), PCAP_ERROR_BREAK);
    pcap_close(reader);
}

}  // namespace
}  // namespace wirelark
