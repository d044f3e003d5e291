// wirelark-dump: shows a capture file (Lark, pcap or pcapng) without a display, as the packet
// list's rows or as one packet's explorer tree with the byte range of each line, optionally
// keeping only the packets a filter in libpcap's language matches.
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "capture/capture_filter.h"
#include "decode/packet_row.h"
#include "decode/packet_tree.h"
#include "store/wirelark_doc.h"

namespace {

using namespace wirelark;

constexpr char kUsage[] =
    "usage: wirelark-dump [--filter EXPR] FILE\n"
    "       wirelark-dump [--filter EXPR] --tree N FILE\n"
    "FILE is a Lark capture (.cap) or a pcap or pcapng file, recognised by its content.\n"
    "Prints one line per stored packet with the eight list columns separated by tabs, or\n"
    "with --tree the explorer tree of packet N: one line per node, indented by level, with\n"
    "its icon index in brackets and, after a tab, the bytes the line stands for.\n"
    "--filter keeps only the packets that EXPR, in libpcap's filter language, matches.\n";

struct COptions {
    std::string path;
    std::optional<int> treeNumber;
    std::optional<std::string> filter;
};

std::optional<int> ParsePacketNumber(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value <= 0) {
        return std::nullopt;
    }
    return value;
}

// False, with the reason on standard error, for anything but one file, an optional --tree N and
// an optional --filter EXPR.
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
            if (i + 1 >= argc || options.filter) {
                std::fputs("wirelark-dump: --filter needs one expression\n", stderr);
                return false;
            }
            options.filter = argv[++i];
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
    }
    return havePath;
}

bool Matches(const CFrameFilter& filter, const CPacketObj& packet) {
    return filter.Matches(packet.GetBytes(), static_cast<std::uint32_t>(packet.GetLength()));
}

void PrintRows(const CWirelarkDoc& doc, const CFrameFilter& filter) {
    CPacketRow row;
    std::string line;
    for (const CPacketObj& packet : doc.GetPacketList()) {
        if (!Matches(filter, packet)) {
            continue;
        }
        FormatPacketRow(packet.GetNumber(), packet.GetTimeText(), packet.GetLength(),
                        packet.GetBytes(), row);
        line.clear();
        for (int column = 0; column < kColumnCount; ++column) {
            if (column != 0) {
                line.push_back('\t');
            }
            line.append(row[column]);
        }
        line.push_back('\n');
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
}

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

int PrintTree(const CWirelarkDoc& doc, const CFrameFilter& filter, int number,
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

int main(int argc, char** argv) {
    COptions options;
    if (!ParseArguments(argc, argv, options)) {
        std::fputs(kUsage, stderr);
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

    CWirelarkDoc doc;
    const DocumentOutcome outcome = doc.OnOpenDocument(options.path);
    if (!outcome.Succeeded()) {
        if (outcome.error == DocumentError::UnsupportedLinkType) {
            std::fprintf(stderr, "wirelark-dump: %s: %s\n", options.path.c_str(),
                         outcome.reason.c_str());
        } else if (outcome.error == DocumentError::UnexpectedFormat) {
            std::fprintf(stderr, "wirelark-dump: %s is not a capture file or is damaged (%s)\n",
                         options.path.c_str(), outcome.reason.c_str());
        } else {
            std::fprintf(stderr, "wirelark-dump: cannot read %s: %s\n", options.path.c_str(),
                         outcome.reason.empty() ? "unknown error" : outcome.reason.c_str());
        }
        return 1;
    }
    if (!outcome.warning.empty()) {
        std::fprintf(stderr, "wirelark-dump: %s: %s\n", options.path.c_str(),
                     outcome.warning.c_str());
    }

    const int status = options.treeNumber
                           ? PrintTree(doc, filter, *options.treeNumber, options.path)
                           : (PrintRows(doc, filter), 0);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "wirelark-dump: cannot write the output: %s\n", std::strerror(errno));
        return 1;
    }
    return status;
}
