// The command-line companion run on saved capture files: its rows, its tree listing, its filter,
// its warnings and its refusals. Runs the program built beside this test suite.
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

std::string TextOf(const std::string& path) {
    const std::vector<std::uint8_t> bytes = test::ReadWholeFile(path);
    return {bytes.begin(), bytes.end()};
}

struct CCase {
    std::string arguments;  // file names in the fixture's folder
    int status;
    std::size_t lineCount = 0;
    std::vector<std::string> lines = {};  // appear in this order
    std::string err = "wirelark-dump: ";  // a part of standard error; empty: nothing on it
};

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
        ASSERT_TRUE(doc.OnSaveDocument(m_folder.File("three.cap")).Succeeded());
        ASSERT_TRUE(doc.SaveFile(m_folder.File("three.pcap"), CaptureFileFormat::Pcap).Succeeded());
    }

    void Check(const std::vector<CCase>& cases) const {
        for (const CCase& c : cases) {
            SCOPED_TRACE(c.arguments);
            const std::string command = "cd " + m_folder.Path().string() + " && " +
                                        m_program.string() + " " + c.arguments +
                                        " >out.txt 2>err.txt";
            const int status = std::system(command.c_str());
            EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, c.status);
            std::istringstream out(TextOf(m_folder.File("out.txt")));
            std::size_t count = 0;
            std::size_t found = 0;
            for (std::string line; std::getline(out, line); ++count) {
                found += found < c.lines.size() && line == c.lines[found] ? 1 : 0;
            }
            EXPECT_EQ(count, c.lineCount);
            EXPECT_EQ(found, c.lines.size()) << "missing: " << c.lines[found];
            const std::string err = TextOf(m_folder.File("err.txt"));
            EXPECT_EQ(err.empty(), c.err.empty()) << err;
            EXPECT_NE(err.find(c.err), std::string::npos) << err;
        }
    }

    test::CScratchFolder m_folder;
    // Built in src/ beside this suite's folder tests/.
    std::filesystem::path m_program =
        std::filesystem::canonical("/proc/self/exe").parent_path().parent_path() / "src" /
        "wirelark-dump";
};

TEST_F(WirelarkDump, PrintsTheRowsOrOnePacketsTreeAndWarnsAboutBytesItCouldNotRead) {
    std::vector<std::uint8_t> padded = test::ReadWholeFile(m_folder.File("three.cap"));
    padded.insert(padded.end(), 5, 0);
    test::WriteWholeFile(m_folder.File("padded.cap"), padded);
    std::vector<std::uint8_t> cut = test::ReadWholeFile(m_folder.File("three.pcap"));
    cut.resize(cut.size() - 10);  // into the header of the last, empty packet
    test::WriteWholeFile(m_folder.File("cut.pcap"), cut);
    test::WriteWholeFile(m_folder.File("empty.cap"), {});
    // Each tree line: its icon, indented by its level, and the bytes it stands for.
    const std::vector<std::string> tcpTree = {"[8] Packet Number:1", "  [9] Ethernet Header\t0-13",
                                              "      [12] SYN: 1 - (Synchronize sequence number)",
                                              "    [5] 6 byte(s) of data\t54-59"};
    Check({
        {"three.cap", 0, 3, kRows, ""},
        {"three.pcap", 0, 3, kRows, ""},
        {"--tree 1 three.cap", 0, 38, tcpTree, ""},
        {"--tree 1 three.pcap", 0, 38, tcpTree, ""},
        {"three.cap --tree 2", 0, 15, {"    [6] Operation: 1-(ARP Request)     \t20-21"}, ""},
        {"padded.cap", 0, 3, kRows,
         "wirelark-dump: padded.cap: The file has 5 bytes after its last packet; they were "
         "ignored.\n"},
        {"cut.pcap",
         0,
         2,
         {kRows[0], kRows[1]},
         "wirelark-dump: cut.pcap: The file is damaged or cut short after packet 2 ("},
        {"empty.cap", 0, 0, {}, ""},
        // A filter keeps the matching packets under their own numbers, whatever the format; a
        // packet without bytes matches no filter but the empty one.
        {"--filter arp three.cap", 0, 1, {kRows[1]}, ""},
        {"--filter 'tcp dst port 80' three.pcap", 0, 1, {kRows[0]}, ""},
        {"--filter 'not arp' three.cap", 0, 1, {kRows[0]}, ""},
        {"--filter '' three.pcap", 0, 3, kRows, ""},
        {"--filter arp --tree 2 three.cap", 0, 15, {}, ""},
    });
}

TEST_F(WirelarkDump, RefusesWithAMessageAndNonZeroStatus) {
    test::WriteWholeFile(m_folder.File("junk.cap"), {'n', 'o', 't', ' ', 'a', ' ', 'c', 'a', 'p'});
    const auto frame = CFrameBuilder().Ethernet().Ipv4().Tcp().PadTo(60).Build();
    test::WriteWholeFile(
        m_folder.File("sll.pcap"),
        test::MakePcap({{1'700'000'000, 7, 60, frame}}, {false, false, test::kLinkLinuxSll}));
    Check({
        {"", 2},
        {"missing.cap", 1},
        {"junk.cap", 1},
        {"sll.pcap", 1, 0, {}, "LINUX_SLL"},
        {"--tree 9 three.cap", 1},
        {"--tree 3 three.cap", 1},
        {"--tree 0 three.cap", 2},
        {"--tree x three.cap", 2},
        {"--tree", 2},
        {"--bogus three.cap", 2},
        {"three.cap three.cap", 2},
        {"--filter 'tcp prt 80' three.cap",
         2,
         0,
         {},
         "wirelark-dump: The capture filter \"tcp prt 80\" cannot be used: "},
        {"--filter", 2},
        {"--filter arp --filter tcp three.cap", 2},
        {"--filter arp --tree 1 three.cap", 1, 0, {}, "does not match the filter"},
    });
}

}  // namespace
}  // namespace wirelark
