#include "WavWriter.h"

#include "PartFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

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
    if (m_error = cld::partfile::refusal(path); !m_error.empty())
        return false;
    m_fd = cld::partfile::create(path, m_tempPath);
    if (m_fd < 0) {
        m_error = "cannot create \"" + path + "\": " + std::strerror(errno);
        m_tempPath.clear();
        return false;
    }
    std::uint8_t header[kHeaderBytes];
    MakeHeader(header, 0);
    if (!cld::partfile::writeAll(m_fd, header, sizeof header)) {
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
    if (!cld::partfile::writeAll(m_fd, data, size)) {
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
    if (std::string refused = cld::partfile::refusal(m_path); !refused.empty()) {
        // Something other than a file took the name while the track was read.
        m_error = std::move(refused);
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
    const std::size_t prefix = sizeof cld::partfile::kPrefix - 1;
    const std::size_t suffix = sizeof cld::partfile::kSuffix - 1;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name.size() != prefix + 6 + suffix ||
            name.compare(0, prefix, cld::partfile::kPrefix) != 0 ||
            name.compare(name.size() - suffix, suffix, cld::partfile::kSuffix) != 0)
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
