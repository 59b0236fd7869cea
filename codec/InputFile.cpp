#include "InputFile.h"

#include "WmErrors.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cld {

std::FILE* openInputFile(const std::string& path, uint32_t& failure) {
    failure = 0;
    // O_NONBLOCK lets the open of a pipe return at once; it is cleared again for reading.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        failure = wmerr::fromErrno(errno);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        failure = wmerr::kInputOpen;
        return nullptr;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    std::FILE* f = ::fdopen(fd, "rb");
    if (!f) {
        ::close(fd);
        failure = wmerr::kOutOfMemory;
    }
    return f;
}

} // namespace cld
