// The command-line companion run on saved capture files: its rows, its tree listing and its
// refusals. Runs the program built beside this test suite.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "store/wirelark_doc.h"
#include "support/frame_builder.h"
#include "support/pcap_files.h"
#include "support/store_files.h"

namespace wirelark {
namespace {

using test::CFrameBuilder;

std::filesystem::path DumpProgram() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path()
                 : self.parent_path().parent_path() / "src" / "wirelark-dump";
}

struct CRun {
    int status = -1;
    std::vector<std::string> out;
    std::string err;
};

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

class WirelarkDump : public testing::Test {
protected:
    void SetUp() override {
        m_program = DumpProgram();
        if (!std::filesystem::exists(m_program)) {
            GTEST_SKIP() << "wirelark-dump is not built at " << m_program;
        }
        CWirelarkDoc doc;
        const auto tcp = CFrameBuilder().Ethernet().Ipv4().Tcp().PadTo(60).Build();
        const auto arp = CFrameBuilder().Ethernet({.etherType = 0x0806}).Arp().PadTo(60).Build();
        ASSERT_TRUE(doc.AddPacket(1, tcp, 60, "10:00:00,000007 "));
        ASSERT_TRUE(doc.AddPacket(2, arp, 60, "10:00:01,250000 "));
        ASSERT_TRUE(doc.AddPacket(3, std::span<const std::uint8_t>(), 0, "10:00:02,000000 "));
        ASSERT_TRUE(doc.OnSaveDocument(m_capture).Succeeded());
    }

    CRun Run(const std::string& arguments) const {
        const std::string out = m_folder.File("out.txt");
        const std::string err = m_folder.File("err.txt");
        const std::string command = m_program.string() + " " + arguments + " >" + out + " 2>" + err;
        CRun run;
        const int status = std::system(command.c_str());
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.out = Lines(out);
        std::ostringstream text;
        text << std::ifstream(err).rdbuf();
        run.err = text.str();
        return run;
    }

    test::CScratchFolder m_folder;
    std::string m_capture = m_folder.File("three.cap");
    std::filesystem::path m_program;
};

TEST_F(WirelarkDump, PrintsTheEightListColumnsOfEveryPacket) {
    const CRun run = Run(m_capture);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              (std::vector<std::string>{
                  "1\t10:00:00,000007 \t60\t66.77.88.99.AA.BB\t00.11.22.33.44.55\tIPv4-TCP\t"
                  "192.168.0.1/51000\t10.0.0.2/80",
                  "2\t10:00:01,250000 \t60\t66.77.88.99.AA.BB\t00.11.22.33.44.55\tARP\t\t",
                  "3\t10:00:02,000000 \t0\t\t\t\t\t",
              }));
}

TEST_F(WirelarkDump, PrintsOnePacketsTreeWithIconsAndByteRanges) {
    const CRun run = Run("--tree 1 " + m_capture);
    EXPECT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(run.out.size(), 38u);
    EXPECT_EQ(run.out[0], "[8] Packet Number:1");
    EXPECT_EQ(run.out[1], "  [9] Ethernet Header\t0-13");
    EXPECT_EQ(run.out[4], "    [10] Type:2048\t12-13");
    EXPECT_EQ(run.out[5], "  [7] IP Header\t14-33");
    EXPECT_EQ(run.out[18], "    [6] No Ip Options");
    EXPECT_EQ(run.out[19], "  [14] TCP Header\t34-53");
    EXPECT_EQ(run.out[25], "    [13] Flags: 0x02\t47-47");
    EXPECT_EQ(run.out[27], "      [12] SYN: 1 - (Synchronize sequence number)");
    EXPECT_EQ(run.out[36], "  [4] Data\t54-59");
    EXPECT_EQ(run.out[37], "    [5] 6 byte(s) of data\t54-59");

    const CRun arp = Run(m_capture + " --tree 2");
    EXPECT_EQ(arp.status, 0) << arp.err;
    ASSERT_EQ(arp.out.size(), 15u);
    EXPECT_EQ(arp.out[10], "    [6] Operation: 1-(ARP Request)     \t20-21");
}

