#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace cld {

// Opens a regular file for reading. A pipe, a device or a folder is refused before
// anything could block on it (opening a pipe without a writer never returns). Returns
// nullptr with `failure` set to the code for GetErrorText.
std::FILE* openInputFile(const std::string& path, uint32_t& failure);

} // namespace cld
