#include "TagFileStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cld {

std::unique_ptr<TagLib::FileStream> openOwnTagFile(const std::string& path) {
    // No blocking open of a pipe put in the file's place; the descriptor blocks again
    // once it is known to be a regular file.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    const int flags = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 ||
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return nullptr;
    }
    // The stream owns the descriptor from here on (it closes it with its FILE).
    auto stream = std::make_unique<TagLib::FileStream>(fd, false);
    if (!stream->isOpen()) {
        ::close(fd);
        return nullptr;
    }
    return stream;
}

} // namespace cld
