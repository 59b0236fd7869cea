#include "FlacWriter.h"

#include "PartFile.h"

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

// A seek point every ten seconds, and room for tags added later without rewriting the
// whole file: what the flac command writes by default.
constexpr std::uint64_t kSeekSeconds = 10;
constexpr unsigned kPaddingBytes = 8192;
// Frames converted and encoded at a time.
constexpr std::size_t kBatchFrames = 4096;

std::string errnoText(int error) {
    return std::strerror(error != 0 ? error : EIO);
}

} // namespace

struct FlacWriter::Callbacks {
    static FLAC__StreamEncoderWriteStatus write(const FLAC__StreamEncoder*,
                                                const FLAC__byte buffer[], size_t bytes, uint32_t,
                                                uint32_t, void* data) {
        auto* self = static_cast<FlacWriter*>(data);
        if (self->m_discarding)
            return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
        if (self->m_fd < 0 || !cld::partfile::writeAll(self->m_fd, buffer, bytes)) {
            if (self->m_writeErrno == 0)
                self->m_writeErrno = self->m_fd < 0 ? EBADF : errno;
            return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
        }
        return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
    }

    static FLAC__StreamEncoderSeekStatus seek(const FLAC__StreamEncoder*, FLAC__uint64 offset,
                                              void* data) {
        auto* self = static_cast<FlacWriter*>(data);
        if (self->m_discarding)
            return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
        if (self->m_fd < 0 || ::lseek(self->m_fd, static_cast<off_t>(offset), SEEK_SET) !=
                                  static_cast<off_t>(offset)) {
            if (self->m_writeErrno == 0)
                self->m_writeErrno = self->m_fd < 0 ? EBADF : errno;
            return FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
        }
        return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
    }

    static FLAC__StreamEncoderTellStatus tell(const FLAC__StreamEncoder*, FLAC__uint64* offset,
                                              void* data) {
        auto* self = static_cast<FlacWriter*>(data);
        const off_t at = self->m_fd >= 0 ? ::lseek(self->m_fd, 0, SEEK_CUR) : -1;
        if (at < 0) {
            *offset = 0;
            return self->m_discarding ? FLAC__STREAM_ENCODER_TELL_STATUS_OK
                                      : FLAC__STREAM_ENCODER_TELL_STATUS_ERROR;
        }
        *offset = static_cast<FLAC__uint64>(at);
        return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
    }
};

FlacWriter::~FlacWriter() {
    discard();
}

bool FlacWriter::isLegalComment(const std::string& text) {
    const std::size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0)
        return false;
    const std::string name = text.substr(0, eq);
    const std::string value = text.substr(eq + 1);
    return FLAC__format_vorbiscomment_entry_name_is_legal(name.c_str()) &&
           FLAC__format_vorbiscomment_entry_value_is_legal(
               reinterpret_cast<const FLAC__byte*>(value.data()),
               static_cast<unsigned>(value.size()));
}

void FlacWriter::fail(const std::string& what) {
    if (m_error.empty())
        m_error = what;
}

void FlacWriter::failEncoding() {
    if (m_errno == 0)
        m_errno = m_writeErrno;
    fail("cannot write to \"" + m_path + "\": " +
         (m_writeErrno != 0
              ? errnoText(m_writeErrno)
              : std::string(FLAC__stream_encoder_get_resolved_state_string(m_encoder))));
}

void FlacWriter::release() {
    if (m_encoder) {
        // Deleting an encoder that was not finished finishes it; while discarding, the
        // callbacks swallow what it still writes.
        m_discarding = true;
        FLAC__stream_encoder_delete(m_encoder);
        m_encoder = nullptr;
    }
    for (FLAC__StreamMetadata* block : m_metadata)
        FLAC__metadata_object_delete(block);
    m_metadata.clear();
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_discarding = false;
    m_pendingBytes = 0;
}

void FlacWriter::discard() {
    const bool hadFile = m_fd >= 0;
    m_discarding = true;
    release();
    if (hadFile && !m_tempPath.empty())
        ::unlink(m_tempPath.c_str());
    m_tempPath.clear();
}

