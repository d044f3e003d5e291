// Scratch folders, whole-file access and a byte builder for the store tests.
#include "support/store_files.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include "store/wirelark_doc.h"

namespace wirelark::test {

CScratchFolder::CScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "wirelark-store-XXXXXX");
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a scratch folder");
    }
    m_path = pattern;
}

CScratchFolder::~CScratchFolder() {
    std::error_code error;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, error);
    std::filesystem::remove_all(m_path, error);
}

bool TakesUnnamedFiles(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return true;
}

std::vector<std::string> FolderEntries(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<std::vector<std::uint8_t>> StoredBytes(const CWirelarkDoc& doc,
                                                     const CPacketObj& record) {
    std::vector<std::uint8_t> buffer;
    const auto bytes = doc.GetPacketBytes(record, buffer);
    if (!bytes) {
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(bytes->begin(), bytes->end());
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

CBytes& CBytes::U8(std::uint8_t value) {
    m_bytes.push_back(value);
    return *this;
}

CBytes& CBytes::U16(std::uint16_t value) {
    m_bytes.push_back(static_cast<std::uint8_t>(value));
    m_bytes.push_back(static_cast<std::uint8_t>(value >> 8));
    return *this;
}

CBytes& CBytes::U32(std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        m_bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
    return *this;
}

CBytes& CBytes::Raw(std::initializer_list<std::uint8_t> bytes) {
    m_bytes.insert(m_bytes.end(), bytes);
    return *this;
}

CBytes& CBytes::Chars(std::string_view text) {
    m_bytes.insert(m_bytes.end(), text.begin(), text.end());
    return *this;
}

CBytes& CBytes::PacketClass(std::uint16_t schema, std::string_view name) {
    U16(0xFFFF).U16(schema).U16(static_cast<std::uint16_t>(name.size()));
    return Chars(name);
}

CBytes& CBytes::Body(std::int32_t length, std::int32_t number, std::string_view timeText,
                     const std::vector<std::uint8_t>& frame) {
    U32(static_cast<std::uint32_t>(length)).U32(static_cast<std::uint32_t>(number));
    U8(static_cast<std::uint8_t>(timeText.size())).Chars(timeText);
    U16(static_cast<std::uint16_t>(frame.size()));
    for (std::uint8_t byte : frame) {
        U16(byte);
    }
    return *this;
}

bool WriteLarkFile(const std::string& path, int count) {
    CWirelarkDoc doc;
    const std::vector<std::uint8_t> frame(60, 0xAB);
    for (int i = 1; i <= count; ++i) {
        if (!doc.AddPacket(i, frame, 60, "12:00:00")) {
            return false;
        }
    }
    return doc.SaveFile(path, CaptureFileFormat::Lark).Succeeded();
}

}  // namespace wirelark::test
