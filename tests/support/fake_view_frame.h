// A stand-in for the main frame around the packet list view: records what the view shows in the
// panes, the explorer and the adapter box, and holds the filter flags, the chosen adapter and
// the capture filter.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "views/view_frame.h"

namespace wirelark::test {

class CFakeViewFrame final : public IViewFrame {
public:
    CFilterFlags flags;
    std::string selectedAdapter;
    std::string captureFilter;
    std::vector<std::string> usedFilters;

    int captured = -1;
    int filtered = -1;
    int buffer = -1;
    long long dropped = -1;
    std::string note;
    int treeClears = 0;
    int outputClears = 0;
    int colorReloads = 0;
    std::vector<std::vector<std::string>> adapterBoxFills;
    struct Shown {
        int number;
        std::vector<std::uint8_t> data;
    };
    std::vector<Shown> shown;

    void ClearPacketTree() override { ++treeClears; }
    void ClearOutput() override { ++outputClears; }
    void ShowPacket(int number, std::span<const std::uint8_t> frame) override {
        shown.push_back({number, {frame.begin(), frame.end()}});
    }
    void ReloadExplorerColors() override { ++colorReloads; }
    void SetCapturedPane(int value) override { captured = value; }
    void SetFilteredPane(int value) override { filtered = value; }
    void SetBufferPane(int value) override { buffer = value; }
    void SetDroppedPane(std::uint64_t value) override { dropped = static_cast<long long>(value); }
    void ShowCaptureNote(const std::string& text) override { note = text; }
    void FillAdapterBox(const std::vector<std::string>& descriptions) override {
        adapterBoxFills.push_back(descriptions);
    }
    std::string GetSelectedAdapter() const override { return selectedAdapter; }
    std::string GetCaptureFilter() const override { return captureFilter; }
    void CaptureFilterUsed(const std::string& expression) override {
        usedFilters.push_back(expression);
    }
    const CFilterFlags& GetFilterFlags() const override { return flags; }
};

}  // namespace wirelark::test
