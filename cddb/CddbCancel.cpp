#include "CddbCancel.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

CddbCancel::CddbCancel() : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CddbCancel::~CddbCancel() {
    if (m_fd >= 0)
        ::close(m_fd);
}

void CddbCancel::cancel() {
    m_cancelled.store(true, std::memory_order_release);
    if (m_fd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_fd, &one, sizeof(one));
    }
}

void CddbCancel::reset() {
    m_cancelled.store(false, std::memory_order_release);
    if (m_fd >= 0) {
        std::uint64_t value = 0;
        [[maybe_unused]] const ssize_t got = ::read(m_fd, &value, sizeof(value));
    }
}
