#include "OutputLock.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace cld::cli {

std::string OutputLock::lockPathFor(const std::string& output) {
    const std::filesystem::path path(output);
    return (path.parent_path() / ("." + path.filename().string() + ".calderine-lock")).string();
}

OutputLock::~OutputLock() {
    release();
}

OutputLock::OutputLock(OutputLock&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_path(std::move(other.m_path)) {}

OutputLock& OutputLock::operator=(OutputLock&& other) noexcept {
    if (this != &other) {
        release();
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
    }
    return *this;
}

OutputLock::Result OutputLock::tryLock(const std::string& output) {
    release();
    const std::string path = lockPathFor(output);
    // A holder removes its lock file when it lets go; a file opened just before that
    // removal is locked in vain, so the lock counts only when the name still leads to the
    // file that was locked.
    for (int attempt = 0; attempt < 8; ++attempt) {
        const int fd =
            ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
        if (fd < 0)
            return Result::Failed;
        struct stat opened {};
        if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
            ::close(fd);
            return Result::Failed;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int err = errno;
            ::close(fd);
            return err == EWOULDBLOCK ? Result::HeldByOther : Result::Failed;
        }
        struct stat named {};
        if (::stat(path.c_str(), &named) == 0 && named.st_dev == opened.st_dev &&
            named.st_ino == opened.st_ino) {
            m_fd = fd;
            m_path = path;
            return Result::Locked;
        }
        ::close(fd);
    }
    return Result::HeldByOther;
}

void OutputLock::release() {
    if (m_fd < 0)
        return;
    // Removed while still locked, so nobody locks a file that is about to go.
    ::unlink(m_path.c_str());
    ::close(m_fd);
    m_fd = -1;
    m_path.clear();
}

} // namespace cld::cli
