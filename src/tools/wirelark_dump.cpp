// wirelark-dump: shows a capture file (Lark, pcap or pcapng) without a display, as the packet
// list's rows or as one packet's explorer tree with the byte range of each line.
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "decode/packet_row.h"
#include "decode/packet_tree.h"
#include "store/wirelark_doc.h"

namespace {

using namespace wirelark;

constexpr char kUsage[] =
    "usage: wirelark-dump FILE\n"
    "       wirelark-dump --tree N FILE\n"
    "FILE is a Lark capture (.cap) or a pcap or pcapng file, recognised by its content.\n"
    "Prints one line per stored packet with the eight list columns separated by tabs, or\n"
    "with --tree the explorer tree of packet N: one line per node, indented by level, with\n"
    "its icon index in brackets and, after a tab, the bytes the line stands for.\n";

struct COptions {
    std::string path;
    std::optional<int> treeNumber;
};

std::optional<int> ParsePacketNumber(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value <= 0) {
        return std::nullopt;
    }
    return value;
}

// False, with the reason on standard error, for anything but one file and an optional --tree N.
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

void PrintRows(const CWirelarkDoc& doc) {
    CPacketRow row;
    std::string line;
    for (const CPacketObj& packet : doc.GetPacketList()) {
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

int PrintTree(const CWirelarkDoc& doc, int number, const std::string& path) {
    const CPacketObj* packet = doc.FindPacket(number);
    if (packet == nullptr) {
        std::fprintf(stderr, "wirelark-dump: %s has no packet %d\n", path.c_str(), number);
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

    const int status = options.treeNumber ? PrintTree(doc, *options.treeNumber, options.path)
                                          : (PrintRows(doc), 0);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "wirelark-dump: cannot write the output: %s\n", std::strerror(errno));
        return 1;
    }
    return status;
}
