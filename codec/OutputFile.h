#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace cld {

// An output file written under a temporary name in its own folder ("NAME.part") and
// renamed over its final name only once it is complete, so that a process that dies
// mid-file never leaves anything that looks like a finished output. A leftover temporary
// file of an earlier run is removed when the same output is prepared again.
//
// Only a missing path or a regular file (also behind a symbolic link) may be an output:
// a device, a pipe, a socket or a folder is refused and never removed or replaced.
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
    uint32_t Prepare(const std::string& path);
    // Prepare, then creates the temporary file for writing with a large stdio buffer.
    uint32_t Open(const std::string& path);
    std::FILE* File() const { return m_file; }
    const std::string& TempPath() const { return m_temp; }
    const std::string& FinalPath() const { return m_final; }
    bool IsPending() const { return !m_temp.empty(); }

    // Closes the stream opened by Open, keeping the temporary file. Returns false when
    // buffered data could not be written.
    bool CloseStream();
    // Closes the stream and renames the temporary file over the final name. Returns 0 or
    // a failure code.
    uint32_t Commit();
    // Closes the stream and removes the temporary file.
    void Discard();

    static std::string TempPathFor(const std::string& path);
    // 0 when `path` may be written as an output, otherwise the failure code.
    static uint32_t CheckTarget(const std::string& path);

private:
    std::string m_final;
    std::string m_temp;
    std::FILE* m_file = nullptr;
    char* m_buffer = nullptr;
};

} // namespace cld
