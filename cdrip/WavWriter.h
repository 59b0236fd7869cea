#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Writes one ripped track as a canonical 44-byte-header PCM WAV file (16-bit stereo,
// 44100 Hz). The header is written with zero sizes on creation and rewritten with the
// file's real sizes by Finish, which the destructor also runs, so a file left behind
// by an aborted or failed track always has a header that matches what it holds.
class WavWriter {
public:
    static constexpr std::size_t kHeaderBytes = 44;

    WavWriter() = default;
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Creates (or truncates) the file and writes the empty header. On failure returns
    // false and Error() says why.
    bool Create(const std::string& path);
    // Appends sample bytes as delivered. Returns false on a write error (the bytes not
    // written are not counted by the header, which follows the file's real size).
    bool Append(const std::uint8_t* data, std::size_t size);
    // Rewrites the header from the file's size and closes the file. Returns false
    // when the header could not be written.
    bool Finish();

    bool IsOpen() const { return m_fd >= 0; }
    const std::string& Error() const { return m_error; }

    // Fills a 44-byte header for a file of fileSize bytes (0 gives the empty header).
    static void MakeHeader(std::uint8_t* header, std::uint64_t fileSize);

private:
    int m_fd = -1;
    std::string m_path;
    std::string m_error;
};
