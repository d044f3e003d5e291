// Least privilege for a program given the raw-capture capabilities on its file (setcap): they
// stay permitted, but are effective only while a capture device is being opened, so that reading
// files, decoding and the whole window never run with them. Root is left as it is.
#pragma once

namespace wirelark {

// Clears the calling thread's effective capabilities, keeping the permitted ones, unless the
// process runs as root. Call first thing in main(): threads started later inherit the cleared
// set, as Linux keeps capabilities per thread. False when the system refused.
bool DropEffectiveCapabilities() noexcept;

// Raises CAP_NET_RAW and CAP_NET_ADMIN in the calling thread's effective set, where they are
// permitted, for the scope's lifetime, and clears the effective set again at its end. Nothing
// happens for root.
class CCaptureCapabilityScope {
public:
    CCaptureCapabilityScope() noexcept;
    ~CCaptureCapabilityScope();
    CCaptureCapabilityScope(const CCaptureCapabilityScope&) = delete;
    CCaptureCapabilityScope& operator=(const CCaptureCapabilityScope&) = delete;

private:
    bool m_bRaised = false;
};

}  // namespace wirelark
