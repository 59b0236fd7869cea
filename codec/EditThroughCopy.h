#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace cld {

// What an edit of a file's copy came to.
enum class CopyEdit {
    Changed,   // the copy takes the file's place
    Unchanged, // nothing to change: the copy goes and the file stays as it was
    Failed,    // the copy goes; errno (when set) says why
};

// Changes a finished file of the program's own through a copy: the copy is a new file in
// the same folder (created exclusively, filled through its own descriptor, so no link or
// file put in its way is written through), `edit` changes it by its path, and it takes the
// file's place (a regular file only) when complete. Returns 0 or the failure code.
uint32_t editThroughCopy(const std::string& path,
                         const std::function<CopyEdit(const std::string& copy)>& edit);

} // namespace cld
