#include "PartFile.h"

#include "SafeFiles.h"

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

namespace {

std::string takenText(const std::string& path, cld::files::Occupant there) {
    const std::string what = cld::files::occupantText(there);
    return "\"" + path + "\": " +
           (what.empty() ? std::string("a file of that name already exists")
                         : what + ", not a regular file");
}

} // namespace

std::string refusal(const std::string& path, bool replaceExisting) {
    const cld::files::Occupant there = cld::files::occupantOf(path);
    if (there == cld::files::Occupant::None ||
        (there == cld::files::Occupant::RegularFile && replaceExisting))
        return {};
    return "cannot create " + takenText(path, there);
}

std::string moveIntoPlace(const std::string& tempPath, const std::string& path,
                          bool replaceExisting) {
    using cld::files::Replace;
    if (cld::files::moveIntoPlace(tempPath, path,
                                  replaceExisting ? Replace::RegularFile : Replace::Never))
        return {};
    const int why = errno;
    std::string text = why == EEXIST
                           ? "cannot name " + takenText(path, cld::files::occupantOf(path))
                           : "cannot name \"" + path + "\": " + std::strerror(why);
    errno = why;
    return text;
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
        fd = ::open(tempPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
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
    return cld::files::writeAll(fd, data, size);
}

} // namespace cld::partfile
