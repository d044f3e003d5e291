// The command-line companion run on saved capture files: its rows, its tree listing, its warnings
// and its refusals. Runs the program built beside this test suite.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
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

// The rows of the three packets the fixture saves.
const std::vector<std::string> kRows = {
    "1\t10:00:00,000007 \t60\t66.77.88.99.AA.BB\t00.11.22.33.44.55\tIPv4-TCP\t"
    "192.168.0.1/51000\t10.0.0.2/80",
    "2\t10:00:01,250000 \t60\t66.77.88.99.AA.BB\t00.11.22.33.44.55\tARP\t\t",
    "3\t10:00:02,000000 \t0\t\t\t\t\t",
};

struct CRun {
    int status = -1;
    std::vector<std::string> out;
    std::string err;
};

std::string TextOf(const std::string& path) {
    const std::vector<std::uint8_t> bytes = test::ReadWholeFile(path);
    return {bytes.begin(), bytes.end()};
}

class WirelarkDump : public testing::Test {
protected:
    void SetUp() override {
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
        ASSERT_TRUE(doc.SaveFile(m_pcap, CaptureFileFormat::Pcap).Succeeded());
    }

    CRun Run(const std::string& arguments) const {
        const std::string out = m_folder.File("out.txt");
        const std::string err = m_folder.File("err.txt");
        const int status =
            std::system((m_program.string() + " " + arguments + " >" + out + " 2>" + err).c_str());
        CRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, {}, TextOf(err)};
        std::istringstream lines(TextOf(out));
        for (std::string line; std::getline(lines, line);) {
            run.out.push_back(line);
        }
        return run;
    }

    test::CScratchFolder m_folder;
    std::string m_capture = m_folder.File("three.cap");
    std::string m_pcap = m_folder.File("three.pcap");
    // Built in src/ beside this suite's folder tests/.
    std::filesystem::path m_program =
        std::filesystem::canonical("/proc/self/exe").parent_path().parent_path() / "src" /
        "wirelark-dump";
};

TEST_F(WirelarkDump, PrintsTheEightListColumnsOfEveryPacketOfALarkOrPcapFile) {
    for (const std::string& file : {m_capture, m_pcap}) {
        const CRun run = Run(file);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, kRows) << file;
        EXPECT_EQ(run.err, "");
    }
}

TEST_F(WirelarkDump, PrintsOnePacketsTreeWithIconsAndByteRanges) {
    const CRun run = Run("--tree 1 " + m_capture);
    EXPECT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(run.out.size(), 38u);
    EXPECT_EQ(run.out[0], "[8] Packet Number:1");
    EXPECT_EQ(run.out[1], "  [9] Ethernet Header\t0-13");
    EXPECT_EQ(run.out[27], "      [12] SYN: 1 - (Synchronize sequence number)");
    EXPECT_EQ(run.out[37], "    [5] 6 byte(s) of data\t54-59");
    EXPECT_EQ(Run("--tree 1 " + m_pcap).out, run.out);

    const CRun arp = Run(m_capture + " --tree 2");
    EXPECT_EQ(arp.status, 0) << arp.err;
    ASSERT_EQ(arp.out.size(), 15u);
    EXPECT_EQ(arp.out[10], "    [6] Operation: 1-(ARP Request)     \t20-21");
}

TEST_F(WirelarkDump, PrintsWhatAFileCutShortOrPaddedHoldsAndWarnsAboutTheRest) {
    std::vector<std::uint8_t> padded = test::ReadWholeFile(m_capture);
    padded.insert(padded.end(), 5, 0);
    std::vector<std::uint8_t> cut = test::ReadWholeFile(m_pcap);
    cut.resize(cut.size() - 10);  // into the header of the last, empty packet
    const struct {
        std::vector<std::uint8_t> bytes;
        std::size_t rows;
        std::string warning;  // how standard error begins after the program's name and the file's
    } cases[] = {
        {padded, 3, "The file has 5 bytes after its last packet; they were ignored.\n"},
        {cut, 2, "The file is damaged or cut short after packet 2 ("},
        {{}, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.warning);
        test::WriteWholeFile(m_capture, c.bytes);
        const CRun run = Run(m_capture);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, std::vector<std::string>(kRows.begin(), kRows.begin() + c.rows));
        const std::string start =
            c.warning.empty() ? "" : "wirelark-dump: " + m_capture + ": " + c.warning;
        EXPECT_TRUE(run.err.starts_with(start) && run.err.empty() == start.empty()) << run.err;
    }
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

}  // namespace
}  // namespace wirelark
