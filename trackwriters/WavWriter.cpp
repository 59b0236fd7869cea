#include "WavWriter.h"

#include "PartFile.h"
#include "SafeFiles.h"

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

void WavWriter::MakeHeader(std::uint8_t* h, std::uint64_t fileSize, const PcmLayout& layout) {
    // The size fields are 32 bits; a CD track never comes near the limit, but a
    // larger file must not wrap to a small size.
    const std::uint64_t limit = 0xFFFFFFFFu;
    const std::uint64_t riff = fileSize >= 8 ? std::min(fileSize - 8, limit) : 0;
    const std::uint64_t data =
        fileSize >= kHeaderBytes ? std::min(fileSize - kHeaderBytes, limit) : 0;
    const std::size_t frame = layout.frameBytes();
    std::memcpy(h, "RIFF", 4);
    put32(h + 4, static_cast<std::uint32_t>(riff));
    std::memcpy(h + 8, "WAVE", 4);
    std::memcpy(h + 12, "fmt ", 4);
    put32(h + 16, 16);
    put16(h + 20, 1);
    put16(h + 22, static_cast<std::uint16_t>(layout.channels));
    put32(h + 24, layout.sampleRate);
    put32(h + 28, static_cast<std::uint32_t>(layout.sampleRate * frame));
    put16(h + 32, static_cast<std::uint16_t>(frame));
    put16(h + 34, static_cast<std::uint16_t>(layout.bitsPerSample));
    std::memcpy(h + 36, "data", 4);
    put32(h + 40, static_cast<std::uint32_t>(data));
}

bool WavWriter::Create(const std::string& path, bool replaceExisting, const PcmLayout& layout) {
    Finish();
    m_error.clear();
    m_path = path;
    m_layout = layout;
    m_replaceExisting = replaceExisting;
    m_nameTaken = false;
    m_errno = 0;
    if (m_error = cld::partfile::refusal(path, replaceExisting); !m_error.empty()) {
        m_nameTaken = true;
        m_errno = EEXIST;
        return false;
    }
    if (const std::string refused = pcmLayoutRefusal(layout, false); !refused.empty()) {
        m_error = "cannot create \"" + path + "\": " + refused;
        return false;
    }
    m_fd = cld::partfile::create(path, m_tempPath);
    if (m_fd < 0) {
        m_errno = errno;
        m_error = "cannot create \"" + path + "\": " + std::strerror(errno);
        m_tempPath.clear();
        return false;
    }
    std::uint8_t header[kHeaderBytes];
    MakeHeader(header, 0, m_layout);
    if (!cld::partfile::writeAll(m_fd, header, sizeof header)) {
        m_errno = errno;
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
        m_errno = errno;
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
    MakeHeader(header, size, m_layout);
    if (::pwrite(m_fd, header, sizeof header, 0) != static_cast<ssize_t>(sizeof header)) {
        m_errno = errno;
        m_error = "cannot update the header of \"" + m_path + "\": " + std::strerror(errno);
        ok = false;
    }
    // Something may have taken the name while the track was read: it stays as it is.
    if (std::string refused = cld::partfile::moveIntoPlace(m_tempPath, m_path, m_replaceExisting);
        !refused.empty()) {
        m_nameTaken = errno == EEXIST;
        m_errno = errno;
        m_error = std::move(refused);
        ok = false;
        ::unlink(m_tempPath.c_str());
    }
    if (::close(m_fd) != 0 && ok) {
        m_errno = errno;
        m_error = "cannot close \"" + m_path + "\": " + std::strerror(errno);
        ok = false;
    }
    m_fd = -1;
    m_tempPath.clear();
    return ok;
}

void WavWriter::Discard() {
    if (m_fd < 0)
        return;
    ::close(m_fd);
    m_fd = -1;
    ::unlink(m_tempPath.c_str());
    m_tempPath.clear();
}

int WavWriter::RemoveStaleTemporaries(const std::filesystem::path& folder) {
    return cld::files::removeUnlockedTemporaries(
        folder.empty() ? std::string(".") : folder.string(), cld::partfile::kPrefix);
}
