#pragma once

#include <linux/capability.h>
#include <linux/securebits.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace fernhold::test {

// Root may read and write everything. For the tests of unreadable files and
// folders and of read-only targets the current thread gives up that right
// (the permitted set keeps it) until destruction. Programs it starts
// meanwhile (the archiver) do not get the right back at exec.
class WithoutFileOverride
{
public:
    WithoutFileOverride()
    {
        if (::geteuid() != 0) {
            return;
        }
        m_header.version = _LINUX_CAPABILITY_VERSION_3;
        if (::syscall(SYS_capget, &m_header, m_saved) != 0) {
            return;
        }
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[0].effective &= ~((1U << CAP_DAC_OVERRIDE) | (1U << CAP_DAC_READ_SEARCH));
        m_savedBits = ::prctl(PR_GET_SECUREBITS);
        m_dropped = m_savedBits >= 0 &&
                    ::prctl(PR_SET_SECUREBITS, m_savedBits | SECBIT_NOROOT) == 0 &&
                    ::syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~WithoutFileOverride()
    {
        if (m_dropped) {
            (void)::syscall(SYS_capset, &m_header, m_saved);
            (void)::prctl(PR_SET_SECUREBITS, m_savedBits);
        }
    }
    WithoutFileOverride(const WithoutFileOverride&) = delete;
    WithoutFileOverride& operator=(const WithoutFileOverride&) = delete;
    [[nodiscard]] bool works() const { return ::geteuid() != 0 || m_dropped; }

private:
    __user_cap_header_struct m_header{};
    __user_cap_data_struct m_saved[2]{};
    int m_savedBits = -1;
    bool m_dropped = false;
};

} // namespace fernhold::test
