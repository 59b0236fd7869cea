#include "Id3v1Tag.h"

#include "OutputFile.h"

#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// UTF-8 to Latin-1. Bytes that are not valid UTF-8 are taken as Latin-1 already.
std::string toLatin1(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        int len = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
        bool valid = len > 0 && i + static_cast<size_t>(len) <= s.size();
        unsigned cp = len == 2 ? (c & 0x1Fu) : len == 3 ? (c & 0x0Fu) : (c & 0x07u);
        for (int k = 1; valid && k < len; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
            valid = (cc & 0xC0) == 0x80;
            cp = (cp << 6) | (cc & 0x3Fu);
        }
        if (!valid) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        out += cp <= 0xFF ? static_cast<char>(cp) : '?';
        i += static_cast<size_t>(len);
    }
    return out;
}

std::string fromLatin1(const char* p, size_t n) {
    std::string out;
    for (size_t i = 0; i < n && p[i] != '\0'; ++i) {
        const auto c = static_cast<unsigned char>(p[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    // Trailing blanks pad the fields in files from other taggers.
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

void putField(char* dst, size_t width, const std::string& text) {
    const std::string latin = toLatin1(text);
    std::memcpy(dst, latin.data(), latin.size() < width ? latin.size() : width);
}

bool readTail(int fd, off_t size, char* block) {
    if (size < 128)
        return false;
    return pread(fd, block, 128, size - 128) == 128 && std::memcmp(block, "TAG", 3) == 0;
}

} // namespace

bool Id3v1Tag::Load(const std::string& path) {
    title.clear();
    artist.clear();
    album.clear();
    comment.clear();
    year.clear();
    track = 0;
    genre = 255;
    m_path = path;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    char b[128];
    const bool ok = fstat(fd, &st) == 0;
    if (ok && readTail(fd, st.st_size, b)) {
        title = fromLatin1(b + 3, 30);
        artist = fromLatin1(b + 33, 30);
        album = fromLatin1(b + 63, 30);
        year = fromLatin1(b + 93, 4);
        if (b[125] != '\0') {
            comment = fromLatin1(b + 97, 30);
        } else {
            comment = fromLatin1(b + 97, 28);
            track = static_cast<unsigned char>(b[126]);
        }
        genre = static_cast<unsigned char>(b[127]);
    }
    ::close(fd);
    return ok;
}

int Id3v1Tag::Write(const std::string& path, bool removeOnly) {
    if (!path.empty())
        m_path = path;
    if (m_path.empty())
        return 0;
    // Only files carry tags: a device or a pipe under that name is left alone (opening a
    // pipe could block, writing a device would send it the tag).
    if (cld::OutputFile::CheckTarget(m_path) != 0)
        return 0;
    const int fd =
        ::open(m_path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0)
        return 0;
    // No other writer while the tag changes.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return 0;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return 0;
    }
    char old[128];
    const off_t at = readTail(fd, st.st_size, old) ? st.st_size - 128 : st.st_size;
    int result = 1;
    if (removeOnly) {
        if (at != st.st_size && ftruncate(fd, at) != 0)
            result = 0;
    } else {
        char b[128] = {};
        std::memcpy(b, "TAG", 3);
        putField(b + 3, 30, title);
        putField(b + 33, 30, artist);
        putField(b + 63, 30, album);
        putField(b + 93, 4, year);
        const bool hasTrack = track > 0;
        putField(b + 97, hasTrack ? 28 : 30, comment);
        if (hasTrack) {
            b[125] = '\0';
            b[126] = static_cast<char>(track > 255 ? 255 : track);
        }
        b[127] = static_cast<char>(genre < 0 || genre > 255 ? 255 : genre);
        if (pwrite(fd, b, sizeof b, at) != static_cast<ssize_t>(sizeof b))
            result = 0;
    }
    if (::close(fd) != 0)
        result = 0;
    return result;
}
