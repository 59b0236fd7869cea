#include "WavWriter.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kTempPrefix[] = ".cldrip-";
constexpr char kTempSuffix[] = ".part";

// True when nothing is at path, or a regular file that may be replaced. Anything
// else (folder, device, pipe, socket, symbolic link) is refused with a reason.
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

void put32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

void put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

bool writeAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

WavWriter::~WavWriter() {
    Finish();
}

void WavWriter::MakeHeader(std::uint8_t* h, std::uint64_t fileSize) {
    // The size fields are 32 bits; a CD track never comes near the limit, but a
    // larger file must not wrap to a small size.
    const std::uint64_t limit = 0xFFFFFFFFu;
    const std::uint64_t riff = fileSize >= 8 ? std::min(fileSize - 8, limit) : 0;
    const std::uint64_t data =
        fileSize >= kHeaderBytes ? std::min(fileSize - kHeaderBytes, limit) : 0;
    std::memcpy(h, "RIFF", 4);
    put32(h + 4, static_cast<std::uint32_t>(riff));
    std::memcpy(h + 8, "WAVE", 4);
    std::memcpy(h + 12, "fmt ", 4);
    put32(h + 16, 16);
    put16(h + 20, 1);
    put16(h + 22, 2);
    put32(h + 24, 44100);
    put32(h + 28, 176400);
    put16(h + 32, 4);
    put16(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    put32(h + 40, static_cast<std::uint32_t>(data));
}

bool WavWriter::Create(const std::string& path) {
    Finish();
    m_error.clear();
    m_path = path;
    std::string why;
    if (!replaceable(path, why)) {
        m_error = "cannot create \"" + path + "\": " +
                  (why.empty() ? std::string(std::strerror(errno)) : why + ", not a regular file");
        return false;
    }
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    const std::string base = folder.empty() ? std::string() : folder.string() + "/";
    // A fresh name of our pattern, created exclusively with the mode an ordinary
    // file gets (0644 less the umask).
    static std::atomic<std::uint32_t> counter{0};
    std::mt19937 random(
        static_cast<std::uint32_t>(::getpid()) ^
        static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        (counter.fetch_add(1) * 2654435761u));
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        std::string name = kTempPrefix;
        for (int i = 0; i < 6; ++i)
            name += kLetters[random() % (sizeof kLetters - 1)];
        name += kTempSuffix;
        m_tempPath = base + name;
        m_fd = ::open(m_tempPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (m_fd < 0 && errno != EEXIST)
            break;
    }
    if (m_fd < 0) {
        m_error = "cannot create \"" + path + "\": " + std::strerror(errno);
        m_tempPath.clear();
        return false;
    }
    // The lock tells RemoveStaleTemporaries that this file is still being written.
    ::flock(m_fd, LOCK_EX | LOCK_NB);
    std::uint8_t header[kHeaderBytes];
    MakeHeader(header, 0);
    if (!writeAll(m_fd, header, sizeof header)) {
        m_error = "cannot write to \"" + path + "\": " + std::strerror(errno);
        ::close(m_fd);
        ::unlink(m_tempPath.c_str());
        m_fd = -1;
        m_tempPath.clear();
        return false;
    }
    return true;
}

bool WavWriter::Append(const std::uint8_t* data, std::size_t size) {
    if (m_fd < 0)
        return false;
    if (!writeAll(m_fd, data, size)) {
        m_error = "cannot write to \"" + m_path + "\": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool WavWriter::Finish() {
    if (m_fd < 0)
        return true;
    bool ok = true;
    struct stat st {};
    std::uint64_t size = kHeaderBytes;
    if (::fstat(m_fd, &st) == 0 && st.st_size > 0)
        size = static_cast<std::uint64_t>(st.st_size);
    std::uint8_t header[kHeaderBytes];
    MakeHeader(header, size);
    if (::pwrite(m_fd, header, sizeof header, 0) != static_cast<ssize_t>(sizeof header)) {
        m_error = "cannot update the header of \"" + m_path + "\": " + std::strerror(errno);
        ok = false;
    }
    std::string why;
    if (!replaceable(m_path, why)) {
        // Something other than a file took the name while the track was read.
        m_error = "cannot create \"" + m_path + "\": " + why + ", not a regular file";
        ok = false;
        ::unlink(m_tempPath.c_str());
    } else if (::rename(m_tempPath.c_str(), m_path.c_str()) != 0) {
        m_error = "cannot name \"" + m_path + "\": " + std::strerror(errno);
        ok = false;
        ::unlink(m_tempPath.c_str());
    }
    if (::close(m_fd) != 0 && ok) {
        m_error = "cannot close \"" + m_path + "\": " + std::strerror(errno);
        ok = false;
    }
    m_fd = -1;
    m_tempPath.clear();
    return ok;
}

int WavWriter::RemoveStaleTemporaries(const std::filesystem::path& folder) {
    const std::string dir = folder.empty() ? std::string(".") : folder.string();
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return 0;
    int removed = 0;
    const std::size_t prefix = sizeof kTempPrefix - 1;
    const std::size_t suffix = sizeof kTempSuffix - 1;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name.size() != prefix + 6 + suffix || name.compare(0, prefix, kTempPrefix) != 0 ||
            name.compare(name.size() - suffix, suffix, kTempSuffix) != 0)
            continue;
        const std::string path = dir + "/" + name;
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st {};
        // Only a regular file nobody holds locked is a leftover.
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::unlink(path.c_str()) == 0)
            ++removed;
        ::close(fd);
    }
    ::closedir(d);
    return removed;
}
