// wirelark-dump: shows a capture file (Lark, pcap or pcapng) without a display, as the packet
// list's rows, as one packet's explorer tree with the byte range of each line, or as traffic
// statistics, optionally keeping only the packets a filter in libpcap's language matches.
#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "capture/capture_filter.h"
#include "decode/packet_row.h"
#include "decode/packet_tree.h"
#include "decode/protocol_names.h"
#include "stats/traffic_statistics.h"
#include "store/wirelark_doc.h"

namespace {

using namespace wirelark;

constexpr char kUsage[] =
    "usage: wirelark-dump [--filter EXPR] [-c N] [--csv | --json | --stats | -w OUT] FILE\n"
    "       wirelark-dump [--filter EXPR] --tree N FILE\n"
    "FILE is a Lark capture (.cap) or a pcap or pcapng file, recognised by its content.\n"
    "Prints one line per stored packet with the eight list columns separated by tabs, or\n"
    "with --tree the explorer tree of packet N: one line per node, indented by level, with\n"
    "its icon index in brackets and, after a tab, the bytes the line stands for.\n"
    "  --filter EXPR  only the packets that EXPR, in libpcap's filter language, matches\n"
    "  -c N           stop after N packets\n"
    "  --csv          the eight columns as CSV (RFC 4180), after a line of their titles\n"
    "  --json         one JSON object a line: the eight columns, the capture time in UTC,\n"
    "                 the wire length and the captured length\n"
    "  --stats        counts instead of rows: packets and bytes per type, per IPv4\n"
    "                 conversation and per IPv4 address, as three tab-separated tables\n"
    "  -w OUT         write the packets to OUT instead, as pcap or as a Lark capture as\n"
    "                 OUT ends in .pcap or .cap\n"
    "  --tree N       the explorer tree of packet N\n"
    "  -h, --help     this text\n";

enum class OutputFormat { Tabs, Csv, Json };

struct COptions {
    std::string path;
    std::optional<int> treeNumber;
    std::optional<std::string> filter;
    std::optional<int> count;
    std::optional<OutputFormat> format;
    std::optional<std::string> outPath;
    bool bStats = false;
};

std::optional<int> ParsePacketNumber(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value <= 0) {
        return std::nullopt;
    }
    return value;
}

// The value after option `argv[i]`, moving `i` on; nullopt with the reason on standard error when
// it is missing or the option was given before.
template <typename Value>
bool TakeValue(int argc, char** argv, int& i, std::optional<Value>& value, const char* what) {
    if (i + 1 >= argc || value) {
        std::fprintf(stderr, "wirelark-dump: %s needs one %s\n", argv[i], what);
        return false;
    }
    value = argv[++i];
    return true;
}

// False, with the reason on standard error, for anything but one file and the options of
// kUsage, each at most once, with --csv, --json, --stats, -w and --tree excluding each other.
bool ParseArguments(int argc, char** argv, COptions& options) {
    bool havePath = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        }
        if (argument == "--tree") {
            if (i + 1 >= argc || options.treeNumber) {
                std::fputs("wirelark-dump: --tree needs one packet number\n", stderr);
                return false;
            }
            options.treeNumber = ParsePacketNumber(argv[++i]);
            if (!options.treeNumber) {
                std::fprintf(stderr, "wirelark-dump: not a packet number: %s\n", argv[i]);
                return false;
            }
        } else if (argument == "--filter") {
            if (!TakeValue(argc, argv, i, options.filter, "expression")) {
                return false;
            }
        } else if (argument == "-w") {
            if (!TakeValue(argc, argv, i, options.outPath, "output file")) {
                return false;
            }
        } else if (argument == "-c") {
            std::optional<std::string> text;
            if (options.count) {
                std::fputs("wirelark-dump: give -c once\n", stderr);
                return false;
            }
            if (!TakeValue(argc, argv, i, text, "packet count")) {
                return false;
            }
            options.count = ParsePacketNumber(*text);
            if (!options.count) {
                std::fprintf(stderr, "wirelark-dump: not a packet count: %s\n", text->c_str());
                return false;
            }
        } else if (argument == "--stats") {
            if (options.bStats) {
                std::fputs("wirelark-dump: give --stats once\n", stderr);
                return false;
            }
            options.bStats = true;
        } else if (argument == "--csv" || argument == "--json") {
            if (options.format) {
                std::fputs("wirelark-dump: give one of --csv and --json\n", stderr);
                return false;
            }
            options.format = argument == "--csv" ? OutputFormat::Csv : OutputFormat::Json;
        } else if (argument.size() > 1 && argument[0] == '-' && argument != "--") {
            std::fprintf(stderr, "wirelark-dump: unknown option %s\n", argv[i]);
            return false;
        } else {
            if (argument == "--") {
                if (++i >= argc) {
                    break;
                }
            }
            if (havePath) {
                std::fputs("wirelark-dump: give one capture file\n", stderr);
                return false;
            }
            options.path = argv[i];
            havePath = true;
        }
    }
    if (!havePath) {
        std::fputs("wirelark-dump: no capture file given\n", stderr);
        return false;
    }
    if ((options.format ? 1 : 0) + (options.outPath ? 1 : 0) + (options.treeNumber ? 1 : 0) +
            (options.bStats ? 1 : 0) >
        1) {
        std::fputs("wirelark-dump: --csv, --json, --stats, -w and --tree exclude each other\n",
                   stderr);
        return false;
    }
    return true;
}

