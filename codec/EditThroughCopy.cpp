#include "EditThroughCopy.h"

#include "SafeFiles.h"
#include "WmErrors.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace cld {

namespace {

// Copies the whole of `from` into the open descriptor. False with errno set.
bool copyInto(const std::string& from, int to) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (in < 0)
        return false;
    char buffer[65536];
    bool ok = true;
    for (;;) {
        const ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        if (!files::writeAll(to, buffer, static_cast<size_t>(got))) {
            ok = false;
            break;
        }
    }
    const int saved = errno;
    ::close(in);
    errno = saved;
    return ok;
}

} // namespace

uint32_t editThroughCopy(const std::string& path,
                         const std::function<CopyEdit(const std::string& copy)>& edit) {
    std::string temp;
    const int fd = files::createTemporary(std::filesystem::path(path).parent_path().string(), temp);
    if (fd < 0)
        return wmerr::fromErrno(errno);
    std::error_code ec;
    const bool copied = copyInto(path, fd);
    const int copyErrno = errno;
    if (::close(fd) != 0 || !copied) {
        const uint32_t why = wmerr::fromErrno(copied ? errno : copyErrno);
        std::filesystem::remove(temp, ec);
        return why;
    }
    errno = 0;
    const CopyEdit result = edit(temp);
    const uint32_t failure = errno ? wmerr::fromErrno(errno) : wmerr::kWriteFailed;
    if (result != CopyEdit::Changed) {
        std::filesystem::remove(temp, ec);
        return result == CopyEdit::Unchanged ? 0 : failure;
    }
    if (!files::moveIntoPlace(temp, path, files::Replace::RegularFile)) {
        const uint32_t why = wmerr::fromErrno(errno);
        std::filesystem::remove(temp, ec);
        return why;
    }
    return 0;
}

} // namespace cld
