#include "OutputFile.h"

#include "WmErrors.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace cld {
namespace {

constexpr size_t kBufferBytes = 1 << 16;

// The file a path finally names: symbolic links are followed, so that writing through a
// link replaces the linked file rather than the link.
std::string resolve(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(path, ec))
        return path;
    const std::filesystem::path target = std::filesystem::weakly_canonical(path, ec);
    return ec ? path : target.string();
}

} // namespace

OutputFile::~OutputFile() {
    Discard();
}

std::string OutputFile::TempPathFor(const std::string& path) {
    return path + ".part";
}

uint32_t OutputFile::CheckTarget(const std::string& path) {
    if (path.empty())
        return wmerr::kNoOutputFile;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT ? 0 : wmerr::fromErrno(errno);
    return S_ISREG(st.st_mode) ? 0 : wmerr::kOutputNotFile;
}

uint32_t OutputFile::Prepare(const std::string& path) {
    Discard();
    const std::string target = resolve(path);
    if (const uint32_t rc = CheckTarget(target))
        return rc;
    const std::string temp = TempPathFor(target);
    struct stat st {};
    if (::lstat(temp.c_str(), &st) == 0) {
        // Left behind by a run that died; anything but a plain file there is not ours.
        if (!S_ISREG(st.st_mode))
            return wmerr::kOutputNotFile;
        if (::unlink(temp.c_str()) != 0)
            return wmerr::fromErrno(errno);
    }
    m_final = target;
    m_temp = temp;
    return 0;
}

uint32_t OutputFile::Open(const std::string& path) {
    if (const uint32_t rc = Prepare(path))
        return rc;
    // O_EXCL: the temporary name must be ours alone, never a link planted meanwhile.
    const int fd = ::open(m_temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        const uint32_t rc = wmerr::fromErrno(errno);
        m_temp.clear();
        m_final.clear();
        return rc;
    }
    m_file = ::fdopen(fd, "wb");
    if (!m_file) {
        ::close(fd);
        Discard();
        return wmerr::kOutOfMemory;
    }
    m_buffer = static_cast<char*>(std::malloc(kBufferBytes));
    if (m_buffer)
        std::setvbuf(m_file, m_buffer, _IOFBF, kBufferBytes);
    return 0;
}

bool OutputFile::CloseStream() {
    bool ok = true;
    if (m_file)
        ok = std::fclose(m_file) == 0;
    m_file = nullptr;
    std::free(m_buffer);
    m_buffer = nullptr;
    return ok;
}

uint32_t OutputFile::Commit() {
    if (m_temp.empty())
        return wmerr::kUnexpected;
    errno = 0;
    if (!CloseStream()) {
        const uint32_t rc = wmerr::fromErrno(errno ? errno : EIO);
        Discard();
        return rc;
    }
    // The target is checked again: it may have become a device or folder meanwhile.
    uint32_t rc = CheckTarget(m_final);
    if (rc == 0 && std::rename(m_temp.c_str(), m_final.c_str()) != 0)
        rc = wmerr::fromErrno(errno);
    if (rc != 0) {
        Discard();
        return rc;
    }
    m_temp.clear();
    m_final.clear();
    return 0;
}

void OutputFile::Discard() {
    CloseStream();
    if (!m_temp.empty())
        ::unlink(m_temp.c_str());
    m_temp.clear();
    m_final.clear();
}

} // namespace cld