TEST_F(WirelarkDump, RefusesWithAMessageAndNonZeroStatus) {
    test::WriteWholeFile(m_folder.File("junk.cap"), {'n', 'o', 't', ' ', 'a', ' ', 'c', 'a', 'p'});
    const auto frame = CFrameBuilder().Ethernet().Ipv4().Tcp().PadTo(60).Build();
    test::WriteWholeFile(
        m_folder.File("sll.pcap"),
        test::MakePcap({{1'700'000'000, 7, 60, frame}}, {false, false, test::kLinkLinuxSll}));
    struct CCase {
        std::string arguments;
        int status;
        std::string message = "";  // a part of it
    };
    for (const CCase& c : {
             CCase{"", 2},
             CCase{m_folder.File("missing.cap"), 1},
             CCase{m_folder.File("junk.cap"), 1},
             CCase{m_folder.File("sll.pcap"), 1, "LINUX_SLL"},
             CCase{m_folder.Path().string(), 1},
             CCase{"--tree 9 " + m_capture, 1},
             CCase{"--tree 3 " + m_capture, 1},
             CCase{"--tree 0 " + m_capture, 2},
             CCase{"--tree x " + m_capture, 2},
             CCase{"--tree", 2},
             CCase{"--bogus " + m_capture, 2},
             CCase{m_capture + " " + m_capture, 2},
         }) {
        const CRun run = Run(c.arguments);
        EXPECT_EQ(run.status, c.status) << c.arguments;
        EXPECT_FALSE(run.err.empty()) << c.arguments;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty()) << c.arguments;
    }
}

TEST_F(WirelarkDump, PrintsALarkFileWithBytesAfterItsLastPacketAndWarnsAboutThem) {
    const CRun whole = Run(m_capture);
    std::vector<std::uint8_t> bytes = test::ReadWholeFile(m_capture);
    bytes.insert(bytes.end(), 5, 0);
    test::WriteWholeFile(m_capture, bytes);
    const CRun run = Run(m_capture);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, whole.out);
    EXPECT_EQ(run.err, "wirelark-dump: " + m_capture +
                           ": The file has 5 bytes after its last packet; they were ignored.\n");

    test::WriteWholeFile(m_capture, {});
    const CRun empty = Run(m_capture);
    EXPECT_EQ(empty.status, 0);
    EXPECT_TRUE(empty.out.empty());
    EXPECT_EQ(empty.err, "");
}

TEST_F(WirelarkDump, PrintsAPcapCopyLikeTheLarkFileAndWarnsWhenItIsCutShort) {
    CWirelarkDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(m_capture).Succeeded());
    const std::string pcap = m_folder.File("three.pcap");
    ASSERT_TRUE(doc.SaveFile(pcap, CaptureFileFormat::Pcap).Succeeded());
    std::vector<std::uint8_t> bytes = test::ReadWholeFile(pcap);
    ASSERT_NE(bytes, test::ReadWholeFile(m_capture));

    const CRun fromLark = Run(m_capture);
    const CRun fromPcap = Run(pcap);
    EXPECT_EQ(fromPcap.status, 0) << fromPcap.err;
    EXPECT_EQ(fromPcap.out.size(), 3u);
    EXPECT_EQ(fromPcap.out, fromLark.out);
    EXPECT_EQ(Run("--tree 1 " + pcap).out, Run("--tree 1 " + m_capture).out);

    bytes.resize(bytes.size() - 10);  // into the header of the last, empty packet
    test::WriteWholeFile(pcap, bytes);
    const CRun partial = Run(pcap);
    EXPECT_EQ(partial.status, 0);
    EXPECT_EQ(partial.out,
              std::vector<std::string>(fromLark.out.begin(), fromLark.out.begin() + 2));
    EXPECT_NE(partial.err.find("after packet 2"), std::string::npos) << partial.err;
}

}  // namespace
}  // namespace wirelark
