// Saving to pcap: round trips from Lark documents and from pcap files, the timestamps records
// carry, the format Save keeps, and cancelling.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pcap/pcap.h>
#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "store/time_text.h"
#include "store/wirelark_doc.h"
#include "support/frame_builder.h"
#include "support/pcap_files.h"
#include "support/store_files.h"

namespace wirelark {
namespace {

std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

void SetModificationTime(const std::string& path, std::time_t when) {
    const timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

void ExpectSameRecords(const CWirelarkDoc& a, const CWirelarkDoc& b) {
    const CPacketList& left = a.GetPacketList();
    const CPacketList& right = b.GetPacketList();
    ASSERT_EQ(left.size(), right.size());
    for (std::size_t i = 0; i < left.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(left[i].GetNumber(), right[i].GetNumber());
        EXPECT_EQ(left[i].GetLength(), right[i].GetLength());
        EXPECT_EQ(left[i].GetTimeText(), right[i].GetTimeText());
        const auto x = left[i].GetBytes();
        const auto y = right[i].GetBytes();
        EXPECT_TRUE(std::equal(x.begin(), x.end(), y.begin(), y.end()));
    }
}

// A Lark file as the intake makes them: numbers 1.., wire length = bytes, time texts.
std::string WriteLarkCapture(const test::CScratchFolder& folder) {
    CWirelarkDoc doc;
    const auto tcp = test::CFrameBuilder().Ethernet().Ipv4().Tcp().PadTo(60).Build();
    const auto udp =
        test::CFrameBuilder().Ethernet().Ipv4({.protocol = 17}).Udp().PadTo(90).Build();
    doc.AddPacket(1, tcp, 60, "10:00:00,007 ");
    doc.AddPacket(2, udp, 90, "10:00:00,250000 ");
    doc.AddPacket(3, tcp, 60, "23:59:59,999999 ");
    doc.AddPacket(4, std::span<const std::uint8_t>(), 0, "00:00:01,000 ");
    const std::string path = folder.File("lark.cap");
    EXPECT_TRUE(doc.OnSaveDocument(path).Succeeded());
    return path;
}

TEST(PcapSave, LarkDocumentSavedAsPcapReopensWithTheSameRows) {
    test::CScratchFolder folder;
    const std::string larkPath = WriteLarkCapture(folder);
    CWirelarkDoc lark;
    ASSERT_TRUE(lark.OpenFile(larkPath).Succeeded());

    const std::string pcapPath = folder.File("copy.pcap");
    ASSERT_TRUE(lark.SaveFile(pcapPath, CaptureFileFormat::Pcap).Succeeded());
    EXPECT_EQ(lark.GetPathName(), pcapPath);
    EXPECT_EQ(lark.GetFileFormat(), CaptureFileFormat::Pcap);

    CWirelarkDoc reopened;
    ASSERT_TRUE(reopened.OpenFile(pcapPath).Succeeded());
    ExpectSameRecords(lark, reopened);
    // Any tool reading pcap sees microsecond Ethernet packets.
    const std::vector<std::uint8_t> bytes = test::ReadWholeFile(pcapPath);
    ASSERT_GE(bytes.size(), 24u);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 4),
              (std::vector<std::uint8_t>{0xD4, 0xC3, 0xB2, 0xA1}));
    EXPECT_EQ(bytes[20], DLT_EN10MB);