bool FlacWriter::addPicture() {
    const std::vector<std::uint8_t>& b = m_picture;
    size_t at = 0;
    const auto word = [&b, &at](std::uint32_t& v) {
        if (b.size() - at < 4)
            return false;
        v = static_cast<std::uint32_t>(b[at]) << 24 | static_cast<std::uint32_t>(b[at + 1]) << 16 |
            static_cast<std::uint32_t>(b[at + 2]) << 8 | b[at + 3];
        at += 4;
        return true;
    };
    std::uint32_t type = 0, mimeLength = 0, descriptionLength = 0, width = 0, height = 0, depth = 0,
                  colours = 0, length = 0;
    if (!word(type) || type > 20 || !word(mimeLength) || b.size() - at < mimeLength)
        return false;
    const std::string mime(b.begin() + static_cast<std::ptrdiff_t>(at),
                           b.begin() + static_cast<std::ptrdiff_t>(at + mimeLength));
    at += mimeLength;
    if (!word(descriptionLength) || b.size() - at < descriptionLength)
        return false;
    std::string description(b.begin() + static_cast<std::ptrdiff_t>(at),
                            b.begin() + static_cast<std::ptrdiff_t>(at + descriptionLength));
    at += descriptionLength;
    if (!word(width) || !word(height) || !word(depth) || !word(colours) || !word(length) ||
        b.size() - at != length || length == 0)
        return false;
    FLAC__StreamMetadata* picture = FLAC__metadata_object_new(FLAC__METADATA_TYPE_PICTURE);
    if (!picture)
        return false;
    picture->data.picture.type = static_cast<FLAC__StreamMetadata_Picture_Type>(type);
    picture->data.picture.width = width;
    picture->data.picture.height = height;
    picture->data.picture.depth = depth;
    picture->data.picture.colors = colours;
    std::string mimeCopy = mime;
    const bool ok = FLAC__metadata_object_picture_set_mime_type(picture, mimeCopy.data(), true) &&
                    FLAC__metadata_object_picture_set_description(
                        picture, reinterpret_cast<FLAC__byte*>(description.data()), true) &&
                    FLAC__metadata_object_picture_set_data(
                        picture, const_cast<FLAC__byte*>(b.data() + at), length, true) &&
                    FLAC__metadata_object_picture_is_legal(picture, nullptr);
    if (!ok) {
        FLAC__metadata_object_delete(picture);
        return false;
    }
    m_metadata.push_back(picture);
    return true;
}

bool FlacWriter::create(const std::string& path, const std::vector<std::string>& comments,
                        std::uint64_t expectedFrames, bool replaceExisting, const PcmLayout& layout,
                        unsigned level) {
    discard();
    m_error.clear();
    m_writeErrno = 0;
    m_path = path;
    m_layout = layout;
    m_frameBytes = layout.frameBytes();
    m_replaceExisting = replaceExisting;
    m_nameTaken = false;
    m_errno = 0;
    m_error = cld::partfile::startRefusal(path, replaceExisting, layout, true, m_nameTaken);
    if (!m_error.empty()) {
        m_errno = m_nameTaken ? EEXIST : 0;
        return false;
    }
    if (level > kMaxLevel) {
        m_error = "cannot create \"" + path + "\": the compression level " + std::to_string(level) +
                  " is not one of 0 to " + std::to_string(kMaxLevel);
        return false;
    }
    for (const std::string& c : comments) {
        if (!isLegalComment(c)) {
            m_error = "cannot create \"" + path + "\": the tag \"" + c + "\" is not NAME=value";
            return false;
        }
    }

    m_encoder = FLAC__stream_encoder_new();
    FLAC__StreamMetadata* tags = FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT);
    FLAC__StreamMetadata* padding = FLAC__metadata_object_new(FLAC__METADATA_TYPE_PADDING);
    if (tags)
        m_metadata.push_back(tags);
    if (!m_encoder || !tags || !padding) {
        if (padding)
            FLAC__metadata_object_delete(padding);
        release();
        m_error = "cannot create \"" + path + "\": out of memory";
        return false;
    }
    for (const std::string& c : comments) {
        FLAC__StreamMetadata_VorbisComment_Entry entry;
        entry.length = static_cast<FLAC__uint32>(c.size());
        entry.entry = reinterpret_cast<FLAC__byte*>(const_cast<char*>(c.data()));
        // Copied: the block owns its entries.
        if (!FLAC__metadata_object_vorbiscomment_append_comment(tags, entry, true)) {
            FLAC__metadata_object_delete(padding);
            release();
            m_error = "cannot create \"" + path + "\": out of memory";
            return false;
        }
    }
    if (!m_picture.empty() && !addPicture()) {
        FLAC__metadata_object_delete(padding);
        release();
        m_error = "cannot create \"" + path + "\": the cover picture is not one FLAC can hold";
        return false;
    }
    if (expectedFrames > 0) {
        FLAC__StreamMetadata* seek = FLAC__metadata_object_new(FLAC__METADATA_TYPE_SEEKTABLE);
        if (seek) {
            m_metadata.push_back(seek);
            if (!FLAC__metadata_object_seektable_template_append_spaced_points_by_samples(
                    seek,
                    static_cast<unsigned>(
                        std::min<std::uint64_t>(kSeekSeconds * layout.sampleRate, expectedFrames)),
                    expectedFrames) ||
                !FLAC__metadata_object_seektable_template_sort(seek, true)) {
                m_metadata.pop_back();
                FLAC__metadata_object_delete(seek);
            }
        }
    }
    padding->length = kPaddingBytes;
    m_metadata.push_back(padding);

    bool ok = FLAC__stream_encoder_set_channels(m_encoder, layout.channels) &&
              FLAC__stream_encoder_set_bits_per_sample(m_encoder, layout.bitsPerSample) &&
              FLAC__stream_encoder_set_sample_rate(m_encoder, layout.sampleRate) &&
              FLAC__stream_encoder_set_compression_level(m_encoder, level) &&
              FLAC__stream_encoder_set_streamable_subset(m_encoder, true) &&
              FLAC__stream_encoder_set_metadata(m_encoder, m_metadata.data(),
                                                static_cast<unsigned>(m_metadata.size()));
    if (ok && expectedFrames > 0)
        ok = FLAC__stream_encoder_set_total_samples_estimate(m_encoder, expectedFrames);
    if (!ok) {
        release();
        m_error = "cannot create \"" + path + "\": the FLAC encoder refused its settings";
        return false;
    }

    m_fd = cld::partfile::create(path, m_tempPath);
    if (m_fd < 0) {
        const int error = errno;
        release();
        m_errno = error;
        m_error = "cannot create \"" + path + "\": " + errnoText(error);
        return false;
    }
    const FLAC__StreamEncoderInitStatus init = FLAC__stream_encoder_init_stream(
        m_encoder, &Callbacks::write, &Callbacks::seek, &Callbacks::tell, nullptr, this);
    if (init != FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
        const std::string reason =
            init == FLAC__STREAM_ENCODER_INIT_STATUS_ENCODER_ERROR && m_writeErrno != 0
                ? errnoText(m_writeErrno)
                : std::string(FLAC__StreamEncoderInitStatusString[init]);
        discard();
        m_errno = m_writeErrno;
        m_error = "cannot write to \"" + path + "\": " + reason;
        return false;
    }
    m_samples.reserve(kBatchFrames * layout.channels);
    return true;
}

