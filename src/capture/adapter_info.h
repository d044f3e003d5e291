// One entry of the capture engine's adapter list: what the user picks, and what libpcap opens.
#pragma once

#include <string>
#include <utility>

namespace wirelark {

class CAdapterInfo {
public:
    CAdapterInfo() = default;
    CAdapterInfo(std::string description, std::string name)
        : m_strDescription(std::move(description)), m_strName(std::move(name)) {}

    std::string GetDescription() const { return m_strDescription; }
    std::string GetName() const { return m_strName; }
    void SetDescription(std::string description) { m_strDescription = std::move(description); }
    void SetName(std::string name) { m_strName = std::move(name); }

private:
    std::string m_strDescription;
    std::string m_strName;
};

}  // namespace wirelark
