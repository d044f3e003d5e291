// Loads arbitrary bytes as a capture file; whenever that succeeds, saves the document, loads the
// result again and checks that both loads hold the same records.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <unordered_map>
#include <vector>

#include "store/archive_reader.h"
#include "store/archive_writer.h"
#include "store/wirelark_doc.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

std::vector<std::uint8_t> Save(const wirelark::CWirelarkDoc& doc) {
    std::vector<std::uint8_t> out;
    wirelark::CArchiveWriter ar(out);
    doc.StoreArchive(ar);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using wirelark::CArchiveReader;
    using wirelark::CWirelarkDoc;

    CWirelarkDoc first;
    CArchiveReader input(std::span<const std::uint8_t>(data, size));
    if (!first.LoadArchive(input).Succeeded()) {
        Check(first.GetPacketList().empty());
        return 0;
    }
    const std::vector<std::uint8_t> saved = Save(first);
    CWirelarkDoc second;
    CArchiveReader again(saved);
    Check(second.LoadArchive(again).Succeeded());
    Check(again.IsAtEnd());

    const wirelark::CPacketList& a = first.GetPacketList();
    const wirelark::CPacketList& b = second.GetPacketList();
    Check(a.size() == b.size());
    std::unordered_map<int, const wirelark::CPacketObj*> firstWithNumber;
    for (std::size_t i = 0; i < a.size(); ++i) {
        Check(a[i].GetNumber() == b[i].GetNumber());
        Check(a[i].GetLength() == b[i].GetLength());
        Check(a[i].TimeText() == b[i].TimeText());
        const auto bytesA = a[i].GetBytes();
        const auto bytesB = b[i].GetBytes();
        Check(std::equal(bytesA.begin(), bytesA.end(), bytesB.begin(), bytesB.end()));
        // The index answers the first record with each number.
        const auto [it, bNew] = firstWithNumber.try_emplace(a[i].GetNumber(), &a[i]);
        Check(first.FindPacket(a[i].GetNumber()) == it->second);
    }
    Check(Save(second) == saved);
    return 0;
}
