// The command-line companion run on saved capture files: its rows, its tree listing, its filter,
// its warnings and its refusals. Runs the program built beside this test suite.
#include <gtest/gtest.h>
#include <pcap/pcap.h>
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

    // Forty packets of many kinds (TCP and UDP to three ports each, ICMP, IGMP, ARP broadcast,
    // IPv6; four hosts, several TTLs and sizes) as mix.pcap and mix.pcapng.
    std::vector<test::CPcapPacket> WriteMix() const {
        using test::CIpv4Fields;
        std::vector<test::CPcapPacket> packets;
        const auto add = [&](std::vector<std::uint8_t> frame) {
            const auto length = static_cast<std::uint32_t>(frame.size());
            packets.push_back({1'700'000'000, static_cast<std::uint32_t>(packets.size()), length,
                               std::move(frame)});
        };
        for (std::uint8_t host = 1; host <= 4; ++host) {
            const CIpv4Fields ip{.timeToLive = static_cast<std::uint8_t>(32 * host),
                                 .protocol = 6,
                                 .destination = {10, 0, 0, host}};
            for (const std::uint16_t port :
                 {std::uint16_t{22}, std::uint16_t{80}, std::uint16_t{443}}) {
                add(CFrameBuilder()
                        .Ethernet()
                        .Ipv4(ip)
                        .Tcp({.destinationPort = port})
                        .PadTo(60)
                        .Build());
            }
            CIpv4Fields udp = ip;
            udp.protocol = 17;
            for (const std::uint16_t port :
                 {std::uint16_t{9}, std::uint16_t{53}, std::uint16_t{123}}) {
                add(CFrameBuilder()
                        .Ethernet()
                        .Ipv4(udp)
                        .Udp({.destinationPort = port})
                        .Payload(static_cast<std::size_t>(40 * host))
                        .Build());
            }
            CIpv4Fields icmp = ip;
            icmp.protocol = 1;
            add(CFrameBuilder().Ethernet().Ipv4(icmp).Icmp().PadTo(60).Build());
            CIpv4Fields igmp = ip;
            igmp.protocol = 2;
            add(CFrameBuilder().Ethernet().Ipv4(igmp).Payload(8).PadTo(60).Build());
            add(CFrameBuilder()
                    .Ethernet({.dst = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, .etherType = 0x0806})
                    .Arp({.targetIp = {10, 0, 0, host}})
                    .PadTo(60)
                    .Build());
            add(CFrameBuilder().Ethernet({.etherType = 0x86DD}).Payload(60).Build());
        }
        test::WriteWholeFile(m_folder.File("mix.pcapng"), test::MakePcapng(packets));
        test::WriteWholeFile(m_folder.File("mix.pcap"), test::MakePcap(packets));
        return packets;
    }

    // Runs the dump with `arguments` (or `command` instead) in the fixture's folder, its output
    // to `out` there; the exit status.
    int Run(const std::string& arguments, const std::string& out,
            const std::string& command = {}) const {
        const std::string line =
            "cd " + m_folder.Path().string() + " && " +
            (command.empty() ? m_program.string() + " " + arguments : command) +
            (out.empty() ? "" : " >" + out);
        const int status = std::system(line.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    static std::vector<std::uint8_t> CBytesOf(std::string_view text) {
        return {text.begin(), text.end()};
    }

    // The packet numbers the dump lists, from the first column of its rows.
    std::vector<std::string> NumbersListed(const std::string& arguments) const {
        const std::string command = "cd " + m_folder.Path().string() + " && " + m_program.string() +
                                    " " + arguments + " >out.txt";
        EXPECT_EQ(std::system(command.c_str()), 0);
        std::istringstream out(TextOf(m_folder.File("out.txt")));
        std::vector<std::string> numbers;
        for (std::string line; std::getline(out, line);) {
            numbers.push_back(line.substr(0, line.find('\t')));
        }
        return numbers;
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
        // Reading stops at the tree's packet, short of the damage.
        {"--tree 1 cut.pcap", 0, 38, tcpTree, ""},
        // A packet without bytes matches no filter but the empty one.
        {"--filter 'not arp' three.cap", 0, 1, {kRows[0]}, ""},
        {"--filter '' three.pcap", 0, 3, kRows, ""},
        {"--filter arp --tree 2 three.cap", 0, 15, {}, ""},
    });
}

