#pragma once

#include <string>

// The temporary files that track writers fill before a track takes its name: a fresh
// ".cldrip-XXXXXX.part" beside the final file, created exclusively and locked while it
// is written, so that WavWriter::RemoveStaleTemporaries can tell a leftover of a killed
// grab from a file another grab still writes.
namespace cld::partfile {

inline constexpr char kPrefix[] = ".cldrip-";
inline constexpr char kSuffix[] = ".part";

// True when nothing is at path, or a regular file that may be replaced. Anything else
// (folder, device, pipe, socket, symbolic link) is refused with a reason in why (empty
// when lstat itself failed; errno then says why).
bool replaceable(const std::string& path, std::string& why);
// Empty when path is replaceable; otherwise the writer's message for it ("cannot create
// "PATH": it is a folder, not a regular file", or the system's reason).
std::string refusal(const std::string& path);

// Creates and locks a new temporary file in the folder of finalPath. Returns its
// descriptor and sets tempPath, or returns -1 with errno set.
int create(const std::string& finalPath, std::string& tempPath);

// Writes all of data, retrying after interruptions. False with errno set on failure.
bool writeAll(int fd, const void* data, std::size_t size);

} // namespace cld::partfile
