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

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {};
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

} // namespace

OutputFile::~OutputFile() {
    Discard();
}

uint32_t OutputFile::CheckTarget(const std::string& path, files::Replace replace) {
    if (path.empty())
        return wmerr::kNoOutputFile;
    switch (files::occupantOf(path)) {
    case files::Occupant::None:
        return 0;
    case files::Occupant::RegularFile:
        return replace == files::Replace::RegularFile ? 0 : wmerr::fromErrno(EEXIST);
    default:
        return wmerr::kOutputNotFile;
    }
}

uint32_t OutputFile::Prepare(const std::string& path, files::Replace replace) {
    Discard();
    if (const uint32_t rc = CheckTarget(path, replace))
        return rc;
    // Leftovers of runs that were killed are of no use to anyone.
    files::removeStaleTemporaries(folderOf(path));
    std::string temp;
    const int fd = files::createTemporary(folderOf(path), temp);
    if (fd < 0)
        return wmerr::fromErrno(errno);
    // The descriptor stays open (and the file locked) until the file is committed or
    // discarded, also while a writer that opens the file by its name fills it.
    m_lockFd = fd;
    m_final = path;
    m_temp = temp;
    m_replace = replace;
    return 0;
}

uint32_t OutputFile::Open(const std::string& path, files::Replace replace) {
    if (const uint32_t rc = Prepare(path, replace))
        return rc;
    // The stream writes through the descriptor the file was created with.
    const int fd = ::fcntl(m_lockFd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        const uint32_t rc = wmerr::fromErrno(errno);
        Discard();
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
    // The final name may have been taken meanwhile: what is there stays unless it is a
    // regular file the caller allowed to replace.
    uint32_t rc = 0;
    if (!files::moveIntoPlace(m_temp, m_final, m_replace)) {
        const int why = errno;
        rc = why == EEXIST && files::occupantOf(m_final) != files::Occupant::RegularFile
                 ? wmerr::kOutputNotFile
                 : wmerr::fromErrno(why);
    }
    if (rc != 0) {
        Discard();
        return rc;
    }
    m_temp.clear();
    m_final.clear();
    releaseLock();
    return 0;
}

void OutputFile::Discard() {
    CloseStream();
    if (!m_temp.empty())
        ::unlink(m_temp.c_str());
    m_temp.clear();
    m_final.clear();
    releaseLock();
}

void OutputFile::releaseLock() {
    if (m_lockFd >= 0)
        ::close(m_lockFd);
    m_lockFd = -1;
}

} // namespace cld
