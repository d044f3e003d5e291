// Opening pcap and pcapng files without copying their frames: which packets stay in the file,
// what libpcap reads instead, and a file that loses packets, or is saved over, while it is open.
#include "store/pcap_index.h"

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <filesystem>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "store/wirelark_doc.h"
#include "support/pcap_files.h"
#include "support/sample_frames.h"
#include "support/store_files.h"

namespace wirelark {
namespace {

using test::CPcapPacket;
using Bytes = std::vector<std::uint8_t>;

struct CLibpcapPacket {
    long seconds;
    long fraction;
    std::uint32_t wireLength;
    Bytes bytes;
    bool operator==(const CLibpcapPacket&) const = default;
};

// What libpcap reads from the file, the judge of what each packet holds.
std::vector<CLibpcapPacket> ReadWithLibpcap(const std::string& path) {
    char error[PCAP_ERRBUF_SIZE] = "";
    pcap_t* pcap = pcap_open_offline(path.c_str(), error);
    EXPECT_NE(pcap, nullptr) << error;
    std::vector<CLibpcapPacket> packets;
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    while (pcap != nullptr && pcap_next_ex(pcap, &header, &data) == 1) {
        packets.push_back({header->ts.tv_sec, header->ts.tv_usec, header->len,
                           Bytes(data, data + header->caplen)});
    }
    if (pcap != nullptr) {
        pcap_close(pcap);
    }
    return packets;
}

std::vector<CLibpcapPacket> ReadWithDocument(const CWirelarkDoc& doc) {
    std::vector<CLibpcapPacket> packets;
    for (const CPacketObj& packet : doc.GetPacketList()) {
        const CPacketTime time = *packet.GetTimestamp();
        packets.push_back({static_cast<long>(time.seconds), time.nanoseconds / 1000,
                           static_cast<std::uint32_t>(packet.GetLength()),
                           test::StoredBytes(doc, packet).value_or(Bytes{9, 9, 9})});
    }
    return packets;
}

std::vector<bool> InFile(const CWirelarkDoc& doc) {
    std::vector<bool> kept;
    for (const CPacketObj& packet : doc.GetPacketList()) {
        kept.push_back(packet.IsInFile());
    }
    return kept;
}

const Bytes kLong(150, 0x5A);

// Packets that break the plain run go through libpcap, and the run goes on after them.
TEST(PcapIndex, PacketsOutOfTheOrdinaryAreReadByLibpcapAndThoseAfterThemStayInTheFile) {
    Bytes file =
        test::MakePcap({{1'700'000'000, 1, 60, test::kArp},
                        {1'700'000'001, 2, 150, kLong},              // longer than the snapshot
                        {1'700'000'002, 1'000'000, 60, test::kArp},  // a whole second
                        {0xF000'0000, 4, 60, test::kArp},            // before 1970
                        {1'700'000'004, 5, 1514, Bytes(kLong.begin(), kLong.begin() + 20)}});
    file[16] = 100;  // the snapshot length, little-endian
    file[17] = 0;
    test::CScratchFolder folder;
    const std::string path = folder.File("odd.pcap");
    test::WriteWholeFile(path, file);
    CWirelarkDoc doc;
    const DocumentOutcome outcome = doc.OpenFile(path);
    ASSERT_TRUE(outcome.Succeeded()) << outcome.reason;
    EXPECT_EQ(outcome.warning, "");
    std::vector<CLibpcapPacket> expected = ReadWithLibpcap(path);
    ASSERT_EQ(expected.size(), 5u);
    expected[2].fraction = 999'999;  // a record keeps a time it can show
    EXPECT_EQ(ReadWithDocument(doc), expected);
    EXPECT_EQ(InFile(doc), (std::vector<bool>{true, false, false, true, true}));
}

// A file changed under the open document: rows it lost have no bytes and the first failure is
// reported once, naming the file. Saving keeps every packet, those lost without bytes, and the
// document then reads from the file it saved, also when it saved over its own file.
TEST(PcapIndex, AFileThatLosesPacketsSaysSoOnceAndSavingKeepsWhatItStillHolds) {
    const std::vector<CPcapPacket> packets = {{1'700'000'000, 1, 60, test::kArp},
                                              {1'700'000'001, 2, 60, test::kArp},
                                              {1'700'000'002, 3, 1514, kLong},
                                              {1'700'000'003, 4, 60, test::kArp}};
    const Bytes pcap = test::MakePcap(packets);
    const Bytes pcapng = test::MakePcapng(packets);
    const struct {
        const char* name;
        const Bytes& original;
        Bytes changed;  // written over the file in place
        std::size_t kept;
        std::string said;
    } cases[] = {
        {"CutInsideTheThirdFrame", pcap, Bytes(pcap.begin(), pcap.begin() + 24 + 2 * 76 + 30), 2,
         "it is shorter than when it was opened"},
        {"RewrittenWithOtherLengths", pcap,
         test::MakePcap(
             {{1, 0, 61, Bytes(61, 1)}, {1, 0, 61, Bytes(61, 1)}, {1, 0, 61, Bytes(300, 1)}}),
         0, "it has changed since it was opened"},
        {"Unchanged", pcap, pcap, 4, ""},
        {"UnchangedPcapng", pcapng, pcapng, 4, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::CScratchFolder folder;
        const std::string path = folder.File("capture.pcap");
        test::WriteWholeFile(path, c.original);
        CWirelarkDoc doc;
        std::vector<std::string> messages;
        doc.SetReadFailureHandler(
            [&messages](const std::string& text) { messages.push_back(text); });
        ASSERT_TRUE(doc.OpenFile(path).Succeeded());
        test::WriteWholeFile(path, c.changed);

        std::vector<CLibpcapPacket> expected;
        for (std::size_t i = 0; i < packets.size(); ++i) {
            const CPcapPacket& packet = packets[i];
            expected.push_back({packet.seconds, packet.fraction, packet.wireLength,
                                i < c.kept ? packet.bytes : Bytes{9, 9, 9}});
        }
        for (int pass = 0; pass < 2; ++pass) {
            EXPECT_EQ(ReadWithDocument(doc), expected);
        }
        ASSERT_EQ(messages.size(), c.said.empty() ? 0u : 1u);
        if (!messages.empty()) {
            EXPECT_EQ(messages[0], "The capture file \"" + path +
                                       "\" can no longer be read whole: " + c.said +
                                       ". Packets whose bytes it has lost show only their "
                                       "number and length.");
        }

        for (std::size_t i = c.kept; i < expected.size(); ++i) {
            expected[i].bytes.clear();
        }
        const std::string saved = folder.File("saved.pcap");
        ASSERT_TRUE(doc.SaveFile(saved, CaptureFileFormat::Pcap).Succeeded());
        EXPECT_EQ(ReadWithLibpcap(saved), expected);
        test::WriteWholeFile(path, Bytes(c.original.size(), 0));
        EXPECT_EQ(ReadWithDocument(doc), expected) << "read from the saved file";
        doc.SetPathName(saved);
        ASSERT_TRUE(doc.OnSaveDocument(saved).Succeeded());
        EXPECT_EQ(ReadWithDocument(doc), expected) << "read from the file saved over itself";
        EXPECT_EQ(messages.size(), c.said.empty() ? 0u : 1u);
    }
}

}  // namespace
}  // namespace wirelark