    // And back to Lark gives the original file byte for byte.
    ASSERT_TRUE(reopened.SaveFile(folder.File("again.cap"), CaptureFileFormat::Lark).Succeeded());
    EXPECT_EQ(test::ReadWholeFile(folder.File("again.cap")), test::ReadWholeFile(larkPath));
}

TEST(PcapSave, LarkRecordsTakeTheirTimeOfDayOnTheDateTheFileWasLastChanged) {
    test::CScratchFolder folder;
    const std::string path = WriteLarkCapture(folder);
    SetModificationTime(path, LocalTime(2023, 3, 15, 18, 30, 0));
    CWirelarkDoc doc;
    ASSERT_TRUE(doc.OpenFile(path).Succeeded());
    const CPacketList& list = doc.GetPacketList();
    ASSERT_EQ(list.size(), 4u);
    struct CCase {
        std::time_t seconds;
        std::uint32_t nanoseconds;
    };
    const CCase expected[] = {{LocalTime(2023, 3, 15, 10, 0, 0), 7'000},
                              {LocalTime(2023, 3, 15, 10, 0, 0), 250'000'000},
                              {LocalTime(2023, 3, 15, 23, 59, 59), 999'999'000},
                              {LocalTime(2023, 3, 15, 0, 0, 1), 0}};
    for (std::size_t i = 0; i < list.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(list[i].GetTimestamp(),
                  (CPacketTime{expected[i].seconds, expected[i].nanoseconds}));
        EXPECT_EQ(doc.GetPacketTime(list[i]), *list[i].GetTimestamp());
    }
}

TEST(PcapSave, SaveKeepsTheFormatOfAPcapOrPcapngFileAndItsTimestamps) {
    test::CScratchFolder folder;
    const auto frame = test::CFrameBuilder().Ethernet().Ipv4().Tcp().PadTo(60).Build();
    struct CCase {
        const char* name;
        bool bPcapng;
        bool bNanosecond;
        std::vector<std::uint8_t> magic;  // of the file Save writes
    };
    for (const CCase& c : {CCase{"micro.pcap", false, false, {0xD4, 0xC3, 0xB2, 0xA1}},
                           CCase{"nano.pcap", false, true, {0x4D, 0x3C, 0xB2, 0xA1}},
                           CCase{"nano.pcapng", true, true, {0x4D, 0x3C, 0xB2, 0xA1}},
                           CCase{"micro.pcapng", true, false, {0xD4, 0xC3, 0xB2, 0xA1}}}) {
        SCOPED_TRACE(c.name);
        const std::uint32_t fraction = c.bNanosecond ? 123'456'789 : 123'456;
        const std::vector<test::CPcapPacket> packets = {{1'600'000'000, fraction, 60, frame},
                                                        {1'600'000'002, 0, 1514, frame}};
        const test::CPcapLayout layout{true, c.bNanosecond, test::kLinkEthernet};
        const std::string path = folder.File(c.name);
        test::WriteWholeFile(
            path, c.bPcapng ? test::MakePcapng(packets, layout) : test::MakePcap(packets, layout));
        CWirelarkDoc doc;
        ASSERT_TRUE(doc.OpenFile(path).Succeeded());
        const std::vector<CPacketTime> times = {*doc.GetPacketList()[0].GetTimestamp(),
                                                *doc.GetPacketList()[1].GetTimestamp()};
        doc.AddPacket(3, frame, 60, "12:00:00,000 ");
        ASSERT_TRUE(doc.OnSaveDocument(path).Succeeded());

        const std::vector<std::uint8_t> saved = test::ReadWholeFile(path);
        ASSERT_GE(saved.size(), 4u);
        EXPECT_EQ(std::vector<std::uint8_t>(saved.begin(), saved.begin() + 4), c.magic);
        CWirelarkDoc reopened;
        ASSERT_TRUE(reopened.OpenFile(path).Succeeded());
        ExpectSameRecords(doc, reopened);
        EXPECT_EQ(reopened.GetPacketList()[0].GetTimestamp(), times[0]);
        EXPECT_EQ(reopened.GetPacketList()[1].GetTimestamp(), times[1]);
        EXPECT_EQ(reopened.GetPacketList()[1].GetLength(), 1514);
    }
}

TEST(PcapSave, RecordsThatPcapCannotHoldAreWrittenSoLibpcapReadsThemBack) {
    test::CScratchFolder folder;
    CWirelarkDoc doc;
    const std::vector<std::uint8_t> huge(300'000, 0x11);
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

TEST(PcapSave, CancellingASaveLeavesThePreviousFileInEitherFormat) {
    test::CScratchFolder folder;
    CWirelarkDoc doc;
    const auto frame = test::CFrameBuilder().Ethernet().PadTo(60).Build();
    for (int i = 1; i <= 3000; ++i) {
        doc.AddPacket(i, frame, 60, "10:00:00,000 ");
    }
    for (const CaptureFileFormat format : {CaptureFileFormat::Lark, CaptureFileFormat::Pcap}) {
        SCOPED_TRACE(CaptureFileFormatName(format));
        const std::string path = folder.File("kept.file");
        test::WriteWholeFile(path, {1, 2, 3});
        std::vector<std::uint64_t> seen;
        const DocumentOutcome cancelled =
            doc.SaveFile(path, format, [&](std::uint64_t done, std::uint64_t total) {
                EXPECT_EQ(total, 3000u);
                seen.push_back(done);
                return seen.size() < 3;
            });
        EXPECT_EQ(cancelled.error, DocumentError::Cancelled);
        EXPECT_EQ(seen.size(), 3u);
        EXPECT_EQ(test::ReadWholeFile(path), (std::vector<std::uint8_t>{1, 2, 3}));
        EXPECT_TRUE(doc.IsModified());
        EXPECT_TRUE(doc.GetPathName().empty());
        // No half-written file is left behind.
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()),
                                std::filesystem::directory_iterator()),
                  1);

        seen.clear();
        ASSERT_TRUE(doc.SaveFile(folder.File("done.file"), format,
                                 [&](std::uint64_t done, std::uint64_t) {
                                     seen.push_back(done);
                                     return true;
                                 })
                        .Succeeded());
        EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
        EXPECT_EQ(seen.back(), 3000u);
        std::filesystem::remove(folder.File("done.file"));
        doc.SetPathName({});
        doc.SetModifiedFlag(true);
    }
}

}  // namespace
}  // namespace wirelark