// OUT's format, from its extension.
std::optional<CaptureFileFormat> OutputFileFormat(const std::string& path) {
    const auto endsWith = [&](std::string_view tail) {
        return path.size() > tail.size() &&
               std::equal(tail.rbegin(), tail.rend(), path.rbegin(), [](char a, char b) {
                   return a == std::tolower(static_cast<unsigned char>(b));
               });
    };
    if (endsWith(".pcap")) {
        return CaptureFileFormat::Pcap;
    }
    if (endsWith(".cap")) {
        return CaptureFileFormat::Lark;
    }
    return std::nullopt;
}

bool Matches(const CFrameFilter& filter, const CPacketObj& packet) {
    return filter.Matches(packet.GetBytes(), static_cast<std::uint32_t>(packet.GetLength()));
}

std::string_view Trimmed(std::string_view text) {
    const std::size_t end = text.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

// RFC 4180: a field with a comma, a quote or a line break is quoted, its quotes doubled.
void AppendCsvField(std::string& line, std::string_view field) {
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
        line.append(field);
        return;
    }
    line.push_back('"');
    for (const char c : field) {
        line.append(c == '"' ? "\"\"" : std::string_view(&c, 1));
    }
    line.push_back('"');
}

void AppendJsonString(std::string& line, std::string_view text) {
    line.push_back('"');
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            line.push_back('\\');
            line.push_back(c);
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            line.append(escaped);
        } else {
            line.push_back(c);
        }
    }
    line.push_back('"');
}

// "2023-11-14T22:13:20.000007Z", or null for a packet without a capture time.
void AppendJsonTime(std::string& line, const std::optional<CPacketTime>& time) {
    std::tm utc{};
    const auto seconds = static_cast<std::time_t>(time ? time->seconds : 0);
    if (!time || gmtime_r(&seconds, &utc) == nullptr) {
        line.append("null");
        return;
    }
    char text[64];
    const std::size_t length = std::strftime(text, sizeof text, "\"%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(text + length, sizeof text - length, ".%06uZ\"",
                  static_cast<unsigned>(time->nanoseconds / 1000));
    line.append(text);
}

constexpr std::array<const char*, kColumnCount> kJsonKeys = {
    "id", "time_stamp", "len", "mac_source", "mac_dest", "type", "ip_source_port", "ip_dest_port"};

void FormatLine(OutputFormat format, const CPacketObj& packet, const CPacketRow& row,
                std::string& line) {
    line.clear();
    for (int column = 0; column < kColumnCount; ++column) {
        if (format == OutputFormat::Json) {
            line.append(column == 0 ? "{" : ",");
            AppendJsonString(line, kJsonKeys[static_cast<std::size_t>(column)]);
            line.push_back(':');
            AppendJsonString(line, Trimmed(row[column]));
            continue;
        }
        if (column != 0) {
            line.push_back(format == OutputFormat::Csv ? ',' : '\t');
        }
        if (format == OutputFormat::Csv) {
            AppendCsvField(line, row[column]);
        } else {
            line.append(row[column]);
        }
    }
    if (format == OutputFormat::Json) {
        line.append(",\"time_utc\":");
        AppendJsonTime(line, packet.GetTimestamp());
        line.append(",\"wire_length\":" + std::to_string(packet.GetLength()) +
                    ",\"captured_length\":" + std::to_string(packet.GetBytes().size()) + "}");
    }
    line.append(format == OutputFormat::Csv ? "\r\n" : "\n");
}