// libpcap itself, reading the pcapng file and running the filter over each packet, is the
// judge: the dump keeps the same packets from the pcap, pcapng and .cap forms of the file.
TEST_F(WirelarkDump, AFilterKeepsThePacketsLibpcapItselfMatches) {
    const std::vector<test::CPcapPacket> packets = WriteMix();
    CWirelarkDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(m_folder.File("mix.pcap")).Succeeded());
    ASSERT_TRUE(doc.OnSaveDocument(m_folder.File("mix.cap")).Succeeded());

    for (const std::string expression :
         {"tcp", "udp port 53", "icmp", "arp", "ip6", "not ip", "host 10.0.0.3",
          "tcp and (dst port 80 or dst port 443)", "ip[8] < 100", "ether broadcast", "greater 100",
          "ip proto 2 or udp dst portrange 100-200"}) {
        SCOPED_TRACE(expression);
        char error[PCAP_ERRBUF_SIZE] = {};
        pcap_t* file = pcap_open_offline(m_folder.File("mix.pcapng").c_str(), error);
        ASSERT_NE(file, nullptr) << error;
        bpf_program program{};
        ASSERT_EQ(pcap_compile(file, &program, expression.c_str(), 1, PCAP_NETMASK_UNKNOWN), 0);
        std::vector<std::string> wanted;
        pcap_pkthdr* header = nullptr;
        const u_char* data = nullptr;
        for (int number = 1; pcap_next_ex(file, &header, &data) == 1; ++number) {
            if (pcap_offline_filter(&program, header, data) != 0) {
                wanted.push_back(std::to_string(number));
            }
        }
        pcap_freecode(&program);
        pcap_close(file);
        ASSERT_FALSE(wanted.empty());
        ASSERT_LT(wanted.size(), packets.size());
        for (const char* name : {"mix.pcap", "mix.pcapng", "mix.cap"}) {
            SCOPED_TRACE(name);
            EXPECT_EQ(NumbersListed("--filter '" + expression + "' " + name), wanted);
        }
    }
}

