#pragma once

#include "SafeFiles.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace cld {

// An output file written under a fresh temporary name of the program's own in its folder
// (".cld-XXXXXX.part", created exclusively, never through a link) and given its final
// name only once it is complete, so that a process that dies mid-file never leaves
// anything that looks like a finished output.
//
// Only a missing path or a regular file may be an output, and a regular file only when
// the caller allows replacing it: a symbolic link, a device, a pipe, a socket or a folder
// is refused and never removed, replaced or written through.
class OutputFile {
public:
    OutputFile() = default;
    // Removes a temporary file that was neither committed nor discarded.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Checks the target and clears the way for the temporary file without creating it
    // (for writers that open the file themselves). Returns 0 or a failure code for
    // GetErrorText.
    uint32_t Prepare(const std::string& path, files::Replace replace = files::Replace::RegularFile);
    // Prepare, then opens the temporary file for writing with a large stdio buffer.
    uint32_t Open(const std::string& path, files::Replace replace = files::Replace::RegularFile);
    std::FILE* File() const { return m_file; }
    const std::string& TempPath() const { return m_temp; }
    const std::string& FinalPath() const { return m_final; }
    bool IsPending() const { return !m_temp.empty(); }

    // Closes the stream opened by Open, keeping the temporary file. Returns false when
    // buffered data could not be written.
    bool CloseStream();
    // Closes the stream and gives the temporary file its final name (replacing a regular
    // file there only when Prepare allowed it). Returns 0 or a failure code.
    uint32_t Commit();
    // Closes the stream and removes the temporary file.
    void Discard();

    // 0 when `path` may be written as an output, otherwise the failure code (EEXIST as an
    // errno code for a regular file that may not be replaced).
    static uint32_t CheckTarget(const std::string& path,
                                files::Replace replace = files::Replace::RegularFile);

private:
    std::string m_final;
    std::string m_temp;
    void releaseLock();

    files::Replace m_replace = files::Replace::RegularFile;
    int m_lockFd = -1;
    std::FILE* m_file = nullptr;
    char* m_buffer = nullptr;
};

} // namespace cld
