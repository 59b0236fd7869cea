#include "WavEncoder.h"

#include "TrackLayout.h"
#include "WmErrors.h"

#include <cerrno>

namespace cld::engine {

namespace {

uint32_t systemCode(int error) {
    return cld::wmerr::fromErrno(error != 0 ? error : EIO);
}

} // namespace

EncoderInfo WavEncoder::describe() {
    return {"wav", "WAV", ".wav", true, {}};
}

WavEncoder::WavEncoder(EncoderOptions options) : EncoderBase(".wav", std::move(options)) {}

WavEncoder::~WavEncoder() {
    // An encoder dropped before finish() leaves nothing behind.
    m_writer.Discard();
}

bool WavEncoder::open(const std::string& path, const PcmFormat& format, const AudioTags&, uint64_t,
                      bool replaceExisting) {
    m_writer.Discard();
    clearFailure();
    std::string refused;
    const std::optional<PcmLayout> layout = trackLayout(format, false, refused);
    if (!layout) {
        setFailure(EncoderFault::Settings, refused);
        return false;
    }
    if (!m_writer.Create(path, replaceExisting, *layout)) {
        setFailure(EncoderFault::Output, m_writer.Error(), systemCode(m_writer.ErrorNumber()),
                   m_writer.NameTaken());
        return false;
    }
    return true;
}

bool WavEncoder::write(const uint8_t* data, size_t bytes) {
    if (failed() || !m_writer.IsOpen())
        return false;
    if (!m_writer.Append(data, bytes)) {
        setFailure(EncoderFault::Write, m_writer.Error(), systemCode(m_writer.ErrorNumber()));
        return false;
    }
    return true;
}

bool WavEncoder::finish() {
    if (!m_writer.IsOpen())
        return false;
    // A file that failed part of the way would pass for a finished one.
    if (failed()) {
        m_writer.Discard();
        return false;
    }
    if (!m_writer.Finish()) {
        setFailure(m_writer.NameTaken() ? EncoderFault::Output : EncoderFault::Write,
                   m_writer.Error(), systemCode(m_writer.ErrorNumber()), m_writer.NameTaken());
        return false;
    }
    return true;
}

void WavEncoder::abort() {
    m_writer.Discard();
}

} // namespace cld::engine
