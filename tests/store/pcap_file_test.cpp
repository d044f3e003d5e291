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
#include <string>
#include <tuple>
#include <vector>

#include "store/archive_writer.h"
#include "store/time_text.h"
#include "store/wirelark_doc.h"
#include "support/pcap_files.h"
#include "support/sample_frames.h"
#include "support/store_files.h"

namespace wirelark {
namespace {

using test::CPcapLayout;
using test::CPcapPacket;
using Bytes = std::vector<std::uint8_t>;

const Bytes kTcp = test::CFrameBuilder().Ethernet().Ipv4().Tcp().PadTo(60).Build();

std::vector<CPcapPacket> ThreePackets(bool bNanosecond) {
    const std::uint32_t scale = bNanosecond ? 1000 : 1;
    return {
        {1'700'000'000, 7 * scale + (bNanosecond ? 123 : 0), 60, kTcp},
        {1'700'000'001, 250'000 * scale, 60, test::kArp},
        // Captured shorter than it was on the wire.
        {1'700'000'061, 999'999 * scale, 1514, Bytes(kTcp.begin(), kTcp.begin() + 40)},
    };
}

// Equal Lark archives hold the same numbers, lengths, time texts and bytes in the same order.
Bytes LarkArchive(const CWirelarkDoc& doc) {
    Bytes out;
    CArchiveWriter ar(out);
    doc.StoreArchive(ar);
    return out;
}

// Megabytes of packets of many sizes, which go through the reader's own stream buffer many times
// over, straddling its refills, into memory the document reserved ahead and gave back in part.
std::vector<CPcapPacket> LargePackets() {
    const std::uint32_t sizes[] = {60, 1514, 1, 9000, 65535, 40000, 14, 590};
    std::vector<CPcapPacket> packets;
    for (std::uint32_t i = 0, total = 0; total < (6u << 20); ++i) {
        const std::uint32_t size = sizes[i % std::size(sizes)];
        Bytes bytes(size);
        for (std::uint32_t b = 0; b < size; ++b) {
            bytes[b] = static_cast<std::uint8_t>(b * 31 + i);
        }
        packets.push_back({1'700'000'000 + i, i % 1'000'000, size, std::move(bytes)});
        total += 16 + size;
    }
    return packets;
}

TEST(PcapFile, EveryLayoutOpensByContentWithTheIntakesRowsAndSavesAsPcapKeepingItsTimestamps) {
    const struct {
        const char* name;
        bool bPcapng, bBigEndian, bNanosecond, bLibpcapDumper;
        bool bLarge = false;
    } cases[] = {{"LibpcapDumper", false, false, false, true},
                 {"Large", false, false, false, false, true},
                 {"LittleEndianMicro", false, false, false, false},
                 {"BigEndianMicro", false, true, false, false},
                 {"LittleEndianNano", false, false, true, false},
                 {"BigEndianNano", false, true, true, false},
                 {"PcapngMicro", true, false, false, false},
                 {"PcapngNano", true, false, true, false},
                 {"PcapngBigEndianNano", true, true, true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::CScratchFolder folder;
        // The name says nothing: the content decides.
        const std::string path = folder.File("capture.cap");
        const auto packets = c.bLarge ? LargePackets() : ThreePackets(c.bNanosecond);
        const CPcapLayout layout{c.bBigEndian, c.bNanosecond};
        if (c.bLibpcapDumper) {
            test::WriteWithLibpcapDumper(path, packets);
        } else {
            test::WriteWholeFile(path, c.bPcapng ? test::MakePcapng(packets, layout)
                                                 : test::MakePcap(packets, layout));
        }
        CWirelarkDoc doc;
        int updates = 0;
        doc.AddUpdateListener([&updates] { ++updates; });
        const DocumentOutcome outcome = doc.OpenFile(path);
        ASSERT_TRUE(outcome.Succeeded()) << outcome.reason;
        const auto opened = c.bPcapng ? CaptureFileFormat::Pcapng : CaptureFileFormat::Pcap;
        EXPECT_EQ(std::tuple(outcome.warning, doc.GetFileFormat(), doc.GetSaveFormat(),
                             doc.IsModified(), updates),
                  std::tuple("", opened, CaptureFileFormat::Pcap, false, 1));
        // Each row as the intake makes it: numbering, length, time text, timestamp and bytes.
        const CPacketList& list = doc.GetPacketList();
        ASSERT_EQ(list.size(), packets.size());
        for (std::size_t i = 0; i < packets.size(); ++i) {
            const CPcapPacket& packet = packets[i];
            const std::uint32_t ns = c.bNanosecond ? packet.fraction : packet.fraction * 1000;
            EXPECT_EQ(std::tuple(list[i].GetNumber(), list[i].GetLength(), list[i].GetTimeText(),
                                 list[i].GetTimestamp()),
                      std::tuple(static_cast<int>(i + 1), static_cast<int>(packet.wireLength),
                                 FormatTimeText(timeval{packet.seconds, ns / 1000}),
                                 CPacketTime{packet.seconds, ns}))
                << i;
            EXPECT_TRUE(std::ranges::equal(list[i].GetBytes(), packet.bytes)) << i;
        }

        // Save writes pcap at the file's precision; a packet added since goes with it, in memory
        // the open gave back, without touching the packets before it.
        const int next = static_cast<int>(packets.size()) + 1;
        ASSERT_TRUE(doc.AddPacket(next, kTcp, 60, "12:00:00,000000 "));
        EXPECT_TRUE(std::ranges::equal(doc.GetPacketList().back().GetBytes(), kTcp));
        EXPECT_TRUE(std::ranges::equal(doc.GetPacketList()[packets.size() - 1].GetBytes(),
                                       packets.back().bytes));
        ASSERT_TRUE(doc.OnSaveDocument(path).Succeeded());
        CWirelarkDoc reopened;
        ASSERT_TRUE(reopened.OpenFile(path).Succeeded());
        const Bytes saved = test::ReadWholeFile(path);
        EXPECT_EQ(Bytes(saved.begin(), saved.begin() + 4), c.bNanosecond
                                                               ? (Bytes{0x4D, 0x3C, 0xB2, 0xA1})
                                                               : (Bytes{0xD4, 0xC3, 0xB2, 0xA1}));
        EXPECT_EQ(LarkArchive(reopened), LarkArchive(doc));
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(reopened.GetPacketList()[i].GetTimestamp(),
                      doc.GetPacketList()[i].GetTimestamp());
        }
    }
}

// Progress counts the packets when saving and the file's bytes when opening, up to the whole. A
// save cancelled, or killed part-way, leaves the previous file as it was and nothing else in the
// folder; a cancelled one leaves the document's path as it was too.
TEST(PcapFile, ProgressCountsPacketsAndBytesAndAnInterruptedSaveLeavesThePreviousFile) {
    test::CScratchFolder folder;
    CWirelarkDoc doc;
    for (int i = 1; i <= 4000; ++i) {
        ASSERT_TRUE(doc.AddPacket(i, Bytes(1514, 0x5A), 1514, "10:00:00,000000 "));
    }
    std::vector<std::uint64_t> seen;
    std::uint64_t whole = 0;
    const ProgressCallback record = [&](std::uint64_t done, std::uint64_t total) {
        EXPECT_EQ(total, whole);
        seen.push_back(done);
        return true;
    };
    const auto expectSeen = [&] {
        ASSERT_GE(seen.size(), 3u);
        EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
        EXPECT_EQ(seen.back(), whole);
        seen.clear();
    };
    const std::string path = folder.File("kept.file");
    for (const CaptureFileFormat format : {CaptureFileFormat::Lark, CaptureFileFormat::Pcap}) {
        SCOPED_TRACE(CaptureFileFormatName(format));
        test::WriteWholeFile(path, {1, 2, 3});
        doc.SetPathName({});
        int calls = 0;
        EXPECT_EQ(doc.SaveFile(path, format, [&calls](auto, auto) { return ++calls < 3; }).error,
                  DocumentError::Cancelled);
        EXPECT_EQ(calls, 3);
        EXPECT_TRUE(doc.GetPathName().empty());
        // Killing leaves nothing behind only where the new file has no name until it is whole.
        if (test::TakesUnnamedFiles(folder.Path())) {
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                calls = 0;
                doc.SaveFile(path, format, [&calls](auto, auto) {
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
        }
        EXPECT_EQ(test::ReadWholeFile(path), (Bytes{1, 2, 3}));
        EXPECT_EQ(test::FolderEntries(folder.Path()), std::vector<std::string>{"kept.file"});

        whole = 4000;
        ASSERT_TRUE(doc.SaveFile(path, format, record).Succeeded());
        expectSeen();
        whole = test::ReadWholeFile(path).size();
        CWirelarkDoc opened;
        ASSERT_TRUE(opened.OpenFile(path, record).Succeeded());
        EXPECT_EQ(opened.GetPacketList().size(), 4000u);
        expectSeen();
    }
}

std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm local{second, minute, hour, day, month - 1, year - 1900, 0, 0, -1, 0, nullptr};
    return std::mktime(&local);
}

// Lark records take their time of day on the date the file was last changed, and keep it
// through a pcap file, which any tool reads as microsecond Ethernet packets.
TEST(PcapFile, LarkDocumentSavedAsPcapReopensWithTheSameRowsAndTimestamps) {
    test::CScratchFolder folder;
    const std::string larkPath = folder.File("lark.cap");
    const struct {
        const char* text;
        int hour, minute, second;
        std::uint32_t nanoseconds;
    } rows[] = {{"10:00:00,000007 ", 10, 0, 0, 7'000},
                {"10:00:00,250000 ", 10, 0, 0, 250'000'000},
                {"23:59:59,999999 ", 23, 59, 59, 999'999'000},
                {"00:00:01,000000 ", 0, 0, 1, 0}};
    {
        CWirelarkDoc doc;
        for (int i = 0; i < 4; ++i) {
            const int length = i < 3 ? 60 : 0;  // the last one empty
            doc.AddPacket(i + 1, Bytes(kTcp.begin(), kTcp.begin() + length), length, rows[i].text);
        }
        ASSERT_TRUE(doc.OnSaveDocument(larkPath).Succeeded());
    }
    const std::time_t changed = LocalTime(2023, 3, 15, 18, 30, 0);
    const timespec times[2] = {{changed, 0}, {changed, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, larkPath.c_str(), times, 0), 0);
    CWirelarkDoc lark;
    ASSERT_TRUE(lark.OpenFile(larkPath).Succeeded());
    const std::string pcapPath = folder.File("copy.pcap");
    ASSERT_TRUE(lark.SaveFile(pcapPath, CaptureFileFormat::Pcap).Succeeded());
    CWirelarkDoc reopened;
    ASSERT_TRUE(reopened.OpenFile(pcapPath).Succeeded());
    ASSERT_EQ(lark.GetPacketList().size(), 4u);
    ASSERT_EQ(reopened.GetPacketList().size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        const CPacketTime expected{
            LocalTime(2023, 3, 15, rows[i].hour, rows[i].minute, rows[i].second),
            rows[i].nanoseconds};
        EXPECT_EQ(lark.GetPacketList()[i].GetTimestamp(), expected) << i;
        EXPECT_EQ(reopened.GetPacketList()[i].GetTimestamp(), expected) << i;
    }
    const Bytes bytes = test::ReadWholeFile(pcapPath);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 4), (Bytes{0xD4, 0xC3, 0xB2, 0xA1}));
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
    for (const auto& [caplen, len] : {std::pair{262144u, 300'000u}, {100u, 100u}}) {
        ASSERT_EQ(pcap_next_ex(reader, &header, &data), 1) << pcap_geterr(reader);
        EXPECT_EQ(std::pair(header->caplen, header->len), std::pair(caplen, len));
    }
    EXPECT_EQ(pcap_next_ex(reader, &header, &data), PCAP_ERROR_BREAK);
    pcap_close(reader);
}

}  // namespace
}  // namespace wirelark
