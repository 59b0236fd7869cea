#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Writing files without harming what is already there. An output is written under a fresh
// name of the program's own, created exclusively (never through a symbolic link, never a
// pipe or a device), and takes its final name only when that name is free, or when the
// user agreed to replace a regular file there. Nothing here uses Qt; the ripper library
// links it too.
namespace cld::files {

// What is at a path, looked at without following a symbolic link.
enum class Occupant { None, RegularFile, Folder, Link, Pipe, Device, Other };
Occupant occupantOf(const std::string& path);
// "it is a folder" and so on, for messages; empty for None and RegularFile.
std::string occupantText(Occupant occupant);

// Whether a final name that is taken may be given to a new file: never, or when the file
// there is a regular one (and the user agreed). A folder, link, pipe or device is never
// replaced.
enum class Replace { Never, RegularFile };

// The prefix and suffix of the program's temporary files: ".cld-XXXXXX.part".
inline constexpr char kTempPrefix[] = ".cld-";
inline constexpr char kTempSuffix[] = ".part";

// Creates a new, empty temporary file in `folder` (O_CREAT|O_EXCL|O_NOFOLLOW, mode 0666
// less the umask, as any new file of the user's) and returns its descriptor, with its
// path in `path`; -1 with errno set when none could be made. The descriptor holds a lock
// on the file while it is open (an open-file-description lock, which no flock of a
// writer of the file disturbs), which tells removeStaleTemporaries that it is in use.
// The name is `prefix` + six characters + ".part".
int createTemporary(const std::string& folder, std::string& path,
                    std::string_view prefix = kTempPrefix);
// Removes the temporary files (".cld-XXXXXX.part", regular files only) that processes no
// longer running left in `folder`: a file still held open by its writer is locked and
// stays. Each folder is looked through once per process. Returns how many went.
int removeStaleTemporaries(const std::string& folder);
// The same for the files named `prefix` + six characters + ".part", every time it is asked.
int removeUnlockedTemporaries(const std::string& folder, std::string_view prefix);

// The bytes the program's temporary files in `folder` hold (outputs being written).
std::uint64_t temporaryBytesIn(const std::string& folder);

// Writes all of `size` bytes, going on after interruptions. False with errno set.
bool writeAll(int fd, const void* data, std::size_t size);
// Creates a new folder of the program's own inside `folder` (".cld-XXXXXX", mode 0700).
// Empty with errno set on failure.
std::string createTemporaryFolder(const std::string& folder);

// Gives the file `from` the name `to`, in one step. A name that is taken stays as it is
// unless `replace` allows replacing the regular file there. False with errno set (EEXIST
// when the name is taken, EISDIR/ELOOP/ENOTSUP-like codes are folded into EEXIST for
// anything that is not a regular file).
bool moveIntoPlace(const std::string& from, const std::string& to, Replace replace);

// Writes `bytes` as the file `path`: into a temporary file first, then moved into place.
// False with a message in `error` that names the file; nothing is left behind then.
bool writeWhole(const std::string& path, std::string_view bytes, Replace replace,
                std::string& error);

// The longest file name most file systems take, in bytes.
inline constexpr std::size_t kNameBytes = 255;
// Room kept free after a name for a number (" (99)") and the longest extension.
inline constexpr std::size_t kNameReserve = 16;

// The one rule for every file or folder name built from disc names, tags or titles:
// "/", "\" and "*" become "-"; ":", "?", "<", ">" and "|" become "."; '"' becomes "'";
// control characters (C0, DEL, C1, line and paragraph separators) are dropped; bytes
// that are not UTF-8 are read as ISO 8859-1; leading dots and spaces and trailing dots
// and spaces go; the result is cut on a character boundary to at most `maxBytes` bytes.
// The result may be empty; it is never "." or "..", and never holds a "/".
std::string safeName(std::string_view text, std::size_t maxBytes = kNameBytes - kNameReserve);

// A text as one line of UTF-8 by every Unicode rule, for logs and cue sheets: control
// characters (C0, DEL, C1 such as NEL), line and paragraph separators and direction
// overrides become spaces; bytes that are not UTF-8 are read as ISO 8859-1. Everything
// else stays as it came.
std::string oneLine(std::string_view text);

// "FIRST - SECOND" by the one rule, each part made first and replaced by its stand-in when
// nothing is left of it (an album folder, a rip log's name).
std::string pairName(std::string_view first, std::string_view second, std::string_view firstIfEmpty,
                     std::string_view secondIfEmpty);

// `name` with `extension` (".wav") appended unless it already ends in it, in any case.
std::string withExtension(const std::string& name, const std::string& extension);

// "folder/stem (n).ext" for "folder/stem.ext" (the extension is what follows the last dot
// of the file name, when the name has more before it).
std::string numberedPath(const std::string& path, int n);

// Makes every path of `paths` distinct from the ones before it: a path that an earlier
// one already has gets " (2)", " (3)" ... (see numberedPath).
void makeDistinct(std::vector<std::string>& paths);
// The indices of `paths` at which something already is.
std::vector<std::size_t> takenPaths(const std::vector<std::string>& paths);
// Moves every path at `indices` to its first numbered name that is free on disk and
// among all of `paths`.
void keepBoth(std::vector<std::string>& paths, const std::vector<std::size_t>& indices);

} // namespace cld::files
