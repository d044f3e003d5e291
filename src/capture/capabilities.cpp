// With libcap; each call changes only the calling thread's sets.
#include "capture/capabilities.h"

#include <sys/capability.h>
#include <unistd.h>

#include <memory>

namespace wirelark {

namespace {

struct CapsDeleter {
    void operator()(cap_t caps) const { cap_free(caps); }
};
using Caps = std::unique_ptr<std::remove_pointer_t<cap_t>, CapsDeleter>;

bool IsRoot() {
    return geteuid() == 0;
}

bool ClearEffective() {
    const Caps caps(cap_get_proc());
    return caps != nullptr && cap_clear_flag(caps.get(), CAP_EFFECTIVE) == 0 &&
           cap_set_proc(caps.get()) == 0;
}

}  // namespace

bool DropEffectiveCapabilities() noexcept {
    return IsRoot() || ClearEffective();
}

CCaptureCapabilityScope::CCaptureCapabilityScope() noexcept {
    if (IsRoot()) {
        return;
    }
    const Caps caps(cap_get_proc());
    if (caps == nullptr) {
        return;
    }
    for (const cap_value_t wanted : {CAP_NET_RAW, CAP_NET_ADMIN}) {
        cap_flag_value_t permitted = CAP_CLEAR;
        if (cap_get_flag(caps.get(), wanted, CAP_PERMITTED, &permitted) == 0 &&
            permitted == CAP_SET) {
            cap_set_flag(caps.get(), CAP_EFFECTIVE, 1, &wanted, CAP_SET);
            m_bRaised = true;
        }
    }
    // Without them the opening fails and says why, as it would have anyway.
    m_bRaised = m_bRaised && cap_set_proc(caps.get()) == 0;
}

CCaptureCapabilityScope::~CCaptureCapabilityScope() {
    if (m_bRaised) {
        ClearEffective();
    }
}

}  // namespace wirelark
