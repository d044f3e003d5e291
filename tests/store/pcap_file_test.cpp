// Pcap and pcapng files, and Lark files saved as pcap: opening them with the intake's rows at
// every byte order and precision, saving with the rows and timestamps kept, progress, and saves
// cancelled or killed part-way.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pcap/pcap.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <string>
#include <string_view>
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

// A Lark file, whose records hold times of day, takes their date from the day the file was last
// changed. Saved as pcap, which any tool reads as Ethernet packets, every file keeps its rows and
// timestamps.
TEST(PcapFile, EveryLayoutOpensByContentWithTheIntakesRowsAndSavesAsPcapKeepingItsTimestamps) {
    // Each layout as its name says; microseconds and little-endian unless it says otherwise.
    for (const std::string_view name :
         {"pcap by libpcap's dumper", "large pcap", "pcap", "big-endian pcap", "pcap nano",
          "big-endian pcap nano", "pcapng", "pcapng nano", "big-endian pcapng nano", "lark"}) {
        SCOPED_TRACE(name);
        const bool bPcapng = name.starts_with("pcapng") || name.starts_with("big-endian pcapng");
        const bool bNanosecond = name.ends_with("nano");
        const test::CPcapLayout layout{name.starts_with("big-endian"), bNanosecond};
        test::CScratchFolder folder;
        // The file's name says nothing: the content decides.
        const std::string path = folder.File("capture.cap");
        const auto packets = name == "large pcap" ? LargePackets() : ThreePackets(bNanosecond);
        if (name.ends_with("dumper")) {
            test::WriteWithLibpcapDumper(path, packets);
        } else if (name == "lark") {
            CWirelarkDoc lark;
            for (const CPcapPacket& packet : packets) {
                const std::string text = FormatTimeText(timeval{packet.seconds, packet.fraction});
                lark.AddPacket(1 + static_cast<int>(lark.GetPacketList().size()), packet.bytes,
                               static_cast<int>(packet.wireLength), text);
            }
            ASSERT_TRUE(lark.OnSaveDocument(path).Succeeded());
            const timespec changed[2] = {{1'700'000'000, 0}, {1'700'000'000, 0}};
            ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), changed, 0), 0);
        } else {
            test::WriteWholeFile(path, bPcapng ? test::MakePcapng(packets, layout)
                                               : test::MakePcap(packets, layout));
        }
        CWirelarkDoc doc;
        int updates = 0;
        doc.AddUpdateListener([&updates] { ++updates; });
        const DocumentOutcome outcome = doc.OpenFile(path);
        ASSERT_TRUE(outcome.Succeeded()) << outcome.reason;
        const auto saveFormat = name == "lark" ? CaptureFileFormat::Lark : CaptureFileFormat::Pcap;
        EXPECT_EQ(
            std::tuple(outcome.warning, doc.GetFileFormat(), doc.GetSaveFormat(), doc.IsModified(),
                       updates),
            std::tuple("", bPcapng ? CaptureFileFormat::Pcapng : saveFormat, saveFormat, false, 1));
        // Each row as the intake makes it: numbering, length, time text, timestamp and bytes.
        const CPacketList& list = doc.GetPacketList();
        ASSERT_EQ(list.size(), packets.size());
        for (std::size_t i = 0; i < packets.size(); ++i) {
            const CPcapPacket& packet = packets[i];
            const std::uint32_t ns = bNanosecond ? packet.fraction : packet.fraction * 1000;
            EXPECT_EQ(std::tuple(list[i].GetNumber(), list[i].GetLength(), list[i].GetTimeText(),
                                 list[i].GetTimestamp()),
                      std::tuple(static_cast<int>(i + 1), static_cast<int>(packet.wireLength),
                                 FormatTimeText(timeval{packet.seconds, ns / 1000}),
                                 CPacketTime{packet.seconds, ns}))
                << i;
            // A capture file's packets stay in it: only a Lark file's are read into memory.
            EXPECT_EQ(std::tuple(list[i].IsInFile(), test::StoredBytes(doc, list[i])),
                      std::tuple(name != "lark", std::optional(packet.bytes)))
                << i;
        }

        // Save writes pcap at the file's precision; a packet added since goes with it, in memory
        // the open gave back, without touching the packets before it.
        const int next = static_cast<int>(packets.size()) + 1;
        ASSERT_TRUE(doc.AddPacket(next, kTcp, 60, "12:00:00,000000 "));
        EXPECT_TRUE(std::ranges::equal(doc.GetPacketList().back().GetBytes(), kTcp));
        EXPECT_TRUE(std::ranges::equal(doc.FindPacketBytes(static_cast<int>(packets.size())),
                                       packets.back().bytes));
        ASSERT_TRUE((name == "lark" ? doc.SaveFile(path, CaptureFileFormat::Pcap)
                                    : doc.OnSaveDocument(path))
                        .Succeeded());
        CWirelarkDoc reopened;
        ASSERT_TRUE(reopened.OpenFile(path).Succeeded());
        const Bytes saved = test::ReadWholeFile(path);
        EXPECT_EQ(Bytes(saved.begin(), saved.begin() + 4),
                  bNanosecond ? (Bytes{0x4D, 0x3C, 0xB2, 0xA1}) : (Bytes{0xD4, 0xC3, 0xB2, 0xA1}));
        EXPECT_EQ(saved[20], DLT_EN10MB);
        EXPECT_EQ(LarkArchive(reopened), LarkArchive(doc));
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(reopened.GetPacketList()[i].GetTimestamp(),
                      doc.GetPacketList()[i].GetTimestamp());
        }
    }
}

