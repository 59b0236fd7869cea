#include "PartFile.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cld::partfile {

bool replaceable(const std::string& path, std::string& why) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return errno == ENOENT;
    if (S_ISREG(st.st_mode))
        return true;
    why = S_ISDIR(st.st_mode)                          ? "it is a folder"
          : S_ISLNK(st.st_mode)                        ? "it is a symbolic link"
          : S_ISFIFO(st.st_mode)                       ? "it is a pipe"
          : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? "it is a device"
                                                       : "it is not a regular file";
    return false;
}

std::string refusal(const std::string& path) {
    std::string why;
    if (replaceable(path, why))
        return {};
    return "cannot create \"" + path + "\": " +
           (why.empty() ? std::string(std::strerror(errno)) : why + ", not a regular file");
}

int create(const std::string& finalPath, std::string& tempPath) {
    const std::filesystem::path folder = std::filesystem::path(finalPath).parent_path();
    const std::string base = folder.empty() ? std::string() : folder.string() + "/";
    // A fresh name of our pattern, created exclusively with the mode an ordinary
    // file gets (0644 less the umask).
    static std::atomic<std::uint32_t> counter{0};
    std::mt19937 random(
        static_cast<std::uint32_t>(::getpid()) ^
        static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        (counter.fetch_add(1) * 2654435761u));
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        std::string name = kPrefix;
        for (int i = 0; i < 6; ++i)
            name += kLetters[random() % (sizeof kLetters - 1)];
        name += kSuffix;
        tempPath = base + name;
        fd = ::open(tempPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        tempPath.clear();
        return -1;
    }
    // The lock tells RemoveStaleTemporaries that this file is still being written.
    ::flock(fd, LOCK_EX | LOCK_NB);
    return fd;
}

bool writeAll(int fd, const void* data, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace cld::partfile
