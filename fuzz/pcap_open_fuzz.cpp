// Opens arbitrary bytes as a capture file through the document's File Open path, with a cancel
// at a point the input chooses; checks that refusals and cancels leave the previous document,
// and that whatever opens as pcap or pcapng survives a save to pcap and a reopen.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "store/pcap_file.h"
#include "store/wirelark_doc.h"

namespace {

using namespace wirelark;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

const std::string& ScratchFile() {
    static const std::string path = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "wirelark-pcap-fuzz-XXXXXX").string();
        Check(::mkdtemp(pattern.data()) != nullptr);
        return pattern + "/saved.pcap";
    }();
    return path;
}

bool SameRecords(const CWirelarkDoc& a, const CWirelarkDoc& b) {
    const CPacketList& x = a.GetPacketList();
    const CPacketList& y = b.GetPacketList();
    if (x.size() != y.size()) {
        return false;
    }
    std::vector<std::uint8_t> bufferX;
    std::vector<std::uint8_t> bufferY;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const auto bx = a.GetPacketBytes(x[i], bufferX);
        const auto by = b.GetPacketBytes(y[i], bufferY);
        if (x[i].GetNumber() != y[i].GetNumber() || x[i].GetLength() != y[i].GetLength() || !bx ||
            !by || !std::equal(bx->begin(), bx->end(), by->begin(), by->end())) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int fd = ::memfd_create("pcap_open_fuzz", MFD_CLOEXEC);
    Check(fd >= 0 && ::write(fd, data, size) == static_cast<ssize_t>(size));
    const std::string path = "/proc/self/fd/" + std::to_string(fd);

    // A previous document that refusals and cancels must leave alone.
    CWirelarkDoc doc;
    const std::uint8_t frame[14] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 8, 0};
    doc.AddPacket(1, frame, 14, "01:02:03,004 ");

    // The last byte picks a progress call to cancel at; 0 lets the open run to the end.
    const int cancelAt = size > 0 ? data[size - 1] % 8 : 0;
    int calls = 0;
    const DocumentOutcome outcome =
        doc.OpenFile(path, [&](std::uint64_t done, std::uint64_t total) {
            Check(done <= total);
            return cancelAt == 0 || ++calls < cancelAt;
        });
    const CaptureFileFormat format = doc.GetFileFormat();
    if (outcome.error == DocumentError::Cancelled ||
        (!outcome.Succeeded() && size >= 4 &&
         DetectCaptureFileFormat({data, 4}) != CaptureFileFormat::Lark)) {
        Check(doc.GetPacketList().size() == 1 && doc.IsModified() && doc.GetPathName().empty());
        ::close(fd);
        return 0;
    }
    ::close(fd);
    if (!outcome.Succeeded() || format == CaptureFileFormat::Lark) {
        return 0;
    }

    const CPacketList& list = doc.GetPacketList();
    bool bFitsPcap = true;
    std::vector<std::uint8_t> buffer;
    for (std::size_t i = 0; i < list.size(); ++i) {
        Check(list[i].GetNumber() == static_cast<int>(i + 1));
        Check(list[i].GetCapturedLength() <= static_cast<std::size_t>(list[i].GetLength()));
        Check(list[i].GetTimestamp().has_value());
        // The file has not changed: every packet left in it reads back whole.
        const auto bytes = doc.GetPacketBytes(list[i], buffer);
        Check(bytes.has_value() && bytes->size() == list[i].GetCapturedLength());
        bFitsPcap = bFitsPcap && list[i].GetCapturedLength() <= kPcapMaxCaptured;
    }
    Check(doc.OnSaveDocument(ScratchFile()).Succeeded());
    CWirelarkDoc reopened;
    const DocumentOutcome again = reopened.OpenFile(ScratchFile());
    Check(again.Succeeded() && again.warning.empty());
    Check(!bFitsPcap || SameRecords(doc, reopened));
    return 0;
}
