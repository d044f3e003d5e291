// Loads arbitrary bytes as a capture file, from memory and from a file read through a tiny
// buffer, and checks both agree; whenever the load succeeds, saves the document, loads the result
// again and checks that both loads hold the same records.
#include <sys/mman.h>
#include <unistd.h>

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
    const wirelark::DocumentOutcome outcome = first.LoadArchive(input);

    // The same bytes from a file, with buffer refills at every possible place.
    const int fd = ::memfd_create("archive_fuzz", MFD_CLOEXEC);
    Check(fd >= 0 && ::write(fd, data, size) == static_cast<ssize_t>(size) &&
          ::lseek(fd, 0, SEEK_SET) == 0);
    CWirelarkDoc fromFile;
    CArchiveReader fileInput(fd, size, size > 0 ? 4 + data[0] % 13 : 4);
    const wirelark::DocumentOutcome fileOutcome = fromFile.LoadArchive(fileInput);
    ::close(fd);
    Check(fileOutcome.error == outcome.error);
    Check(Save(fromFile) == Save(first));

    if (!outcome.Succeeded()) {
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
        Check(a[i].GetTimeText() == b[i].GetTimeText());
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
