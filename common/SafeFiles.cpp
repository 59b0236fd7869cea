#include "SafeFiles.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <random>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace cld::files {

namespace {

std::string folderPrefix(const std::string& folder) {
    if (folder.empty())
        return {};
    return folder.back() == '/' ? folder : folder + "/";
}

std::string parentOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {};
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string randomLetters() {
    static std::atomic<std::uint32_t> counter{0};
    static thread_local std::mt19937 random(
        static_cast<std::uint32_t>(::getpid()) ^
        static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        (counter.fetch_add(1) * 2654435761u));
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string out;
    for (int i = 0; i < 6; ++i)
        out += kLetters[random() % (sizeof kLetters - 1)];
    return out;
}

// One code point from UTF-8 at `i` (advancing it), or the byte itself read as ISO 8859-1
// when no well-formed sequence starts there.
char32_t nextCodePoint(std::string_view s, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    const int length = (b0 & 0xE0) == 0xC0   ? 2
                       : (b0 & 0xF0) == 0xE0 ? 3
                       : (b0 & 0xF8) == 0xF0 ? 4
                                             : 0;
    if (length == 0 || i + static_cast<std::size_t>(length) > s.size()) {
        ++i;
        return b0;
    }
    char32_t cp = b0 & (length == 2 ? 0x1F : length == 3 ? 0x0F : 0x07);
    for (int k = 1; k < length; ++k) {
        const auto b = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return b0;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kSmallest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return b0;
    }
    i += static_cast<std::size_t>(length);
    return cp;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Characters that would end a line, hide text or turn it round in a name.
bool dropped(char32_t cp) {
    return cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp <= 0x9F) || cp == 0x2028 || cp == 0x2029 ||
           (cp >= 0x200B && cp <= 0x200F) || (cp >= 0x202A && cp <= 0x202E) ||
           (cp >= 0x2066 && cp <= 0x2069) || cp == 0xFEFF;
}

bool trimmedAtEnds(char c) {
    return c == '.' || c == ' ';
}

// A lock on the whole file held through the descriptor (not the process), so that a
// check from the same process sees it too.
bool lockWhole(int fd, short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

} // namespace

Occupant occupantOf(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? Occupant::None : Occupant::Other;
    if (S_ISREG(st.st_mode))
        return Occupant::RegularFile;
    if (S_ISDIR(st.st_mode))
        return Occupant::Folder;
    if (S_ISLNK(st.st_mode))
        return Occupant::Link;
    if (S_ISFIFO(st.st_mode))
        return Occupant::Pipe;
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        return Occupant::Device;
    return Occupant::Other;
}

std::string occupantText(Occupant occupant) {
    switch (occupant) {
    case Occupant::None:
    case Occupant::RegularFile:
        return {};
    case Occupant::Folder:
        return "it is a folder";
    case Occupant::Link:
        return "it is a symbolic link";
    case Occupant::Pipe:
        return "it is a pipe";
    case Occupant::Device:
        return "it is a device";
    case Occupant::Other:
        break;
    }
    return "it is not a regular file";
}

int createTemporary(const std::string& folder, std::string& path, std::string_view prefix) {
    const std::string base = folderPrefix(folder);
    // The file is made without a name and locked before it is given one: a clean-up of
    // leftovers in the same folder (another job, the ripper) never sees it unlocked.
    const int unnamed =
        ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (unnamed >= 0) {
        if (lockWhole(unnamed, F_WRLCK)) {
            const std::string self = "/proc/self/fd/" + std::to_string(unnamed);
            for (int attempt = 0; attempt < 100; ++attempt) {
                path = base + std::string(prefix) + randomLetters() + kTempSuffix;
                if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) ==
                    0)
                    return unnamed;
                if (errno != EEXIST)
                    break;
            }
        }
        ::close(unnamed);
    }
    // A file system without unnamed files (or no /proc): named at once, locked right after.
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = base + std::string(prefix) + randomLetters() + kTempSuffix;
        const int fd =
            ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            lockWhole(fd, F_WRLCK);
            return fd;
        }
        if (errno != EEXIST)
            break;
    }
    path.clear();
    return -1;
}

bool writeAll(int fd, const void* data, std::size_t size) {
    const auto* p = static_cast<const char*>(data);
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

std::uint64_t temporaryBytesIn(const std::string& folder) {
    DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!d)
        return 0;
    const std::string_view prefix = kTempPrefix;
    const std::string_view suffix = kTempSuffix;
    std::uint64_t bytes = 0;
    while (const dirent* e = ::readdir(d)) {
        const std::string_view name = e->d_name;
        if (name.size() <= prefix.size() + suffix.size() ||
            name.substr(0, prefix.size()) != prefix ||
            name.substr(name.size() - suffix.size()) != suffix)
            continue;
        struct stat st {};
        if (::fstatat(::dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            bytes += static_cast<std::uint64_t>(st.st_size);
    }
    ::closedir(d);
    return bytes;
}

int removeStaleTemporaries(const std::string& folder) {
    static std::mutex lock;
    static std::set<std::string> done;
    {
        std::lock_guard<std::mutex> guard(lock);
        if (!done.insert(folder).second)
            return 0;
    }
    return removeUnlockedTemporaries(folder, kTempPrefix);
}

int removeUnlockedTemporaries(const std::string& folder, std::string_view prefix) {
    DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!d)
        return 0;
    const std::string_view suffix = kTempSuffix;
    int removed = 0;
    while (const dirent* e = ::readdir(d)) {
        const std::string_view name = e->d_name;
        if (name.size() != prefix.size() + 6 + suffix.size() ||
            name.substr(0, prefix.size()) != prefix ||
            name.substr(name.size() - suffix.size()) != suffix)
            continue;
        const std::string path = folderPrefix(folder) + std::string(name);
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        // A writer holds its file locked; one no process holds is a leftover.
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && lockWhole(fd, F_RDLCK) &&
            ::unlink(path.c_str()) == 0)
            ++removed;
        ::close(fd);
    }
    ::closedir(d);
    return removed;
}

