#pragma once

#include "PcmLayout.h"

#include <FLAC/format.h>
#include <FLAC/stream_encoder.h>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Writes one ripped track as a FLAC file (16-bit stereo, 44100 Hz, compression level 5,
// unless the caller gives another layout or level) with libFLAC. The file is encoded into a
// temporary file in the same folder, as WavWriter does, and takes its name only when finish has
// written the last frame and the stream info (sample count and the MD5 of the audio, which libFLAC
// computes). A track that ends early is thrown away with discard: unlike a WAV file, a FLAC file
// under a track's name is always the whole track. The destructor discards an unfinished file. A
// path that names anything but a regular file is refused, never replaced; a regular file only when
// the caller allows it.
class FlacWriter {
public:
    static constexpr unsigned kDefaultLevel = 5;
    static constexpr unsigned kMaxLevel = 8;

    FlacWriter() = default;
    ~FlacWriter();
    FlacWriter(const FlacWriter&) = delete;
    FlacWriter& operator=(const FlacWriter&) = delete;

    // Starts the file with the Vorbis comments ("NAME=value", UTF-8) and, when
    // expectedFrames is known, a seek table with a point every ten seconds. On failure
    // returns false and error() says why.
    // A name that is taken is never replaced unless replaceExisting allows replacing a
    // regular file there. `level` is libFLAC's compression level, 0 (fastest) to 8.
    bool create(const std::string& path, const std::vector<std::string>& comments,
                std::uint64_t expectedFrames, bool replaceExisting = false,
                const PcmLayout& layout = {}, unsigned level = kDefaultLevel);
    // The next create's picture: the body of a FLAC PICTURE block (picture type, MIME type,
    // description, size and the picture's bytes), written as a PICTURE block after the
    // Vorbis comments. Empty = none.
    void setPicture(std::vector<std::uint8_t> block) { m_picture = std::move(block); }
    // Encodes sample bytes as delivered (interleaved signed little-endian samples of the
    // layout, left first); bytes of a frame cut by the end of a call wait for the next call.
    // Returns false when a frame could not be encoded or written.
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
    // The system's error number behind the last failure (0 when none was involved).
    int errorNumber() const { return m_errno; }
    const std::string& temporaryPath() const { return m_tempPath; }

    // True when text is one Vorbis comment "NAME=value" that a FLAC file can carry: a
    // name of printable ASCII without '=', and a UTF-8 value.
    static bool isLegalComment(const std::string& text);

private:
    // libFLAC's write, seek and tell callbacks, on the temporary file.
    struct Callbacks;
    friend struct Callbacks;

    void release();
    // Adds m_picture to the metadata as a PICTURE block; false when it is no picture block.
    bool addPicture();
    void fail(const std::string& what);
    // Records why the encoder stopped: the write's system error, else its own state.
    void failEncoding();

    FLAC__StreamEncoder* m_encoder = nullptr;
    std::vector<FLAC__StreamMetadata*> m_metadata;
    std::vector<std::int32_t> m_samples;
    std::vector<std::uint8_t> m_picture;
    PcmLayout m_layout;
    std::size_t m_frameBytes = 4;
    // The bytes of a frame begun by the last append (at most 8 channels of 3 bytes).
    std::uint8_t m_pending[32] = {};
    std::size_t m_pendingBytes = 0;
    int m_fd = -1;
    int m_writeErrno = 0;
    int m_errno = 0;
    bool m_discarding = false;
    bool m_replaceExisting = false;
    bool m_nameTaken = false;
    std::string m_path;
    std::string m_tempPath;
    std::string m_error;
};
