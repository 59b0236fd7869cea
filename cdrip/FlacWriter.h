#pragma once

#include <FLAC/format.h>
#include <FLAC/stream_encoder.h>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Writes one ripped track as a FLAC file (16-bit stereo, 44100 Hz, compression level 5)
// with libFLAC. The file is encoded into a temporary file in the same folder, as
// WavWriter does, and takes its name only when finish has written the last frame and
// the stream info (sample count and the MD5 of the audio, which libFLAC computes). A
// track that ends early is thrown away with discard: unlike a WAV file, a FLAC file under
// a track's name is always the whole track. The destructor discards an unfinished file.
// A path that names anything but a regular file is refused, never replaced; a regular
// file only when the caller allows it.
class FlacWriter {
public:
    FlacWriter() = default;
    ~FlacWriter();
    FlacWriter(const FlacWriter&) = delete;
    FlacWriter& operator=(const FlacWriter&) = delete;

    // Starts the file with the Vorbis comments ("NAME=value", UTF-8) and, when
    // expectedFrames is known, a seek table with a point every ten seconds. On failure
    // returns false and error() says why.
    // A name that is taken is never replaced unless replaceExisting allows replacing a
    // regular file there.
    bool create(const std::string& path, const std::vector<std::string>& comments,
                std::uint64_t expectedFrames, bool replaceExisting = false);
    // Encodes sample bytes as delivered (interleaved signed 16-bit little-endian, left
    // first); bytes of a frame cut by the end of a call wait for the next call. Returns
    // false when a frame could not be encoded or written.
    bool append(const std::uint8_t* data, std::size_t size);
    // Ends the stream, completes the stream info and gives the file its name. False when
    // any of it failed; the temporary file is then removed.
    bool finish();
    // Removes the temporary file; nothing takes the track's name.
    void discard();

    bool isOpen() const { return m_fd >= 0; }
    // Whether the last failure was a final name taken by something the writer may not
    // replace.
    bool nameTaken() const { return m_nameTaken; }
    const std::string& error() const { return m_error; }
    const std::string& temporaryPath() const { return m_tempPath; }

    // True when text is one Vorbis comment "NAME=value" that a FLAC file can carry: a
    // name of printable ASCII without '=', and a UTF-8 value.
    static bool isLegalComment(const std::string& text);

private:
    // libFLAC's write, seek and tell callbacks, on the temporary file.
    struct Callbacks;
    friend struct Callbacks;

    void release();
    void fail(const std::string& what);

    FLAC__StreamEncoder* m_encoder = nullptr;
    std::vector<FLAC__StreamMetadata*> m_metadata;
    std::vector<std::int32_t> m_samples;
    std::uint8_t m_pending[4] = {};
    std::size_t m_pendingBytes = 0;
    int m_fd = -1;
    int m_writeErrno = 0;
    bool m_discarding = false;
    bool m_replaceExisting = false;
    bool m_nameTaken = false;
    std::string m_path;
    std::string m_tempPath;
    std::string m_error;
};
