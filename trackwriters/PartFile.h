#pragma once

#include <string>

// The temporary files that track writers fill before a track takes its name: a fresh
// ".cldrip-XXXXXX.part" beside the final file, created exclusively and locked while it
// is written, so that WavWriter::RemoveStaleTemporaries can tell a leftover of a killed
// grab from a file another grab still writes.
namespace cld::partfile {

inline constexpr char kPrefix[] = ".cldrip-";
inline constexpr char kSuffix[] = ".part";

// Empty when a track may be written to path: nothing is there, or a regular file that
// the caller may replace. Otherwise the writer's message for it ("cannot create "PATH":
// it is a folder, not a regular file", "... a file of that name already exists").
std::string refusal(const std::string& path, bool replaceExisting);

// Gives the finished temporary file its final name (never replacing anything but a
// regular file, and that only when replaceExisting). Empty on success, else the
// writer's message, with errno kept (EEXIST for a taken name); the temporary file is
// then still there.
std::string moveIntoPlace(const std::string& tempPath, const std::string& path,
                          bool replaceExisting);

// Creates and locks a new temporary file in the folder of finalPath (as
// cld::files::createTemporary does, with the ripper's prefix). Returns its
// descriptor and sets tempPath, or returns -1 with errno set.
int create(const std::string& finalPath, std::string& tempPath);

// Writes all of data, retrying after interruptions. False with errno set on failure.
bool writeAll(int fd, const void* data, std::size_t size);

} // namespace cld::partfile
