#include "FlacEncoder.h"

#include "Mp3Tags.h"
#include "SafeFiles.h"
#include "TrackLayout.h"
#include "WmErrors.h"

#include <cerrno>

namespace cld::engine {

namespace {

uint32_t systemCode(int error) {
    return cld::wmerr::fromErrno(error != 0 ? error : EIO);
}

} // namespace

FlacEncoder::FlacEncoder(EncoderOptions options) : m_options(std::move(options)) {}

FlacEncoder::~FlacEncoder() = default; // the writer discards an unfinished file

std::vector<std::string> FlacEncoder::comments(const AudioTags& tags) {
    std::vector<std::string> out;
    const auto add = [&out](const char* name, const std::string& value) {
        const std::string text = cld::files::oneLine(cld::wellFormedUtf8(value));
        if (!text.empty())
            out.push_back(std::string(name) + "=" + text);
    };
    add("TITLE", tags.title);
    add("ARTIST", tags.artist);
    add("ALBUM", tags.album);
    add("ALBUMARTIST", tags.albumArtist);
    add("DATE", tags.year);
    add("GENRE", tags.genre);
    if (tags.track > 0)
        add("TRACKNUMBER", std::to_string(tags.track));
    if (tags.trackTotal > 0)
        add("TRACKTOTAL", std::to_string(tags.trackTotal));
    add("DISCID", tags.discId);
    add("ISRC", tags.isrc);
    add("BARCODE", tags.barcode);
    return out;
}

bool FlacEncoder::open(const std::string& path, const PcmFormat& format, const AudioTags& tags,
                       uint64_t expectedFrames, bool replaceExisting) {
    m_writer.discard();
    clearFailure();
    int level = 0;
    if (!intOption(m_options, "level", 0, static_cast<int>(FlacWriter::kMaxLevel),
                   static_cast<int>(FlacWriter::kDefaultLevel), level))
        return false;
    std::string refused;
    const std::optional<PcmLayout> layout = trackLayout(format, true, refused);
    if (!layout) {
        setFailure(EncoderFault::Settings, refused);
        return false;
    }
    if (!m_writer.create(path, comments(tags), expectedFrames, replaceExisting, *layout,
                         static_cast<unsigned>(level))) {
        setFailure(EncoderFault::Output, m_writer.error(), systemCode(m_writer.errorNumber()),
                   m_writer.nameTaken());
        return false;
    }
    return true;
}

bool FlacEncoder::write(const uint8_t* data, size_t bytes) {
    if (failed() || !m_writer.isOpen())
        return false;
    if (!m_writer.append(data, bytes)) {
        setFailure(EncoderFault::Write, m_writer.error(), systemCode(m_writer.errorNumber()));
        return false;
    }
    return true;
}

bool FlacEncoder::finish() {
    if (!m_writer.isOpen())
        return false;
    if (failed()) {
        m_writer.discard();
        return false;
    }
    if (!m_writer.finish()) {
        setFailure(m_writer.nameTaken() ? EncoderFault::Output : EncoderFault::Write,
                   m_writer.error(), systemCode(m_writer.errorNumber()), m_writer.nameTaken());
        return false;
    }
    return true;
}

void FlacEncoder::abort() {
    m_writer.discard();
}

} // namespace cld::engine