// Scripts read the same rows as CSV or as JSON: Python's own readers give back the tab rows (the
// JSON columns trimmed), with the capture time in UTC and both lengths; -c stops early.
TEST_F(WirelarkDump, CsvAndJsonReadBackAsTheRows) {
    if (std::system("command -v python3 >/dev/null") != 0) {
        GTEST_SKIP() << "python3 is not installed";
    }
    const auto packets = WriteMix();
    ASSERT_EQ(Run("-c 30 mix.pcapng", "rows.txt"), 0);
    ASSERT_EQ(Run("-c 30 --csv mix.pcapng", "rows.csv"), 0);
    ASSERT_EQ(Run("-c 30 --json mix.pcapng", "rows.json"), 0);
    test::WriteWholeFile(m_folder.File("back.py"), CBytesOf(R"(
import csv, json
with open('rows.csv', newline='') as f:
    rows = list(csv.reader(f))
titles = ['ID', 'Time Stamp', 'Len', 'MAC Source', 'MAC Dest', 'Type', 'IP Source/Port',
          'IP Dest/Port']
assert rows[0] == titles, rows[0]
open('csv.txt', 'w').write(''.join('\t'.join(row) + '\n' for row in rows[1:]))
keys = ['id', 'time_stamp', 'len', 'mac_source', 'mac_dest', 'type', 'ip_source_port',
        'ip_dest_port']
with open('rows.json') as f, open('json.txt', 'w') as out:
    for line in f:
        row = json.loads(line)
        out.write('\t'.join(row[key] for key in keys) + '\t%s\t%d\t%d\n' %
                  (row['time_utc'], row['wire_length'], row['captured_length']))
)"));
    ASSERT_EQ(Run("", "", "python3 back.py"), 0);
    const std::string rows = TextOf(m_folder.File("rows.txt"));
    EXPECT_EQ(TextOf(m_folder.File("csv.txt")), rows);

    std::istringstream lines(rows);
    std::string wanted;
    std::size_t index = 0;
    for (std::string line; std::getline(lines, line); ++index) {
        std::vector<std::string> fields(1);
        for (const char c : line) {
            if (c == '\t') {
                fields.emplace_back();
            } else {
                fields.back().push_back(c);
            }
        }
        for (const std::string& field : fields) {
            wanted += field.substr(0, field.find_last_not_of(' ') + 1) + '\t';
        }
        char time[40];
        std::snprintf(time, sizeof time, "2023-11-14T22:13:20.%06uZ", packets[index].fraction);
        const auto size = std::to_string(packets[index].bytes.size());
        wanted += std::string(time) + '\t' + size + '\t' + size + '\n';
    }
    EXPECT_EQ(index, 30u);
    EXPECT_EQ(TextOf(m_folder.File("json.txt")), wanted);
}

// -w writes what would be printed, as pcap or as a Lark capture by the name: libpcap reads the
// pcap back record for record as the source's matching ones, and the .cap lists the same rows.
TEST_F(WirelarkDump, MinusWWritesTheChosenPacketsAsPcapOrLark) {
    WriteMix();
    ASSERT_EQ(Run("--filter udp -w udp.pcap mix.pcapng", "out.txt"), 0);
    ASSERT_EQ(Run("--filter udp -c 5 -w udp.cap mix.pcap", "out.txt"), 0);
    EXPECT_TRUE(TextOf(m_folder.File("out.txt")).empty()) << "nothing is printed with -w";
    const auto records = [&](const std::string& name, const char* expression) {
        char error[PCAP_ERRBUF_SIZE] = {};
        pcap_t* file = pcap_open_offline(m_folder.File(name).c_str(), error);
        EXPECT_NE(file, nullptr) << error;
        std::vector<std::string> found;
        if (file == nullptr) {
            return found;
        }
        bpf_program program{};
        EXPECT_EQ(pcap_compile(file, &program, expression, 1, PCAP_NETMASK_UNKNOWN), 0);
        pcap_pkthdr* header = nullptr;
        const u_char* data = nullptr;
        while (pcap_next_ex(file, &header, &data) == 1) {
            if (pcap_offline_filter(&program, header, data) != 0) {
                found.push_back(std::to_string(header->ts.tv_sec) + "." +
                                std::to_string(header->ts.tv_usec) + " " +
                                std::to_string(header->len) + " " +
                                std::string(reinterpret_cast<const char*>(data), header->caplen));
            }
        }
        pcap_freecode(&program);
        pcap_close(file);
        return found;
    };
    const auto written = records("udp.pcap", "");
    EXPECT_EQ(written.size(), 12u);
    EXPECT_EQ(written, records("mix.pcapng", "udp"));

    ASSERT_EQ(Run("udp.cap", "cap.txt"), 0);
    ASSERT_EQ(Run("--filter udp -c 5 mix.pcap", "source.txt"), 0);
    const std::string listed = TextOf(m_folder.File("cap.txt"));
    EXPECT_EQ(listed, TextOf(m_folder.File("source.txt")));
    EXPECT_EQ(std::count(listed.begin(), listed.end(), '\n'), 5);
}

// --stats prints the counts of the packets it would otherwise print, as three tables.
TEST_F(WirelarkDump, StatsPrintsTheTablesOfTheChosenPackets) {
    using test::CIpv4Fields;
    const auto ip = [](std::uint8_t protocol, test::Ip source, test::Ip destination) {
        return CIpv4Fields{.protocol = protocol, .source = source, .destination = destination};
    };
    const test::Ip client{192, 168, 0, 1};
    const test::Ip server{10, 0, 0, 2};
    const test::Ip other{10, 0, 0, 3};
    const std::vector<std::pair<std::vector<std::uint8_t>, std::uint32_t>> frames = {
        {CFrameBuilder().Ethernet().Ipv4(ip(6, client, server)).Tcp().PadTo(60).Build(), 60},
        {CFrameBuilder()
             .Ethernet()
             .Ipv4(ip(6, server, client))
             .Tcp({.sourcePort = 80, .destinationPort = 51000})
             .Payload(100)
             .Build(),
         1514},
        {CFrameBuilder()
             .Ethernet()
             .Ipv4(ip(17, server, other))
             .Udp({.destinationPort = 5353})
             .Payload(58)
             .Build(),
         100},
        {CFrameBuilder().Ethernet().Ipv4(ip(1, other, server)).Icmp().Payload(56).Build(), 98},
        {CFrameBuilder().Ethernet({.etherType = 0x0806}).Arp().PadTo(60).Build(), 60},
        {CFrameBuilder().Ethernet({.etherType = 0x86DD}).Payload(76).Build(), 90},
    };
    std::vector<test::CPcapPacket> packets;
    for (const auto& [bytes, wireLength] : frames) {
        packets.push_back({1'700'000'000, 0, wireLength, bytes});
    }
    test::WriteWholeFile(m_folder.File("stats.pcap"), test::MakePcap(packets));

    ASSERT_EQ(Run("--stats stats.pcap", "all.txt"), 0);
    EXPECT_EQ(TextOf(m_folder.File("all.txt")),
              "Protocols\n"
              "IPv4-TCP\t2\t1574\n34525\t1\t90\nARP\t1\t60\nIPv4-ICMP\t1\t98\n"
              "IPv4-UDP\t1\t100\n"
              "Conversations\n"
              "10.0.0.2\t80\t192.168.0.1\t51000\tTCP\t2\t1574\n"
              "10.0.0.2\t53\t10.0.0.3\t5353\tUDP\t1\t100\n"
              "10.0.0.2\t\t10.0.0.3\t\tICMP\t1\t98\n"
              "Endpoints\n"
              "10.0.0.2\t4\t1772\n192.168.0.1\t2\t1574\n10.0.0.3\t2\t198\n");
    ASSERT_EQ(Run("--filter 'not arp' -c 3 --stats stats.pcap", "some.txt"), 0);
    EXPECT_EQ(TextOf(m_folder.File("some.txt")),
              "Protocols\nIPv4-TCP\t2\t1574\nIPv4-UDP\t1\t100\n"
              "Conversations\n"
              "10.0.0.2\t80\t192.168.0.1\t51000\tTCP\t2\t1574\n"
              "10.0.0.2\t53\t10.0.0.3\t5353\tUDP\t1\t100\n"
              "Endpoints\n"
              "10.0.0.2\t3\t1674\n192.168.0.1\t2\t1574\n10.0.0.3\t1\t100\n");
    ASSERT_EQ(Run("--filter arp --stats stats.pcap", "none.txt"), 0);
    EXPECT_EQ(TextOf(m_folder.File("none.txt")),
              "Protocols\nARP\t1\t60\nConversations\nEndpoints\n");
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
        {"--csv --json three.cap", 2},
        {"--csv --tree 1 three.cap", 2},
        {"-w out.txt three.cap", 2, 0, {}, "-w writes a .pcap or a .cap file"},
        {"-w missing/out.pcap three.cap", 1, 0, {}, "cannot write missing/out.pcap"},
        {"-c 0 three.cap", 2},
        {"-c 1 -c 2 three.cap", 2},
        {"--stats --csv three.cap", 2},
        {"--json --stats three.cap", 2},
        {"--stats -w out.pcap three.cap", 2},
        {"--stats --tree 1 three.cap", 2},
        {"--stats --stats three.cap", 2},
    });
}

}  // namespace
}  // namespace wirelark