// Every record is saved and opened again in order, with progress counting the packets when
// saving and the file's bytes when opening, up to the whole. A save cancelled, or killed
// part-way, leaves the previous file as it was and nothing else in the folder; a cancelled one
// leaves the document's path as it was too.
TEST(PcapFile, SavingAndOpeningKeepsEveryRecordWithProgressAndAnInterruptedSaveLeavesTheFile) {
    test::CScratchFolder folder;
    CWirelarkDoc doc;
    // Numbers out of capture order and repeated, as a file written elsewhere may have them;
    // 65535 packets, a frame longer than a pcap record holds and a 300-character text take the
    // long count forms.
    for (int i = 0; i < 300; ++i) {
        const Bytes frame(static_cast<std::size_t>(i * 37 % 1515), static_cast<std::uint8_t>(i));
        ASSERT_TRUE(doc.AddPacket(i % 50 == 49 ? 7 : i + 1, frame, static_cast<int>(frame.size()),
                                  i % 2 ? "10:11:12,005 " : "23:59:59,123456 "));
    }
    for (int number = 301; number < 65535; ++number) {
        ASSERT_TRUE(doc.AddPacket(number, {}, 0, ""));
    }
    ASSERT_TRUE(doc.AddPacket(65535, Bytes(300'000, 0x5A), 300'000, std::string(300, 'x')));
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

        whole = 65535;
        ASSERT_TRUE(doc.SaveFile(path, format, record).Succeeded());
        expectSeen();
        const Bytes file = test::ReadWholeFile(path);
        whole = file.size();
        CWirelarkDoc opened;
        const DocumentOutcome outcome = opened.OpenFile(path, record);
        ASSERT_TRUE(outcome.Succeeded()) << outcome.reason;
        expectSeen();
        EXPECT_EQ(std::tuple(outcome.warning, opened.GetPacketList().size(), opened.IsModified()),
                  std::tuple("", 65535u, false));
        // A pcap record keeps the first 262144 bytes of a packet, and its whole length.
        const CPacketObj& last = opened.GetPacketList().back();
        EXPECT_EQ(std::tuple(last.GetLength(), last.GetCapturedLength()),
                  std::tuple(300'000, format == CaptureFileFormat::Lark ? 300'000u : 262'144u));
        if (format == CaptureFileFormat::Lark) {
            // Equal files hold equal records; the worked example shows the layout itself.
            EXPECT_EQ(Bytes(file.begin(), file.begin() + 8),
                      (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0xFF, 0xFF}));
            EXPECT_EQ(LarkArchive(opened), file);
        }
    }
}

}  // namespace
}  // namespace wirelark
