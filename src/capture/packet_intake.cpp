// The intake's filters and counters, over the frame layout of the decoder.
#include "capture/packet_intake.h"

#include <algorithm>
#include <limits>

#include "decode/frame_layout.h"
#include "decode/frame_reader.h"

namespace wirelark {

namespace {

struct CPortPreset {
    std::int32_t CFilterFlags::*flag;
    std::uint16_t port;
};

constexpr CPortPreset kPortPresets[] = {
    {&CFilterFlags::m_bHttp, 80}, {&CFilterFlags::m_bPop3, 110},  {&CFilterFlags::m_bSmtp, 25},
    {&CFilterFlags::m_bFtp, 21},  {&CFilterFlags::m_bTelnet, 23},
};

// A long capture that filters everything could otherwise overflow the signed filtered count.
void CountOne(std::int32_t& count) {
    if (count < std::numeric_limits<std::int32_t>::max()) {
        ++count;
    }
}

}  // namespace

int CFilterFlags::IsPortFilterOn() const {
    for (const CPortPreset& preset : kPortPresets) {
        if (this->*preset.flag != 0) {
            return 1;
        }
    }
    return 0;
}

int IsFilteredByProtocol(const CFilterFlags& flags, std::span<const std::uint8_t> frame) {
    const CFrameLayout layout = DecodeFrameLayout(CFrameReader(frame));
    if (!layout.hasEthernet) {
        return flags.IsOthersFiltered() != 0;
    }
    if (layout.etherType == kEtherTypeIpv4) {
        if (!layout.IsIpv4()) {
            return 0;
        }
        switch (layout.ipProtocol) {
            case kIpProtocolIcmp:
                return flags.IsIcmpFiltered() != 0;
            case kIpProtocolTcp:
                return flags.IsTcpFiltered() != 0;
            case kIpProtocolUdp:
                return flags.IsUdpFiltered() != 0;
            default:
                return 0;
        }
    }
    if (layout.etherType == kEtherTypeArp) {
        return flags.IsArpFiltered() != 0;
    }
    return flags.IsOthersFiltered() != 0;
}

int IsFilteredByPort(const CFilterFlags& flags, std::span<const std::uint8_t> frame) {
    if (flags.IsPortFilterOn() == 0) {
        return 0;
    }
    const CFrameReader reader(frame);
    const CFrameLayout layout = DecodeFrameLayout(reader);
    if (!layout.HasPorts()) {
        return 1;
    }
    const std::uint16_t source = reader.Be16(layout.transportOffset + offset::kSourcePort);
    const std::uint16_t destination =
        reader.Be16(layout.transportOffset + offset::kDestinationPort);
    for (const CPortPreset& preset : kPortPresets) {
        if (flags.*preset.flag != 0 && (source == preset.port || destination == preset.port)) {
            return 0;
        }
    }
    return 1;
}

namespace {

std::uint64_t BufferLimit(int bufferSetting) {
    // A setting below 0 would make the limit 0 and the division fault.
    const std::int64_t setting = std::clamp(bufferSetting, 0, kMaxBufferSetting);
    return static_cast<std::uint64_t>((setting + 1) * kBytesPerMegabyte);
}

}  // namespace

std::uint32_t GetBufferFill(std::uint32_t byteTotal, int bufferSetting) {
    const std::uint64_t fill = std::uint64_t{byteTotal} * 100 / BufferLimit(bufferSetting);
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(fill, 100));
}

std::uint64_t CIntakeCounters::GetRoomBytes() const {
    const std::uint64_t limit = BufferLimit(bufferSetting);
    return limit > byteTotal ? limit - byteTotal : 0;
}

void CIntakeCounters::AddCapturedBytes(std::uint32_t length) {
    const std::uint32_t room = std::numeric_limits<std::uint32_t>::max() - byteTotal;
    byteTotal += std::min(length, room);
}

void CIntakeCounters::CountStored(std::uint32_t wireLength) {
    CountOne(captured);
    AddCapturedBytes(wireLength);
}

void CIntakeCounters::Reset() {
    captured = 0;
    filtered = 0;
    byteTotal = 0;
}

IntakeVerdict JudgeCapturedFrame(CIntakeCounters& counters, const CFilterFlags& flags,
                                 std::span<const std::uint8_t> frame) {
    if (counters.GetBufferFill() >= 100) {
        return IntakeVerdict::BufferFull;
    }
    if (IsFilteredByProtocol(flags, frame) != 0) {
        CountOne(counters.filtered);
        return IntakeVerdict::FilteredByProtocol;
    }
    if (IsFilteredByPort(flags, frame) != 0) {
        CountOne(counters.filtered);
        return IntakeVerdict::FilteredByPort;
    }
    return IntakeVerdict::Accepted;
}

}  // namespace wirelark