void PrintCsvTitles() {
    std::string line;
    for (int column = 0; column < kColumnCount; ++column) {
        line.append(column == 0 ? "" : ",");
        AppendCsvField(line, Trimmed(kColumnTitles[static_cast<std::size_t>(column)]));
    }
    line.append("\r\n");
    std::fwrite(line.data(), 1, line.size(), stdout);
}

// The tables of --stats, in the statistics' own orders (see CTrafficStatistics).
void PrintStatistics(const CTrafficStatistics& stats) {
    std::string text = "Protocols\n";
    for (const CProtocolRow& row : stats.GetProtocols()) {
        text +=
            row.type + '\t' + std::to_string(row.packets) + '\t' + std::to_string(row.bytes) + '\n';
    }
    text += "Conversations\n";
    const auto appendPort = [&text](bool bPorts, std::uint16_t port) {
        text += bPorts ? std::to_string(port) + '\t' : "\t";
    };
    for (const CConversationRow& row : stats.GetConversations()) {
        text += FormatDottedQuad(row.addressA) + '\t';
        appendPort(row.bPorts, row.portA);
        text += FormatDottedQuad(row.addressB) + '\t';
        appendPort(row.bPorts, row.portB);
        text += row.protocol + '\t' + std::to_string(row.Packets()) + '\t' +
                std::to_string(row.Bytes()) + '\n';
    }
    text += "Endpoints\n";
    for (const CEndpointRow& row : stats.GetEndpoints()) {
        text += FormatDottedQuad(row.address) + '\t' + std::to_string(row.Packets()) + '\t' +
                std::to_string(row.Bytes()) + '\n';
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
}

// Takes the packets as they are read, one at a time, keeping only the one --tree shows and, for
// --stats, the counts.
class CPacketTaker {
public:
    CPacketTaker(const COptions& options, const CFrameFilter& filter)
        : m_options(options), m_filter(filter) {}

    // False once no further packet is wanted.
    bool Take(const CPacketObj& packet) {
        if (m_options.treeNumber) {
            if (packet.GetNumber() != *m_options.treeNumber) {
                return true;
            }
            m_bStored = m_chosen.AddCopy(packet);
            return false;  // the first packet with the number, as the list finds it
        }
        if (!Matches(m_filter, packet)) {
            return true;
        }
        ++m_count;
        if (m_options.bStats) {
            m_stats.Add(packet.GetNumber(), packet.GetTimestamp().value_or(CPacketTime{}),
                        packet.GetLength(), packet.GetBytes());
        } else {
            FormatPacketRow(packet.GetNumber(), packet.GetTimeText(), packet.GetLength(),
                            packet.GetBytes(), m_row);
            FormatLine(m_options.format.value_or(OutputFormat::Tabs), packet, m_row, m_line);
            std::fwrite(m_line.data(), 1, m_line.size(), stdout);
        }
        return !(m_options.count && m_count == *m_options.count);
    }

    // Prints the tree once the packets are read; 0 when there was nothing to print.
    int Finish() {
        if (!m_bStored) {
            std::fputs("wirelark-dump: not enough memory for the packet\n", stderr);
            return 1;
        }
        if (m_options.bStats) {
            PrintStatistics(m_stats);
            return 0;
        }
        return m_options.treeNumber
                   ? PrintTree(m_chosen, m_filter, *m_options.treeNumber, m_options.path)
                   : 0;
    }

private:
    int PrintTree(const CWirelarkDoc& doc, const CFrameFilter& filter, int number,
                  const std::string& path);

    const COptions& m_options;
    const CFrameFilter& m_filter;
    CWirelarkDoc m_chosen;
    CTrafficStatistics m_stats;
    CPacketRow m_row;
    std::string m_line;
    int m_count = 0;
    bool m_bStored = true;
};

void PrintNode(const CWirelarkDoc& doc, const CPacketTree& tree, int index, int depth) {
    const CExplorerNode& node = tree.nodes[static_cast<std::size_t>(index)];
    std::printf("%*s[%d] %s", depth * 2, "", node.icon, node.text.c_str());
    int first = 0;
    int last = 0;
    if (index != tree.root &&
        doc.GetFieldByteRange(tree.RootText(), tree.ParentText(index), node.text, first, last)) {
        std::printf("\t%d-%d", first, last);
    }
    std::putchar('\n');
    for (const int child : node.children) {
        PrintNode(doc, tree, child, depth + 1);
    }
}

int CPacketTaker::PrintTree(const CWirelarkDoc& doc, const CFrameFilter& filter, int number,
                            const std::string& path) {
    const CPacketObj* packet = doc.FindPacket(number);
    if (packet == nullptr) {
        std::fprintf(stderr, "wirelark-dump: %s has no packet %d\n", path.c_str(), number);
        return 1;
    }
    if (!Matches(filter, *packet)) {
        std::fprintf(stderr, "wirelark-dump: packet %d of %s does not match the filter\n", number,
                     path.c_str());
        return 1;
    }
    CPacketTree tree;
    if (!BuildPacketTree(number, packet->GetBytes(), tree)) {
        std::fprintf(stderr, "wirelark-dump: packet %d of %s holds no bytes\n", number,
                     path.c_str());
        return 1;
    }
    PrintNode(doc, tree, tree.root, 0);
    return 0;
}

}  // namespace

