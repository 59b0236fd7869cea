#include "FlacEncoder.h"

#include "TrackLayout.h"
#include "VorbisComments.h"
#include "WmErrors.h"

#include <cerrno>

namespace cld::engine {

namespace {

uint32_t systemCode(int error) {
    return cld::wmerr::fromErrno(error != 0 ? error : EIO);
}

} // namespace

EncoderInfo FlacEncoder::describe() {
    return {"flac",
            "FLAC",
            ".flac",
            true,
            {wholeSetting("level", "Compression level", 0, static_cast<int>(FlacWriter::kMaxLevel),
                          static_cast<int>(FlacWriter::kDefaultLevel)),
             coverSetting()}};
}

FlacEncoder::FlacEncoder(EncoderOptions options) : EncoderBase(".flac", std::move(options)) {}

FlacEncoder::~FlacEncoder() = default; // the writer discards an unfinished file

std::vector<std::string> FlacEncoder::comments(const AudioTags& tags) {
    std::vector<std::string> out = vorbisComments(tags);
    for (std::string& c : loudnessComments(tags, LoudnessTags::ReplayGain))
        out.push_back(std::move(c));
    return out;
}

bool FlacEncoder::open(const std::string& path, const PcmFormat& format, const AudioTags& tags,
                       uint64_t expectedFrames, bool replaceExisting) {
    m_writer.discard();
    clearFailure();
    int level = 0;
    bool cover = true;
    if (!intOption(options(), "level", 0, static_cast<int>(FlacWriter::kMaxLevel),
                   static_cast<int>(FlacWriter::kDefaultLevel), level) ||
        !coverOption(options(), cover))
        return false;
    std::string refused;
    const std::optional<PcmLayout> layout = trackLayout(format, true, refused);
    if (!layout) {
        setFailure(EncoderFault::Settings, refused);
        return false;
    }
    m_writer.setPicture(cover ? flacPictureBlock(tags) : std::vector<uint8_t>());
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
