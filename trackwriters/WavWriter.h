#pragma once

#include "PcmLayout.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

// Writes one ripped track as a canonical 44-byte-header PCM WAV file (16-bit stereo,
// 44100 Hz, unless the caller gives another layout). The samples go to a temporary file in the same
// folder (".cldrip-XXXXXX.part", locked while it is written); Finish rewrites the header with the
// file's real sizes and renames it into place. A name that is taken is never replaced unless the
// caller allows replacing a regular file there (Create's replaceExisting). So a file under the
// track's name is always complete as far as it goes: an aborted or failed track still gets its
// header and its name, and a process that dies mid-track leaves only the temporary file, which
// RemoveStaleTemporaries deletes. The destructor runs Finish. A path that names anything but a
// regular file (a folder, a device, a pipe, a symbolic link) is refused, never replaced.
class WavWriter {
public:
    static constexpr std::size_t kHeaderBytes = 44;

    WavWriter() = default;
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Starts the file and writes the empty header. On failure returns false and
    // Error() says why.
    bool Create(const std::string& path, bool replaceExisting = false,
                const PcmLayout& layout = {});
    // Appends sample bytes as delivered. Returns false on a write error (the bytes not
    // written are not counted by the header, which follows the file's real size).
    bool Append(const std::uint8_t* data, std::size_t size);
    // Rewrites the header from the file's size, closes the file and gives it its name.
    // Returns false when the header could not be written or the file not renamed.
    bool Finish();
    // Closes and removes the file being written; nothing takes its name.
    void Discard();

    bool IsOpen() const { return m_fd >= 0; }
    // Whether the last failure was a final name taken by something the writer may not
    // replace (the track's audio is then nowhere).
    bool NameTaken() const { return m_nameTaken; }
    const std::string& Error() const { return m_error; }
    // The system's error number behind the last failure (0 when none was involved).
    int ErrorNumber() const { return m_errno; }
    // The temporary file being written (empty when none is open).
    const std::string& TemporaryPath() const { return m_tempPath; }

    // Fills a 44-byte header for a file of fileSize bytes (0 gives the empty header).
    static void MakeHeader(std::uint8_t* header, std::uint64_t fileSize,
                           const PcmLayout& layout = {});

    // Deletes the temporary files that writers of processes no longer running left in
    // folder (a file still being written is locked and stays). Returns how many.
    static int RemoveStaleTemporaries(const std::filesystem::path& folder);

private:
    int m_fd = -1;
    std::string m_path;
    std::string m_tempPath;
    std::string m_error;
    PcmLayout m_layout;
    bool m_replaceExisting = false;
    bool m_nameTaken = false;
    int m_errno = 0;
};
