// The content of the packet explorer tree for one frame: a plain tree of texts and icon indices
// that the GUI inserts node by node, with references to the six nodes it expands.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace wirelark {

// Indices into the explorer's image strip.
namespace tree_icon {
inline constexpr int kData = 4;
inline constexpr int kPayloadSize = 5;
inline constexpr int kNetworkField = 6;
inline constexpr int kNetworkHeader = 7;
inline constexpr int kPacket = 8;
inline constexpr int kEthernetHeader = 9;
inline constexpr int kEthernetField = 10;
inline constexpr int kFlagClear = 11;
inline constexpr int kFlagSet = 12;
inline constexpr int kTransportField = 13;
inline constexpr int kTransportHeader = 14;
}  // namespace tree_icon

struct CExplorerNode {
    std::string text;
    int icon = 0;
    int parent = -1;  // -1 for a top-level node
    std::vector<int> children;
};

struct CPacketTree {
    static constexpr int kNone = -1;

    // In insertion order, so a parent always comes before its children and children keep the
    // order they are shown in.
    std::vector<CExplorerNode> nodes;
    int root = kNone;
    int ethernet = kNone;
    int network = kNone;    // "IP Header" or "ARP frame"
    int transport = kNone;  // "ICMP", "TCP Header" or "UDP Header"
    int tcpFlags = kNone;   // the "Flags: 0x.." line of TCP
    int data = kNone;       // "Data"

    void Clear();
    bool Empty() const { return nodes.empty(); }
    // Appends a node as the last child of parent (kNone: top level) and returns its index.
    int Insert(int parent, std::string text, int icon);
    // The nodes the GUI expands after building: the first top-level node, then the references
    // ethernet, root, network, transport, TCP flags and data that are set.
    std::vector<int> ExpansionOrder() const;
    // The texts a field byte range is asked for; empty for a top-level node's parent.
    std::string_view RootText() const;
    std::string_view ParentText(int index) const;
};

// Replaces the tree with the one for the frame of packet `number`. A frame without bytes leaves
// the tree untouched and returns false. Headers are added only while their fixed part is wholly
// present in the frame, so a short frame ends with its last complete header.
bool BuildPacketTree(int number, std::span<const std::uint8_t> frame, CPacketTree& tree);

}  // namespace wirelark
