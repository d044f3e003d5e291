// Helpers for the store tests: a scratch folder removed afterwards, whole-file reads and writes,
// and a little-endian byte builder for hand-made capture files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wirelark {
class CPacketObj;
class CWirelarkDoc;
}  // namespace wirelark

namespace wirelark::test {

class CScratchFolder {
public:
    CScratchFolder();
    ~CScratchFolder();
    CScratchFolder(const CScratchFolder&) = delete;
    CScratchFolder& operator=(const CScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::string File(std::string_view name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

// Whether files without a name (O_TMPFILE) can be made in the folder.
bool TakesUnnamedFiles(const std::filesystem::path& folder);
// The names in a folder, sorted.
std::vector<std::string> FolderEntries(const std::filesystem::path& folder);

std::vector<std::uint8_t> ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
// Saves a Lark file of `count` 60-byte packets numbered 1..count; false when the save fails.
bool WriteLarkFile(const std::string& path, int count);
// A record's bytes as its document gives them, wherever they are kept; none when unreadable.
std::optional<std::vector<std::uint8_t>> StoredBytes(const CWirelarkDoc& doc,
                                                     const CPacketObj& record);

class CBytes {
public:
    CBytes& U8(std::uint8_t value);
    CBytes& U16(std::uint16_t value);
    CBytes& U32(std::uint32_t value);
    CBytes& Raw(std::initializer_list<std::uint8_t> bytes);
    CBytes& Chars(std::string_view text);
    // The class description that opens the first entry.
    CBytes& PacketClass(std::uint16_t schema = 0, std::string_view name = "CPacketObj");
    // A body with a short text and the frame bytes as u16 elements.
    CBytes& Body(std::int32_t length, std::int32_t number, std::string_view timeText,
                 const std::vector<std::uint8_t>& frame);

    const std::vector<std::uint8_t>& Get() const { return m_bytes; }
    operator const std::vector<std::uint8_t>&() const { return m_bytes; }

private:
    std::vector<std::uint8_t> m_bytes;
};

}  // namespace wirelark::test
