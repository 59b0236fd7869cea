#pragma once

#include <memory>
#include <string>
#include <taglib/tfilestream.h>

namespace cld {

// The file at `path`, which the program made and still holds under a name of its own,
// opened for TagLib to edit: never through a link put in its place, and only when it is a
// regular file. Null when it cannot be opened so.
std::unique_ptr<TagLib::FileStream> openOwnTagFile(const std::string& path);

} // namespace cld
