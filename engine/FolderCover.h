#pragma once

#include <string>

namespace cld {

// Writes a release's cover picture (JPEG or PNG bytes) as folder.jpg into folder, once:
// whatever already has that name is kept (a user's picture; a link, pipe or folder is
// left alone too, and named in why). Written whole under a temporary name of the
// program's own, which takes the name only when it is still free.
// True when the folder has its cover afterwards; false, with why, otherwise (no picture,
// a missing folder, a write error). Never throws.
bool keepFolderCover(const std::string& folder, const std::string& image, std::string& why);

} // namespace cld
