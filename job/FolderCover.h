#pragma once

#include <string>

namespace cld {

// Writes a release's cover picture (JPEG or PNG bytes) as folder.jpg into folder, once:
// an existing folder.jpg is kept. Written whole under a temporary name, then renamed.
// True when the folder has its cover afterwards; false, with why, otherwise (no picture,
// a missing folder, a write error). Never throws.
bool keepFolderCover(const std::string& folder, const std::string& image, std::string& why);

} // namespace cld