bool FlacWriter::append(const std::uint8_t* data, std::size_t size) {
    if (!m_encoder || m_fd < 0)
        return false;
    const unsigned channels = m_layout.channels;
    const bool wide = m_layout.bitsPerSample == 24;
    const std::size_t frameBytes = m_frameBytes;
    const auto convert = [&](const std::uint8_t* p, std::size_t values, std::int32_t* out) {
        if (wide) {
            for (std::size_t i = 0; i < values; ++i, p += 3)
                out[i] = static_cast<std::int32_t>(
                             static_cast<std::uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16)) << 8) >>
                         8;
        } else {
            for (std::size_t i = 0; i < values; ++i, p += 2)
                out[i] = static_cast<std::int32_t>(static_cast<std::int16_t>(p[0] | (p[1] << 8)));
        }
    };
    // A frame begun by the last call.
    while (m_pendingBytes > 0 && size > 0) {
        m_pending[m_pendingBytes++] = *data++;
        --size;
        if (m_pendingBytes == frameBytes) {
            FLAC__int32 frame[8];
            convert(m_pending, channels, frame);
            m_pendingBytes = 0;
            if (!FLAC__stream_encoder_process_interleaved(m_encoder, frame, 1))
                break;
        }
    }
    std::size_t frames = size / frameBytes;
    while (frames > 0) {
        const std::size_t n = std::min(frames, kBatchFrames);
        m_samples.resize(n * channels);
        convert(data, n * channels, m_samples.data());
        if (!FLAC__stream_encoder_process_interleaved(m_encoder, m_samples.data(),
                                                      static_cast<unsigned>(n)))
            break;
        data += n * frameBytes;
        size -= n * frameBytes;
        frames -= n;
    }
    if (FLAC__stream_encoder_get_state(m_encoder) != FLAC__STREAM_ENCODER_OK) {
        failEncoding();
        return false;
    }
    // What is left is less than a frame; a frame still begun (this call ended inside it)
    // keeps its bytes.
    if (m_pendingBytes == 0) {
        std::memcpy(m_pending, data, size);
        m_pendingBytes = size;
    }
    return true;
}

bool FlacWriter::finish() {
    if (!m_encoder || m_fd < 0)
        return false;
    bool ok = m_error.empty();
    if (m_pendingBytes > 0) {
        fail("cannot write to \"" + m_path + "\": the audio ends inside a sample frame");
        ok = false;
    }
    if (ok && !FLAC__stream_encoder_finish(m_encoder)) {
        failEncoding();
        ok = false;
    }
    if (!ok) {
        discard();
        return false;
    }
    const int fd = m_fd;
    m_fd = -1;
    release();
    if (::close(fd) != 0) {
        if (m_errno == 0)
            m_errno = errno;
        fail("cannot close \"" + m_path + "\": " + errnoText(errno));
        ::unlink(m_tempPath.c_str());
        m_tempPath.clear();
        return false;
    }
    // Something may have taken the name while the track was read: it stays as it is.
    if (const std::string refused =
            cld::partfile::moveIntoPlace(m_tempPath, m_path, m_replaceExisting);
        !refused.empty()) {
        m_nameTaken = errno == EEXIST;
        if (m_errno == 0)
            m_errno = errno;
        fail(refused);
        ::unlink(m_tempPath.c_str());
        m_tempPath.clear();
        return false;
    }
    m_tempPath.clear();
    return true;
}