std::string createTemporaryFolder(const std::string& folder) {
    const std::string base = folderPrefix(folder);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = base + kTempPrefix + randomLetters();
        if (::mkdir(path.c_str(), 0700) == 0)
            return path;
        if (errno != EEXIST)
            break;
    }
    return {};
}

bool moveIntoPlace(const std::string& from, const std::string& to, Replace replace) {
    if (replace == Replace::RegularFile) {
        const Occupant there = occupantOf(to);
        if (there != Occupant::None && there != Occupant::RegularFile) {
            errno = EEXIST;
            return false;
        }
        // rename() replaces the entry itself: even a link put there meanwhile is replaced,
        // never written through.
        return ::rename(from.c_str(), to.c_str()) == 0;
    }
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the exclusive rename: a hard link takes the name exclusively.
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return true;
    }
    if (errno == EEXIST)
        return false;
    // Nor hard links (FAT): look first, then rename.
    if (occupantOf(to) != Occupant::None) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool writeWhole(const std::string& path, std::string_view bytes, Replace replace,
                std::string& error) {
    std::string temp;
    const int fd = createTemporary(parentOf(path), temp);
    if (fd < 0) {
        error = "cannot create a file beside \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    const bool written = writeAll(fd, bytes.data(), bytes.size());
    const int writeErrno = errno;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        error = "cannot write \"" + path + "\": " + std::strerror(written ? errno : writeErrno);
        ::unlink(temp.c_str());
        return false;
    }
    if (!moveIntoPlace(temp, path, replace)) {
        const int why = errno;
        const std::string what = occupantText(occupantOf(path));
        error = "cannot name \"" + path + "\": " +
                (why == EEXIST ? (what.empty() ? "a file of that name already exists" : what)
                               : std::string(std::strerror(why)));
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

std::string safeName(std::string_view text, std::size_t maxBytes) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const char32_t cp = nextCodePoint(text, i);
        if (dropped(cp))
            continue;
        switch (cp) {
        case U'/':
        case U'\\':
        case U'*':
            out += '-';
            break;
        case U':':
        case U'?':
        case U'<':
        case U'>':
        case U'|':
            out += '.';
            break;
        case U'"':
            out += '\'';
            break;
        default:
            appendUtf8(out, cp);
            break;
        }
    }
    std::size_t first = 0;
    while (first < out.size() && trimmedAtEnds(out[first]))
        ++first;
    out.erase(0, first);
    if (out.size() > maxBytes) {
        std::size_t n = maxBytes;
        while (n > 0 && (static_cast<unsigned char>(out[n]) & 0xC0) == 0x80)
            --n;
        out.resize(n);
    }
    while (!out.empty() && trimmedAtEnds(out.back()))
        out.pop_back();
    return out;
}

std::string oneLine(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const char32_t cp = nextCodePoint(text, i);
        // Zero-width characters and the byte order mark hide nothing on one line.
        const bool breaksOrTurns = dropped(cp) && !(cp >= 0x200B && cp <= 0x200D) && cp != 0xFEFF;
        if (breaksOrTurns)
            out += ' ';
        else
            appendUtf8(out, cp);
    }
    return out;
}

std::string pairName(std::string_view first, std::string_view second, std::string_view firstIfEmpty,
                     std::string_view secondIfEmpty) {
    std::string a = safeName(first);
    std::string b = safeName(second);
    if (a.empty())
        a = firstIfEmpty;
    if (b.empty())
        b = secondIfEmpty;
    return safeName(a + " - " + b);
}

std::string withExtension(const std::string& name, const std::string& extension) {
    std::string tail = name.size() > extension.size() ? name.substr(name.size() - extension.size())
                                                      : std::string();
    for (char& c : tail)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == extension ? name : name + extension;
}

std::string numberedPath(const std::string& path, int n) {
    const std::size_t slash = path.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= nameStart)
        dot = path.size();
    return path.substr(0, dot) + " (" + std::to_string(n) + ")" + path.substr(dot);
}

void makeDistinct(std::vector<std::string>& paths) {
    const std::set<std::string> wanted(paths.begin(), paths.end());
    std::set<std::string> seen;
    for (std::string& path : paths) {
        if (seen.count(path)) {
            std::string candidate;
            for (int n = 2;; ++n) {
                candidate = numberedPath(path, n);
                if (!seen.count(candidate) && !wanted.count(candidate))
                    break;
            }
            path = candidate;
        }
        seen.insert(path);
    }
}

std::vector<std::size_t> takenPaths(const std::vector<std::string>& paths) {
    std::vector<std::size_t> taken;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (occupantOf(paths[i]) != Occupant::None)
            taken.push_back(i);
    }
    return taken;
}

void keepBoth(std::vector<std::string>& paths, const std::vector<std::size_t>& indices) {
    std::set<std::string> used(paths.begin(), paths.end());
    for (std::size_t index : indices) {
        if (index >= paths.size())
            continue;
        // A folder where nothing can be looked at gives up after a bound.
        for (int n = 2; n < 10000; ++n) {
            const std::string candidate = numberedPath(paths[index], n);
            if (!used.count(candidate) && occupantOf(candidate) == Occupant::None) {
                paths[index] = candidate;
                used.insert(candidate);
                break;
            }
        }
    }
}

} // namespace cld::files