void ReportReadFailure(const std::string& path, const DocumentOutcome& outcome) {
    if (outcome.error == DocumentError::UnsupportedLinkType) {
        std::fprintf(stderr, "wirelark-dump: %s: %s\n", path.c_str(), outcome.reason.c_str());
    } else if (outcome.error == DocumentError::UnexpectedFormat) {
        std::fprintf(stderr, "wirelark-dump: %s is not a capture file or is damaged (%s)\n",
                     path.c_str(), outcome.reason.c_str());
    } else {
        std::fprintf(stderr, "wirelark-dump: cannot read %s: %s\n", path.c_str(),
                     outcome.reason.empty() ? "unknown error" : outcome.reason.c_str());
    }
}

void ReportWarning(const std::string& path, const DocumentOutcome& outcome) {
    if (!outcome.warning.empty()) {
        std::fprintf(stderr, "wirelark-dump: %s: %s\n", path.c_str(), outcome.warning.c_str());
    }
}

// The chosen packets to OUT, read twice from the file (to count them, then to write them) so
// that none is kept; atomically, so that a failure leaves what was there before.
int WritePackets(const COptions& options, const CFrameFilter& filter) {
    std::optional<DocumentOutcome> read;
    const auto replay = [&](const CWirelarkDoc::PacketVisitor& take) {
        int chosen = 0;
        read = CWirelarkDoc::ReadFilePackets(options.path, [&](const CPacketObj& packet) {
            if (!Matches(filter, packet)) {
                return true;
            }
            ++chosen;
            return take(packet) && !(options.count && chosen == *options.count);
        });
        return *read;
    };
    const DocumentOutcome saved =
        CWirelarkDoc::SavePackets(*options.outPath, *OutputFileFormat(*options.outPath), replay);
    if (read && !read->Succeeded()) {
        ReportReadFailure(options.path, *read);
        return 1;
    }
    if (read) {
        ReportWarning(options.path, *read);
    }
    if (!saved.Succeeded()) {
        std::fprintf(stderr, "wirelark-dump: cannot write %s: %s\n", options.outPath->c_str(),
                     saved.reason.c_str());
        return 1;
    }
    return 0;
}

int main(int argc, char** argv) {
    COptions options;
    if (!ParseArguments(argc, argv, options)) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    if (options.outPath && !OutputFileFormat(*options.outPath)) {
        std::fprintf(stderr, "wirelark-dump: %s: -w writes a .pcap or a .cap file\n",
                     options.outPath->c_str());
        return 2;
    }
    // A filter that does not compile is a usage error, found before the file is read.
    CFrameFilter filter;
    if (options.filter) {
        const std::string error = filter.Compile(*options.filter);
        if (!error.empty()) {
            std::fprintf(stderr, "wirelark-dump: %s\n",
                         CaptureFilterMessage(*options.filter, error).c_str());
            return 2;
        }
    }

    if (options.outPath) {
        return WritePackets(options, filter);
    }
    if (options.format == OutputFormat::Csv) {
        PrintCsvTitles();
    }
    // Rows are printed as the packets are read, so memory does not grow with the file.
    CPacketTaker taker(options, filter);
    const DocumentOutcome outcome = CWirelarkDoc::ReadFilePackets(
        options.path, [&taker](const CPacketObj& packet) { return taker.Take(packet); });
    if (!outcome.Succeeded()) {
        std::fflush(stdout);
        ReportReadFailure(options.path, outcome);
        return 1;
    }
    ReportWarning(options.path, outcome);
    const int status = taker.Finish();
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "wirelark-dump: cannot write the output: %s\n", std::strerror(errno));
        return 1;
    }
    return status;
}
